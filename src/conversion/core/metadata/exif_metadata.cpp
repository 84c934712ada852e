#include "conversion/core/metadata/exif_metadata.h"

#include "conversion/core/metadata/tiff_reader.h"
#include "conversion/core/metadata/xmp_properties.h"

#include "conversion/core/jpeg/jpeg_writer.h"

#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace tessavo {
namespace {

constexpr uint16_t kImageWidth = 0x0100, kImageLength = 0x0101, kStripOffsets = 0x0111, kOrientation = 0x0112, kStripByteCounts = 0x0117,
                   kThumbnailOffset = 0x0201, kThumbnailLength = 0x0202, kExifIfd = 0x8769, kGpsIfd = 0x8825, kPixelXDimension = 0xA002,
                   kPixelYDimension = 0xA003, kInteropIfd = 0xA005;
constexpr uint16_t kShort = 3, kLong = 4, kIfd = 13;

// Bytes of one value of a TIFF field type; 0 for types TIFF does not define.
uint64_t typeSize(uint32_t type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

struct Range {
    uint64_t begin = 0, end = 0;
};

class ExifRewriter {
public:
    ExifRewriter(std::span<const uint8_t> tiff) : bytes_(tiff.begin(), tiff.end()) { }

    std::vector<uint8_t> run(int orientation, int width, int height)
    {
        if (bytes_.size() < 8 || bytes_.size() > 0xFFFFFFF0u)
            return {};
        if (std::memcmp(bytes_.data(), "MM\0*", 4) == 0)
            big_ = true;
        else if (std::memcmp(bytes_.data(), "II*\0", 4) != 0)
            return {};
        const uint32_t ifd0 = u32(4);
        uint32_t count = 0;
        uint64_t next = 0;
        if (!table(ifd0, count, next))
            return {};

        std::vector<std::array<uint8_t, 12>> entries;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t at = ifd0 + 2 + size_t(i) * 12;
            const uint16_t tag = uint16_t(u16(at));
            if (tag == kOrientation || tag == kStripOffsets || tag == kStripByteCounts || tag == kThumbnailOffset ||
                tag == kThumbnailLength || !keepValue(at))
                continue;
            if ((tag == kImageWidth || tag == kImageLength) && !setSize(at, tag == kImageWidth ? width : height))
                continue;
            if (tag == kExifIfd || tag == kGpsIfd) {
                // One of each: a repeated pointer would be walked again.
                bool& seen = tag == kExifIfd ? seenExif_ : seenGps_;
                if (seen || !subIfd(at, tag == kExifIfd, width, height))
                    continue;
                seen = true;
            }
            std::array<uint8_t, 12> entry;
            std::copy_n(bytes_.data() + at, 12, entry.begin());
            entries.push_back(entry);
        }
        std::array<uint8_t, 12> orientationEntry{};
        put(orientationEntry.data(), kOrientation, 2);
        put(orientationEntry.data() + 2, kShort, 2);
        put(orientationEntry.data() + 4, 1, 4);
        put(orientationEntry.data() + 8, uint32_t(orientation), 2);
        entries.push_back(orientationEntry);
        if (entries.size() > 0xFFFF)
            return {};
        std::stable_sort(entries.begin(), entries.end(),
            [this](const auto& a, const auto& b) { return TiffReader(a, big_).read(0, 2) < TiffReader(b, big_).read(0, 2); });

        if (next != 0 && next != ifd0)
            dropThumbnail(uint32_t(next));
        bytes_.resize(size_t(cut()));

        // The new IFD 0 at the end, on a word boundary as TIFF wants.
        if (bytes_.size() % 2)
            bytes_.push_back(0);
        const size_t offset = bytes_.size();
        bytes_.resize(offset + 2 + entries.size() * 12 + 4, 0);
        put(bytes_.data() + offset, uint32_t(entries.size()), 2);
        for (size_t i = 0; i < entries.size(); ++i)
            std::copy(entries[i].begin(), entries[i].end(), bytes_.begin() + ptrdiff_t(offset + 2 + i * 12));
        put(bytes_.data() + 4, uint32_t(offset), 4);
        return std::move(bytes_);
    }

private:
    void put(uint8_t* p, uint32_t value, int size) const
    {
        for (int i = 0; i < size; ++i)
            p[i] = uint8_t(value >> (8 * (big_ ? size - 1 - i : i)));
    }
    uint32_t u16(size_t at) const { return TiffReader(bytes_, big_).read(at, 2); }
    uint32_t u32(size_t at) const { return TiffReader(bytes_, big_).read(at, 4); }

    // The IFD at `offset`: its entry count and the offset of the next IFD
    // (0 when the table ends the block without one). False when the
    // table does not fit.
    bool table(uint64_t offset, uint32_t& count, uint64_t& next)
    {
        if (offset + 2 > bytes_.size())
            return false;
        count = u16(size_t(offset));
        const uint64_t end = offset + 2 + uint64_t(count) * 12;
        if (end > bytes_.size())
            return false;
        next = end + 4 <= bytes_.size() ? u32(size_t(end)) : 0;
        keptEnd_ = std::max(keptEnd_, std::min<uint64_t>(end + 4, bytes_.size()));
        return true;
    }

    // Where the value of the entry at `at` lies: inline (empty range) or
    // inside the block; false when outside or of an unknown type.
    bool valueRange(size_t at, Range& range) const
    {
        const uint64_t size = typeSize(u16(at + 2)) * u32(at + 4);
        if (typeSize(u16(at + 2)) == 0)
            return false;
        range = {};
        if (size <= 4)
            return true;
        range = {u32(at + 8), uint64_t(u32(at + 8)) + size};
        return range.end <= bytes_.size();
    }

    bool keepValue(size_t at)
    {
        Range range;
        if (!valueRange(at, range))
            return false;
        keptEnd_ = std::max(keptEnd_, range.end);
        return true;
    }

    // A SHORT or LONG count-1 entry set to `value`.
    bool setSize(size_t at, int value)
    {
        const uint32_t type = u16(at + 2);
        if ((type != kShort && type != kLong) || u32(at + 4) != 1)
            return false;
        put(&bytes_[at + 8], 0, 4);
        put(&bytes_[at + 2], value > 0xFFFF ? kLong : type, 2);
        put(&bytes_[at + 8], uint32_t(value), value > 0xFFFF || type == kLong ? 4 : 2);
        return true;
    }

    // Keeps the Exif or GPS IFD the entry at `at` points to (and the Exif
    // IFD's interoperability IFD), correcting the pixel sizes in place.
    bool subIfd(size_t at, bool isExif, int width, int height, int depth = 0)
    {
        const uint32_t type = u16(at + 2);
        uint32_t count = 0;
        uint64_t next = 0;
        if ((type != kLong && type != kIfd) || u32(at + 4) != 1 || !table(u32(at + 8), count, next))
            return false;
        const size_t base = u32(at + 8) + 2;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t entry = base + size_t(i) * 12;
            const uint16_t tag = uint16_t(u16(entry));
            keepValue(entry);
            if (isExif && (tag == kPixelXDimension || tag == kPixelYDimension))
                setSize(entry, tag == kPixelXDimension ? width : height);
            else if (isExif && depth == 0 && tag == kInteropIfd)
                subIfd(entry, false, width, height, 1);
        }
        return true;
    }

