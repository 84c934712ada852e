#pragma once

#include "conversion/core/gain_map.h"
#include "conversion/core/gain_map_source.h"
#include "conversion/core/heif_file.h"
#include "conversion/core/result.h"

#include <cstdint>
#include <optional>
#include <span>

struct heif_image_handle;

// Reads the primary image's HDR gain map into the JPEG's terms: found in
// the file's own reading, decoded through libheif's handle of the map (one
// of the primary's auxiliary images), cropped as the primary is and left in
// its stored frame; its meaning from the ISO 21496-1 metadata where there
// is one, else from Apple's maker note.
namespace tessavo {

class GainMapReader {
public:
    // `heif` must have been read from `file`; `primary` is libheif's handle
    // of its primary image.
    GainMapReader(std::span<const uint8_t> file, const HeifFile& heif, heif_image_handle* primary);

    // Nothing for a photo without a gain map; a Failure (at Decode) with the
    // reason for people where its map is damaged, unknown or inconsistent.
    std::optional<Result<GainMap>> read() const;

private:
    Result<GainMap> read(const GainMapSource& source) const;
    Result<GainMapMetadata> appleMeaning(GainMap& map) const;
    Result<GainMap> decode(uint32_t map, int channels) const;
    Result<void> crop(GainMap& map) const;

    std::span<const uint8_t> file_;
    const HeifFile& heif_;
    heif_image_handle* primary_;
};

} // namespace tessavo
