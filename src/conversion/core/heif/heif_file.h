#pragma once

#include "conversion/core/heif/heif_boxes.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

// The one reading of a HEIF file's metadata that the core does itself: the
// items, their properties and references, for the orientation, the direct
// YCbCr route and the compatibility step before libheif. It reads as
// libheif 1.15 does, quirks included (which boxes count, which ipma entry,
// references read back to back), so that nothing built on it disagrees with
// libheif's own picture.
namespace tessavo {

struct HeifItem {
    uint32_t id = 0;
    uint32_t type = 0; // from infe version 2 or 3; 0 otherwise
    bool hidden = false;
    bool located = false; // has an iloc entry
    int constructionMethod = 0;
    std::vector<std::pair<uint64_t, uint64_t>> extents; // offset (base included), length
    // 1-based ipco indices of the item's first ipma entry, in order; libheif
    // ignores later entries for the same item, in any ipma box.
    std::vector<uint32_t> associations;
    bool associated = false;
};

struct HeifReference {
    uint32_t type = 0;
    uint32_t from = 0;
    std::vector<uint32_t> to;
    size_t offset = 0; // of the reference's box header in the file
    size_t size = 0; // of the bytes libheif reads for it
};

struct HeifFile {
    uint32_t primary = 0;
    std::map<uint32_t, HeifItem> items;
    std::vector<Box> properties; // ipco's children, index 0 being property 1
    std::vector<HeifReference> references; // of the first iref box, in order, as libheif reads them
    int referenceIdSize = 2;
    size_t referencesOffset = 0, referencesSize = 0; // the iref payload after its version and flags
    // Every reference's size field is that of its fields, so that readers
    // which follow the sizes agree with libheif.
    bool referencesExact = true;
    std::span<const uint8_t> idat;

    const HeifItem* item(uint32_t id) const;
    // What libheif applies to the item, in order (index 0 left out).
    std::vector<const Box*> propertiesOf(uint32_t id) const;
    // libheif's lookup of one property: the first of that type, except that
    // the search ends at an index 0.
    const Box* property(uint32_t id, uint32_t type) const;
    // The targets of the item's first reference of that type.
    std::vector<uint32_t> referenced(uint32_t from, uint32_t type) const;
    // The item's bytes, as spans inside `file` or idat; fails when a span
    // would leave them or the item has none.
    Result<std::vector<std::span<const uint8_t>>> data(const HeifItem& item, std::span<const uint8_t> file) const;
};

// An item's bytes in one piece; empty when it has none inside the file.
std::string itemBytes(const HeifFile& heif, uint32_t item, std::span<const uint8_t> file);

// Fails (at Parse) when `file` is no HEIF image file or holds anything this reader
// cannot match to libheif's reading. Reads only inside `file`, in time
// linear in its size (times the log of its item count).
Result<HeifFile> readHeifFile(std::span<const uint8_t> file);

} // namespace tessavo
