#include "conversion/core/convert_file.h"

#include "conversion/core/address_space.h"
#include "conversion/core/avcodec_decoder.h"
#include "conversion/core/colour_profile.h"
#include "conversion/core/exif_metadata.h"
#include "conversion/core/heif_compat.h"
#include "conversion/core/heif_file.h"
#include "conversion/core/heif_properties.h"
#include "conversion/core/jpeg_output.h"
#include "conversion/core/jpeg_writer.h"
#include "conversion/core/owners.h"
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

// O_NONBLOCK keeps a FIFO or device from stalling the job; only regular
// files are read. Empty `reason` when it worked.
std::vector<uint8_t> readWholeFile(const std::filesystem::path& path, FileIdentity& identity, timespec& modified,
                                   std::string& reason)
{
    const UniqueFd fd = openFd(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        reason = std::strerror(errno);
        return {};
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxSourceBytes) {
        reason = S_ISDIR(info.st_mode) ? std::strerror(EISDIR)
                 : S_ISREG(info.st_mode) ? std::strerror(EFBIG)
                                         : "not a regular file";
        return {};
    }
    identity = {info.st_dev, info.st_ino};
    modified = info.st_mtim;
    std::vector<uint8_t> bytes(size_t(info.st_size) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            reason = std::strerror(errno);
            return {};
        }
        if (got == 0)
            break;
        filled += size_t(got);
        if (filled > size_t(kMaxSourceBytes)) {
            reason = std::strerror(EFBIG);
            return {};
        }
    }
    bytes.resize(filled);
    return bytes;
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

