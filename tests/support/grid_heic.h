#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// HEICs laid out like a phone's: the primary item is a 'grid' of HEVC tiles
// (hidden items sharing one hvcC when they can) with an nclx colr box.
// libheif 1.15 cannot write grids, so each tile is encoded by libheif on
// its own and the container is put together here.
namespace tessavo::testsupport {

struct GridOptions {
    int width = 0, height = 0; // the image; tiles cover at least this
    int tileSize = 512;
    int quality = 60;
    const char* preset = "fast"; // x265 preset
    // nclx of the grid and its tiles
    int matrixCoefficients = 6;  // BT.601
    bool fullRange = true;
};

// `pixel(x, y, rgb)` fills one pixel; it is also asked for the padding
// beyond the image that the last row and column of tiles carry.
using PixelFunction = std::function<void(int x, int y, uint8_t* rgb)>;

std::vector<uint8_t> makeGridHeic(const GridOptions& options, const PixelFunction& pixel);

} // namespace tessavo::testsupport
