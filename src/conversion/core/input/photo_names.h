#pragma once

#include <string_view>

// Which names are photos' and in what order people expect them, for the
// folders that tessavo-convert is given.
namespace tessavo {

// A HEIF photo's name: .heic, .heif or .hif in any letter case, after a
// name (a leading dot starts a hidden name, not an extension).
bool isHeifName(std::string_view name);

// The order a file manager shows names in: digits by their number (IMG_2
// before IMG_10), letters without their case, then byte order to break ties.
bool naturalLess(std::string_view a, std::string_view b);

} // namespace tessavo
