// tessavo-verify-jpegs DIR COUNT: every entry of DIR is a complete JPEG
// (decoded back with libjpeg) and there are COUNT of them. For the load runs.
#include "heic_fixture.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessavo-verify-jpegs DIR COUNT\n");
        return 2;
    }
    size_t entries = 0, whole = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        ++entries;
        const auto jpeg = tessavo::testsupport::readJpeg(entry.path());
        if (entry.path().extension() == ".jpg" && !jpeg.stored.pixels.empty())
            ++whole;
        else
            std::fprintf(stderr, "not a whole JPEG: %s\n", entry.path().c_str());
    }
    const size_t expected = std::stoul(argv[2]);
    std::printf("%zu entries, %zu whole JPEGs (expected %zu)\n", entries, whole, expected);
    return entries == expected && whole == expected ? 0 : 1;
}
