#pragma once

#include <algorithm>
#include <cmath>

// The transfer curves of HDR pictures, written once for the tests, the samples' checks and the benchmark: light
// relative to the 203 cd/m2 of BT.2408's reference white.
namespace tessavo::testsupport {

// SMPTE ST 2084 (PQ): light to signal and back.
inline double pqSignal(double light)
{
    const double y = std::pow(std::max(light, 0.0) * 203 / 10000, 0.1593017578125);
    return std::pow((0.8359375 + 18.8515625 * y) / (1 + 18.6875 * y), 78.84375);
}

inline double pqLight(double signal)
{
    const double p = std::pow(signal, 1 / 78.84375);
    return 10000 / 203.0 * std::pow(std::max(p - 0.8359375, 0.0) / (18.8515625 - 18.6875 * p), 1 / 0.1593017578125);
}

// BT.2100 HLG: signal to scene light (0 to 1).
inline double hlgSceneLight(double signal)
{
    return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - 0.55991073) / 0.17883277) + 0.28466892) / 12;
}

// The sRGB curve: an 8-bit level to linear light.
inline double srgbLinear(double level)
{
    const double v = level / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// BT.709's curve (0 to 1), as Apple documents it for its gain maps.
inline double rec709Linear(double v) { return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45); }

} // namespace tessavo::testsupport
