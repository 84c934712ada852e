#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tessavo {

// Always with 4:2:0 chroma; the README documents both.
inline constexpr int kJpegQuality = 90;

struct JpegPicture {
    int width = 0;
    int height = 0;
    const uint8_t* rgb = nullptr; // interleaved 8-bit RGB
    size_t stride = 0;            // bytes from one row to the next
    // Instead of rgb: YCbCr 4:2:0 planes already in JPEG's colour coding and
    // padded to whole 16x16 blocks, for libjpeg's raw-data input.
    const uint8_t* y = nullptr;
    const uint8_t* cb = nullptr;
    const uint8_t* cr = nullptr;
    size_t lumaStride = 0, chromaStride = 0;
};

// Encodes `picture` into the open file `fd` with an EXIF block holding only
// `orientation` (1..8) and, when given, the ICC profile. False when encoding
// or writing failed; the file then holds an unusable partial JPEG, and
// `failure` gets why: the write's errno text or libjpeg's message.
bool writeJpeg(int fd, const JpegPicture& picture, int orientation, std::span<const uint8_t> iccProfile,
               std::string* failure = nullptr);

} // namespace tessavo
