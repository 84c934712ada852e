// Every kind of sample as a viewer shows its JPEG against libheif's own decode, on the direct YCbCr route where the
// converter takes it and on libheif's RGB route, with the EXIF orientation the HEIC stands for.
#include "conversion/core/heif/avcodec_decoder.h"
#include "conversion/core/heif/heif_compat.h"

#include "heif_reference.h"
#include "jpeg_readback.h"
#include "sample_files.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <map>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

const fs::path kData = TESSAVO_TEST_DATA;

enum class Route { Direct, Rgb, Refused };

struct Kind {
    const char* file;
    Route route; // taken when the direct route is allowed
    int orientation; // in EXIF numbering
    const char* reference = nullptr; // libheif cannot open `file` itself
};

const Kind kKinds[] = {{"orientation-1.heic", Route::Rgb, 1}, {"orientation-2-33x17.heic", Route::Rgb, 2},
    {"orientation-3-alpha.heic", Route::Rgb, 3}, {"orientation-4-3x5.heic", Route::Rgb, 4}, {"orientation-5-17x33.heic", Route::Rgb, 5},
    {"orientation-6-icc.heic", Route::Rgb, 6}, {"orientation-7-grid-crop.heic", Route::Direct, 7},
    {"orientation-8-10-bit.heic", Route::Rgb, 8}, {"chroma-444.heic", Route::Rgb, 1}, {"chroma-422.heic", Route::Rgb, 1},
    {"phone-grid.heic", Route::Direct, 1}, {"grid-bt709.heic", Route::Rgb, 1}, {"grid-limited-range.heic", Route::Rgb, 1},
    {"odd-grid.heic", Route::Direct, 1}, {"ios18-gainmap.heic", Route::Direct, 6, "ios18-gainmap-one-target.heic"},
    {"shared-alpha.heic", Route::Rgb, 1, "shared-alpha-one-target.heic"}, {"recent-phone.heic", Route::Direct, 8},
    {"heix-10-bit.heic", Route::Rgb, 1}, {"overlay.heic", Route::Rgb, 1}, {"primary-not-first.heic", Route::Direct, 1},
    {"no-colr-vui-limited.heic", Route::Rgb, 1}, {"no-colr-vui-bt709.heic", Route::Rgb, 1}, {"clap-even.heic", Route::Direct, 6},
    {"clap-odd.heic", Route::Rgb, 1}, {"clap-turned.heic", Route::Direct, 7}, {"odd-size.heic", Route::Direct, 1},
    {"ipma-duplicate-entry.heic", Route::Direct, 1}, {"ipma-second-box.heic", Route::Direct, 1}, {"grid-reused-tile.heic", Route::Rgb, 1},
    {"image-sequence.heic", Route::Rgb, 1}, {"grid-16384.heic", Route::Direct, 1}, {"single-16384.heic", Route::Direct, 1},
    {"grid-16385.heic", Route::Refused, 0}, {"single-16385.heic", Route::Refused, 0}};

// What libheif finds of a file's primary image's own: alpha, depth, metadata.
std::array<int, 3> libheifView(const std::vector<uint8_t>& file)
{
    const Result<HeifPhoto> photo = HeifPhoto::open(file);
    if (!photo)
        return {-1};
    const heif_image_handle* h = photo->primary();
    return {heif_image_handle_has_alpha_channel(h), heif_image_handle_has_depth_image(h),
        heif_image_handle_get_number_of_metadata_blocks(h, nullptr)};
}

} // namespace

TEST(RouteFidelity, EveryKindShowsLibheifsPictureOnBothRoutes)
{
    // Decoded before a conversion registers the converter's decoder, which libheif would give grid tiles and overlays.
    std::map<std::string, RgbImage> references;
    for (const Kind& kind : kKinds)
        if (kind.route != Route::Refused)
            references[kind.file] = decodeHeifShown(readFile(kData / (kind.reference ? kind.reference : kind.file)));
    ASSERT_EQ(fastHevcDecodeCount(), 0u);
    ScratchDir scratch;
    std::printf("%-30s %-7s %10s %10s\n", "kind", "route", "taken dB", "RGB dB");
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.file);
        double db[2] = {}; // RGB, taken
        for (const bool allowDirect : {true, false}) {
            const fs::path out = scratch / kind.file / (allowDirect ? "taken" : "rgb");
            const ConversionResult result = convertFile(kData / kind.file, out, {.allowDirectRoute = allowDirect}, [](std::string_view) {});
            if (kind.route == Route::Refused) {
                EXPECT_FALSE(result.succeeded());
                EXPECT_FALSE(fs::exists(out)) << "a refused file leaves no folder behind";
                continue;
            }
            ASSERT_TRUE(result.succeeded()) << result.failure.value_or(Failure{}).reason;
            EXPECT_EQ(result.directRoute, allowDirect && kind.route == Route::Direct);
            const JpegFile jpeg = readJpeg(result.destination);
            EXPECT_EQ(jpeg.orientation, kind.orientation);
            EXPECT_EQ(jpeg.exifEntries, 1) << "the orientation alone";
            db[allowDirect] = psnr(applyExifOrientation(jpeg.stored, jpeg.orientation), references.at(kind.file));
        }
        if (kind.route == Route::Refused)
            continue;
        EXPECT_GE(db[0], 35.0);
        EXPECT_GE(db[1], db[0]) << "the direct route is never less faithful";
        std::printf("%-30s %-7s %10.3f %10.3f\n", kind.file, kind.route == Route::Direct ? "direct" : "RGB", db[1], db[0]);
    }
}

// A shared alpha plane or metadata block narrowed for libheif stays the primary's: libheif finds in the rewritten file
// what it finds in one written with the primary as the only target, and in a file it reads as it is, what it did.
TEST(RouteFidelity, NarrowedReferencesKeepThePrimary)
{
    for (const Kind& kind : kKinds) {
        std::vector<uint8_t> bytes = readFile(kData / kind.file);
        if (const auto heif = readHeifFile(bytes))
            (void)adaptForLibheif(bytes, *heif);
        EXPECT_EQ(libheifView(bytes), libheifView(readFile(kData / (kind.reference ? kind.reference : kind.file)))) << kind.file;
    }
}
