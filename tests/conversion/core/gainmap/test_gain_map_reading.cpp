// The HDR kept as a gain map: what a reader rebuilds from the JPEG is the phone's HDR picture (libheif's own decode
// of the map, by the formula of the form the photo gives it in), or the PQ or HLG photo's own light.
#include "conversion/core/gainmap/adobe_form.h"
#include "conversion/core/gainmap/apple_form.h"
#include "conversion/core/gainmap/gain_map_container.h"
#include "conversion/core/heif/heif_properties.h"
#include "conversion/core/heif/stored_frame.h"

#include "gain_map_readback.h"
#include "heif_reference.h"
#include "jpeg_readback.h"
#include "sample_files.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cstdio>
#include <variant>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

const fs::path kData = TESSAVO_TEST_DATA;
constexpr std::string_view kApple = "urn:com:apple:photo:2020:aux:hdrgainmap";
constexpr std::string_view kSamsung = "urn:com:samsung:photo:2024:aux:hdrgainmap";

struct Photo {
    fs::path file;
    std::string_view auxiliary;
    // The ISO or hdrgm metadata, or the stops Apple's formula makes of the maker note (tag 48 absent counting as 0).
    std::variant<GainParameters, double> parameters;
    std::array<double, 4> shows{0, 0, 1, 1}; // the part of the map as shown that the photo shows: left, top, right, bottom
    fs::path decodable = file; // the same pieces where libheif 1.15 refuses `file`
};

ConversionResult convert(const fs::path& source, const fs::path& folder, bool keepHdr)
{
    return convertFile(source, folder, {.keepHdr = keepHdr}, [](std::string_view) {});
}

// The JPEG with its map, whose XMP and ISO 21496-1 forms agree.
GainMapJpeg convertKeepingHdr(const fs::path& source, const fs::path& folder)
{
    const ConversionResult result = convert(source, folder, true);
    EXPECT_TRUE(result.succeeded()) << result.failure.value_or(Failure{}).reason;
    EXPECT_EQ(result.hdrNotKept, "");
    const GainMapJpeg jpeg = splitGainMapJpeg(readFile(result.destination));
    for (size_t i = 0; i < jpeg.iso.size(); ++i)
        EXPECT_NEAR(jpeg.xmp[i], jpeg.iso[i], 1e-6) << "the XMP and ISO 21496-1 forms agree on " << i;
    return jpeg;
}

// Sampling every `step`-th pixel of every `step`-th row.
void expectHdrKept(const Photo& photo, const fs::path& folder, int step = 1)
{
    SCOPED_TRACE(photo.file.filename().string());
    const GainMapJpeg jpeg = convertKeepingHdr(photo.file, folder);
    ASSERT_FALSE(jpeg.map.empty()) << "the MPF index names the gain map";
    const Owned<heif_image> shownMap = decodeHeif(readFile(photo.decodable), "libde265", false, photo.auxiliary);
    ASSERT_TRUE(shownMap) << "libheif decodes the map";
    int stride = 0;
    const uint8_t* map = heif_image_get_plane_readonly(shownMap.get(), heif_channel_interleaved, &stride);
    const int mapWidth = heif_image_get_width(shownMap.get(), heif_channel_interleaved);
    const int mapHeight = heif_image_get_height(shownMap.get(), heif_channel_interleaved);
    const GainParameters* iso = std::get_if<GainParameters>(&photo.parameters);
    const double headroom = iso ? 0 : std::exp2(std::get<double>(photo.parameters));
    const HdrLight sdr = rebuildHdr(jpeg, {0, 0, 1, 0, 0, 0, 1}, 0, step), hdr = rebuildHdr(jpeg, jpeg.iso, jpeg.iso[6], step);
    ASSERT_EQ(hdr.rgb.size(), sdr.rgb.size());
    const auto [left, top, right, bottom] = photo.shows;
    EXPECT_NEAR(double(sdr.shownWidth) / sdr.shownHeight, (right - left) * mapWidth / ((bottom - top) * mapHeight), 0.02)
        << "shown as the photo is";
    double error = 0, boostError = 0;
    size_t boosted = 0;
    for (size_t i = 0; i < sdr.rgb.size(); ++i) {
        const size_t x = i / 3 % size_t(sdr.width) * size_t(step), y = i / 3 / size_t(sdr.width) * size_t(step);
        const size_t mapX = size_t((left + (right - left) * double(x) / sdr.shownWidth) * mapWidth);
        const size_t mapY = size_t((top + (bottom - top) * double(y) / sdr.shownHeight) * mapHeight);
        const double level = map[mapY * size_t(stride) + mapX * 3 + 1] / 255.0;
        const double phone = iso ? applyGainMap(sdr.rgb[i], level, *iso, (*iso)[6])
                                 : sdr.rgb[i] * (1 + (headroom - 1) * rec709Linear(level));
        error += std::pow(pqSignal(hdr.rgb[i]) - pqSignal(phone), 2);
        const double boost = std::log2(phone / sdr.rgb[i]);
        if (boost > 0.25 && sdr.rgb[i] > 0.01 && ++boosted)
            boostError += std::pow(std::log2(hdr.rgb[i] / sdr.rgb[i]) - boost, 2);
    }
    const double psnr = 10 * std::log10(double(sdr.rgb.size()) / error), rms = std::sqrt(boostError / double(boosted));
    std::printf("%-32s PSNR %5.1f dB, boost RMS %.3f stops\n", photo.file.filename().c_str(), psnr, rms);
    EXPECT_GE(psnr, 35) << "PSNR of PQ-coded light, dB";
    ASSERT_GT(boosted, sdr.rgb.size() / 50);
    EXPECT_LT(rms, 0.1) << "RMS error of the boost, stops";
}

