#include "conversion/core/apple_gain_map.h"

#include "conversion/core/xmp_properties.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessavo {
namespace {

constexpr uint16_t kExifIfd = 0x8769, kMakerNote = 0x927c;

// Entries of one IFD inside a TIFF structure (or a maker note laid out as one).
class Ifds {
public:
    Ifds(std::span<const uint8_t> bytes, bool big) : bytes_(bytes), big_(big) {}

    uint64_t read(uint64_t at, int size) const
    {
        uint64_t value = 0;
        if (at > bytes_.size() || uint64_t(size) > bytes_.size() - at)
            return 0;
        for (int i = 0; i < size; ++i)
            value |= uint64_t(bytes_[size_t(at) + size_t(i)]) << (8 * (big_ ? size - 1 - i : i));
        return value;
    }

    // The offset of the tag's 12-byte entry in the IFD at `ifd`.
    std::optional<uint64_t> entry(uint64_t ifd, uint16_t tag) const
    {
        const uint64_t count = read(ifd, 2);
        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t at = ifd + 2 + i * 12;
            if (at + 12 > bytes_.size())
                break;
            if (read(at, 2) == tag)
                return at;
        }
        return std::nullopt;
    }

    // A single RATIONAL or SRATIONAL value.
    std::optional<double> rational(uint64_t ifd, uint16_t tag) const
    {
        const auto at = entry(ifd, tag);
        if (!at || read(*at + 4, 4) != 1)
            return std::nullopt;
        const uint64_t type = read(*at + 2, 2), offset = read(*at + 8, 4);
        const uint64_t numerator = read(offset, 4), denominator = read(offset + 4, 4);
        if ((type != 5 && type != 10) || offset + 8 > bytes_.size() || denominator == 0)
            return std::nullopt;
        if (type == 5)
            return double(numerator) / double(denominator);
        return double(int32_t(uint32_t(numerator))) / double(int32_t(uint32_t(denominator)));
    }

private:
    std::span<const uint8_t> bytes_;
    bool big_;
};

// Apple's documentation: the map is "encoded using the Rec.709 transfer function".
double rec709ToLinear(double v) { return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45); }

// Tags 33 and 48 of the maker note, 48 taken as 0 where it is absent;
// nothing where either cannot be read.
std::optional<std::pair<double, double>> makerNoteValues(std::span<const uint8_t> tiff)
{
    if (tiff.size() < 8)
        return std::nullopt;
    const Ifds exif(tiff, tiff[0] == 'M');
    const auto pointer = exif.entry(exif.read(4, 4), kExifIfd);
    const auto note = pointer ? exif.entry(exif.read(*pointer + 8, 4), kMakerNote) : std::nullopt;
    if (!note)
        return std::nullopt;
    const uint64_t length = exif.read(*note + 4, 4), start = exif.read(*note + 8, 4);
    // "Apple iOS\0", a version, the byte order, then an IFD whose offsets
    // count from the note's start.
    if (start > tiff.size() || length > tiff.size() - start || length < 16 ||
        std::memcmp(tiff.data() + start, "Apple iOS\0", 10) != 0)
        return std::nullopt;
    const auto bytes = tiff.subspan(size_t(start), size_t(length));
    const Ifds apple(bytes, bytes[12] == 'M');
    const auto maker33 = apple.rational(14, 33);
    const auto maker48 = apple.entry(14, 48) ? apple.rational(14, 48) : std::optional(0.0);
    if (!maker33 || !maker48)
        return std::nullopt;
    return std::pair(*maker33, *maker48);
}

} // namespace

Result<double> appleHeadroom(std::span<const uint8_t> tiff, std::string_view mapXmp)
{
    if (const auto values = makerNoteValues(tiff))
        return appleHeadroom(values->first, values->second);
    const std::vector<std::string> xmp = xmpValues(mapXmp, kAppleGainMapNamespace, "HDRGainMapHeadroom");
    if (const auto headroom = xmp.size() == 1 ? xmpNumber(xmp[0]) : std::nullopt)
        return *headroom;
    return Failure{ConversionStep::Decode, "the photo's Apple maker note and XMP give no headroom for it"};
}

double appleHeadroom(double maker33, double maker48)
{
    double stops = 0;
    if (maker33 < 1)
        stops = maker48 <= 0.01 ? -20 * maker48 + 1.8 : -0.101 * maker48 + 1.601;
    else
        stops = maker48 <= 0.01 ? -70 * maker48 + 3 : -0.303 * maker48 + 2.303;
    return std::exp2(std::max(stops, 0.0));
}

GainMapMetadata appleMetadata(double headroom)
{
    GainMapMetadata m;
    const double stops = std::log2(headroom);
    m.gainMapMin = {0, 0, 0};
    m.gainMapMax = {stops, stops, stops};
    m.gamma = {1, 1, 1};
    m.baseOffset = m.alternateOffset = {0, 0, 0};
    m.baseHdrHeadroom = 0;
    m.alternateHdrHeadroom = stops;
    m.useBaseColourSpace = true;
    return m;
}

std::array<uint8_t, 256> appleLevels(double headroom)
{
    std::array<uint8_t, 256> levels{};
    const double stops = std::log2(headroom);
    for (int v = 0; v < 256; ++v) {
        const double gain = 1 + (headroom - 1) * rec709ToLinear(v / 255.0);
        levels[size_t(v)] = uint8_t(std::clamp(std::lround(255 * std::log2(gain) / stops), 0L, 255L));
    }
    return levels;
}

} // namespace tessavo
