#include "conversion/core/colour/colour_profile.h"

#include "conversion/core/base/owners.h"
#include "conversion/core/jpeg/jpeg_writer.h"

#include <lcms2.h>
#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace tessavo {
namespace {

constexpr int kPq = 16;
constexpr int kHlg = 18;

// Curves that viewers read as sRGB's when the primaries are sRGB's too.
bool isSrgbLikeCurve(int transfer)
{
    switch (transfer) {
    case 1:
    case 6:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
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
    case 1:
    case 6:
    case 11:
    case 12:
    case 14:
    case 15:
        return piecewise(0.45, 1.099, 0.099, 4.5, 0.081); // inverse of BT.709's camera curve
    case 7:
        return piecewise(0.45, 1.1115, 0.1115, 4.0, 0.0912); // SMPTE 240M
    case 4:
        return gamma(2.2);
    case 5:
        return gamma(2.8);
    case 8:
        return gamma(1.0);
    case 17:
        return gamma(2.6);
    default:
        return piecewise(1 / 2.4, 1.055, 0.055, 12.92, 0.04045); // sRGB
    }
}

std::string describe(const NclxColour& colour)
{
    std::string name;
    switch (colour.primaries) {
    case 1:
    case 2:
        name = "sRGB primaries";
        break;
    case 9:
        name = "BT.2020";
        break;
    case 11:
        name = "DCI-P3";
        break;
    case 12:
        name = "Display P3";
        break;
    default:
        name = "H.273 primaries " + std::to_string(colour.primaries);
        break;
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

} // namespace

bool isHdrTransfer(int transfer) { return transfer == kPq || transfer == kHlg; }

Result<std::optional<std::vector<uint8_t>>> profileForNclx(const NclxColour& colour)
{
    const bool srgbPrimaries = colour.primaries == 1 || colour.primaries == 2;
    if (srgbPrimaries && isSrgbLikeCurve(colour.transfer))
        return std::optional<std::vector<uint8_t>>();
    // Unknown code points come without chromaticities; CIE XYZ (10) has a
    // primary of no luminance, which no RGB profile can hold.
    if (colour.redY <= 0 || colour.greenY <= 0 || colour.blueY <= 0 || colour.whiteY <= 0)
        return std::optional<std::vector<uint8_t>>();

    const cmsCIExyY white{colour.whiteX, colour.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{
        {colour.redX, colour.redY, 1.0}, {colour.greenX, colour.greenY, 1.0}, {colour.blueX, colour.blueY, 1.0}};
    const Owned<cmsToneCurve> curve(decodingCurve(isHdrTransfer(colour.transfer) ? 13 : colour.transfer));
    if (!curve)
        return std::optional<std::vector<uint8_t>>();
    const Failure unmade{ConversionStep::Decode, "lcms2 could not make its colour profile"};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const LcmsProfile profile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsUInt32Number size = 0;
    if (!profile || !setText(profile.get(), cmsSigProfileDescriptionTag, describe(colour)) ||
        !setText(profile.get(), cmsSigCopyrightTag, "No copyright, use freely") || !cmsSaveProfileToMem(profile.get(), nullptr, &size) ||
        size == 0)
        return unmade;
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size) || size < 36)
        return unmade;
    bytes.resize(size);
    // lcms2 dates the header with the time it was made; one photo must give
    // the same bytes every time, so every profile carries one fixed date.
    static constexpr uint8_t kCreated[12] = {0x07, 0xe8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}; // 2024-01-01 00:00:00
    std::copy(std::begin(kCreated), std::end(kCreated), bytes.begin() + 24);
    return std::optional(std::move(bytes));
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
            plan.note = "colour profile too large for JPEG (" + std::to_string(icc.size()) + " bytes); colours converted to sRGB";
        } else {
            plan.note = "colour profile too large for JPEG (" + std::to_string(icc.size()) + " bytes) and not readable; written without it";
        }
        return plan;
    }

    // libheif allocates the profile even when it rejects its values.
    Owned<heif_color_profile_nclx> nclx;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, into(nclx));
    if (error.code != heif_error_Ok || !nclx)
        return plan;
    plan.nclx = {uint16_t(nclx->color_primaries), uint16_t(nclx->transfer_characteristics), uint16_t(nclx->matrix_coefficients),
        nclx->full_range_flag != 0, nclx->color_primary_red_x, nclx->color_primary_red_y, nclx->color_primary_green_x,
        nclx->color_primary_green_y, nclx->color_primary_blue_x, nclx->color_primary_blue_y, nclx->color_primary_white_x,
        nclx->color_primary_white_y};
    if (isHdrTransfer(plan.nclx.transfer))
        plan.pixels = ColourPlan::Pixels::ToneMapped;
    Result<std::optional<std::vector<uint8_t>>> profile = profileForNclx(plan.nclx);
    if (!profile)
        plan.note = "colour profile not written: " + profile.failure().reason;
    else
        plan.profile = std::move(*profile).value_or(std::vector<uint8_t>());
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

} // namespace tessavo
