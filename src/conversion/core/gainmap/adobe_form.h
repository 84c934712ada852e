#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/gainmap/gain_map.h"

#include <string_view>

// A gain map's parameters in Adobe's form: the `hdrgm` XMP fields of
// Adobe's Gain Map document (1.0), which Ultra HDR also uses and
// Samsung's phones attach to their maps. Gains and capacities are log2.
namespace tessavo {

inline constexpr std::string_view kAdobeGainMapNamespace = "http://ns.adobe.com/hdr-gain-map/1.0/";

// Whether `xmp` gives a map's parameters (it holds hdrgm:GainMapMax).
bool describesGainMap(std::string_view xmp);

// The fields of `xmp`, Adobe's defaults for those left out. A field given
// per channel (an rdf:Seq of three) makes a three-channel map. Fails (at
// Decode) where a field is unreadable, GainMapMax or HDRCapacityMax is
// missing, the values mean nothing for an SDR primary, or the base picture
// is the HDR one (BaseRenditionIsHDR), which the JPEG's primary is not.
Result<GainMapMeaning> readAdobeGainMapMetadata(std::string_view xmp);

} // namespace tessavo
