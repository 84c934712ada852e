// Colours as a colour-managed viewer (lcms2) shows the JPEG through its profile, against what the HEIC's nclx box
// says its decoded pixels mean, in linear BT.2020 light.
#include "heif_reference.h"
#include "jpeg_readback.h"
#include "sample_files.h"
#include "scratch_dir.h"
#include "transfer_curves.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <libheif/heif.h>

#include <ctime>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

using Rgb = std::array<double, 3>;
using Matrix = std::array<Rgb, 3>;

const fs::path kData = TESSAVO_TEST_DATA;

// Mean of the 6x6 centre of flat 16x16 patch `index`, four patches a row.
Rgb patch(const RgbImage& image, int index)
{
    Rgb sum{};
    const int cx = index % 4 * 16 + 8, cy = index / 4 * 16 + 8;
    for (int y = cy - 3; y < cy + 3; ++y)
        for (int x = cx - 3; x < cx + 3; ++x)
            for (size_t c = 0; c < 3; ++c)
                sum[c] += image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * 3 + c] / 255.0 / 36;
    return sum;
}

LcmsProfile linearProfile(const cmsCIExyYTRIPLE& primaries)
{
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const Owned<cmsToneCurve> linear(cmsBuildGamma(nullptr, 1.0));
    cmsToneCurve* curves[3] = {linear.get(), linear.get(), linear.get()};
    return LcmsProfile(cmsCreateRGBProfile(&d65, &primaries, curves));
}

const cmsCIExyYTRIPLE kBt2020{{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}};
const cmsCIExyYTRIPLE kSrgb{{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};

// Linear BT.2020 light of the JPEG's patches, 1 its white; none when it has no profile.
std::vector<Rgb> shownPatches(const fs::path& source, const fs::path& output, int count)
{
    const JpegFile jpeg = readJpeg(convertCapturing(source, output).outcome.destination);
    const LcmsProfile embedded(cmsOpenProfileFromMem(jpeg.icc.data(), cmsUInt32Number(jpeg.icc.size())));
    // The same photo gives the same bytes: the profile carries no clock time.
    tm made{};
    if (embedded && cmsGetHeaderCreationDateTime(embedded.get(), &made)) {
        EXPECT_GT(std::abs(std::difftime(std::time(nullptr), timegm(&made))), 3600.0) << "dated now";
    }
    const LcmsProfile target = linearProfile(kBt2020);
    const LcmsTransform transform(
        embedded ? cmsCreateTransform(embedded.get(), TYPE_RGB_DBL, target.get(), TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0) : nullptr);
    std::vector<Rgb> shown;
    for (int i = 0; transform && i < count; ++i) {
        const Rgb stored = patch(jpeg.stored, i);
        cmsDoTransform(transform.get(), stored.data(), shown.emplace_back().data(), 1);
    }
    return shown;
}

} // namespace

TEST(Colour, NclxPrimariesComeWithAProfileShowingLibheifsColours)
{
    const Matrix p3ToBt2020{{{0.753833, 0.198597, 0.047570}, {0.045744, 0.941777, 0.012479}, {-0.001210, 0.017601, 0.983608}}};
    const Matrix identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    const struct {
        const char* file;
        double (*decode)(double);
        Matrix toBt2020;
    } cases[] = {
        {"nclx-p3.heic", [](double v) { return srgbLinear(255 * v); }, p3ToBt2020},
        {"nclx-bt2020.heic", rec709Linear, identity},
    };
    ScratchDir dir;
    for (const auto& [file, decode, toBt2020] : cases) {
        SCOPED_TRACE(file);
        const std::vector<Rgb> shown = shownPatches(kData / file, dir.path(), 8);
        ASSERT_EQ(shown.size(), 8u);
        const RgbImage libheif = decodeHeifShown(readFile(kData / file));
        for (int i = 0; i < 8; ++i) {
            const Rgb coded = patch(libheif, i);
            for (size_t row = 0; row < 3; ++row) {
                double expected = 0;
                for (size_t c = 0; c < 3; ++c)
                    expected += toBt2020[row][c] * decode(coded[c]);
                EXPECT_NEAR(shown[size_t(i)][row], expected, 0.01 + 0.02 * expected) << "patch " << i << " channel " << row;
            }
        }
    }
}

