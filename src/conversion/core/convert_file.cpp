#include "conversion/core/convert_file.h"

#include "conversion/core/base/owners.h"
#include "conversion/core/colour/colour_profile.h"
#include "conversion/core/gainmap/gain_map.h"
#include "conversion/core/gainmap/gain_map_container.h"
#include "conversion/core/gainmap/map_reader.h"
#include "conversion/core/gainmap/map_source.h"
#include "conversion/core/heif/avcodec_decoder.h"
#include "conversion/core/heif/heif_compat.h"
#include "conversion/core/heif/heif_file.h"
#include "conversion/core/heif/heif_photo.h"
#include "conversion/core/heif/heif_properties.h"
#include "conversion/core/heif/stored_frame.h"
#include "conversion/core/heif/thread_share.h"
#include "conversion/core/heif/ycbcr_decode.h"
#include "conversion/core/jpeg/jpeg_writer.h"
#include "conversion/core/memory/address_space_budget.h"
#include "conversion/core/memory/room_pass.h"
#include "conversion/core/metadata/exif_metadata.h"
#include "conversion/core/output/jpeg_output.h"
#include "conversion/core/shown_picture.h"
#include "conversion/core/source_file.h"

#include <libheif/heif.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace tessavo {

std::filesystem::path destinationPath(const std::filesystem::path& source, const std::filesystem::path& outputDirectory)
{
    std::filesystem::path name = source.filename();
    name.replace_extension(".jpg");
    return outputDirectory / name;
}

namespace {

AddressSpaceBudget conversionRoom;

// libheif's plugins, with FFmpeg's HEVC decoder among them: once, before the
// first photo is opened.
void initialiseLibheifOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        heif_init(nullptr);
        registerFastHevcDecoder();
    });
}

// The steps of one conversion, each taking what the one before made.
class Conversion {
public:
    Conversion(const std::filesystem::path& source, const std::filesystem::path& outputDirectory, const ConversionOptions& options,
        const ConversionLines& lines, ConversionResult& result, ConversionStep& underWay)
        : source_(source), folder_(outputDirectory), options_(options), lines_(lines), result_(result), underWay_(underWay)
    {
    }

    Result<void> run()
    {
        Result<void> done = open();
        if (done)
            done = prepareOutput();
        if (done)
            done = decode();
        if (done) {
            if (options_.keepHdr)
                collectGainMap();
            collectMetadata();
            done = encodeAndPublish();
        }
        return done;
    }

private:
    Result<void> open();
    Result<void> prepareOutput();
    Result<void> decode();
    void collectGainMap();
    void collectMetadata();
    Result<void> encodeAndPublish();
    void announceDestination();

    const std::filesystem::path& source_;
    const std::filesystem::path& folder_;
    const ConversionOptions& options_;
    const ConversionLines& lines_;
    ConversionResult& result_;
    ConversionStep& underWay_;

    SourceFile file_;
    std::optional<HeifFile> heif_;
    std::optional<ThreadShare> threads_;
    std::optional<HeifPhoto> photo_;
    std::optional<RoomPass<AddressSpaceBudget>> room_;
    std::filesystem::path name_;
    std::unique_ptr<JpegOutput> output_;
    int orientation_ = 1;
    ColourPlan colour_;
    std::optional<YCbCrImage> planes_;
    std::optional<RgbImage> image_;
    PhotoMetadata metadata_;
    // Only with keepHdr, and only for a photo whose map could be read whole.
    std::optional<GainMap> gainMap_;
};

