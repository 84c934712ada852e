// Arbitrary bytes as a HEIF Exif item (or a bare TIFF structure) and as an
// XMP packet: the rewriters read only inside them, end, and a rewritten
// Exif ends with its new IFD 0, which holds the orientation asked for.
#include "conversion/core/exif_metadata.h"

#include "heic_fixture.h"

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
        const auto ifd0 = tessavo::testsupport::readIfd0(exif);
        check(ifd0.end == exif.size(), "the new IFD 0 does not end the block");
        check(ifd0.orientation == orientation, "no Orientation entry with the value asked for");
    }
    tessavo::rewriteXmp(input, orientation, 4032, 3024);
    return 0;
}
