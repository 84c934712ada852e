// FFmpeg's HEVC decoder inside libheif must change nothing but speed: every
// fixture decodes to the same samples as with libheif's built-in decoder.
#include "conversion/core/avcodec_decoder.h"
#include "conversion/core/owners.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using tessavo::Owned;
using tessavo::into;
using Bytes = std::vector<std::uint8_t>;

struct Fixture {
    std::string name;
    Bytes file;
    int hevcImages; // coded pictures in the primary image, alpha included
};

heif_error collect(heif_context*, const void* data, size_t size, void* user)
{
    auto* bytes = static_cast<Bytes*>(user);
    bytes->insert(bytes->end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// A textured picture so that every coding tool has something to do.
Bytes encode(int width, int height, int bits, bool alpha, const char* chroma)
{
    Owned<heif_image> image;
    const heif_chroma layout = bits > 8 ? (alpha ? heif_chroma_interleaved_RRGGBBAA_BE : heif_chroma_interleaved_RRGGBB_BE)
                                        : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image_create(width, height, heif_colorspace_RGB, layout, into(image));
    heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, bits);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const int channels = alpha ? 4 : 3, bytesPerSample = bits > 8 ? 2 : 1, max = (1 << bits) - 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int v = ((x * (c + 3) + y * (5 - c)) ^ (x * y >> 4)) % (max + 1);
                std::uint8_t* at = plane + y * stride + (x * channels + c) * bytesPerSample;
                if (bytesPerSample == 2) // big-endian
                    *at++ = std::uint8_t(v >> 8);
                *at = std::uint8_t(v);
            }
    const Owned<heif_context> ctx = tessavo::heifContext();
    Owned<heif_encoder> encoder;
    heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, into(encoder));
    heif_encoder_set_lossy_quality(encoder.get(), 70);
    heif_encoder_set_parameter(encoder.get(), "chroma", chroma);
    const Owned<heif_encoding_options> options = tessavo::heifEncodingOptions();
    const heif_error err = heif_context_encode_image(ctx.get(), image.get(), encoder.get(), options.get(), nullptr);
    Bytes file;
    heif_writer writer{1, collect};
    if (err.code == heif_error_Ok)
        heif_context_write(ctx.get(), &writer, &file);
    return file;
}

const std::vector<Fixture>& fixtures()
{
    static const std::vector<Fixture> all = {
        {"even_420", encode(256, 192, 8, false, "420"), 1},
        // Odd sizes are stored as a one-tile grid: the tile path.
        {"odd_420_grid", encode(333, 201, 8, false, "420"), 1},
        {"tiny", encode(3, 5, 8, false, "420"), 1},
        {"chroma_444", encode(130, 66, 8, false, "444"), 1},
        {"chroma_422", encode(130, 66, 8, false, "422"), 1},
        {"alpha_monochrome_aux", encode(128, 96, 8, true, "420"), 2},
        {"ten_bit", encode(160, 120, 10, false, "420"), 1},
    };
    return all;
}

using Decoded = std::vector<Bytes>; // every plane, visible samples only

// Decodes the primary image both as stored (planar) and as RGB, keeping every
// visible sample.
Decoded decode(const Bytes& file, heif_error* failure = nullptr)
{
    Decoded planes;
    const Owned<heif_context> ctx = tessavo::heifContext();
    Owned<heif_image_handle> handle;
    heif_error err = heif_context_read_from_memory_without_copy(ctx.get(), file.data(), file.size(), nullptr);
    if (err.code == heif_error_Ok)
        err = heif_context_get_primary_image_handle(ctx.get(), into(handle));
    const struct {
        heif_colorspace space;
        heif_chroma chroma;
    } targets[] = {{heif_colorspace_undefined, heif_chroma_undefined}, {heif_colorspace_RGB, heif_chroma_undefined}};
    for (const auto& target : targets) {
        if (err.code != heif_error_Ok)
            break;
        Owned<heif_image> image;
        err = heif_decode_image(handle.get(), into(image), target.space, target.chroma, nullptr);
        if (err.code != heif_error_Ok)
            break;
        for (heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr, heif_channel_Alpha,
                                     heif_channel_R, heif_channel_G, heif_channel_B, heif_channel_interleaved}) {
            if (!heif_image_has_channel(image.get(), channel))
                continue;
            int stride = 0;
            const std::uint8_t* plane = heif_image_get_plane_readonly(image.get(), channel, &stride);
            const int width = heif_image_get_width(image.get(), channel);
            const int height = heif_image_get_height(image.get(), channel);
            const int bits = heif_image_get_bits_per_pixel(image.get(), channel);
            const size_t rowBytes = size_t(width) * size_t((bits + 7) / 8);
            Bytes samples;
            for (int y = 0; y < height; ++y)
                samples.insert(samples.end(), plane + size_t(y) * stride, plane + size_t(y) * stride + rowBytes);
            planes.push_back(std::move(samples));
        }
    }
    if (failure)
        *failure = err;
    return planes;
}

TEST(AvcodecDecoder, DecodesEveryFixtureExactlyLikeTheBuiltInDecoder)
{
    // Registration is process-global and cannot be undone: decode with the
    // built-in decoder first, then register and decode again.
    std::vector<Decoded> builtIn;
    for (const Fixture& fixture : fixtures()) {
        ASSERT_FALSE(fixture.file.empty()) << fixture.name;
        builtIn.push_back(decode(fixture.file));
        ASSERT_GE(builtIn.back().size(), 2u) << fixture.name;
    }
    ASSERT_EQ(tessavo::fastHevcDecodeCount(), 0u);

    tessavo::registerFastHevcDecoder();
    tessavo::registerFastHevcDecoder(); // a second call changes nothing

    for (size_t i = 0; i < fixtures().size(); ++i) {
        const Fixture& fixture = fixtures()[i];
        const std::uint64_t before = tessavo::fastHevcDecodeCount();
        const Decoded fast = decode(fixture.file);
        // Two decodes (planar and RGB) of every coded picture went through FFmpeg.
        EXPECT_EQ(tessavo::fastHevcDecodeCount() - before, std::uint64_t(2 * fixture.hevcImages)) << fixture.name;
        ASSERT_EQ(fast.size(), builtIn[i].size()) << fixture.name;
        for (size_t p = 0; p < fast.size(); ++p)
            EXPECT_TRUE(fast[p] == builtIn[i][p]) << fixture.name << " plane " << p;
    }
}

TEST(AvcodecDecoder, RejectsDamagedStreamsWithoutCrashing)
{
    tessavo::registerFastHevcDecoder();
    const Bytes& good = fixtures()[0].file;

    // A HEIC whose coded data is cut short or overwritten fails as an error.
    for (size_t keep : {good.size() - 1, good.size() - 200, good.size() / 2}) {
        Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(keep));
        heif_error err{};
        decode(cut, &err);
        EXPECT_NE(err.code, heif_error_Ok) << "kept " << keep << " bytes";
    }

    // Raw streams: empty, a length running past the end, random NAL units.
    Bytes noise = {0, 0, 0, 60};
    for (int i = 0; i < 60; ++i)
        noise.push_back(std::uint8_t(i * 37 + 11));
    for (const Bytes& raw : {Bytes{}, Bytes{0, 0, 1, 0, 0x40, 0x01}, noise})
        EXPECT_EQ(tessavo::decodeHevcPicture(raw), nullptr) << raw.size() << " bytes";
}

} // namespace
