#pragma once

#include <string_view>

namespace tessavo {

// Writes the line and a line feed to standard output with a single write, so
// lines of jobs running in parallel never mix. Both programs hand it to the
// code that prints: the conversion and the bookmark store.
void printLine(std::string_view line);

// The same for a line of detail on standard error.
void printErrorLine(std::string_view line);

// Control characters in a line (from a file name or a library's message)
// would split it or drive the terminal: both writers print them as \n, \r,
// \t or \xNN, and everything else byte for byte, backslashes and bytes that
// are no UTF-8 included, so a name without them prints as it is.

} // namespace tessavo
