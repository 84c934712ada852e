#include "conversion/core/base/owners.h"

#include <lcms2.h>
#include <libheif/heif.h>

#include <cstdio> // before jpeglib.h, which uses FILE
#include <jpeglib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <fcntl.h>
#include <unistd.h>

namespace tessavo {

void Release::operator()(heif_context* context) const { heif_context_free(context); }
void Release::operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
void Release::operator()(heif_image* image) const { heif_image_release(image); }
void Release::operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
void Release::operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
void Release::operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
void Release::operator()(heif_color_profile_nclx* profile) const { heif_nclx_color_profile_free(profile); }

void Release::operator()(jpeg_compress_struct* info) const
{
    jpeg_destroy_compress(info);
    delete info;
}

void Release::operator()(jpeg_decompress_struct* info) const
{
    jpeg_destroy_decompress(info);
    delete info;
}

void Release::operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
void Release::operator()(AVPacket* packet) const { av_packet_free(&packet); }
void Release::operator()(AVFrame* frame) const { av_frame_free(&frame); }
void Release::operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
void Release::operator()(cmsMLU* text) const { cmsMLUfree(text); }
void Release::operator()(std::FILE* file) const { std::fclose(file); }
void Release::operator()(DIR* listing) const { ::closedir(listing); }

void CloseProfile::operator()(void* profile) const { cmsCloseProfile(profile); }
void DeleteTransform::operator()(void* transform) const { cmsDeleteTransform(transform); }

Owned<heif_context> heifContext() { return Owned<heif_context>(heif_context_alloc()); }
Owned<heif_decoding_options> heifDecodingOptions() { return Owned<heif_decoding_options>(heif_decoding_options_alloc()); }
Owned<heif_encoding_options> heifEncodingOptions() { return Owned<heif_encoding_options>(heif_encoding_options_alloc()); }
Owned<heif_color_profile_nclx> heifNclxProfile() { return Owned<heif_color_profile_nclx>(heif_nclx_color_profile_alloc()); }

Owned<jpeg_compress_struct> jpegCompress() { return Owned<jpeg_compress_struct>(new jpeg_compress_struct{}); }
Owned<jpeg_decompress_struct> jpegDecompress() { return Owned<jpeg_decompress_struct>(new jpeg_decompress_struct{}); }

Owned<AVCodecContext> avCodecContext(const AVCodec* codec) { return Owned<AVCodecContext>(avcodec_alloc_context3(codec)); }
Owned<AVPacket> avPacket() { return Owned<AVPacket>(av_packet_alloc()); }
Owned<AVFrame> avFrame() { return Owned<AVFrame>(av_frame_alloc()); }

Owned<std::FILE> openFile(const char* path, const char* mode) { return Owned<std::FILE>(std::fopen(path, mode)); }
Owned<DIR> openDir(const char* path) { return Owned<DIR>(::opendir(path)); }

UniqueFd::~UniqueFd()
{
    if (fd_ >= 0)
        ::close(fd_);
}

UniqueFd openFd(const char* path, int flags, mode_t mode) { return UniqueFd(::open(path, flags, mode)); }

UniqueFd openFdAt(int folder, const char* path, int flags, mode_t mode) { return UniqueFd(::openat(folder, path, flags, mode)); }

} // namespace tessavo
