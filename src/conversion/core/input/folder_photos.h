#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

// The photos inside a folder that tessavo-convert is given.
namespace tessavo {

struct FoundPhoto {
    std::filesystem::path path;
    // The folders from the walk's root down to the photo's, the root's own
    // name first ("DCIM/100APPLE"): where its JPEG goes under the output folder.
    std::filesystem::path subfolder;
};

struct FolderPhotos {
    std::vector<FoundPhoto> photos;
    // The folders that could not be read, whole or in part.
    std::vector<std::filesystem::path> unreadable;
};

// The HEIF photos (by name) in `root` and its subfolders: a folder's files in
// natural name order, then its subfolders in that order; hidden entries and
// links to folders passed over.
FolderPhotos photosInFolder(const std::filesystem::path& root);

} // namespace tessavo
