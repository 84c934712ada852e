#pragma once

#include "conversion/core/base/result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessavo {

// Always with 4:2:0 chroma; the README documents both.
inline constexpr int kJpegQuality = 90;

// Interleaved 8-bit RGB, top row first.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

struct JpegPicture {
    int width = 0;
    int height = 0;
    const uint8_t* rgb = nullptr; // interleaved 8-bit RGB
    size_t stride = 0; // bytes from one row to the next
    // Instead of rgb: YCbCr 4:2:0 planes already in JPEG's colour coding and
    // padded to whole 16x16 blocks, for libjpeg's raw-data input.
    const uint8_t* y = nullptr;
    const uint8_t* cb = nullptr;
    const uint8_t* cr = nullptr;
    size_t lumaStride = 0, chromaStride = 0;
    int components = 3; // 1: rgb holds grey rows instead
};

// The most one JPEG can carry: an ICC profile in up to 255 APP2 markers,
// Exif and XMP in one APP1 marker each (after their identifiers).
inline constexpr size_t kMaxJpegIccBytes = 255 * (65533 - 14);
inline constexpr size_t kMaxJpegExifBytes = 65533 - 6;
inline constexpr size_t kMaxJpegXmpBytes = 65533 - 29;

// A further APPn segment, its identifier included. `at`, when set, receives
// where its data begins, counted from the JPEG's first byte.
struct JpegSegment {
    int app = 2;
    std::span<const uint8_t> data;
    size_t* at = nullptr;
};

struct JpegMetadata {
    int orientation = 1; // 1..8
    std::span<const uint8_t> exif; // a TIFF structure; empty: one holding only the orientation
    std::span<const uint8_t> xmp; // an XMP packet; empty: none
    std::span<const uint8_t> iccProfile;
    std::span<const JpegSegment> segments; // after the others, in order
    bool withExif = true; // false: no Exif block at all (a gain map's JPEG)
    int quality = kJpegQuality;
};

// Encodes `picture` into the open file `fd` with `metadata`. Fails at
// Finalize when encoding or writing failed (the file then holds an unusable
// partial JPEG), or, before anything is written, when a block does not fit;
// the reason is the write's errno text or libjpeg's message.
Result<void> writeJpeg(int fd, const JpegPicture& picture, const JpegMetadata& metadata);

// Writes all of `data` at fd's offset; fails at Finalize with the reason.
Result<void> writeAll(int fd, const uint8_t* data, size_t size);

// The same JPEG into memory; fails only at Finalize.
Result<std::vector<uint8_t>> encodeJpeg(const JpegPicture& picture, const JpegMetadata& metadata);

} // namespace tessavo
