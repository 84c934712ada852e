// Writes 12-megapixel grid HEICs laid out like a phone's: 512x512 HEVC tiles
// (coded by libheif's encoder, x265) under a 'grid' primary item with an
// nclx colr (BT.601 matrix, full range), showing a synthetic landscape with
// gradients, texture, edges and noise.
//
// usage: make_corpus OUT_DIR COUNT [FIRST_SEED] [QUALITY]
#include "conversion/core/base/owners.h"
#include "conversion/core/heif/heif_boxes.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
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

struct Box {
    int x0, y0, x1, y1;
    double r, g, b;
};

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
            boxes.push_back({x, base - h, x + w, base, lattice(i, 7, seed), lattice(i, 8, seed), lattice(i, 9, seed)});
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

using Bytes = std::vector<uint8_t>;

Bytes be(uint64_t value, int size)
{
    Bytes out;
    for (int i = size - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes box(const char* type, const Bytes& body) { return cat({be(8 + body.size(), 4), Bytes(type, type + 4), body}); }
Bytes fullBox(const char* type, uint32_t versionAndFlags, const Bytes& body) { return box(type, cat({be(versionAndFlags, 4), body})); }

heif_error append(heif_context*, const void* data, size_t size, void* bytes)
{
    static_cast<Bytes*>(bytes)->insert(
        static_cast<Bytes*>(bytes)->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// One tile coded by libheif's encoder: its hvcC box and its NAL units, taken
// from the file libheif writes of it (one image: mdat holds just those).
std::pair<Bytes, Bytes> codeTile(const Scene& scene, int column, int row, int quality)
{
    using namespace tessavo;
    Owned<heif_image> image;
    heif_image_create(kTile, kTile, heif_colorspace_RGB, heif_chroma_interleaved_RGB, into(image));
    heif_image_add_plane(image.get(), heif_channel_interleaved, kTile, kTile, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    // Beyond the picture the tiles repeat the last column and row, as cameras pad.
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x)
            scene.pixel(std::min(column * kTile + x, kWidth - 1), std::min(row * kTile + y, kHeight - 1),
                plane + size_t(y) * size_t(stride) + size_t(x) * 3);
    const Owned<heif_color_profile_nclx> nclx = heifNclxProfile();
    nclx->color_primaries = heif_color_primaries_ITU_R_BT_709_5;
    nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
    nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
    nclx->full_range_flag = 1;
    heif_image_set_nclx_color_profile(image.get(), nclx.get());
    const Owned<heif_context> context = heifContext();
    Owned<heif_encoder> encoder;
    heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, into(encoder));
    heif_encoder_set_lossy_quality(encoder.get(), quality);
    heif_encoder_set_parameter(encoder.get(), "preset", "fast");
    heif_encoder_set_parameter(encoder.get(), "chroma", "420");
    Bytes file;
    heif_writer writer{1, append};
    if (heif_context_encode_image(context.get(), image.get(), encoder.get(), nullptr, nullptr).code ||
        heif_context_write(context.get(), &writer, &file).code)
        throw std::runtime_error("libheif cannot code a tile");
    const auto child = [](std::span<const uint8_t> bytes, const char(&type)[5]) {
        const auto boxes = leadingBoxes(bytes);
        const auto* found = findBox(boxes, fourcc(type));
        if (!found)
            throw std::runtime_error(std::string("no ") + type + " box from libheif");
        return found->payload;
    };
    const auto hvcC = child(child(child(child(file, "meta").subspan(4), "iprp"), "ipco"), "hvcC");
    const auto mdat = child(file, "mdat");
    return {box("hvcC", Bytes(hvcC.begin(), hvcC.end())), Bytes(mdat.begin(), mdat.end())};
}

// The grid primary (item 1, its descriptor in idat) over hidden tiles 2 on,
// whose properties are shared where equal.
Bytes gridFile(const Scene& scene, int quality)
{
    const int columns = (kWidth + kTile - 1) / kTile, rows = (kHeight + kTile - 1) / kTile, tiles = columns * rows;
    std::vector<Bytes> properties{fullBox("ispe", 0, cat({be(kWidth, 4), be(kHeight, 4)})),
        box("colr", cat({Bytes{'n', 'c', 'l', 'x'}, be(1, 2), be(13, 2), be(6, 2), Bytes{0x80}})),
        fullBox("ispe", 0, cat({be(kTile, 4), be(kTile, 4)}))};
    const auto add = [&](const Bytes& property) {
        const auto at = std::find(properties.begin(), properties.end(), property);
        if (at == properties.end())
            properties.push_back(property);
        return uint8_t(std::find(properties.begin(), properties.end(), property) - properties.begin() + 1);
    };
    const Bytes grid = cat({Bytes{0, 0, uint8_t(rows - 1), uint8_t(columns - 1)}, be(kWidth, 2), be(kHeight, 2)});
    Bytes infos = cat({be(tiles + 1, 2), fullBox("infe", 2 << 24, cat({be(1, 2), be(0, 2), Bytes{'g', 'r', 'i', 'd', 0}}))});
    Bytes ipma = cat({be(tiles + 1, 4), be(1, 2), Bytes{2, 1, 2}});
    Bytes dimg = cat({be(1, 2), be(tiles, 2)}), mdat;
    std::vector<size_t> sizes;
    for (int i = 0; i < tiles; ++i) {
        const auto [hvcC, data] = codeTile(scene, i % columns, i / columns, quality);
        const uint16_t id = uint16_t(2 + i);
        infos = cat({infos, fullBox("infe", 2 << 24 | 1, cat({be(id, 2), be(0, 2), Bytes{'h', 'v', 'c', '1', 0}}))});
        ipma = cat({ipma, be(id, 2), Bytes{3, add(hvcC), 3, 2}});
        dimg = cat({dimg, be(id, 2)});
        mdat = cat({mdat, data});
        sizes.push_back(data.size());
    }
    Bytes ipco;
    for (const Bytes& property : properties)
        ipco = cat({ipco, property});
    // iloc (offsets 4 bytes, lengths 4): the grid in idat, then each tile in mdat.
    const auto meta = [&](uint64_t mdatData) {
        Bytes iloc = cat({Bytes{0x44, 0}, be(tiles + 1, 2), be(1, 2), be(1, 2), be(0, 2), be(1, 2), be(0, 4), be(grid.size(), 4)});
        for (int i = 0; i < tiles; ++i) {
            iloc = cat({iloc, be(2 + i, 2), be(0, 2), be(0, 2), be(1, 2), be(mdatData, 4), be(sizes[size_t(i)], 4)});
            mdatData += sizes[size_t(i)];
        }
        return fullBox("meta", 0,
            cat({fullBox("hdlr", 0, cat({be(0, 4), Bytes{'p', 'i', 'c', 't'}, Bytes(13, 0)})), fullBox("pitm", 0, be(1, 2)),
                fullBox("iinf", 0, infos), fullBox("iref", 0, box("dimg", dimg)),
                box("iprp", cat({box("ipco", ipco), fullBox("ipma", 0, ipma)})), fullBox("iloc", 1 << 24, iloc), box("idat", grid)}));
    };
    const Bytes ftyp = box("ftyp", cat({Bytes{'h', 'e', 'i', 'c'}, be(0, 4), Bytes{'m', 'i', 'f', '1', 'h', 'e', 'i', 'c'}}));
    return cat({ftyp, meta(ftyp.size() + meta(0).size() + 8), box("mdat", mdat)});
}

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
        const Bytes file = gridFile(Scene{uint32_t(i)}, quality);
        const std::filesystem::path partial = dir / (std::string(name) + ".part");
        std::ofstream(partial, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        std::filesystem::rename(partial, path);
        std::printf("%s %zu bytes\n", path.c_str(), file.size());
    }
    return 0;
}
