#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

// The conversion of one HEIC file into one JPEG file. Plain C++ without Qt so
// the window, the command line, the benchmark and the fuzzers share it.
namespace tessavo {

enum class ConversionOutcome { Success, Error };

// Images with a side this long or longer fail instead of taking gigabytes
// of memory (libheif's own limit is twice as long); the largest phone
// photos, 200 megapixels, stay below it.
inline constexpr int kMaxImageSide = 16384;

// Receives each diagnostic line, without its line feed.
using LineSink = std::function<void(std::string_view line)>;

// Writes the line and a line feed to standard output with a single write, so
// lines of jobs running in parallel never mix.
void printLine(std::string_view line);

// outputDirectory / (last component of source without its last extension) + ".jpg"
std::filesystem::path destinationPath(const std::filesystem::path& source,
                                      const std::filesystem::path& outputDirectory);

// Reads `source`, decodes its primary image and writes the JPEG into
// `outputDirectory` (created with its parents), reporting every step through
// `sink`. Exactly one outcome; safe to call from many threads at once.
ConversionOutcome convertFile(const std::filesystem::path& source,
                              const std::filesystem::path& outputDirectory,
                              const LineSink& sink = printLine);

} // namespace tessavo
