#include "heif_reference.h"

#include "conversion/core/heif/heif_photo.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>

namespace tessavo::testsupport {

Owned<heif_image> decodeHeif(std::span<const uint8_t> heic, const char* decoder, bool deep, std::string_view auxiliary)
{
    Result<HeifPhoto> photo = HeifPhoto::open(heic);
    if (!photo)
        return nullptr;
    heif_image_handle* image = auxiliary.empty() ? photo->primary() : nullptr;
    heif_item_id ids[16];
    const int count = auxiliary.empty() ? 0 : heif_image_handle_get_list_of_auxiliary_image_IDs(photo->primary(), 0, ids, 16);
    Owned<heif_image_handle> aux;
    for (int i = 0; i < count && !image; ++i) {
        const char* type = nullptr;
        heif_image_handle_get_auxiliary_image_handle(photo->primary(), ids[i], into(aux));
        if (aux && heif_image_handle_get_auxiliary_type(aux.get(), &type).code == heif_error_Ok && type == auxiliary)
            image = aux.get();
        if (type)
            heif_image_handle_free_auxiliary_types(aux.get(), &type);
    }
    const Owned<heif_decoding_options> options = heifDecodingOptions();
    options->convert_hdr_to_8bit = !deep;
    options->decoder_id = decoder;
    const heif_chroma chroma = deep                  ? heif_chroma_interleaved_RRGGBB_LE
        : heif_image_handle_has_alpha_channel(image) ? heif_chroma_interleaved_RGBA
                                                     : heif_chroma_interleaved_RGB;
    Result<Owned<heif_image>> decoded = image ? photo->decode(heif_colorspace_RGB, chroma, options.get(), image)
                                              : Result<Owned<heif_image>>(Failure{});
    return decoded ? std::move(*decoded) : nullptr;
}

RgbImage decodeHeifShown(std::span<const uint8_t> heic)
{
    const Owned<heif_image> image = decodeHeif(heic);
    if (!image)
        return {};
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const bool alpha = heif_image_get_chroma_format(image.get()) == heif_chroma_interleaved_RGBA;
    const bool premultiplied = heif_image_is_premultiplied_alpha(image.get());
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    RgbImage shown{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t* in = plane + size_t(y) * stride + size_t(x) * (alpha ? 4 : 3);
                const double a = alpha ? in[3] / 255.0 : 1.0;
                const double value = (premultiplied ? in[c] : in[c] * a) + 255.0 * (1 - a);
                shown.pixels[(size_t(y) * w + x) * 3 + c] = uint8_t(std::lround(std::clamp(value, 0.0, 255.0)));
            }
    return shown;
}

} // namespace tessavo::testsupport
