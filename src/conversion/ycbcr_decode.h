#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct heif_image_handle;

// The fast decode: when a HEIC's primary image is HEVC 4:2:0, 8-bit, without
// alpha and in JPEG's own colour coding (BT.601 matrix, full range), its
// tiles go through FFmpeg straight into YCbCr planes for libjpeg's raw-data
// input. libheif would turn every tile into RGB (and JPEG back into YCbCr):
// two conversions and two roundings that this skips.
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
    int width = 0, height = 0;           // the image's size
    int tileWidth = 0, tileHeight = 0;   // every tile's ispe
    // Parameter sets of each hvcC, as 4-byte length-prefixed NAL units.
    std::vector<std::vector<uint8_t>> parameterSets;
    struct Tile {
        size_t parameterSet = 0;
        int nalLengthSize = 4;
        std::vector<std::span<const uint8_t>> extents; // slices, inside the file
    };
    std::vector<Tile> tiles; // row-major
};

// Reads the layout from the file's boxes; nothing when the primary image is
// not plain HEVC (or a grid of it), or the file is not understood. Reads
// only inside `file`.
std::optional<HevcLayout> readHevcLayout(std::span<const uint8_t> file);

// Whether libheif would convert this image to RGB with JPEG's own matrix and
// range, 8-bit, without alpha: only then is the direct path exact enough.
bool codedLikeJpeg(heif_image_handle* handle);

// Decodes every tile with up to `threads` threads. Nothing when any tile
// fails or is not 8-bit 4:2:0 of the announced size.
std::optional<YCbCrImage> decodeYCbCr(const HevcLayout& layout, int threads);

// How many threads one conversion may use now: the cores shared by the
// conversions in flight, so one file alone uses them all and many files do
// not oversubscribe. Hold one for the whole conversion.
class ThreadShare {
public:
    ThreadShare();
    ~ThreadShare();
    ThreadShare(const ThreadShare&) = delete;
    ThreadShare& operator=(const ThreadShare&) = delete;
    int threads() const;
};

} // namespace tessavo
