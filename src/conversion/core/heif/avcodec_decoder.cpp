#include "conversion/core/heif/avcodec_decoder.h"

#include "conversion/core/heif/heif_photo.h"

#include "conversion/core/memory/address_space_gate.h"
#include "conversion/core/memory/room_pass.h"

#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace tessavo {

namespace {

std::atomic<std::uint64_t> decodeCount{0};

// HEIF stores length-prefixed NAL units; the decoder without extradata wants
// an Annex B byte stream.
bool toAnnexB(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out)
{
    out.clear();
    out.reserve(in.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    size_t pos = 0;
    while (pos + 4 <= in.size()) {
        const size_t length = size_t(in[pos]) << 24 | size_t(in[pos + 1]) << 16 | size_t(in[pos + 2]) << 8 | in[pos + 3];
        pos += 4;
        if (length > in.size() - pos)
            return false;
        static constexpr std::uint8_t startCode[4] = {0, 0, 0, 1};
        out.insert(out.end(), startCode, startCode + 4);
        out.insert(out.end(), in.begin() + pos, in.begin() + pos + length);
        pos += length;
    }
    if (pos != in.size() || out.empty())
        return false;
    out.insert(out.end(), AV_INPUT_BUFFER_PADDING_SIZE, 0);
    return true;
}

Owned<heif_color_profile_nclx> streamNclx(const AVFrame& frame)
{
    // The same calls as libheif's libde265 plugin, so that values libheif
    // rejects end up as they do there.
    Owned<heif_color_profile_nclx> nclx = heifNclxProfile();
    if (!nclx)
        return nullptr;
    heif_nclx_color_profile_set_color_primaries(nclx.get(), uint16_t(frame.color_primaries));
    heif_nclx_color_profile_set_transfer_characteristics(nclx.get(), uint16_t(frame.color_trc));
    heif_nclx_color_profile_set_matrix_coefficients(nclx.get(), uint16_t(frame.colorspace));
    nclx->full_range_flag = frame.color_range == AVCOL_RANGE_JPEG;
    return nclx;
}

// ---- libheif plugin ------------------------------------------------------

struct PluginDecoder {
    std::vector<std::uint8_t> data;
};

heif_error ok() { return {heif_error_Ok, heif_suberror_Unspecified, "Success"}; }
heif_error decodeError(const char* message) { return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, message}; }

const char* pluginName() { return "FFmpeg libavcodec HEVC (Tessavo)"; }
void pluginInit() { }
void pluginDeinit() { }

int pluginSupports(heif_compression_format format)
{
    // Above libde265's 100: libheif 1.15 picks grid tiles' decoder by priority alone.
    return format == heif_compression_HEVC ? 120 : 0;
}

heif_error pluginNew(void** decoder)
{
    *decoder = new PluginDecoder;
    return ok();
}

void pluginFree(void* decoder) { delete static_cast<PluginDecoder*>(decoder); }

heif_error pluginPush(void* decoder, const void* data, size_t size)
{
    auto& buffer = static_cast<PluginDecoder*>(decoder)->data;
    buffer.insert(buffer.end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
    return ok();
}

heif_error pluginDecode(void* decoder, heif_image** decoded)
{
    *decoded = nullptr;
    Result<HevcFrame> decodedFrame = decodeHevcPicture(static_cast<PluginDecoder*>(decoder)->data);
    if (!decodedFrame && decodedFrame.failure().reason == kNoMemoryToDecode)
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
    if (!decodedFrame)
        return decodeError("HEVC decoding failed");
    const HevcFrame frame = std::move(*decodedFrame);

    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) || desc->comp[0].depth > 16)
        return decodeError("unsupported HEVC pixel format");
    const int bits = desc->comp[0].depth;
    const bool mono = desc->nb_components == 1;
    heif_chroma chroma = heif_chroma_monochrome;
    if (!mono) {
        if (desc->log2_chroma_w == 1 && desc->log2_chroma_h == 1)
            chroma = heif_chroma_420;
        else if (desc->log2_chroma_w == 1 && desc->log2_chroma_h == 0)
            chroma = heif_chroma_422;
        else if (desc->log2_chroma_w == 0 && desc->log2_chroma_h == 0)
            chroma = heif_chroma_444;
        else
            return decodeError("unsupported HEVC chroma format");
    }

