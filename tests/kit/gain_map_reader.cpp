#include "gain_map_reader.h"

#include "heic_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

namespace tessavo::testsupport {
namespace {

// Big-endian, as Tessavo writes MPF; 0 past the end.
uint32_t number(std::span<const uint8_t> b, size_t at, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes && at + size_t(bytes) <= b.size(); ++i)
        value = value << 8 | b[at + size_t(i)];
    return value;
}

// Calls visit(data, where the data begins) for each APPn segment.
template <typename Visit>
void forEachApp(std::span<const uint8_t> jpeg, Visit visit)
{
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xff && (jpeg[at + 1] & 0xf0) == 0xe0) {
        const size_t length = std::clamp<size_t>(number(jpeg, at + 2, 2), 2, jpeg.size() - at - 2);
        visit(std::string_view(reinterpret_cast<const char*>(jpeg.data() + at + 4), length - 2), at + 4);
        at += 2 + length;
    }
}

} // namespace

GainMapJpeg splitGainMapJpeg(std::span<const uint8_t> file)
{
    GainMapJpeg out;
    forEachApp(file, [&](std::string_view data, size_t at) {
        if (!data.starts_with(std::string_view("MPF\0", 4)))
            return;
        const std::span<const uint8_t> tiff = file.subspan(at + 4);
        const size_t ifd = number(tiff, 4, 4);
        for (size_t e = 0; e < number(tiff, ifd, 2); ++e)
            if (const size_t entry = ifd + 2 + e * 12; number(tiff, entry, 2) == 0xb002) {
                const size_t second = number(tiff, entry + 8, 4) + 16;
                const size_t length = number(tiff, second + 4, 4), offset = number(tiff, second + 8, 4);
                if (offset + length <= tiff.size()) {
                    out.primary.assign(file.begin(), file.begin() + ptrdiff_t(at + 4 + offset));
                    out.map.assign(tiff.begin() + ptrdiff_t(offset), tiff.begin() + ptrdiff_t(offset + length));
                }
            }
    });
    const char* names[] = {"GainMapMin", "GainMapMax", "Gamma", "OffsetSDR", "OffsetHDR", "HDRCapacityMin", "HDRCapacityMax"};
    // ISO: versions, flags, then fractions one by one (no common denominator).
    const size_t isoOrder[] = {2, 3, 4, 5, 6, 0, 1};
    forEachApp(out.map, [&](std::string_view data, size_t at) {
        for (size_t i = 0; i < 7 && data.starts_with("http://ns.adobe.com/xap/1.0/"); ++i)
            if (const size_t found = data.find("hdrgm:" + std::string(names[i]) + "=\""); found != data.npos)
                out.xmp[i] = std::stod(std::string(data.substr(found + std::strlen(names[i]) + 8, 32)));
        const bool iso = data.starts_with(std::string_view("urn:iso:std:iso:ts:21496:-1\0", 28));
        for (size_t i = 0; i < 7 && iso && data.size() >= 89 && !(data[32] & 8); ++i)
            out.iso[i] = double(int32_t(number(out.map, at + 33 + 8 * isoOrder[i], 4))) /
                         number(out.map, at + 37 + 8 * isoOrder[i], 4);
    });
    return out;
}

std::vector<double> rebuildHdr(const GainMapJpeg& file, const GainParameters& p, double headroom)
{
    const RgbImage sdr = readJpeg(file.primary).stored, map = readJpeg(file.map).stored;
    const double weight = std::clamp((headroom - p[5]) / (p[6] - p[5]), 0.0, 1.0);
    std::vector<double> light(map.pixels.empty() ? 0 : sdr.pixels.size());
    for (size_t i = 0; i < light.size(); ++i) {
        const size_t x = i / 3 % size_t(sdr.width), y = i / 3 / size_t(sdr.width);
        const uint8_t level = map.pixels[(y * size_t(map.height) / size_t(sdr.height) * size_t(map.width) +
                                          x * size_t(map.width) / size_t(sdr.width)) * 3];
        const double gain = std::exp2((p[0] + (p[1] - p[0]) * std::pow(level / 255.0, 1 / p[2])) * weight);
        const double v = sdr.pixels[i] / 255.0;
        light[i] = ((v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4)) + p[3]) * gain - p[4];
    }
    return light;
}

} // namespace tessavo::testsupport
