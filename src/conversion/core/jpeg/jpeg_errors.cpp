#include "conversion/core/jpeg/jpeg_errors.h"

namespace tessavo {
namespace {

[[noreturn]] void onError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

void ignoreMessage(j_common_ptr) { }

} // namespace

jpeg_error_mgr* quietJpegErrors(JpegErrors& errors)
{
    jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.output_message = ignoreMessage;
    return &errors.base;
}

} // namespace tessavo
