// Writes the sample HEIF files of tests/data (see tests/data/README.md),
// each laid out as one kind of real-world file is, from pictures coded by
// libheif's encoder.
//
// usage: make_samples OUT_DIR
#include "heif_assembler.h"

#include "conversion/core/heif_file.h"
#include "conversion/core/owners.h"
#include "conversion/core/ycbcr_decode.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tessavo::samples;

namespace {

uint8_t level(double v) { return uint8_t(std::clamp(v, 0.0, 255.0) + 0.5); }

// Colour gradients under a fine luma texture, a brighter block in one
// corner (so that no turn or mirror maps the picture onto itself), and a hue that
// changes fast near the right and bottom edges, where a misplaced chroma
// sample shows. `seed` moves the texture.
PixelFunction scene(int width, int height, int seed = 0)
{
    return [=](int x, int y, uint8_t* rgb) {
        const double u = double(x) / std::max(1, width - 1), v = double(y) / std::max(1, height - 1);
        const double texture = 12 * std::sin(x * 0.45 + seed) * std::cos(y * 0.35 - seed);
        const double hue = 5 * (std::max(0, x - (width - 9)) - std::max(0, y - (height - 9)));
        const double block = x < width / 4 && y < height / 4 ? 40 + 10 * seed : 0;
        // Inside 0..255 throughout: clipping would hide what the routes do.
        rgb[0] = level(55 + 120 * u + texture + hue + block);
        rgb[1] = level(60 + 110 * v + texture + block);
        rgb[2] = level(180 - 110 * u * v + texture - hue + block);
    };
}

// Gentle gradients that code in few bytes, for files with many pictures.
PixelFunction smooth(int width, int height)
{
    return [=](int x, int y, uint8_t* rgb) {
        const double u = double(x) / width, v = double(y) / height;
        rgb[0] = level(40 + 180 * u);
        rgb[1] = level(200 - 120 * v);
        rgb[2] = level(x < width / 3 && y < height / 3 ? 230 : 90 + 80 * u * v);
    };
}

PixelFunction grey(int width, int height)
{
    return [=](int x, int y, uint8_t* rgb) { rgb[0] = level(20 + 220.0 * (x + y) / (width + height)); };
}

PictureOptions picture(int width, int height, int quality = 70)
{
    PictureOptions o;
    o.width = width;
    o.height = height;
    o.quality = quality;
    return o;
}

// One hvc1 item with its hvcC and ispe, plus `more` properties after them.
Item codedItem(Layout& layout, uint32_t id, const PictureOptions& options, const PixelFunction& pixel,
               std::vector<Bytes> more = {}, bool hidden = false)
{
    const CodedPicture coded = encodePicture(options, pixel);
    Item item{id, "hvc1", hidden, coded.data, false, 0, "", {}};
    item.properties = {layout.add(coded.hvcC), layout.add(ispe(uint32_t(options.width), uint32_t(options.height)))};
    for (const Bytes& property : more)
        item.properties.push_back(layout.add(property));
    return item;
}

const Bytes kNclx601 = nclx(1, 13, 6, true);

Bytes exifPayload()
{
    // Offset to the TIFF header, then a big-endian IFD with Make and Orientation.
    return cat({be(0, 4), Bytes{'M', 'M', 0, 42}, be(8, 4), be(2, 2), be(0x010f, 2), be(2, 2), be(4, 4),
                Bytes{'T', 's', 'v', 0}, be(0x0112, 2), be(3, 2), be(1, 4), be(1, 2), be(0, 2), be(0, 4)});
}

Bytes xmpPayload()
{
    const std::string xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                            "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>";
    return Bytes(xmp.begin(), xmp.end());
}

// A grid of hidden hvc1 tiles for `layout`, items from `firstId` on.
Reference gridTiles(Layout& layout, uint32_t gridId, uint32_t firstId, int columns, int rows, int tile,
                    const PictureOptions& base, const PixelFunction& pixel, std::vector<Bytes> more = {})
{
    Reference dimg{"dimg", gridId, {}};
    PictureOptions options = base;
    options.width = options.height = tile;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const uint32_t id = firstId + uint32_t(dimg.to.size());
            layout.items.push_back(codedItem(
                layout, id, options, [&](int x, int y, uint8_t* rgb) { pixel(column * tile + x, row * tile + y, rgb); },
                more, true));
            dimg.to.push_back(id);
        }
    return dimg;
}

