#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/gainmap/gain_map.h"

#include <cstdint>
#include <span>

// The binary metadata of an ISO 21496-1 gain map as a 'tmap' item holds it:
// a version byte, then the minimum and writer versions, the flags, the two
// headrooms and each channel's fractions, all big-endian.
namespace tessavo {

// Fails (at Decode) where the payload is cut short, has bytes past its end,
// is of a version this reader does not know, or says what no gain map for
// an SDR primary can mean: a zero denominator or gamma, a maximum below its
// minimum, an alternate headroom not above the base one.
Result<GainMapMeaning> readIsoGainMapMetadata(std::span<const uint8_t> payload);

} // namespace tessavo
