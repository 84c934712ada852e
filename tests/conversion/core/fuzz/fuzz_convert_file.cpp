// Arbitrary bytes as the source of one conversion: a failed job ends with its failure line and leaves nothing in the
// output folder; a converted one leaves exactly its JPEG, whole.
#include "jpeg_readback.h"
#include "sample_files.h"

#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;
using namespace tessavo;

namespace {

bool isFailureLine(std::string_view line)
{
    return line == "Failed to read HEIC data." || line == "Failed to create CGImageSource." || line == "Failed to create CGImage." ||
        line.starts_with("Failed to create output directory: ") || line == "Failed to create CGImageDestination." ||
        line == "Failed to finalize the image destination.";
}

void check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz_convert_file: %s\n", what);
        std::abort();
    }
}

// A memory-backed folder keeps the file system out of the hot loop.
struct Scratch {
    std::string root = fs::is_directory("/dev/shm") ? "/dev/shm/tessavo-fuzz-XXXXXX" : "/tmp/tessavo-fuzz-XXXXXX";
    Scratch() { check(::mkdtemp(root.data()) != nullptr, "no scratch folder"); }
    ~Scratch() { fs::remove_all(root, ignored); }
    std::error_code ignored;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Scratch scratch;
    const fs::path root = scratch.root;
    testsupport::writeFile(root / "input.heic", {data, data + size});
    std::vector<std::string> lines;
    ConversionOptions options;
    options.keepMetadata = size % 2 == 1; // half the inputs through the Exif and XMP rewriting too
    const auto outcome = convertFile(root / "input.heic", root / "out", options, [&](std::string_view line) { lines.emplace_back(line); });
    const auto left = testsupport::entriesOf(root / "out");
    if (outcome.succeeded()) {
        check(lines.size() == 3 && lines[2].starts_with("Successfully converted "), "no success line");
        check(left == std::vector<std::string>{"input.jpg"}, "a converted job left more than its JPEG");
        check(!testsupport::readJpeg(root / "out" / "input.jpg").stored.pixels.empty(), "the JPEG is not whole");
    } else {
        check(!lines.empty() && isFailureLine(lines.back()), "a failed job did not end with a failure line");
        check(left.empty(), "a failed job left a file in the output folder");
    }
    fs::remove_all(root / "out");
    return 0;
}
