#include "conversion/heif_properties.h"

#include <array>

namespace tessavo {
namespace {

constexpr uint32_t fourcc(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
           uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

// A cursor that refuses to move past its end; every read reports success.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t left() const { return bytes_.size() - pos_; }
    bool skip(size_t n)
    {
        if (n > left())
            return false;
        pos_ += n;
        return true;
    }
    bool u8(uint32_t& out) { return read(1, out); }
    bool u16(uint32_t& out) { return read(2, out); }
    bool u24(uint32_t& out) { return read(3, out); }
    bool u32(uint32_t& out) { return read(4, out); }
    bool u64(uint64_t& out)
    {
        uint32_t high = 0, low = 0;
        if (!u32(high) || !u32(low))
            return false;
        out = uint64_t(high) << 32 | low;
        return true;
    }
    std::span<const uint8_t> take(size_t n)
    {
        auto part = bytes_.subspan(pos_, n);
        pos_ += n;
        return part;
    }

private:
    bool read(size_t n, uint32_t& out)
    {
        if (n > left())
            return false;
        out = 0;
        for (size_t i = 0; i < n; ++i)
            out = out << 8 | bytes_[pos_ + i];
        pos_ += n;
        return true;
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

struct Box {
    uint32_t type = 0;
    std::span<const uint8_t> body;
};

// The boxes directly inside `bytes`, stopping at the first malformed header.
// Every box found consumes at least its 8-byte header, so this ends.
std::vector<Box> childBoxes(std::span<const uint8_t> bytes)
{
    std::vector<Box> boxes;
    Reader reader(bytes);
    while (reader.left() >= 8) {
        uint32_t size32 = 0, type = 0;
        reader.u32(size32);
        reader.u32(type);
        uint64_t size = size32;
        size_t header = 8;
        if (size32 == 1) {
            if (!reader.u64(size))
                break;
            header = 16;
        } else if (size32 == 0) {
            size = reader.left() + header;
        }
        if (size < header || size - header > reader.left())
            break;
        if (type == fourcc("uuid")) {
            if (!reader.skip(16) || size - header < 16)
                break;
            header += 16;
        }
        boxes.push_back({type, reader.take(size_t(size - header))});
    }
    return boxes;
}

const Box* findBox(const std::vector<Box>& boxes, uint32_t type)
{
    for (const auto& box : boxes)
        if (box.type == type)
            return &box;
    return nullptr;
}

// Version and flags of a full box; the reader is left at its payload.
bool fullBoxHeader(Reader& reader, uint32_t& version, uint32_t& flags)
{
    return reader.u8(version) && reader.u24(flags);
}

bool readCleanAperture(std::span<const uint8_t> body, CleanAperture& clap)
{
    Reader reader(body);
    std::array<uint32_t, 8> v{};
    for (auto& value : v)
        if (!reader.u32(value))
            return false;
    clap.widthNumerator = v[0];
    clap.widthDenominator = v[1];
    clap.heightNumerator = v[2];
    clap.heightDenominator = v[3];
    clap.horizontalOffsetNumerator = int32_t(v[4]);
    clap.horizontalOffsetDenominator = v[5];
    clap.verticalOffsetNumerator = int32_t(v[6]);
    clap.verticalOffsetDenominator = v[7];
    return true;
}

// Appends the 1-based ipco indices that `ipma` associates with `item`.
void associatedProperties(std::span<const uint8_t> ipma, uint32_t item, std::vector<uint32_t>& out)
{
    Reader reader(ipma);
    uint32_t version = 0, flags = 0, entries = 0;
    if (!fullBoxHeader(reader, version, flags) || !reader.u32(entries))
        return;
    // Each entry takes at least three bytes, so a lying count ends early.
    for (uint32_t e = 0; e < entries; ++e) {
        uint32_t id = 0, count = 0;
        if (!(version < 1 ? reader.u16(id) : reader.u32(id)) || !reader.u8(count))
            return;
        for (uint32_t a = 0; a < count; ++a) {
            uint32_t value = 0;
            if (flags & 1) {
                if (!reader.u16(value))
                    return;
                value &= 0x7fff;
            } else {
                if (!reader.u8(value))
                    return;
                value &= 0x7f;
            }
            if (id == item)
                out.push_back(value);
        }
    }
}

} // namespace

std::optional<std::vector<ImageTransform>> readPrimaryItemTransforms(std::span<const uint8_t> file)
{
    const auto top = childBoxes(file);
    const Box* meta = findBox(top, fourcc("meta"));
    if (!findBox(top, fourcc("ftyp")) || !meta)
        return std::nullopt;

    Reader metaReader(meta->body);
    uint32_t version = 0, flags = 0;
    if (!fullBoxHeader(metaReader, version, flags))
        return std::nullopt;
    const auto inMeta = childBoxes(meta->body.subspan(4));

    const Box* hdlr = findBox(inMeta, fourcc("hdlr"));
    if (!hdlr)
        return std::nullopt;
    Reader hdlrReader(hdlr->body);
    uint32_t preDefined = 0, handler = 0;
    if (!fullBoxHeader(hdlrReader, version, flags) || !hdlrReader.u32(preDefined) ||
        !hdlrReader.u32(handler) || handler != fourcc("pict"))
        return std::nullopt;

    const Box* pitm = findBox(inMeta, fourcc("pitm"));
    if (!pitm)
        return std::nullopt;
    Reader pitmReader(pitm->body);
    uint32_t primary = 0;
    if (!fullBoxHeader(pitmReader, version, flags) ||
        !(version == 0 ? pitmReader.u16(primary) : pitmReader.u32(primary)))
        return std::nullopt;

    std::vector<ImageTransform> transforms;
    const Box* iprp = findBox(inMeta, fourcc("iprp"));
    if (!iprp)
        return transforms;
    const auto inIprp = childBoxes(iprp->body);
    const Box* ipco = findBox(inIprp, fourcc("ipco"));
    if (!ipco)
        return transforms;
    const auto properties = childBoxes(ipco->body);

    std::vector<uint32_t> indices;
    for (const auto& box : inIprp)
        if (box.type == fourcc("ipma"))
            associatedProperties(box.body, primary, indices);

    for (uint32_t index : indices) {
        if (index == 0 || index > properties.size())
            continue;
        const Box& property = properties[index - 1];
        ImageTransform transform;
        if (property.type == fourcc("irot") && !property.body.empty()) {
            transform.kind = ImageTransform::Kind::Rotation;
            transform.rotationCcwDegrees = (property.body[0] & 3) * 90;
        } else if (property.type == fourcc("imir") && !property.body.empty()) {
            transform.kind = ImageTransform::Kind::Mirror;
            transform.mirrorAxis = property.body[0] & 1;
        } else if (property.type == fourcc("clap") && readCleanAperture(property.body, transform.crop)) {
            transform.kind = ImageTransform::Kind::Crop;
        } else {
            continue;
        }
        transforms.push_back(transform);
    }
    return transforms;
}

namespace {
using Matrix = std::array<int, 4>;
constexpr std::array<Matrix, 8> byOrientation{{
    {1, 0, 0, 1},   // 1
    {-1, 0, 0, 1},  // 2 mirrored left-right
    {-1, 0, 0, -1}, // 3 turned 180
    {1, 0, 0, -1},  // 4 mirrored top-bottom
    {0, 1, 1, 0},   // 5 transposed
    {0, -1, 1, 0},  // 6 turned 90 clockwise
    {0, -1, -1, 0}, // 7 transversed
    {0, 1, -1, 0},  // 8 turned 90 anti-clockwise
}};
} // namespace

std::array<int, 4> orientationMatrix(int orientation)
{
    return orientation >= 1 && orientation <= 8 ? byOrientation[size_t(orientation - 1)] : byOrientation[0];
}

int exifOrientation(std::span<const ImageTransform> transforms)
{
    // Composing the matrices composes the operations.
    const auto multiply = [](const Matrix& a, const Matrix& b) {
        return Matrix{a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3],
                      a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3]};
    };

    Matrix total = byOrientation[0];
    for (const auto& transform : transforms) {
        Matrix step = byOrientation[0];
        if (transform.kind == ImageTransform::Kind::Rotation) {
            for (int turned = 0; turned < transform.rotationCcwDegrees; turned += 90)
                step = multiply(byOrientation[7], step);
        } else if (transform.kind == ImageTransform::Kind::Mirror) {
            // libheif 1.15 flips top-bottom for axis 0 and left-right for
            // axis 1; the JPEG must show what libheif shows.
            step = transform.mirrorAxis == 0 ? byOrientation[3] : byOrientation[1];
        }
        total = multiply(step, total);
    }
    for (size_t i = 0; i < byOrientation.size(); ++i)
        if (byOrientation[i] == total)
            return int(i) + 1;
    return 1;
}

} // namespace tessavo
