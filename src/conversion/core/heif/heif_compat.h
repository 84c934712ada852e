#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/heif/heif_file.h"

#include <cstdint>
#include <optional>
#include <span>

// libheif 1.15 (Debian 12) refuses files that later versions and other
// conforming readers open: an 'auxl', 'thmb' or 'cdsc' reference with more
// than one target stops it, and iOS 18 gives its HDR gain map such an 'auxl'
// (to the primary image and to its 'tmap' item). Before the bytes reach
// libheif, such references are rewritten in memory inside the iref box,
// without changing the size or place of any box, so that everything else
// reads as before:
// - one that does not concern the primary image's picture gets a type that
//   libheif passes over ('free');
// - an alpha plane or metadata shared by the primary image and others keeps
//   only the primary as its target, and the bytes this frees go to the
//   last reference libheif passes over (one that had such a type already,
//   or was retyped, or a thumbnail's). libheif reads references back to
//   back and ignores their sizes, so the bytes must be used up exactly.
namespace tessavo {

// A reference type libheif 1.15 does not read.
inline constexpr uint32_t kIgnoredReference = fourcc("free");

// An auxiliary image whose 'auxl' names no image libheif 1.15 knows (only a
// 'tmap' or metadata item) would fail the file: that reference is passed
// over. With `gainMap`, that item (the primary's HDR gain map) is made an
// auxiliary image of the primary alone, where libheif decodes it; where that
// needs room there is not, it is passed over as without.
// `heif` must have been read from `file`. True when `file` was rewritten and
// now reads in libheif as a conforming reader reads it; fails (at Parse),
// `file` unchanged, where a shared target needs room that no ignorable
// reference offers.
Result<bool> adaptForLibheif(std::span<uint8_t> file, const HeifFile& heif, std::optional<uint32_t> gainMap = std::nullopt);

// Fails at Decode where decoding the primary image would take libheif 1.15
// down: an overlay or identity item derived from an item that is not an image
// (an assertion aborts the process), or a derived image made of itself
// (without Debian's security fixes libheif follows the loop until memory
// runs out).
Result<void> libheifCanDecode(const HeifFile& heif);

} // namespace tessavo
