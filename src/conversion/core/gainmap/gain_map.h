#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

// A photo's HDR gain map as JPEG carries it: ISO 21496-1 parameters over an
// 8-bit map. Whatever form the photo held it in is re-expressed in these terms.
namespace tessavo {

struct GainMapMetadata {
    // Per channel (R, G, B); a grey map uses the first. Gains and headrooms are log2.
    std::array<double, 3> gainMapMin{0, 0, 0};
    std::array<double, 3> gainMapMax{1, 1, 1};
    std::array<double, 3> gamma{1, 1, 1};
    std::array<double, 3> baseOffset{1.0 / 64, 1.0 / 64, 1.0 / 64};
    std::array<double, 3> alternateOffset{1.0 / 64, 1.0 / 64, 1.0 / 64};
    double baseHdrHeadroom = 0;
    double alternateHdrHeadroom = 1;
    // The map applies in the primary's colour space (not the alternate's).
    bool useBaseColourSpace = true;
};

// What a photo's metadata says of its map: how many channels it has (1 or
// 3), and what their levels mean.
struct GainMapMeaning {
    GainMapMetadata metadata;
    int channels = 1;
};

// Whether the parameters can mean anything for an SDR primary: every value
// finite, each gamma above 0, no maximum below its minimum, and the
// alternate headroom above the base one.
inline bool meaningful(const GainMapMetadata& m)
{
    bool ok = std::isfinite(m.baseHdrHeadroom) && std::isfinite(m.alternateHdrHeadroom) && m.alternateHdrHeadroom > m.baseHdrHeadroom;
    for (size_t c = 0; c < 3; ++c)
        for (const double v : {m.gainMapMin[c], m.gainMapMax[c], m.gamma[c], m.baseOffset[c], m.alternateOffset[c]})
            ok = ok && std::isfinite(v);
    for (size_t c = 0; c < 3; ++c)
        ok = ok && m.gamma[c] > 0 && m.gainMapMax[c] >= m.gainMapMin[c];
    return ok;
}

struct GainMap {
    int width = 0;
    int height = 0;
    int channels = 1; // 1 (grey) or 3 (RGB)
    // Top row first, channels interleaved. In the frame of the primary as the
    // JPEG stores it: cropped as the primary is, not turned (the file's
    // orientation tag applies to both).
    std::vector<uint8_t> pixels;
    GainMapMetadata metadata;
};

} // namespace tessavo
