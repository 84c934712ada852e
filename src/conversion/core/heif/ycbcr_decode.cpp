#include "conversion/core/heif/ycbcr_decode.h"

#include "conversion/core/heif/heif_photo.h"

#include "conversion/core/heif/avcodec_decoder.h"
#include "conversion/core/heif/heif_boxes.h"
#include "conversion/core/heif/heif_file.h"

#include <libheif/heif.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <system_error>
#include <thread>

namespace tessavo {
namespace {

// hvcC's parameter set arrays as 4-byte length-prefixed NAL units; nothing
// unless the samples carry 4-byte lengths, the only kind libheif reads.
std::optional<std::vector<uint8_t>> parameterSets(std::span<const uint8_t> hvcC)
{
    ByteReader r(hvcC);
    r.take(21);
    const int nalLengthSize = int(r.read(1) & 3) + 1;
    const uint64_t arrays = r.read(1);
    std::vector<uint8_t> out;
    for (uint64_t a = 0; a < arrays && r.ok(); ++a) {
        r.read(1);
        const uint64_t nalus = r.read(2);
        for (uint64_t n = 0; n < nalus && r.ok(); ++n) {
            const size_t length = size_t(r.read(2));
            const auto nal = r.take(length);
            const uint8_t prefix[4] = {0, 0, uint8_t(length >> 8), uint8_t(length)};
            out.insert(out.end(), prefix, prefix + 4);
            out.insert(out.end(), nal.begin(), nal.end());
        }
    }
    if (!r.ok() || nalLengthSize != 4)
        return std::nullopt;
    return out;
}

// libheif's size of an item: its last ispe.
bool imageSize(const HeifFile& heif, uint32_t item, int& width, int& height)
{
    bool found = false;
    for (const Box* property : heif.propertiesOf(item)) {
        if (property->type != fourcc("ispe"))
            continue;
        ByteReader r(property->payload);
        readFullBoxHeader(r);
        const uint64_t w = r.read(4), h = r.read(4);
        if (!r.ok() || w == 0 || h == 0 || w > 65535 || h > 65535)
            return false;
        width = int(w);
        height = int(h);
        found = true;
    }
    return found;
}

bool transformed(const HeifFile& heif, uint32_t item)
{
    for (const Box* property : heif.propertiesOf(item))
        if (property->type == fourcc("irot") || property->type == fourcc("imir") || property->type == fourcc("clap"))
            return true;
    return false;
}

// The grid's rows, columns and output size, from its item data.
bool readGrid(const HeifFile& heif, const HeifItem& grid, std::span<const uint8_t> file, HevcLayout& layout)
{
    const auto data = heif.data(grid, file);
    if (!data)
        return false;
    std::vector<uint8_t> bytes;
    for (const auto& extent : *data) {
        if (extent.size() > 64)
            return false; // a grid's description is 8 or 12 bytes
        bytes.insert(bytes.end(), extent.begin(), extent.end());
    }
    ByteReader r(bytes);
    r.read(1);
    const int fieldSize = (r.read(1) & 1) ? 4 : 2;
    layout.rows = int(r.read(1)) + 1;
    layout.columns = int(r.read(1)) + 1;
    const uint64_t width = r.read(fieldSize), height = r.read(fieldSize);
    if (!r.ok() || width == 0 || height == 0 || width > 65535 || height > 65535)
        return false;
    layout.width = int(width);
    layout.height = int(height);
    // libheif decodes a grid at the depth its pixi gives, whatever the tiles hold.
    if (const Box* pixi = heif.property(grid.id, fourcc("pixi"))) {
        ByteReader p(pixi->payload);
        readFullBoxHeader(p);
        const uint64_t channels = p.read(1);
        for (uint64_t c = 0; c < channels; ++c)
            if (p.read(1) != 8)
                return false;
        if (!p.ok())
            return false;
    }
    return true;
}

// Why the direct route is not taken; the photo then goes through libheif's RGB.
Failure notDirect() { return {ConversionStep::Decode, "the direct route does not give libheif's picture here"}; }

} // namespace

Result<HevcLayout> hevcLayout(const HeifFile& heif, std::span<const uint8_t> file)
{
    const HeifItem* primary = heif.item(heif.primary);
    if (!primary)
        return notDirect();
    HevcLayout layout;
    std::vector<uint32_t> tileIds;
    if (primary->type == fourcc("hvc1")) {
        layout.columns = layout.rows = 1;
        tileIds.push_back(primary->id);
    } else if (primary->type == fourcc("grid")) {
        if (!readGrid(heif, *primary, file, layout))
            return notDirect();
        tileIds = heif.referenced(primary->id, fourcc("dimg"));
        if (tileIds.size() != size_t(layout.rows) * size_t(layout.columns))
            return notDirect();
        // A tile used twice would cost a decode per use: libheif's own limits
        // on derived images are about such amplification, so leave it to libheif.
        std::vector<uint32_t> sorted = tileIds;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
            return notDirect();
    } else {
        return notDirect();
    }

    std::map<const Box*, size_t> parameterSetIndex;
    for (const uint32_t id : tileIds) {
        const HeifItem* tile = heif.item(id);
        int width = 0, height = 0;
        if (!tile || tile->type != fourcc("hvc1") || !imageSize(heif, id, width, height) || (id != primary->id && transformed(heif, id)))
            return notDirect();
        if (layout.tiles.empty()) {
            layout.tileWidth = width;
            layout.tileHeight = height;
        } else if (width != layout.tileWidth || height != layout.tileHeight) {
            return notDirect();
        }
        // libheif decodes with the first hvcC among the properties, and
        // refuses an hvc1 item whose hvcC its lookup cannot find.
        const auto properties = heif.propertiesOf(id);
        const auto hvcC = std::find_if(properties.begin(), properties.end(), [](const Box* p) { return p->type == fourcc("hvcC"); });
        if (hvcC == properties.end() || heif.property(id, fourcc("hvcC")) != *hvcC)
            return notDirect();
        HevcLayout::Tile decoded;
        auto known = parameterSetIndex.find(*hvcC);
        if (known == parameterSetIndex.end()) {
            auto sets = parameterSets((*hvcC)->payload);
            if (!sets)
                return notDirect();
            layout.parameterSets.push_back(std::move(*sets));
            known = parameterSetIndex.emplace(*hvcC, layout.parameterSets.size() - 1).first;
        }
        decoded.parameterSet = known->second;
        auto data = heif.data(*tile, file);
        if (!data)
            return notDirect();
        decoded.extents = std::move(*data);
        const Result<std::optional<NclxColour>> declared = declaredColour(heif, id);
        if (!declared)
            return declared.failure();
        decoded.colour = *declared;
        // Known before any decode; a colour from the stream is checked after.
        if (decoded.colour && !jpegColourCoding(*decoded.colour))
            return notDirect();
        layout.tiles.push_back(std::move(decoded));
    }
    if (primary->type == fourcc("hvc1")) {
        layout.width = layout.tileWidth;
        layout.height = layout.tileHeight;
    }
    // Chroma of a tile that starts at an odd column or row would sit between
    // the samples of the whole image's chroma planes.
    if (layout.width > layout.columns * layout.tileWidth || layout.height > layout.rows * layout.tileHeight ||
        (layout.columns > 1 && layout.tileWidth % 2 != 0) || (layout.rows > 1 && layout.tileHeight % 2 != 0))
        return notDirect();
    return layout;
}

bool plainEightBit(heif_image_handle* handle)
{
    return !heif_image_handle_has_alpha_channel(handle) && heif_image_handle_get_luma_bits_per_pixel(handle) == 8 &&
        heif_image_handle_get_chroma_bits_per_pixel(handle) == 8;
}

bool jpegColourCoding(const NclxColour& colour)
{
    // libheif converts with BT.601's coefficients for 5 and 6, and falls
    // back to them for "unspecified".
    return colour.fullRange && (colour.matrix == 2 || colour.matrix == 5 || colour.matrix == 6);
}

Result<YCbCrImage> decodeYCbCr(const HevcLayout& layout, const PixelRect& area, int threads)
{
    if (area.x % 2 != 0 || area.y % 2 != 0 || area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
        area.x + area.width > layout.width || area.y + area.height > layout.height)
        return notDirect();
    YCbCrImage image;
    image.width = area.width;
    image.height = area.height;
    const size_t paddedWidth = (size_t(area.width) + 15) / 16 * 16, paddedHeight = (size_t(area.height) + 15) / 16 * 16;
    image.lumaStride = paddedWidth;
    image.chromaStride = paddedWidth / 2;
    image.y.resize(paddedWidth * paddedHeight);
    image.cb.resize(image.chromaStride * paddedHeight / 2);
    image.cr.resize(image.cb.size());

    // libheif decodes every tile that starts inside the image, also those
    // the crop leaves out (a broken one fails it), and skips the rest.
    std::vector<size_t> needed;
    for (size_t i = 0; i < layout.tiles.size(); ++i) {
        const int x0 = int(i % size_t(layout.columns)) * layout.tileWidth;
        const int y0 = int(i / size_t(layout.columns)) * layout.tileHeight;
        if (x0 < layout.width && y0 < layout.height)
            needed.push_back(i);
    }
    // However the tiles are cut, no more than an image of the largest size.
    if (double(needed.size()) * layout.tileWidth * layout.tileHeight > double(kMaxDecodedPixels))
        return notDirect();

    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    const auto decodeTiles = [&] {
        std::vector<uint8_t> stream;
        for (size_t n = next++; n < needed.size() && !failed; n = next++) {
            const size_t i = needed[n];
            const HevcLayout::Tile& tile = layout.tiles[i];
            stream = layout.parameterSets[tile.parameterSet];
            for (const auto& extent : tile.extents)
                stream.insert(stream.end(), extent.begin(), extent.end());
            const Result<HevcFrame> decoded = decodeHevcPicture(stream);
            const AVFrame* frame = decoded ? decoded->get() : nullptr;
            if (!frame || (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) ||
                frame->width != layout.tileWidth || frame->height != layout.tileHeight ||
                !jpegColourCoding(tile.colour ? *tile.colour : streamColour(*frame))) {
                failed = true;
                return;
            }
            // The tile's place in the output, which starts at the area's corner.
            const ptrdiff_t x0 = ptrdiff_t(i % size_t(layout.columns)) * layout.tileWidth - area.x;
            const ptrdiff_t y0 = ptrdiff_t(i / size_t(layout.columns)) * layout.tileHeight - area.y;
            for (int c = 0; c < 3; ++c) {
                const int shift = c == 0 ? 0 : 1;
                std::vector<uint8_t>& plane = c == 0 ? image.y : c == 1 ? image.cb : image.cr;
                const ptrdiff_t stride = ptrdiff_t(c == 0 ? image.lumaStride : image.chromaStride);
                const ptrdiff_t planeHeight = ptrdiff_t(plane.size()) / stride;
                const ptrdiff_t frameWidth = (ptrdiff_t(frame->width) + shift) >> shift;
                const ptrdiff_t frameHeight = (ptrdiff_t(frame->height) + shift) >> shift;
                // x0 and y0 are even, so halving them is exact.
                const ptrdiff_t x = x0 / (1 << shift), y = y0 / (1 << shift);
                const ptrdiff_t fromX = std::max<ptrdiff_t>(0, -x), fromY = std::max<ptrdiff_t>(0, -y);
                const ptrdiff_t toX = std::min(frameWidth, stride - x), toY = std::min(frameHeight, planeHeight - y);
                for (ptrdiff_t row = fromY; row < toY && fromX < toX; ++row)
                    std::memcpy(&plane[size_t((y + row) * stride + x + fromX)], frame->data[c] + row * frame->linesize[c] + fromX,
                        size_t(toX - fromX));
            }
        }
    };
    // Workers must not throw: report running out of memory as a failed tile.
    const auto work = [&] {
        try {
            decodeTiles();
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    };
    const int helpers = std::clamp(threads, 1, int(std::max<size_t>(1, needed.size()))) - 1;
    std::vector<std::thread> pool;
    try {
        for (int i = 0; i < helpers; ++i)
            pool.emplace_back(work);
    } catch (const std::system_error&) {
        // fewer threads, same result
    }
    work();
    for (std::thread& thread : pool)
        thread.join();
    if (failed)
        return notDirect();

    // Past the image, repeat its last column and row as libjpeg itself pads:
    // what the tiles hold there would change the JPEG's edge blocks.
    for (int c = 0; c < 3; ++c) {
        const size_t shift = c == 0 ? 0 : 1;
        std::vector<uint8_t>& plane = c == 0 ? image.y : c == 1 ? image.cb : image.cr;
        const size_t stride = c == 0 ? image.lumaStride : image.chromaStride;
        const size_t planeHeight = plane.size() / stride;
        const size_t coveredW = std::min(stride, (size_t(area.width) + shift) >> shift);
        const size_t coveredH = std::min(planeHeight, (size_t(area.height) + shift) >> shift);
        for (size_t row = 0; row < coveredH; ++row)
            std::fill(plane.begin() + std::ptrdiff_t(row * stride + coveredW), plane.begin() + std::ptrdiff_t((row + 1) * stride),
                plane[row * stride + coveredW - 1]);
        for (size_t row = coveredH; row < planeHeight; ++row)
            std::copy_n(plane.begin() + std::ptrdiff_t((coveredH - 1) * stride), stride, plane.begin() + std::ptrdiff_t(row * stride));
    }
    return image;
}

Result<YCbCrImage> decodeDirectly(
    std::span<const uint8_t> file, const HeifFile& heif, heif_image_handle* handle, std::span<const ImageTransform> transforms, int threads)
{
    if (!plainEightBit(handle))
        return notDirect();
    Result<HevcLayout> layout = hevcLayout(heif, file);
    if (!layout)
        return layout.failure();
    if (layout->width > kMaxImageSide || layout->height > kMaxImageSide)
        return notDirect();
    const Result<PixelRect> area = croppedArea(transforms, layout->width, layout->height);
    if (!area)
        return area.failure();
    return decodeYCbCr(*layout, *area, threads);
}

} // namespace tessavo
