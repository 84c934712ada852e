#pragma once

#include "conversion/core/base/result.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct heif_image_handle;

// The photo's Exif and XMP, made true for the JPEG they are copied into:
// its orientation, its stored size, and no thumbnail of the original.
namespace tessavo {

struct PhotoMetadata {
    std::vector<uint8_t> exif; // a TIFF structure; empty: none to copy
    std::vector<uint8_t> xmp; // an XMP packet; empty: none to copy
    std::vector<std::string> notes; // for people: what was left out and why
};

// The primary image's first Exif block and first XMP packet, rewritten for
// a JPEG of `width` x `height` stored pixels shown with `orientation`.
// Blocks too large for one JPEG marker are left out with a note.
PhotoMetadata readPhotoMetadata(heif_image_handle* handle, int orientation, int width, int height);

// The TIFF structure inside a HEIF Exif item, which starts with the
// 4-byte big-endian offset of its TIFF header; empty when there is none.
std::span<const uint8_t> tiffOfHeifExif(std::span<const uint8_t> item);

// `tiff` with a new IFD 0 appended (so no value moves): the old entries,
// Orientation set to `orientation`, image sizes corrected, and no link to
// IFD 1, whose table and thumbnail are erased (and cut off when they end
// the block). PixelXDimension/PixelYDimension in the Exif IFD are
// corrected in place. Fails (at Decode) when `tiff` is no TIFF structure that
// can be read whole. Reads only inside `tiff`, in time linear in its size.
Result<std::vector<uint8_t>> rewriteExif(std::span<const uint8_t> tiff, int orientation, int width, int height);

// `xmp` with the values of tiff:Orientation, tiff:ImageWidth/ImageLength
// and exif:PixelXDimension/PixelYDimension replaced, in attribute or
// element form.
std::vector<uint8_t> rewriteXmp(std::span<const uint8_t> xmp, int orientation, int width, int height);

} // namespace tessavo
