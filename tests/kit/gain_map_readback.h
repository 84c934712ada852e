#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "transfer_curves.h"

// The tests' own reader of a JPEG with an HDR gain map.
namespace tessavo::testsupport {

// Channel 0: log2 gains min, max; gamma; SDR, HDR offsets; log2 headrooms min, max.
using GainParameters = std::array<double, 7>;

struct GainMapJpeg {
    std::vector<uint8_t> primary, map; // as the MPF index splits the file
    GainParameters iso{}, xmp{}; // as the map's ISO 21496-1 segment and hdrgm XMP say
};
GainMapJpeg splitGainMapJpeg(std::span<const uint8_t> file);

// What an ISO 21496-1 reader makes of linear light `sdr` under a map `level` (0 to 1) for a display of log2 `headroom`.
double applyGainMap(double sdr, double level, const GainParameters& p, double headroom);

// Linear RGB light of the picture a reader shows (the primary's EXIF orientation applied to it and to its map) at every
// `step`-th pixel of every `step`-th row: the primary through the sRGB curve, the map applied for log2 `headroom`.
struct HdrLight {
    int width = 0, height = 0; // of the samples
    int shownWidth = 0, shownHeight = 0; // of the picture
    std::vector<double> rgb;
};
HdrLight rebuildHdr(const GainMapJpeg& file, const GainParameters& p, double headroom, int step = 1);

} // namespace tessavo::testsupport
