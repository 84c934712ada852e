#pragma once

#include "conversion/core/heif/heif_properties.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessavo {

// The SDR rendering of PQ and HLG pixels: light is put on a display scale
// (PQ as coded; HLG through its reference display's OOTF at 1000 cd/m2),
// 203 cd/m2 (BT.2408's reference white) becomes the JPEG's white level,
// levels up to half of that stay linear, and brighter ones roll off
// smoothly (an extended Reinhard shoulder applied to the brightest
// channel, so hue and saturation stay) so that the photo's brightest pixel
// just reaches white. Nothing clips; the result is encoded with the sRGB
// curve in the photo's own primaries.
class HdrRendering {
public:
    HdrRendering(const NclxColour& colour, int bitDepth);
    // First pass: every pixel, to find the brightest one.
    void measure(const uint16_t* pixels, size_t count, int channels);
    // Second pass: 8-bit output with the same channels (alpha rescaled);
    // with `luminance`, also each pixel's light before the roll-off
    // (BT.2020 weights, relative to reference white), for a gain map.
    void render(const uint16_t* pixels, size_t count, int channels, uint8_t* out, float* luminance = nullptr) const;
    // The brightest channel of any pixel measured, relative to reference white.
    float peak() const { return peak_; }

private:
    void linearLight(const uint16_t* pixel, float out[3]) const;
    bool hlg_;
    int maxCode_;
    std::vector<float> signalToLight_; // code to light relative to reference white (HLG: scene light)
    std::vector<uint8_t> encode_; // linear 0..1 to 8-bit sRGB curve
    float peak_ = 0; // brightest channel of any pixel, relative to reference white
};

} // namespace tessavo
