#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct heif_image_handle;

// What the JPEG's pixels and ICC profile must be so that a colour-managed
// viewer shows the colours libheif's decode means. libheif 1.15 turns YCbCr
// into RGB but leaves the RGB in the photo's own primaries and transfer
// curve, which only an ICC profile, a tone mapping or a conversion can tell.
namespace tessavo {

// An nclx colour box: its H.273 code points (2: unspecified).
struct NclxColour {
    uint16_t primaries = 2, transfer = 2, matrix = 2;
    bool fullRange = true;
    // Chromaticities of the primaries and white point, where libheif gave them.
    float redX = 0, redY = 0, greenX = 0, greenY = 0, blueX = 0, blueY = 0, whiteX = 0, whiteY = 0;
};

// PQ (16) or HLG (18): light levels beyond what a JPEG can show.
bool isHdrTransfer(int transfer);

// An ICC v4 profile for RGB in the nclx primaries and transfer curve (for
// PQ and HLG: the sRGB curve of the SDR rendering). Empty when plain sRGB
// already means the same, or the code points describe no usable space.
std::vector<uint8_t> profileForNclx(const NclxColour& colour);

struct ColourPlan {
    enum class Pixels : uint8_t {
        AsDecoded,  // libheif's 8-bit decode as it is
        ToneMapped, // decoded beyond 8 bits, PQ or HLG rendered for SDR
        ToSrgb,     // converted from a profile too large for JPEG to sRGB
    };
    Pixels pixels = Pixels::AsDecoded;
    NclxColour nclx;               // ToneMapped: the photo's transfer
    std::vector<uint8_t> profile;  // written into the JPEG; may be empty
    std::shared_ptr<void> toSrgb;  // ToSrgb: the lcms2 transform
    std::string note;              // for people: why the photo's own profile is not in the JPEG
};

// Reads the primary image's colour boxes and decides.
ColourPlan planColour(heif_image_handle* handle);

// Converts interleaved 8-bit RGB in place with the plan's transform.
void convertToSrgb(const ColourPlan& plan, uint8_t* rgb, size_t pixels);

// The SDR rendering of PQ and HLG pixels: light is put on a display scale
// (PQ as coded; HLG through its reference display's OOTF at 1000 cd/m2),
// 203 cd/m2 (BT.2408's reference white) becomes the JPEG's white level,
// levels up to half of that stay linear, and brighter ones roll off
// smoothly (an extended Reinhard shoulder applied to the brightest
// channel, so hue and saturation stay) so that the photo's brightest pixel
// just reaches white. Nothing clips; the result is encoded with the sRGB
// curve in the photo's own primaries.
class HdrRendering {
public:
    HdrRendering(const NclxColour& colour, int bitDepth);
    // First pass: every pixel, to find the brightest one.
    void measure(const uint16_t* pixels, size_t count, int channels);
    // Second pass: 8-bit output with the same channels (alpha rescaled);
    // with `luminance`, also each pixel's light before the roll-off
    // (BT.2020 weights, relative to reference white), for a gain map.
    void render(const uint16_t* pixels, size_t count, int channels, uint8_t* out, float* luminance = nullptr) const;
    // The brightest channel of any pixel measured, relative to reference white.
    float peak() const { return peak_; }

private:
    void linearLight(const uint16_t* pixel, float out[3]) const;
    bool hlg_;
    int maxCode_;
    std::vector<float> signalToLight_; // code to light relative to reference white (HLG: scene light)
    std::vector<uint8_t> encode_;      // linear 0..1 to 8-bit sRGB curve
    float peak_ = 0;                   // brightest channel of any pixel, relative to reference white
};

} // namespace tessavo