// As iOS 18 lays out a photo with an HDR gain map: a grid primary turned a
// quarter, tiles without colr, Exif, a thumbnail, the gain map as an
// auxiliary image of both the primary and a 'tmap' item, and an 'altr'
// group of the two.
Bytes ios18(bool secondTarget)
{
    Layout layout;
    layout.compatibleBrands = {"mif1", "MiHB", "MiHE", "MiPr", "miaf", "heic", "tmap"};
    const uint32_t grid = 5, exif = 6, gainMap = 7, tmap = 8, thumbnail = 9;
    layout.primary = grid;
    const Reference tiles = gridTiles(layout, grid, 1, 2, 2, 64, picture(64, 64), scene(120, 90));
    layout.items.insert(layout.items.begin(),
                        Item{grid, "grid", false, gridDescriptor(2, 2, 120, 90), true, 0, "",
                             {layout.add(ispe(120, 90)), layout.add(kNclx601), layout.add(irot(3))}});
    layout.items.push_back({exif, "Exif", true, exifPayload(), false, 0, "", {}});
    layout.items.push_back(codedItem(layout, gainMap, picture(64, 64, 50), grey(64, 64),
                                     {auxC("urn:com:apple:photo:2020:aux:hdrgainmap")}, true));
    // ISO 21496-1 metadata: version, then flags and fractions libheif never reads.
    Bytes tmapData = {0, 0, 0, 0, 0x40};
    tmapData.insert(tmapData.end(), 40, 0x11);
    layout.items.push_back({tmap, "tmap", false, tmapData, true, 0, "", {layout.add(ispe(120, 90)), layout.add(irot(3))}});
    layout.items.push_back(codedItem(layout, thumbnail, picture(64, 64, 50), scene(64, 64), {irot(3)}, true));
    layout.references = {tiles,
                         {"cdsc", exif, {grid}},
                         {"auxl", gainMap, secondTarget ? std::vector<uint32_t>{grid, tmap} : std::vector<uint32_t>{grid}},
                         {"dimg", tmap, {grid, gainMap}},
                         {"thmb", thumbnail, {grid}}};
    layout.groups = fullBox("altr", 0, 0, cat({be(100, 4), be(2, 4), be(tmap, 4), be(grid, 4)}));
    return assemble(layout);
}

// An alpha plane shared by the primary image and a second one; a thumbnail.
Bytes sharedAlpha(bool secondTarget)
{
    Layout layout;
    PictureOptions alpha = picture(64, 64, 90);
    alpha.monochrome = true;
    layout.items.push_back(codedItem(layout, 1, picture(64, 64), scene(64, 64), {kNclx601}));
    layout.items.push_back(codedItem(layout, 2, alpha, grey(64, 64),
                                     {auxC("urn:mpeg:mpegB:cicp:systems:auxiliary:alpha")}, true));
    layout.items.push_back(codedItem(layout, 3, picture(64, 64), scene(64, 64, 1), {kNclx601}, true));
    layout.items.push_back(codedItem(layout, 4, picture(64, 64, 40), scene(64, 64), {kNclx601}, true));
    layout.references = {{"auxl", 2, secondTarget ? std::vector<uint32_t>{1, 3} : std::vector<uint32_t>{1}},
                         {"thmb", 4, {1}}};
    return assemble(layout);
}

// What recent phones add around a 48-tile grid: a thumbnail, a depth map,
// Exif and XMP items.
Bytes recentPhone()
{
    Layout layout;
    layout.compatibleBrands = {"mif1", "MiHE", "MiPr", "miaf", "MiHB", "heic"};
    const uint32_t grid = 100;
    layout.primary = grid;
    layout.items.push_back({grid, "grid", false, gridDescriptor(6, 8, 500, 380), true, 0, "",
                            {layout.add(ispe(500, 380)), layout.add(kNclx601), layout.add(irot(1))}});
    const Reference tiles = gridTiles(layout, grid, 1, 8, 6, 64, picture(64, 64, 40), smooth(500, 380));
    PictureOptions depth = picture(64, 64, 30);
    depth.monochrome = true;
    layout.items.push_back(codedItem(layout, 101, picture(64, 64, 40), smooth(64, 64), {kNclx601, irot(1)}, true));
    layout.items.push_back(codedItem(layout, 102, depth, grey(64, 64), {auxC("urn:mpeg:hevc:2015:auxid:2")}, true));
    layout.items.push_back({103, "Exif", true, exifPayload(), false, 0, "", {}});
    Item xmp{104, "mime", true, xmpPayload(), false, 0, "application/rdf+xml", {}};
    layout.items.push_back(xmp);
    layout.references = {tiles, {"thmb", 101, {grid}}, {"auxl", 102, {grid}}, {"cdsc", 103, {grid}}, {"cdsc", 104, {grid}}};
    return assemble(layout);
}

