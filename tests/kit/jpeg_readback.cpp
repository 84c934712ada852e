#include "jpeg_readback.h"

#include "conversion/core/base/owners.h"
#include "conversion/core/jpeg/jpeg_errors.h"
#include "conversion/core/metadata/tiff_reader.h"
#include "sample_files.h"

#include <cmath>
#include <csetjmp>
#include <cstring>

#include <jpeglib.h>

namespace tessavo::testsupport {

TiffIfd readIfd0(std::span<const uint8_t> tiff)
{
    const TiffReader reader(tiff);
    const size_t at = reader.firstIfd(), count = reader.read(at, 2);
    const Result<uint32_t> orientation = reader.number(at, 0x0112);
    return {reader.entryCount(at), orientation ? int(*orientation) : 0,
        tiff.size() >= 8 && at + 2 + count * 12 + 4 <= tiff.size() ? at + 2 + count * 12 + 4 : 0};
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
    for (const int t : {0, 1})
        if (const JQUANT_TBL* table = info->quant_tbl_ptrs[t])
            out.coding.tables.emplace_back(std::begin(table->quantval), std::end(table->quantval));
    for (int c = 0; c < info->num_components; ++c)
        out.coding.sampling.push_back(info->comp_info[c].h_samp_factor * 10 + info->comp_info[c].v_samp_factor);
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
    out.stored = {
        int(info->output_width), int(info->output_height), std::vector<uint8_t>(size_t(info->output_width) * info->output_height * 3)};
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = out.stored.pixels.data() + size_t(info->output_scanline) * info->output_width * 3;
        jpeg_read_scanlines(info.get(), &row, 1);
    }
    jpeg_finish_decompress(info.get());
    return errors.base.num_warnings == 0 ? out : JpegFile{};
}

RgbImage applyExifOrientation(const RgbImage& stored, int orientation)
{
    // Shown (x, y) comes from stored (a, b), swapped by 5 to 8, then each mirrored or not.
    const bool swaps = orientation >= 5, mirrorA = orientation == 2 || orientation == 3 || orientation >= 7,
               mirrorB = orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    RgbImage shown{swaps ? stored.height : stored.width, swaps ? stored.width : stored.height, std::vector<uint8_t>(stored.pixels.size())};
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

JpegCoding libjpegCoding(int quality)
{
    JpegErrors errors{};
    const Owned<jpeg_compress_struct> info = jpegCompress();
    info->err = quietJpegErrors(errors);
    if (setjmp(errors.jump))
        return {};
    jpeg_create_compress(info.get());
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info.get());
    jpeg_set_quality(info.get(), quality, TRUE);
    JpegCoding coding;
    for (const int t : {0, 1})
        coding.tables.emplace_back(std::begin(info->quant_tbl_ptrs[t]->quantval), std::end(info->quant_tbl_ptrs[t]->quantval));
    coding.sampling = {22, 11, 11};
    return coding;
}

} // namespace tessavo::testsupport
