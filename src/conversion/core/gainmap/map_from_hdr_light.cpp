#include "conversion/core/gainmap/map_from_hdr_light.h"

#include <algorithm>
#include <cmath>

namespace tessavo {

namespace {

constexpr double kOffset = 1.0 / 64;
// A map whose gains are all alike still spans a little, so that it decodes.
constexpr double kLeastSpan = 1.0 / 64;

} // namespace

HdrGainMap::HdrGainMap(int width, int height)
    : width_(width), height_(height), hdr_(size_t((width + 1) / 2) * size_t((height + 1) / 2)), sdr_(hdr_.size())
{
    for (size_t i = 0; i < sdrLight_.size(); ++i) {
        const double v = double(i) / 255;
        sdrLight_[i] = float(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
}

void HdrGainMap::addRow(int y, const float* hdrLuminance, const uint8_t* sdrRgb)
{
    float* hdr = hdr_.data() + size_t(y / 2) * size_t((width_ + 1) / 2);
    float* sdr = sdr_.data() + (hdr - hdr_.data());
    for (int x = 0; x < width_; ++x, sdrRgb += 3) {
        hdr[x / 2] += hdrLuminance[x];
        sdr[x / 2] += 0.2627f * sdrLight_[sdrRgb[0]] + 0.6780f * sdrLight_[sdrRgb[1]] + 0.0593f * sdrLight_[sdrRgb[2]];
    }
}

GainMap HdrGainMap::finish(float peak) const
{
    GainMap map;
    map.width = (width_ + 1) / 2;
    map.height = (height_ + 1) / 2;
    std::vector<float> gains(hdr_.size());
    for (int y = 0; y < map.height; ++y) {
        const int rows = std::min(2, height_ - 2 * y);
        for (int x = 0; x < map.width; ++x) {
            const size_t i = size_t(y) * size_t(map.width) + size_t(x);
            const double pixels = rows * std::min(2, width_ - 2 * x);
            gains[i] = float(std::log2((hdr_[i] / pixels + kOffset) / (sdr_[i] / pixels + kOffset)));
        }
    }
    const auto [least, most] = std::minmax_element(gains.begin(), gains.end());
    const double low = gains.empty() ? 0 : *least;
    const double high = std::max(gains.empty() ? 0 : double(*most), low + kLeastSpan);
    map.pixels.resize(gains.size());
    for (size_t i = 0; i < gains.size(); ++i)
        map.pixels[i] = uint8_t(std::lround(std::clamp((gains[i] - low) / (high - low), 0.0, 1.0) * 255));

    GainMapMetadata& m = map.metadata;
    m.gainMapMin.fill(low);
    m.gainMapMax.fill(high);
    m.baseOffset.fill(kOffset);
    m.alternateOffset.fill(kOffset);
    m.baseHdrHeadroom = 0;
    m.alternateHdrHeadroom = std::max(std::log2(double(peak)), kLeastSpan);
    return map;
}

} // namespace tessavo
