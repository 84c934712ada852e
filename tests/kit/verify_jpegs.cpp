// tessavo-verify-jpegs DIR COUNT: DIR holds COUNT entries, each a .jpg that libjpeg decodes whole without a warning.
// For the load runs (bench/load.sh).
#include "jpeg_readback.h"
#include "sample_files.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessavo-verify-jpegs DIR COUNT\n");
        return 2;
    }
    size_t entries = 0, whole = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        ++entries;
        if (entry.path().extension() == ".jpg" && tessavo::testsupport::readJpeg(entry.path()).stored.width > 0)
            ++whole;
        else
            std::fprintf(stderr, "not a whole JPEG: %s\n", entry.path().c_str());
    }
    const size_t expected = std::stoul(argv[2]);
    std::printf("%zu entries, %zu whole JPEGs (expected %zu)\n", entries, whole, expected);
    return entries == expected && whole == expected ? 0 : 1;
}
