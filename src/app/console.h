#pragma once

#include <string_view>

namespace tessavo {

// Writes the line and a line feed to standard output whole (one write, or a
// lock held over the pieces), so lines of parallel jobs never mix. Both
// programs hand it to the code that prints: the conversion and the bookmark
// store.
void printLine(std::string_view line);

// The same for a line of detail on standard error.
void printErrorLine(std::string_view line);

// Both print a control character of the line (from a file name or a
// library's message), which would split it or drive the terminal, as \n,
// \r, \t or \xNN, and everything else byte for byte, backslashes and bytes
// that are no UTF-8 included: a name without one prints as it is.

} // namespace tessavo
