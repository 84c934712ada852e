// Writes 12-megapixel grid HEICs laid out like a phone's: 512x512 HEVC tiles
// under a 'grid' primary item with an nclx colr (BT.601 matrix, full range),
// showing a synthetic landscape with gradients, texture, edges and noise.
//
// usage: make_corpus OUT_DIR COUNT [FIRST_SEED] [QUALITY]
#include "heif_assembler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 4032, kHeight = 3024, kTile = 512;

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}

double lattice(int x, int y, uint32_t seed) { return (hash(x, y, seed) & 0xffff) / 65535.0; }

// Smooth value noise in [0,1].
double valueNoise(double x, double y, uint32_t seed)
{
    const int xi = int(std::floor(x)), yi = int(std::floor(y));
    double fx = x - xi, fy = y - yi;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const double a = lattice(xi, yi, seed), b = lattice(xi + 1, yi, seed);
    const double c = lattice(xi, yi + 1, seed), d = lattice(xi + 1, yi + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

double fractal(double x, double y, uint32_t seed, int octaves)
{
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * valueNoise(x, y, seed + o * 101);
        norm += amp;
        x *= 2.03;
        y *= 2.03;
        amp *= 0.5;
    }
    return sum / norm;
}

struct Box { int x0, y0, x1, y1; double r, g, b; };

// A synthetic landscape: sky gradient with clouds, textured hills, hard-edged
// buildings with windows, and sensor-like noise.
struct Scene {
    uint32_t seed;
    double horizon;
    std::vector<Box> boxes;

    explicit Scene(uint32_t s) : seed(s)
    {
        horizon = kHeight * (0.35 + 0.2 * lattice(1, 1, seed));
        const int count = 6 + int(hash(2, 2, seed) % 8);
        for (int i = 0; i < count; ++i) {
            const int w = 150 + int(hash(i, 3, seed) % 500);
            const int h = 300 + int(hash(i, 4, seed) % 1100);
            const int x = int(hash(i, 5, seed) % kWidth) - w / 2;
            const int base = int(horizon) + 250 + int(hash(i, 6, seed) % 500);
            boxes.push_back({x, base - h, x + w, base, lattice(i, 7, seed), lattice(i, 8, seed),
                             lattice(i, 9, seed)});
        }
    }

    void pixel(int x, int y, uint8_t* out) const
    {
        double r, g, b;
        const double hill = horizon + 220 * (fractal(x / 900.0, 0.5, seed + 7, 4) - 0.5);
        if (y < hill) {
            const double t = y / hill;
            const double cloud = std::max(0.0, fractal(x / 700.0, y / 350.0, seed + 11, 5) - 0.45) * 1.8;
            r = 0.35 + 0.4 * t + cloud;
            g = 0.55 + 0.3 * t + cloud;
            b = 0.95 - 0.1 * t + cloud * 0.9;
        } else {
            const double tex = fractal(x / 40.0, y / 25.0, seed + 13, 5);
            const double field = fractal(x / 600.0, y / 400.0, seed + 17, 3);
            r = 0.25 + 0.3 * field + 0.25 * tex;
            g = 0.4 + 0.25 * field + 0.2 * tex;
            b = 0.15 + 0.1 * field + 0.1 * tex;
        }
        for (const Box& box : boxes) {
            if (x >= box.x0 && x < box.x1 && y >= box.y0 && y < box.y1) {
                const bool window = ((x - box.x0) % 60 < 30) && ((y - box.y0) % 80 < 40);
                const double shade = 0.7 + 0.3 * double(x - box.x0) / (box.x1 - box.x0);
                r = box.r * shade * (window ? 0.4 : 1.0);
                g = box.g * shade * (window ? 0.45 : 1.0);
                b = box.b * shade * (window ? 0.6 : 1.0);
            }
        }
        const double noise = ((hash(x, y, seed + 99) & 0xff) - 127.5) / 127.5 * 0.012;
        const double v[3] = {r + noise, g + noise, b + noise};
        for (int c = 0; c < 3; ++c)
            out[c] = uint8_t(std::clamp(v[c], 0.0, 1.0) * 255.0 + 0.5);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_corpus OUT_DIR COUNT [FIRST_SEED] [QUALITY]\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const int count = std::atoi(argv[2]);
    const int first = argc > 3 ? std::atoi(argv[3]) : 1;
    const int quality = argc > 4 ? std::atoi(argv[4]) : 60;
    std::filesystem::create_directories(dir);
    for (int i = first; i < first + count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.HEIC", i);
        const std::filesystem::path path = dir / name;
        if (std::filesystem::exists(path))
            continue;
        const Scene scene{uint32_t(i)};
        tessavo::samples::GridOptions options;
        options.width = kWidth;
        options.height = kHeight;
        options.tileSize = kTile;
        options.tile.quality = quality;
        // Beyond the picture the tiles repeat the last column and row, as cameras pad.
        const auto file = tessavo::samples::makeGridHeic(options, [&scene](int x, int y, uint8_t* rgb) {
            scene.pixel(std::min(x, kWidth - 1), std::min(y, kHeight - 1), rgb);
        });
        const std::filesystem::path partial = dir / (std::string(name) + ".part");
        std::ofstream(partial, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        std::filesystem::rename(partial, path);
        std::printf("%s %zu bytes\n", path.c_str(), file.size());
    }
    return 0;
}