// Reads the file and has libheif parse it, up to the primary image.
Result<void> Conversion::open()
{
    Result<SourceFile> read = readWholeFile(source_);
    if (!read)
        return read.failure();
    file_ = std::move(*read);
    std::vector<uint8_t>& bytes = file_.bytes;

    // Our one reading of the metadata serves the compatibility step, the
    // orientation and the direct route; without it libheif does everything.
    underWay_ = ConversionStep::Parse;
    if (Result<HeifFile> heif = readHeifFile(bytes))
        heif_ = std::move(*heif);
    if (heif_) {
        const auto gainMap = options_.keepHdr ? findGainMap(*heif_, bytes) : std::nullopt;
        if (Result<bool> adapted = adaptForLibheif(bytes, *heif_, gainMap ? std::optional(gainMap->map) : std::nullopt); !adapted)
            return adapted.failure();
    }

    threads_.emplace();
    initialiseLibheifOnce();
    Result<HeifPhoto> photo = HeifPhoto::open(bytes);
    if (!photo)
        return photo.failure();
    photo_ = std::move(*photo);
    // Under a memory limit a photo waits for the room its decode takes
    // (about 14 bytes a pixel at the peak, and the decoder's own) rather
    // than failing beside the others that hold it.
    const size_t pixels = size_t(heif_image_handle_get_width(photo_->primary())) * size_t(heif_image_handle_get_height(photo_->primary()));
    room_.emplace(conversionRoom, pixels * 14 + (size_t(32) << 20));
    return {};
}

// Before the decode, so that a folder which cannot take the JPEG costs no
// decoding; its failure is told in its place, after the destination.
Result<void> Conversion::prepareOutput()
{
    name_ = options_.destinationName.empty() ? destinationPath(source_, {}).filename() : options_.destinationName;
    Result<std::unique_ptr<JpegOutput>> output = JpegOutput::open(folder_, options_.subfolder, name_, file_.identity);
    if (!output) {
        announceDestination();
        return output.failure();
    }
    output_ = std::move(*output);
    result_.foldersMade = output_->foldersMade();
    return {};
}

// libheif crops, turns and mirrors; the turn and mirror are then undone here
// and carried as the EXIF orientation instead. Undoing exactly what libheif
// did needs its reading of the properties, which ours follows; where ours
// has none, libheif's view is written upright.
Result<void> Conversion::decode()
{
    underWay_ = ConversionStep::Decode;
    std::optional<std::vector<ImageTransform>> transforms;
    if (heif_)
        if (Result<std::vector<ImageTransform>> read = transformsOf(*heif_, heif_->primary))
            transforms = std::move(*read);
    orientation_ = transforms ? exifOrientation(*transforms) : 1;
    if (heif_)
        if (Result<void> decodable = libheifCanDecode(*heif_); !decodable)
            return decodable;
    colour_ = planColour(photo_->primary());
    if (heif_ && transforms && options_.allowDirectRoute && colour_.pixels == ColourPlan::Pixels::AsDecoded)
        if (Result<YCbCrImage> planes = decodeDirectly(file_.bytes, *heif_, photo_->primary(), *transforms, threads_->threads()))
            planes_ = std::move(*planes);
    result_.directRoute = planes_.has_value();
    if (planes_)
        return {};
    heif_context_set_max_decoding_threads(photo_->context(), threads_->threads());
    Result<ShownPicture> shown = decodeShownPicture(*photo_, colour_, options_.keepHdr);
    if (!shown)
        return shown.failure();
    image_ = orientation_ != 1 ? unapplyOrientation(shown->image, orientation_) : std::move(shown->image);
    if (std::optional<GainMap>& map = shown->hdrMap) {
        // Turned back as the picture is, so that the file's orientation serves both.
        if (orientation_ != 1) {
            RgbImage grey = unapplyOrientation({map->width, map->height, std::move(map->pixels)}, orientation_, 1);
            map->width = grey.width;
            map->height = grey.height;
            map->pixels = std::move(grey.pixels);
        }
        gainMap_ = std::move(map);
    }
    return {};
}

// The photo's own map where it can be read and stored, else the one made
// from its HDR light; without our reading of the file, nothing would say
// where the photo's own map lies.
void Conversion::collectGainMap()
{
    Result<std::optional<GainMap>> own = heif_ ? GainMapReader(file_.bytes, *heif_, photo_->primary()).read()
                                               : Result<std::optional<GainMap>>(std::nullopt);
    if (own && *own)
        if (Result<void> storable = checkStorable((*own)->metadata); !storable)
            own = storable.failure();
    if (own && *own) {
        gainMap_ = std::move(**own);
        return;
    }
    if (gainMap_) {
        if (Result<void> storable = checkStorable(gainMap_->metadata); !storable) {
            result_.hdrNotKept = storable.failure().reason;
            gainMap_.reset();
        } else if (!own) {
            result_.notes.push_back(
                "the photo's own HDR gain map left out (" + own.failure().reason + "): the map written is made from its HDR light");
        }
        return;
    }
    if (!own)
        result_.hdrNotKept = own.failure().reason;
}

