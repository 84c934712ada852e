#include "conversion/core/convert_file.h"


#include "conversion/core/address_space.h"
#include "conversion/core/avcodec_decoder.h"
#include "conversion/core/colour_profile.h"
#include "conversion/core/exif_metadata.h"
#include "conversion/core/gain_map.h"
#include "conversion/core/gain_map_jpeg.h"
#include "conversion/core/gain_map_reader.h"
#include "conversion/core/hdr_gain_map.h"
#include "conversion/core/heif_compat.h"
#include "conversion/core/heif_file.h"
#include "conversion/core/heif_properties.h"
#include "conversion/core/jpeg_output.h"
#include "conversion/core/jpeg_writer.h"
#include "conversion/core/owners.h"
#include "conversion/core/stored_frame.h"
#include "conversion/core/ycbcr_decode.h"

#include <libheif/heif.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessavo {

std::filesystem::path destinationPath(const std::filesystem::path& source,
                                      const std::filesystem::path& outputDirectory)
{
    std::filesystem::path name = source.filename();
    name.replace_extension(".jpg");
    return outputDirectory / name;
}

namespace {

AddressSpaceBudget conversionRoom;

// No photo comes near this; a larger source (a sparse or runaway file) fails
// at the read step instead of taking its size in memory.
constexpr off_t kMaxSourceBytes = off_t(1) << 30;

struct SourceFile {
    std::vector<uint8_t> bytes;
    FileIdentity identity;
    timespec modified{};
};

Failure unread(std::string reason) { return {ConversionStep::Read, std::move(reason)}; }

// O_NONBLOCK keeps a FIFO or device from stalling the job; only regular
// files are read.
Result<SourceFile> readWholeFile(const std::filesystem::path& path)
{
    const UniqueFd fd = openFd(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0)
        return unread(std::strerror(errno));
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxSourceBytes)
        return unread(S_ISDIR(info.st_mode) ? std::strerror(EISDIR)
                      : S_ISREG(info.st_mode) ? std::strerror(EFBIG)
                                              : "not a regular file");
    SourceFile file{std::vector<uint8_t>(size_t(info.st_size) + 1), {info.st_dev, info.st_ino}, info.st_mtim};
    std::vector<uint8_t>& bytes = file.bytes;
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return unread(std::strerror(errno));
        }
        if (got == 0)
            break;
        filled += size_t(got);
        if (filled > size_t(kMaxSourceBytes))
            return unread(std::strerror(EFBIG));
    }
    bytes.resize(filled);
    return file;
}

void initialiseLibheifOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        heif_init(nullptr);
        registerFastHevcDecoder();
    });
}

// libheif names a failed allocation after the check that fails next ("Wrong
// tile image pixel depth"); errno, cleared before the call, tells the truth.
std::string libheifReason(const heif_error& error)
{
    const bool memory = (error.code == heif_error_Memory_allocation_error &&
                         error.subcode != heif_suberror_Security_limit_exceeded) || errno == ENOMEM;
    return memory ? std::string(kNoMemoryToDecode) : error.message;
}

Failure undecoded(std::string reason = "the image could not be decoded")
{
    return {ConversionStep::Decode, std::move(reason)};
}