    // Erases IFD 1, its values and the thumbnail they point to.
    void dropThumbnail(uint32_t ifd1)
    {
        uint32_t count = 0;
        uint64_t next = 0;
        const uint64_t before = keptEnd_;
        if (!table(ifd1, count, next))
            return;
        keptEnd_ = before;
        owned_.push_back({ifd1, std::min<uint64_t>(ifd1 + 2 + uint64_t(count) * 12 + 4, bytes_.size())});
        uint64_t thumbnail = 0, thumbnailLength = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t entry = ifd1 + 2 + size_t(i) * 12;
            Range range;
            if (valueRange(entry, range) && range.end > range.begin)
                owned_.push_back(range);
            const uint16_t tag = uint16_t(u16(entry));
            const bool shortValue = u16(entry + 2) == kShort;
            if (tag == kThumbnailOffset || tag == kThumbnailLength)
                (tag == kThumbnailOffset ? thumbnail : thumbnailLength) = shortValue ? u16(entry + 8) : u32(entry + 8);
        }
        if (thumbnailLength > 0 && thumbnail < bytes_.size())
            owned_.push_back({thumbnail, std::min<uint64_t>(thumbnail + thumbnailLength, bytes_.size())});
        // The header stays whatever a broken IFD 1 claims. Each byte is
        // cleared once, however many ranges cover it.
        for (Range& range : owned_)
            range.begin = std::clamp<uint64_t>(range.begin, 8, range.end);
        std::sort(owned_.begin(), owned_.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
        uint64_t cleared = 0;
        for (const Range& range : owned_) {
            const uint64_t from = std::max(range.begin, cleared);
            if (from < range.end)
                std::fill(bytes_.begin() + ptrdiff_t(from), bytes_.begin() + ptrdiff_t(range.end), 0);
            cleared = std::max(cleared, range.end);
        }
    }

