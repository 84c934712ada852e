#pragma once

#include "conversion/core/heif/heif_file.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The properties that say how an image is cropped, rotated, mirrored and
// colour-coded. libheif 1.15 applies these itself but cannot report them,
// and the JPEG needs the rotation and mirror as its EXIF orientation.
namespace tessavo {

// An nclx colour box: its H.273 code points (2: unspecified).
struct NclxColour {
    uint16_t primaries = 2, transfer = 2, matrix = 2;
    bool fullRange = true;
    // Chromaticities of the primaries and white point, where libheif gave them.
    float redX = 0, redY = 0, greenX = 0, greenY = 0, blueX = 0, blueY = 0, whiteX = 0, whiteY = 0;
};

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
    int mirrorAxis = 0; // Mirror: the box's axis field, 0 or 1
    CleanAperture crop; // Crop
};

// The item's clap, irot and imir properties in the order libheif applies
// them; fails when one is unreadable or comes twice (libheif refuses both).
Result<std::vector<ImageTransform>> transformsOf(const HeifFile& heif, uint32_t item);

// The auxiliary type (auxC) of an item; libheif keeps the last. Empty for none.
std::string_view auxiliaryType(const HeifFile& heif, uint32_t item);

// The nclx colour an item's colr boxes declare (libheif keeps the last).
Result<std::optional<NclxColour>> declaredColour(const HeifFile& heif, uint32_t item);

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The part of a decoded width x height image that is left after libheif's
// crops among `transforms`, in the decoded image's own coordinates (before
// any rotation or mirror). Fails when libheif would refuse a crop, or its
// fraction arithmetic would leave the range where it is well defined.
Result<PixelRect> croppedArea(std::span<const ImageTransform> transforms, int width, int height);

// The EXIF orientation (1..8) that shows the stored pixels as the transforms,
// applied in order, would. Crops do not change it.
int exifOrientation(std::span<const ImageTransform> transforms);

// The EXIF orientation that turns an image stored as the one shown with
// `outer` into an image stored as the one shown with `inner`: where both
// show the same picture, unapplying it from the latter's pixels gives the
// former's frame.
int orientationBetween(int outer, int inner);

// How an EXIF orientation moves pixel positions (x right, y down, measured
// from the image centre) from the stored image to the shown one, as a
// row-major 2x2 matrix. Values outside 1..8 give the identity.
std::array<int, 4> orientationMatrix(int orientation);

} // namespace tessavo
