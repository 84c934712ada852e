#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/colour/colour_profile.h"
#include "conversion/core/gainmap/gain_map.h"
#include "conversion/core/heif/heif_photo.h"
#include "conversion/core/jpeg/jpeg_writer.h"

#include <optional>

// The picture libheif shows of a photo, as the JPEG takes it.
namespace tessavo {

struct ShownPicture {
    RgbImage image; // 8-bit RGB, as shown (cropped, turned, mirrored)
    // Asked for a PQ or HLG photo without alpha: the gain map from its SDR
    // rendering back to its HDR light, as shown.
    std::optional<GainMap> hdrMap;
};

// libheif's transformed decode flattened onto white, as rows of RGB in the
// colours `colour` asks for, rendered for SDR where the photo is PQ or HLG.
// Fails at Decode with libheif's reason.
Result<ShownPicture> decodeShownPicture(const HeifPhoto& photo, const ColourPlan& colour, bool withHdrMap);

} // namespace tessavo
