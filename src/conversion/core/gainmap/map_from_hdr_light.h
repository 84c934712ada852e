#pragma once

#include "conversion/core/gainmap/gain_map.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tessavo {

// The gain map of a PQ or HLG photo, which has none of its own: per block of
// 2x2 pixels, log2 of how much brighter the HDR light is than the SDR
// rendering written (luminance, with ISO 21496-1's small offsets so that
// black stays finite), spread over the map's 256 levels from the smallest
// gain to the largest. Rows come in the frame they are decoded in; the map
// is in that frame.
class HdrGainMap {
public:
    HdrGainMap(int width, int height);
    // Row `y`: the HDR luminance (relative to reference white) and the 8-bit
    // RGB written for it.
    void addRow(int y, const float* hdrLuminance, const uint8_t* sdrRgb);
    // `peak`: the content's brightest light relative to reference white,
    // which is the headroom a display needs to show it all.
    GainMap finish(float peak) const;

private:
    int width_, height_;
    std::vector<float> hdr_, sdr_; // sums over each block
    std::array<float, 256> sdrLight_{};
};

} // namespace tessavo
