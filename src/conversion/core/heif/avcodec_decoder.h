#pragma once

#include "conversion/core/base/owners.h"
#include "conversion/core/base/result.h"
#include "conversion/core/heif/heif_properties.h"

#include <cstddef>
#include <cstdint>
#include <span>

// FFmpeg's HEVC decoder, which decodes the same streams as libheif's built-in
// libde265 bit-exactly with clearly less CPU.
namespace tessavo {

// Registers the decoder into libheif above the built-in one, so that every
// HEVC image, grid tiles included, goes through it. Idempotent, thread-safe.
void registerFastHevcDecoder();

// How many images the registered decoder has decoded in this process.
std::uint64_t fastHevcDecodeCount();

using HevcFrame = Owned<AVFrame>;

// Decodes one coded picture given as NAL units, each preceded by its 4-byte
// big-endian length (parameter sets first). Fails (at Decode) when the stream
// is invalid, or with kNoMemoryToDecode when memory ran out.
Result<HevcFrame> decodeHevcPicture(std::span<const std::uint8_t> lengthPrefixedNals);

// The colour that a decoded picture's VUI declares, as libheif's built-in
// decoder hands it on: codes libheif does not know become "unspecified",
// and without a VUI the range is limited.
NclxColour streamColour(const AVFrame& frame);

} // namespace tessavo
