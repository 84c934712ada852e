#include "conversion/heif_properties.h"

#include "conversion/heif_boxes.h"

#include <array>

namespace tessavo {
namespace {

bool readCleanAperture(std::span<const uint8_t> body, CleanAperture& clap)
{
    ByteReader reader(body);
    std::array<uint32_t, 8> v{};
    for (auto& value : v)
        value = uint32_t(reader.read(4));
    if (!reader.ok())
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

} // namespace

std::optional<std::vector<ImageTransform>> readPrimaryItemTransforms(std::span<const uint8_t> file)
{
    const auto top = leadingBoxes(file);
    const Box* meta = findBox(top, fourcc("meta"));
    if (!findBox(top, fourcc("ftyp")) || !meta || meta->payload.size() < 4)
        return std::nullopt;
    const auto inMeta = leadingBoxes(meta->payload.subspan(4));

    const Box* hdlr = findBox(inMeta, fourcc("hdlr"));
    if (!hdlr)
        return std::nullopt;
    ByteReader hdlrReader(hdlr->payload);
    readFullBoxHeader(hdlrReader);
    hdlrReader.read(4); // pre_defined
    if (hdlrReader.read(4) != fourcc("pict") || !hdlrReader.ok())
        return std::nullopt;

    const Box* pitm = findBox(inMeta, fourcc("pitm"));
    if (!pitm)
        return std::nullopt;
    ByteReader pitmReader(pitm->payload);
    const uint32_t primary = uint32_t(pitmReader.read(readFullBoxHeader(pitmReader).version == 0 ? 2 : 4));
    if (!pitmReader.ok())
        return std::nullopt;

    std::vector<ImageTransform> transforms;
    const Box* iprp = findBox(inMeta, fourcc("iprp"));
    if (!iprp)
        return transforms;
    const auto inIprp = leadingBoxes(iprp->payload);
    const Box* ipco = findBox(inIprp, fourcc("ipco"));
    if (!ipco)
        return transforms;
    const auto properties = leadingBoxes(ipco->payload);

    std::vector<uint32_t> indices;
    for (const auto& box : inIprp)
        if (box.type == fourcc("ipma"))
            readPropertyAssociations(box.payload, [&](uint32_t item, uint32_t index) {
                if (item == primary)
                    indices.push_back(index);
            });

    for (uint32_t index : indices) {
        if (index == 0 || index > properties.size())
            continue;
        const Box& property = properties[index - 1];
        ImageTransform transform;
        if (property.type == fourcc("irot") && !property.payload.empty()) {
            transform.kind = ImageTransform::Kind::Rotation;
            transform.rotationCcwDegrees = (property.payload[0] & 3) * 90;
        } else if (property.type == fourcc("imir") && !property.payload.empty()) {
            transform.kind = ImageTransform::Kind::Mirror;
            transform.mirrorAxis = property.payload[0] & 1;
        } else if (property.type == fourcc("clap") && readCleanAperture(property.payload, transform.crop)) {
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
