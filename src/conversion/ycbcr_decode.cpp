#include "conversion/ycbcr_decode.h"

#include "conversion/avcodec_decoder.h"
#include "conversion/heif_boxes.h"

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

struct Location {
    int method = 0;
    std::vector<std::pair<uint64_t, uint64_t>> extents; // offset, length
};

bool readLocations(std::span<const uint8_t> payload, std::map<uint32_t, Location>& out)
{
    ByteReader r(payload);
    const int version = int(readFullBoxHeader(r).version);
    const int sizes = int(r.read(2));
    const int offsetSize = sizes >> 12, lengthSize = (sizes >> 8) & 15, baseSize = (sizes >> 4) & 15;
    const int indexSize = version >= 1 ? sizes & 15 : 0;
    if (version > 2)
        return false;
    const uint64_t count = r.read(version < 2 ? 2 : 4);
    for (uint64_t i = 0; i < count && r.ok(); ++i) {
        const uint32_t id = uint32_t(r.read(version < 2 ? 2 : 4));
        Location location;
        if (version >= 1)
            location.method = int(r.read(2) & 15);
        r.read(2); // data reference index
        const uint64_t base = r.read(baseSize);
        const uint64_t extents = r.read(2);
        for (uint64_t e = 0; e < extents && r.ok(); ++e) {
            r.read(indexSize);
            const uint64_t offset = r.read(offsetSize);
            const uint64_t length = r.read(lengthSize);
            location.extents.emplace_back(base + offset, length);
        }
        out[id] = std::move(location);
    }
    return r.ok();
}

std::optional<std::vector<std::span<const uint8_t>>> itemData(const Location& location, std::span<const uint8_t> file,
                                                              std::span<const uint8_t> idat)
{
    const std::span<const uint8_t> source = location.method == 0 ? file : location.method == 1 ? idat
                                                                                                : std::span<const uint8_t>();
    if (location.method > 1 || location.extents.empty())
        return std::nullopt;
    std::vector<std::span<const uint8_t>> spans;
    for (const auto& [offset, length] : location.extents) {
        // A zero length means "to the end" only for a single extent; not worth supporting.
        if (length == 0 || offset > source.size() || length > source.size() - offset)
            return std::nullopt;
        spans.push_back(source.subspan(size_t(offset), size_t(length)));
    }
    return spans;
}

// hvcC's parameter set arrays as 4-byte length-prefixed NAL units.
std::optional<std::vector<uint8_t>> parameterSets(std::span<const uint8_t> hvcC, int& nalLengthSize)
{
    ByteReader r(hvcC);
    r.take(21);
    nalLengthSize = int(r.read(1) & 3) + 1;
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
    if (!r.ok() || nalLengthSize == 3)
        return std::nullopt;
    return out;
}

void appendAsFourByteLengths(std::span<const uint8_t> data, int lengthSize, std::vector<uint8_t>& out)
{
    if (lengthSize == 4) {
        out.insert(out.end(), data.begin(), data.end());
        return;
    }
    ByteReader r(data);
    while (r.left() > 0 && r.ok()) {
        const size_t length = size_t(r.read(lengthSize));
        const auto nal = r.take(length);
        const uint8_t prefix[4] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length)};
        out.insert(out.end(), prefix, prefix + 4);
        out.insert(out.end(), nal.begin(), nal.end());
    }
    if (!r.ok())
        out.clear(); // a broken stream, reported by the decoder
}

std::atomic<int> conversionsInFlight{0};

} // namespace

