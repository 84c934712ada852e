#pragma once

#include "conversion/core/heif_file.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Where a photo keeps its primary image's HDR gain map, found in the file's
// own reading (whatever the compatibility step later shows libheif).
namespace tessavo {

struct GainMapSource {
    uint32_t map = 0;  // the map's image item
    uint32_t tmap = 0; // the ISO 21496-1 'tmap' item whose metadata rules; 0 for Apple's form
};

// The ISO form (a 'tmap' item derived from the primary and the map) where
// there is one, else Apple's auxiliary map of the primary; nothing for a
// photo with neither.
std::optional<GainMapSource> findGainMap(const HeifFile& heif);

// The auxiliary type (auxC) of an item; libheif keeps the last. Empty for none.
std::string_view auxiliaryType(const HeifFile& heif, uint32_t item);

} // namespace tessavo
