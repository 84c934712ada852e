#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/gainmap/gain_map.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// Apple's HDR gain map, an auxiliary image of the primary, as Apple's
// developer documentation ("Applying Apple HDR effect to your photos")
// describes it: an 8-bit map whose levels, taken through the sRGB curve to
// linear, give each pixel the gain 1 + (headroom - 1) * level, the headroom
// coming from two values of the photo's Apple maker note.
namespace tessavo {

inline constexpr std::string_view kAppleGainMapType = "urn:com:apple:photo:2020:aux:hdrgainmap";

inline constexpr std::string_view kAppleGainMapNamespace = "http://ns.apple.com/HDRGainMap/1.0/";

// The headroom (a ratio, 1 for none) of a photo with Apple's map. Apple's
// formula of tags 33 and 48 of the maker note in `tiff`, an Exif TIFF
// structure, rules: it is what Apple publishes, and where both are present
// the map's XMP HDRGainMapHeadroom (iOS 17 on) gives the same. Tag 48 is
// left out by some phones, and taken as 0. Without tag 33, the XMP's value
// in `mapXmp`. Fails (at Decode) where neither can be read. Reads only
// inside `tiff`.
Result<double> appleHeadroom(std::span<const uint8_t> tiff, std::string_view mapXmp);

// The headroom of Apple's values 33 and 48.
double appleHeadroom(double maker33, double maker48);

// The ISO 21496-1 terms that give Apple's HDR picture exactly: log2 gains
// from 0 to log2 of the headroom, no gamma, no offsets.
GainMapMetadata appleMetadata(double headroom);

// Each of Apple's 256 levels as the level of the same gain in appleMetadata's terms.
std::array<uint8_t, 256> appleLevels(double headroom);

} // namespace tessavo