// Interleaved 8-bit RGB, top row first.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// libheif's transformed decode flattened onto white, as rows of RGB in the
// colours `colour` asks for.
std::optional<RgbImage> decodeShownImage(heif_image_handle* handle, const ColourPlan& colour, std::string& reason)
{
    const bool hasAlpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const bool toneMapped = colour.pixels == ColourPlan::Pixels::ToneMapped;
    const Owned<heif_decoding_options> options = heifDecodingOptions();
    if (!options)
        return std::nullopt;
    options->convert_hdr_to_8bit = toneMapped ? 0 : 1;

    const heif_chroma chroma = toneMapped ? (hasAlpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                          : (hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    Owned<heif_image> decoded;
    errno = 0;
    const heif_error error = heif_decode_image(handle, into(decoded), heif_colorspace_RGB, chroma, options.get());
    if (error.code != heif_error_Ok || !decoded) {
        reason = libheifReason(error);
        return std::nullopt;
    }

    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    RgbImage image;
    image.width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    image.height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    const int channels = hasAlpha ? 4 : 3;
    const int bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
    if (!plane || image.width <= 0 || image.height <= 0 || stride < image.width * channels * (toneMapped ? 2 : 1) ||
        (toneMapped ? bits < 8 || bits > 16 : bits != 8))
        return std::nullopt;

    // Tone mapping needs the brightest pixel first; its rows then go
    // through an 8-bit row like the rest.
    std::optional<HdrRendering> hdr;
    std::vector<uint8_t> renderedRow;
    const auto samples = [&](int y) { return reinterpret_cast<const uint16_t*>(plane + size_t(y) * size_t(stride)); };
    if (toneMapped) {
        hdr.emplace(colour.nclx, bits);
        for (int y = 0; y < image.height; ++y)
            hdr->measure(samples(y), size_t(image.width), channels);
        renderedRow.resize(size_t(image.width) * size_t(channels));
    }

    const bool premultiplied = heif_image_is_premultiplied_alpha(decoded.get()) != 0;
    image.pixels.resize(size_t(image.width) * size_t(image.height) * 3);
    uint8_t* out = image.pixels.data();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = plane + size_t(y) * size_t(stride);
        if (hdr) {
            hdr->render(samples(y), size_t(image.width), channels, renderedRow.data());
            in = renderedRow.data();
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
    return image;
}

// The stored pixels that `orientation` turns into `shown`.
RgbImage unapplyOrientation(const RgbImage& shown, int orientation)
{
    const auto m = orientationMatrix(orientation);
    const bool swapsAxes = m[0] == 0;
    RgbImage stored;
    stored.width = swapsAxes ? shown.height : shown.width;
    stored.height = swapsAxes ? shown.width : shown.height;
    stored.pixels.resize(shown.pixels.size());

    // Shown position of a stored pixel (x, y): m * (x, y) plus an offset
    // that maps the centres onto each other.
    const ptrdiff_t originX = (shown.width - 1 - m[0] * (stored.width - 1) - m[1] * (stored.height - 1)) / 2;
    const ptrdiff_t originY = (shown.height - 1 - m[2] * (stored.width - 1) - m[3] * (stored.height - 1)) / 2;
    const ptrdiff_t rowBytes = ptrdiff_t(shown.width) * 3;
    const ptrdiff_t stepX = m[2] * rowBytes + m[0] * 3;
    const ptrdiff_t stepY = m[3] * rowBytes + m[1] * 3;
    const uint8_t* base = shown.pixels.data() + originY * rowBytes + originX * 3;
    uint8_t* out = stored.pixels.data();
    for (ptrdiff_t y = 0; y < stored.height; ++y) {
        const uint8_t* in = base + y * stepY;
        for (int x = 0; x < stored.width; ++x, in += stepX) {
            *out++ = in[0];
            *out++ = in[1];
            *out++ = in[2];
        }
    }
    return stored;
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

} // namespace

namespace {

// The line each failing step prints; the output folder's adds the reason.
std::string_view failureLine(ConversionStep step)
{
    switch (step) {
    case ConversionStep::Read: return "Failed to read HEIC data.";
    case ConversionStep::Parse: return "Failed to create CGImageSource.";
    case ConversionStep::Decode: return "Failed to create CGImage.";
    case ConversionStep::CreateFolder: return "Failed to create output directory: ";
    case ConversionStep::CreateDestination: return "Failed to create CGImageDestination.";
    case ConversionStep::Finalize:
    case ConversionStep::Done: break;
    }
    return "Failed to finalize the image destination.";
}

} // namespace

ConversionResult convertFile(const std::filesystem::path& source,
                             const std::filesystem::path& outputDirectory,
                             const ConversionOptions& options,
                             const LineSink& sink)
{
    ConversionResult result;
    const auto fail = [&](ConversionStep step, std::string reason) {
        if (step == ConversionStep::CreateFolder)
            sink(std::string(failureLine(step)) + reason);
        else
            sink(failureLine(step));
        result.step = step;
        result.reason = std::move(reason);
        return result;
    };
    // The step under way, for a failure thrown from anywhere in it: running
    // out of memory (inside libheif too) or of threads ends this job alone.
    ConversionStep underWay = ConversionStep::Read;
    try {
        sink("Converting file: " + source.filename().string());
        FileIdentity identity;
        timespec modified{};
        std::string unread;
        std::vector<uint8_t> bytes = readWholeFile(source, identity, modified, unread);
        if (!unread.empty())
            return fail(ConversionStep::Read, std::move(unread));

        // Our one reading of the metadata serves the compatibility step, the
        // orientation and the direct route; without it libheif does everything.
        underWay = ConversionStep::Parse;
        std::optional<HeifFile> heif = readHeifFile(bytes);
        if (heif)
            adaptForLibheif(bytes, *heif);

        const ThreadShare threads;
        initialiseLibheifOnce();
        Owned<heif_context> context = heifContext();
        // libheif refuses a derived image (grid, overlay) from its limit on, a
        // coded one only above it: one more than our side makes both take 16384.
        if (context)
            heif_context_set_maximum_image_size_limit(context.get(), kMaxImageSide + 1);
        Owned<heif_image_handle> handle;
        heif_error parsed{heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
        errno = 0;
        if (context) {
            parsed = heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr);
            if (parsed.code == heif_error_Ok)
                parsed = heif_context_get_primary_image_handle(context.get(), into(handle));
        }
        if (parsed.code != heif_error_Ok)
            return fail(ConversionStep::Parse, libheifReason(parsed));
        if (heif_image_handle_get_ispe_width(handle.get()) > kMaxImageSide ||
            heif_image_handle_get_ispe_height(handle.get()) > kMaxImageSide)
            return fail(ConversionStep::Parse, "the image is larger than 16384 pixels");
        // Under a memory limit a photo waits for the room its decode takes
        // (about 14 bytes a pixel at the peak, and the decoder's own) rather
        // than failing beside the others that hold it.
        const size_t pixels = size_t(heif_image_handle_get_width(handle.get())) *
                              size_t(heif_image_handle_get_height(handle.get()));
        const RoomPass room(conversionRoom, pixels * 14 + (size_t(32) << 20));

        const std::filesystem::path name = options.destinationName.empty()
            ? destinationPath(source, {}).filename()
            : options.destinationName;
        // Before the decode, so that a folder which cannot take the JPEG costs
        // no decoding; its failure is told in its place, after the destination.
        JpegOutput output(outputDirectory, name, identity);
        const auto announceDestination = [&] {
            result.destination = outputDirectory / name;
            sink("Destination URL: " + result.destination.string());
            underWay = ConversionStep::Finalize;
        };
        if (!output.ready()) {
            announceDestination();
            return fail(output.step(), output.reason());
        }

        // libheif crops, turns and mirrors; the turn and mirror are then undone
        // here and carried as the EXIF orientation instead. Undoing exactly what
        // libheif did needs its reading of the properties, which ours follows;
        // where ours has none, libheif's view is written upright.
        underWay = ConversionStep::Decode;
        const auto transforms = heif ? transformsOf(*heif, heif->primary) : std::nullopt;
        const int orientation = transforms ? exifOrientation(*transforms) : 1;
        if (const char* why = heif ? whyLibheifCannotDecode(*heif) : nullptr)
            return fail(ConversionStep::Decode, why);
        const ColourPlan colour = planColour(handle.get());
        std::optional<YCbCrImage> planes;
        if (options.allowDirectRoute && colour.pixels == ColourPlan::Pixels::AsDecoded)
            planes = decodeDirectly(bytes, heif, handle.get(), transforms, threads.threads());
        std::optional<RgbImage> image;
        std::string undecoded = "the image could not be decoded";
        if (!planes) {
            heif_context_set_max_decoding_threads(context.get(), threads.threads());
            image = decodeShownImage(handle.get(), colour, undecoded);
            if (image && orientation != 1)
                image = unapplyOrientation(*image, orientation);
        }
        if (!planes && !image)
            return fail(ConversionStep::Decode, std::move(undecoded));
        result.directRoute = planes.has_value();
        PhotoMetadata metadata;
        if (options.keepMetadata)
            metadata = readPhotoMetadata(handle.get(), orientation, planes ? planes->width : image->width,
                                         planes ? planes->height : image->height);
        if (!colour.note.empty())
            result.notes.push_back(colour.note);
        result.notes.insert(result.notes.end(), metadata.notes.begin(), metadata.notes.end());
        handle.reset();
        context.reset();

        announceDestination();
        JpegPicture picture;
        if (planes)
            picture = {planes->width, planes->height, nullptr, 0, planes->y.data(), planes->cb.data(), planes->cr.data(),
                       planes->lumaStride, planes->chromaStride};
        else
            picture = {image->width, image->height, image->pixels.data(), size_t(image->width) * 3};
        std::string unwritten;
        if (!writeJpeg(output.fd(), picture, {orientation, metadata.exif, metadata.xmp, colour.profile}, &unwritten))
            return fail(ConversionStep::Finalize, std::move(unwritten));
        // The modification time goes last, after the final write to the file.
        const timespec times[2] = {{0, UTIME_OMIT}, modified};
        if (options.keepMetadata && ::futimens(output.fd(), times) != 0)
            return fail(ConversionStep::Finalize, std::strerror(errno));
        if (!output.publish())
            return fail(output.step(), output.reason());
        sink("Successfully converted " + source.filename().string() + " to " + name.string());
        result.step = ConversionStep::Done;
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
            sink(failureLine(underWay));
        } catch (const std::exception&) {
        }
    }
    return result;
}

} // namespace tessavo
