#include "heif_assembler.h"

#include "conversion/core/owners.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

namespace tessavo::samples {
namespace {

void check(heif_error err, const char* what)
{
    if (err.code != heif_error_Ok)
        throw std::runtime_error(std::string("sample HEIF: ") + what + ": " + err.message);
}

heif_error appendToBytes(heif_context*, const void* data, size_t size, void* user)
{
    auto* bytes = static_cast<Bytes*>(user);
    bytes->insert(bytes->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The first child box of `type` in [begin, end) as (start, size).
std::pair<size_t, size_t> findBox(const Bytes& file, size_t begin, size_t end, const char* type)
{
    for (size_t pos = begin; pos + 8 <= end;) {
        const size_t size = be32(&file[pos]);
        if (size < 8 || pos + size > end)
            break;
        if (std::memcmp(&file[pos + 4], type, 4) == 0)
            return {pos, size};
        pos += size;
    }
    throw std::runtime_error(std::string("sample HEIF: no ") + type + " box from the encoder");
}

void put(Bytes& out, uint64_t value, int size)
{
    for (int i = size - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

} // namespace

Bytes be(uint64_t value, int size)
{
    Bytes out;
    put(out, value, size);
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes box(const std::string& type, const Bytes& body)
{
    return cat({be(8 + body.size(), 4), Bytes(type.begin(), type.end()), body});
}

Bytes fullBox(const std::string& type, int version, uint32_t flags, const Bytes& body)
{
    return box(type, cat({be(uint32_t(version) << 24 | flags, 4), body}));
}

Bytes ispe(uint32_t width, uint32_t height) { return fullBox("ispe", 0, 0, cat({be(width, 4), be(height, 4)})); }

Bytes nclx(int primaries, int transfer, int matrix, bool fullRange)
{
    return box("colr", cat({Bytes{'n', 'c', 'l', 'x'}, be(uint32_t(primaries), 2), be(uint32_t(transfer), 2),
                            be(uint32_t(matrix), 2), Bytes{uint8_t(fullRange ? 0x80 : 0)}}));
}

Bytes irot(int quarterTurns) { return box("irot", {uint8_t(quarterTurns)}); }
Bytes imir(int axis) { return box("imir", {uint8_t(axis)}); }

Bytes clap(uint32_t width, uint32_t widthD, uint32_t height, uint32_t heightD, int32_t horizontal,
           uint32_t horizontalD, int32_t vertical, uint32_t verticalD)
{
    return box("clap", cat({be(width, 4), be(widthD, 4), be(height, 4), be(heightD, 4), be(uint32_t(horizontal), 4),
                            be(horizontalD, 4), be(uint32_t(vertical), 4), be(verticalD, 4)}));
}

Bytes auxC(const std::string& urn)
{
    Bytes body(urn.begin(), urn.end());
    body.push_back(0);
    return fullBox("auxC", 0, 0, body);
}

Bytes gridDescriptor(int rows, int columns, uint32_t width, uint32_t height)
{
    const bool wide = width > 0xffff || height > 0xffff;
    return cat({Bytes{0, uint8_t(wide ? 1 : 0), uint8_t(rows - 1), uint8_t(columns - 1)}, be(width, wide ? 4 : 2),
                be(height, wide ? 4 : 2)});
}

Bytes overlayDescriptor(const uint16_t background[4], uint32_t width, uint32_t height,
                        const std::vector<std::pair<int32_t, int32_t>>& offsets)
{
    Bytes out{0, 0};
    for (int i = 0; i < 4; ++i)
        put(out, background[i], 2);
    put(out, width, 2);
    put(out, height, 2);
    for (const auto& [x, y] : offsets) {
        put(out, uint16_t(x), 2);
        put(out, uint16_t(y), 2);
    }
    return out;
}

Bytes encodeHeic(const PictureOptions& options, const PixelFunction& pixel)
{
    const int w = options.width, h = options.height;
    const bool deep = options.bitDepth > 8;
    Owned<heif_image> image;
    if (options.monochrome)
        check(heif_image_create(w, h, heif_colorspace_monochrome, heif_chroma_monochrome, into(image)), "image");
    else
        check(heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_444, into(image)), "image");
    const heif_channel rgba[] = {heif_channel_R, heif_channel_G, heif_channel_B, heif_channel_Alpha};
    std::vector<std::pair<heif_channel, size_t>> channels; // and the index into the pixel's values
    if (options.monochrome)
        channels = {{heif_channel_Y, 0}};
    for (size_t c = 0; !options.monochrome && c < (options.alpha ? 4u : 3u); ++c)
        channels.emplace_back(rgba[c], c);
    std::vector<std::pair<uint8_t*, int>> planes;
    for (const auto& [channel, index] : channels) {
        check(heif_image_add_plane(image.get(), channel, w, h, options.bitDepth), "plane");
        int stride = 0;
        planes.emplace_back(heif_image_get_plane(image.get(), channel, &stride), stride);
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t value[4] = {0, 0, 0, 255};
            pixel(x, y, value);
            for (size_t c = 0; c < channels.size(); ++c) {
                uint8_t* row = planes[c].first + size_t(y) * size_t(planes[c].second);
                const uint8_t v = value[channels[c].second];
                if (deep)
                    reinterpret_cast<uint16_t*>(row)[x] = uint16_t(v << (options.bitDepth - 8) | v >> (16 - options.bitDepth));
                else
                    row[x] = v;
            }
        }
    }
    const Owned<heif_color_profile_nclx> profile = heifNclxProfile();
    profile->color_primaries = heif_color_primaries(options.primaries);
    profile->transfer_characteristics = heif_transfer_characteristics(options.transfer);
    profile->matrix_coefficients = heif_matrix_coefficients(options.matrix);
    profile->full_range_flag = options.fullRange ? 1 : 0;
    // libheif converts to YCbCr with the image's nclx and hands it to x265's VUI.
    heif_image_set_nclx_color_profile(image.get(), profile.get());
    if (!options.icc.empty())
        check(heif_image_set_raw_color_profile(image.get(), "prof", options.icc.data(), options.icc.size()), "icc");

    const Owned<heif_context> context = heifContext();
    Owned<heif_encoder> encoder;
    check(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, into(encoder)), "encoder");
    check(heif_encoder_set_lossy_quality(encoder.get(), options.quality), "quality");
    check(heif_encoder_set_parameter(encoder.get(), "preset", options.preset), "preset");
    check(heif_encoder_set_parameter(encoder.get(), "chroma", options.chroma), "chroma");
    const Owned<heif_encoding_options> encoding = heifEncodingOptions();
    encoding->macOS_compatibility_workaround = options.gridCrop ? 1 : 0;
    encoding->image_orientation = heif_orientation(options.orientation);
    check(heif_context_encode_image(context.get(), image.get(), encoder.get(), encoding.get(), nullptr), "encode");
    Bytes file;
    heif_writer writer{1, appendToBytes};
    check(heif_context_write(context.get(), &writer, &file), "write");
    return file;
}

CodedPicture encodePicture(const PictureOptions& options, const PixelFunction& pixel)
{
    const Bytes file = encodeHeic(options, pixel);
    // One image, no thumbnail: mdat holds exactly the picture's NAL units.
    const auto [meta, metaSize] = findBox(file, 0, file.size(), "meta");
    const auto [iprp, iprpSize] = findBox(file, meta + 12, meta + metaSize, "iprp");
    const auto [ipco, ipcoSize] = findBox(file, iprp + 8, iprp + iprpSize, "ipco");
    const auto [hvcC, hvcCSize] = findBox(file, ipco + 8, ipco + ipcoSize, "hvcC");
    const auto [mdat, mdatSize] = findBox(file, 0, file.size(), "mdat");
    return {Bytes(file.begin() + std::ptrdiff_t(hvcC), file.begin() + std::ptrdiff_t(hvcC + hvcCSize)),
            Bytes(file.begin() + std::ptrdiff_t(mdat + 8), file.begin() + std::ptrdiff_t(mdat + mdatSize))};
}

uint16_t Layout::add(const Bytes& property)
{
    auto it = std::find(properties.begin(), properties.end(), property);
    if (it == properties.end())
        it = properties.insert(properties.end(), property);
    return uint16_t(it - properties.begin() + 1);
}

Bytes assemble(const Layout& layout)
{
    uint32_t largestId = layout.primary;
    for (const Item& item : layout.items)
        largestId = std::max(largestId, item.id);
    const bool wideIds = largestId > 0xffff;
    const int idSize = wideIds ? 4 : 2;
    const bool wideIndices = layout.properties.size() > 127;

    Bytes ftyp(layout.majorBrand.begin(), layout.majorBrand.end());
    put(ftyp, 0, 4);
    for (const std::string& brand : layout.compatibleBrands)
        ftyp.insert(ftyp.end(), brand.begin(), brand.end());

    const auto ipmaBox = [&](const IpmaEntries& entries) {
        Bytes body = be(entries.size(), 4);
        for (const auto& [id, indices] : entries) {
            put(body, id, idSize);
            put(body, indices.size(), 1);
            for (const uint16_t index : indices)
                put(body, index, wideIndices ? 2 : 1);
        }
        return fullBox("ipma", wideIds ? 1 : 0, wideIndices ? 1 : 0, body);
    };

    Bytes infos = be(layout.items.size(), 2);
    IpmaEntries associations;
    Bytes idat;
    std::map<uint32_t, std::pair<uint64_t, uint64_t>> idatPlace;
    for (const Item& item : layout.items) {
        Bytes body = cat({be(item.id, idSize), be(0, 2), Bytes(item.type.begin(), item.type.end()), Bytes{0}});
        if (item.type == "mime")
            body = cat({body, Bytes(item.contentType.begin(), item.contentType.end()), Bytes{0}});
        infos = cat({infos, fullBox("infe", wideIds ? 3 : 2, item.hidden ? 1 : 0, body)});
        if (!item.properties.empty())
            associations.emplace_back(item.id, item.properties);
        if (item.inIdat && !item.sameDataAs) {
            idatPlace[item.id] = {idat.size(), item.data.size()};
            idat.insert(idat.end(), item.data.begin(), item.data.end());
        }
    }
    Bytes references;
    for (const Reference& reference : layout.references) {
        Bytes body = cat({be(reference.from, idSize), be(reference.to.size(), 2)});
        for (const uint32_t to : reference.to)
            put(body, to, idSize);
        references = cat({references, box(reference.type, body)});
    }
    Bytes properties;
    for (const Bytes& property : layout.properties)
        properties = cat({properties, property});
    associations.insert(associations.end(), layout.moreEntries.begin(), layout.moreEntries.end());
    Bytes iprp = cat({box("ipco", properties), ipmaBox(associations)});
    for (const IpmaEntries& extra : layout.extraIpma)
        iprp = cat({iprp, ipmaBox(extra)});

    // mdat follows meta; iloc's offsets are known once meta's size is.
    std::map<uint32_t, const Item*> byId;
    for (const Item& item : layout.items)
        byId[item.id] = &item;
    const auto ilocBox = [&](uint64_t mdatData) {
        Bytes body{0x44, 0x00};
        put(body, 0, 0);
        Bytes entries;
        size_t count = 0;
        uint64_t at = mdatData;
        std::map<uint32_t, std::pair<uint64_t, uint64_t>> mdatPlace;
        for (const Item& item : layout.items) {
            if (item.inIdat || item.sameDataAs || item.data.empty())
                continue;
            mdatPlace[item.id] = {at, item.data.size()};
            at += item.data.size();
        }
        for (const Item& item : layout.items) {
            const uint32_t source = item.sameDataAs ? item.sameDataAs : item.id;
            const Item* owner = byId.at(source);
            const auto& places = owner->inIdat ? idatPlace : mdatPlace;
            const auto place = places.find(source);
            if (place == places.end())
                continue;
            put(entries, item.id, idSize);
            put(entries, owner->inIdat ? 1 : 0, 2);
            put(entries, 0, 2);
            put(entries, 1, 2);
            put(entries, place->second.first, 4);
            put(entries, place->second.second, 4);
            ++count;
        }
        body = cat({body, be(count, wideIds ? 4 : 2), entries});
        return fullBox("iloc", wideIds ? 2 : 1, 0, body);
    };
    Bytes mdat;
    for (const Item& item : layout.items)
        if (!item.inIdat && !item.sameDataAs)
            mdat.insert(mdat.end(), item.data.begin(), item.data.end());

    const auto metaBox = [&](uint64_t mdatData) {
        Bytes body = cat({fullBox("hdlr", 0, 0, cat({be(0, 4), Bytes{'p', 'i', 'c', 't'}, Bytes(13, 0)})),
                          fullBox("pitm", wideIds ? 1 : 0, 0, be(layout.primary, idSize)),
                          fullBox("iinf", 0, 0, infos)});
        if (!references.empty())
            body = cat({body, fullBox("iref", wideIds ? 1 : 0, 0, references)});
        body = cat({body, box("iprp", iprp), ilocBox(mdatData)});
        if (!idat.empty())
            body = cat({body, box("idat", idat)});
        if (!layout.groups.empty())
            body = cat({body, box("grpl", layout.groups)});
        return fullBox("meta", 0, 0, body);
    };
    Bytes head = box("ftyp", ftyp);
    const size_t metaSize = metaBox(0).size();
    size_t between = 0;
    for (const Bytes& extra : layout.topLevel)
        between += extra.size();
    Bytes out = cat({head, metaBox(head.size() + metaSize + between + 8)});
    for (const Bytes& extra : layout.topLevel)
        out = cat({out, extra});
    return cat({out, box("mdat", mdat)});
}

Bytes makeGridHeic(const GridOptions& options, const PixelFunction& pixel)
{
    const int size = options.tileSize;
    const int columns = (options.width + size - 1) / size, rows = (options.height + size - 1) / size;
    Layout layout;
    const uint32_t gridId = 1;
    layout.primary = gridId;
    const PictureOptions& t = options.tile;
    const uint16_t colour = layout.add(nclx(t.primaries, t.transfer, t.matrix, t.fullRange));
    const uint16_t gridColour = options.gridMatrix < 0
        ? colour
        : layout.add(nclx(t.primaries, t.transfer, options.gridMatrix, t.fullRange));
    layout.items.push_back({gridId, "grid", false, gridDescriptor(rows, columns, uint32_t(options.width),
                                                                  uint32_t(options.height)),
                            true, 0, "", {layout.add(ispe(uint32_t(options.width), uint32_t(options.height))), gridColour}});
    Reference tiles{"dimg", gridId, {}};
    PictureOptions tileOptions = t;
    tileOptions.width = tileOptions.height = size;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const CodedPicture picture = encodePicture(tileOptions, [&](int x, int y, uint8_t* rgb) {
                pixel(column * size + x, row * size + y, rgb);
            });
            const uint32_t id = gridId + 1 + uint32_t(tiles.to.size());
            layout.items.push_back({id, "hvc1", true, picture.data, false, 0, "",
                                    {layout.add(picture.hvcC), layout.add(ispe(uint32_t(size), uint32_t(size))), colour}});
            tiles.to.push_back(id);
        }
    }
    layout.references.push_back(tiles);
    return assemble(layout);
}

} // namespace tessavo::samples
