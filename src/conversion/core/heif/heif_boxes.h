#pragma once

#include "conversion/core/base/result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Bounds-checked reading of ISO-BMFF boxes, for the few HEIF fields the core
// reads itself. Nothing here throws on malformed input.
namespace tessavo {

constexpr uint32_t fourcc(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
        uint32_t(uint8_t(code[3]));
}

// A big-endian cursor that never moves past its end. A read that would
// overrun yields zero or nothing, jumps to the end and clears ok() for good,
// so a run of reads can be checked once.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) { }

    bool ok() const { return ok_; }
    size_t left() const { return bytes_.size() - pos_; }
    // An unsigned field of 0 to 8 bytes.
    uint64_t read(int size);
    std::span<const uint8_t> take(size_t size);

private:
    void fail();

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

struct FullBoxHeader {
    uint32_t version = 0;
    uint32_t flags = 0;
};

FullBoxHeader readFullBoxHeader(ByteReader& reader);

struct Box {
    uint32_t type = 0;
    std::span<const uint8_t> payload; // after the header and any uuid extended type
};

// The boxes directly inside `bytes` up to the first malformed one.
std::vector<Box> leadingBoxes(std::span<const uint8_t> bytes);
// All boxes directly inside `bytes`; nothing unless they fill it exactly.
Result<std::vector<Box>> allBoxes(std::span<const uint8_t> bytes);

const Box* findBox(std::span<const Box> boxes, uint32_t type);

struct PropertyEntry {
    uint32_t item = 0;
    std::vector<uint32_t> indices; // 1-based ipco indices, 0 for none, essential bit dropped
};

// The entries of an ipma payload, in order, as libheif reads them; nothing
// when one is cut short.
Result<std::vector<PropertyEntry>> readPropertyAssociations(std::span<const uint8_t> ipma);

} // namespace tessavo
