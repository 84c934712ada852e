#include "heic_fixture.h"

#include "conversion/core/owners.h"

#include <libheif/heif.h>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

namespace tessavo::testsupport {
namespace {

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jpegFailed(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }
void jpegQuiet(j_common_ptr) {}

uint32_t readTiff(const uint8_t* p, int size, bool bigEndian)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= uint32_t(p[i]) << (8 * (bigEndian ? size - 1 - i : i));
    return value;
}

void readExif(const uint8_t* data, size_t size, JpegFile& out)
{
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return;
    const uint8_t* tiff = data + 6;
    const bool big = tiff[0] == 'M';
    const uint32_t ifd = readTiff(tiff + 4, 4, big);
    if (ifd + 2 > size - 6)
        return;
    out.exifEntries = int(readTiff(tiff + ifd, 2, big));
    for (uint32_t i = 0; i < uint32_t(out.exifEntries) && ifd + 2 + (i + 1) * 12 <= size - 6; ++i) {
        const uint8_t* entry = tiff + ifd + 2 + i * 12;
        if (readTiff(entry, 2, big) == 0x0112 && readTiff(entry + 2, 2, big) == 3)
            out.orientation = int(readTiff(entry + 8, 2, big));
    }
}

} // namespace

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())).flush())
        throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

RgbImage decodeHeifShown(const std::vector<uint8_t>& heic)
{
    const Owned<heif_context> context = heifContext();
    heif_context_read_from_memory_without_copy(context.get(), heic.data(), heic.size(), nullptr);
    Owned<heif_image_handle> handle;
    heif_context_get_primary_image_handle(context.get(), into(handle));
    if (!handle)
        return {};
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const Owned<heif_decoding_options> options = heifDecodingOptions();
    options->convert_hdr_to_8bit = 1;
    // libheif's own HEVC decoder, whatever the process registered above it
    // (grid tiles and overlay inputs still take the one of highest priority).
    options->decoder_id = "libde265";
    Owned<heif_image> image;
    heif_decode_image(handle.get(), into(image), heif_colorspace_RGB,
                      alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    if (!image)
        return {};
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
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

// Empty when libjpeg gave up or had to make up data (a cut file).
JpegFile readJpeg(const std::filesystem::path& path)
{
    const auto bytes = readFile(path);
    if (bytes.empty())
        return {};
    JpegFile out;
    JpegErrors errors{};
    // Destroyed first: libjpeg lets go of the error manager.
    const Owned<jpeg_decompress_struct> info = jpegDecompress();
    info->err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpegFailed;
    errors.base.output_message = jpegQuiet;
    if (setjmp(errors.jump))
        return {};
    jpeg_create_decompress(info.get());
    jpeg_mem_src(info.get(), bytes.data(), (unsigned long)bytes.size());
    jpeg_save_markers(info.get(), JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(info.get(), JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(info.get(), TRUE);
    for (auto marker = info->marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 1)
            readExif(marker->data, marker->data_length, out);
    JOCTET* icc = nullptr;
    unsigned int iccSize = 0;
    if (jpeg_read_icc_profile(info.get(), &icc, &iccSize))
        out.icc.assign(icc, icc + iccSize);
    std::free(icc);
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info.get());
    out.stored = {int(info->output_width), int(info->output_height),
                  std::vector<uint8_t>(size_t(info->output_width) * info->output_height * 3)};
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = out.stored.pixels.data() + size_t(info->output_scanline) * info->output_width * 3;
        jpeg_read_scanlines(info.get(), &row, 1);
    }
    jpeg_finish_decompress(info.get());
    return errors.base.num_warnings == 0 ? out : JpegFile{};
}

RgbImage applyExifOrientation(const RgbImage& stored, int orientation)
{
    // Shown (x, y) comes from stored (a, b), with a and b swapped by 5 to 8,
    // then each mirrored or not.
    const bool swaps = orientation >= 5, mirrorA = orientation == 2 || orientation == 3 || orientation >= 7,
               mirrorB = orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    RgbImage shown{swaps ? stored.height : stored.width, swaps ? stored.width : stored.height,
                   std::vector<uint8_t>(stored.pixels.size())};
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            const int a = swaps ? y : x, b = swaps ? x : y;
            const size_t from = size_t(mirrorB ? stored.height - 1 - b : b) * stored.width + (mirrorA ? stored.width - 1 - a : a);
            std::memcpy(&shown.pixels[(size_t(y) * shown.width + x) * 3], &stored.pixels[from * 3], 3);
        }
    return shown;
}

double psnr(const RgbImage& a, const RgbImage& b)
{
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() || a.pixels.empty())
        return -1;
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        sum += (double(a.pixels[i]) - b.pixels[i]) * (double(a.pixels[i]) - b.pixels[i]);
    const double mse = sum / double(a.pixels.size());
    return mse == 0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

CapturedConversion convertCapturing(const std::filesystem::path& source, const std::filesystem::path& output)
{
    CapturedConversion result{};
    result.outcome = convertFile(source, output, {}, [&](std::string_view line) { result.lines.emplace_back(line); });
    return result;
}

std::vector<std::string> entriesOf(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace tessavo::testsupport
