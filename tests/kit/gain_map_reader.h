#pragma once

#include <cstdint>
#include <span>
#include <vector>

// A reader of JPEGs with an HDR gain map written for the tests alone: the
// file split by its MPF index, the map's parameters as its ISO 21496-1
// segment and its hdrgm XMP each say, and the HDR picture rebuilt from them.
namespace tessavo::testsupport {

// Channel 0 only; log2 gains and headrooms. All zero where the form is absent.
struct GainParameters {
    double min = 0, max = 0, gamma = 0, offsetSdr = 0, offsetHdr = 0, headroomMin = 0, headroomMax = 0;
};

struct GainMapJpeg {
    std::vector<uint8_t> primary, map; // empty when no MPF index names a second image
    GainParameters iso, xmp;
};
GainMapJpeg splitGainMapJpeg(std::span<const uint8_t> file);

// Where a JPEG's first segment after its APPn ones begins.
size_t afterAppSegments(std::span<const uint8_t> jpeg);

// Linear light of the stored primary (sRGB curve), RGB interleaved, with
// the map applied as for a display of log2 `headroom`; empty when it cannot.
std::vector<double> rebuildHdr(const GainMapJpeg& file, const GainParameters& with, double headroom);

} // namespace tessavo::testsupport
