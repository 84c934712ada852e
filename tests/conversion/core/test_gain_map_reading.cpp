// The HDR gain map of phones' layouts, against libheif's decode of the map
// item and exiftool's reading of the Apple maker note.
#include "conversion/core/gain_map_reader.h"
#include "conversion/core/heif_compat.h"

#include "gain_map_reader.h"
#include "heic_fixture.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace tessavo;
using namespace tessavo::testsupport;
const std::filesystem::path kData = TESSAVO_TEST_DATA;

// The map of `file` read as a conversion with keepHdr reads it.
std::optional<Result<GainMap>> gainMap(const char* file)
{
    std::vector<uint8_t> bytes = readFile(kData / file);
    const auto heif = readHeifFile(bytes);
    adaptForLibheif(bytes, *heif, true);
    const Owned<heif_context> context = heifContext();
    Owned<heif_image_handle> primary;
    heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr);
    heif_context_get_primary_image_handle(context.get(), into(primary));
    return GainMapReader(bytes, *heif, primary.get()).read();
}

// libheif's own decode of Apple's map (128x96, in the stored frame) and the
// headroom Apple's formula gives for exiftool's reading of the maker note.
struct AppleSource {
    std::vector<uint8_t> y4m;
    const uint8_t* map = nullptr;
    double headroom = 1;
};
AppleSource appleSource(const ScratchDir& dir)
{
    AppleSource a;
    if (std::system(("heif-convert --quiet --with-aux " TESSAVO_TEST_DATA "/apple-gainmap.heic " + (dir / "m.y4m").string()).c_str()) != 0)
        return a;
    a.y4m = readFile(dir / "m-urn:com:apple:photo:2020:aux:hdrgainmap.y4m");
    a.map = a.y4m.data() + std::string(a.y4m.begin(), a.y4m.end()).find("FRAME\n") + 6;
    double m33 = 0, m48 = 0;
    std::FILE* exiftool = ::popen("exiftool -n -s3 -MakerNotes:HDRHeadroom -MakerNotes:HDRGain " TESSAVO_TEST_DATA "/apple-gainmap.heic", "r");
    const bool read = std::fscanf(exiftool, "%lf %lf", &m33, &m48) == 2;
    ::pclose(exiftool);
    const double stops = m33 < 1 ? (m48 <= 0.01 ? -20 * m48 + 1.8 : -0.101 * m48 + 1.601)
                                 : (m48 <= 0.01 ? -70 * m48 + 3 : -0.303 * m48 + 2.303);
    a.headroom = read ? std::exp2(std::max(stops, 0.0)) : 1;
    return a;
}
double rec709Linear(double v) { return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45); } // as Apple documents

// Apple's map re-expressed by Apple's formulas, cropped as the primary, in
// its stored frame; where both forms are, the ISO one rules.
TEST(GainMap, ReadInTheJpegsTerms)
{
    ScratchDir dir;
    const AppleSource apple = appleSource(dir);
    ASSERT_TRUE(apple.map && apple.headroom > 1);
    const uint8_t* decoded = apple.map;
    const double h = apple.headroom, s = std::log2(h);
    const std::vector<double> iso{1.3, 1.3, 0.125, 1.1, 1.0 / 64, 1.0 / 32, 0}; // the fractions the tmap item holds
    const struct {
        const char* file;
        int left, top, width, height; // the primary's crop on the map
        std::vector<double> metadata; // alternate headroom, max, min, gamma, offsets, base headroom
    } cases[] = {{"apple-gainmap.heic", 5, 10, 120, 80, {s, s, 0, 1, 0, 0, 0}},
                 {"iso-gainmap.heic", 0, 0, 128, 96, iso},
                 {"iso-gainmap-tmap-target.heic", 0, 0, 128, 96, iso}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto read = gainMap(c.file);
        ASSERT_TRUE(read && *read) << (read ? read->failure().reason : "no map");
        const GainMap& map = **read;
        const GainMapMetadata& m = map.metadata;
        EXPECT_EQ(std::vector({m.alternateHdrHeadroom, m.gainMapMax[2], m.gainMapMin[1], m.gamma[0], m.baseOffset[0],
                               m.alternateOffset[2], m.baseHdrHeadroom}), c.metadata);
        ASSERT_EQ(std::vector({map.channels, map.width, map.height}), std::vector({1, c.width, c.height}));
        for (int i = 0; i < c.width * c.height; ++i) {
            const double v = decoded[(i / c.width + c.top) * 128 + i % c.width + c.left] / 255.0;
            const double linear = rec709Linear(v);
            ASSERT_EQ(map.pixels[size_t(i)], std::lround(c.left ? 255 * std::log2(1 + (h - 1) * linear) / s : v * 255)) << i;
        }
    }
}

