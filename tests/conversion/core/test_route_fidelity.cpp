// The two routes of a conversion against libheif's picture: every kind of
// sample file (tests/data) goes through the direct YCbCr route where the
// converter takes it and through libheif's RGB route, and the shown JPEG is
// compared with libheif's own decode.
#include "conversion/core/avcodec_decoder.h"
#include "conversion/core/convert_file.h"
#include "conversion/core/heif_file.h"
#include "conversion/core/ycbcr_decode.h"

#include "heic_fixture.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <thread>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

const fs::path kData = TESSAVO_TEST_DATA;

enum class Route { Direct, Rgb, Refused };

struct Kind {
    const char* file;
    Route route;               // taken when the direct route is allowed
    const char* reference = nullptr; // libheif cannot open `file` itself
};

const Kind kKinds[] = {
    {"phone-grid.heic", Route::Direct},
    {"grid-bt709.heic", Route::Rgb},
    {"grid-limited-range.heic", Route::Rgb},
    {"odd-grid.heic", Route::Direct},
    {"ios18-gainmap.heic", Route::Direct, "ios18-gainmap-one-target.heic"},
    {"shared-alpha.heic", Route::Rgb, "shared-alpha-one-target.heic"},
    {"recent-phone.heic", Route::Direct},
    {"heix-10-bit.heic", Route::Rgb},
    {"overlay.heic", Route::Rgb},
    {"primary-not-first.heic", Route::Direct},
    {"no-colr-vui-limited.heic", Route::Rgb},
    {"no-colr-vui-bt709.heic", Route::Rgb},
    {"clap-even.heic", Route::Direct},
    {"clap-odd.heic", Route::Rgb},
    {"clap-turned.heic", Route::Direct},
    {"odd-size.heic", Route::Direct},
    {"ipma-duplicate-entry.heic", Route::Direct},
    {"ipma-second-box.heic", Route::Direct},
    {"grid-reused-tile.heic", Route::Rgb},
    {"image-sequence.heic", Route::Rgb},
    {"grid-16384.heic", Route::Direct},
    {"single-16384.heic", Route::Direct},
    {"grid-16385.heic", Route::Refused},
    {"single-16385.heic", Route::Refused},
};

// libheif's pictures, decoded before anything registers the converter's
// decoder: libheif gives grid tiles and overlay inputs to the decoder of
// highest priority, and the reference must come from its own.
std::map<std::string, RgbImage> gReferences;

class References : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const Kind& kind : kKinds)
            if (kind.route != Route::Refused) {
                const char* name = kind.reference ? kind.reference : kind.file;
                gReferences[kind.file] = decodeHeifShown(readFile(kData / name));
            }
        ASSERT_EQ(fastHevcDecodeCount(), 0u);
    }
};
const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new References);

struct Converted {
    ConversionResult result;
    JpegFile jpeg;
    RgbImage shown;
};

Converted convert(const fs::path& source, const fs::path& output, bool allowDirect)
{
    ConversionOptions options;
    options.allowDirectRoute = allowDirect;
    Converted out;
    out.result = convertFile(source, output, options, [](std::string_view) {});
    if (out.result.succeeded()) {
        out.jpeg = readJpeg(out.result.destination);
        out.shown = applyExifOrientation(out.jpeg.stored, out.jpeg.orientation);
    }
    return out;
}

} // namespace

