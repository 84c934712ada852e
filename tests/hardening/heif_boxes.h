#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where the boxes of a HEIF file lie, for tests that damage them on purpose.
namespace tessavo::hardening {

struct BoxSpan {
    std::string type;
    size_t offset = 0; // of the box header
    size_t size = 0;   // header included
    size_t header = 8; // bytes before the payload (full-box fields included)
};

// Every box of `file`, containers before their children, descending into
// meta, iinf, iprp, ipco, iref and dinf.
std::vector<BoxSpan> listBoxes(const std::vector<uint8_t>& file);

// The first box of that type; throws when there is none.
BoxSpan findBox(const std::vector<uint8_t>& file, const std::string& type);

uint32_t readU32(const std::vector<uint8_t>& bytes, size_t at);
uint16_t readU16(const std::vector<uint8_t>& bytes, size_t at);
void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);
void putU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);

} // namespace tessavo::hardening
