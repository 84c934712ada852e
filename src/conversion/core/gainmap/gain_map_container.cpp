#include "conversion/core/gainmap/gain_map_container.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace tessavo {
namespace {

// ISO 21496-1 keeps every value as a fraction; one denominator for all
// gives a 2^-20 step and room for ±2048 stops.
constexpr double kDenominator = 1 << 20;

double asStored(double value) { return std::round(value * kDenominator) / kDenominator; }

constexpr std::string_view kIsoIdentifier{"urn:iso:std:iso:ts:21496:-1\0", 28};
constexpr std::string_view kMpfIdentifier{"MPF\0", 4};
constexpr int kGainMapQuality = 85;

void put(std::vector<uint8_t>& out, uint32_t value, int bytes = 4)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

void putFraction(std::vector<uint8_t>& out, double value)
{
    put(out, uint32_t(int32_t(std::lround(value * kDenominator))));
    put(out, uint32_t(kDenominator));
}

bool channelsAgree(const GainMapMetadata& m)
{
    for (const auto* field : {&m.gainMapMin, &m.gainMapMax, &m.gamma, &m.baseOffset, &m.alternateOffset})
        if (asStored((*field)[1]) != asStored((*field)[0]) || asStored((*field)[2]) != asStored((*field)[0]))
            return false;
    return true;
}

std::vector<uint8_t> isoSegment(const GainMapMetadata* metadata)
{
    std::vector<uint8_t> out(kIsoIdentifier.begin(), kIsoIdentifier.end());
    put(out, 0, 2); // minimum version
    put(out, 0, 2); // writer version
    if (!metadata)
        return out;
    const int channels = channelsAgree(*metadata) ? 1 : 3;
    out.push_back(uint8_t((channels == 3 ? 0x80 : 0) | (metadata->useBaseColourSpace ? 0x40 : 0)));
    putFraction(out, metadata->baseHdrHeadroom);
    putFraction(out, metadata->alternateHdrHeadroom);
    for (size_t c = 0; c < size_t(channels); ++c)
        for (const double value :
            {metadata->gainMapMin[c], metadata->gainMapMax[c], metadata->gamma[c], metadata->baseOffset[c], metadata->alternateOffset[c]})
            putFraction(out, value);
    return out;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", asStored(value));
    return text;
}

constexpr std::string_view kXmpHead = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                                      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">";
constexpr std::string_view kRdfEnd = "</rdf:RDF>";
constexpr std::string_view kXmpTail = "</rdf:RDF></x:xmpmeta>";
constexpr std::string_view kDescription = "<rdf:Description rdf:about=\"\" "
                                          "xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" hdrgm:Version=\"1.0\"";

// Adobe's form: log2 gains and headrooms, offsets and gamma as they are.
std::string mapXmp(const GainMapMetadata& m)
{
    std::string xmp = std::string(kXmpHead) + std::string(kDescription);
    const std::pair<const char*, const std::array<double, 3>*> perChannel[] = {{"GainMapMin", &m.gainMapMin}, {"GainMapMax", &m.gainMapMax},
        {"Gamma", &m.gamma}, {"OffsetSDR", &m.baseOffset}, {"OffsetHDR", &m.alternateOffset}};
    const bool one = channelsAgree(m);
    if (one)
        for (const auto& [name, values] : perChannel)
            xmp += std::string(" hdrgm:") + name + "=\"" + number((*values)[0]) + "\"";
    xmp += " hdrgm:HDRCapacityMin=\"" + number(m.baseHdrHeadroom) + "\" hdrgm:HDRCapacityMax=\"" + number(m.alternateHdrHeadroom) +
        "\" hdrgm:BaseRenditionIsHDR=\"False\"";
    if (one)
        return xmp + "/>" + std::string(kXmpTail);
    xmp += ">";
    for (const auto& [name, values] : perChannel) {
        xmp += std::string("<hdrgm:") + name + "><rdf:Seq>";
        for (const double value : *values)
            xmp += "<rdf:li>" + number(value) + "</rdf:li>";
        xmp += std::string("</rdf:Seq></hdrgm:") + name + ">";
    }
    return xmp + "</rdf:Description>" + std::string(kXmpTail);
}

// The container's directory (Ultra HDR): the primary, then the map's length.
std::string containerDescription(size_t mapLength)
{
    return std::string(kDescription) +
        " xmlns:Container=\"http://ns.google.com/photos/1.0/container/\""
        " xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\">"
        "<Container:Directory><rdf:Seq>"
        "<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Semantic=\"Primary\" Item:Mime=\"image/jpeg\"/></rdf:li>"
        "<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Semantic=\"GainMap\" Item:Mime=\"image/jpeg\" Item:Length=\"" +
        std::to_string(mapLength) + "\"/></rdf:li></rdf:Seq></Container:Directory></rdf:Description>";
}

std::string primaryXmp(std::span<const uint8_t> photoXmp, size_t mapLength, std::vector<std::string>& notes)
{
    const std::string ours = containerDescription(mapLength);
    if (!photoXmp.empty()) {
        std::string merged(photoXmp.begin(), photoXmp.end());
        const size_t end = merged.rfind(kRdfEnd);
        if (end != std::string::npos && merged.size() + ours.size() <= kMaxJpegXmpBytes)
            return merged.insert(end, ours);
        notes.push_back("the photo's XMP left out: it had no room beside the HDR gain map's");
    }
    return std::string(kXmpHead) + ours + std::string(kXmpTail);
}

// The MPF index (CIPA DC-007) of two images, big-endian, its sizes and the
// map's offset still zero: offsets count from the TIFF header after "MPF\0".
constexpr size_t kEntriesAt = 50;
std::vector<uint8_t> mpfSegment()
{
    std::vector<uint8_t> out(kMpfIdentifier.begin(), kMpfIdentifier.end());
    for (const char c : std::string_view("MM\0\x2a", 4))
        out.push_back(uint8_t(c));
    put(out, 8); // first IFD
    put(out, 3, 2); // entries
    put(out, 0xb000, 2), put(out, 7, 2), put(out, 4), put(out, 0x30313030); // version "0100"
    put(out, 0xb001, 2), put(out, 4, 2), put(out, 1), put(out, 2); // number of images
    put(out, 0xb002, 2), put(out, 7, 2), put(out, 32), put(out, kEntriesAt); // the entries
    put(out, 0); // no next IFD
    out.resize(out.size() + 32); // two entries
    return out;
}

} // namespace

