#pragma once

#include "conversion/core/base/owners.h"
#include "conversion/core/jpeg/jpeg_writer.h"

#include <string_view>

// What the tests compare the conversion with: libheif's own decode.
namespace tessavo::testsupport {

// libheif's decode of the primary image with its crop, turn and mirror, to interleaved 8-bit RGB (RGBA with alpha);
// null when libheif cannot. By libheif's own HEVC decoder unless `decoder` is null: then the one of highest priority
// (grid tiles and overlay inputs always take that one). `deep`: RGB of 16-bit samples at the photo's own depth
// instead. With `auxiliary`, the primary's auxiliary image of that type (a gain map's levels are its green), or null.
Owned<heif_image> decodeHeif(
    std::span<const uint8_t> heic, const char* decoder = "libde265", bool deep = false, std::string_view auxiliary = {});

// What libheif shows: decodeHeif with alpha over white; empty when it cannot.
RgbImage decodeHeifShown(std::span<const uint8_t> heic);

} // namespace tessavo::testsupport
