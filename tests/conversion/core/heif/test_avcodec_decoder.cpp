// FFmpeg's HEVC decoder inside libheif must change nothing but speed: every sample decodes to the same samples as
// with libheif's built-in decoder.
#include "conversion/core/heif/avcodec_decoder.h"

#include "sample_files.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

using namespace tessavo;
using Bytes = std::vector<uint8_t>;

namespace {

const std::filesystem::path kData = TESSAVO_TEST_DATA;

const struct {
    const char* file;
    int hevcImages; // coded pictures in the primary image, alpha and grid tiles included
} kSamples[] = {{"orientation-1.heic", 1}, {"orientation-4-3x5.heic", 1}, {"orientation-5-17x33.heic", 1}, {"orientation-3-alpha.heic", 2},
    {"orientation-8-10-bit.heic", 1}, {"orientation-7-grid-crop.heic", 1}, {"chroma-444.heic", 1}, {"chroma-422.heic", 1},
    {"phone-grid.heic", 4}};

// Every visible sample of every plane of the primary image as libheif gives it without a colour space asked for.
std::vector<Bytes> decode(const Bytes& file)
{
    std::vector<Bytes> planes;
    const Result<HeifPhoto> photo = HeifPhoto::open(file);
    Result<Owned<heif_image>> decoded = photo ? photo->decode(heif_colorspace_undefined, heif_chroma_undefined, nullptr) : photo.failure();
    if (!decoded)
        return planes;
    const Owned<heif_image> image = std::move(*decoded);
    for (const heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr, heif_channel_R, heif_channel_G, heif_channel_B,
             heif_channel_Alpha, heif_channel_interleaved}) {
        if (!heif_image_has_channel(image.get(), channel))
            continue;
        int stride = 0;
        const uint8_t* plane = heif_image_get_plane_readonly(image.get(), channel, &stride);
        const size_t row = size_t(heif_image_get_width(image.get(), channel)) *
            size_t((heif_image_get_bits_per_pixel(image.get(), channel) + 7) / 8);
        for (int y = 0; y < heif_image_get_height(image.get(), channel); ++y)
            planes.emplace_back(plane + size_t(y) * size_t(stride), plane + size_t(y) * size_t(stride) + row);
    }
    return planes;
}

} // namespace

TEST(AvcodecDecoder, DecodesEverySampleExactlyLikeTheBuiltInDecoder)
{
    // Registration is process-global and cannot be undone: the built-in decoder's first.
    std::vector<std::vector<Bytes>> builtIn;
    for (const auto& sample : kSamples) {
        builtIn.push_back(decode(testsupport::readFile(kData / sample.file)));
        ASSERT_FALSE(builtIn.back().empty()) << sample.file;
    }
    ASSERT_EQ(fastHevcDecodeCount(), 0u);
    registerFastHevcDecoder();
    registerFastHevcDecoder(); // a second call changes nothing
    for (size_t i = 0; i < std::size(kSamples); ++i) {
        SCOPED_TRACE(kSamples[i].file);
        const uint64_t before = fastHevcDecodeCount();
        const std::vector<Bytes> fast = decode(testsupport::readFile(kData / kSamples[i].file));
        EXPECT_EQ(fastHevcDecodeCount() - before, uint64_t(kSamples[i].hevcImages)) << "every coded picture through FFmpeg";
        EXPECT_TRUE(fast == builtIn[i]) << "the decoders differ";
    }
}
