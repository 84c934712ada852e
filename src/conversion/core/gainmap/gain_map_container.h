#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/gainmap/gain_map.h"
#include "conversion/core/jpeg/jpeg_writer.h"

#include <string>
#include <vector>

// A JPEG that HDR displays show brighter and SDR viewers as before: the
// primary exactly as writeJpeg makes it, plus an MPF index, the container's
// `hdrgm` XMP fields (Ultra HDR, Adobe's gain map) and an ISO 21496-1
// version segment; after it the gain map as a second JPEG carrying its
// parameters in both the XMP and the ISO 21496-1 form.
namespace tessavo {

// Most headroom a map may claim, in stops: no display shows more.
inline constexpr double kMaxHeadroomStops = 16;

// Whether the map's parameters, as the JPEG stores them (fractions of
// 2^-20), still mean what they say (see meaningful()), and claim no more
// than kMaxHeadroomStops. Fails (at Decode) with the reason for people.
Result<void> checkStorable(const GainMapMetadata& metadata);

// The primary's XMP and the container's fields share one packet (a reader
// takes only the first); when the photo's own XMP leaves no room for them, or
// is no RDF, it is left out and `notes` says so.
//
// `fd` must take pwrite: the MPF index is completed once the primary's
// length is known. `map` must pass checkStorable. Fails as writeJpeg does.
Result<void> writeJpegWithGainMap(
    int fd, const JpegPicture& primary, const JpegMetadata& metadata, const GainMap& map, std::vector<std::string>& notes);

} // namespace tessavo
