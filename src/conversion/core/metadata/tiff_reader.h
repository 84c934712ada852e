#pragma once

#include "conversion/core/base/result.h"

#include <cstdint>
#include <optional>
#include <span>

// The one reader of TIFF structures (Exif, and maker notes laid out as
// one): numbers in the structure's byte order and the entries of its IFDs.
// Reads only inside its bytes; a number past their end reads as 0.
namespace tessavo {

class TiffReader {
public:
    TiffReader(std::span<const uint8_t> bytes, bool bigEndian) : bytes_(bytes), big_(bigEndian) { }
    // In the byte order its header gives ("MM" big-endian, else little).
    explicit TiffReader(std::span<const uint8_t> tiff) : TiffReader(tiff, !tiff.empty() && tiff[0] == 'M') { }

    bool bigEndian() const { return big_; }
    uint32_t read(uint64_t at, int size) const;
    // The offset of IFD 0, from the header.
    uint32_t firstIfd() const { return read(4, 4); }
    // The entries of the IFD at `ifd` that fit inside the bytes.
    uint32_t entryCount(uint64_t ifd) const;
    // The offset of the 12-byte entry of `tag` in the IFD at `ifd`; the first
    // such entry, none when there is none.
    std::optional<uint64_t> entry(uint64_t ifd, uint16_t tag) const;
    // A SHORT or LONG value of count 1 (the first entry of `tag`).
    Result<uint32_t> number(uint64_t ifd, uint16_t tag) const;
    // A RATIONAL or SRATIONAL value of count 1.
    Result<double> rational(uint64_t ifd, uint16_t tag) const;

private:
    std::span<const uint8_t> bytes_;
    bool big_;
};

} // namespace tessavo
