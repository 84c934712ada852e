#include "conversion/core/jpeg/jpeg_writer.h"

#include "conversion/core/base/owners.h"
#include "conversion/core/jpeg/jpeg_errors.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

namespace tessavo {

Result<void> writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Failure{ConversionStep::Finalize, std::strerror(errno)};
        }
        data += written;
        size -= size_t(written);
    }
    return {};
}

namespace {

struct FileDestination {
    jpeg_destination_mgr base;
    int fd;
    std::vector<uint8_t>* memory = nullptr; // instead of fd
    std::string writeError; // why a write failed
    size_t flushed = 0; // bytes given to fd or memory
    std::array<JOCTET, 1 << 16> buffer;

    size_t position() const { return flushed + buffer.size() - base.free_in_buffer; }
    bool flush(size_t size)
    {
        flushed += size;
        if (memory) {
            memory->insert(memory->end(), buffer.data(), buffer.data() + size);
            return true;
        }
        Result<void> written = writeAll(fd, buffer.data(), size);
        if (!written)
            writeError = written.failure().reason;
        return bool(written);
    }
};

void initDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<FileDestination*>(info->dest);
    dest->base.next_output_byte = dest->buffer.data();
    dest->base.free_in_buffer = dest->buffer.size();
}

boolean emptyBuffer(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<FileDestination*>(info->dest);
    if (!dest->flush(dest->buffer.size()))
        ERREXIT(info, JERR_FILE_WRITE);
    initDestination(info);
    return TRUE;
}

void termDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<FileDestination*>(info->dest);
    if (!dest->flush(dest->buffer.size() - dest->base.free_in_buffer))
        ERREXIT(info, JERR_FILE_WRITE);
}

// The smallest EXIF block: a big-endian TIFF header and one IFD entry.
std::array<JOCTET, 32> exifOrientationBlock(int orientation)
{
    return {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, // byte order, magic, IFD0 offset
        0, 1, // one entry
        0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, JOCTET(orientation), 0, 0, // Orientation, SHORT, 1
        0, 0, 0, 0}; // no next IFD
}

constexpr std::string_view kExifIdentifier{"Exif\0", 6};
constexpr std::string_view kXmpIdentifier{"http://ns.adobe.com/xap/1.0/", 29};

// One APP1 marker: the identifier, then the block.
void writeMarker(jpeg_compress_struct& info, std::string_view identifier, std::span<const uint8_t> block)
{
    jpeg_write_m_header(&info, JPEG_APP0 + 1, unsigned(identifier.size() + block.size()));
    for (const char c : identifier)
        jpeg_write_m_byte(&info, c);
    for (const uint8_t byte : block)
        jpeg_write_m_byte(&info, byte);
}

