// Writes gain-map samples of tests/data (see README.md there) with the history's HEIF assembler.
#include "heif_assembler.h"

#include <cmath>
#include <fstream>

using namespace tessavo::samples;

// Exif: IFD 0, the Exif IFD (26), Apple's maker note (44) with tags 33 and 48 (offsets from its start).
Bytes exif(uint32_t n33, uint32_t d33, uint32_t n48, uint32_t d48)
{
    const Bytes note = cat({Bytes{'A', 'p', 'p', 'l', 'e', ' ', 'i', 'O', 'S', 0, 0, 1, 'M', 'M'}, be(2, 2), be(0x21, 2),
                            be(10, 2), be(1, 4), be(44, 4), be(0x30, 2), be(10, 2), be(1, 4), be(52, 4), be(0, 4),
                            be(n33, 4), be(d33, 4), be(n48, 4), be(d48, 4)});
    return cat({be(0, 4), Bytes{'M', 'M', 0, 42}, be(8, 4), be(1, 2), be(0x8769, 2), be(4, 2), be(1, 4), be(26, 4),
                be(0, 4), be(1, 2), be(0x927c, 2), be(7, 2), be(note.size(), 4), be(44, 4), be(0, 4), note});
}

// Apple's layout, or with `iso` iOS 18's (the map's auxl to the primary and tmap, or to tmap only).
Bytes sample(bool iso, bool tmapOnly = false)
{
    Layout layout; // grid 1, tiles 2 to 5, Exif 6, map 7, tmap 8
    layout.compatibleBrands = {"mif1", "MiHB", "MiHE", "MiPr", "miaf", "heic"};
    std::vector<uint16_t> gridProperties{layout.add(ispe(256, 192)), layout.add(nclx(1, 13, 6, true))};
    if (!iso) // 240x160 from (10, 20)
        gridProperties.push_back(layout.add(clap(240, 1, 160, 1, 2, 1, 4, 1)));
    gridProperties.push_back(layout.add(irot(iso ? 3 : 1)));
    layout.items.push_back({1, "grid", false, gridDescriptor(2, 2, 256, 192), true, 0, "", gridProperties});
    PictureOptions options{.width = 128, .height = 96, .quality = 60};
    for (uint32_t t = 0; t < 4; ++t) {
        const CodedPicture coded = encodePicture(options, [ox = t % 2 * 128, oy = t / 2 * 96](int x, int y, uint8_t* rgb) {
            rgb[0] = uint8_t(40.5 + 0.7 * (x + ox)), rgb[1] = uint8_t(50.5 + (y + oy)), rgb[2] = uint8_t(150.5 - 0.4 * (x + ox));
        });
        layout.items.push_back({2 + t, "hvc1", true, coded.data, false, 0, "",
                                {layout.add(coded.hvcC), layout.add(ispe(128, 96)), layout.add(nclx(1, 13, 6, true))}});
    }
    layout.items.push_back({6, "Exif", true, iso ? exif(4, 5, 1, 2) : exif(6, 5, 1, 200), false, 0, "", {}});
    options.monochrome = true, options.quality = 90;
    CodedPicture map = encodePicture(options, [](int x, int y, uint8_t* v) {
        v[0] = uint8_t(10.5 + 150.0 * x / 127 * (0.3 + 0.7 * y / 95) + (std::hypot(x - 90, y - 30) < 20 ? 80 : 0));
    });
    layout.items.push_back({7, "hvc1", true, map.data, false, 0, "",
                            {layout.add(map.hvcC), layout.add(ispe(128, 96)),
                             layout.add(auxC("urn:com:apple:photo:2020:aux:hdrgainmap"))}});
    layout.references = {{"dimg", 1, {2, 3, 4, 5}}, {"cdsc", 6, {1}},
                         {"auxl", 7, tmapOnly ? std::vector<uint32_t>{8} : iso ? std::vector<uint32_t>{1, 8} : std::vector<uint32_t>{1}}};
    if (iso) {
        layout.compatibleBrands.push_back("tmap");
        // Versions, flags (base colour space); headrooms, min, max, gamma, offsets as fractions.
        Bytes metadata{0, 0, 0, 0, 0, 0x40};
        for (const uint32_t n : {0, 1, 13, 10, 1, 8, 13, 10, 11, 10, 1, 64, 1, 32})
            metadata = cat({metadata, be(n, 4)});
        layout.items.push_back({8, "tmap", false, metadata, true, 0, "", {layout.add(ispe(256, 192)), layout.add(irot(3))}});
        layout.references.push_back({"dimg", 8, {1, 7}});
        layout.groups = fullBox("altr", 0, 0, cat({be(100, 4), be(2, 4), be(8, 4), be(1, 4)}));
    }
    return assemble(layout);
}

int main(int, char** argv)
{
    for (const auto& [name, bytes] : {std::pair{"apple-gainmap", sample(false)}, {"iso-gainmap", sample(true)},
                                      {"iso-gainmap-tmap-target", sample(true, true)}})
        std::ofstream(std::string(argv[1]) + "/" + name + ".heic", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
