// PSNR of JPEG files against libheif's own decode of a HEIC (its built-in
// decoder, transformations applied), over all RGB samples. The JPEG's EXIF
// orientation is not applied: benchmark photos carry none.
// usage: psnr FILE.heic A.jpg [B.jpg ...]   prints one "dB bytes" line per JPEG
#include "conversion/core/owners.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <jpeglib.h>
#include <vector>

namespace {

using namespace tessavo;

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

bool decodeHeic(const char* path, Rgb& rgb)
{
    const Owned<heif_context> ctx = heifContext();
    Owned<heif_image_handle> handle;
    if (heif_context_read_from_file(ctx.get(), path, nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(ctx.get(), into(handle)).code != heif_error_Ok)
        return false;
    Owned<heif_image> image;
    if (heif_decode_image(handle.get(), into(image), heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
        heif_error_Ok)
        return false;
    rgb.width = heif_image_get_width(image.get(), heif_channel_interleaved);
    rgb.height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    rgb.pixels.resize(size_t(rgb.width) * rgb.height * 3);
    for (int y = 0; y < rgb.height; ++y)
        std::copy_n(plane + size_t(y) * stride, size_t(rgb.width) * 3, rgb.pixels.begin() + size_t(y) * rgb.width * 3);
    return true;
}

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

bool decodeJpeg(const char* path, Rgb& rgb)
{
    const Owned<std::FILE> file = openFile(path, "rb");
    if (!file)
        return false;
    ErrorManager error;
    // Destroyed first: libjpeg lets go of the file and the error manager.
    const Owned<jpeg_decompress_struct> owned = jpegDecompress();
    jpeg_decompress_struct& info = *owned;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 1); };
    if (setjmp(error.jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file.get());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    rgb.width = int(info.output_width);
    rgb.height = int(info.output_height);
    rgb.pixels.resize(size_t(rgb.width) * rgb.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.pixels.data() + size_t(info.output_scanline) * rgb.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: psnr FILE.heic A.jpg [B.jpg ...]\n");
        return 2;
    }
    Rgb reference;
    if (!decodeHeic(argv[1], reference)) {
        std::fprintf(stderr, "psnr: cannot decode %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        Rgb jpeg;
        if (!decodeJpeg(argv[i], jpeg) || jpeg.width != reference.width || jpeg.height != reference.height) {
            std::printf("nan 0\n");
            continue;
        }
        double sum = 0;
        for (size_t k = 0; k < jpeg.pixels.size(); ++k) {
            const double d = double(jpeg.pixels[k]) - reference.pixels[k];
            sum += d * d;
        }
        const double mse = sum / double(jpeg.pixels.size());
        std::printf("%.3f %ju\n", mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse),
                    std::uintmax_t(std::filesystem::file_size(argv[i])));
    }
    return 0;
}
