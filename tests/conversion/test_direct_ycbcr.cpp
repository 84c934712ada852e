// The direct YCbCr route from HEVC tiles into the JPEG: taken only where the
// colour coding agrees with JPEG's, never less faithful than the RGB route,
// and as strict about broken files as libheif.
#include "conversion/avcodec_decoder.h"
#include "conversion/convert_file.h"
#include "conversion/jpeg_writer.h"
#include "conversion/ycbcr_decode.h"

#include "grid_heic.h"
#include "heic_fixture.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <random>
#include <thread>
#include <unistd.h>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

// Saturated colours, fine texture and hard edges: where a wrong matrix,
// range or chroma placement shows.
void scene(int x, int y, uint8_t* rgb)
{
    const bool patch = (x / 40 + y / 30) % 3 == 0;
    const double texture = 5 * std::sin(x * 0.6) * std::cos(y * 0.5);
    rgb[0] = uint8_t(std::clamp(patch ? 180.0 : 40 + x * 1.2 + texture, 0.0, 255.0));
    rgb[1] = uint8_t(std::clamp(patch ? 110.0 : 128 + 80 * std::sin(x * 0.05 + y * 0.04) + texture, 0.0, 255.0));
    rgb[2] = uint8_t(std::clamp(patch ? 90.0 : 200 - y * 1.5 + texture, 0.0, 255.0));
}

GridOptions phoneLikeGrid()
{
    GridOptions o;
    o.width = 150; // 3x2 tiles of 64, the last column and row partly outside
    o.height = 100;
    o.tileSize = 64;
    o.quality = 85;
    return o;
}

bool convertQuietly(const fs::path& source, const fs::path& output)
{
    return convertFile(source, output, {}, [](std::string_view) {}).succeeded();
}

// What the RGB route makes: libheif's view encoded by the same JPEG writer.
double rgbRoutePsnr(const std::vector<uint8_t>& heic, const fs::path& scratch)
{
    const RgbImage shown = decodeHeifShown(heic);
    const fs::path path = scratch / "rgb-route.jpg";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const JpegPicture picture{shown.width, shown.height, shown.pixels.data(), size_t(shown.width) * 3};
    const bool written = writeJpeg(fd, picture, 1, {});
    ::close(fd);
    if (!written)
        return -1;
    return psnr(readJpeg(path).stored, shown);
}

} // namespace

TEST(DirectYCbCr, TakenOnlyForJpegsColourCodingAndNeverWorseThanRgb)
{
    registerFastHevcDecoder();
    const struct {
        const char* name;
        int matrix;
        bool fullRange;
        bool direct;
    } cases[] = {
        {"BT.601 full range", 6, true, true},
        {"BT.470 B/G full range", 5, true, true},
        {"BT.709 full range", 1, true, false},
        {"BT.601 limited range", 6, false, false},
    };
    ScratchDir scratch;
    for (const auto& c : cases) {
        GridOptions options = phoneLikeGrid();
        options.matrixCoefficients = c.matrix;
        options.fullRange = c.fullRange;
        const auto heic = makeGridHeic(options, scene);
        const fs::path source = scratch / "grid.heic";
        writeFile(source, heic);

        // The RGB route decodes through libheif and so through the registered
        // decoder; the direct route does not.
        const auto before = fastHevcDecodeCount();
        ASSERT_TRUE(convertQuietly(source, scratch.path())) << c.name;
        EXPECT_EQ(fastHevcDecodeCount() == before, c.direct) << c.name;

        const JpegFile jpeg = readJpeg(scratch / "grid.jpg");
        const RgbImage shown = decodeHeifShown(heic);
        ASSERT_EQ(jpeg.stored.width, 150) << c.name;
        ASSERT_EQ(jpeg.stored.height, 100) << c.name;
        const double direct = psnr(jpeg.stored, shown);
        const double rgb = rgbRoutePsnr(heic, scratch.path());
        EXPECT_GE(direct, 35.0) << c.name;
        EXPECT_GE(direct, rgb) << c.name;
    }
}