double luminance(const std::vector<double>& rgb, size_t i) { return 0.2627 * rgb[i] + 0.6780 * rgb[i + 1] + 0.0593 * rgb[i + 2]; }

// libheif's 16-bit decode through the transfer's curve (HLG: on a 1000 cd/m2 display).
std::vector<double> sourceLight(const fs::path& file, bool hlg)
{
    const Owned<heif_image> image = decodeHeif(readFile(file), "libde265", true);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    std::vector<double> light;
    for (int y = 0; y < heif_image_get_height(image.get(), heif_channel_interleaved); ++y)
        for (int i = 0; i < heif_image_get_width(image.get(), heif_channel_interleaved) * 3; ++i) {
            const double e = reinterpret_cast<const uint16_t*>(plane + size_t(y) * size_t(stride))[i] / 1023.0;
            light.push_back(hlg ? hlgSceneLight(e) : pqLight(e));
        }
    for (size_t i = 0; hlg && i < light.size(); i += 3) // the OOTF, on scene luminance
        for (const double gain = 1000 / 203.0 * std::pow(luminance(light, i), 0.2); double& v : std::span(&light[i], 3))
            v *= gain;
    return light;
}

} // namespace

// Maps turned as their photos are (Apple: irot 0 with 0, 3 with 3) or stored as shown, grids, colour and 10-bit
// coding; Apple's maker note with and without tag 48; the ISO metadata ruling over the map's own XMP.
TEST(GainMap, PhonesLayoutsKeepTheirHdr)
{
    const GainParameters adobeDefaults{0, 2, 1, 1.0 / 64, 1.0 / 64, 0, 2};
    const Photo photos[] = {{kData / "apple-gainmap-ios16.heic", kApple, 1.8}, // tag 33 below 1
        {kData / "apple-gainmap-ios17.heic", kApple, 2.65}, // 33 at 1.2, 48 at 0.005
        {kData / "apple-gainmap-ios18-grid.heic", kApple, GainParameters{0.125, 1.3, 1.1, 1.0 / 64, 1.0 / 32, 0, 1.3}, {0, 0, 1, 1},
            kData / "apple-gainmap-ios18-one-target.heic"},
        {kData / "gainmap-aux-of-tmap.heic", kApple, GainParameters{0.125, 1.3, 1.1, 1.0 / 64, 1.0 / 32, 0, 1.3}, {0, 0, 1, 1},
            kData / "apple-gainmap-ios18-one-target.heic"},
        {kData / "samsung-gainmap-tmap.heic", kSamsung, GainParameters{0, 2.3, 1, 0, 0, 0, 2.3}},
        {kData / "samsung-gainmap-xmp.heic", kSamsung, GainParameters{0.25, 2.5, 1.2, 1.0 / 64, 1.0 / 32, 0, 2.5}},
        {kData / "gainmap-stored-as-shown.heic", kSamsung, adobeDefaults, {20 / 192.0, 6 / 256.0, 180 / 192.0, 246 / 256.0}}};
    ScratchDir dir;
    for (const Photo& photo : photos)
        expectHdrKept(photo, dir.path());
}

