// The HDR light rebuilt from the JPEG by the tests' own reader, against the photo's.
#include "conversion/core/convert_file.h"

#include "gain_map_readback.h"
#include "heif_reference.h"
#include "jpeg_readback.h"
#include "sample_files.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cmath>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

const fs::path kData = TESSAVO_TEST_DATA;

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

std::vector<uint8_t> convertTo(const fs::path& source, const fs::path& folder, bool keepHdr)
{
    return readFile(convertFile(source, folder, {.keepHdr = keepHdr, .allowDirectRoute = true}, [](std::string_view) {}).destination);
}

} // namespace

TEST(GainMap, PqAndHlgPhotosKeepTheirHdrLight)
{
    ScratchDir dir;
    for (const auto& [file, hlg] : {std::pair{"pq-bt2020.heic", false}, {"hlg-bt2020.heic", true}, {"pq-turned.heic", false}}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> sdrFile = convertTo(kData / file, dir / "sdr", false);
        const GainMapJpeg jpeg = splitGainMapJpeg(convertTo(kData / file, dir / "hdr", true));
        ASSERT_FALSE(jpeg.map.empty()) << "the MPF index names the gain map";
        const auto picture = [](std::vector<uint8_t> j) { // what follows the APPn segments
            for (size_t at = 2; at + 4 < j.size(); at += 2 + size_t(j[at + 2] << 8 | j[at + 3]))
                if (j[at + 1] >> 4 != 0xe)
                    return std::vector(j.begin() + ptrdiff_t(at), j.end());
            return j;
        };
        EXPECT_TRUE(picture(jpeg.primary) == picture(sdrFile)) << "the primary is the SDR JPEG";
        for (size_t i = 0; i < jpeg.iso.size(); ++i)
            EXPECT_NEAR(jpeg.xmp[i], jpeg.iso[i], 1e-6) << "the XMP and ISO 21496-1 forms agree on " << i;

        const std::vector<double> source = sourceLight(kData / file, hlg);
        // As shown: a map turned otherwise than its picture would light the wrong places.
        const std::vector<double> sdr = rebuildHdr(jpeg, {0, 0, 1, 0, 0, 0, 1}, 0).rgb,
                                  hdr = rebuildHdr(jpeg, jpeg.iso, jpeg.iso[6]).rgb, headroomOne = rebuildHdr(jpeg, jpeg.iso, 0).rgb;
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