TEST(DirectYCbCr, OrientedAndProfiledPhotosKeepTheirViewAndProfile)
{
    ScratchDir scratch;
    for (int orientation : {1, 6, 7}) {
        FixtureOptions o;
        o.width = 96;
        o.height = 80;
        o.photographic = true;
        o.orientation = orientation;
        o.icc = sampleIccProfile(uint8_t(orientation));
        const auto heic = makeHeic(o);
        writeFile(scratch / "photo.heic", heic);
        ASSERT_TRUE(convertQuietly(scratch / "photo.heic", scratch.path()));
        const JpegFile jpeg = readJpeg(scratch / "photo.jpg");
        EXPECT_EQ(jpeg.orientation, orientation);
        EXPECT_EQ(jpeg.icc, o.icc);
        const RgbImage shown = applyExifOrientation(jpeg.stored, jpeg.orientation);
        EXPECT_GE(psnr(shown, decodeHeifShown(heic)), 35.0) << "orientation " << orientation;
    }
}

TEST(DirectYCbCr, BrokenTileDataFailsAtDecodeAndWritesNothing)
{
    ScratchDir scratch;
    auto heic = makeGridHeic(phoneLikeGrid(), scene);
    // The last tile's first NAL unit now claims to run far past its end.
    const auto layout = readHevcLayout(heic);
    ASSERT_TRUE(layout);
    const size_t lastTile = size_t(layout->tiles.back().extents[0].data() - heic.data());
    std::fill_n(heic.begin() + std::ptrdiff_t(lastTile), 4, uint8_t(0xff));
    writeFile(scratch / "cut.heic", heic);
    std::vector<std::string> lines;
    const auto outcome = convertFile(scratch / "cut.heic", scratch / "out", {},
                                     [&](std::string_view line) { lines.emplace_back(line); });
    EXPECT_EQ(outcome.step, ConversionStep::Decode);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Failed to create CGImage.");
    EXPECT_TRUE(!fs::exists(scratch / "out") || fs::is_empty(scratch / "out")) << "nothing written";
}

TEST(DirectYCbCr, LayoutReaderStaysInsideDamagedFiles)
{
    const auto heic = makeGridHeic(phoneLikeGrid(), scene);
    const auto layout = readHevcLayout(heic);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->columns, 3);
    EXPECT_EQ(layout->rows, 2);
    EXPECT_EQ(layout->tiles.size(), 6u);

    const auto inside = [](const HevcLayout& l, const std::vector<uint8_t>& file) {
        for (const auto& tile : l.tiles)
            for (const auto& extent : tile.extents)
                if (extent.data() < file.data() || extent.data() + extent.size() > file.data() + file.size())
                    return false;
        return true;
    };
    // Every cut that loses the tiles' data and random damage to the boxes.
    const size_t firstTile = size_t(layout->tiles[0].extents[0].data() - heic.data());
    for (size_t keep = 0; keep < heic.size(); keep += keep < firstTile ? 1 : 97) {
        const std::vector<uint8_t> cut(heic.begin(), heic.begin() + std::ptrdiff_t(keep));
        EXPECT_FALSE(readHevcLayout(cut)) << "kept " << keep;
    }
    std::mt19937 random(5);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> damaged = heic;
        for (int flips = 0; flips < 3; ++flips)
            damaged[random() % firstTile] = uint8_t(random());
        if (const auto l = readHevcLayout(damaged)) {
            EXPECT_TRUE(inside(*l, damaged)) << "round " << round;
        }
    }
}

TEST(DirectYCbCr, CoresAreSharedByTheConversionsInFlight)
{
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    {
        const ThreadShare alone;
        EXPECT_EQ(alone.threads(), cores);
    }
    std::vector<std::unique_ptr<ThreadShare>> many;
    for (int i = 0; i < 2 * cores; ++i)
        many.push_back(std::make_unique<ThreadShare>());
    EXPECT_EQ(many.front()->threads(), 1);
    many.resize(size_t(cores));
    EXPECT_EQ(many.front()->threads(), 1);
    many.resize(1);
    EXPECT_EQ(many.front()->threads(), cores);
}