TEST(RealPhotos, KeepTheirHdr)
{
    const fs::path folder = TESSAVO_REAL_PHOTOS;
    const Photo photos[] = {{folder / "iphone13pro-gainmap.heic", kApple, 1.8}, // tag 33 at 0.88, no 48
        {folder / "galaxy-s25-ultra-gainmap.heic", kSamsung, GainParameters{0, 2.3, 1, 0, 0, 0, 2.3}}};
    ScratchDir dir;
    for (const Photo& photo : photos)
        expectHdrKept(photo, dir.path(), 3);
}

// A map that cannot be read or placed is left out and says why (a map not the primary's: nothing to say); the photo
// converts as without the option.
TEST(GainMap, MapsLeftOutSayWhy)
{
    const std::pair<const char*, std::string> cases[] = {{"apple-gainmap-broken.heic", "it could not be decoded"},
        {"iso-gainmap-inconsistent.heic", "its ISO 21496-1 metadata is inconsistent"},
        {"gainmap-misplaced.heic", "it does not fit the photo: 96x128 beside 256x192"}, {"aux-to-exif.heic", ""}};
    ScratchDir dir;
    for (const auto& [file, reason] : cases) {
        std::vector<uint8_t> sdr;
        for (const bool keepHdr : {false, true}) {
            const auto result = convert(kData / file, dir.path(), keepHdr);
            ASSERT_TRUE(result.succeeded()) << file << ": " << result.failure.value_or(Failure{}).reason;
            const std::string said = keepHdr && !reason.empty() ? result.hdrNotKept.substr(0, reason.size()) : result.hdrNotKept;
            EXPECT_EQ(said, keepHdr ? reason : "") << file;
            EXPECT_TRUE(!keepHdr || readFile(result.destination) == sdr) << file;
            sdr = readFile(result.destination);
        }
    }
}

