// JPEGs with an HDR gain map, read by the tests' own reader: the HDR light
// rebuilt from the file against the light the photo itself holds.
#include "conversion/core/convert_file.h"
#include "conversion/core/owners.h"

#include "gain_map_reader.h"
#include "heic_fixture.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cmath>
#include <functional>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

const fs::path kData = TESSAVO_TEST_DATA;

double pqToLight(double e) // relative to 203 cd/m2
{
    const double p = std::pow(e, 1 / 78.84375);
    return 10000 / 203.0 * std::pow(std::max(p - 0.8359375, 0.0) / (18.8515625 - 18.6875 * p), 1 / 0.1593017578125);
}

double lightToPq(double light)
{
    const double y = std::pow(std::max(light, 0.0) * 203 / 10000, 0.1593017578125);
    return std::pow((0.8359375 + 18.8515625 * y) / (1 + 18.6875 * y), 78.84375);
}

// HLG on its 1000 cd/m2 reference display, relative to 203 cd/m2.
void hlgToLight(double rgb[3])
{
    for (int c = 0; c < 3; ++c)
        rgb[c] = rgb[c] <= 0.5 ? rgb[c] * rgb[c] / 3 : (std::exp((rgb[c] - 0.55991073) / 0.17883277) + 0.28466892) / 12;
    const double gain = 1000 / 203.0 * std::pow(0.2627 * rgb[0] + 0.6780 * rgb[1] + 0.0593 * rgb[2], 0.2);
    for (int c = 0; c < 3; ++c)
        rgb[c] *= gain;
}

// libheif's 16-bit decode of the primary, through the transfer's own curve.
std::vector<double> sourceLight(const fs::path& file, bool hlg)
{
    const std::vector<uint8_t> bytes = readFile(file);
    const Owned<heif_context> context = heifContext();
    heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr);
    Owned<heif_image_handle> handle;
    heif_context_get_primary_image_handle(context.get(), into(handle));
    Owned<heif_image> image;
    heif_decode_image(handle.get(), into(image), heif_colorspace_RGB, heif_chroma_interleaved_RRGGBB_LE, nullptr);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    const double top = (1 << heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved)) - 1;
    std::vector<double> light;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto* px = reinterpret_cast<const uint16_t*>(plane + size_t(y) * size_t(stride)) + x * 3;
            double rgb[3] = {px[0] / top, px[1] / top, px[2] / top};
            if (hlg)
                hlgToLight(rgb);
            for (const double v : rgb)
                light.push_back(hlg ? v : pqToLight(v));
        }
    return light;
}

double luminance(const std::vector<double>& rgb, size_t pixel)
{
    return 0.2627 * rgb[pixel * 3] + 0.6780 * rgb[pixel * 3 + 1] + 0.0593 * rgb[pixel * 3 + 2];
}

std::vector<uint8_t> convertTo(const fs::path& source, const fs::path& folder, bool keepHdr)
{
    ConversionOptions options;
    options.keepHdr = keepHdr;
    return readFile(convertFile(source, folder, options, [](std::string_view) {}).destination);
}

} // namespace

TEST(GainMap, PqAndHlgPhotosKeepTheirHdrLight)
{
    ScratchDir dir;
    for (const auto& [file, hlg] : {std::pair{"pq-bt2020.heic", false}, {"hlg-bt2020.heic", true}}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> sdrFile = convertTo(kData / file, dir / "sdr", false);
        const GainMapJpeg jpeg = splitGainMapJpeg(convertTo(kData / file, dir / "hdr", true));
        ASSERT_FALSE(jpeg.map.empty()) << "the MPF index names the gain map";
        const std::string primary(jpeg.primary.begin(), jpeg.primary.end());
        EXPECT_NE(primary.find("Item:Length=\"" + std::to_string(jpeg.map.size()) + "\""), std::string::npos);
        EXPECT_TRUE(std::equal(jpeg.primary.begin() + ptrdiff_t(afterAppSegments(jpeg.primary)), jpeg.primary.end(),
                               sdrFile.begin() + ptrdiff_t(afterAppSegments(sdrFile)), sdrFile.end()))
            << "the primary is the SDR JPEG";
        const GainParameters& iso = jpeg.iso;
        for (const auto field : {&GainParameters::min, &GainParameters::max, &GainParameters::gamma, &GainParameters::offsetSdr,
                                 &GainParameters::offsetHdr, &GainParameters::headroomMin, &GainParameters::headroomMax})
            EXPECT_NEAR(jpeg.xmp.*field, iso.*field, 1e-6) << "the XMP and ISO 21496-1 forms agree";
        ASSERT_GT(iso.max, 1);

        const std::vector<double> source = sourceLight(kData / file, hlg);
        const std::vector<double> sdr = rebuildHdr(jpeg, {0, 0, 1, 0, 0, 0, 1}, 0);
        const std::vector<double> hdr = rebuildHdr(jpeg, iso, iso.headroomMax);
        const std::vector<double> headroomOne = rebuildHdr(jpeg, iso, 0);
        ASSERT_EQ(hdr.size(), source.size());
        double error = 0, boostError = 0, boosted = 0, sdrError = 0;
        for (size_t i = 0; i < hdr.size(); ++i) {
            error += std::pow(lightToPq(hdr[i]) - lightToPq(source[i]), 2);
            sdrError = std::max(sdrError, std::abs(headroomOne[i] - sdr[i]));
        }
        EXPECT_LT(sdrError, 1e-9) << "at a headroom of 1 the picture is the SDR primary";
        for (size_t p = 0; p < hdr.size() / 3; ++p) {
            const double boost = std::log2(luminance(source, p) / luminance(sdr, p));
            if (boost > 0.25) {
                boostError += std::pow(std::log2(luminance(hdr, p) / luminance(sdr, p)) - boost, 2);
                ++boosted;
            }
        }
        EXPECT_GE(10 * std::log10(hdr.size() / error), 35) << "PSNR of PQ-coded light, dB";
        ASSERT_GT(boosted, 0);
        EXPECT_LT(std::sqrt(boostError / boosted), 0.1) << "RMS error of the boost, stops";
    }
}
