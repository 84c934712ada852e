#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// The tests' own reader of a JPEG with an HDR gain map.
namespace tessavo::testsupport {

// Channel 0: log2 gains min, max; gamma; SDR, HDR offsets; log2 headrooms min, max.
using GainParameters = std::array<double, 7>;

struct GainMapJpeg {
    std::vector<uint8_t> primary, map; // as the MPF index splits the file
    GainParameters iso{}, xmp{};       // as the map's ISO 21496-1 segment and hdrgm XMP say
};
GainMapJpeg splitGainMapJpeg(std::span<const uint8_t> file);

// Linear light of the primary (sRGB curve), the map applied for log2 `headroom`.
std::vector<double> rebuildHdr(const GainMapJpeg& file, const GainParameters& p, double headroom);

// The PQ signal of display light relative to 203 cd/m2: the perceptual
// scale on which rebuilt HDR pictures are compared.
double pqSignal(double light);

} // namespace tessavo::testsupport