// What the JPEG would store, rounded to its 2^-20 steps, must still mean something and claim no more headroom than a
// display shows.
TEST(GainMap, OnlyParametersThatSurviveStorageAreWritten)
{
    GainMapMetadata tinyGamma = appleMetadata(4), tinyHeadroom = tinyGamma, seventeen = tinyGamma;
    tinyGamma.gamma = {std::ldexp(1.0, -32), 1, 1};
    tinyHeadroom.alternateHdrHeadroom = tinyHeadroom.baseHdrHeadroom + std::ldexp(1.0, -32);
    seventeen.gainMapMax[1] = 17;
    const std::pair<GainMapMetadata, std::string> cases[] = {{appleMetadata(4), ""}, {appleMetadata(std::exp2(16)), ""},
        {tinyGamma, "its parameters mean nothing"}, {tinyHeadroom, "its parameters mean nothing"}, {seventeen, "it claims 17 stops"},
        {appleMetadata(appleHeadroom(1.2, -5)), "it claims 353 stops of headroom, more than any display shows"}};
    for (const auto& [metadata, reason] : cases) {
        const Result<void> storable = checkStorable(metadata);
        EXPECT_EQ(storable ? "" : storable.failure().reason.substr(0, reason.size()), reason);
    }
    // Forms beside the samples': Apple's headroom in the map's XMP alone; Adobe's per channel, in elements, any prefix.
    const std::string apple =
        R"(<rdf:Description xmlns:a="http://ns.apple.com/HDRGainMap/1.0/"><a:HDRGainMapHeadroom> 3.5</a:HDRGainMapHeadroom>)";
    EXPECT_EQ(*appleHeadroom({}, apple), 3.5);
    EXPECT_FALSE(appleHeadroom({}, "<x:xmpmeta/>"));
    const std::string adobe =
        R"(<rdf:Description xmlns:g="http://ns.adobe.com/hdr-gain-map/1.0/" g:HDRCapacityMax="2">)"
        R"(<g:GainMapMax><rdf:Seq><rdf:li>1</rdf:li><rdf:li>2</rdf:li><rdf:li> 1.5 </rdf:li></rdf:Seq></g:GainMapMax>)";
    const Result<GainMapMeaning> read = readAdobeGainMapMetadata(adobe + "</rdf:Description>");
    ASSERT_TRUE(read) << read.failure().reason;
    EXPECT_EQ(read->channels, 3);
    EXPECT_EQ(read->metadata.gainMapMax, (std::array<double, 3>{1, 2, 1.5}));
    EXPECT_EQ(read->metadata.alternateOffset, (std::array<double, 3>{1.0 / 64, 1.0 / 64, 1.0 / 64}));
    EXPECT_FALSE(readAdobeGainMapMetadata(R"(<rdf:Description xmlns:g="http://ns.adobe.com/hdr-gain-map/1.0/" g:HDRCapacityMax="2"/>)"));
    EXPECT_FALSE(readAdobeGainMapMetadata(adobe + "<g:BaseRenditionIsHDR>True</g:BaseRenditionIsHDR></rdf:Description>"));
}

// A map turned or mirrored otherwise than its photo (any of the 64 pairs of orientations) comes into its stored frame.
TEST(GainMap, EveryTurnOfTheMapFindsThePhotosFrame)
{
    const RgbImage stored{3, 2, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6}}; // as the photo is stored
    const auto inverse = [](int o) { return o == 6 ? 8 : o == 8 ? 6 : o; };
    for (int photo = 1; photo <= 8; ++photo)
        for (int map = 1; map <= 8; ++map) {
            const RgbImage shown = applyExifOrientation(stored, photo);
            const RgbImage mapStored = applyExifOrientation(shown, inverse(map)); // shown alike by its own turn
            ASSERT_EQ(applyExifOrientation(mapStored, map).pixels, shown.pixels);
            EXPECT_EQ(unapplyOrientation(mapStored, orientationBetween(photo, map)).pixels, stored.pixels) << photo << " " << map;
        }
}

TEST(GainMap, PqAndHlgPhotosKeepTheirHdrLight)
{
    ScratchDir dir;
    for (const auto& [file, hlg] : {std::pair{"pq-bt2020.heic", false}, {"hlg-bt2020.heic", true}, {"pq-turned.heic", false}}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> sdrFile = readFile(convert(kData / file, dir / "sdr", false).destination);
        const GainMapJpeg jpeg = convertKeepingHdr(kData / file, dir / "hdr");
        ASSERT_FALSE(jpeg.map.empty()) << "the MPF index names the gain map";
        const auto picture = [](std::vector<uint8_t> j) { // what follows the APPn segments
            for (size_t at = 2; at + 4 < j.size(); at += 2 + size_t(j[at + 2] << 8 | j[at + 3]))
                if (j[at + 1] >> 4 != 0xe)
                    return std::vector(j.begin() + ptrdiff_t(at), j.end());
            return j;
        };
        EXPECT_TRUE(picture(jpeg.primary) == picture(sdrFile)) << "the primary is the SDR JPEG";
        const std::vector<double> source = sourceLight(kData / file, hlg);
        // As shown: a map turned otherwise than its picture would light the wrong places.
        const std::vector<double> sdr = rebuildHdr(jpeg, {0, 0, 1, 0, 0, 0, 1}, 0).rgb, hdr = rebuildHdr(jpeg, jpeg.iso, jpeg.iso[6]).rgb,
                                  headroomOne = rebuildHdr(jpeg, jpeg.iso, 0).rgb;
        ASSERT_EQ(hdr.size(), source.size());
        double error = 0, boostError = 0, boosted = 0, unlike = 0;
        for (size_t i = 0; i < hdr.size(); ++i) {
            error += std::pow(pqSignal(hdr[i]) - pqSignal(source[i]), 2);
            unlike = std::max(unlike, std::abs(headroomOne[i] - sdr[i]));
            const double boost = i % 3 ? 0 : std::log2(luminance(source, i) / luminance(sdr, i));
            if (boost > 0.25 && ++boosted) // where the photo is brighter than its SDR picture
                boostError += std::pow(std::log2(luminance(hdr, i) / luminance(sdr, i)) - boost, 2);
        }
        EXPECT_LT(unlike, 1e-9) << "at a headroom of 1 the picture is the SDR primary";
        EXPECT_GE(10 * std::log10(double(hdr.size()) / error), 35) << "PSNR of PQ-coded light, dB";
        EXPECT_LT(std::sqrt(boostError / boosted), 0.1) << "RMS error of the boost over " << boosted << " pixels, stops";
    }
}
