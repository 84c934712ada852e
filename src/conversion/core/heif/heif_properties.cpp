#include "conversion/core/heif/heif_properties.h"

#include "conversion/core/heif/heif_boxes.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

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

using Matrix = std::array<int, 4>;
constexpr std::array<Matrix, 8> byOrientation{{
    {1, 0, 0, 1}, // 1
    {-1, 0, 0, 1}, // 2 mirrored left-right
    {-1, 0, 0, -1}, // 3 turned 180
    {1, 0, 0, -1}, // 4 mirrored top-bottom
    {0, 1, 1, 0}, // 5 transposed
    {0, -1, 1, 0}, // 6 turned 90 clockwise
    {0, -1, -1, 0}, // 7 transversed
    {0, 1, -1, 0}, // 8 turned 90 anti-clockwise
}};

// Composing the matrices composes the operations.
Matrix multiply(const Matrix& a, const Matrix& b)
{
    return Matrix{a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3]};
}

// How one rotation or mirror moves pixels.
Matrix stepOf(const ImageTransform& transform)
{
    Matrix step = byOrientation[0];
    if (transform.kind == ImageTransform::Kind::Rotation) {
        for (int turned = 0; turned < transform.rotationCcwDegrees; turned += 90)
            step = multiply(byOrientation[7], step);
    } else if (transform.kind == ImageTransform::Kind::Mirror) {
        // libheif 1.15 flips top-bottom for axis 0 and left-right for
        // axis 1; the JPEG must show what libheif shows.
        step = transform.mirrorAxis == 0 ? byOrientation[3] : byOrientation[1];
    }
    return step;
}

// libheif's fractions: 32-bit, halved while a denominator is above 2^16.
// Where its 32-bit arithmetic would overflow the result is undefined, and
// the fraction here becomes invalid instead.
struct Fraction {
    int64_t numerator = 0, denominator = 1;
    bool valid = true;

    static Fraction of(int64_t n, int64_t d, bool valid = true)
    {
        Fraction f;
        f.valid = valid && n >= INT32_MIN && n <= INT32_MAX && d >= INT32_MIN && d <= INT32_MAX;
        while (d > 0x10000 || d < -0x10000) {
            n /= 2;
            d /= 2;
        }
        f.numerator = n;
        f.denominator = d;
        return f;
    }
    Fraction operator+(const Fraction& b) const
    {
        if (denominator == b.denominator)
            return of(numerator + b.numerator, denominator, valid && b.valid);
        return of(numerator * b.denominator + b.numerator * denominator, denominator * b.denominator,
            valid && b.valid && fits(numerator * b.denominator) && fits(b.numerator * denominator));
    }
    Fraction operator-(const Fraction& b) const
    {
        if (denominator == b.denominator)
            return of(numerator - b.numerator, denominator, valid && b.valid);
        return of(numerator * b.denominator - b.numerator * denominator, denominator * b.denominator,
            valid && b.valid && fits(numerator * b.denominator) && fits(b.numerator * denominator));
    }
    Fraction plus(int v) const { return of(numerator + v * denominator, denominator, valid && fits(v * denominator)); }
    Fraction halved() const { return of(numerator, denominator * 2, valid); }
    bool usable() const { return valid && denominator != 0; }
    int64_t roundDown() const { return numerator / denominator; }
    int64_t round() const { return (numerator + denominator / 2) / denominator; }
    static bool fits(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }
};

// libheif's Box_clap: the crop's first and last column and row in an image
// of the given size (left rounds down, top to nearest).
struct CropEdges {
    int64_t left = 0, right = 0, top = 0, bottom = 0;
    bool valid = false;
};