// One hvc1 primary; `colour` is its colr (none when empty).
Bytes single(const PictureOptions& options, const PixelFunction& pixel, std::vector<Bytes> properties)
{
    Layout layout;
    layout.items.push_back(codedItem(layout, 1, options, pixel, properties));
    return assemble(layout);
}

PictureOptions vui(int matrix, bool fullRange)
{
    PictureOptions o = picture(96, 64);
    o.matrix = matrix;
    o.fullRange = fullRange;
    return o;
}

// Two coded images stacked into one picture, the second over the first's
// last rows, both cut from one scene.
Bytes overlay()
{
    Layout layout;
    const PictureOptions limited = vui(6, false);
    const uint16_t background[4] = {0, 0, 0, 0xffff};
    layout.items.push_back({1, "iovl", false, overlayDescriptor(background, 96, 112, {{0, 0}, {0, 48}}), true, 0, "",
                            {layout.add(ispe(96, 112))}});
    const PixelFunction whole = scene(96, 112);
    layout.items.push_back(codedItem(layout, 2, limited, whole, {}, true));
    layout.items.push_back(
        codedItem(layout, 3, limited, [&](int x, int y, uint8_t* rgb) { whole(x, y + 48, rgb); }, {}, true));
    layout.references = {{"dimg", 1, {2, 3}}};
    return assemble(layout);
}

Bytes primaryNotFirst()
{
    Layout layout;
    for (uint32_t id = 1; id <= 3; ++id)
        layout.items.push_back(codedItem(layout, id, vui(6, true), scene(96, 64, int(id))));
    layout.primary = 2;
    return assemble(layout);
}

// The primary's properties, then an irot for it that libheif ignores: in a
// second entry of the same ipma box, or in a second ipma box.
Bytes ignoredRotation(bool secondBox)
{
    Layout layout;
    layout.items.push_back(codedItem(layout, 1, picture(96, 64), scene(96, 64), {kNclx601}));
    const IpmaEntries turn{{1, {layout.add(irot(1))}}};
    if (secondBox) {
        layout.extraIpma.push_back(turn);
        return assemble(layout);
    }
    layout.moreEntries = turn;
    return assemble(layout);
}

Bytes reusedTile()
{
    Layout layout;
    layout.items.push_back({1, "grid", false, gridDescriptor(3, 3, 180, 180), true, 0, "",
                            {layout.add(ispe(180, 180)), layout.add(kNclx601)}});
    // Texture that repeats every 32 pixels, so that the tiles meet seamlessly.
    const PixelFunction seamless = [](int x, int y, uint8_t* rgb) {
        const double t = 20 * std::sin(x * 0.19635) * std::cos(y * 0.19635);
        rgb[0] = level(120 + t);
        rgb[1] = level(140 + t);
        rgb[2] = level(170 + t + 15 * std::sin(y * 0.19635));
    };
    layout.items.push_back(codedItem(layout, 2, picture(64, 64), seamless, {kNclx601}, true));
    layout.references = {{"dimg", 1, std::vector<uint32_t>(9, 2)}};
    return assemble(layout);
}

// An image sequence's file with the still image beside the track.
Bytes imageSequence()
{
    Layout layout;
    layout.majorBrand = "msf1";
    layout.compatibleBrands = {"msf1", "mif1", "heic", "hevc", "iso8"};
    layout.items.push_back(codedItem(layout, 1, vui(6, false), scene(96, 64)));
    const Bytes mvhd = fullBox("mvhd", 0, 0, cat({be(0, 8), be(1000, 4), be(40, 4), Bytes(80, 0)}));
    const Bytes tkhd = fullBox("tkhd", 0, 3, cat({be(0, 8), be(1, 4), be(0, 4), be(40, 4), Bytes(52, 0),
                                                  be(96u << 16, 4), be(64u << 16, 4)}));
    const Bytes mdhd = fullBox("mdhd", 0, 0, cat({be(0, 8), be(1000, 4), be(40, 4), be(0x55c4, 2), be(0, 2)}));
    const Bytes hdlr = fullBox("hdlr", 0, 0, cat({be(0, 4), Bytes{'p', 'i', 'c', 't'}, Bytes(13, 0)}));
    layout.topLevel.push_back(box("moov", cat({mvhd, box("trak", cat({tkhd, box("mdia", cat({mdhd, hdlr}))}))})));
    return assemble(layout);
}

