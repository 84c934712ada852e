#pragma once

#include "conversion/core/convert_file.h"
#include "conversion/core/jpeg_writer.h"
#include "conversion/core/owners.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The image-checking kit of the tests, the sample checks and the benchmark:
// libheif's own decode as the reference, JPEGs read back by libjpeg, PSNR;
// and the files and lines of a test.
namespace tessavo::testsupport {

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::filesystem::path& path);

// libheif's decode of the primary image with its crop, turn and mirror, to
// interleaved RGB (RGBA with alpha), 8 bits; null when libheif cannot. By
// libheif's own HEVC decoder unless `decoder` is null: then the one of
// highest priority (grid tiles and overlay inputs always take that one).
// `deep`: RGB of 16-bit samples at the photo's own depth instead. With
// `auxiliary`, the primary's auxiliary image of that type instead (a gain
// map's levels are then its green); null when there is none.
Owned<heif_image> decodeHeif(std::span<const uint8_t> heic, const char* decoder = "libde265", bool deep = false,
                             std::string_view auxiliary = {});

// What libheif shows: decodeHeif with alpha over white; empty when it cannot.
RgbImage decodeHeifShown(std::span<const uint8_t> heic);

// IFD 0 of a TIFF structure (an Exif block after its "Exif\0\0"): its
// entries, the value of its first Orientation entry (SHORT or LONG; 0 when
// none), and where it ends (after its next-IFD offset; 0 when cut short).
struct TiffIfd {
    size_t entries = 0;
    int orientation = 0;
    size_t end = 0;
};
TiffIfd readIfd0(std::span<const uint8_t> tiff);

struct JpegFile {
    RgbImage stored;         // pixels as stored, before the orientation
    int orientation = 0;     // EXIF Orientation; 0 when absent
    int exifEntries = 0;     // number of IFD0 entries
    std::vector<uint8_t> icc;
};

// Empty `stored` when libjpeg fails or warns (a cut file, corrupt data).
JpegFile readJpeg(const std::filesystem::path& path);
JpegFile readJpeg(std::span<const uint8_t> bytes);

// What an EXIF-aware viewer shows for stored pixels and an orientation.
RgbImage applyExifOrientation(const RgbImage& stored, int orientation);

// Peak signal-to-noise ratio in dB over all samples, 100 for identical
// pictures; negative when sizes differ or there are none.
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
