#pragma once

#include "conversion/core/result.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The conversion of one HEIC file into one JPEG file. Plain C++ without Qt so
// the window, the command line, the benchmark and the fuzzers share it.
namespace tessavo {

// The outcome of one conversion: Done, or the Failure's step and reason.
struct ConversionResult {
    ConversionStep step = ConversionStep::Read;
    std::string reason;
    // The JPEG written, or the one the conversion was writing when it failed;
    // empty when it failed before the destination was known.
    std::filesystem::path destination;
    // The pixels came straight from the HEVC tiles, not through libheif's RGB.
    bool directRoute = false;
    // For people, on a JPEG written: what of the photo it leaves out or
    // changes, and why (a block too large for JPEG, a profile converted).
    std::vector<std::string> notes;
    // With keepHdr, why the photo's HDR was not kept, for people (the map
    // read or written, or none in the photo: empty).
    std::string hdrNotKept;

    bool succeeded() const { return step == ConversionStep::Done; }
};

struct ConversionOptions {
    // File name to write inside the output folder instead of the one derived
    // from the source, for a run that gave clashing names their own.
    std::filesystem::path destinationName;
    // Copy the photo's Exif and XMP, and its modification time.
    bool keepMetadata = false;
    // Add the photo's HDR gain map after the JPEG (MPF), for HDR displays.
    bool keepHdr = false;
    // Take the direct YCbCr route where it gives libheif's picture; off,
    // every file goes through libheif's RGB decode (to compare the two).
    bool allowDirectRoute = true;
};

// Images with a side longer than this fail instead of taking gigabytes of
// memory (libheif's own limit is twice as long); the largest phone photos,
// 200 megapixels, stay below it.
inline constexpr int kMaxImageSide = 16384;

// The reason of a photo that failed to parse or decode for want of memory.
inline constexpr std::string_view kNoMemoryToDecode = "Not enough memory to decode the photo";

// Receives each diagnostic line, without its line feed; the programs print
// them on standard output, tests may collect them. Called from the thread
// that converts.
using LineSink = std::function<void(std::string_view line)>;

// outputDirectory / (last component of source without its last extension) + ".jpg"
std::filesystem::path destinationPath(const std::filesystem::path& source,
                                      const std::filesystem::path& outputDirectory);

// What the conversion was doing when it failed, for people:
// "reading /in/IMG_1.HEIC", "creating /out", "writing /out/IMG_1.jpg".
std::string failedActivity(const ConversionResult& result, const std::filesystem::path& source,
                           const std::filesystem::path& outputDirectory);

// Reads `source`, decodes its primary image and writes the JPEG into
// `outputDirectory` (created with its parents), reporting every step through
// `sink`. Exactly one result; safe to call from many threads at once.
ConversionResult convertFile(const std::filesystem::path& source,
                             const std::filesystem::path& outputDirectory,
                             const ConversionOptions& options,
                             const LineSink& sink);

} // namespace tessavo
