#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Test images made and checked without the conversion core: HEIC files
// written by libheif's encoder, JPEGs read back by libjpeg, and libheif's
// own transformed decode as the reference.
namespace tessavo::testsupport {

struct FixtureOptions {
    int width = 64;
    int height = 48;
    int orientation = 1;         // written as irot/imir by libheif
    int bitDepth = 8;            // 8 or 10
    bool alpha = false;
    std::vector<uint8_t> icc;    // empty: no profile
    std::vector<uint8_t> exif;   // a TIFF structure; empty: none
    std::string xmp;             // empty: none
    bool photographic = false;   // textured content instead of gradients
    bool gridCrop = false;       // crop odd sizes with a grid, not clap
    int quality = 90;
};

// Interleaved 8-bit RGB, top row first.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

std::vector<uint8_t> makeHeic(const FixtureOptions& options);
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::filesystem::path& path);

// A small but well-formed ICC header and tag table, distinct per `seed`.
std::vector<uint8_t> sampleIccProfile(uint8_t seed = 0);

// libheif's decode with its transformations applied, alpha over white,
// through its built-in HEVC decoder.
RgbImage decodeHeifShown(const std::vector<uint8_t>& heic);

struct JpegFile {
    RgbImage stored;         // pixels as stored, before the orientation
    int orientation = 0;     // EXIF Orientation; 0 when absent
    int exifEntries = 0;     // number of IFD0 entries
    std::vector<uint8_t> icc;
};

// Empty `stored` when the file is no complete JPEG.
JpegFile readJpeg(const std::filesystem::path& path);

// What an EXIF-aware viewer shows for stored pixels and an orientation.
RgbImage applyExifOrientation(const RgbImage& stored, int orientation);

// Peak signal-to-noise ratio in dB; negative when sizes differ.
double psnr(const RgbImage& a, const RgbImage& b);

} // namespace tessavo::testsupport
