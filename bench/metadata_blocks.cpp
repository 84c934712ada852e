// Photos with one metadata block of a hostile shape, for timing
// `tessavo-convert --keep-metadata` on them (bench/metadata.sh).
// usage: metadata_blocks DIR
//   xmp-10mb.heic, xmp-20mb.heic: XMP of "<tiff:Orientation " repeated
//   exif-32mb.heic: an IFD 1 of 65535 entries, each covering the whole block
//   exif-60k.heic, xmp-60k.heic: the same shapes within one JPEG segment
#include "conversion/core/base/owners.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

Bytes hostileExif(size_t size)
{
    Bytes tiff(size, 0);
    const auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff[at + size_t(i)] = uint8_t(value >> (8 * i));
    };
    tiff[0] = tiff[1] = 'I';
    put(2, 42, 2);
    put(4, 8, 4); // IFD 0: no entries, IFD 1 next
    put(10, 14, 4);
    const uint32_t count = uint32_t(std::min<size_t>(65535, (size - 20) / 12));
    put(14, count, 2);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = 16 + size_t(i) * 12;
        put(entry, 0x0100 + i, 2);
        put(entry + 2, 1, 2); // BYTE values...
        put(entry + 4, uint32_t(size - 8), 4); // ...from 8 to the end
        put(entry + 8, 8, 4);
    }
    return tiff;
}

// A small gradient encoded by libheif, with the block added by its own writer.
bool write(const std::string& path, const Bytes& block, bool exif)
{
    using tessavo::into;
    tessavo::Owned<heif_context> context(heif_context_alloc());
    tessavo::Owned<heif_image> image;
    tessavo::Owned<heif_encoder> encoder;
    tessavo::Owned<heif_image_handle> primary;
    heif_error error = heif_image_create(64, 64, heif_colorspace_RGB, heif_chroma_interleaved_RGB, into(image));
    if (error.code == heif_error_Ok)
        error = heif_image_add_plane(image.get(), heif_channel_interleaved, 64, 64, 8);
    if (error.code == heif_error_Ok) {
        int stride = 0;
        uint8_t* rgb = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                rgb[y * stride + x * 3] = uint8_t(x * 4), rgb[y * stride + x * 3 + 1] = uint8_t(y * 4), rgb[y * stride + x * 3 + 2] = 128;
        error = heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, into(encoder));
    }
    if (error.code == heif_error_Ok)
        error = heif_context_encode_image(context.get(), image.get(), encoder.get(), nullptr, into(primary));
    if (error.code == heif_error_Ok)
        error = exif ? heif_context_add_exif_metadata(context.get(), primary.get(), block.data(), int(block.size()))
                     : heif_context_add_XMP_metadata(context.get(), primary.get(), block.data(), int(block.size()));
    if (error.code == heif_error_Ok)
        error = heif_context_write_to_file(context.get(), path.c_str());
    if (error.code != heif_error_Ok)
        std::fprintf(stderr, "metadata_blocks: %s: %s\n", path.c_str(), error.message);
    return error.code == heif_error_Ok;
}

Bytes repeatedOrientation(size_t size)
{
    const std::string name = "<tiff:Orientation ";
    Bytes xmp;
    while (xmp.size() < size)
        xmp.insert(xmp.end(), name.begin(), name.end());
    return xmp;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: metadata_blocks DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = write(dir + "/xmp-10mb.heic", repeatedOrientation(10u << 20), false) &&
        write(dir + "/xmp-20mb.heic", repeatedOrientation(20u << 20), false) &&
        write(dir + "/xmp-60k.heic", repeatedOrientation(60000), false) && write(dir + "/exif-32mb.heic", hostileExif(32u << 20), true) &&
        write(dir + "/exif-60k.heic", hostileExif(60000), true);
    return ok ? 0 : 1;
}