// A map that cannot be read is left out with a note, the photo converted as
// without the option; so are layouts whose map names no image.
TEST(GainMap, UnreadableMapsLeaveThePhotoAsToday)
{
    const std::pair<const char*, std::string> cases[] = {
        {"apple-gainmap-broken.heic", "HDR gain map left out: it could not be decoded"},
        {"iso-gainmap-inconsistent.heic", "HDR gain map left out: its ISO 21496-1 metadata is inconsistent"},
        {"aux-to-exif.heic", ""}}; // with keepHdr
    ScratchDir dir;
    for (const auto& [file, note] : cases) {
        std::vector<uint8_t> sdr;
        for (const bool keepHdr : {false, true}) {
            const auto result = convertFile(kData / file, dir.path(), {{}, false, keepHdr}, [](std::string_view) {});
            ASSERT_TRUE(result.succeeded()) << file << ": " << result.reason;
            EXPECT_EQ(result.notes.empty() ? "" : result.notes[0].substr(0, note.size()), keepHdr ? note : "") << file;
            EXPECT_TRUE(!keepHdr || note.empty() || readFile(result.destination) == sdr) << file;
            sdr = readFile(result.destination);
        }
    }
}

// The HDR picture a reader rebuilds from the JPEG is the one the phone shows:
// the SDR primary times Apple's gain, 1 + (headroom - 1) * map, compared on
// PQ-coded light and, where the photo is boosted, on the boost itself.
TEST(GainMap, ApplePhotoRebuildsAsThePhoneShowsIt)
{
    ScratchDir dir;
    const AppleSource apple = appleSource(dir);
    ASSERT_TRUE(apple.map && apple.headroom > 1);
    const auto result = convertFile(kData / "apple-gainmap.heic", dir.path(), {{}, false, true}, [](std::string_view) {});
    const GainMapJpeg jpeg = splitGainMapJpeg(readFile(result.destination));
    ASSERT_FALSE(jpeg.map.empty());
    const std::vector<double> sdr = rebuildHdr(jpeg, {0, 0, 1, 0, 0, 0, 1}, 0), hdr = rebuildHdr(jpeg, jpeg.iso, jpeg.iso[6]);
    const int width = readJpeg(jpeg.primary).stored.width; // 240x160, the crop at (10, 20) of the map's 2x frame
    double error = 0, boostError = 0, boosted = 0;
    for (size_t i = 0; i < sdr.size(); ++i) {
        const size_t x = i / 3 % size_t(width), y = i / 3 / size_t(width);
        const double gain = 1 + (apple.headroom - 1) * rec709Linear(apple.map[(y / 2 + 10) * 128 + x / 2 + 5] / 255.0);
        error += std::pow(pqSignal(hdr[i]) - pqSignal(sdr[i] * gain), 2);
        if (std::log2(gain) > 0.25 && sdr[i] > 0.01 && ++boosted)
            boostError += std::pow(std::log2(hdr[i] / sdr[i]) - std::log2(gain), 2);
    }
    EXPECT_GE(10 * std::log10(double(sdr.size()) / error), 35) << "PSNR of PQ-coded light, dB";
    ASSERT_GT(boosted, sdr.size() / 10);
    EXPECT_LT(std::sqrt(boostError / boosted), 0.1) << "RMS error of the boost, stops";
}
