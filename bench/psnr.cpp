// PSNR of JPEG files against libheif's own decode of a HEIC (its built-in
// decoder, transformations applied), over all RGB samples. The JPEG's EXIF
// orientation is not applied: benchmark photos carry none.
// usage: psnr FILE.heic A.jpg [B.jpg ...]   prints one "dB bytes" line per JPEG
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

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

bool decodeHeic(const char* path, Rgb& out)
{
    heif_context* ctx = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    bool ok = heif_context_read_from_file(ctx, path, nullptr).code == heif_error_Ok &&
              heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok &&
              heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code ==
                  heif_error_Ok;
    if (ok) {
        out.width = heif_image_get_width(image, heif_channel_interleaved);
        out.height = heif_image_get_height(image, heif_channel_interleaved);
        int stride = 0;
        const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        out.pixels.resize(size_t(out.width) * out.height * 3);
        for (int y = 0; y < out.height; ++y)
            std::copy_n(plane + size_t(y) * stride, size_t(out.width) * 3, out.pixels.begin() + size_t(y) * out.width * 3);
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
    return ok;
}

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

bool decodeJpeg(const char* path, Rgb& out)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    jpeg_decompress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 1); };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out.width = int(info.output_width);
    out.height = int(info.output_height);
    out.pixels.resize(size_t(out.width) * out.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.pixels.data() + size_t(info.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
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
