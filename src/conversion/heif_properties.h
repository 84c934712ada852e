#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A reader of the few HEIF boxes that say how the primary image is cropped,
// rotated and mirrored. libheif 1.15 applies these itself but cannot report
// them, and the JPEG needs the rotation and mirror as its EXIF orientation.
namespace tessavo {

struct CleanAperture {
    uint32_t widthNumerator = 0, widthDenominator = 0;
    uint32_t heightNumerator = 0, heightDenominator = 0;
    int32_t horizontalOffsetNumerator = 0;
    uint32_t horizontalOffsetDenominator = 0;
    int32_t verticalOffsetNumerator = 0;
    uint32_t verticalOffsetDenominator = 0;
};

struct ImageTransform {
    enum class Kind { Crop, Rotation, Mirror };
    Kind kind = Kind::Rotation;
    int rotationCcwDegrees = 0; // Rotation: 0, 90, 180 or 270, anti-clockwise
    int mirrorAxis = 0;         // Mirror: the box's axis field, 0 or 1
    CleanAperture crop;         // Crop
};

// The primary item's clap, irot and imir properties in their ipma order, or
// nothing when the bytes are not a HEIF file this reader understands. Reads
// only inside `file` and ends in time linear in its size, whatever it holds.
std::optional<std::vector<ImageTransform>> readPrimaryItemTransforms(std::span<const uint8_t> file);

// The EXIF orientation (1..8) that shows the stored pixels as the transforms,
// applied in order, would. Crops do not change it.
int exifOrientation(std::span<const ImageTransform> transforms);

// How an EXIF orientation moves pixel positions (x right, y down, measured
// from the image centre) from the stored image to the shown one, as a
// row-major 2x2 matrix. Values outside 1..8 give the identity.
std::array<int, 4> orientationMatrix(int orientation);

} // namespace tessavo
