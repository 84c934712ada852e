#include "conversion/core/gainmap/map_reader.h"

#include "conversion/core/base/owners.h"
#include "conversion/core/gainmap/adobe_form.h"
#include "conversion/core/gainmap/apple_form.h"
#include "conversion/core/gainmap/iso_form.h"
#include "conversion/core/heif/stored_frame.h"
#include "conversion/core/metadata/exif_metadata.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace tessavo {
namespace {

Failure leftOut(std::string reason) { return {ConversionStep::Decode, std::move(reason)}; }

void cropTo(GainMap& map, const PixelRect& area)
{
    if (area.x == 0 && area.y == 0 && area.width == map.width && area.height == map.height)
        return;
    const size_t pixel = size_t(map.channels), row = size_t(map.width) * pixel, keep = size_t(area.width) * pixel;
    std::vector<uint8_t> cropped(keep * size_t(area.height));
    for (int y = 0; y < area.height; ++y)
        std::memcpy(cropped.data() + size_t(y) * keep, map.pixels.data() + size_t(y + area.y) * row + size_t(area.x) * pixel, keep);
    map.pixels = std::move(cropped);
    map.width = area.width;
    map.height = area.height;
}

// Whether a map of width x height is a picture of width x height at a
// smaller scale, give or take a pixel of the map.
bool sameShape(int mapWidth, int mapHeight, int width, int height)
{
    return std::abs(int64_t(mapWidth) * height - int64_t(mapHeight) * width) <= std::max(width, height);
}

} // namespace

GainMapReader::GainMapReader(std::span<const uint8_t> file, const HeifFile& heif, heif_image_handle* primary)
    : file_(file), heif_(heif), primary_(primary)
{
}

Result<std::optional<GainMap>> GainMapReader::read() const
{
    const auto source = findGainMap(heif_, file_);
    if (!source)
        return std::optional<GainMap>();
    Result<GainMap> map = read(*source);
    if (!map)
        return map.failure();
    return std::optional(std::move(*map));
}

Result<GainMap> GainMapReader::read(const GainMapSource& source) const
{
    Result<GainMapMeaning> meant = meaning(source);
    if (!meant)
        return meant.failure();
    const Result<std::vector<ImageTransform>> own = transformsOf(heif_, source.map);
    if (!own)
        return leftOut("its crop or turn cannot be read");
    Result<GainMap> map = decode(source.map, meant->channels);
    if (!map)
        return map;
    if (Result<void> placed = place(*map, *own); !placed)
        return placed.failure();
    if (source.form == GainMapSource::Form::Apple) {
        // Apple's levels re-expressed, so that the ISO formula gives Apple's picture.
        const auto levels = appleLevels(std::exp2(meant->metadata.alternateHdrHeadroom));
        for (uint8_t& level : map->pixels)
            level = levels[level];
    }
    map->metadata = meant->metadata;
    return map;
}

Result<GainMapMeaning> GainMapReader::meaning(const GainMapSource& source) const
{
    if (source.form == GainMapSource::Form::Iso) {
        const std::string payload = itemBytes(heif_, source.tmap, file_);
        return readIsoGainMapMetadata({reinterpret_cast<const uint8_t*>(payload.data()), payload.size()});
    }
    if (source.form == GainMapSource::Form::Adobe)
        return source.xmp.empty() ? Result<GainMapMeaning>(leftOut("its parameters are nowhere in the file"))
                                  : readAdobeGainMapMetadata(source.xmp);
    std::span<const uint8_t> tiff;
    std::string exif;
    for (const HeifReference& reference : heif_.references) {
        const HeifItem* item = heif_.item(reference.from);
        if (reference.type == fourcc("cdsc") && item && item->type == fourcc("Exif") &&
            std::find(reference.to.begin(), reference.to.end(), heif_.primary) != reference.to.end()) {
            exif = itemBytes(heif_, reference.from, file_);
            tiff = tiffOfHeifExif({reinterpret_cast<const uint8_t*>(exif.data()), exif.size()});
            break;
        }
    }
    Result<double> headroom = appleHeadroom(tiff, source.xmp);
    if (!headroom)
        return headroom.failure();
    if (!(*headroom > 1))
        return leftOut("the photo's Apple maker note gives it no headroom");
    return GainMapMeaning{appleMetadata(*headroom), 1};
}

