#include "conversion/core/metadata/tiff_reader.h"

#include <algorithm>
#include <string>

namespace tessavo {
namespace {

Failure unreadable(uint16_t tag) { return {ConversionStep::Decode, "TIFF tag " + std::to_string(tag) + " is missing or unreadable"}; }

} // namespace

uint32_t TiffReader::read(uint64_t at, int size) const
{
    uint32_t value = 0;
    if (at > bytes_.size() || uint64_t(size) > bytes_.size() - at)
        return 0;
    for (int i = 0; i < size; ++i)
        value |= uint32_t(bytes_[size_t(at) + size_t(i)]) << (8 * (big_ ? size - 1 - i : i));
    return value;
}

uint32_t TiffReader::entryCount(uint64_t ifd) const
{
    const uint64_t room = ifd + 2 <= bytes_.size() ? (bytes_.size() - ifd - 2) / 12 : 0;
    return uint32_t(std::min<uint64_t>(read(ifd, 2), room));
}

std::optional<uint64_t> TiffReader::entry(uint64_t ifd, uint16_t tag) const
{
    for (uint64_t i = 0, count = entryCount(ifd); i < count; ++i)
        if (read(ifd + 2 + i * 12, 2) == tag)
            return ifd + 2 + i * 12;
    return std::nullopt;
}

Result<uint32_t> TiffReader::number(uint64_t ifd, uint16_t tag) const
{
    const auto at = entry(ifd, tag);
    const uint32_t type = at ? read(*at + 2, 2) : 0;
    if (!at || read(*at + 4, 4) != 1 || (type != 3 && type != 4))
        return unreadable(tag);
    return read(*at + 8, type == 3 ? 2 : 4);
}

Result<double> TiffReader::rational(uint64_t ifd, uint16_t tag) const
{
    const auto at = entry(ifd, tag);
    if (!at || read(*at + 4, 4) != 1)
        return unreadable(tag);
    const uint32_t type = read(*at + 2, 2), offset = read(*at + 8, 4);
    const uint32_t numerator = read(offset, 4), denominator = read(uint64_t(offset) + 4, 4);
    if ((type != 5 && type != 10) || uint64_t(offset) + 8 > bytes_.size() || denominator == 0)
        return unreadable(tag);
    if (type == 5)
        return double(numerator) / double(denominator);
    return double(int32_t(numerator)) / double(int32_t(denominator));
}

} // namespace tessavo
