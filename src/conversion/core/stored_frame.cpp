#include "conversion/core/stored_frame.h"

#include "conversion/core/heif_properties.h"

#include <cstddef>

namespace tessavo {
namespace {

template <int Channels>
RgbImage unapply(const RgbImage& shown, int orientation)
{
    const auto m = orientationMatrix(orientation);
    const bool swapsAxes = m[0] == 0;
    RgbImage stored;
    stored.width = swapsAxes ? shown.height : shown.width;
    stored.height = swapsAxes ? shown.width : shown.height;
    stored.pixels.resize(shown.pixels.size());

    // Shown position of a stored pixel (x, y): m * (x, y) plus an offset
    // that maps the centres onto each other.
    const ptrdiff_t originX = (shown.width - 1 - m[0] * (stored.width - 1) - m[1] * (stored.height - 1)) / 2;
    const ptrdiff_t originY = (shown.height - 1 - m[2] * (stored.width - 1) - m[3] * (stored.height - 1)) / 2;
    const ptrdiff_t rowBytes = ptrdiff_t(shown.width) * Channels;
    const ptrdiff_t stepX = m[2] * rowBytes + m[0] * Channels;
    const ptrdiff_t stepY = m[3] * rowBytes + m[1] * Channels;
    const uint8_t* base = shown.pixels.data() + originY * rowBytes + originX * Channels;
    uint8_t* out = stored.pixels.data();
    for (ptrdiff_t y = 0; y < stored.height; ++y) {
        const uint8_t* in = base + y * stepY;
        for (int x = 0; x < stored.width; ++x, in += stepX)
            for (int c = 0; c < Channels; ++c)
                *out++ = in[c];
    }
    return stored;
}

} // namespace

RgbImage unapplyOrientation(const RgbImage& shown, int orientation, int channels)
{
    return channels == 1 ? unapply<1>(shown, orientation) : unapply<3>(shown, orientation);
}

} // namespace tessavo
