#pragma once

// The conversion core's lines, collected for the tests that check them.
#include "conversion/core/convert_file.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace tessavo::testsupport {

struct CapturedConversion {
    ConversionResult outcome;
    std::vector<std::string> lines;
};

// convertFile with its lines collected instead of printed.
inline CapturedConversion convertCapturing(const std::filesystem::path& source,
                                           const std::filesystem::path& output)
{
    CapturedConversion result{};
    result.outcome = convertFile(source, output, {}, [&](std::string_view line) { result.lines.emplace_back(line); });
    return result;
}

// Names in `folder`, sorted; none when it does not exist.
inline std::vector<std::string> entriesOf(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace tessavo::testsupport
