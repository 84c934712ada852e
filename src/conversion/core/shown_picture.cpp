#include "conversion/core/shown_picture.h"

#include "conversion/core/colour/tone_mapping.h"
#include "conversion/core/gainmap/map_from_hdr_light.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessavo {
namespace {

Failure undecoded() { return {ConversionStep::Decode, "the image could not be decoded"}; }

} // namespace

Result<ShownPicture> decodeShownPicture(const HeifPhoto& photo, const ColourPlan& colour, bool withHdrMap)
{
    const bool hasAlpha = heif_image_handle_has_alpha_channel(photo.primary()) != 0;
    const bool toneMapped = colour.pixels == ColourPlan::Pixels::ToneMapped;
    const Owned<heif_decoding_options> options = heifDecodingOptions();
    if (!options)
        return undecoded();
    options->convert_hdr_to_8bit = toneMapped ? 0 : 1;

    const heif_chroma chroma = toneMapped ? (hasAlpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                          : (hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    Result<Owned<heif_image>> decode = photo.decode(heif_colorspace_RGB, chroma, options.get());
    if (!decode)
        return decode.failure();
    const Owned<heif_image> decoded = std::move(*decode);

    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    ShownPicture shown;
    RgbImage& image = shown.image;
    image.width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    image.height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    const int channels = hasAlpha ? 4 : 3;
    const int bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
    if (!plane || image.width <= 0 || image.height <= 0 || stride < image.width * channels * (toneMapped ? 2 : 1) ||
        (toneMapped ? bits < 8 || bits > 16 : bits != 8))
        return undecoded();

    // Tone mapping needs the brightest pixel first; its rows then go
    // through an 8-bit row like the rest.
    std::optional<HdrRendering> hdr;
    std::optional<HdrGainMap> map;
    std::vector<uint8_t> renderedRow;
    std::vector<float> luminance;
    const auto samples = [&](int y) { return reinterpret_cast<const uint16_t*>(plane + size_t(y) * size_t(stride)); };
    if (toneMapped) {
        hdr.emplace(colour.nclx, bits);
        for (int y = 0; y < image.height; ++y)
            hdr->measure(samples(y), size_t(image.width), channels);
        renderedRow.resize(size_t(image.width) * size_t(channels));
        if (withHdrMap && !hasAlpha) {
            map.emplace(image.width, image.height);
            luminance.resize(size_t(image.width));
        }
    }

    const bool premultiplied = heif_image_is_premultiplied_alpha(decoded.get()) != 0;
    image.pixels.resize(size_t(image.width) * size_t(image.height) * 3);
    uint8_t* out = image.pixels.data();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = plane + size_t(y) * size_t(stride);
        if (hdr) {
            hdr->render(samples(y), size_t(image.width), channels, renderedRow.data(), map ? luminance.data() : nullptr);
            in = renderedRow.data();
            if (map)
                map->addRow(y, luminance.data(), in);
        }
        if (!hasAlpha) {
            std::memcpy(out, in, size_t(image.width) * 3);
            out += size_t(image.width) * 3;
            continue;
        }
        for (int x = 0; x < image.width; ++x, in += 4) {
            const unsigned alpha = in[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned white = 255 * (255 - alpha);
                const unsigned value = premultiplied ? in[c] * 255 + white : in[c] * alpha + white;
                *out++ = uint8_t(std::min(255u, (value + 127) / 255));
            }
        }
    }
    if (colour.pixels == ColourPlan::Pixels::ToSrgb)
        convertToSrgb(colour, image.pixels.data(), size_t(image.width) * size_t(image.height));
    if (map)
        shown.hdrMap = map->finish(hdr->peak());
    return shown;
}

} // namespace tessavo
