#include "conversion/core/gainmap/apple_form.h"

#include "conversion/core/metadata/tiff_reader.h"
#include "conversion/core/metadata/xmp_properties.h"

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

// Apple's documentation: the map is "encoded using the Rec.709 transfer function".
double rec709ToLinear(double v) { return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45); }

// Tags 33 and 48 of the maker note, 48 taken as 0 where it is absent;
// nothing where either cannot be read.
std::optional<std::pair<double, double>> makerNoteValues(std::span<const uint8_t> tiff)
{
    if (tiff.size() < 8)
        return std::nullopt;
    const TiffReader exif(tiff);
    const auto pointer = exif.entry(exif.firstIfd(), kExifIfd);
    const auto note = pointer ? exif.entry(exif.read(*pointer + 8, 4), kMakerNote) : std::nullopt;
    if (!note)
        return std::nullopt;
    const uint64_t length = exif.read(*note + 4, 4), start = exif.read(*note + 8, 4);
    // "Apple iOS\0", a version, the byte order, then an IFD whose offsets
    // count from the note's start.
    if (start > tiff.size() || length > tiff.size() - start || length < 16 || std::memcmp(tiff.data() + start, "Apple iOS\0", 10) != 0)
        return std::nullopt;
    const auto bytes = tiff.subspan(size_t(start), size_t(length));
    const TiffReader apple(bytes, bytes[12] == 'M');
    const Result<double> maker33 = apple.rational(14, 33);
    const Result<double> maker48 = apple.entry(14, 48) ? apple.rational(14, 48) : Result<double>(0.0);
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
    if (xmp.size() == 1)
        if (const Result<double> headroom = xmpNumber(xmp[0]))
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
