#include "heif_boxes.h"

#include <stdexcept>

namespace tessavo::hardening {

uint32_t readU32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 | b.at(at + 3);
}
uint16_t readU16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b.at(at) << 8 | b.at(at + 1)); }
void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + size_t(i)) = uint8_t(v >> (24 - 8 * i));
}
void putU16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b.at(at) = uint8_t(v >> 8);
    b.at(at + 1) = uint8_t(v);
}

namespace {

void walk(const std::vector<uint8_t>& file, size_t begin, size_t end, std::vector<BoxSpan>& out)
{
    size_t at = begin;
    while (at + 8 <= end) {
        BoxSpan box;
        box.offset = at;
        box.size = readU32(file, at);
        box.type.assign(file.begin() + long(at) + 4, file.begin() + long(at) + 8);
        if (box.size == 0)
            box.size = end - at;
        if (box.size < 8 || at + box.size > end)
            throw std::runtime_error("fixture has a box this walker does not understand");
        size_t children = 0; // bytes of fields before the child boxes
        if (box.type == "meta" || box.type == "iref")
            children = 4;
        else if (box.type == "iinf")
            children = file.at(at + 8) == 0 ? 6 : 8;
        else if (box.type == "iprp" || box.type == "ipco" || box.type == "dinf")
            children = 0;
        else
            children = std::string::npos;
        box.header = 8 + (children == std::string::npos ? 0 : children);
        out.push_back(box);
        if (children != std::string::npos)
            walk(file, at + 8 + children, at + box.size, out);
        at += box.size;
    }
}

} // namespace

std::vector<BoxSpan> listBoxes(const std::vector<uint8_t>& file)
{
    std::vector<BoxSpan> boxes;
    walk(file, 0, file.size(), boxes);
    return boxes;
}

BoxSpan findBox(const std::vector<uint8_t>& file, const std::string& type)
{
    for (const auto& box : listBoxes(file))
        if (box.type == type)
            return box;
    throw std::runtime_error("fixture has no " + type + " box");
}

} // namespace tessavo::hardening
