// Arbitrary bytes into the core's own HEIF reading: each part reads only inside the buffer and ends; an orientation is
// in 1..8, a crop inside the image, the direct route's slices inside the file, and the rewrite for libheif 1.15
// changes only the iref box, into references that read back.
#include "conversion/core/heif/heif_compat.h"
#include "conversion/core/heif/heif_file.h"
#include "conversion/core/heif/heif_properties.h"
#include "conversion/core/heif/ycbcr_decode.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy lets AddressSanitizer see a read one byte too far.
    const std::vector<uint8_t> bytes(data, data + size);
    const auto heif = tessavo::readHeifFile(bytes);
    if (!heif)
        return 0;
    if (const auto transforms = tessavo::transformsOf(*heif, heif->primary)) {
        const int orientation = tessavo::exifOrientation(*transforms);
        if (orientation < 1 || orientation > 8)
            std::abort();
        for (const int side : {1, 64, 4032}) {
            const auto area = tessavo::croppedArea(*transforms, side, side + 1);
            if (area &&
                (area->x < 0 || area->y < 0 || area->width < 1 || area->height < 1 || area->x + area->width > side ||
                    area->y + area->height > side + 1))
                std::abort();
        }
    }
    if (const auto layout = tessavo::hevcLayout(*heif, bytes))
        for (const auto& tile : layout->tiles)
            for (const auto& extent : tile.extents)
                if (extent.data() < bytes.data() || extent.data() + extent.size() > bytes.data() + bytes.size())
                    std::abort();
    std::vector<uint8_t> rewritten = bytes;
    const tessavo::Result<bool> adapted = tessavo::adaptForLibheif(rewritten, *heif);
    const bool changed = adapted && *adapted;
    const auto begin = std::ptrdiff_t(heif->referencesOffset), end = begin + std::ptrdiff_t(heif->referencesSize);
    if (changed ? !std::equal(bytes.begin(), bytes.begin() + begin, rewritten.begin()) ||
                !std::equal(bytes.begin() + end, bytes.end(), rewritten.begin() + end) || !tessavo::readHeifFile(rewritten)
                : rewritten != bytes)
        std::abort();
    return 0;
}
