#include "gain_map_reader.h"

#include "heic_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tessavo::testsupport {
namespace {

uint32_t number(std::span<const uint8_t> b, size_t at, int bytes, bool little = false)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes && at + size_t(bytes) <= b.size(); ++i)
        value |= uint32_t(b[at + size_t(i)]) << (little ? 8 * i : 8 * (bytes - 1 - i));
    return value;
}

template <typename Visit>
size_t forEachApp(std::span<const uint8_t> jpeg, Visit visit)
{
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xff && (jpeg[at + 1] & 0xf0) == 0xe0) {
        const size_t length = std::min<size_t>(number(jpeg, at + 2, 2), jpeg.size() - at - 2);
        visit(std::string_view(reinterpret_cast<const char*>(jpeg.data() + at + 4), length - 2), at + 4);
        at += 2 + length;
    }
    return at;
}

double xmpValue(std::string_view xmp, const std::string& name)
{
    const size_t at = xmp.find("hdrgm:" + name + "=\"");
    return at == std::string_view::npos ? 0 : std::strtod(std::string(xmp.substr(at + name.size() + 8, 32)).c_str(), nullptr);
}

} // namespace

size_t afterAppSegments(std::span<const uint8_t> jpeg) { return forEachApp(jpeg, [](auto, auto) {}); }

GainMapJpeg splitGainMapJpeg(std::span<const uint8_t> file)
{
    GainMapJpeg out;
    forEachApp(file, [&](std::string_view data, size_t at) {
        if (!data.starts_with(std::string_view("MPF\0", 4)))
            return;
        const std::span<const uint8_t> tiff = file.subspan(at + 4);
        const bool little = tiff[0] == 'I';
        const size_t ifd = number(tiff, 4, 4, little);
        for (size_t e = 0; e < number(tiff, ifd, 2, little); ++e)
            if (const size_t entry = ifd + 2 + e * 12; number(tiff, entry, 2, little) == 0xb002) {
                const size_t second = number(tiff, entry + 8, 4, little) + 16;
                const size_t length = number(tiff, second + 4, 4, little), offset = number(tiff, second + 8, 4, little);
                if (offset + length > tiff.size() || length == 0)
                    return;
                out.primary.assign(file.begin(), file.begin() + ptrdiff_t(at + 4 + offset));
                out.map.assign(tiff.begin() + ptrdiff_t(offset), tiff.begin() + ptrdiff_t(offset + length));
            }
    });
    forEachApp(out.map, [&](std::string_view data, size_t at) {
        if (data.starts_with("http://ns.adobe.com/xap/1.0/"))
            out.xmp = {xmpValue(data, "GainMapMin"), xmpValue(data, "GainMapMax"), xmpValue(data, "Gamma"),
                       xmpValue(data, "OffsetSDR"), xmpValue(data, "OffsetHDR"), xmpValue(data, "HDRCapacityMin"),
                       xmpValue(data, "HDRCapacityMax")};
        // Fractions one by one (not under a common denominator), the first channel.
        if (!data.starts_with(std::string_view("urn:iso:std:iso:ts:21496:-1\0", 28)) || data.size() < 33 + 56 ||
            (out.map[at + 32] & 8))
            return;
        const auto fraction = [&](size_t i) {
            return double(int32_t(number(out.map, at + 33 + 8 * i, 4))) / number(out.map, at + 37 + 8 * i, 4);
        };
        out.iso = {fraction(2), fraction(3), fraction(4), fraction(5), fraction(6), fraction(0), fraction(1)};
    });
    return out;
}

std::vector<double> rebuildHdr(const GainMapJpeg& file, const GainParameters& p, double headroom)
{
    const RgbImage sdr = readJpeg(file.primary).stored, map = readJpeg(file.map).stored;
    if (sdr.pixels.empty() || map.pixels.empty())
        return {};
    const double weight = std::clamp((headroom - p.headroomMin) / (p.headroomMax - p.headroomMin), 0.0, 1.0);
    std::vector<double> light(sdr.pixels.size());
    for (size_t i = 0; i < light.size(); ++i) {
        const size_t x = i / 3 % size_t(sdr.width), y = i / 3 / size_t(sdr.width);
        const size_t m = (y * size_t(map.height) / size_t(sdr.height) * size_t(map.width) + x * size_t(map.width) / size_t(sdr.width)) * 3;
        const double level = std::pow(map.pixels[m] / 255.0, 1 / p.gamma);
        const double gain = std::exp2((p.min + (p.max - p.min) * level) * weight);
        const double v = sdr.pixels[i] / 255.0;
        const double base = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        light[i] = (base + p.offsetSdr) * gain - p.offsetHdr;
    }
    return light;
}

} // namespace tessavo::testsupport