// The photo's Exif and XMP when asked for, and what people are told of it;
// then libheif's memory goes.
void Conversion::collectMetadata()
{
    if (options_.keepMetadata)
        metadata_ = readPhotoMetadata(
            photo_->primary(), orientation_, planes_ ? planes_->width : image_->width, planes_ ? planes_->height : image_->height);
    if (!colour_.note.empty())
        result_.notes.push_back(colour_.note);
    result_.notes.insert(result_.notes.end(), metadata_.notes.begin(), metadata_.notes.end());
    photo_.reset();
}

Result<void> Conversion::encodeAndPublish()
{
    announceDestination();
    JpegPicture picture;
    if (planes_)
        picture = {planes_->width, planes_->height, nullptr, 0, planes_->y.data(), planes_->cb.data(), planes_->cr.data(),
            planes_->lumaStride, planes_->chromaStride};
    else
        picture = {image_->width, image_->height, image_->pixels.data(), size_t(image_->width) * 3};
    JpegMetadata metadata;
    metadata.orientation = orientation_;
    metadata.exif = metadata_.exif;
    metadata.xmp = metadata_.xmp;
    metadata.iccProfile = colour_.profile;
    const Result<void> written = gainMap_ ? writeJpegWithGainMap(output_->fd(), picture, metadata, *gainMap_, result_.notes)
                                          : writeJpeg(output_->fd(), picture, metadata);
    if (!written)
        return written;
    // The modification time goes last, after the final write to the file.
    const timespec times[2] = {{0, UTIME_OMIT}, file_.modified};
    if (options_.keepMetadata && ::futimens(output_->fd(), times) != 0)
        return Failure{ConversionStep::Finalize, std::strerror(errno)};
    if (Result<void> published = output_->publish(); !published)
        return published;
    lines_.converted(source_, name_);
    return {};
}

void Conversion::announceDestination()
{
    result_.destination = folder_ / options_.subfolder / name_;
    lines_.destination(result_.destination);
    underWay_ = ConversionStep::Finalize;
}

} // namespace

std::string failedActivity(const Failure& failure, const std::filesystem::path& destination, const std::filesystem::path& source,
    const std::filesystem::path& outputDirectory)
{
    const std::filesystem::path& subject = failure.step <= ConversionStep::Decode ? source
        : failure.step == ConversionStep::CreateFolder                            ? outputDirectory
                                                                                  : destination;
    return std::string(activityAt(failure.step)) + " " + subject.string();
}

ConversionResult convertFile(const std::filesystem::path& source, const std::filesystem::path& outputDirectory,
    const ConversionOptions& options, const LineSink& sink)
{
    const ConversionLines lines(sink);
    ConversionResult result;
    // The step under way, for a failure thrown from anywhere in it: running
    // out of memory (inside libheif too) or of threads ends this job alone.
    ConversionStep underWay = ConversionStep::Read;
    try {
        lines.converting(source);
        const Result<void> done = Conversion(source, outputDirectory, options, lines, result, underWay).run();
        if (done)
            return result;
        result.failure = done.failure();
        lines.failed(done.failure());
        return result;
    } catch (const std::exception& error) {
        result.failure = Failure{underWay, {}};
        const bool memory = dynamic_cast<const std::bad_alloc*>(&error) != nullptr;
        try {
            const bool decoding = underWay == ConversionStep::Parse || underWay == ConversionStep::Decode;
            result.failure->reason = !memory ? error.what() : decoding ? std::string(kNoMemoryToDecode) : std::strerror(ENOMEM);
        } catch (const std::bad_alloc&) {
        }
        // The programs' printLine allocates nothing; a sink that needs memory
        // may fail again.
        try {
            lines.failed({underWay, {}});
        } catch (const std::exception&) {
        }
    }
    return result;
}

} // namespace tessavo
