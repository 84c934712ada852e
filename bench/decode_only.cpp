// The decode-only bound: decodes each file's primary image to interleaved RGB
// with libheif, as a converter must, and discards it.
// usage: decode_only [--fast] FILE...   (--fast: FFmpeg's HEVC decoder inside libheif)
#include "conversion/core/avcodec_decoder.h"

#include <libheif/heif.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fast") == 0) {
            tessavo::registerFastHevcDecoder();
            continue;
        }
        heif_context* ctx = heif_context_alloc();
        heif_image_handle* handle = nullptr;
        heif_image* image = nullptr;
        if (heif_context_read_from_file(ctx, argv[i], nullptr).code != heif_error_Ok ||
            heif_context_get_primary_image_handle(ctx, &handle).code != heif_error_Ok ||
            heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
                heif_error_Ok) {
            std::fprintf(stderr, "decode_only: cannot decode %s\n", argv[i]);
            ++failures;
        }
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(ctx);
    }
    return failures ? 1 : 0;
}
