#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/conversion_lines.h"
#include "conversion/core/heif/heif_photo.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The conversion of one HEIC file into one JPEG file. Plain C++ without Qt so
// the window, the command line, the benchmark and the fuzzers share it.
namespace tessavo {

// The outcome of one conversion: the JPEG written, or the Failure.
struct ConversionResult {
    std::optional<Failure> failure;
    // The JPEG written, or the one the conversion was writing when it failed;
    // empty when it failed before the destination was known.
    std::filesystem::path destination;
    // The pixels came straight from the HEVC tiles, not through libheif's RGB.
    bool directRoute = false;
    // The folders of ConversionOptions::subfolder that this conversion made.
    int foldersMade = 0;
    // For people, on a JPEG written: what of the photo it leaves out or
    // changes, and why (a block too large for JPEG, a profile converted).
    std::vector<std::string> notes;
    // With keepHdr, why the photo's HDR was not kept, for people (the map
    // read or written, or none in the photo: empty).
    std::string hdrNotKept;

    bool succeeded() const { return !failure; }
};

struct ConversionOptions {
    // Folders to write the JPEG in under the output folder ("DCIM/100APPLE"),
    // made as needed: relative, of plain names; one that climbs ("..") or is
    // absolute fails at CreateFolder, as does one that is a link.
    std::filesystem::path subfolder = {};
    // File name to write inside that folder instead of the one derived from
    // the source, for a run that gave clashing names their own.
    std::filesystem::path destinationName = {};
    // Copy the photo's Exif and XMP, and its modification time.
    bool keepMetadata = false;
    // Add the photo's HDR gain map after the JPEG (MPF), for HDR displays.
    bool keepHdr = false;
    // Take the direct YCbCr route where it gives libheif's picture; off,
    // every file goes through libheif's RGB decode (to compare the two).
    bool allowDirectRoute = true;
};

// outputDirectory / (last component of source without its last extension) + ".jpg"
std::filesystem::path destinationPath(const std::filesystem::path& source, const std::filesystem::path& outputDirectory);

// What a failed conversion was doing, for people: "reading /in/IMG_1.HEIC",
// "creating /out", "writing /out/IMG_1.jpg".
std::string failedActivity(const Failure& failure, const std::filesystem::path& destination, const std::filesystem::path& source,
    const std::filesystem::path& outputDirectory);

// Reads `source`, decodes its primary image and writes the JPEG into
// `outputDirectory` (created with its parents), reporting every step through
// `sink`. Exactly one result; safe to call from many threads at once.
ConversionResult convertFile(const std::filesystem::path& source, const std::filesystem::path& outputDirectory,
    const ConversionOptions& options, const LineSink& sink);

} // namespace tessavo
