// Arbitrary bytes into the reader of the primary item's crop, rotation and
// mirror: it reads only inside the buffer, ends, and yields an orientation
// in 1..8 whenever it yields anything.
#include "conversion/heif_properties.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy lets AddressSanitizer see a read one byte too far.
    const std::vector<uint8_t> bytes(data, data + size);
    const auto transforms = tessavo::readPrimaryItemTransforms(bytes);
    if (!transforms)
        return 0;
    for (const auto& transform : *transforms) {
        if (transform.kind == tessavo::ImageTransform::Kind::Rotation &&
            transform.rotationCcwDegrees % 90 != 0)
            std::abort();
    }
    const int orientation = tessavo::exifOrientation(*transforms);
    if (orientation < 1 || orientation > 8)
        std::abort();
    const auto m = tessavo::orientationMatrix(orientation);
    // A rotation or mirror: one nonzero entry of +-1 per row and column.
    if (std::abs(m[0]) + std::abs(m[1]) != 1 || std::abs(m[2]) + std::abs(m[3]) != 1 ||
        std::abs(m[0]) + std::abs(m[2]) != 1)
        std::abort();
    return 0;
}
