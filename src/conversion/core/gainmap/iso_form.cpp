#include "conversion/core/gainmap/iso_form.h"

#include "conversion/core/heif/heif_boxes.h"

#include <string>

namespace tessavo {

Result<GainMapMeaning> readIsoGainMapMetadata(std::span<const uint8_t> payload)
{
    const auto fail = [](const char* why) { return Failure{ConversionStep::Decode, std::string("its ISO 21496-1 metadata ") + why}; };
    ByteReader r(payload);
    const uint64_t version = r.read(1), minimumVersion = r.read(2), writerVersion = r.read(2), flags = r.read(1);
    if (r.ok() && (version != 0 || minimumVersion != 0))
        return fail("is of a version not known here");
    GainMapMeaning out;
    GainMapMetadata& m = out.metadata;
    out.channels = flags & 0x80 ? 3 : 1;
    m.useBaseColourSpace = (flags & 0x40) != 0;
    bool denominators = true;
    const auto fraction = [&](bool signedNumerator) {
        const uint64_t numerator = r.read(4), denominator = r.read(4);
        denominators = denominators && (denominator != 0 || !r.ok());
        const double n = signedNumerator ? double(int32_t(uint32_t(numerator))) : double(numerator);
        return denominator ? n / double(denominator) : 0.0;
    };
    m.baseHdrHeadroom = fraction(false);
    m.alternateHdrHeadroom = fraction(false);
    for (int c = 0; c < out.channels; ++c) {
        m.gainMapMin[c] = fraction(true);
        m.gainMapMax[c] = fraction(true);
        m.gamma[c] = fraction(false);
        m.baseOffset[c] = fraction(true);
        m.alternateOffset[c] = fraction(true);
    }
    if (!r.ok())
        return fail("is cut short");
    // A later writer may append fields that its minimum version lets us skip.
    if (writerVersion == 0 && r.left() != 0)
        return fail("has bytes past its end");
    for (int c = out.channels; c < 3; ++c) {
        m.gainMapMin[c] = m.gainMapMin[0];
        m.gainMapMax[c] = m.gainMapMax[0];
        m.gamma[c] = m.gamma[0];
        m.baseOffset[c] = m.baseOffset[0];
        m.alternateOffset[c] = m.alternateOffset[0];
    }
    if (!denominators || !meaningful(m))
        return fail("is inconsistent");
    return out;
}

} // namespace tessavo
