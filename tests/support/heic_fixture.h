#pragma once

#include "conversion/core/convert_file.h"
#include "conversion/core/jpeg_writer.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Checks of the conversion made without it: libheif's own decode as the
// reference, JPEGs read back by libjpeg; and the files and lines of a test.
namespace tessavo::testsupport {

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::filesystem::path& path);

// libheif's decode with its crop, turn and mirror, alpha over white,
// through its built-in HEVC decoder; empty when libheif cannot decode it.
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

struct CapturedConversion {
    ConversionResult outcome;
    std::vector<std::string> lines;
};

// convertFile with its lines collected instead of printed.
CapturedConversion convertCapturing(const std::filesystem::path& source, const std::filesystem::path& output);

// Names in `folder`, sorted; none when it is no folder.
std::vector<std::string> entriesOf(const std::filesystem::path& folder);

} // namespace tessavo::testsupport
