#pragma once

#include "conversion/core/jpeg_writer.h"

// Pixels brought back into the frame an image is stored in, for the EXIF
// orientation to turn them again.
namespace tessavo {

// The stored pixels that `orientation` (EXIF, 1 to 8) turns into `shown`,
// of `channels` interleaved samples a pixel (1 or 3).
RgbImage unapplyOrientation(const RgbImage& shown, int orientation, int channels = 3);

} // namespace tessavo
