#include "conversion/heif_file.h"

namespace tessavo {
namespace {

// The only box of `type` among `boxes`, or null when there is none; false
// when there are several (libheif takes the last top-level box of a type
// but the first inside meta: rather than follow that, such files are left
// to libheif alone).
bool single(std::span<const Box> boxes, uint32_t type, const Box*& found)
{
    found = nullptr;
    for (const Box& box : boxes) {
        if (box.type != type)
            continue;
        if (found)
            return false;
        found = &box;
    }
    return true;
}

std::optional<uint32_t> readPrimary(const Box& pitm)
{
    ByteReader r(pitm.payload);
    const uint32_t id = uint32_t(r.read(readFullBoxHeader(r).version == 0 ? 2 : 4));
    return r.ok() ? std::optional(id) : std::nullopt;
}

bool readItemInfo(const Box& iinf, std::map<uint32_t, HeifItem>& items)
{
    ByteReader r(iinf.payload);
    r.read(readFullBoxHeader(r).version == 0 ? 2 : 4); // libheif reads every child, whatever the count
    const auto entries = allBoxes(r.take(r.left()));
    if (!r.ok() || !entries)
        return false;
    for (const Box& infe : *entries) {
        if (infe.type != fourcc("infe"))
            continue;
        ByteReader e(infe.payload);
        const auto [version, flags] = readFullBoxHeader(e);
        HeifItem item;
        if (version < 2) {
            item.id = uint32_t(e.read(2));
        } else {
            item.hidden = flags & 1;
            item.id = uint32_t(e.read(version == 2 ? 2 : 4));
            e.read(2); // protection index
            item.type = uint32_t(e.read(4));
        }
        if (!e.ok())
            return false;
        items.emplace(item.id, std::move(item)); // the first infe of an ID counts
    }
    return true;
}

// Field sizes libheif reads: 0, 4 or 8 bytes.
bool plainSize(int size) { return size == 0 || size == 4 || size == 8; }

bool readLocations(const Box& iloc, std::map<uint32_t, HeifItem>& items)
{
    ByteReader r(iloc.payload);
    const uint32_t version = readFullBoxHeader(r).version;
    const uint64_t sizes = r.read(2);
    const int offsetSize = int(sizes >> 12), lengthSize = int(sizes >> 8) & 15, baseSize = int(sizes >> 4) & 15;
    // libheif ignores an index size in version 1, where it is defined; such
    // files would be read differently.
    const int indexSize = int(sizes & 15);
    if (version > 2 || !plainSize(offsetSize) || !plainSize(lengthSize) || !plainSize(baseSize) ||
        (version == 1 && indexSize != 0) || (version == 2 && !plainSize(indexSize)))
        return false;
    const uint64_t count = r.read(version < 2 ? 2 : 4);
    for (uint64_t i = 0; i < count && r.ok(); ++i) {
        const uint32_t id = uint32_t(r.read(version < 2 ? 2 : 4));
        const int method = version >= 1 ? int(r.read(2) & 15) : 0;
        r.read(2); // data reference index
        const uint64_t base = r.read(baseSize);
        const uint64_t extentCount = r.read(2);
        std::vector<std::pair<uint64_t, uint64_t>> extents;
        for (uint64_t e = 0; e < extentCount && r.ok(); ++e) {
            r.read(version == 2 ? indexSize : 0);
            const uint64_t offset = r.read(offsetSize);
            const uint64_t length = r.read(lengthSize);
            if (offset > UINT64_MAX - base)
                return false;
            extents.emplace_back(base + offset, length);
        }
        const auto item = items.find(id);
        if (item != items.end() && !item->second.located) { // the first entry of an ID counts
            item->second.located = true;
            item->second.constructionMethod = method;
            item->second.extents = std::move(extents);
        }
    }
    return r.ok();
}

bool readAssociations(std::span<const Box> iprp, std::map<uint32_t, HeifItem>& items)
{
    for (const Box& ipma : iprp) {
        if (ipma.type != fourcc("ipma"))
            continue;
        auto entries = readPropertyAssociations(ipma.payload);
        if (!entries)
            return false;
        for (PropertyEntry& entry : *entries) {
            const auto item = items.find(entry.item);
            if (item == items.end() || item->second.associated)
                continue;
            item->second.associated = true;
            item->second.associations = std::move(entry.indices);
        }
    }
    return true;
}

bool readReferences(std::span<const uint8_t> file, const Box& iref, HeifFile& heif)
{
    ByteReader r(iref.payload);
    heif.referenceIdSize = readFullBoxHeader(r).version == 0 ? 2 : 4;
    const auto payload = r.take(r.left());
    const auto references = allBoxes(payload);
    if (!r.ok() || !references)
        return false;
    heif.referencesOffset = size_t(payload.data() - file.data());
    heif.referencesSize = payload.size();
    size_t at = heif.referencesOffset;
    for (const Box& box : *references) {
        // libheif reads references back to back, ignoring their sizes: only
        // where each size is exactly that of its fields do the two readings
        // agree. A 64-bit size or a uuid type is no plain reference either.
        const size_t payloadAt = size_t(box.payload.data() - file.data());
        ByteReader b(box.payload);
        HeifReference reference;
        reference.type = box.type;
        reference.from = uint32_t(b.read(heif.referenceIdSize));
        const uint64_t count = b.read(2);
        for (uint64_t i = 0; i < count && b.ok(); ++i)
            reference.to.push_back(uint32_t(b.read(heif.referenceIdSize)));
        if (!b.ok() || b.left() != 0 || payloadAt - at != 8)
            return false;
        reference.offset = at;
        reference.size = 8 + box.payload.size();
        at += reference.size;
        heif.references.push_back(std::move(reference));
    }
    return true;
}

} // namespace

const HeifItem* HeifFile::item(uint32_t id) const
{
    const auto found = items.find(id);
    return found == items.end() ? nullptr : &found->second;
}

std::vector<const Box*> HeifFile::propertiesOf(uint32_t id) const
{
    std::vector<const Box*> out;
    if (const HeifItem* found = item(id))
        for (const uint32_t index : found->associations)
            if (index > 0 && index <= properties.size())
                out.push_back(&properties[index - 1]);
    return out;
}

const Box* HeifFile::property(uint32_t id, uint32_t type) const
{
    const HeifItem* found = item(id);
    if (!found)
        return nullptr;
    for (const uint32_t index : found->associations) {
        if (index == 0 || index > properties.size())
            return nullptr;
        if (properties[index - 1].type == type)
            return &properties[index - 1];
    }
    return nullptr;
}

std::vector<uint32_t> HeifFile::referenced(uint32_t from, uint32_t type) const
{
    for (const HeifReference& reference : references)
        if (reference.from == from && reference.type == type)
            return reference.to;
    return {};
}

std::optional<std::vector<std::span<const uint8_t>>> HeifFile::data(const HeifItem& item,
                                                                    std::span<const uint8_t> file) const
{
    if (!item.located || item.extents.empty() || item.constructionMethod > 1)
        return std::nullopt;
    const std::span<const uint8_t> source = item.constructionMethod == 0 ? file : idat;
    std::vector<std::span<const uint8_t>> spans;
    for (const auto& [offset, length] : item.extents) {
        // A zero length stands for "to the end" in the standard and for
        // nothing in libheif.
        if (length == 0 || offset > source.size() || length > source.size() - offset)
            return std::nullopt;
        spans.push_back(source.subspan(size_t(offset), size_t(length)));
    }
    return spans;
}

std::optional<HeifFile> readHeifFile(std::span<const uint8_t> file)
{
    const auto top = leadingBoxes(file);
    const Box *ftyp = nullptr, *metaBox = nullptr;
    if (!single(top, fourcc("ftyp"), ftyp) || !single(top, fourcc("meta"), metaBox) || !ftyp || !metaBox ||
        metaBox->payload.size() < 4)
        return std::nullopt;
    const auto meta = allBoxes(metaBox->payload.subspan(4));
    if (!meta)
        return std::nullopt;

    const Box *hdlr = nullptr, *pitm = nullptr, *iinf = nullptr, *iloc = nullptr, *iprpBox = nullptr, *iref = nullptr,
              *idat = nullptr;
    if (!single(*meta, fourcc("hdlr"), hdlr) || !single(*meta, fourcc("pitm"), pitm) ||
        !single(*meta, fourcc("iinf"), iinf) || !single(*meta, fourcc("iloc"), iloc) ||
        !single(*meta, fourcc("iprp"), iprpBox) || !single(*meta, fourcc("iref"), iref) ||
        !single(*meta, fourcc("idat"), idat) || !pitm || !iinf || !iloc || !iprpBox)
        return std::nullopt;
    if (hdlr) {
        ByteReader r(hdlr->payload);
        r.read(8); // version, flags, pre_defined
        if (r.read(4) != fourcc("pict") || !r.ok())
            return std::nullopt;
    }

    HeifFile heif;
    const auto primary = readPrimary(*pitm);
    if (!primary)
        return std::nullopt;
    heif.primary = *primary;
    if (idat)
        heif.idat = idat->payload;
    const auto iprp = allBoxes(iprpBox->payload);
    const Box* ipco = nullptr;
    if (!iprp || !single(*iprp, fourcc("ipco"), ipco) || !ipco)
        return std::nullopt;
    auto properties = allBoxes(ipco->payload);
    if (!properties)
        return std::nullopt;
    heif.properties = std::move(*properties);
    if (!readItemInfo(*iinf, heif.items) || !readLocations(*iloc, heif.items) || !readAssociations(*iprp, heif.items) ||
        (iref && !readReferences(file, *iref, heif)))
        return std::nullopt;
    return heif;
}

} // namespace tessavo
