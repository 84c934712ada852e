// Writes 12-megapixel grid HEICs laid out like a phone's: 512x512 HEVC tiles
// (hidden items, one shared hvcC when identical) under a 'grid' primary item
// carrying ispe and an nclx colr (BT.601 matrix, full range). libheif 1.15
// cannot write grids, so each tile is encoded by libheif/x265 on its own and
// the container is assembled here.
//
// usage: make_corpus OUT_DIR COUNT [FIRST_SEED]
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 4032, kHeight = 3024, kTile = 512;
constexpr int kCols = (kWidth + kTile - 1) / kTile, kRows = (kHeight + kTile - 1) / kTile;

using Bytes = std::vector<uint8_t>;

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

void fail(const char* what, heif_error err)
{
    std::fprintf(stderr, "make_corpus: %s: %s\n", what, err.message);
    std::exit(1);
}

heif_error appendToBytes(heif_context*, const void* data, size_t size, void* user)
{
    auto* bytes = static_cast<Bytes*>(user);
    bytes->insert(bytes->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// Finds the first box of `type` among the children in [begin, end); full
// boxes ('meta') are descended by the caller with the 4-byte header skipped.
bool findBox(const Bytes& file, size_t begin, size_t end, const char* type, size_t& start, size_t& size)
{
    for (size_t pos = begin; pos + 8 <= end;) {
        const size_t boxSize = be32(&file[pos]);
        if (boxSize < 8 || pos + boxSize > end)
            return false;
        if (std::memcmp(&file[pos + 4], type, 4) == 0) {
            start = pos;
            size = boxSize;
            return true;
        }
        pos += boxSize;
    }
    return false;
}

struct EncodedTile { Bytes hvcC; Bytes data; };

EncodedTile encodeTile(const Scene& scene, int col, int row, int quality)
{
    heif_image* image = nullptr;
    heif_error err = heif_image_create(kTile, kTile, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    if (err.code)
        fail("image", err);
    heif_image_add_plane(image, heif_channel_interleaved, kTile, kTile, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            // Beyond the picture the tile repeats the last column/row, as cameras pad.
            const int sx = std::min(col * kTile + x, kWidth - 1), sy = std::min(row * kTile + y, kHeight - 1);
            scene.pixel(sx, sy, plane + y * stride + x * 3);
        }

    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if ((err = heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder)).code)
        fail("encoder", err);
    heif_encoder_set_lossy_quality(encoder, quality);
    heif_encoder_set_parameter(encoder, "preset", "fast");
    heif_encoding_options* options = heif_encoding_options_alloc();
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    nclx->color_primaries = heif_color_primaries_ITU_R_BT_709_5;
    nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
    nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
    nclx->full_range_flag = 1;
    options->output_nclx_profile = nclx;
    options->macOS_compatibility_workaround = 0;
    if ((err = heif_context_encode_image(ctx, image, encoder, options, nullptr)).code)
        fail("encode", err);
    Bytes file;
    heif_writer writer{1, appendToBytes};
    if ((err = heif_context_write(ctx, &writer, &file)).code)
        fail("write", err);
    heif_nclx_color_profile_free(nclx);
    heif_encoding_options_free(options);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    heif_image_release(image);

    // One image, no thumbnail: mdat holds exactly the tile's NAL units.
    EncodedTile tile;
    size_t metaStart, metaSize, iprpStart, iprpSize, ipcoStart, ipcoSize, hvcCStart, hvcCSize, mdatStart, mdatSize;
    if (!findBox(file, 0, file.size(), "meta", metaStart, metaSize) ||
        !findBox(file, metaStart + 12, metaStart + metaSize, "iprp", iprpStart, iprpSize) ||
        !findBox(file, iprpStart + 8, iprpStart + iprpSize, "ipco", ipcoStart, ipcoSize) ||
        !findBox(file, ipcoStart + 8, ipcoStart + ipcoSize, "hvcC", hvcCStart, hvcCSize) ||
        !findBox(file, 0, file.size(), "mdat", mdatStart, mdatSize)) {
        std::fprintf(stderr, "make_corpus: unexpected layout from the encoder\n");
        std::exit(1);
    }
    tile.hvcC.assign(file.begin() + hvcCStart, file.begin() + hvcCStart + hvcCSize);
    tile.data.assign(file.begin() + mdatStart + 8, file.begin() + mdatStart + mdatSize);
    return tile;
}

struct Writer {
    Bytes out;
    void u8(uint32_t v) { out.push_back(uint8_t(v)); }
    void u16(uint32_t v) { u8(v >> 8); u8(v); }
    void u32(uint32_t v) { u16(v >> 16); u16(v); }
    void tag(const char* t) { out.insert(out.end(), t, t + 4); }
    void bytes(const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); }
    size_t begin(const char* type) { const size_t at = out.size(); u32(0); tag(type); return at; }
    size_t beginFull(const char* type, uint8_t version, uint32_t flags)
    {
        const size_t at = begin(type);
        u32(uint32_t(version) << 24 | flags);
        return at;
    }
    void end(size_t at)
    {
        const uint32_t size = uint32_t(out.size() - at);
        out[at] = uint8_t(size >> 24); out[at + 1] = uint8_t(size >> 16);
        out[at + 2] = uint8_t(size >> 8); out[at + 3] = uint8_t(size);
    }
    void patch32(size_t at, uint32_t v)
    {
        out[at] = uint8_t(v >> 24); out[at + 1] = uint8_t(v >> 16); out[at + 2] = uint8_t(v >> 8); out[at + 3] = uint8_t(v);
    }
};

Bytes assembleGrid(const std::vector<EncodedTile>& tiles)
{
    // Property indices (1-based): grid ispe, grid colr, tile ispe, then hvcCs.
    std::vector<Bytes> hvcCs;
    std::vector<int> tileHvcC;
    for (const EncodedTile& t : tiles) {
        auto it = std::find(hvcCs.begin(), hvcCs.end(), t.hvcC);
        if (it == hvcCs.end()) {
            hvcCs.push_back(t.hvcC);
            it = hvcCs.end() - 1;
        }
        tileHvcC.push_back(int(it - hvcCs.begin()) + 4);
    }
    const int n = int(tiles.size());
    const uint16_t gridId = 1;

    Writer w;
    size_t box = w.begin("ftyp");
    w.tag("heic"); w.u32(0); w.tag("mif1"); w.tag("heic");
    w.end(box);

    const size_t meta = w.beginFull("meta", 0, 0);
    box = w.beginFull("hdlr", 0, 0);
    w.u32(0); w.tag("pict"); w.u32(0); w.u32(0); w.u32(0); w.u8(0);
    w.end(box);
    box = w.beginFull("pitm", 0, 0);
    w.u16(gridId);
    w.end(box);

    box = w.beginFull("iinf", 0, 0);
    w.u16(n + 1);
    size_t infe = w.beginFull("infe", 2, 0);
    w.u16(gridId); w.u16(0); w.tag("grid"); w.u8(0);
    w.end(infe);
    for (int i = 0; i < n; ++i) {
        infe = w.beginFull("infe", 2, 1); // hidden
        w.u16(gridId + 1 + i); w.u16(0); w.tag("hvc1"); w.u8(0);
        w.end(infe);
    }
    w.end(box);

    box = w.beginFull("iref", 0, 0);
    const size_t dimg = w.begin("dimg");
    w.u16(gridId); w.u16(n);
    for (int i = 0; i < n; ++i)
        w.u16(gridId + 1 + i);
    w.end(dimg);
    w.end(box);

    const size_t iprp = w.begin("iprp");
    const size_t ipco = w.begin("ipco");
    box = w.beginFull("ispe", 0, 0); w.u32(kWidth); w.u32(kHeight); w.end(box);
    box = w.begin("colr");
    w.tag("nclx"); w.u16(1); w.u16(13); w.u16(6); w.u8(0x80);
    w.end(box);
    box = w.beginFull("ispe", 0, 0); w.u32(kTile); w.u32(kTile); w.end(box);
    for (const Bytes& h : hvcCs)
        w.bytes(h);
    w.end(ipco);
    box = w.beginFull("ipma", 0, 0);
    w.u32(n + 1);
    w.u16(gridId); w.u8(2); w.u8(0x80 | 1); w.u8(0x80 | 2);
    for (int i = 0; i < n; ++i) {
        w.u16(gridId + 1 + i); w.u8(2); w.u8(0x80 | tileHvcC[i]); w.u8(3);
    }
    w.end(box);
    w.end(iprp);

    // iloc v0, 4-byte offsets and lengths, patched once mdat's position is known.
    box = w.beginFull("iloc", 0, 0);
    w.u8(0x44); w.u8(0x00);
    w.u16(n + 1);
    std::vector<size_t> offsetAt;
    const Bytes gridData = {0, 0, uint8_t(kRows - 1), uint8_t(kCols - 1), uint8_t(kWidth >> 8), uint8_t(kWidth),
                            uint8_t(kHeight >> 8), uint8_t(kHeight)};
    for (int i = 0; i <= n; ++i) {
        w.u16(gridId + i); w.u16(0); w.u16(1);
        offsetAt.push_back(w.out.size());
        w.u32(0);
        w.u32(uint32_t(i == 0 ? gridData.size() : tiles[i - 1].data.size()));
    }
    w.end(box);
    w.end(meta);

    const size_t mdat = w.begin("mdat");
    w.patch32(offsetAt[0], uint32_t(w.out.size()));
    w.bytes(gridData);
    for (int i = 0; i < n; ++i) {
        w.patch32(offsetAt[i + 1], uint32_t(w.out.size()));
        w.bytes(tiles[i].data);
    }
    w.end(mdat);
    return w.out;
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
        const Scene scene{uint32_t(i)};
        std::vector<EncodedTile> tiles;
        for (int row = 0; row < kRows; ++row)
            for (int col = 0; col < kCols; ++col)
                tiles.push_back(encodeTile(scene, col, row, quality));
        const Bytes file = assembleGrid(tiles);
        const std::filesystem::path partial = dir / (std::string(name) + ".part");
        std::ofstream(partial, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        std::filesystem::rename(partial, path);
        std::printf("%s %zu bytes\n", path.c_str(), file.size());
    }
    return 0;
}
