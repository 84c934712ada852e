#include "conversion/core/gain_map_source.h"

#include "conversion/core/adobe_gain_map.h"
#include "conversion/core/apple_gain_map.h"

#include <algorithm>

namespace tessavo {
namespace {

bool refersTo(const HeifReference& reference, uint32_t item)
{
    return std::find(reference.to.begin(), reference.to.end(), item) != reference.to.end();
}

// The first XMP packet attached (cdsc) to `item`.
std::string xmpOf(const HeifFile& heif, uint32_t item, std::span<const uint8_t> file)
{
    for (const HeifReference& reference : heif.references) {
        const HeifItem* from = heif.item(reference.from);
        if (reference.type != fourcc("cdsc") || !from || from->type != fourcc("mime") || !refersTo(reference, item))
            continue;
        std::string bytes = itemBytes(heif, reference.from, file);
        if (bytes.find("<x:xmpmeta") != std::string::npos || bytes.find("<rdf:RDF") != std::string::npos)
            return bytes;
    }
    return {};
}

} // namespace

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

std::string itemBytes(const HeifFile& heif, uint32_t id, std::span<const uint8_t> file)
{
    std::string bytes;
    if (const HeifItem* item = heif.item(id))
        if (const auto spans = heif.data(*item, file))
            for (const auto span : *spans)
                bytes.append(span.begin(), span.end());
    return bytes;
}

std::optional<GainMapSource> findGainMap(const HeifFile& heif, std::span<const uint8_t> file)
{
    for (const auto& [id, item] : heif.items) {
        const std::vector<uint32_t> inputs = heif.referenced(id, fourcc("dimg"));
        if (item.type == fourcc("tmap") && inputs.size() == 2 && inputs[0] == heif.primary)
            return GainMapSource{inputs[1], id, GainMapSource::Form::Iso, xmpOf(heif, inputs[1], file)};
    }
    std::optional<GainMapSource> named;
    for (const HeifReference& reference : heif.references) {
        if (reference.type != fourcc("auxl") || !refersTo(reference, heif.primary))
            continue;
        const std::string_view type = auxiliaryType(heif, reference.from);
        if (type == kAppleGainMapType)
            return GainMapSource{reference.from, 0, GainMapSource::Form::Apple, xmpOf(heif, reference.from, file)};
        std::string xmp = xmpOf(heif, reference.from, file);
        if (describesGainMap(xmp))
            return GainMapSource{reference.from, 0, GainMapSource::Form::Adobe, std::move(xmp)};
        if (!named && type.ends_with(":aux:hdrgainmap"))
            named = GainMapSource{reference.from, 0, GainMapSource::Form::Adobe, std::move(xmp)};
    }
    return named;
}

} // namespace tessavo
