// The decode-only bound: decodes each file's primary image to interleaved RGB
// with libheif, as a converter must, and discards it.
// usage: decode_only [--fast] FILE...   (--fast: FFmpeg's HEVC decoder inside libheif)
#include "conversion/core/heif/avcodec_decoder.h"

#include "heif_reference.h"
#include "jpeg_readback.h"
#include "sample_files.h"

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
        // The decoder of highest priority: FFmpeg's once registered.
        if (!tessavo::testsupport::decodeHeif(tessavo::testsupport::readFile(argv[i]), nullptr)) {
            std::fprintf(stderr, "decode_only: cannot decode %s\n", argv[i]);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
