#include "gain_map_readback.h"

#include "jpeg_readback.h"

#include <string>

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

size_t find(std::span<const uint8_t> bytes, std::string_view what)
{
    return size_t(std::search(bytes.begin(), bytes.end(), what.begin(), what.end()) - bytes.begin());
}

} // namespace

GainMapJpeg splitGainMapJpeg(std::span<const uint8_t> file)
{
    GainMapJpeg out;
    const size_t tiff = find(file, std::string_view("MPF\0", 4)) + 4, ifd = tiff + number(file, tiff + 4, 4);
    for (size_t entry = ifd + 2; entry < ifd + 2 + 12 * number(file, ifd, 2); entry += 12)
        if (const size_t second = tiff + number(file, entry + 8, 4) + 16; number(file, entry, 2) == 0xb002) {
            const size_t length = number(file, second + 4, 4), offset = tiff + number(file, second + 8, 4);
            if (offset + length <= file.size() && length > 0) {
                out.primary.assign(file.begin(), file.begin() + ptrdiff_t(offset));
                out.map.assign(file.begin() + ptrdiff_t(offset), file.begin() + ptrdiff_t(offset + length));
            }
        }
    const std::string_view names[] = {"GainMapMin", "GainMapMax", "Gamma", "OffsetSDR", "OffsetHDR", "HDRCapacityMin", "HDRCapacityMax"};
    const std::string xmp(out.map.begin(), out.map.end());
    // ISO: versions, flags (no common denominator), then each fraction, headrooms first.
    const size_t iso = find(out.map, std::string_view("urn:iso:std:iso:ts:21496:-1\0", 28)), isoOrder[] = {2, 3, 4, 5, 6, 0, 1};
    for (size_t i = 0; i < 7; ++i) {
        if (const size_t at = xmp.find("hdrgm:" + std::string(names[i]) + "=\""); at != xmp.npos)
            out.xmp[i] = std::stod(xmp.substr(at + names[i].size() + 8, 32));
        if (iso + 89 <= out.map.size() && !(out.map[iso + 32] & 8))
            out.iso[i] = double(int32_t(number(out.map, iso + 33 + 8 * isoOrder[i], 4))) / number(out.map, iso + 37 + 8 * isoOrder[i], 4);
    }
    return out;
}

double applyGainMap(double sdr, double level, const GainParameters& p, double headroom)
{
    const double weight = std::clamp((headroom - p[5]) / (p[6] - p[5]), 0.0, 1.0);
    return (sdr + p[3]) * std::exp2((p[0] + (p[1] - p[0]) * std::pow(level, 1 / p[2])) * weight) - p[4];
}

HdrLight rebuildHdr(const GainMapJpeg& file, const GainParameters& p, double headroom, int step)
{
    const JpegFile primary = readJpeg(file.primary);
    const RgbImage sdr = applyExifOrientation(primary.stored, primary.orientation),
                   map = applyExifOrientation(readJpeg(file.map).stored, primary.orientation);
    HdrLight light{(sdr.width + step - 1) / step, (sdr.height + step - 1) / step, sdr.width, sdr.height, {}};
    for (size_t y = 0; y < size_t(sdr.height) && !map.pixels.empty(); y += size_t(step))
        for (size_t x = 0; x < size_t(sdr.width); x += size_t(step)) {
            const uint8_t level =
                map.pixels[(y * size_t(map.height) / size_t(sdr.height) * size_t(map.width) + x * size_t(map.width) / size_t(sdr.width)) *
                    3];
            for (size_t c = 0; c < 3; ++c)
                light.rgb.push_back(applyGainMap(srgbLinear(sdr.pixels[(y * size_t(sdr.width) + x) * 3 + c]), level / 255.0, p, headroom));
        }
    return light;
}

} // namespace tessavo::testsupport