Result<void> checkStorable(const GainMapMetadata& m)
{
    GainMapMetadata stored = m;
    bool fits = std::abs(m.baseHdrHeadroom) < 2047 && std::abs(m.alternateHdrHeadroom) < 2047;
    for (auto* field : {&stored.gainMapMin, &stored.gainMapMax, &stored.gamma, &stored.baseOffset, &stored.alternateOffset})
        for (double& value : *field) {
            fits = fits && std::abs(value) < 2047;
            value = asStored(value);
        }
    stored.baseHdrHeadroom = asStored(m.baseHdrHeadroom);
    stored.alternateHdrHeadroom = asStored(m.alternateHdrHeadroom);
    const double claimed = std::max({stored.alternateHdrHeadroom, stored.gainMapMax[0], stored.gainMapMax[1], stored.gainMapMax[2]});
    if (fits && claimed > kMaxHeadroomStops) {
        char stops[32];
        std::snprintf(stops, sizeof stops, "%.0f", claimed);
        return Failure{ConversionStep::Decode, std::string("it claims ") + stops + " stops of headroom, more than any display shows"};
    }
    if (!fits || !meaningful(stored) || stored.baseHdrHeadroom < 0)
        return Failure{ConversionStep::Decode, "its parameters mean nothing at the precision the JPEG keeps"};
    return {};
}

Result<void> writeJpegWithGainMap(
    int fd, const JpegPicture& primary, const JpegMetadata& metadata, const GainMap& map, std::vector<std::string>& notes)
{
    // The map first, into memory: the primary's XMP gives its length.
    const std::string ownXmp = mapXmp(map.metadata);
    const std::vector<uint8_t> ownIso = isoSegment(&map.metadata);
    const JpegSegment mapSegments[] = {{2, ownIso}};
    JpegPicture mapPicture;
    mapPicture.width = map.width;
    mapPicture.height = map.height;
    mapPicture.rgb = map.pixels.data();
    mapPicture.stride = size_t(map.width) * size_t(map.channels);
    mapPicture.components = map.channels;
    JpegMetadata mapMetadata;
    mapMetadata.xmp = {reinterpret_cast<const uint8_t*>(ownXmp.data()), ownXmp.size()};
    mapMetadata.segments = mapSegments;
    mapMetadata.withExif = false;
    mapMetadata.quality = kGainMapQuality;
    Result<std::vector<uint8_t>> mapJpeg = encodeJpeg(mapPicture, mapMetadata);
    if (!mapJpeg)
        return mapJpeg.failure();

    const std::string xmp = primaryXmp(metadata.xmp, mapJpeg->size(), notes);
    const std::vector<uint8_t> version = isoSegment(nullptr);
    const std::vector<uint8_t> mpf = mpfSegment();
    size_t mpfAt = 0;
    const JpegSegment segments[] = {{2, version}, {2, mpf, &mpfAt}};
    JpegMetadata withContainer = metadata;
    withContainer.xmp = {reinterpret_cast<const uint8_t*>(xmp.data()), xmp.size()};
    withContainer.segments = segments;

    const off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (Result<void> written = writeJpeg(fd, primary, withContainer); !written)
        return written;
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    const size_t primaryLength = size_t(end - start);
    const size_t tiffHeader = mpfAt + kMpfIdentifier.size();
    const uint32_t mapOffset = uint32_t(primaryLength - tiffHeader);
    std::vector<uint8_t> entries;
    put(entries, 0x030000), put(entries, uint32_t(primaryLength)), put(entries, 0), put(entries, 0); // baseline primary
    put(entries, 0), put(entries, uint32_t(mapJpeg->size())), put(entries, mapOffset), put(entries, 0);
    const off_t entriesAt = start + off_t(tiffHeader + kEntriesAt);
    if (start < 0 || end < 0)
        return Failure{ConversionStep::Finalize, std::strerror(errno)};
    if (Result<void> map = writeAll(fd, mapJpeg->data(), mapJpeg->size()); !map)
        return map;
    if (::pwrite(fd, entries.data(), entries.size(), entriesAt) != ssize_t(entries.size()))
        return Failure{ConversionStep::Finalize, std::strerror(errno)};
    return {};
}

} // namespace tessavo