// A row of `columns` tiles of 512x64 (distinct items sharing one coded
// picture) under a grid `width` wide and 16 tall.
Bytes wideGrid(int columns, uint32_t width)
{
    Layout layout;
    layout.items.push_back({1, "grid", false, gridDescriptor(1, columns, width, 16), true, 0, "",
                            {layout.add(ispe(width, 16)), layout.add(kNclx601)}});
    Item first = codedItem(layout, 2, picture(512, 64, 50), smooth(512, 64), {kNclx601}, true);
    Reference dimg{"dimg", 1, {}};
    for (int i = 0; i < columns; ++i) {
        Item tile = first;
        tile.id = uint32_t(2 + i);
        if (i > 0) {
            tile.data.clear();
            tile.sameDataAs = 2;
        }
        layout.items.push_back(tile);
        dimg.to.push_back(tile.id);
    }
    layout.references = {dimg};
    return assemble(layout);
}

// As libheif's own writer stores a photo: the orientation as irot and imir,
// an odd size cropped by clap (or by a one-tile grid), alpha growing from
// the top row down. A picture of a few pixels is a grey ramp: 4:2:0 chroma
// has no room for a scene's colour detail there.
Bytes written(int width, int height, int orientation, const std::function<void(PictureOptions&)>& more = {})
{
    PictureOptions o = picture(width, height, 90);
    o.orientation = orientation;
    if (more)
        more(o);
    const PixelFunction ramp = [](int x, int y, uint8_t* rgb) { rgb[0] = rgb[1] = rgb[2] = level(50 + 30 * x + 25 * y); };
    const PixelFunction base = width < 8 || height < 8 ? ramp : scene(width, height);
    return encodeHeic(o, [&](int x, int y, uint8_t* rgba) {
        base(x, y, rgba);
        rgba[3] = level(25 + 230.0 * y / std::max(1, height - 1));
    });
}

// A Display P3 profile with a 2.2 curve, made by lcms2, dated 2024-01-01 so
// that it comes out the same each time.
Bytes displayP3Profile()
{
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const tessavo::Owned<cmsToneCurve> curve(cmsBuildGamma(nullptr, 2.2));
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const tessavo::LcmsProfile profile(cmsCreateRGBProfile(&d65, &p3, curves));
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile.get(), nullptr, &size);
    Bytes icc(size);
    cmsSaveProfileToMem(profile.get(), icc.data(), &size);
    const Bytes date = cat({be(2024, 2), be(1, 2), be(1, 2), be(0, 6)});
    std::copy(date.begin(), date.end(), icc.begin() + 24);
    return icc;
}