std::optional<HevcLayout> readHevcLayout(std::span<const uint8_t> file)
{
    const auto top = allBoxes(file);
    const Box* metaBox = top ? findBox(*top, fourcc("meta")) : nullptr;
    if (!metaBox || metaBox->payload.size() < 4)
        return std::nullopt;
    const auto meta = allBoxes(metaBox->payload.subspan(4));
    if (!meta)
        return std::nullopt;

    // Primary item.
    const Box* pitm = findBox(*meta, fourcc("pitm"));
    if (!pitm)
        return std::nullopt;
    ByteReader pr(pitm->payload);
    const uint32_t primary = uint32_t(pr.read(readFullBoxHeader(pr).version == 0 ? 2 : 4));

    // Item types.
    std::map<uint32_t, uint32_t> types;
    const Box* iinf = findBox(*meta, fourcc("iinf"));
    if (!iinf || iinf->payload.size() < 4)
        return std::nullopt;
    const int iinfVersion = iinf->payload[0];
    const size_t entriesAt = 4 + (iinfVersion == 0 ? 2 : 4);
    if (iinf->payload.size() < entriesAt)
        return std::nullopt;
    const auto infes = allBoxes(iinf->payload.subspan(entriesAt));
    if (!infes)
        return std::nullopt;
    for (const Box& infe : *infes) {
        ByteReader r(infe.payload);
        const int version = int(readFullBoxHeader(r).version);
        if (infe.type != fourcc("infe") || version < 2)
            continue;
        const uint32_t id = uint32_t(r.read(version == 2 ? 2 : 4));
        r.read(2);
        const uint32_t type = uint32_t(r.read(4));
        if (r.ok())
            types[id] = type;
    }

    std::map<uint32_t, Location> locations;
    const Box* iloc = findBox(*meta, fourcc("iloc"));
    if (!iloc || !readLocations(iloc->payload, locations))
        return std::nullopt;
    const Box* idatBox = findBox(*meta, fourcc("idat"));
    const std::span<const uint8_t> idat = idatBox ? idatBox->payload : std::span<const uint8_t>();

    // Properties and their associations.
    const Box* iprp = findBox(*meta, fourcc("iprp"));
    const auto iprpChildren = iprp ? allBoxes(iprp->payload) : std::nullopt;
    const Box* ipcoBox = iprpChildren ? findBox(*iprpChildren, fourcc("ipco")) : nullptr;
    const auto ipco = ipcoBox ? allBoxes(ipcoBox->payload) : std::nullopt;
    if (!ipco)
        return std::nullopt;
    std::map<uint32_t, std::vector<size_t>> associations; // 0-based ipco indices
    for (const Box& ipma : *iprpChildren) {
        if (ipma.type != fourcc("ipma"))
            continue;
        const bool whole = readPropertyAssociations(ipma.payload, [&](uint32_t item, uint32_t index) {
            if (index > 0)
                associations[item].push_back(size_t(index - 1));
        });
        if (!whole)
            return std::nullopt;
    }
    const auto property = [&](uint32_t item, uint32_t type) -> const Box* {
        for (size_t index : associations[item])
            if (index < ipco->size() && (*ipco)[index].type == type)
                return &(*ipco)[index];
        return nullptr;
    };
    const auto size = [&](uint32_t item, int& width, int& height) {
        const Box* ispe = property(item, fourcc("ispe"));
        if (!ispe)
            return false;
        ByteReader r(ispe->payload);
        readFullBoxHeader(r);
        const uint64_t w = r.read(4), h = r.read(4);
        if (!r.ok() || w == 0 || h == 0 || w > 65535 || h > 65535)
            return false;
        width = int(w);
        height = int(h);
        return true;
    };

    HevcLayout layout;
    std::vector<uint32_t> tileIds;
    if (types[primary] == fourcc("hvc1")) {
        layout.columns = layout.rows = 1;
        tileIds.push_back(primary);
    } else if (types[primary] == fourcc("grid")) {
        const auto data = locations.count(primary) ? itemData(locations[primary], file, idat) : std::nullopt;
        if (!data || data->size() != 1)
            return std::nullopt;
        ByteReader r((*data)[0]);
        r.read(1);
        const int fieldSize = (r.read(1) & 1) ? 4 : 2;
        layout.rows = int(r.read(1)) + 1;
        layout.columns = int(r.read(1)) + 1;
        layout.width = int(r.read(fieldSize));
        layout.height = int(r.read(fieldSize));
        if (!r.ok())
            return std::nullopt;
        const Box* irefBox = findBox(*meta, fourcc("iref"));
        if (!irefBox || irefBox->payload.size() < 4)
            return std::nullopt;
        const int idSize = irefBox->payload[0] == 0 ? 2 : 4;
        const auto refs = allBoxes(irefBox->payload.subspan(4));
        if (!refs)
            return std::nullopt;
        for (const Box& ref : *refs) {
            ByteReader rr(ref.payload);
            const uint32_t from = uint32_t(rr.read(idSize));
            const uint64_t count = rr.read(2);
            if (ref.type != fourcc("dimg") || from != primary)
                continue;
            for (uint64_t i = 0; i < count && rr.ok(); ++i)
                tileIds.push_back(uint32_t(rr.read(idSize)));
            if (!rr.ok())
                return std::nullopt;
        }
        if (tileIds.size() != size_t(layout.rows) * size_t(layout.columns))
            return std::nullopt;
    } else {
        return std::nullopt;
    }

    std::map<const Box*, size_t> parameterSetIndex;
    for (const uint32_t id : tileIds) {
        int width = 0, height = 0;
        const Box* hvcC = property(id, fourcc("hvcC"));
        if (types[id] != fourcc("hvc1") || !hvcC || !size(id, width, height) || !locations.count(id))
            return std::nullopt;
        if (layout.tiles.empty()) {
            layout.tileWidth = width;
            layout.tileHeight = height;
        } else if (width != layout.tileWidth || height != layout.tileHeight) {
            return std::nullopt;
        }
        HevcLayout::Tile tile;
        auto known = parameterSetIndex.find(hvcC);
        if (known == parameterSetIndex.end()) {
            auto sets = parameterSets(hvcC->payload, tile.nalLengthSize);
            if (!sets)
                return std::nullopt;
            layout.parameterSets.push_back(std::move(*sets));
            known = parameterSetIndex.emplace(hvcC, layout.parameterSets.size() - 1).first;
        } else {
            parameterSets(hvcC->payload, tile.nalLengthSize);
        }
        tile.parameterSet = known->second;
        auto data = itemData(locations[id], file, idat);
        if (!data)
            return std::nullopt;
        tile.extents = std::move(*data);
        layout.tiles.push_back(std::move(tile));
    }
    if (layout.columns == 1 && layout.rows == 1 && types[primary] == fourcc("hvc1")) {
        layout.width = layout.tileWidth;
        layout.height = layout.tileHeight;
    }
    if (layout.width <= 0 || layout.height <= 0 || layout.width > layout.columns * layout.tileWidth ||
        layout.height > layout.rows * layout.tileHeight)
        return std::nullopt;
    return layout;
}

