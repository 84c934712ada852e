#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// The tests' own reader of a JPEG with an HDR gain map.
namespace tessavo::testsupport {

// Channel 0: log2 gains min and max, gamma, SDR and HDR offsets, log2
// headrooms min and max; zero where a form is absent.
using GainParameters = std::array<double, 7>;

struct GainMapJpeg {
    std::vector<uint8_t> primary, map; // as the MPF index splits the file
    GainParameters iso{}, xmp{};       // as the map's ISO 21496-1 segment and hdrgm XMP say
};
GainMapJpeg splitGainMapJpeg(std::span<const uint8_t> file);

// Linear light of the stored primary (sRGB curve) with the map applied for a
// display of log2 `headroom`; empty when a JPEG does not decode.
std::vector<double> rebuildHdr(const GainMapJpeg& file, const GainParameters& p, double headroom);

} // namespace tessavo::testsupport
