#include "conversion/core/heif/heif_file.h"

namespace tessavo {
namespace {

// At the top level libheif keeps the last box of a type.
const Box* last(std::span<const Box> boxes, uint32_t type)
{
    const Box* found = nullptr;
    for (const Box& box : boxes)
        if (box.type == type)
            found = &box;
    return found;
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

// libheif reads a field of 4 or 8 bytes, and none of any other size.
int fieldSize(int size) { return size == 4 || size == 8 ? size : 0; }

bool readLocations(const Box& iloc, std::map<uint32_t, HeifItem>& items)
{
    ByteReader r(iloc.payload);
    const uint32_t version = readFullBoxHeader(r).version;
    const uint64_t sizes = r.read(2);
    const int offsetSize = fieldSize(int(sizes >> 12)), lengthSize = fieldSize(int(sizes >> 8) & 15);
    const int baseSize = fieldSize(int(sizes >> 4) & 15);
    // libheif reads the index only from version 2 on.
    const int indexSize = version >= 2 ? fieldSize(int(sizes & 15)) : 0;
    const uint64_t count = r.read(version < 2 ? 2 : 4);
    for (uint64_t i = 0; i < count && r.ok(); ++i) {
        const uint32_t id = uint32_t(r.read(version < 2 ? 2 : 4));
        const int method = version >= 1 ? int(r.read(2) & 15) : 0;
        r.read(2); // data reference index
        const uint64_t base = r.read(baseSize);
        const uint64_t extentCount = r.read(2);
        std::vector<std::pair<uint64_t, uint64_t>> extents;
        for (uint64_t e = 0; e < extentCount && r.ok(); ++e) {
            r.read(indexSize);
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

// libheif reads references back to back, ignoring their sizes; the reading
// agrees with one that follows the sizes only where each is exactly that
// of its fields.
bool readReferences(std::span<const uint8_t> file, const Box& iref, HeifFile& heif)
{
    ByteReader r(iref.payload);
    heif.referenceIdSize = readFullBoxHeader(r).version == 0 ? 2 : 4;
    heif.referencesOffset = size_t(iref.payload.data() - file.data()) + 4;
    heif.referencesSize = r.left();
    heif.referencesExact = r.ok();
    while (r.ok() && r.left() > 0) {
        HeifReference reference;
        reference.offset = heif.referencesOffset + heif.referencesSize - r.left();
        const uint64_t size = r.read(4);
        reference.type = uint32_t(r.read(4));
        size_t header = 8;
        if (size == 1) {
            r.read(8);
            header = 16;
        }
        if (reference.type == fourcc("uuid")) {
            r.take(16);
            header += 16;
        }
        reference.from = uint32_t(r.read(heif.referenceIdSize));
        const uint64_t count = r.read(2);
        for (uint64_t i = 0; i < count && r.ok(); ++i) {
            reference.to.push_back(uint32_t(r.read(heif.referenceIdSize)));
            if (r.left() == 0)
                break;
        }
        if (!r.ok())
            return false;
        reference.size = heif.referencesOffset + heif.referencesSize - r.left() - reference.offset;
        heif.referencesExact = heif.referencesExact && header == 8 && size == reference.size && reference.to.size() == count;
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

Result<std::vector<std::span<const uint8_t>>> HeifFile::data(const HeifItem& item, std::span<const uint8_t> file) const
{
    if (!item.located || item.extents.empty() || item.constructionMethod > 1)
        return Failure{ConversionStep::Parse, "its item's data is not inside the file"};
    const std::span<const uint8_t> source = item.constructionMethod == 0 ? file : idat;
    std::vector<std::span<const uint8_t>> spans;
    for (const auto& [offset, length] : item.extents) {
        // A zero length stands for "to the end" in the standard and for
        // nothing in libheif.
        if (length == 0 || offset > source.size() || length > source.size() - offset)
            return Failure{ConversionStep::Parse, "its item's data is not inside the file"};
        spans.push_back(source.subspan(size_t(offset), size_t(length)));
    }
    return spans;
}

Failure unreadable() { return {ConversionStep::Parse, "this reader cannot match its boxes to libheif's reading"}; }

Result<HeifFile> readHeifFile(std::span<const uint8_t> file)
{
    const auto top = leadingBoxes(file);
    const Box* ftyp = last(top, fourcc("ftyp"));
    const Box* metaBox = last(top, fourcc("meta"));
    if (!ftyp || !metaBox || metaBox->payload.size() < 4)
        return unreadable();
    const auto meta = allBoxes(metaBox->payload.subspan(4));
    if (!meta)
        return unreadable();

    // libheif keeps the first child box of a type inside meta, iprp and iinf.
    const Box* hdlr = findBox(*meta, fourcc("hdlr"));
    const Box* pitm = findBox(*meta, fourcc("pitm"));
    const Box* iinf = findBox(*meta, fourcc("iinf"));
    const Box* iloc = findBox(*meta, fourcc("iloc"));
    const Box* iprpBox = findBox(*meta, fourcc("iprp"));
    const Box* iref = findBox(*meta, fourcc("iref"));
    const Box* idat = findBox(*meta, fourcc("idat"));
    if (!pitm || !iinf || !iloc || !iprpBox)
        return unreadable();
    if (hdlr) {
        ByteReader r(hdlr->payload);
        r.read(8); // version, flags, pre_defined
        if (r.read(4) != fourcc("pict") || !r.ok())
            return unreadable();
    }

    HeifFile heif;
    const auto primary = readPrimary(*pitm);
    if (!primary)
        return unreadable();
    heif.primary = *primary;
    if (idat)
        heif.idat = idat->payload;
    const auto iprp = allBoxes(iprpBox->payload);
    const Box* ipco = iprp ? findBox(*iprp, fourcc("ipco")) : nullptr;
    if (!ipco)
        return unreadable();
    auto properties = allBoxes(ipco->payload);
    if (!properties)
        return unreadable();
    heif.properties = std::move(*properties);
    if (!readItemInfo(*iinf, heif.items) || !readLocations(*iloc, heif.items) || !readAssociations(*iprp, heif.items) ||
        (iref && !readReferences(file, *iref, heif)))
        return unreadable();
    return heif;
}

std::string itemBytes(const HeifFile& heif, uint32_t id, std::span<const uint8_t> file)
{
    std::string bytes;
    if (const HeifItem* item = heif.item(id))
        if (const auto spans = heif.data(*item, file))
            for (const auto span : *spans)
                bytes.append(span.begin(), span.end());
    return bytes;
}

} // namespace tessavo