    // Where the block can end: before the erased ranges that run up to its
    // end (allowing the few bytes of padding between them), never before
    // anything still referenced.
    uint64_t cut()
    {
        std::sort(owned_.begin(), owned_.end(), [](const Range& a, const Range& b) { return a.end > b.end; });
        uint64_t end = bytes_.size();
        for (const Range& range : owned_) {
            if (range.end + 3 < end)
                break;
            end = std::min(end, range.begin);
        }
        return std::max(end, keptEnd_);
    }

    std::vector<uint8_t> bytes_;
    bool big_ = false;
    bool seenExif_ = false, seenGps_ = false;
    uint64_t keptEnd_ = 8; // end of everything the kept IFDs reference
    std::vector<Range> owned_;
};

// `xmp` with every numeric value of the property `name` replaced, in one
// pass so that the time stays linear however often the name appears.
std::string replaceProperty(const std::string& xmp, std::string_view name, int value)
{
    std::string result;
    result.reserve(xmp.size());
    size_t copied = 0;
    // The next '<', '>' or quote from a position on, remembered: a search
    // starts again only past the last one found, so no byte is read twice.
    std::array<std::pair<size_t, size_t>, 256> found; // {searched from, found at}
    found.fill({std::string::npos, 0});
    const auto next = [&](char c, size_t from) {
        auto& [searched, at] = found[uint8_t(c)];
        if (searched > from || (at < from && at != std::string::npos))
            searched = from, at = xmp.find(c, from);
        return at;
    };
    size_t lastContent = std::string::npos; // an element's content already found not to be a number
    for (size_t at = xmp.find(name); at != std::string::npos; at = xmp.find(name, at + 1)) {
        const size_t after = at + name.size();
        if (at == 0 || (xmp[at - 1] != '<' && !isXmlSpace(xmp[at - 1])) || (after < xmp.size() && isXmlNameChar(xmp[after])))
            continue;
        const bool element = xmp[at - 1] == '<';
        size_t begin = after, end = std::string::npos;
        if (element) {
            begin = next('>', after);
            if (begin == std::string::npos || xmp[begin - 1] == '/' || begin + 1 == lastContent)
                continue;
            lastContent = ++begin;
            end = next('<', begin);
        } else {
            while (begin < xmp.size() && isXmlSpace(xmp[begin]))
                ++begin;
            if (begin >= xmp.size() || xmp[begin] != '=')
                continue;
            ++begin;
            while (begin < xmp.size() && isXmlSpace(xmp[begin]))
                ++begin;
            if (begin >= xmp.size() || (xmp[begin] != '"' && xmp[begin] != '\''))
                continue;
            end = next(xmp[begin], begin + 1);
            ++begin;
        }
        if (end == std::string::npos)
            continue;
        while (begin < end && isXmlSpace(xmp[begin]))
            ++begin;
        while (end > begin && isXmlSpace(xmp[end - 1]))
            --end;
        if (begin == end ||
            !std::all_of(xmp.begin() + ptrdiff_t(begin), xmp.begin() + ptrdiff_t(end), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        result.append(xmp, copied, begin - copied).append(std::to_string(value));
        copied = end;
        at = end - 1;
    }
    result.append(xmp, copied, std::string::npos);
    return result;
}

std::vector<uint8_t> readBlock(heif_image_handle* handle, heif_item_id id)
{
    std::vector<uint8_t> block(heif_image_handle_get_metadata_size(handle, id));
    if (!block.empty() && heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        block.clear();
    return block;
}

std::vector<heif_item_id> blockIds(heif_image_handle* handle, const char* type)
{
    std::vector<heif_item_id> ids(size_t(std::max(0, heif_image_handle_get_number_of_metadata_blocks(handle, type))));
    ids.resize(size_t(std::max(0, heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), int(ids.size())))));
    return ids;
}

} // namespace

