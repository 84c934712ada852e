#include "sample_files.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace tessavo::testsupport {

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())).flush())
        throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CapturedConversion convertCapturing(const std::filesystem::path& source, const std::filesystem::path& output)
{
    CapturedConversion result{};
    result.outcome = convertFile(source, output, {}, [&](std::string_view line) { result.lines.emplace_back(line); });
    return result;
}

std::vector<std::string> entriesOf(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace tessavo::testsupport
