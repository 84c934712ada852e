#include "grid_heic.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tessavo::testsupport {
namespace {

using Bytes = std::vector<uint8_t>;

void check(heif_error err, const char* what)
{
    if (err.code != heif_error_Ok)
        throw std::runtime_error(std::string("grid HEIC: ") + what + ": " + err.message);
}

heif_error appendToBytes(heif_context*, const void* data, size_t size, void* user)
{
    auto* bytes = static_cast<Bytes*>(user);
    bytes->insert(bytes->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The first child box of `type` in [begin, end).
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

struct EncodedTile {
    Bytes hvcC; // the whole box
    Bytes data; // the tile's NAL units
};

EncodedTile encodeTile(const GridOptions& options, const PixelFunction& pixel, int col, int row)
{
    const int size = options.tileSize;
    heif_image* image = nullptr;
    check(heif_image_create(size, size, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image), "image");
    heif_image_add_plane(image, heif_channel_interleaved, size, size, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            pixel(col * size + x, row * size + y, plane + y * stride + x * 3);
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    nclx->color_primaries = heif_color_primaries_ITU_R_BT_709_5;
    nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
    nclx->matrix_coefficients = heif_matrix_coefficients(options.matrixCoefficients);
    nclx->full_range_flag = options.fullRange ? 1 : 0;
    // libheif converts to YCbCr with the image's own nclx.
    heif_image_set_nclx_color_profile(image, nclx);
    heif_nclx_color_profile_free(nclx);

    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    check(heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder), "encoder");
    heif_encoder_set_lossy_quality(encoder, options.quality);
    heif_encoder_set_parameter(encoder, "preset", options.preset);
    heif_encoding_options* encoding = heif_encoding_options_alloc();
    encoding->macOS_compatibility_workaround = 0;
    Bytes file;
    heif_writer writer{1, appendToBytes};
    const heif_error encoded = heif_context_encode_image(ctx, image, encoder, encoding, nullptr);
    const heif_error written = encoded.code == heif_error_Ok ? heif_context_write(ctx, &writer, &file) : encoded;
    heif_encoding_options_free(encoding);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    heif_image_release(image);
    check(written, "encode");

    // One image, no thumbnail: mdat holds exactly the tile's NAL units.
    size_t meta, metaSize, iprp, iprpSize, ipco, ipcoSize, hvcC, hvcCSize, mdat, mdatSize;
    if (!findBox(file, 0, file.size(), "meta", meta, metaSize) ||
        !findBox(file, meta + 12, meta + metaSize, "iprp", iprp, iprpSize) ||
        !findBox(file, iprp + 8, iprp + iprpSize, "ipco", ipco, ipcoSize) ||
        !findBox(file, ipco + 8, ipco + ipcoSize, "hvcC", hvcC, hvcCSize) ||
        !findBox(file, 0, file.size(), "mdat", mdat, mdatSize))
        throw std::runtime_error("grid HEIC: unexpected layout from the encoder");
    return {Bytes(file.begin() + std::ptrdiff_t(hvcC), file.begin() + std::ptrdiff_t(hvcC + hvcCSize)),
            Bytes(file.begin() + std::ptrdiff_t(mdat + 8), file.begin() + std::ptrdiff_t(mdat + mdatSize))};
}

struct BoxWriter {
    Bytes out;
    void u8(uint32_t v) { out.push_back(uint8_t(v)); }
    void u16(uint32_t v) { u8(v >> 8); u8(v); }
    void u32(uint32_t v) { u16(v >> 16); u16(v); }
    void tag(const char* t) { out.insert(out.end(), t, t + 4); }
    void bytes(const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); }
    size_t begin(const char* type)
    {
        const size_t at = out.size();
        u32(0);
        tag(type);
        return at;
    }
    size_t beginFull(const char* type, uint8_t version, uint32_t flags)
    {
        const size_t at = begin(type);
        u32(uint32_t(version) << 24 | flags);
        return at;
    }
    void patch32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    }
    void end(size_t at) { patch32(at, uint32_t(out.size() - at)); }
};

} // namespace

