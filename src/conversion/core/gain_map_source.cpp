#include "conversion/core/gain_map_source.h"

#include "conversion/core/apple_gain_map.h"

#include <algorithm>

namespace tessavo {

std::string_view auxiliaryType(const HeifFile& heif, uint32_t item)
{
    std::string_view kind;
    for (const Box* property : heif.propertiesOf(item)) {
        if (property->type != fourcc("auxC") || property->payload.size() < 4)
            continue;
        const auto text = property->payload.subspan(4);
        kind = std::string_view(reinterpret_cast<const char*>(text.data()),
                                size_t(std::find(text.begin(), text.end(), 0) - text.begin()));
    }
    return kind;
}

std::optional<GainMapSource> findGainMap(const HeifFile& heif)
{
    for (const auto& [id, item] : heif.items) {
        const std::vector<uint32_t> inputs = heif.referenced(id, fourcc("dimg"));
        if (item.type == fourcc("tmap") && inputs.size() == 2 && inputs[0] == heif.primary)
            return GainMapSource{inputs[1], id};
    }
    for (const HeifReference& reference : heif.references) {
        const bool ofPrimary = std::find(reference.to.begin(), reference.to.end(), heif.primary) != reference.to.end();
        if (reference.type == fourcc("auxl") && ofPrimary && auxiliaryType(heif, reference.from) == kAppleGainMapType)
            return GainMapSource{reference.from, 0};
    }
    return std::nullopt;
}

} // namespace tessavo
