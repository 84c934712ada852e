#include "conversion/core/gain_map_reader.h"

#include "conversion/core/apple_gain_map.h"
#include "conversion/core/exif_metadata.h"
#include "conversion/core/heif_properties.h"
#include "conversion/core/iso_gain_map.h"
#include "conversion/core/owners.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace tessavo {
namespace {

Failure leftOut(std::string reason) { return {ConversionStep::Decode, std::move(reason)}; }

// The item's bytes in one piece; empty when it has none inside the file.
std::vector<uint8_t> itemBytes(const HeifFile& heif, const HeifItem& item, std::span<const uint8_t> file)
{
    std::vector<uint8_t> bytes;
    if (const auto spans = heif.data(item, file))
        for (const auto span : *spans)
            bytes.insert(bytes.end(), span.begin(), span.end());
    return bytes;
}

} // namespace

GainMapReader::GainMapReader(std::span<const uint8_t> file, const HeifFile& heif, heif_image_handle* primary)
    : file_(file), heif_(heif), primary_(primary)
{
}

std::optional<Result<GainMap>> GainMapReader::read() const
{
    const auto source = findGainMap(heif_);
    if (!source)
        return std::nullopt;
    return read(*source);
}

Result<GainMap> GainMapReader::read(const GainMapSource& source) const
{
    std::optional<IsoGainMapMetadata> iso;
    if (source.tmap) {
        Result<IsoGainMapMetadata> read = readIsoGainMapMetadata(itemBytes(heif_, *heif_.item(source.tmap), file_));
        if (!read)
            return read.failure();
        iso = *read;
    }
    // The map takes the primary's crop and stored frame; one turned or
    // cropped on its own would not lie where the primary does.
    const HeifItem* item = heif_.item(source.map);
    const auto own = transformsOf(heif_, source.map);
    if (!item || !own || !own->empty())
        return leftOut("it is no plain image");
    Result<GainMap> map = decode(source.map, iso ? iso->channels : 1);
    if (!map)
        return map;
    if (Result<void> cropped = crop(*map); !cropped)
        return cropped.failure();
    if (iso) {
        map->metadata = iso->metadata;
        return map;
    }
    Result<GainMapMetadata> apple = appleMeaning(*map);
    if (!apple)
        return apple.failure();
    map->metadata = *apple;
    return map;
}

// Apple's levels re-expressed, so that the ISO formula gives Apple's picture.
Result<GainMapMetadata> GainMapReader::appleMeaning(GainMap& map) const
{
    std::span<const uint8_t> tiff;
    std::vector<uint8_t> exif;
    for (const HeifReference& reference : heif_.references) {
        const HeifItem* item = heif_.item(reference.from);
        if (reference.type == fourcc("cdsc") && item && item->type == fourcc("Exif") &&
            std::find(reference.to.begin(), reference.to.end(), heif_.primary) != reference.to.end()) {
            exif = itemBytes(heif_, *item, file_);
            tiff = tiffOfHeifExif(exif);
            break;
        }
    }
    Result<double> headroom = appleHeadroom(tiff);
    if (!headroom)
        return headroom.failure();
    if (*headroom <= 1)
        return leftOut("the photo's Apple maker note gives it no headroom");
    const auto levels = appleLevels(*headroom);
    for (uint8_t& level : map.pixels)
        level = levels[level];
    return appleMetadata(*headroom);
}

// libheif's decode of the map as stored: its own transformations (none, as
// checked) ignored, so that the primary's can be undone by cropping alone.
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
    // A grey map may be coded in colour: its luma is the map.
    Owned<heif_image> image;
    const heif_error error = channels == 3 ? heif_decode_image(handle.get(), into(image), heif_colorspace_RGB,
                                                               heif_chroma_interleaved_RGB, options.get())
                                           : heif_decode_image(handle.get(), into(image), heif_colorspace_undefined,
                                                               heif_chroma_undefined, options.get());
    if (error.code != heif_error_Ok || !image)
        return leftOut(std::string("it could not be decoded: ") + error.message);
    const heif_channel channel = channels == 3 ? heif_channel_interleaved : heif_channel_Y;
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), channel, &stride);
    GainMap map;
    map.channels = channels;
    map.width = heif_image_get_width(image.get(), channel);
    map.height = heif_image_get_height(image.get(), channel);
    if (!plane || map.width <= 0 || map.height <= 0 || heif_image_get_bits_per_pixel_range(image.get(), channel) != 8 ||
        stride < map.width * channels)
        return leftOut("it is not an 8-bit picture");
    const size_t row = size_t(map.width) * size_t(channels);
    map.pixels.resize(row * size_t(map.height));
    for (int y = 0; y < map.height; ++y)
        std::memcpy(map.pixels.data() + size_t(y) * row, plane + size_t(y) * size_t(stride), row);
    // Luma taken as coded keeps a limited range (16 to 235) that RGB would have expanded.
    Owned<heif_color_profile_nclx> nclx;
    const bool limited = channels == 1 &&
                         heif_image_get_nclx_color_profile(image.get(), into(nclx)).code == heif_error_Ok && nclx &&
                         !nclx->full_range_flag;
    if (limited)
        for (uint8_t& level : map.pixels)
            level = uint8_t(std::clamp(std::lround((level - 16) * 255.0 / 219), 0L, 255L));
    return map;
}

// The primary's crop, in its stored (unturned) frame, scaled to the map.
Result<void> GainMapReader::crop(GainMap& map) const
{
    const auto transforms = transformsOf(heif_, heif_.primary);
    const int width = heif_image_handle_get_ispe_width(primary_), height = heif_image_handle_get_ispe_height(primary_);
    const auto area = transforms ? croppedArea(*transforms, width, height) : std::nullopt;
    if (!area || width <= 0 || height <= 0)
        return leftOut("the primary's crop cannot be matched");
    const auto scaled = [](int at, int mapSide, int side) {
        return int(std::lround(double(at) * mapSide / side));
    };
    const int left = scaled(area->x, map.width, width), right = scaled(area->x + area->width, map.width, width);
    const int top = scaled(area->y, map.height, height), bottom = scaled(area->y + area->height, map.height, height);
    if (right <= left || bottom <= top)
        return leftOut("the primary's crop leaves nothing of it");
    if (left == 0 && top == 0 && right == map.width && bottom == map.height)
        return {};
    const size_t pixel = size_t(map.channels), row = size_t(map.width) * pixel, keep = size_t(right - left) * pixel;
    std::vector<uint8_t> cropped(keep * size_t(bottom - top));
    for (int y = top; y < bottom; ++y)
        std::memcpy(cropped.data() + size_t(y - top) * keep, map.pixels.data() + size_t(y) * row + size_t(left) * pixel,
                    keep);
    map.pixels = std::move(cropped);
    map.width = right - left;
    map.height = bottom - top;
    return {};
}

} // namespace tessavo
