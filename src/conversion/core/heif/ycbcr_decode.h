#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "conversion/core/heif/heif_properties.h"

struct heif_image_handle;

// The fast decode: when a HEIC's primary image is HEVC 4:2:0, 8-bit, without
// alpha and in JPEG's own colour coding (BT.601 matrix, full range), its
// tiles go through FFmpeg straight into YCbCr planes for libjpeg's raw-data
// input. libheif would turn every tile into RGB (and JPEG back into YCbCr):
// two conversions and two roundings that this skips. It is taken only where
// it shows what libheif's decode shows; anything else goes through libheif.
namespace tessavo {

// Planes padded to whole 16x16 blocks, as libjpeg's raw input reads them.
struct YCbCrImage {
    int width = 0, height = 0;
    size_t lumaStride = 0, chromaStride = 0;
    std::vector<uint8_t> y, cb, cr;
};

// Where the coded pictures of the primary image are: a grid of HEVC tiles,
// or a single HEVC image as a 1x1 grid.
struct HevcLayout {
    int columns = 0, rows = 0;
    int width = 0, height = 0; // the image's size
    int tileWidth = 0, tileHeight = 0; // every tile's ispe
    // Parameter sets of each hvcC, as 4-byte length-prefixed NAL units.
    std::vector<std::vector<uint8_t>> parameterSets;
    struct Tile {
        size_t parameterSet = 0;
        std::vector<std::span<const uint8_t>> extents; // slices, inside the file
        // The tile's own nclx; without one libheif takes the stream's VUI.
        std::optional<NclxColour> colour;
    };
    std::vector<Tile> tiles; // row-major
};

// The layout of the primary image when libheif would decode it tile by tile
// into exactly these pictures: an hvc1 item, or a grid of distinct hvc1
// tiles of one size within libheif's limits, without their own crops,
// turns or mirrors, all with 4-byte NAL lengths as libheif assumes.
// Fails otherwise. Reads only inside `file`.
Result<HevcLayout> hevcLayout(const HeifFile& heif, std::span<const uint8_t> file);

// Whether libheif's decode of this image is 8-bit without alpha, as JPEG's.
bool plainEightBit(heif_image_handle* handle);

// Whether libheif converts YCbCr with this colour coding exactly as a JPEG
// reader does: full range with BT.601's matrix, or one libheif takes as it.
bool jpegColourCoding(const NclxColour& colour);

// The most pixels the direct route decodes for one image: those of the
// largest image converted (a side of 16384).
inline constexpr int64_t kMaxDecodedPixels = int64_t(16384) * 16384;

// Decodes the tiles that cover `area` of the image (whose left and top must
// be even, so that chroma keeps its place) with up to `threads` threads.
// Fails when any of them fails, is not 8-bit 4:2:0 of the announced size,
// or is not in JPEG's colour coding.
Result<YCbCrImage> decodeYCbCr(const HevcLayout& layout, const PixelRect& area, int threads);

// The stored pixels of the primary image (`handle`, with `transforms`) as
// YCbCr straight from the HEVC tiles, crop included, where that gives
// libheif's picture exactly. Fails where it would not; libheif's RGB
// decode then serves.
Result<YCbCrImage> decodeDirectly(std::span<const uint8_t> file, const HeifFile& heif, heif_image_handle* handle,
    std::span<const ImageTransform> transforms, int threads);

} // namespace tessavo