CropEdges cropEdges(const CleanAperture& clap, int width, int height)
{
    CropEdges edges;
    const auto unsignedFraction = [](uint32_t n, uint32_t d) { return Fraction::of(n, d, n <= INT32_MAX && d <= INT32_MAX); };
    const Fraction clapWidth = unsignedFraction(clap.widthNumerator, clap.widthDenominator);
    const Fraction clapHeight = unsignedFraction(clap.heightNumerator, clap.heightDenominator);
    const Fraction horizontal = Fraction::of(
        clap.horizontalOffsetNumerator, int32_t(clap.horizontalOffsetDenominator), clap.horizontalOffsetDenominator <= INT32_MAX);
    const Fraction vertical = Fraction::of(
        clap.verticalOffsetNumerator, int32_t(clap.verticalOffsetDenominator), clap.verticalOffsetDenominator <= INT32_MAX);
    if (!clapWidth.usable() || !clapHeight.usable() || !horizontal.usable() || !vertical.usable())
        return edges;

    const Fraction left = (horizontal + Fraction::of(width - 1, 2)) - clapWidth.plus(-1).halved();
    const Fraction top = (vertical + Fraction::of(height - 1, 2)) - clapHeight.plus(-1).halved();
    if (!left.usable() || !top.usable() || !Fraction::fits(top.numerator + top.denominator / 2))
        return edges;
    edges.left = left.roundDown();
    edges.top = top.round();
    const Fraction right = clapWidth.plus(-1).plus(int(std::clamp<int64_t>(edges.left, INT32_MIN, INT32_MAX)));
    const Fraction bottom = clapHeight.plus(-1).plus(int(std::clamp<int64_t>(edges.top, INT32_MIN, INT32_MAX)));
    const auto roundable = [](const Fraction& f) { return f.usable() && Fraction::fits(f.numerator + f.denominator / 2); };
    if (!roundable(right) || !roundable(bottom) || !Fraction::fits(edges.left) || !Fraction::fits(edges.top))
        return edges;
    edges.right = right.round();
    edges.bottom = bottom.round();
    edges.valid = true;
    return edges;
}

} // namespace

Result<std::vector<ImageTransform>> transformsOf(const HeifFile& heif, uint32_t item)
{
    std::vector<ImageTransform> transforms;
    // Debian's libheif refuses a second property of one of these kinds.
    std::array<bool, 3> seen{};
    for (const Box* property : heif.propertiesOf(item)) {
        ImageTransform transform;
        if (property->type == fourcc("irot")) {
            if (property->payload.empty())
                return Failure{ConversionStep::Decode, "a crop, turn or mirror is unreadable or comes twice"};
            transform.kind = ImageTransform::Kind::Rotation;
            transform.rotationCcwDegrees = (property->payload[0] & 3) * 90;
        } else if (property->type == fourcc("imir")) {
            if (property->payload.empty())
                return Failure{ConversionStep::Decode, "a crop, turn or mirror is unreadable or comes twice"};
            transform.kind = ImageTransform::Kind::Mirror;
            transform.mirrorAxis = property->payload[0] & 1;
        } else if (property->type == fourcc("clap")) {
            if (!readCleanAperture(property->payload, transform.crop))
                return Failure{ConversionStep::Decode, "a crop, turn or mirror is unreadable or comes twice"};
            transform.kind = ImageTransform::Kind::Crop;
        } else {
            continue;
        }
        if (std::exchange(seen[size_t(transform.kind)], true))
            return Failure{ConversionStep::Decode, "a crop, turn or mirror is unreadable or comes twice"};
        transforms.push_back(transform);
    }
    return transforms;
}

std::string_view auxiliaryType(const HeifFile& heif, uint32_t item)
{
    std::string_view kind;
    for (const Box* property : heif.propertiesOf(item)) {
        if (property->type != fourcc("auxC") || property->payload.size() < 4)
            continue;
        const auto text = property->payload.subspan(4);
        kind = std::string_view(reinterpret_cast<const char*>(text.data()), size_t(std::find(text.begin(), text.end(), 0) - text.begin()));
    }
    return kind;
}

