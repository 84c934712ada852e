#pragma once

#include "conversion/core/jpeg/jpeg_writer.h"

#include <filesystem>

// JPEGs read back by libjpeg, as an EXIF-aware viewer shows them, and pictures compared.
namespace tessavo::testsupport {

// IFD 0 of a TIFF structure (an Exif block after its "Exif\0\0"): its entries, the value of its first Orientation
// entry (SHORT or LONG; 0 when none), and where it ends (after its next-IFD offset; 0 when cut short).
struct TiffIfd {
    size_t entries = 0;
    int orientation = 0;
    size_t end = 0;
};
TiffIfd readIfd0(std::span<const uint8_t> tiff);

// How a JPEG is coded: its first two quantisation tables and each component's sampling (10 * horizontal + vertical).
struct JpegCoding {
    std::vector<std::vector<uint16_t>> tables;
    std::vector<int> sampling;
    friend bool operator==(const JpegCoding&, const JpegCoding&) = default;
};

// The coding libjpeg gives a colour JPEG at `quality`, with 4:2:0 sampling.
JpegCoding libjpegCoding(int quality);

struct JpegFile {
    RgbImage stored; // pixels as stored, before the orientation
    int orientation = 0; // EXIF Orientation; 0 when absent
    int exifEntries = 0; // number of IFD0 entries
    JpegCoding coding;
    std::vector<uint8_t> icc;
};

// Empty `stored` when libjpeg fails or warns (a cut file, corrupt data).
JpegFile readJpeg(const std::filesystem::path& path);
JpegFile readJpeg(std::span<const uint8_t> bytes);

// What an EXIF-aware viewer shows for stored pixels and an orientation.
RgbImage applyExifOrientation(const RgbImage& stored, int orientation);

// Peak signal-to-noise ratio in dB over all samples, 100 for identical pictures; negative when sizes differ or none.
double psnr(const RgbImage& a, const RgbImage& b);

} // namespace tessavo::testsupport
