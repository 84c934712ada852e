#include "conversion/core/colour/tone_mapping.h"

#include <algorithm>
#include <cmath>

namespace tessavo {
namespace {

constexpr int kHlg = 18;
// BT.2408: diffuse white of HDR content, and the HLG display it assumes.
constexpr float kReferenceWhiteNits = 203.0f;
constexpr float kHlgDisplayNits = 1000.0f;
// Below this share of reference white the rendering is linear.
constexpr float kKnee = 0.5f;

// PQ's display light in cd/m2.
float pqToNits(float signal)
{
    constexpr float m1 = 2610.0f / 16384, m2 = 2523.0f / 4096 * 128;
    constexpr float c1 = 3424.0f / 4096, c2 = 2413.0f / 4096 * 32, c3 = 2392.0f / 4096 * 32;
    const float p = std::pow(signal, 1 / m2);
    return 10000.0f * std::pow(std::max(p - c1, 0.0f) / (c2 - c3 * p), 1 / m1);
}

// HLG's inverse camera curve: scene light 0..1.
float hlgToScene(float signal)
{
    constexpr float a = 0.17883277f, b = 0.28466892f, c = 0.55991073f;
    return signal <= 0.5f ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

float srgbEncode(float linear) { return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1 / 2.4f) - 0.055f; }

} // namespace

HdrRendering::HdrRendering(const NclxColour& colour, int bitDepth)
    : hlg_(colour.transfer == kHlg), maxCode_((1 << std::clamp(bitDepth, 8, 16)) - 1)
{
    signalToLight_.resize(size_t(maxCode_) + 1);
    for (int code = 0; code <= maxCode_; ++code) {
        const float signal = float(code) / float(maxCode_);
        signalToLight_[size_t(code)] = hlg_ ? hlgToScene(signal) : pqToNits(signal) / kReferenceWhiteNits;
    }
    encode_.resize(16385);
    for (size_t i = 0; i < encode_.size(); ++i)
        encode_[i] = uint8_t(std::lround(255 * srgbEncode(float(i) / float(encode_.size() - 1))));
}

void HdrRendering::linearLight(const uint16_t* pixel, float out[3]) const
{
    for (int c = 0; c < 3; ++c)
        out[c] = signalToLight_[std::min<size_t>(pixel[c], size_t(maxCode_))];
    if (hlg_) {
        // BT.2100's OOTF for a 1000 cd/m2 display: system gamma 1.2 on
        // the scene luminance (BT.2020 weights).
        const float luminance = 0.2627f * out[0] + 0.6780f * out[1] + 0.0593f * out[2];
        const float gain = luminance > 0 ? kHlgDisplayNits / kReferenceWhiteNits * std::pow(luminance, 0.2f) : 0.0f;
        for (int c = 0; c < 3; ++c)
            out[c] *= gain;
    }
}

void HdrRendering::measure(const uint16_t* pixels, size_t count, int channels)
{
    float light[3];
    for (size_t i = 0; i < count; ++i, pixels += channels) {
        linearLight(pixels, light);
        peak_ = std::max({peak_, light[0], light[1], light[2]});
    }
}

void HdrRendering::render(const uint16_t* pixels, size_t count, int channels, uint8_t* out, float* luminance) const
{
    // Extended Reinhard above the knee, in units of the room left above it:
    // f(u) = u (1 + u / w^2) / (1 + u) rises with slope 1 from the knee and
    // reaches 1 at the peak w, so the curve is smooth and ends at white.
    const float room = 1 - kKnee;
    const float w = (peak_ - kKnee) / room;
    const bool rollOff = peak_ > 1;
    const float top = float(encode_.size() - 1);
    float light[3];
    for (size_t i = 0; i < count; ++i, pixels += channels, out += channels) {
        linearLight(pixels, light);
        if (luminance)
            luminance[i] = 0.2627f * light[0] + 0.6780f * light[1] + 0.0593f * light[2];
        const float brightest = std::max({light[0], light[1], light[2]});
        float scale = 1;
        if (rollOff && brightest > kKnee) {
            const float u = (brightest - kKnee) / room;
            scale = (kKnee + room * u * (1 + u / (w * w)) / (1 + u)) / brightest;
        }
        for (int c = 0; c < 3; ++c)
            out[c] = encode_[size_t(std::clamp(light[c] * scale, 0.0f, 1.0f) * top + 0.5f)];
        if (channels == 4)
            out[3] = uint8_t((unsigned(std::min<int>(pixels[3], maxCode_)) * 255u + unsigned(maxCode_) / 2) / unsigned(maxCode_));
    }
}

} // namespace tessavo