Result<std::optional<NclxColour>> declaredColour(const HeifFile& heif, uint32_t item)
{
    std::optional<NclxColour> colour;
    for (const Box* property : heif.propertiesOf(item)) {
        if (property->type != fourcc("colr"))
            continue;
        ByteReader r(property->payload);
        if (r.read(4) != fourcc("nclx"))
            continue;
        NclxColour nclx;
        nclx.primaries = uint16_t(r.read(2));
        nclx.transfer = uint16_t(r.read(2));
        nclx.matrix = uint16_t(r.read(2));
        nclx.fullRange = (r.read(1) & 0x80) != 0;
        if (!r.ok())
            return Failure{ConversionStep::Decode, "its nclx colour box is cut short"};
        colour = nclx;
    }
    return colour;
}

std::array<int, 4> orientationMatrix(int orientation)
{
    return orientation >= 1 && orientation <= 8 ? byOrientation[size_t(orientation - 1)] : byOrientation[0];
}

int exifOrientation(std::span<const ImageTransform> transforms)
{
    Matrix total = byOrientation[0];
    for (const auto& transform : transforms)
        total = multiply(stepOf(transform), total);
    for (size_t i = 0; i < byOrientation.size(); ++i)
        if (byOrientation[i] == total)
            return int(i) + 1;
    return 1;
}

int orientationBetween(int outer, int inner)
{
    // inner⁻¹ · outer: a pixel shown by outer, then taken back by inner.
    const Matrix o = orientationMatrix(outer), i = orientationMatrix(inner);
    const Matrix transposed{i[0], i[2], i[1], i[3]};
    const Matrix total = multiply(transposed, o);
    for (size_t k = 0; k < byOrientation.size(); ++k)
        if (byOrientation[k] == total)
            return int(k) + 1;
    return 1;
}

Result<PixelRect> croppedArea(std::span<const ImageTransform> transforms, int width, int height)
{
    PixelRect area{0, 0, width, height};
    Matrix total = byOrientation[0];
    for (const auto& transform : transforms) {
        if (transform.kind != ImageTransform::Kind::Crop) {
            total = multiply(stepOf(transform), total);
            continue;
        }
        // The crop is given in the image as turned so far.
        const bool swapped = total[0] == 0;
        const int shownWidth = swapped ? area.height : area.width, shownHeight = swapped ? area.width : area.height;
        CropEdges edges = cropEdges(transform.crop, shownWidth, shownHeight);
        if (!edges.valid)
            return Failure{ConversionStep::Decode, "its crop is one libheif refuses"};
        edges.left = std::max<int64_t>(edges.left, 0);
        edges.top = std::max<int64_t>(edges.top, 0);
        edges.right = std::min<int64_t>(edges.right, shownWidth - 1);
        edges.bottom = std::min<int64_t>(edges.bottom, shownHeight - 1);
        if (edges.left > edges.right || edges.top > edges.bottom)
            return Failure{ConversionStep::Decode, "its crop is one libheif refuses"};
        // Map the corners back: with doubled coordinates measured from the
        // centre, shown = total * stored, and total's inverse is its transpose.
        int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
        for (const int64_t x : {edges.left, edges.right}) {
            for (const int64_t y : {edges.top, edges.bottom}) {
                const int64_t vx = 2 * x - (shownWidth - 1), vy = 2 * y - (shownHeight - 1);
                const int64_t sx = (total[0] * vx + total[2] * vy + (area.width - 1)) / 2;
                const int64_t sy = (total[1] * vx + total[3] * vy + (area.height - 1)) / 2;
                minX = std::min(minX, sx);
                maxX = std::max(maxX, sx);
                minY = std::min(minY, sy);
                maxY = std::max(maxY, sy);
            }
        }
        area = {area.x + int(minX), area.y + int(minY), int(maxX - minX + 1), int(maxY - minY + 1)};
    }
    return area;
}

} // namespace tessavo
