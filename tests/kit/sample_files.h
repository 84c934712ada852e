#pragma once

#include "conversion/core/convert_file.h"

#include <filesystem>

// The files and lines of a test.
namespace tessavo::testsupport {

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::filesystem::path& path);

struct CapturedConversion {
    ConversionResult outcome;
    std::vector<std::string> lines;
};

// convertFile with its lines collected instead of printed.
CapturedConversion convertCapturing(const std::filesystem::path& source, const std::filesystem::path& output);

// Names in `folder`, sorted; none when it is no folder.
std::vector<std::string> entriesOf(const std::filesystem::path& folder);

} // namespace tessavo::testsupport