bool codedLikeJpeg(heif_image_handle* handle)
{
    if (heif_image_handle_has_alpha_channel(handle) || heif_image_handle_get_luma_bits_per_pixel(handle) != 8 ||
        heif_image_handle_get_chroma_bits_per_pixel(handle) != 8)
        return false;
    heif_color_profile_nclx* nclx = nullptr;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
    if (error.code != heif_error_Ok) {
        // libheif 1.15 hands out the profile also when it rejects its values.
        heif_nclx_color_profile_free(nclx);
        // Without nclx libheif converts with BT.601 at full range; a rejected
        // one is left to libheif.
        return error.code == heif_error_Color_profile_does_not_exist;
    }
    const bool matches = nclx->full_range_flag &&
                         (nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_601_6 ||
                          nclx->matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G);
    heif_nclx_color_profile_free(nclx);
    return matches;
}

std::optional<YCbCrImage> decodeYCbCr(const HevcLayout& layout, int threads)
{
    YCbCrImage image;
    image.width = layout.width;
    image.height = layout.height;
    const size_t paddedWidth = (size_t(layout.width) + 15) / 16 * 16, paddedHeight = (size_t(layout.height) + 15) / 16 * 16;
    image.lumaStride = paddedWidth;
    image.chromaStride = paddedWidth / 2;
    image.y.resize(paddedWidth * paddedHeight);
    image.cb.resize(image.chromaStride * paddedHeight / 2);
    image.cr.resize(image.cb.size());

    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    const auto decodeTiles = [&] {
        std::vector<uint8_t> stream;
        for (size_t i = next++; i < layout.tiles.size() && !failed; i = next++) {
            const HevcLayout::Tile& tile = layout.tiles[i];
            stream = layout.parameterSets[tile.parameterSet];
            for (const auto& extent : tile.extents)
                appendAsFourByteLengths(extent, tile.nalLengthSize, stream);
            const HevcFrame frame = decodeHevcPicture(stream);
            if (!frame || (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) ||
                frame->width != layout.tileWidth || frame->height != layout.tileHeight) {
                failed = true;
                return;
            }
            const size_t x0 = (i % size_t(layout.columns)) * size_t(layout.tileWidth);
            const size_t y0 = (i / size_t(layout.columns)) * size_t(layout.tileHeight);
            for (int c = 0; c < 3; ++c) {
                const size_t shift = c == 0 ? 0 : 1;
                std::vector<uint8_t>& plane = c == 0 ? image.y : c == 1 ? image.cb : image.cr;
                const size_t stride = c == 0 ? image.lumaStride : image.chromaStride;
                const size_t planeHeight = plane.size() / stride;
                const size_t x = x0 >> shift, y = y0 >> shift;
                if (x >= stride || y >= planeHeight)
                    continue;
                const size_t w = std::min((size_t(frame->width) + shift) >> shift, stride - x);
                const size_t h = std::min((size_t(frame->height) + shift) >> shift, planeHeight - y);
                for (size_t row = 0; row < h; ++row)
                    std::memcpy(&plane[(y + row) * stride + x], frame->data[c] + row * size_t(frame->linesize[c]), w);
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
    const int helpers = std::clamp(threads, 1, int(layout.tiles.size())) - 1;
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
        return std::nullopt;

    // Past the image, repeat its last column and row as libjpeg itself pads:
    // what the tiles hold there would change the JPEG's edge blocks.
    for (int c = 0; c < 3; ++c) {
        const size_t shift = c == 0 ? 0 : 1;
        std::vector<uint8_t>& plane = c == 0 ? image.y : c == 1 ? image.cb : image.cr;
        const size_t stride = c == 0 ? image.lumaStride : image.chromaStride;
        const size_t planeHeight = plane.size() / stride;
        const size_t coveredW = std::min(stride, (size_t(layout.width) + shift) >> shift);
        const size_t coveredH = std::min(planeHeight, (size_t(layout.height) + shift) >> shift);
        for (size_t row = 0; row < coveredH; ++row)
            std::fill(plane.begin() + std::ptrdiff_t(row * stride + coveredW), plane.begin() + std::ptrdiff_t((row + 1) * stride),
                      plane[row * stride + coveredW - 1]);
        for (size_t row = coveredH; row < planeHeight; ++row)
            std::copy_n(plane.begin() + std::ptrdiff_t((coveredH - 1) * stride), stride, plane.begin() + std::ptrdiff_t(row * stride));
    }
    return image;
}

ThreadShare::ThreadShare() { ++conversionsInFlight; }
ThreadShare::~ThreadShare() { --conversionsInFlight; }

int ThreadShare::threads() const
{
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    return std::max(1, cores / std::max(1, conversionsInFlight.load()));
}

} // namespace tessavo
