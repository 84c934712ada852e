#pragma once

#include "conversion/core/base/owners.h"
#include "conversion/core/base/result.h"

#include <libheif/heif.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// libheif's reading of one HEIF photo, in the spirit of its own heif_cxx.h:
// opened from bytes into a Result, owning its context and primary image, and
// decoding them into Results. For the conversion, the tests' reference
// decodes and the benchmark alike.
namespace tessavo {

// Images with a side longer than this fail instead of taking gigabytes of
// memory (libheif's own limit is twice as long); the largest phone photos,
// 200 megapixels, stay below it.
inline constexpr int kMaxImageSide = 16384;

// The reason of a photo that failed to parse or decode for want of memory.
inline constexpr std::string_view kNoMemoryToDecode = "Not enough memory to decode the photo";

class HeifPhoto {
public:
    // Reads `bytes`, which must outlive the photo (libheif does not copy
    // them). Fails at Parse with libheif's reason, or where the primary image
    // is larger than kMaxImageSide.
    static Result<HeifPhoto> open(std::span<const uint8_t> bytes);

    heif_context* context() const { return context_.get(); }
    heif_image_handle* primary() const { return primary_.get(); }

    // libheif's decode of `image` (the primary when null) with `options`
    // (libheif's defaults when null). Fails at Decode with libheif's reason.
    Result<Owned<heif_image>> decode(
        heif_colorspace colourspace, heif_chroma chroma, const heif_decoding_options* options, heif_image_handle* image = nullptr) const;

private:
    HeifPhoto() = default;

    Owned<heif_context> context_;
    Owned<heif_image_handle> primary_;
};

// libheif's message, or kNoMemoryToDecode where the failure was for want of
// memory: libheif names a failed allocation after the check that fails next
// ("Wrong tile image pixel depth"); errno, cleared before the call, tells the
// truth.
std::string libheifReason(const heif_error& error);

} // namespace tessavo
