// tessavo-verify-jpegs DIR COUNT: every entry of DIR is a .jpg that libjpeg
// decodes whole, and there are COUNT of them. For the load runs
// (scripts/load.sh).
#include "conversion/core/owners.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Errors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void failed(j_common_ptr info) { std::longjmp(reinterpret_cast<Errors*>(info->err)->jump, 1); }
void quiet(j_common_ptr) {}

// Decoded to the last row without a warning (a cut file gets one).
bool wholeJpeg(const std::filesystem::path& path)
{
    const tessavo::Owned<std::FILE> file = tessavo::openFile(path.c_str(), "rb");
    Errors errors{};
    const tessavo::Owned<jpeg_decompress_struct> info = tessavo::jpegDecompress();
    if (!file || !info)
        return false;
    info->err = jpeg_std_error(&errors.base);
    errors.base.error_exit = failed;
    errors.base.output_message = quiet;
    std::vector<JSAMPLE> row; // made before the jump point, so freed after a jump
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(info.get());
    jpeg_stdio_src(info.get(), file.get());
    jpeg_read_header(info.get(), TRUE);
    jpeg_start_decompress(info.get());
    row.resize(size_t(info->output_width) * size_t(info->output_components));
    while (info->output_scanline < info->output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(info.get(), rows, 1);
    }
    jpeg_finish_decompress(info.get());
    return errors.base.num_warnings == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessavo-verify-jpegs DIR COUNT\n");
        return 2;
    }
    size_t entries = 0, whole = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        ++entries;
        if (entry.path().extension() == ".jpg" && wholeJpeg(entry.path()))
            ++whole;
        else
            std::fprintf(stderr, "not a whole JPEG: %s\n", entry.path().c_str());
    }
    const size_t expected = std::stoul(argv[2]);
    std::printf("%zu entries, %zu whole JPEGs (expected %zu)\n", entries, whole, expected);
    return entries == expected && whole == expected ? 0 : 1;
}
