// Arbitrary bytes as a HEIF Exif item (or a bare TIFF structure) and as an XMP packet: the rewriters read only inside
// them, end, and a rewritten Exif ends with its new IFD 0, which holds the orientation asked for.
#include "conversion/core/metadata/exif_metadata.h"

#include "jpeg_readback.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);
    const int orientation = size > 0 ? data[size - 1] % 8 + 1 : 1;
    const auto tiff = tessavo::tiffOfHeifExif(input);
    const auto exif = tessavo::rewriteExif(tiff.empty() ? input : tiff, orientation, 4032, 3024);
    if (exif) {
        const auto ifd0 = tessavo::testsupport::readIfd0(*exif);
        if (ifd0.end != exif->size() || ifd0.orientation != orientation)
            std::abort();
    }
    tessavo::rewriteXmp(input, orientation, 4032, 3024);
    return 0;
}
