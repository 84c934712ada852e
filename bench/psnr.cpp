// PSNR of JPEG files against libheif's own decode of a HEIC (the test kit's
// reference and definition), over all RGB samples. The JPEG's EXIF
// orientation is not applied: benchmark photos carry none.
// usage: psnr FILE.heic A.jpg [B.jpg ...]   prints one "dB bytes" line per JPEG
#include "heif_reference.h"
#include "jpeg_readback.h"
#include "sample_files.h"

#include <cstdio>

using namespace tessavo::testsupport;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: psnr FILE.heic A.jpg [B.jpg ...]\n");
        return 2;
    }
    const tessavo::RgbImage reference = decodeHeifShown(readFile(argv[1]));
    if (reference.pixels.empty()) {
        std::fprintf(stderr, "psnr: cannot decode %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const double db = psnr(readJpeg(argv[i]).stored, reference);
        if (db < 0)
            std::printf("nan 0\n");
        else
            std::printf("%.3f %ju\n", db, std::uintmax_t(std::filesystem::file_size(argv[i])));
    }
    return 0;
}
