#pragma once

#include <cstdio>
#include <dirent.h>
#include <memory>
#include <sys/types.h>
#include <utility>

// Owners of the C libraries' handles, so that every early return releases
// everything: std::unique_ptr with one deleter that knows each kind, and
// functions that return an owner (null when the library could not make
// one). The libraries' headers stay out of here.
struct heif_context;
struct heif_image_handle;
struct heif_image;
struct heif_decoding_options;
struct heif_encoding_options;
struct heif_encoder;
struct heif_color_profile_nclx;
struct jpeg_compress_struct;
struct jpeg_decompress_struct;
struct AVCodec;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct _cms_curve_struct; // cmsToneCurve
struct _cms_MLU_struct; // cmsMLU

namespace tessavo {

// Releases a handle the way its library asks; std::unique_ptr calls it only
// for one that is not null.
struct Release {
    void operator()(heif_context* context) const;
    void operator()(heif_image_handle* handle) const;
    void operator()(heif_image* image) const;
    void operator()(heif_decoding_options* options) const;
    void operator()(heif_encoding_options* options) const;
    void operator()(heif_encoder* encoder) const;
    void operator()(heif_color_profile_nclx* profile) const;
    // jpeg_destroy_*, which is safe before jpeg_create_* and after an error.
    void operator()(jpeg_compress_struct* info) const;
    void operator()(jpeg_decompress_struct* info) const;
    void operator()(AVCodecContext* context) const;
    void operator()(AVPacket* packet) const;
    void operator()(AVFrame* frame) const;
    void operator()(_cms_curve_struct* curve) const;
    void operator()(_cms_MLU_struct* text) const;
    void operator()(std::FILE* file) const;
    void operator()(DIR* listing) const;
};

template <typename T>
using Owned = std::unique_ptr<T, Release>;

// lcms2's profiles and transforms are both void*: a deleter each.
struct CloseProfile {
    void operator()(void* profile) const;
};
struct DeleteTransform {
    void operator()(void* transform) const;
};
using LcmsProfile = std::unique_ptr<void, CloseProfile>;
using LcmsTransform = std::unique_ptr<void, DeleteTransform>;

// Hands a C function's out-parameter to `owner`, which takes the handle when
// the statement ends, also when the call failed and left one (libheif does):
//   const heif_error error = heif_decode_image(handle, into(image), ...);
// Within that statement `owner` is still empty.
template <typename T>
class OutParam {
public:
    explicit OutParam(Owned<T>& owner) : owner_(owner) { }
    ~OutParam() { owner_.reset(raw_); }
    OutParam(const OutParam&) = delete;
    OutParam& operator=(const OutParam&) = delete;
    operator T**() { return &raw_; }

private:
    Owned<T>& owner_;
    T* raw_ = nullptr;
};

template <typename T>
OutParam<T> into(Owned<T>& owner)
{
    return OutParam<T>(owner);
}

Owned<heif_context> heifContext();
Owned<heif_decoding_options> heifDecodingOptions();
Owned<heif_encoding_options> heifEncodingOptions();
Owned<heif_color_profile_nclx> heifNclxProfile();

// Zeroed, not yet created: set the error manager, then jpeg_create_*.
Owned<jpeg_compress_struct> jpegCompress();
Owned<jpeg_decompress_struct> jpegDecompress();

Owned<AVCodecContext> avCodecContext(const AVCodec* codec);
Owned<AVPacket> avPacket();
Owned<AVFrame> avFrame();

Owned<std::FILE> openFile(const char* path, const char* mode);
Owned<DIR> openDir(const char* path);

// Owns one file descriptor and closes it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) { }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) { }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~UniqueFd();
    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

// open(2) and openat(2); errno tells why an empty one failed.
UniqueFd openFd(const char* path, int flags, mode_t mode = 0);
UniqueFd openFdAt(int folder, const char* path, int flags, mode_t mode = 0);

} // namespace tessavo
