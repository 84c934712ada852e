// Photos with one metadata block of a hostile shape, for timing
// `tessavo-convert --keep-metadata` on them (bench/metadata.sh).
// usage: metadata_blocks DIR
//   xmp-10mb.heic, xmp-20mb.heic: XMP of "<tiff:Orientation " repeated
//   exif-32mb.heic: an IFD 1 of 65535 entries, each covering the whole block
//   exif-60k.heic, xmp-60k.heic: the same shapes within one JPEG segment
#include "heif_assembler.h"

#include <algorithm>
#include <cstdio>
#include <string>

using tessavo::samples::Bytes;

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
    put(4, 8, 4);  // IFD 0: no entries, IFD 1 next
    put(10, 14, 4);
    const uint32_t count = uint32_t(std::min<size_t>(65535, (size - 20) / 12));
    put(14, count, 2);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = 16 + size_t(i) * 12;
        put(entry, 0x0100 + i, 2);
        put(entry + 2, 1, 2);                 // BYTE values...
        put(entry + 4, uint32_t(size - 8), 4); // ...from 8 to the end
        put(entry + 8, 8, 4);
    }
    return tiff;
}

bool write(const std::string& path, const Bytes& block, bool exif)
{
    using namespace tessavo::samples;
    Layout layout;
    const CodedPicture coded = encodePicture({}, [](int x, int y, uint8_t* rgb) {
        rgb[0] = uint8_t(x * 4), rgb[1] = uint8_t(y * 4), rgb[2] = 128;
    });
    layout.items.push_back({1, "hvc1", false, coded.data, false, 0, "", {layout.add(coded.hvcC), layout.add(ispe(64, 64))}});
    layout.items.push_back({2, exif ? "Exif" : "mime", true, exif ? cat({be(0, 4), block}) : block, false, 0,
                            exif ? "" : "application/rdf+xml", {}});
    layout.references = {{"cdsc", 2, {1}}};
    const Bytes file = assemble(layout);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool ok = out && std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (!out || std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "metadata_blocks: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
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
                    write(dir + "/xmp-60k.heic", repeatedOrientation(60000), false) &&
                    write(dir + "/exif-32mb.heic", hostileExif(32u << 20), true) &&
                    write(dir + "/exif-60k.heic", hostileExif(60000), true);
    return ok ? 0 : 1;
}
