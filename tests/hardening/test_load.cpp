// Many small files through tessavo-convert at once: every status right,
// every JPEG whole, nothing else left behind. (The 12-megapixel load run is
// scripts/load.sh: too slow for the suite.)
#include "../app/spawn_convert.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessavo::testsupport;
namespace fs = std::filesystem;

TEST(Load, TwoThousandSmallFilesAllConvert)
{
    ScratchDir dir;
    const fs::path in = dir / "in";
    fs::create_directories(in);
    std::vector<fs::path> files;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        FixtureOptions options;
        options.width = 40;
        options.height = 24;
        options.orientation = orientation;
        writeFile(in / ("seed" + std::to_string(orientation) + ".heic"), makeHeic(options));
    }
    constexpr int kFiles = 2000;
    for (int i = 0; i < kFiles; ++i) {
        files.push_back(in / ("IMG_" + std::to_string(i) + (i % 2 ? ".HEIC" : ".heic")));
        fs::create_hard_link(in / ("seed" + std::to_string(i % 8 + 1) + ".heic"), files.back());
    }
    const fs::path out = dir / "out";
    const ConvertRun run = runConvert(dir.path(), {"-j", "4", "-o", out}, files);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.lines.size(), size_t(3 * kFiles));
    EXPECT_EQ(std::count_if(run.lines.begin(), run.lines.end(),
                            [](const std::string& l) { return l.starts_with("Successfully converted IMG_"); }),
              kFiles);

    size_t jpegs = 0, whole = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        ++jpegs;
        const JpegFile jpeg = readJpeg(entry.path());
        const int i = std::stoi(entry.path().stem().string().substr(4));
        whole += !jpeg.stored.pixels.empty() && jpeg.orientation == i % 8 + 1;
    }
    EXPECT_EQ(jpegs, size_t(kFiles)) << "only the JPEGs, no temporary file";
    EXPECT_EQ(whole, size_t(kFiles)) << "each JPEG complete, carrying its source's orientation";
}
