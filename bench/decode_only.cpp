// The decode-only bound: decodes each file's primary image to interleaved RGB
// with libheif, as a converter must, and discards it.
// usage: decode_only [--fast] FILE...   (--fast: FFmpeg's HEVC decoder inside libheif)
#include "conversion/core/avcodec_decoder.h"
#include "conversion/core/owners.h"

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
        const tessavo::Owned<heif_context> ctx = tessavo::heifContext();
        tessavo::Owned<heif_image_handle> handle;
        tessavo::Owned<heif_image> image;
        bool decoded = heif_context_read_from_file(ctx.get(), argv[i], nullptr).code == heif_error_Ok &&
                       heif_context_get_primary_image_handle(ctx.get(), tessavo::into(handle)).code == heif_error_Ok;
        decoded = decoded && heif_decode_image(handle.get(), tessavo::into(image), heif_colorspace_RGB,
                                               heif_chroma_interleaved_RGB, nullptr).code == heif_error_Ok;
        if (!decoded) {
            std::fprintf(stderr, "decode_only: cannot decode %s\n", argv[i]);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
