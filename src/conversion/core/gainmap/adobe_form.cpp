#include "conversion/core/gainmap/adobe_form.h"

#include "conversion/core/metadata/xmp_properties.h"

#include <string>

namespace tessavo {

bool describesGainMap(std::string_view xmp) { return !xmpValues(xmp, kAdobeGainMapNamespace, "GainMapMax").empty(); }

Result<GainMapMeaning> readAdobeGainMapMetadata(std::string_view xmp)
{
    const auto fail = [](const std::string& why) { return Failure{ConversionStep::Decode, "its hdrgm XMP " + why}; };
    GainMapMeaning out;
    GainMapMetadata& m = out.metadata;
    m.baseOffset = m.alternateOffset = {1.0 / 64, 1.0 / 64, 1.0 / 64};
    m.gainMapMin = {0, 0, 0};
    const struct {
        const char* name;
        std::array<double, 3>* values;
        bool required;
    } perChannel[] = {{"GainMapMin", &m.gainMapMin, false}, {"GainMapMax", &m.gainMapMax, true}, {"Gamma", &m.gamma, false},
        {"OffsetSDR", &m.baseOffset, false}, {"OffsetHDR", &m.alternateOffset, false}};
    for (const auto& field : perChannel) {
        const std::vector<std::string> texts = xmpValues(xmp, kAdobeGainMapNamespace, field.name);
        if (texts.empty() && field.required)
            return fail(std::string("gives no ") + field.name);
        if (texts.empty())
            continue;
        if (texts.size() != 1 && texts.size() != 3)
            return fail(std::string("has ") + std::to_string(texts.size()) + " values of " + field.name);
        for (size_t c = 0; c < 3; ++c) {
            const Result<double> value = xmpNumber(texts[texts.size() == 3 ? c : 0]);
            if (!value)
                return fail(std::string("has an unreadable ") + field.name);
            (*field.values)[c] = *value;
        }
        if (texts.size() == 3)
            out.channels = 3;
    }
    const auto capacity = [&](const char* name, double fallback) -> Result<double> {
        const std::vector<std::string> texts = xmpValues(xmp, kAdobeGainMapNamespace, name);
        return texts.empty()    ? Result<double>(fallback)
            : texts.size() == 1 ? xmpNumber(texts[0])
                                : fail("has more than one " + std::string(name));
    };
    const auto base = capacity("HDRCapacityMin", 0), alternate = capacity("HDRCapacityMax", -1);
    if (!base || !alternate || *alternate < 0)
        return fail("gives no readable HDRCapacityMax and HDRCapacityMin");
    m.baseHdrHeadroom = *base;
    m.alternateHdrHeadroom = *alternate;
    const std::vector<std::string> hdrBase = xmpValues(xmp, kAdobeGainMapNamespace, "BaseRenditionIsHDR");
    if (!hdrBase.empty() && hdrBase[0] != "False")
        return fail("makes the HDR picture the base one");
    if (!meaningful(m))
        return fail("is inconsistent");
    return out;
}

} // namespace tessavo
