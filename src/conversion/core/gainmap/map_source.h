#pragma once

#include "conversion/core/heif/heif_file.h"
#include "conversion/core/heif/heif_properties.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Where a photo keeps its primary image's HDR gain map, and in which form
// its parameters are, found in the file's own reading (whatever the
// compatibility step later shows libheif).
namespace tessavo {

struct GainMapSource {
    enum class Form {
        Iso, // a 'tmap' item (ISO 21496-1) derived from the primary and the map
        Apple, // Apple's auxiliary map, its headroom in the maker note or the map's XMP
        Adobe, // an auxiliary map described by its own hdrgm XMP (Samsung and others)
    };
    uint32_t map = 0; // the map's image item
    uint32_t tmap = 0; // the 'tmap' item, for the Iso form
    Form form = Form::Iso;
    std::string xmp; // the XMP attached to the map item; empty for none
};

// The ISO form where there is one; else an auxiliary image of the primary
// that is Apple's map, or whose own XMP gives a map's parameters, or whose
// type names a gain map (as Samsung's does: it is then read as Adobe's form
// and fails for want of parameters). Nothing for a photo with none.
std::optional<GainMapSource> findGainMap(const HeifFile& heif, std::span<const uint8_t> file);

} // namespace tessavo