std::vector<uint8_t> makeGridHeic(const GridOptions& options, const PixelFunction& pixel)
{
    const int columns = (options.width + options.tileSize - 1) / options.tileSize;
    const int rows = (options.height + options.tileSize - 1) / options.tileSize;
    std::vector<EncodedTile> tiles;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < columns; ++col)
            tiles.push_back(encodeTile(options, pixel, col, row));

    // Properties (1-based): grid ispe, colr, tile ispe, then the distinct hvcCs.
    std::vector<Bytes> hvcCs;
    std::vector<int> tileHvcC;
    for (const EncodedTile& tile : tiles) {
        auto it = std::find(hvcCs.begin(), hvcCs.end(), tile.hvcC);
        if (it == hvcCs.end())
            it = hvcCs.insert(hvcCs.end(), tile.hvcC);
        tileHvcC.push_back(int(it - hvcCs.begin()) + 4);
    }
    const int n = int(tiles.size());
    const uint16_t gridId = 1;

    BoxWriter w;
    size_t box = w.begin("ftyp");
    w.tag("heic");
    w.u32(0);
    w.tag("mif1");
    w.tag("heic");
    w.end(box);

    const size_t meta = w.beginFull("meta", 0, 0);
    box = w.beginFull("hdlr", 0, 0);
    w.u32(0);
    w.tag("pict");
    w.u32(0);
    w.u32(0);
    w.u32(0);
    w.u8(0);
    w.end(box);
    box = w.beginFull("pitm", 0, 0);
    w.u16(gridId);
    w.end(box);

    box = w.beginFull("iinf", 0, 0);
    w.u16(uint32_t(n + 1));
    size_t infe = w.beginFull("infe", 2, 0);
    w.u16(gridId);
    w.u16(0);
    w.tag("grid");
    w.u8(0);
    w.end(infe);
    for (int i = 0; i < n; ++i) {
        infe = w.beginFull("infe", 2, 1); // hidden
        w.u16(uint32_t(gridId + 1 + i));
        w.u16(0);
        w.tag("hvc1");
        w.u8(0);
        w.end(infe);
    }
    w.end(box);

    box = w.beginFull("iref", 0, 0);
    const size_t dimg = w.begin("dimg");
    w.u16(gridId);
    w.u16(uint32_t(n));
    for (int i = 0; i < n; ++i)
        w.u16(uint32_t(gridId + 1 + i));
    w.end(dimg);
    w.end(box);

    const size_t iprp = w.begin("iprp");
    const size_t ipco = w.begin("ipco");
    box = w.beginFull("ispe", 0, 0);
    w.u32(uint32_t(options.width));
    w.u32(uint32_t(options.height));
    w.end(box);
    box = w.begin("colr");
    w.tag("nclx");
    w.u16(1);
    w.u16(13);
    w.u16(uint32_t(options.matrixCoefficients));
    w.u8(options.fullRange ? 0x80 : 0);
    w.end(box);
    box = w.beginFull("ispe", 0, 0);
    w.u32(uint32_t(options.tileSize));
    w.u32(uint32_t(options.tileSize));
    w.end(box);
    for (const Bytes& h : hvcCs)
        w.bytes(h);
    w.end(ipco);
    box = w.beginFull("ipma", 0, 0);
    w.u32(uint32_t(n + 1));
    w.u16(gridId);
    w.u8(2);
    w.u8(0x80 | 1);
    w.u8(0x80 | 2);
    for (int i = 0; i < n; ++i) {
        w.u16(uint32_t(gridId + 1 + i));
        w.u8(3);
        w.u8(0x80 | uint32_t(tileHvcC[size_t(i)]));
        w.u8(3);
        w.u8(2);
    }
    w.end(box);
    w.end(iprp);

    // iloc v0 with 4-byte offsets and lengths, patched once mdat's place is known.
    box = w.beginFull("iloc", 0, 0);
    w.u8(0x44);
    w.u8(0x00);
    w.u16(uint32_t(n + 1));
    std::vector<size_t> offsetAt;
    const Bytes gridData = {0, 0, uint8_t(rows - 1), uint8_t(columns - 1), uint8_t(options.width >> 8),
                            uint8_t(options.width), uint8_t(options.height >> 8), uint8_t(options.height)};
    for (int i = 0; i <= n; ++i) {
        w.u16(uint32_t(gridId + i));
        w.u16(0);
        w.u16(1);
        offsetAt.push_back(w.out.size());
        w.u32(0);
        w.u32(uint32_t(i == 0 ? gridData.size() : tiles[size_t(i - 1)].data.size()));
    }
    w.end(box);
    w.end(meta);

    const size_t mdat = w.begin("mdat");
    w.patch32(offsetAt[0], uint32_t(w.out.size()));
    w.bytes(gridData);
    for (int i = 0; i < n; ++i) {
        w.patch32(offsetAt[size_t(i + 1)], uint32_t(w.out.size()));
        w.bytes(tiles[size_t(i)].data);
    }
    w.end(mdat);
    return w.out;
}

} // namespace tessavo::testsupport
