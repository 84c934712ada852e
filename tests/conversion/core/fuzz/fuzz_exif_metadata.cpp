// Arbitrary bytes as a HEIF Exif item (or a bare TIFF structure) and as an
// XMP packet: the rewriters read only inside them, end, and a rewritten
// Exif ends with its new IFD 0, which holds the orientation asked for.
#include "conversion/core/exif_metadata.h"

#include <cstdio>
#include <cstdlib>

namespace {

void check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz_exif_metadata: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);
    const int orientation = size > 0 ? data[size - 1] % 8 + 1 : 1;
    const auto tiff = tessavo::tiffOfHeifExif(input);
    const auto exif = tessavo::rewriteExif(tiff.empty() ? input : tiff, orientation, 4032, 3024);
    if (!exif.empty()) {
        const bool big = exif[0] == 'M';
        const auto read = [&](size_t at, int bytes) {
            uint32_t value = 0;
            for (int i = 0; i < bytes; ++i)
                value |= uint32_t(exif[at + size_t(i)]) << (8 * (big ? bytes - 1 - i : i));
            return value;
        };
        const size_t ifd = read(4, 4);
        check(ifd + 6 <= exif.size() && ifd + 2 + read(ifd, 2) * size_t(12) + 4 == exif.size(),
              "the new IFD 0 does not end the block");
        bool found = false;
        for (size_t entry = ifd + 2; entry + 4 < exif.size(); entry += 12)
            found = found || (read(entry, 2) == 0x0112 && read(entry + 8, 2) == uint32_t(orientation));
        check(found, "no Orientation entry with the value asked for");
    }
    tessavo::rewriteXmp(input, orientation, 4032, 3024);
    return 0;
}
