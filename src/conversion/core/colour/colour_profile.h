#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/heif/heif_properties.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct heif_image_handle;

// What the JPEG's pixels and ICC profile must be so that a colour-managed
// viewer shows the colours libheif's decode means. libheif 1.15 turns YCbCr
// into RGB but leaves the RGB in the photo's own primaries and transfer
// curve, which only an ICC profile, a tone mapping or a conversion can tell.
namespace tessavo {

// PQ (16) or HLG (18): light levels beyond what a JPEG can show.
bool isHdrTransfer(int transfer);

// An ICC v4 profile for RGB in the nclx primaries and transfer curve (for
// PQ and HLG: the sRGB curve of the SDR rendering). None where plain sRGB
// already means the same, or the code points describe no usable space;
// fails where lcms2 cannot make it.
Result<std::optional<std::vector<uint8_t>>> profileForNclx(const NclxColour& colour);

struct ColourPlan {
    enum class Pixels : uint8_t {
        AsDecoded, // libheif's 8-bit decode as it is
        ToneMapped, // decoded beyond 8 bits, PQ or HLG rendered for SDR
        ToSrgb, // converted from a profile too large for JPEG to sRGB
    };
    Pixels pixels = Pixels::AsDecoded;
    NclxColour nclx; // ToneMapped: the photo's transfer
    std::vector<uint8_t> profile; // written into the JPEG; may be empty
    std::shared_ptr<void> toSrgb; // ToSrgb: the lcms2 transform
    std::string note; // for people: why the photo's own profile is not in the JPEG
};

// Reads the primary image's colour boxes and decides.
ColourPlan planColour(heif_image_handle* handle);

// Converts interleaved 8-bit RGB in place with the plan's transform.
void convertToSrgb(const ColourPlan& plan, uint8_t* rgb, size_t pixels);

} // namespace tessavo