// Only trivially destructible objects live here, so leaving by longjmp is
// safe; the caller's owner destroys `info`, whichever way this returns.
Result<void> encode(
    jpeg_compress_struct& info, JpegErrors& errors, FileDestination& dest, const JpegPicture& picture, const JpegMetadata& metadata)
{
    info.err = quietJpegErrors(errors);
    if (setjmp(errors.jump)) {
        char message[JMSG_LENGTH_MAX] = {};
        if (!dest.writeError.empty())
            std::snprintf(message, sizeof message, "%s", dest.writeError.c_str());
        else
            errors.base.format_message(reinterpret_cast<j_common_ptr>(&info), message);
        return Failure{ConversionStep::Finalize, message};
    }
    jpeg_create_compress(&info);
    dest.base.init_destination = initDestination;
    dest.base.empty_output_buffer = emptyBuffer;
    dest.base.term_destination = termDestination;
    info.dest = &dest.base;

    info.image_width = JDIMENSION(picture.width);
    info.image_height = JDIMENSION(picture.height);
    const bool grey = !picture.y && picture.components == 1;
    info.input_components = grey ? 1 : 3;
    info.in_color_space = picture.y ? JCS_YCbCr : grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    info.raw_data_in = picture.y ? TRUE : FALSE;
    jpeg_set_quality(&info, metadata.quality, TRUE);
    info.comp_info[0].h_samp_factor = grey ? 1 : 2;
    info.comp_info[0].v_samp_factor = grey ? 1 : 2;
    // EXIF wants its APP1 right after the start of image.
    info.write_JFIF_header = FALSE;

    jpeg_start_compress(&info, TRUE);
    if (!metadata.withExif) {
    } else if (metadata.exif.empty()) {
        const auto exif = exifOrientationBlock(metadata.orientation);
        jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    } else {
        writeMarker(info, kExifIdentifier, metadata.exif);
    }
    if (!metadata.xmp.empty())
        writeMarker(info, kXmpIdentifier, metadata.xmp);
    if (!metadata.iccProfile.empty())
        jpeg_write_icc_profile(&info, metadata.iccProfile.data(), unsigned(metadata.iccProfile.size()));
    for (const JpegSegment& segment : metadata.segments) {
        if (segment.at)
            *segment.at = dest.position() + 4;
        jpeg_write_marker(&info, JPEG_APP0 + segment.app, segment.data.data(), unsigned(segment.data.size()));
    }

    if (picture.y) {
        std::array<JSAMPROW, 16> luma{};
        std::array<JSAMPROW, 8> blue{}, red{};
        std::array<JSAMPARRAY, 3> planes{luma.data(), blue.data(), red.data()};
        while (info.next_scanline < info.image_height) {
            const size_t row = info.next_scanline;
            for (size_t i = 0; i < luma.size(); ++i)
                luma[i] = const_cast<JSAMPROW>(picture.y + (row + i) * picture.lumaStride);
            for (size_t i = 0; i < blue.size(); ++i) {
                blue[i] = const_cast<JSAMPROW>(picture.cb + (row / 2 + i) * picture.chromaStride);
                red[i] = const_cast<JSAMPROW>(picture.cr + (row / 2 + i) * picture.chromaStride);
            }
            jpeg_write_raw_data(&info, planes.data(), JDIMENSION(luma.size()));
        }
    }
    std::array<JSAMPROW, 16> rows{};
    while (!picture.y && info.next_scanline < info.image_height) {
        const JDIMENSION count = std::min<JDIMENSION>(JDIMENSION(rows.size()), info.image_height - info.next_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(picture.rgb + (info.next_scanline + i) * picture.stride);
        jpeg_write_scanlines(&info, rows.data(), count);
    }
    jpeg_finish_compress(&info);
    return {};
}

Result<void> writeTo(int fd, std::vector<uint8_t>* memory, const JpegPicture& picture, const JpegMetadata& metadata)
{
    // libjpeg would number a 256th ICC marker 0 and cut a long APP1 short.
    const auto tooLong = [](const JpegSegment& segment) { return segment.data.size() > 65533; };
    if (picture.width <= 0 || picture.height <= 0 || (!picture.rgb && !picture.y) || metadata.orientation < 1 || metadata.orientation > 8 ||
        metadata.iccProfile.size() > kMaxJpegIccBytes || metadata.exif.size() > kMaxJpegExifBytes ||
        metadata.xmp.size() > kMaxJpegXmpBytes || std::ranges::any_of(metadata.segments, tooLong))
        return Failure{ConversionStep::Finalize, "no picture to encode, or a block too large for JPEG"};
    auto errors = std::make_unique<JpegErrors>();
    auto dest = std::make_unique<FileDestination>();
    dest->fd = fd;
    dest->memory = memory;
    // Destroyed first: libjpeg lets go of the error manager and destination.
    const Owned<jpeg_compress_struct> info = jpegCompress();
    return encode(*info, *errors, *dest, picture, metadata);
}

} // namespace

Result<void> writeJpeg(int fd, const JpegPicture& picture, const JpegMetadata& metadata) { return writeTo(fd, nullptr, picture, metadata); }

Result<std::vector<uint8_t>> encodeJpeg(const JpegPicture& picture, const JpegMetadata& metadata)
{
    std::vector<uint8_t> bytes;
    if (Result<void> encoded = writeTo(-1, &bytes, picture, metadata); !encoded)
        return encoded.failure();
    return bytes;
}

} // namespace tessavo
