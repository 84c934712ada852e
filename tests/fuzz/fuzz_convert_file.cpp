// Arbitrary bytes as the source file of one conversion: whatever they hold,
// the job ends with one outcome, and a failed job leaves nothing behind.
#include "conversion/core/convert_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Workspace {
    fs::path root, source, output;

    Workspace()
    {
        // A memory-backed folder keeps the file system out of the hot loop.
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "tessavo-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
        source = root / "input.heic";
        output = root / "out";
    }
    ~Workspace()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

bool isFailureLine(std::string_view line)
{
    return line == "Failed to read HEIC data." || line == "Failed to create CGImageSource." ||
           line == "Failed to create CGImage." || line.starts_with("Failed to create output directory: ") ||
           line == "Failed to create CGImageDestination." || line == "Failed to finalize the image destination.";
}

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "fuzz_convert_file: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Workspace workspace;
    {
        std::ofstream file(workspace.source, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        if (!file)
            fault("cannot write the input file");
    }

    std::string lastLine;
    int lines = 0;
    // Half the inputs also go through the Exif and XMP rewriting.
    tessavo::ConversionOptions options;
    options.keepMetadata = size % 2 == 1;
    const auto outcome = tessavo::convertFile(workspace.source, workspace.output, options, [&](std::string_view line) {
        lastLine = line;
        ++lines;
    });

    std::vector<std::string> left;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(workspace.output, error))
        left.push_back(entry.path().filename().string());
    if (!outcome.succeeded()) {
        if (!isFailureLine(lastLine))
            fault("a failed job did not end with a failure line");
        if (!left.empty())
            fault("a failed job left a file in the output folder");
    } else {
        if (lines != 3 || !lastLine.starts_with("Successfully converted "))
            fault("a converted job did not end with the success line");
        if (left != std::vector<std::string>{"input.jpg"})
            fault("a converted job left something other than its JPEG");
    }
    fs::remove_all(workspace.output, error);
    return 0;
}