TEST(Colour, PqAndHlgAreRenderedForSdrWithoutClipping)
{
    const auto scene = hlgSceneLight;
    const auto hlgGrey = [&](double signal) { return 1000.0 / 203 * std::pow(scene(signal), 1.2); };
    const struct {
        const char* file;
        std::vector<double> greys; // relative to reference white, -1: above the roll-off
        std::vector<Rgb> colourRatios; // of the colour patches that follow
    } cases[] = {
        {"pq-bt2020.heic", // grey at 1, 10, 30, 60, 100, 203, 400, 1000, 4000 cd/m2
            {1 / 203.0, 10 / 203.0, 30 / 203.0, 60 / 203.0, -1, -1, -1, -1, -1}, {{1, 0.4, 0.1}, {0.1, 0.5, 1}, {0.2, 1, 0.3}}},
        {"hlg-bt2020.heic", {hlgGrey(0.05), hlgGrey(0.15), hlgGrey(0.3), hlgGrey(0.5), -1, -1, -1, -1, -1},
            // Scene light of the coded signals; the OOTF keeps their ratios.
            {{scene(0.6), scene(0.4), scene(0.2)}, {scene(0.2), scene(0.4), scene(0.9)}, {scene(0.3), scene(0.7), scene(0.35)}}},
    };
    ScratchDir dir;
    for (const auto& [file, greys, ratios] : cases) {
        SCOPED_TRACE(file);
        const std::vector<Rgb> shown = shownPatches(kData / file, dir.path(), 12);
        ASSERT_EQ(shown.size(), 12u);
        for (size_t i = 0; i < greys.size(); ++i) {
            SCOPED_TRACE("grey " + std::to_string(i));
            if (greys[i] >= 0) {
                EXPECT_NEAR(shown[i][1], greys[i], 0.004 + 0.03 * greys[i]) << "mid-tones stay as the photo has them";
            }
            EXPECT_GT(shown[i][1], i > 0 ? shown[i - 1][1] + 0.01 : 0.0) << "brighter stays brighter";
            EXPECT_LE(shown[i][1], 1.005);
        }
        for (size_t i = 0; i < ratios.size(); ++i) {
            const Rgb& light = shown[greys.size() + i];
            const double top = std::max({light[0], light[1], light[2]}), ratioTop = std::max({ratios[i][0], ratios[i][1], ratios[i][2]});
            for (size_t c = 0; c < 3; ++c)
                EXPECT_NEAR(light[c] / top, ratios[i][c] / ratioTop, 0.06) << "colour " << i << " keeps its hue";
        }
    }
}

TEST(Colour, ProfileTooLargeForJpegIsNeverWrittenInPart)
{
    // A valid profile (sRGB primaries, linear light) grown past the limit: a viewer would show the pixels sRGB-encoded.
    const LcmsProfile profile = linearProfile(kSrgb);
    const std::vector<uint8_t> padding(kMaxJpegIccBytes, 7);
    cmsWriteRawTag(profile.get(), cmsTagSignature(0x74657374), padding.data(), cmsUInt32Number(padding.size()));
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile.get(), nullptr, &size);
    std::vector<uint8_t> linear(size);
    cmsSaveProfileToMem(profile.get(), linear.data(), &size);
    const std::vector<uint8_t> atLimit(kMaxJpegIccBytes, 5), unreadable(kMaxJpegIccBytes + 1, 5);
    const struct {
        const char* name;
        const std::vector<uint8_t>& icc;
        bool embedded, toSrgb;
    } cases[] = {{"at-limit", atLimit, true, false}, {"unreadable", unreadable, false, false}, {"linear", linear, false, true}};
    ScratchDir dir;
    const Owned<heif_image> image = decodeHeif(readFile(kData / "orientation-1.heic"));
    for (const auto& [name, icc, embedded, toSrgb] : cases) {
        SCOPED_TRACE(name);
        // Re-encoded by libheif: profiles too large for a JPEG make files too large to keep.
        const fs::path source = dir / (std::string(name) + ".heic");
        const Owned<heif_context> out = heifContext();
        Owned<heif_encoder> encoder;
        heif_image_set_raw_color_profile(image.get(), "prof", icc.data(), icc.size());
        heif_context_get_encoder_for_format(out.get(), heif_compression_HEVC, into(encoder));
        heif_encoder_set_lossy_quality(encoder.get(), 90);
        heif_context_encode_image(out.get(), image.get(), encoder.get(), nullptr, nullptr);
        heif_context_write_to_file(out.get(), source.c_str());
        const auto result = convertCapturing(source, dir / "out");
        ASSERT_TRUE(result.outcome.succeeded());
        EXPECT_EQ(result.outcome.notes.empty(), embedded) << "a dropped or applied profile is told";
        const JpegFile jpeg = readJpeg(result.outcome.destination);
        ASSERT_GT(jpeg.stored.width, 0) << "no complete JPEG";
        EXPECT_EQ(jpeg.icc, embedded ? icc : std::vector<uint8_t>{});

        RgbImage expected = decodeHeifShown(readFile(source));
        if (toSrgb)
            for (auto& value : expected.pixels)
                value = uint8_t(std::lround(255 * (value <= 0 ? 0 : 1.055 * std::pow(value / 255.0, 1 / 2.4) - 0.055)));
        EXPECT_GE(psnr(jpeg.stored, expected), 32.0);
    }
}
