// Writes the fuzzers' seed corpus into a folder: small valid HEICs of every
// orientation and kind libheif's writer makes, and truncations. The sample
// files of tests/data (grids, overlays, shared references) are seeds too.
#include "heic_fixture.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace tessavo::testsupport;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const auto save = [&](const std::string& name, const std::vector<uint8_t>& bytes) { writeFile(dir / name, bytes); };

    FixtureOptions small;
    small.width = 24;
    small.height = 16;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        FixtureOptions options = small;
        options.orientation = orientation;
        save("orientation-" + std::to_string(orientation) + ".heic", makeHeic(options));
    }
    FixtureOptions alpha = small;
    alpha.alpha = true;
    save("alpha.heic", makeHeic(alpha));
    FixtureOptions deep = small;
    deep.bitDepth = 10;
    save("10-bit.heic", makeHeic(deep));
    FixtureOptions icc = small;
    icc.icc = sampleIccProfile(3);
    icc.orientation = 6;
    save("icc-orientation-6.heic", makeHeic(icc));
    FixtureOptions cropped = small;
    cropped.width = 17;
    cropped.height = 9;
    cropped.orientation = 5;
    save("clap-orientation-5.heic", makeHeic(cropped));
    cropped.gridCrop = true;
    save("grid-crop.heic", makeHeic(cropped));

    const auto whole = makeHeic(small);
    for (size_t cut : {8ul, 24ul, 64ul, 200ul, 400ul, whole.size() / 2, whole.size() - 50, whole.size() - 1})
        if (cut < whole.size())
            save("truncated-" + std::to_string(cut) + ".heic", {whole.begin(), whole.begin() + long(cut)});
    return 0;
}