TEST(RouteFidelity, EveryKindShowsLibheifsPictureOnBothRoutes)
{
    ScratchDir scratch;
    std::printf("%-30s %-7s %10s %10s\n", "kind", "route", "direct dB", "RGB dB");
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.file);
        const fs::path out = scratch / kind.file;
        const Converted taken = convert(kData / kind.file, out / "taken", true);
        const Converted rgb = convert(kData / kind.file, out / "rgb", false);
        if (kind.route == Route::Refused) {
            EXPECT_FALSE(taken.result.succeeded());
            EXPECT_FALSE(rgb.result.succeeded());
            EXPECT_FALSE(fs::exists(out)) << "a refused file leaves no folder behind";
            std::printf("%-30s %-7s %10s %10s\n", kind.file, "refused", "-", "-");
            continue;
        }
        ASSERT_TRUE(taken.result.succeeded()) << taken.result.reason;
        ASSERT_TRUE(rgb.result.succeeded()) << rgb.result.reason;
        EXPECT_EQ(taken.result.directRoute, kind.route == Route::Direct);
        EXPECT_FALSE(rgb.result.directRoute);
        EXPECT_EQ(taken.jpeg.orientation, rgb.jpeg.orientation) << "the orientation is the same on every route";

        const RgbImage& reference = gReferences.at(kind.file);
        const double takenDb = psnr(taken.shown, reference), rgbDb = psnr(rgb.shown, reference);
        EXPECT_GE(rgbDb, 35.0);
        EXPECT_GE(takenDb, 35.0);
        EXPECT_GE(takenDb, rgbDb) << "the direct route is never less faithful";
        char direct[16] = "-";
        if (kind.route == Route::Direct)
            std::snprintf(direct, sizeof direct, "%.3f", takenDb);
        std::printf("%-30s %-7s %10s %10.3f\n", kind.file, kind.route == Route::Direct ? "direct" : "RGB", direct, rgbDb);
    }
}

TEST(RouteFidelity, Ios18LayoutConvertsAsWithoutTheGainMapsSecondTarget)
{
    ScratchDir scratch;
    const Converted two = convert(kData / "ios18-gainmap.heic", scratch.path(), true);
    const Converted one = convert(kData / "ios18-gainmap-one-target.heic", scratch.path(), true);
    ASSERT_TRUE(two.result.succeeded()) << two.result.reason;
    ASSERT_TRUE(one.result.succeeded());
    EXPECT_EQ(two.jpeg.orientation, 6);
    EXPECT_EQ(two.jpeg.orientation, one.jpeg.orientation);
    EXPECT_TRUE(two.jpeg.stored.pixels == one.jpeg.stored.pixels);
}

TEST(RouteFidelity, BrokenTileDataFailsAtDecodeAndWritesNothing)
{
    ScratchDir scratch;
    auto heic = readFile(kData / "phone-grid.heic");
    // The last tile's first NAL unit now claims to run far past its end.
    const auto heif = readHeifFile(heic);
    ASSERT_TRUE(heif);
    const auto layout = hevcLayout(*heif, heic);
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

// Whatever damage the boxes take, the layout's slices stay inside the file.
TEST(RouteFidelity, LayoutStaysInsideDamagedFiles)
{
    const auto heic = readFile(kData / "phone-grid.heic");
    const auto heif = readHeifFile(heic);
    ASSERT_TRUE(heif);
    const auto layout = hevcLayout(*heif, heic);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->columns, 2);
    EXPECT_EQ(layout->rows, 2);
    const auto inside = [](const HevcLayout& l, const std::vector<uint8_t>& file) {
        for (const auto& tile : l.tiles)
            for (const auto& extent : tile.extents)
                if (extent.data() < file.data() || extent.data() + extent.size() > file.data() + file.size())
                    return false;
        return true;
    };
    const size_t firstTile = size_t(layout->tiles[0].extents[0].data() - heic.data());
    std::mt19937 random(5);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> damaged = heic;
        if (round % 2)
            damaged.resize(random() % heic.size());
        for (int flips = 0; flips < 3 && !damaged.empty(); ++flips)
            damaged[random() % std::min(firstTile, damaged.size())] = uint8_t(random());
        const auto h = readHeifFile(damaged);
        const auto l = h ? hevcLayout(*h, damaged) : std::nullopt;
        if (l) {
            EXPECT_TRUE(inside(*l, damaged)) << "round " << round;
        }
    }
}

TEST(RouteFidelity, CoresAreSharedByTheConversionsInFlight)
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
