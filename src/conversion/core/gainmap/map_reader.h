#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/gainmap/gain_map.h"
#include "conversion/core/gainmap/map_source.h"
#include "conversion/core/heif/heif_file.h"
#include "conversion/core/heif/heif_properties.h"

#include <cstdint>
#include <optional>
#include <span>

struct heif_image_handle;

// Reads the primary image's HDR gain map into the JPEG's terms: found in
// the file's own reading, decoded through libheif's handle of the map (one
// of the primary's auxiliary images), placed where it lies on the primary
// as a HEIF reader shows both (each with its own crop and turn), in the
// frame the primary is stored in and cropped as the primary is; its
// meaning from the ISO 21496-1 metadata where there is one, else from
// Apple's maker note or the map's own hdrgm XMP.
namespace tessavo {

class GainMapReader {
public:
    // `heif` must have been read from `file`; `primary` is libheif's handle
    // of its primary image.
    GainMapReader(std::span<const uint8_t> file, const HeifFile& heif, heif_image_handle* primary);

    // None for a photo without a gain map; a Failure (at Decode) with the
    // reason for people where its map is damaged, unknown, inconsistent, or
    // cannot be placed on the photo.
    Result<std::optional<GainMap>> read() const;

private:
    Result<GainMap> read(const GainMapSource& source) const;
    Result<GainMapMeaning> meaning(const GainMapSource& source) const;
    Result<GainMap> decode(uint32_t map, int channels) const;
    Result<void> place(GainMap& map, std::span<const ImageTransform> own) const;

    std::span<const uint8_t> file_;
    const HeifFile& heif_;
    heif_image_handle* primary_;
};

} // namespace tessavo
