#include "conversion/core/heif/heif_boxes.h"

namespace tessavo {

void ByteReader::fail()
{
    ok_ = false;
    pos_ = bytes_.size();
}

uint64_t ByteReader::read(int size)
{
    if (size < 0 || size > 8 || left() < size_t(size)) {
        fail();
        return 0;
    }
    uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | bytes_[pos_++];
    return value;
}

std::span<const uint8_t> ByteReader::take(size_t size)
{
    if (left() < size) {
        fail();
        return {};
    }
    pos_ += size;
    return bytes_.subspan(pos_ - size, size);
}

FullBoxHeader readFullBoxHeader(ByteReader& reader)
{
    FullBoxHeader header;
    header.version = uint32_t(reader.read(1));
    header.flags = uint32_t(reader.read(3));
    return header;
}

namespace {

// Every box found consumes at least its header, so this ends.
std::vector<Box> split(std::span<const uint8_t> bytes, bool& whole)
{
    std::vector<Box> boxes;
    ByteReader reader(bytes);
    whole = true;
    while (reader.left() > 0) {
        uint64_t size = reader.read(4);
        const uint32_t type = uint32_t(reader.read(4));
        uint64_t header = 8;
        if (size == 1) {
            size = reader.read(8);
            header = 16;
        } else if (size == 0) {
            size = header + reader.left();
        }
        if (type == fourcc("uuid")) {
            reader.take(16);
            header += 16;
        }
        if (!reader.ok() || size < header || size - header > reader.left()) {
            whole = false;
            break;
        }
        boxes.push_back({type, reader.take(size_t(size - header))});
    }
    return boxes;
}

} // namespace

std::vector<Box> leadingBoxes(std::span<const uint8_t> bytes)
{
    bool whole = true;
    return split(bytes, whole);
}

Result<std::vector<Box>> allBoxes(std::span<const uint8_t> bytes)
{
    bool whole = true;
    auto boxes = split(bytes, whole);
    if (!whole)
        return Failure{ConversionStep::Parse, "its boxes overrun their container"};
    return boxes;
}

const Box* findBox(std::span<const Box> boxes, uint32_t type)
{
    for (const Box& box : boxes)
        if (box.type == type)
            return &box;
    return nullptr;
}

Result<std::vector<PropertyEntry>> readPropertyAssociations(std::span<const uint8_t> ipma)
{
    ByteReader reader(ipma);
    const auto [version, flags] = readFullBoxHeader(reader);
    uint64_t count = reader.read(4);
    // libheif holds the count in an int: past its range there are no entries.
    if (count > 0x7fffffff)
        count = 0;
    std::vector<PropertyEntry> entries;
    // Like libheif, stop at the end of the box even when the count says
    // more; each entry takes at least three bytes, so this ends early.
    for (uint64_t e = 0; e < count && reader.ok() && reader.left() > 0; ++e) {
        PropertyEntry entry;
        entry.item = uint32_t(reader.read(version < 1 ? 2 : 4));
        const uint64_t associations = reader.read(1);
        for (uint64_t a = 0; a < associations && reader.ok(); ++a)
            entry.indices.push_back(uint32_t((flags & 1) ? reader.read(2) & 0x7fff : reader.read(1) & 0x7f));
        entries.push_back(std::move(entry));
    }
    if (!reader.ok())
        return Failure{ConversionStep::Parse, "its property associations are cut short"};
    return entries;
}

} // namespace tessavo