// libheif's decode of the map as stored, its own crop and turn left to
// place(). A grey map is read as libheif gives it: its luma, coded alone or
// with colour, or the green of the RGB in which libheif 1.15 assembles a
// grid (the luma of a grey picture); a map of three channels as RGB.
Result<GainMap> GainMapReader::decode(uint32_t id, int channels) const
{
    std::vector<heif_item_id> ids(size_t(std::max(0, heif_image_handle_get_number_of_auxiliary_images(primary_, 0))));
    ids.resize(size_t(std::max(0, heif_image_handle_get_list_of_auxiliary_image_IDs(primary_, 0, ids.data(), int(ids.size())))));
    Owned<heif_image_handle> handle;
    if (std::find(ids.begin(), ids.end(), id) == ids.end() ||
        heif_image_handle_get_auxiliary_image_handle(primary_, id, into(handle)).code != heif_error_Ok)
        return leftOut("libheif does not reach it");
    const Owned<heif_decoding_options> options = heifDecodingOptions();
    if (!options)
        return leftOut("out of memory");
    options->ignore_transformations = 1;
    options->convert_hdr_to_8bit = 1;
    Owned<heif_image> image;
    const bool rgb = channels == 3;
    const heif_error error = heif_decode_image(handle.get(), into(image), rgb ? heif_colorspace_RGB : heif_colorspace_undefined,
        rgb ? heif_chroma_interleaved_RGB : heif_chroma_undefined, options.get());
    if (error.code != heif_error_Ok || !image)
        return leftOut(std::string("it could not be decoded: ") + error.message);
    const heif_channel channel = rgb                          ? heif_channel_interleaved
        : heif_image_has_channel(image.get(), heif_channel_Y) ? heif_channel_Y
                                                              : heif_channel_G;
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), channel, &stride);
    const int bits = heif_image_get_bits_per_pixel_range(image.get(), channel);
    GainMap map;
    map.channels = channels;
    map.width = heif_image_get_width(image.get(), channel);
    map.height = heif_image_get_height(image.get(), channel);
    const int bytes = bits > 8 ? 2 : 1;
    if (!plane || map.width <= 0 || map.height <= 0 || bits < 8 || bits > 16 || (rgb && bits != 8) || stride < map.width * channels * bytes)
        return leftOut("it is no picture of 8 to 16 bits");
    // Each sample as an 8-bit level; luma as coded keeps a limited range
    // (16 to 235 at 8 bits) that RGB would have expanded.
    Owned<heif_color_profile_nclx> nclx;
    const bool limited = channel == heif_channel_Y && heif_image_get_nclx_color_profile(image.get(), into(nclx)).code == heif_error_Ok &&
        nclx && !nclx->full_range_flag;
    std::vector<uint8_t> levels(size_t(1) << bits);
    for (size_t v = 0; v < levels.size(); ++v) {
        const double level = limited ? (double(v) / (1 << (bits - 8)) - 16) * 255 / 219 : double(v) * 255 / double(levels.size() - 1);
        levels[v] = uint8_t(std::clamp(std::lround(level), 0L, 255L));
    }
    const size_t row = size_t(map.width) * size_t(channels);
    map.pixels.resize(row * size_t(map.height));
    for (int y = 0; y < map.height; ++y) {
        const uint8_t* in = plane + size_t(y) * size_t(stride);
        uint8_t* out = map.pixels.data() + size_t(y) * row;
        if (bytes == 1)
            std::transform(in, in + row, out, [&](uint8_t v) { return levels[v]; });
        else
            for (size_t x = 0; x < row; ++x)
                out[x] = levels[std::min<size_t>(reinterpret_cast<const uint16_t*>(in)[x], levels.size() - 1)];
    }
    return map;
}

// The map as a reader shows it, by its own crop and turn; then into the
// frame the primary is stored in, where the JPEG's orientation turns both
// alike. There it covers the primary's crop (each item's own crop applied),
// or, for a map without a crop of its own, the whole primary before its
// crop, as the maps of phones that crop do; anything else does not fit.
Result<void> GainMapReader::place(GainMap& map, std::span<const ImageTransform> own) const
{
    const auto ownArea = croppedArea(own, map.width, map.height);
    if (!ownArea)
        return leftOut("its own crop cannot be applied");
    const bool cropsItself = ownArea->width != map.width || ownArea->height != map.height;
    cropTo(map, *ownArea);
    const Result<std::vector<ImageTransform>> transforms = transformsOf(heif_, heif_.primary);
    const int width = heif_image_handle_get_ispe_width(primary_), height = heif_image_handle_get_ispe_height(primary_);
    const Result<PixelRect> area = transforms ? croppedArea(*transforms, width, height) : transforms.failure();
    if (!area || width <= 0 || height <= 0)
        return leftOut("the photo's crop cannot be matched");
    if (const int turn = orientationBetween(exifOrientation(*transforms), exifOrientation(own)); turn != 1) {
        RgbImage turned = unapplyOrientation({map.width, map.height, std::move(map.pixels)}, turn, map.channels);
        map.width = turned.width;
        map.height = turned.height;
        map.pixels = std::move(turned.pixels);
    }
    if (!cropsItself && sameShape(map.width, map.height, width, height)) {
        const auto scaled = [](int at, int mapSide, int side) { return int(std::lround(double(at) * mapSide / side)); };
        const int left = scaled(area->x, map.width, width), right = scaled(area->x + area->width, map.width, width);
        const int top = scaled(area->y, map.height, height), bottom = scaled(area->y + area->height, map.height, height);
        if (right <= left || bottom <= top)
            return leftOut("the photo's crop leaves nothing of it");
        cropTo(map, {left, top, right - left, bottom - top});
        return {};
    }
    if (!sameShape(map.width, map.height, area->width, area->height))
        return leftOut("it does not fit the photo: " + std::to_string(map.width) + "x" + std::to_string(map.height) + " beside " +
            std::to_string(area->width) + "x" + std::to_string(area->height));
    return {};
}

} // namespace tessavo
