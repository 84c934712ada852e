#pragma once

#include <string_view>

namespace tessavo {

// Writes the line and a line feed to standard output with a single write, so
// lines of jobs running in parallel never mix. Both programs hand it to the
// code that prints: the conversion and the bookmark store.
void printLine(std::string_view line);

} // namespace tessavo
