#include "heic_fixture.h"

#include "conversion/core/jpeg_errors.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace tessavo::testsupport {

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

Owned<heif_image> decodeHeif(std::span<const uint8_t> heic, const char* decoder, bool deep, std::string_view auxiliary)
{
    const Owned<heif_context> context = heifContext();
    heif_context_read_from_memory_without_copy(context.get(), heic.data(), heic.size(), nullptr);
    Owned<heif_image_handle> handle;
    heif_context_get_primary_image_handle(context.get(), into(handle));
    heif_item_id ids[16];
    const int count = auxiliary.empty() || !handle ? 0 : heif_image_handle_get_list_of_auxiliary_image_IDs(handle.get(), 0, ids, 16);
    for (int i = 0; i < count; ++i) {
        Owned<heif_image_handle> aux;
        const char* type = nullptr;
        heif_image_handle_get_auxiliary_image_handle(handle.get(), ids[i], into(aux));
        const bool wanted = aux && heif_image_handle_get_auxiliary_type(aux.get(), &type).code == heif_error_Ok &&
                            type == auxiliary;
        if (type)
            heif_image_handle_free_auxiliary_types(aux.get(), &type);
        if (wanted) {
            handle = std::move(aux);
            break;
        }
    }
    Owned<heif_image> image;
    if (count > 0 && heif_image_handle_is_primary_image(handle.get()))
        return image;
    if (!handle)
        return image;
    const Owned<heif_decoding_options> options = heifDecodingOptions();
    options->convert_hdr_to_8bit = !deep;
    options->decoder_id = decoder;
    heif_decode_image(handle.get(), into(image), heif_colorspace_RGB,
                      deep ? heif_chroma_interleaved_RRGGBB_LE
                      : heif_image_handle_has_alpha_channel(handle.get()) ? heif_chroma_interleaved_RGBA
                                                                        : heif_chroma_interleaved_RGB,
                      options.get());
    return image;
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

TiffIfd readIfd0(std::span<const uint8_t> tiff)
{
    const bool big = !tiff.empty() && tiff[0] == 'M';
    const auto read = [&](size_t at, int size) {
        uint32_t value = 0;
        for (int i = 0; i < size && at + size_t(size) <= tiff.size(); ++i)
            value |= uint32_t(tiff[at + size_t(i)]) << (8 * (big ? size - 1 - i : i));
        return value;
    };
    TiffIfd ifd;
    bool found = false;
    const size_t at = read(4, 4), count = read(at, 2);
    for (size_t entry = at + 2; ifd.entries < count && entry + 12 <= tiff.size(); entry += 12, ++ifd.entries)
        if (read(entry, 2) == 0x0112 && !std::exchange(found, true))
            ifd.orientation = int(read(entry + 8, read(entry + 2, 2) == 3 ? 2 : 4));
    if (tiff.size() >= 8 && at + 2 + count * 12 + 4 <= tiff.size())
        ifd.end = at + 2 + count * 12 + 4;
    return ifd;
}

JpegFile readJpeg(const std::filesystem::path& path) { return readJpeg(std::span<const uint8_t>(readFile(path))); }

JpegFile readJpeg(std::span<const uint8_t> bytes)
{
    JpegFile out;
    JpegErrors errors{};
    // Destroyed first: libjpeg lets go of the error manager.
    const Owned<jpeg_decompress_struct> info = jpegDecompress();
    info->err = quietJpegErrors(errors);
    if (setjmp(errors.jump))
        return {};
    jpeg_create_decompress(info.get());
    jpeg_mem_src(info.get(), bytes.data(), (unsigned long)bytes.size());
    jpeg_save_markers(info.get(), JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(info.get(), JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(info.get(), TRUE);
    for (auto marker = info->marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 14 && !std::memcmp(marker->data, "Exif\0", 6)) {
            const TiffIfd ifd0 = readIfd0({marker->data + 6, marker->data_length - 6});
            out.exifEntries = int(ifd0.entries);
            out.orientation = ifd0.orientation;
        }
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