// `grid` whose last tile's first NAL unit claims to run far past its end.
Bytes brokenLastTile(Bytes grid)
{
    const auto heif = tessavo::readHeifFile(grid);
    const auto layout = heif ? tessavo::hevcLayout(*heif, grid) : std::nullopt;
    if (!layout)
        throw std::runtime_error("no tiles to break");
    std::fill_n(grid.begin() + (layout->tiles.back().extents[0].data() - grid.data()), 4, uint8_t(0xff));
    return grid;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUT_DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    try {
        std::filesystem::create_directories(dir);
        const auto save = [&](const std::string& name, const Bytes& bytes) {
            std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              std::streamsize(bytes.size()));
            std::printf("%-28s %6zu bytes\n", name.c_str(), bytes.size());
        };
        const auto grid = [](int width, int height, int matrix, bool fullRange, int gridMatrix = -1) {
            GridOptions o;
            o.gridMatrix = gridMatrix;
            o.width = width;
            o.height = height;
            o.tileSize = 64;
            o.tile = picture(64, 64);
            o.tile.matrix = matrix;
            o.tile.fullRange = fullRange;
            return makeGridHeic(o, scene(width, height));
        };
        save("phone-grid.heic", grid(120, 100, 6, true));
        save("broken-tile.heic", brokenLastTile(grid(120, 100, 6, true)));
        // libheif converts each tile with the tile's own colr: BT.709 here.
        save("grid-bt709.heic", grid(120, 100, 1, true, 6));
        save("grid-limited-range.heic", grid(120, 100, 6, false));
        save("odd-grid.heic", grid(125, 109, 6, true));
        save("ios18-gainmap.heic", ios18(true));
        save("ios18-gainmap-one-target.heic", ios18(false));
        save("shared-alpha.heic", sharedAlpha(true));
        save("shared-alpha-one-target.heic", sharedAlpha(false));
        save("recent-phone.heic", recentPhone());
        PictureOptions deep = picture(96, 64);
        deep.bitDepth = 10;
        Layout heix;
        heix.majorBrand = "heix";
        heix.compatibleBrands = {"mif1", "heix"};
        heix.items.push_back(codedItem(heix, 1, deep, scene(96, 64), {kNclx601}));
        save("heix-10-bit.heic", assemble(heix));
        save("overlay.heic", overlay());
        save("primary-not-first.heic", primaryNotFirst());
        save("no-colr-vui-limited.heic", single(vui(6, false), scene(96, 64), {}));
        save("no-colr-vui-bt709.heic", single(vui(1, true), scene(96, 64), {}));
        // Crops: 50x36 from (4, 6), then a quarter turn clockwise.
        save("clap-even.heic", single(picture(64, 64), scene(64, 64), {kNclx601, clap(50, 1, 36, 1, -3, 1, -8, 1), irot(3)}));
        // The same crop from (3, 5): chroma would fall between samples.
        save("clap-odd.heic", single(picture(64, 64), scene(64, 64), {kNclx601, clap(50, 1, 36, 1, -4, 1, -9, 1)}));
        // Turned and mirrored first; the crop, 40x70 from (10, 12) of that
        // view, is (14, 14) to (83, 53) of the coded 96x64.
        save("clap-turned.heic",
             single(picture(96, 64), scene(96, 64), {kNclx601, irot(1), imir(1), clap(40, 1, 70, 1, -2, 1, -1, 1)}));
        // 33x17 from the top left of a 64x64 picture, as libheif's writer crops odd sizes.
        save("odd-size.heic", single(picture(64, 64), scene(33, 17), {kNclx601, clap(33, 1, 17, 1, -31, 2, -47, 2)}));
        save("ipma-duplicate-entry.heic", ignoredRotation(false));
        save("ipma-second-box.heic", ignoredRotation(true));
        save("grid-reused-tile.heic", reusedTile());
        save("image-sequence.heic", imageSequence());
        save("grid-16384.heic", wideGrid(32, 16384));
        save("grid-16385.heic", wideGrid(33, 16385));
        save("orientation-1.heic", written(48, 32, 1));
        save("orientation-2-33x17.heic", written(33, 17, 2));
        save("orientation-3-alpha.heic", written(48, 32, 3, [](PictureOptions& o) { o.alpha = true; }));
        save("orientation-4-3x5.heic", written(3, 5, 4));
        save("orientation-5-17x33.heic", written(17, 33, 5));
        save("orientation-6-icc.heic", written(48, 32, 6, [](PictureOptions& o) { o.icc = displayP3Profile(); }));
        save("orientation-7-grid-crop.heic", written(37, 21, 7, [](PictureOptions& o) { o.gridCrop = true; }));
        save("orientation-8-10-bit.heic", written(48, 32, 8, [](PictureOptions& o) { o.bitDepth = 10; }));
        save("chroma-444.heic", written(96, 64, 1, [](PictureOptions& o) { o.chroma = "444"; }));
        save("chroma-422.heic", written(96, 64, 1, [](PictureOptions& o) { o.chroma = "422"; }));
        save("single-16384.heic", single(picture(16384, 64, 30), smooth(16384, 64), {kNclx601}));
        // x265 codes even widths only, and Debian's libheif refuses a coded
        // width past its limit: an ispe of 16385 over a 16384 picture is
        // what only the converter's own check refuses.
        Layout wide;
        wide.items.push_back(codedItem(wide, 1, picture(16384, 64, 30), smooth(16384, 64), {kNclx601}));
        wide.items[0].properties[1] = wide.add(ispe(16385, 64));
        save("single-16385.heic", assemble(wide));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_samples: %s\n", error.what());
        return 1;
    }
    return 0;
}