// libheif's transformed decode flattened onto white, as rows of RGB in the
// colours `colour` asks for. With `hdrMap`, a PQ or HLG photo without alpha
// also gives the gain map from its SDR rendering back to its HDR light.
Result<RgbImage> decodeShownImage(heif_image_handle* handle, const ColourPlan& colour,
                                  std::optional<GainMap>* hdrMap = nullptr)
{
    const bool hasAlpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const bool toneMapped = colour.pixels == ColourPlan::Pixels::ToneMapped;
    const Owned<heif_decoding_options> options = heifDecodingOptions();
    if (!options)
        return undecoded();
    options->convert_hdr_to_8bit = toneMapped ? 0 : 1;

    const heif_chroma chroma = toneMapped ? (hasAlpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                          : (hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    Owned<heif_image> decoded;
    errno = 0;
    const heif_error error = heif_decode_image(handle, into(decoded), heif_colorspace_RGB, chroma, options.get());
    if (error.code != heif_error_Ok || !decoded)
        return undecoded(libheifReason(error));

    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    RgbImage image;
    image.width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    image.height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    const int channels = hasAlpha ? 4 : 3;
    const int bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
    if (!plane || image.width <= 0 || image.height <= 0 || stride < image.width * channels * (toneMapped ? 2 : 1) ||
        (toneMapped ? bits < 8 || bits > 16 : bits != 8))
        return undecoded();

    // Tone mapping needs the brightest pixel first; its rows then go
    // through an 8-bit row like the rest.
    std::optional<HdrRendering> hdr;
    std::optional<HdrGainMap> map;
    std::vector<uint8_t> renderedRow;
    std::vector<float> luminance;
    const auto samples = [&](int y) { return reinterpret_cast<const uint16_t*>(plane + size_t(y) * size_t(stride)); };
    if (toneMapped) {
        hdr.emplace(colour.nclx, bits);
        for (int y = 0; y < image.height; ++y)
            hdr->measure(samples(y), size_t(image.width), channels);
        renderedRow.resize(size_t(image.width) * size_t(channels));
        if (hdrMap && !hasAlpha) {
            map.emplace(image.width, image.height);
            luminance.resize(size_t(image.width));
        }
    }

    const bool premultiplied = heif_image_is_premultiplied_alpha(decoded.get()) != 0;
    image.pixels.resize(size_t(image.width) * size_t(image.height) * 3);
    uint8_t* out = image.pixels.data();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = plane + size_t(y) * size_t(stride);
        if (hdr) {
            hdr->render(samples(y), size_t(image.width), channels, renderedRow.data(), map ? luminance.data() : nullptr);
            in = renderedRow.data();
            if (map)
                map->addRow(y, luminance.data(), in);
        }
        if (!hasAlpha) {
            std::memcpy(out, in, size_t(image.width) * 3);
            out += size_t(image.width) * 3;
            continue;
        }
        for (int x = 0; x < image.width; ++x, in += 4) {
            const unsigned alpha = in[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned white = 255 * (255 - alpha);
                const unsigned value = premultiplied ? in[c] * 255 + white : in[c] * alpha + white;
                *out++ = uint8_t(std::min(255u, (value + 127) / 255));
            }
        }
    }
    if (colour.pixels == ColourPlan::Pixels::ToSrgb)
        convertToSrgb(colour, image.pixels.data(), size_t(image.width) * size_t(image.height));
    if (map)
        *hdrMap = map->finish(hdr->peak());
    return image;
}

// The stored pixels as YCbCr straight from the HEVC tiles where that gives
// libheif's picture exactly (see ycbcr_decode.h), crop included.
std::optional<YCbCrImage> decodeDirectly(std::span<const uint8_t> file, const std::optional<HeifFile>& heif,
                                         heif_image_handle* handle,
                                         const std::optional<std::vector<ImageTransform>>& transforms, int threads)
{
    if (!heif || !transforms || !plainEightBit(handle))
        return std::nullopt;
    const auto layout = hevcLayout(*heif, file);
    if (!layout || layout->width > kMaxImageSide || layout->height > kMaxImageSide)
        return std::nullopt;
    const auto area = croppedArea(*transforms, layout->width, layout->height);
    if (!area)
        return std::nullopt;
    return decodeYCbCr(*layout, *area, threads);
}

// What each step does, and the line it prints when it fails (the output
// folder's adds the reason).
struct StepTexts {
    std::string_view failed;
    std::string_view doing;
};

StepTexts textsOf(ConversionStep step)
{
    switch (step) {
    case ConversionStep::Read: return {"Failed to read HEIC data.", "reading"};
    case ConversionStep::Parse: return {"Failed to create CGImageSource.", "decoding"};
    case ConversionStep::Decode: return {"Failed to create CGImage.", "decoding"};
    case ConversionStep::CreateFolder: return {"Failed to create output directory: ", "creating"};
    case ConversionStep::CreateDestination: return {"Failed to create CGImageDestination.", "writing"};
    case ConversionStep::Finalize:
    case ConversionStep::Done: break;
    }
    return {"Failed to finalize the image destination.", "writing"};
}

// Every line a conversion prints is made here. Scripts read them: their
// texts are a contract, to be kept byte for byte.
struct Lines {
    const LineSink& sink;

    void converting(const std::filesystem::path& source) const
    {
        sink("Converting file: " + source.filename().string());
    }
    void destination(const std::filesystem::path& jpeg) const { sink("Destination URL: " + jpeg.string()); }
    void converted(const std::filesystem::path& source, const std::filesystem::path& name) const
    {
        sink("Successfully converted " + source.filename().string() + " to " + name.string());
    }
    void failed(const Failure& failure) const
    {
        const std::string_view line = textsOf(failure.step).failed;
        if (failure.step == ConversionStep::CreateFolder)
            sink(std::string(line) + failure.reason);
        else
            sink(line);
    }
};

// The steps of one conversion, each taking what the one before made.
class Conversion {
public:
    Conversion(const std::filesystem::path& source, const std::filesystem::path& outputDirectory,
               const ConversionOptions& options, const Lines& lines, ConversionResult& result,
               ConversionStep& underWay)
        : source_(source), folder_(outputDirectory), options_(options), lines_(lines), result_(result),
          underWay_(underWay)
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
    const Lines& lines_;
    ConversionResult& result_;
    ConversionStep& underWay_;

    SourceFile file_;
    std::optional<HeifFile> heif_;
    std::optional<ThreadShare> threads_;
    Owned<heif_context> context_;
    Owned<heif_image_handle> handle_;
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
    heif_ = readHeifFile(bytes);
    if (heif_)
        adaptForLibheif(bytes, *heif_, options_.keepHdr);

    threads_.emplace();
    initialiseLibheifOnce();
    context_ = heifContext();
    // libheif refuses a derived image (grid, overlay) from its limit on, a
    // coded one only above it: one more than our side makes both take 16384.
    if (context_)
        heif_context_set_maximum_image_size_limit(context_.get(), kMaxImageSide + 1);
    heif_error parsed{heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
    errno = 0;
    if (context_) {
        parsed = heif_context_read_from_memory_without_copy(context_.get(), bytes.data(), bytes.size(), nullptr);
        if (parsed.code == heif_error_Ok)
            parsed = heif_context_get_primary_image_handle(context_.get(), into(handle_));
    }
    if (parsed.code != heif_error_Ok)
        return Failure{ConversionStep::Parse, libheifReason(parsed)};
    if (heif_image_handle_get_ispe_width(handle_.get()) > kMaxImageSide ||
        heif_image_handle_get_ispe_height(handle_.get()) > kMaxImageSide)
        return Failure{ConversionStep::Parse, "the image is larger than 16384 pixels"};
    // Under a memory limit a photo waits for the room its decode takes
    // (about 14 bytes a pixel at the peak, and the decoder's own) rather
    // than failing beside the others that hold it.
    const size_t pixels = size_t(heif_image_handle_get_width(handle_.get())) *
                          size_t(heif_image_handle_get_height(handle_.get()));
    room_.emplace(conversionRoom, pixels * 14 + (size_t(32) << 20));
    return {};
}

// Before the decode, so that a folder which cannot take the JPEG costs no
// decoding; its failure is told in its place, after the destination.
Result<void> Conversion::prepareOutput()
{
    name_ = options_.destinationName.empty() ? destinationPath(source_, {}).filename() : options_.destinationName;
    Result<std::unique_ptr<JpegOutput>> output = JpegOutput::open(folder_, name_, file_.identity);
    if (!output) {
        announceDestination();
        return output.failure();
    }
    output_ = std::move(*output);
    return {};
}

// libheif crops, turns and mirrors; the turn and mirror are then undone here
// and carried as the EXIF orientation instead. Undoing exactly what libheif
// did needs its reading of the properties, which ours follows; where ours
// has none, libheif's view is written upright.
Result<void> Conversion::decode()
{
    underWay_ = ConversionStep::Decode;
    const auto transforms = heif_ ? transformsOf(*heif_, heif_->primary) : std::nullopt;
    orientation_ = transforms ? exifOrientation(*transforms) : 1;
    if (heif_)
        if (Result<void> decodable = libheifCanDecode(*heif_); !decodable)
            return decodable;
    colour_ = planColour(handle_.get());
    if (options_.allowDirectRoute && colour_.pixels == ColourPlan::Pixels::AsDecoded)
        planes_ = decodeDirectly(file_.bytes, heif_, handle_.get(), transforms, threads_->threads());
    result_.directRoute = planes_.has_value();
    if (planes_)
        return {};
    heif_context_set_max_decoding_threads(context_.get(), threads_->threads());
    std::optional<GainMap> hdrMap;
    Result<RgbImage> image = decodeShownImage(handle_.get(), colour_, options_.keepHdr ? &hdrMap : nullptr);
    if (!image)
        return image.failure();
    image_ = orientation_ != 1 ? unapplyOrientation(*image, orientation_) : std::move(*image);
    if (hdrMap && !gainMap_) {
        // Turned back as the picture is, so that the file's orientation serves both.
        if (orientation_ != 1) {
            RgbImage grey{hdrMap->width, hdrMap->height, std::move(hdrMap->pixels)};
            grey = unapplyOrientation(grey, orientation_, 1);
            hdrMap->width = grey.width;
            hdrMap->height = grey.height;
            hdrMap->pixels = std::move(grey.pixels);
        }
        gainMap_ = std::move(hdrMap);
    }
    return {};
}

// The photo's own map where it can be read and stored, else the one made
// from its HDR light; without our reading of the file, nothing would say
// where the photo's own map lies.
void Conversion::collectGainMap()
{
    std::optional<Result<GainMap>> own = heif_ ? GainMapReader(file_.bytes, *heif_, handle_.get()).read() : std::nullopt;
    if (own && *own)
        if (Result<void> storable = checkStorable((*own)->metadata); !storable)
            own = Result<GainMap>(storable.failure());
    if (own && *own) {
        gainMap_ = std::move(**own);
        return;
    }
    if (gainMap_) {
        if (Result<void> storable = checkStorable(gainMap_->metadata); !storable) {
            result_.hdrNotKept = storable.failure().reason;
            gainMap_.reset();
        } else if (own) {
            result_.notes.push_back("the photo's own HDR gain map left out (" + own->failure().reason +
                                    "): the map written is made from its HDR light");
        }
        return;
    }
    if (own)
        result_.hdrNotKept = own->failure().reason;
}

// The photo's Exif and XMP when asked for, and what people are told of it.
void Conversion::collectMetadata()
{
    if (options_.keepMetadata)
        metadata_ = readPhotoMetadata(handle_.get(), orientation_, planes_ ? planes_->width : image_->width,
                                      planes_ ? planes_->height : image_->height);
    if (!colour_.note.empty())
        result_.notes.push_back(colour_.note);
    result_.notes.insert(result_.notes.end(), metadata_.notes.begin(), metadata_.notes.end());
    handle_.reset();
    context_.reset();
}

Result<void> Conversion::encodeAndPublish()
{
    announceDestination();
    JpegPicture picture;
    if (planes_)
        picture = {planes_->width, planes_->height, nullptr, 0, planes_->y.data(), planes_->cb.data(),
                   planes_->cr.data(), planes_->lumaStride, planes_->chromaStride};
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
    result_.destination = folder_ / name_;
    lines_.destination(result_.destination);
    underWay_ = ConversionStep::Finalize;
}

} // namespace

std::string failedActivity(const ConversionResult& result, const std::filesystem::path& source,
                           const std::filesystem::path& outputDirectory)
{
    const std::filesystem::path& subject = result.step <= ConversionStep::Decode ? source
                                           : result.step == ConversionStep::CreateFolder ? outputDirectory
                                                                                          : result.destination;
    return std::string(textsOf(result.step).doing) + " " + subject.string();
}

ConversionResult convertFile(const std::filesystem::path& source,
                             const std::filesystem::path& outputDirectory,
                             const ConversionOptions& options,
                             const LineSink& sink)
{
    const Lines lines{sink};
    ConversionResult result;
    // The step under way, for a failure thrown from anywhere in it: running
    // out of memory (inside libheif too) or of threads ends this job alone.
    ConversionStep underWay = ConversionStep::Read;
    try {
        lines.converting(source);
        const Result<void> done = Conversion(source, outputDirectory, options, lines, result, underWay).run();
        result.step = done ? ConversionStep::Done : done.failure().step;
        if (done)
            return result;
        result.reason = done.failure().reason;
        lines.failed(done.failure());
        return result;
    } catch (const std::exception& error) {
        result.step = underWay;
        const bool memory = dynamic_cast<const std::bad_alloc*>(&error) != nullptr;
        try {
            const bool decoding = underWay == ConversionStep::Parse || underWay == ConversionStep::Decode;
            result.reason = !memory ? error.what() : decoding ? std::string(kNoMemoryToDecode) : std::strerror(ENOMEM);
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
