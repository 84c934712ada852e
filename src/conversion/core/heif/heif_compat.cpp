#include "conversion/core/heif/heif_compat.h"

#include "conversion/core/heif/heif_properties.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <vector>

namespace tessavo {
namespace {

bool isImage(uint32_t type)
{
    return type == fourcc("hvc1") || type == fourcc("grid") || type == fourcc("iden") || type == fourcc("iovl") || type == fourcc("av01") ||
        type == fourcc("vvc1");
}

bool isDerived(uint32_t type) { return type == fourcc("grid") || type == fourcc("iden") || type == fourcc("iovl"); }

// The reference types libheif 1.15 reads.
bool readByLibheif(uint32_t type)
{
    return type == fourcc("thmb") || type == fourcc("auxl") || type == fourcc("dimg") || type == fourcc("cdsc") || type == fourcc("prem");
}

bool isAlpha(const HeifFile& heif, uint32_t item)
{
    const std::string_view kind = auxiliaryType(heif, item);
    return kind == "urn:mpeg:avc:2015:auxid:1" || kind == "urn:mpeg:hevc:2015:auxid:1" ||
        kind == "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha";
}

enum class Fix { Keep, Reduce, Ignore };

Failure cannotRewrite() { return {ConversionStep::Parse, "libheif 1.15 cannot read its references as they are"}; }

void put(std::vector<uint8_t>& out, uint64_t value, int size)
{
    for (int i = size - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

void writeReference(std::vector<uint8_t>& out, uint32_t type, uint32_t from, std::span<const uint32_t> to, size_t padding, int idSize)
{
    put(out, 8 + idSize + 2 + (to.size() + padding) * size_t(idSize), 4);
    put(out, type, 4);
    put(out, from, idSize);
    put(out, to.size() + padding, 2);
    for (const uint32_t id : to)
        put(out, id, idSize);
    out.insert(out.end(), padding * size_t(idSize), 0);
}

} // namespace

Result<bool> adaptForLibheif(std::span<uint8_t> file, const HeifFile& heif, std::optional<uint32_t> gainMap)
{
    const auto& references = heif.references;
    std::vector<Fix> fixes(references.size(), Fix::Keep);
    bool reduce = false, change = false;
    for (size_t i = 0; i < references.size(); ++i) {
        const HeifReference& reference = references[i];
        const HeifItem* from = heif.item(reference.from);
        const bool fromImage = from && isImage(from->type);
        const bool toPrimary = std::find(reference.to.begin(), reference.to.end(), heif.primary) != reference.to.end();
        const bool toImage = std::any_of(reference.to.begin(), reference.to.end(), [&](uint32_t id) {
            const HeifItem* to = heif.item(id);
            return to && isImage(to->type);
        });
        if (reference.type == fourcc("auxl") && fromImage && gainMap == reference.from && (reference.to.size() != 1 || !toPrimary)) {
            // Kept as the primary's auxiliary image, where libheif lets the map be decoded.
            fixes[i] = Fix::Reduce;
        } else if (reference.type == fourcc("auxl") && fromImage && !toImage) {
            // An image libheif cannot attach anywhere would fail the whole file.
            fixes[i] = Fix::Ignore;
        } else if (reference.to.size() == 1) {
            continue;
        } else if ((reference.type == fourcc("auxl") && fromImage) || reference.type == fourcc("cdsc")) {
            const bool matters = reference.type == fourcc("cdsc") || isAlpha(heif, reference.from);
            fixes[i] = matters && toPrimary ? Fix::Reduce : Fix::Ignore;
        } else if (reference.type == fourcc("thmb") && fromImage) {
            fixes[i] = Fix::Ignore;
        }
        reduce = reduce || fixes[i] == Fix::Reduce;
        change = change || fixes[i] != Fix::Keep;
    }
    if (!change)
        return false;
    // Rewritten references are read back by their sizes.
    if (!heif.referencesExact)
        return cannotRewrite();

    if (!reduce) {
        for (size_t i = 0; i < references.size(); ++i)
            if (fixes[i] == Fix::Ignore)
                for (int b = 0; b < 4; ++b)
                    file[references[i].offset + 4 + size_t(b)] = uint8_t(kIgnoredReference >> (24 - 8 * b));
        return true;
    }

    // The reference that takes the freed bytes: the best one to lose, last.
    const auto loss = [&](size_t i) {
        const HeifReference& reference = references[i];
        const HeifItem* from = heif.item(reference.from);
        if (!readByLibheif(reference.type))
            return 0;
        if (fixes[i] == Fix::Ignore)
            return 1;
        if (reference.type == fourcc("dimg") && !(from && isDerived(from->type)))
            return 2;
        if (reference.type == fourcc("thmb"))
            return 3;
        return 4;
    };
    size_t freedIds = 0;
    for (size_t i = 0; i < references.size(); ++i)
        if (fixes[i] == Fix::Reduce)
            freedIds += references[i].to.size() - 1;
    size_t absorber = references.size();
    for (size_t i = 0; i < references.size() && freedIds > 0; ++i)
        if (loss(i) < 4 && (absorber == references.size() || loss(i) < loss(absorber)))
            absorber = i;
    // Without room for the freed bytes the gain map is passed over, as without the option.
    if (freedIds > 0 && absorber == references.size())
        return gainMap ? adaptForLibheif(file, heif) : Result<bool>(cannotRewrite());

    const int idSize = heif.referenceIdSize;
    std::vector<uint8_t> out;
    out.reserve(heif.referencesSize);
    size_t freed = 0;
    for (size_t i = 0; i < references.size(); ++i) {
        const HeifReference& reference = references[i];
        if (i == absorber)
            continue;
        if (fixes[i] == Fix::Reduce) {
            writeReference(out, reference.type, reference.from, std::span(&heif.primary, 1), 0, idSize);
            freed += (reference.to.size() - 1) * size_t(idSize);
        } else {
            writeReference(out, fixes[i] == Fix::Ignore ? kIgnoredReference : reference.type, reference.from, reference.to, 0, idSize);
        }
    }
    if (absorber < references.size()) {
        const HeifReference& last = references[absorber];
        if (last.to.size() + freed / size_t(idSize) > 0xffff)
            return gainMap ? adaptForLibheif(file, heif) : Result<bool>(cannotRewrite());
        writeReference(out, kIgnoredReference, last.from, last.to, freed / size_t(idSize), idSize);
    }
    if (out.size() != heif.referencesSize)
        return gainMap ? adaptForLibheif(file, heif) : Result<bool>(cannotRewrite());
    std::copy(out.begin(), out.end(), file.begin() + std::ptrdiff_t(heif.referencesOffset));
    return true;
}

Result<void> libheifCanDecode(const HeifFile& heif)
{
    // Depth first over the dimg references; an image still open when it is
    // reached again refers back to itself.
    enum class Mark { Open, Done };
    std::map<uint32_t, Mark> marks;
    std::vector<std::pair<uint32_t, bool>> pending{{heif.primary, false}}; // true: its inputs are done
    while (!pending.empty()) {
        const auto [id, inputsDone] = pending.back();
        pending.pop_back();
        if (inputsDone) {
            marks[id] = Mark::Done;
            continue;
        }
        if (const auto mark = marks.find(id); mark != marks.end()) {
            if (mark->second == Mark::Open)
                return Failure{ConversionStep::Decode, "a derived image is made of itself"};
            continue;
        }
        const HeifItem* item = heif.item(id);
        if (!item || !isImage(item->type))
            return Failure{ConversionStep::Decode, "a derived image is made of an item that is no image"};
        marks[id] = Mark::Open;
        pending.push_back({id, true});
        if (isDerived(item->type))
            for (const uint32_t input : heif.referenced(id, fourcc("dimg")))
                pending.push_back({input, false});
    }
    return {};
}

} // namespace tessavo
