#include "conversion/core/colour_profile.h"

#include "conversion/core/jpeg_writer.h"
#include "conversion/core/owners.h"

#include <libheif/heif.h>
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace tessavo {
namespace {

constexpr int kPq = 16;
constexpr int kHlg = 18;
// BT.2408: diffuse white of HDR content, and the HLG display it assumes.
constexpr float kReferenceWhiteNits = 203.0f;
constexpr float kHlgDisplayNits = 1000.0f;
// Below this share of reference white the rendering is linear.
constexpr float kKnee = 0.5f;

// Curves that viewers read as sRGB's when the primaries are sRGB's too.
bool isSrgbLikeCurve(int transfer)
{
    switch (transfer) {
    case 1: case 6: case 11: case 12: case 13: case 14: case 15:
        return true;
    default:
        return transfer == 2 || isHdrTransfer(transfer); // unspecified, or rendered with sRGB's curve
    }
}

// The decoding curve (signal to linear light) of an H.273 transfer, as a
// parametric ICC curve; anything without one is taken as sRGB.
Owned<cmsToneCurve> decodingCurve(int transfer)
{
    // Type 4: Y = (aX + b)^g for X >= d, cX below.
    const auto piecewise = [](double exponent, double scale, double offset, double slope, double threshold) {
        const double params[] = {1.0 / exponent, 1.0 / scale, offset / scale, 1.0 / slope, threshold};
        return Owned<cmsToneCurve>(cmsBuildParametricToneCurve(nullptr, 4, params));
    };
    const auto gamma = [](double value) { return Owned<cmsToneCurve>(cmsBuildGamma(nullptr, value)); };
    switch (transfer) {
    case 1: case 6: case 11: case 12: case 14: case 15:
        return piecewise(0.45, 1.099, 0.099, 4.5, 0.081); // inverse of BT.709's camera curve
    case 7:
        return piecewise(0.45, 1.1115, 0.1115, 4.0, 0.0912); // SMPTE 240M
    case 4: return gamma(2.2);
    case 5: return gamma(2.8);
    case 8: return gamma(1.0);
    case 17: return gamma(2.6);
    default:
        return piecewise(1 / 2.4, 1.055, 0.055, 12.92, 0.04045); // sRGB
    }
}

std::string describe(const NclxColour& colour)
{
    std::string name;
    switch (colour.primaries) {
    case 1: case 2: name = "sRGB primaries"; break;
    case 9: name = "BT.2020"; break;
    case 11: name = "DCI-P3"; break;
    case 12: name = "Display P3"; break;
    default: name = "H.273 primaries " + std::to_string(colour.primaries); break;
    }
    if (isHdrTransfer(colour.transfer))
        name += colour.transfer == kPq ? ", PQ rendered for SDR" : ", HLG rendered for SDR";
    else if (colour.transfer != 13 && colour.transfer != 2)
        name += ", H.273 transfer " + std::to_string(colour.transfer);
    return name;
}

bool setText(cmsHPROFILE profile, cmsTagSignature tag, const std::string& text)
{
    const Owned<cmsMLU> mlu(cmsMLUalloc(nullptr, 1));
    return mlu && cmsMLUsetASCII(mlu.get(), "en", "US", text.c_str()) && cmsWriteTag(profile, tag, mlu.get());
}

std::shared_ptr<void> transformToSrgb(const std::vector<uint8_t>& icc)
{
    const LcmsProfile source(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
    const LcmsProfile srgb(cmsCreate_sRGBProfile());
    if (!source || !srgb || cmsGetColorSpace(source.get()) != cmsSigRgbData)
        return {};
    LcmsTransform transform(cmsCreateTransform(source.get(), TYPE_RGB_8, srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
    if (!transform)
        return {};
    return std::shared_ptr<void>(std::move(transform));
}

float pqToNits(float signal)
{
    constexpr float m1 = 2610.0f / 16384, m2 = 2523.0f / 4096 * 128;
    constexpr float c1 = 3424.0f / 4096, c2 = 2413.0f / 4096 * 32, c3 = 2392.0f / 4096 * 32;
    const float p = std::pow(signal, 1 / m2);
    return 10000.0f * std::pow(std::max(p - c1, 0.0f) / (c2 - c3 * p), 1 / m1);
}

// HLG's inverse camera curve: scene light 0..1.
float hlgToScene(float signal)
{
    constexpr float a = 0.17883277f, b = 0.28466892f, c = 0.55991073f;
    return signal <= 0.5f ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

float srgbEncode(float linear)
{
    return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1 / 2.4f) - 0.055f;
}

} // namespace

bool isHdrTransfer(int transfer) { return transfer == kPq || transfer == kHlg; }

std::vector<uint8_t> profileForNclx(const NclxColour& colour)
{
    const bool srgbPrimaries = colour.primaries == 1 || colour.primaries == 2;
    if (srgbPrimaries && isSrgbLikeCurve(colour.transfer))
        return {};
    // Unknown code points come without chromaticities; CIE XYZ (10) has a
    // primary of no luminance, which no RGB profile can hold.
    if (colour.redY <= 0 || colour.greenY <= 0 || colour.blueY <= 0 || colour.whiteY <= 0)
        return {};

    const cmsCIExyY white{colour.whiteX, colour.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{{colour.redX, colour.redY, 1.0},
                                    {colour.greenX, colour.greenY, 1.0},
                                    {colour.blueX, colour.blueY, 1.0}};
    const Owned<cmsToneCurve> curve(
        decodingCurve(isHdrTransfer(colour.transfer) ? 13 : colour.transfer));
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const LcmsProfile profile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsUInt32Number size = 0;
    if (!profile || !setText(profile.get(), cmsSigProfileDescriptionTag, describe(colour)) ||
        !setText(profile.get(), cmsSigCopyrightTag, "No copyright, use freely") ||
        !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0)
        return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size) || size < 36)
        return {};
    bytes.resize(size);
    // lcms2 dates the header with the time it was made; one photo must give
    // the same bytes every time, so every profile carries one fixed date.
    static constexpr uint8_t kCreated[12] = {0x07, 0xe8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}; // 2024-01-01 00:00:00
    std::copy(std::begin(kCreated), std::end(kCreated), bytes.begin() + 24);
    return bytes;
}

ColourPlan planColour(heif_image_handle* handle)
{
    ColourPlan plan;
    std::vector<uint8_t> icc(heif_image_handle_get_raw_color_profile_size(handle));
    if (!icc.empty() && heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        icc.clear();
    if (!icc.empty()) {
        if (icc.size() <= kMaxJpegIccBytes) {
            plan.profile = std::move(icc);
            return plan;
        }
        // More than 255 APP2 markers can hold: rather than lose the colours
        // with the profile, bring the pixels to sRGB, which needs none.
        plan.toSrgb = transformToSrgb(icc);
        if (plan.toSrgb) {
            plan.pixels = ColourPlan::Pixels::ToSrgb;
            plan.note = "colour profile too large for JPEG (" + std::to_string(icc.size()) +
                        " bytes); colours converted to sRGB";
        } else {
            plan.note = "colour profile too large for JPEG (" + std::to_string(icc.size()) +
                        " bytes) and not readable; written without it";
        }
        return plan;
    }

    // libheif allocates the profile even when it rejects its values.
    Owned<heif_color_profile_nclx> nclx;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, into(nclx));
    if (error.code != heif_error_Ok || !nclx)
        return plan;
    plan.nclx = {uint16_t(nclx->color_primaries), uint16_t(nclx->transfer_characteristics),
                 uint16_t(nclx->matrix_coefficients), nclx->full_range_flag != 0,
                 nclx->color_primary_red_x, nclx->color_primary_red_y,
                 nclx->color_primary_green_x, nclx->color_primary_green_y,
                 nclx->color_primary_blue_x, nclx->color_primary_blue_y,
                 nclx->color_primary_white_x, nclx->color_primary_white_y};
    if (isHdrTransfer(plan.nclx.transfer))
        plan.pixels = ColourPlan::Pixels::ToneMapped;
    plan.profile = profileForNclx(plan.nclx);
    return plan;
}

void convertToSrgb(const ColourPlan& plan, uint8_t* rgb, size_t pixels)
{
    // lcms2 does not promise in-place work; go through a small buffer.
    std::array<uint8_t, 3 * 4096> buffer;
    for (size_t done = 0; done < pixels;) {
        const size_t count = std::min<size_t>(pixels - done, buffer.size() / 3);
        cmsDoTransform(plan.toSrgb.get(), rgb + done * 3, buffer.data(), cmsUInt32Number(count));
        std::copy_n(buffer.data(), count * 3, rgb + done * 3);
        done += count;
    }
}

HdrRendering::HdrRendering(const NclxColour& colour, int bitDepth)
    : hlg_(colour.transfer == kHlg), maxCode_((1 << std::clamp(bitDepth, 8, 16)) - 1)
{
    signalToLight_.resize(size_t(maxCode_) + 1);
    for (int code = 0; code <= maxCode_; ++code) {
        const float signal = float(code) / float(maxCode_);
        signalToLight_[size_t(code)] = hlg_ ? hlgToScene(signal) : pqToNits(signal) / kReferenceWhiteNits;
    }
    encode_.resize(16385);
    for (size_t i = 0; i < encode_.size(); ++i)
        encode_[i] = uint8_t(std::lround(255 * srgbEncode(float(i) / float(encode_.size() - 1))));
}

void HdrRendering::linearLight(const uint16_t* pixel, float out[3]) const
{
    for (int c = 0; c < 3; ++c)
        out[c] = signalToLight_[std::min<size_t>(pixel[c], size_t(maxCode_))];
    if (hlg_) {
        // BT.2100's OOTF for a 1000 cd/m2 display: system gamma 1.2 on
        // the scene luminance (BT.2020 weights).
        const float luminance = 0.2627f * out[0] + 0.6780f * out[1] + 0.0593f * out[2];
        const float gain = luminance > 0 ? kHlgDisplayNits / kReferenceWhiteNits * std::pow(luminance, 0.2f) : 0.0f;
        for (int c = 0; c < 3; ++c)
            out[c] *= gain;
    }
}

void HdrRendering::measure(const uint16_t* pixels, size_t count, int channels)
{
    float light[3];
    for (size_t i = 0; i < count; ++i, pixels += channels) {
        linearLight(pixels, light);
        peak_ = std::max({peak_, light[0], light[1], light[2]});
    }
}

void HdrRendering::render(const uint16_t* pixels, size_t count, int channels, uint8_t* out, float* luminance) const
{
    // Extended Reinhard above the knee, in units of the room left above it:
    // f(u) = u (1 + u / w^2) / (1 + u) rises with slope 1 from the knee and
    // reaches 1 at the peak w, so the curve is smooth and ends at white.
    const float room = 1 - kKnee;
    const float w = (peak_ - kKnee) / room;
    const bool rollOff = peak_ > 1;
    const float top = float(encode_.size() - 1);
    float light[3];
    for (size_t i = 0; i < count; ++i, pixels += channels, out += channels) {
        linearLight(pixels, light);
        if (luminance)
            luminance[i] = 0.2627f * light[0] + 0.6780f * light[1] + 0.0593f * light[2];
        const float brightest = std::max({light[0], light[1], light[2]});
        float scale = 1;
        if (rollOff && brightest > kKnee) {
            const float u = (brightest - kKnee) / room;
            scale = (kKnee + room * u * (1 + u / (w * w)) / (1 + u)) / brightest;
        }
        for (int c = 0; c < 3; ++c)
            out[c] = encode_[size_t(std::clamp(light[c] * scale, 0.0f, 1.0f) * top + 0.5f)];
        if (channels == 4)
            out[3] = uint8_t((unsigned(std::min<int>(pixels[3], maxCode_)) * 255u + unsigned(maxCode_) / 2) / unsigned(maxCode_));
    }
}

} // namespace tessavo
