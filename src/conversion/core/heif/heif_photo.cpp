#include "conversion/core/heif/heif_photo.h"

#include <cerrno>

namespace tessavo {

Result<HeifPhoto> HeifPhoto::open(std::span<const uint8_t> bytes)
{
    HeifPhoto photo;
    photo.context_ = heifContext();
    // libheif refuses a derived image (grid, overlay) from its limit on, a
    // coded one only above it: one more than our side makes both take 16384.
    if (photo.context_)
        heif_context_set_maximum_image_size_limit(photo.context_.get(), kMaxImageSide + 1);
    heif_error parsed{heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
    errno = 0;
    if (photo.context_) {
        parsed = heif_context_read_from_memory_without_copy(photo.context_.get(), bytes.data(), bytes.size(), nullptr);
        if (parsed.code == heif_error_Ok)
            parsed = heif_context_get_primary_image_handle(photo.context_.get(), into(photo.primary_));
    }
    if (parsed.code != heif_error_Ok)
        return Failure{ConversionStep::Parse, libheifReason(parsed)};
    if (heif_image_handle_get_ispe_width(photo.primary()) > kMaxImageSide ||
        heif_image_handle_get_ispe_height(photo.primary()) > kMaxImageSide)
        return Failure{ConversionStep::Parse, "the image is larger than 16384 pixels"};
    return photo;
}

Result<Owned<heif_image>> HeifPhoto::decode(
    heif_colorspace colourspace, heif_chroma chroma, const heif_decoding_options* options, heif_image_handle* image) const
{
    Owned<heif_image> decoded;
    errno = 0;
    const heif_error error = heif_decode_image(image ? image : primary(), into(decoded), colourspace, chroma, options);
    if (error.code != heif_error_Ok || !decoded)
        return Failure{ConversionStep::Decode, libheifReason(error)};
    return decoded;
}

std::string libheifReason(const heif_error& error)
{
    const bool memory = (error.code == heif_error_Memory_allocation_error && error.subcode != heif_suberror_Security_limit_exceeded) ||
        errno == ENOMEM;
    return memory ? std::string(kNoMemoryToDecode) : error.message;
}

} // namespace tessavo
