// Writes the gain-map samples of tests/data (see README.md there) with the
// HEIF assembler kept in the history (git show 4c1b6bd:tools/heif_assembler.*).
#include "heif_assembler.h"

#include <cmath>
#include <fstream>
#include <string>

using namespace tessavo::samples;

namespace {

uint8_t level(double v) { return uint8_t(std::clamp(v, 0.0, 255.0) + 0.5); }

// Apple's maker note (offsets from its start) with tags 33 and 48 as signed rationals.
Bytes exif(int32_t n33, int32_t d33, int32_t n48, int32_t d48)
{
    const Bytes note = cat({Bytes{'A', 'p', 'p', 'l', 'e', ' ', 'i', 'O', 'S', 0, 0, 1, 'M', 'M'}, be(2, 2),
                            be(0x21, 2), be(10, 2), be(1, 4), be(44, 4), be(0x30, 2), be(10, 2), be(1, 4), be(52, 4),
                            be(0, 4), be(uint32_t(n33), 4), be(uint32_t(d33), 4), be(uint32_t(n48), 4), be(uint32_t(d48), 4)});
    // IFD 0 holds only the Exif IFD's offset (26); that IFD only the maker note at 44.
    return cat({be(0, 4), Bytes{'M', 'M', 0, 42}, be(8, 4), be(1, 2), be(0x8769, 2), be(4, 2), be(1, 4), be(26, 4),
                be(0, 4), be(1, 2), be(0x927c, 2), be(7, 2), be(note.size(), 4), be(44, 4), be(0, 4), note});
}

Bytes fractions(std::initializer_list<std::pair<int32_t, uint32_t>> values)
{
    Bytes out;
    for (const auto& [n, d] : values)
        out = cat({out, be(uint32_t(n), 4), be(d, 4)});
    return out;
}

enum class Kind { Apple, AppleBroken, AuxToExif, Iso, IsoTmapTarget, IsoInconsistent };

Bytes sample(Kind kind)
{
    const bool iso = kind >= Kind::Iso;
    Layout layout;
    layout.compatibleBrands = {"mif1", "MiHB", "MiHE", "MiPr", "miaf", "heic"};
    const uint32_t grid = 1, exifItem = 6, map = 7, tmap = 8;
    layout.primary = grid;
    std::vector<uint16_t> gridProperties{layout.add(ispe(256, 192)), layout.add(nclx(1, 13, 6, true))};
    if (!iso) // 240x160 from (10, 20)
        gridProperties.push_back(layout.add(clap(240, 1, 160, 1, -3, 1, -4, 1)));
    gridProperties.push_back(layout.add(irot(iso ? 3 : 1)));
    layout.items.push_back({grid, "grid", false, gridDescriptor(2, 2, 256, 192), true, 0, "", gridProperties});
    Reference tiles{"dimg", grid, {}};
    PictureOptions tile;
    tile.width = 128, tile.height = 96, tile.quality = 60;
    for (uint32_t t = 0; t < 4; ++t) {
        const int ox = int(t % 2) * 128, oy = int(t / 2) * 96;
        const CodedPicture coded = encodePicture(tile, [&](int x, int y, uint8_t* rgb) {
            rgb[0] = level(40 + 0.7 * (x + ox)), rgb[1] = level(50 + (y + oy)), rgb[2] = level(150 - 0.4 * (x + ox));
        });
        layout.items.push_back({2 + t, "hvc1", true, coded.data, false, 0, "",
                                {layout.add(coded.hvcC), layout.add(ispe(128, 96)), layout.add(nclx(1, 13, 6, true))}});
        tiles.to.push_back(2 + t);
    }
    layout.items.push_back({exifItem, "Exif", true, iso ? exif(4, 5, 1, 2) : exif(6, 5, 1, 200), false, 0, "", {}});
    PictureOptions grey = tile;
    grey.monochrome = true, grey.quality = 90;
    CodedPicture coded = encodePicture(grey, [](int x, int y, uint8_t* v) {
        const double disk = std::hypot(x - 90, y - 30) < 20 ? 80 : 0;
        v[0] = level(10 + 150.0 * x / 127 * (0.3 + 0.7 * y / 95) + disk);
    });
    if (kind == Kind::AppleBroken)
        std::fill_n(coded.data.begin(), 4, 0xff); // the first NAL unit's length
    layout.items.push_back({map, "hvc1", true, coded.data, false, 0, "",
                            {layout.add(coded.hvcC), layout.add(ispe(128, 96)),
                             layout.add(auxC("urn:com:apple:photo:2020:aux:hdrgainmap"))}});
    layout.references = {tiles, {"cdsc", exifItem, {grid}}};
    const std::vector<uint32_t> mapTargets = kind == Kind::AuxToExif       ? std::vector<uint32_t>{exifItem}
                                             : kind == Kind::IsoTmapTarget ? std::vector<uint32_t>{tmap}
                                             : iso                         ? std::vector<uint32_t>{grid, tmap}
                                                                           : std::vector<uint32_t>{grid};
    layout.references.push_back({"auxl", map, mapTargets});
    if (iso) {
        layout.compatibleBrands.push_back("tmap");
        // Version, minimum and writer version, flags (base colour space), headrooms 0 and 1.3,
        // then min, max, gamma, base and alternate offset of one channel.
        const Bytes metadata = cat({Bytes{0, 0, 0, 0, 0, 0x40},
                                    fractions({{0, 1}, {13, 10}, {1, 8}, {13, 10},
                                               {kind == Kind::IsoInconsistent ? 0 : 11, 10}, {1, 64}, {1, 32}})});
        layout.items.push_back({tmap, "tmap", false, metadata, true, 0, "",
                                {layout.add(ispe(256, 192)), layout.add(irot(3))}});
        layout.references.push_back({"dimg", tmap, {grid, map}});
        layout.groups = fullBox("altr", 0, 0, cat({be(100, 4), be(2, 4), be(tmap, 4), be(grid, 4)}));
    }
    return assemble(layout);
}

} // namespace

int main(int, char** argv)
{
    const std::pair<const char*, Kind> files[] = {
        {"apple-gainmap.heic", Kind::Apple}, {"apple-gainmap-broken.heic", Kind::AppleBroken},
        {"aux-to-exif.heic", Kind::AuxToExif}, {"iso-gainmap.heic", Kind::Iso},
        {"iso-gainmap-tmap-target.heic", Kind::IsoTmapTarget}, {"iso-gainmap-inconsistent.heic", Kind::IsoInconsistent}};
    for (const auto& [name, kind] : files) {
        const Bytes bytes = sample(kind);
        std::ofstream(std::string(argv[1]) + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}