    Owned<heif_image> image;
    heif_error err = heif_image_create(
        frame->width, frame->height, mono ? heif_colorspace_monochrome : heif_colorspace_YCbCr, chroma, into(image));
    if (err.code != heif_error_Ok)
        return err;
    const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int c = 0; c < (mono ? 1 : 3); ++c) {
        const int w = c == 0 ? frame->width : AV_CEIL_RSHIFT(frame->width, desc->log2_chroma_w);
        const int h = c == 0 ? frame->height : AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h);
        err = heif_image_add_plane(image.get(), channels[c], w, h, bits);
        if (err.code != heif_error_Ok)
            return err;
        int stride = 0;
        std::uint8_t* dst = heif_image_get_plane(image.get(), channels[c], &stride);
        const size_t rowBytes = size_t(w) * (bits > 8 ? 2 : 1);
        for (int y = 0; y < h; ++y)
            std::memcpy(dst + size_t(y) * stride, frame->data[c] + size_t(y) * frame->linesize[c], rowBytes);
    }
    // Where the file has no nclx of its own, libheif converts with this one.
    if (const Owned<heif_color_profile_nclx> nclx = streamNclx(*frame))
        heif_image_set_nclx_color_profile(image.get(), nclx.get());
    decodeCount.fetch_add(1, std::memory_order_relaxed);
    *decoded = image.release();
    return ok();
}

void pluginStrict(void*, int) { }

const heif_decoder_plugin plugin = {
    3,
    pluginName,
    pluginInit,
    pluginDeinit,
    pluginSupports,
    pluginNew,
    pluginFree,
    pluginPush,
    pluginDecode,
    pluginStrict,
    "tessavo-avcodec",
};

} // namespace

namespace {

// FFmpeg 5.1's HEVC decoder reads through a null pointer when some of its
// allocations fail, which happens under an address-space limit: a picture
// is decoded only with room for it to spare.
AddressSpaceGate decodeRoom;
constexpr size_t kRoomToDecode = size_t(128) << 20;

} // namespace

Result<HevcFrame> decodeHevcPicture(std::span<const std::uint8_t> lengthPrefixedNals)
{
    const Failure noMemory{ConversionStep::Decode, std::string(kNoMemoryToDecode)};
    const Failure invalid{ConversionStep::Decode, "HEVC decoding failed"};
    const auto failed = [&](int status) { return status < 0; };
    const auto why = [&](int status) { return status == AVERROR(ENOMEM) ? noMemory : invalid; };
    const RoomPass room(decodeRoom, kRoomToDecode);
    if (!room)
        return noMemory;
    thread_local std::vector<std::uint8_t> stream;
    if (!toAnnexB(lengthPrefixedNals, stream))
        return invalid;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    if (!codec)
        return invalid;
    const Owned<AVCodecContext> context = avCodecContext(codec);
    const Owned<AVPacket> packet = avPacket();
    HevcFrame frame = avFrame();
    if (!context || !packet || !frame)
        return noMemory;
    // Callers parallelise across tiles and files; one picture gains nothing from threads.
    context->thread_count = 1;
    if (const int status = avcodec_open2(context.get(), codec, nullptr); failed(status))
        return why(status);
    packet->data = stream.data();
    packet->size = int(stream.size() - AV_INPUT_BUFFER_PADDING_SIZE);
    for (AVPacket* sent : {packet.get(), static_cast<AVPacket*>(nullptr)})
        if (const int status = avcodec_send_packet(context.get(), sent); failed(status))
            return why(status);
    if (const int status = avcodec_receive_frame(context.get(), frame.get()); failed(status))
        return why(status);
    if (frame->decode_error_flags != 0)
        return invalid;
    return frame;
}

void registerFastHevcDecoder()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Corrupt input is reported through the return value; keep stderr quiet.
        av_log_set_level(AV_LOG_QUIET);
        heif_register_decoder_plugin(&plugin);
    });
}

NclxColour streamColour(const AVFrame& frame)
{
    NclxColour colour;
    const Owned<heif_color_profile_nclx> nclx = streamNclx(frame);
    if (!nclx) {
        colour.fullRange = frame.color_range == AVCOL_RANGE_JPEG;
        return colour;
    }
    colour.primaries = uint16_t(nclx->color_primaries);
    colour.transfer = uint16_t(nclx->transfer_characteristics);
    colour.matrix = uint16_t(nclx->matrix_coefficients);
    colour.fullRange = nclx->full_range_flag != 0;
    return colour;
}

std::uint64_t fastHevcDecodeCount() { return decodeCount.load(std::memory_order_relaxed); }

} // namespace tessavo