std::span<const uint8_t> tiffOfHeifExif(std::span<const uint8_t> item)
{
    if (item.size() < 4)
        return {};
    uint64_t start = 4 + ((uint64_t(item[0]) << 24) | (uint64_t(item[1]) << 16) | (uint64_t(item[2]) << 8) | item[3]);
    const auto startsWith = [&](uint64_t at, const char* text, size_t length) {
        return at + length <= item.size() && std::memcmp(item.data() + at, text, length) == 0;
    };
    // Some writers point at the "Exif\0\0" of JPEG's APP1 instead.
    if (startsWith(start, "Exif\0\0", 6))
        start += 6;
    if (!startsWith(start, "MM\0*", 4) && !startsWith(start, "II*\0", 4))
        return {};
    return item.subspan(size_t(start));
}

Result<std::vector<uint8_t>> rewriteExif(std::span<const uint8_t> tiff, int orientation, int width, int height)
{
    std::vector<uint8_t> rewritten = ExifRewriter(tiff).run(orientation, width, height);
    if (rewritten.empty())
        return Failure{ConversionStep::Decode, "Exif not readable"};
    return rewritten;
}

std::vector<uint8_t> rewriteXmp(std::span<const uint8_t> xmp, int orientation, int width, int height)
{
    std::string text(xmp.begin(), xmp.end());
    text = replaceProperty(text, "tiff:Orientation", orientation);
    text = replaceProperty(text, "tiff:ImageWidth", width);
    text = replaceProperty(text, "tiff:ImageLength", height);
    text = replaceProperty(text, "exif:PixelXDimension", width);
    text = replaceProperty(text, "exif:PixelYDimension", height);
    return {text.begin(), text.end()};
}

PhotoMetadata readPhotoMetadata(heif_image_handle* handle, int orientation, int width, int height)
{
    PhotoMetadata metadata;
    // A block too large for one JPEG segment is left out before it is read
    // through, so that its size costs no time; so is one the rewrite makes
    // too large.
    const auto fits = [&](const char* kind, size_t size, size_t limit) {
        if (size <= limit)
            return true;
        metadata.notes.push_back(std::string(kind) + " of " + std::to_string(size) + " bytes does not fit one JPEG segment; not copied");
        return false;
    };
    if (const auto ids = blockIds(handle, "Exif"); !ids.empty()) {
        const std::vector<uint8_t> item = readBlock(handle, ids.front());
        const auto tiff = tiffOfHeifExif(item);
        if (tiff.empty()) {
            metadata.notes.push_back("Exif not readable; not copied");
        } else if (fits("Exif", tiff.size(), kMaxJpegExifBytes)) {
            Result<std::vector<uint8_t>> exif = rewriteExif(tiff, orientation, width, height);
            if (!exif)
                metadata.notes.push_back("Exif not readable; not copied");
            else if (fits("Exif", exif->size(), kMaxJpegExifBytes))
                metadata.exif = std::move(*exif);
        }
    }
    for (const heif_item_id id : blockIds(handle, "mime")) {
        const char* type = heif_image_handle_get_metadata_content_type(handle, id);
        if (!type || std::string_view(type) != "application/rdf+xml")
            continue;
        const std::vector<uint8_t> xmp = readBlock(handle, id);
        if (fits("XMP", xmp.size(), kMaxJpegXmpBytes)) {
            metadata.xmp = rewriteXmp(xmp, orientation, width, height);
            if (!fits("XMP", metadata.xmp.size(), kMaxJpegXmpBytes))
                metadata.xmp.clear();
        }
        break;
    }
    return metadata;
}

} // namespace tessavo
