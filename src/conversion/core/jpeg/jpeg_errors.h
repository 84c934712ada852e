#pragma once

#include <csetjmp>
#include <cstdio> // before jpeglib.h, which uses FILE

#include <jpeglib.h>

// libjpeg's error handling, shared by the writer and the tests' read-back:
// libjpeg's default exits the process, so an error jumps back to the
// caller's setjmp(jump) instead; messages are not printed, and warnings
// (a cut file, corrupt data) are only counted in base.num_warnings.
namespace tessavo {

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// For `info.err`, before jpeg_create_compress or jpeg_create_decompress.
jpeg_error_mgr* quietJpegErrors(JpegErrors& errors);

} // namespace tessavo
