#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Puts HEIF files together from HEVC pictures coded by libheif's encoder
// (x265) and boxes written here: grids, overlays, shared references,
// several ipma boxes and other layouts libheif 1.15 cannot write. For the
// sample files under tests/data and the benchmark corpus; not part of the
// converter.
namespace tessavo::samples {

using Bytes = std::vector<uint8_t>;

// Fills one pixel: RGB, or the grey level in rgb[0] for a monochrome picture;
// rgb[3], 255 unless set, is the alpha of a picture with an alpha plane.
using PixelFunction = std::function<void(int x, int y, uint8_t* rgb)>;

struct PictureOptions {
    int width = 64, height = 64; // at least 64: x265 pads smaller pictures
    int quality = 80;
    int bitDepth = 8;
    bool monochrome = false;
    // Written into the stream's VUI by the encoder.
    int primaries = 1, transfer = 13, matrix = 6;
    bool fullRange = true;
    const char* preset = "fast";
    const char* chroma = "420";
    // Written by libheif into a whole file (encodeHeic) only.
    int orientation = 1;   // EXIF numbering, as irot and imir
    bool alpha = false;    // an alpha plane, from rgb[3]
    Bytes icc;             // a prof colour box when not empty
    bool gridCrop = false; // an odd size cropped by a one-tile grid instead of clap
};

// One coded picture: its whole hvcC box and its NAL units (4-byte lengths).
struct CodedPicture {
    Bytes hvcC;
    Bytes data;
};

CodedPicture encodePicture(const PictureOptions& options, const PixelFunction& pixel);

// The whole file libheif's own writer makes of one picture.
Bytes encodeHeic(const PictureOptions& options, const PixelFunction& pixel);

Bytes box(const std::string& type, const Bytes& body);
Bytes fullBox(const std::string& type, int version, uint32_t flags, const Bytes& body);
Bytes be(uint64_t value, int size);
Bytes cat(std::initializer_list<Bytes> parts);

// Property boxes.
Bytes ispe(uint32_t width, uint32_t height);
Bytes nclx(int primaries, int transfer, int matrix, bool fullRange);
Bytes irot(int quarterTurns);
Bytes imir(int axis);
Bytes clap(uint32_t width, uint32_t widthD, uint32_t height, uint32_t heightD, int32_t horizontal,
           uint32_t horizontalD, int32_t vertical, uint32_t verticalD);
Bytes auxC(const std::string& urn);

// Item data of derived images.
Bytes gridDescriptor(int rows, int columns, uint32_t width, uint32_t height);
Bytes overlayDescriptor(const uint16_t background[4], uint32_t width, uint32_t height,
                        const std::vector<std::pair<int32_t, int32_t>>& offsets);

struct Item {
    uint32_t id = 0;
    std::string type;
    bool hidden = false;
    Bytes data;
    bool inIdat = false;     // construction method 1
    uint32_t sameDataAs = 0; // share another item's extents instead of data of its own
    std::string contentType; // for 'mime' items
    std::vector<uint16_t> properties; // 1-based indices into Layout::properties
};

struct Reference {
    std::string type;
    uint32_t from = 0;
    std::vector<uint32_t> to;
};

using IpmaEntries = std::vector<std::pair<uint32_t, std::vector<uint16_t>>>;

struct Layout {
    std::string majorBrand = "heic";
    std::vector<std::string> compatibleBrands{"mif1", "heic"};
    uint32_t primary = 1;
    std::vector<Bytes> properties;
    std::vector<Item> items;
    std::vector<Reference> references;
    IpmaEntries moreEntries;            // appended to the ipma box made from the items' lists
    std::vector<IpmaEntries> extraIpma; // ipma boxes after that one
    Bytes groups;                       // grpl payload; none when empty
    std::vector<Bytes> topLevel;        // whole boxes between meta and mdat

    // The 1-based index of `property`, added unless an equal one is there.
    uint16_t add(const Bytes& property);
};

Bytes assemble(const Layout& layout);

// Laid out like a phone's photo: a 'grid' primary item of hidden hvc1 tiles
// (sharing one hvcC where they can), an nclx colr on the grid and its tiles.
struct GridOptions {
    int width = 0, height = 0; // the image; tiles cover at least this
    int tileSize = 512;
    PictureOptions tile;       // its width and height are set from tileSize
    int gridMatrix = -1;       // the grid's own nclx matrix, when not its tiles'
};

Bytes makeGridHeic(const GridOptions& options, const PixelFunction& pixel);

} // namespace tessavo::samples
