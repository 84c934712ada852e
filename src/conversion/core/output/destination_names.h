#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

namespace tessavo {

// The JPEG name of every source of one run into `folder`, in list order.
// Sources that would share a name (IMG_1.HEIC from two folders, or IMG_1.HEIC
// beside IMG_1.heic) keep their photos apart: the first in the list keeps the
// name, each later one gets the first numbered name no other source of the
// run has, "IMG_1 (2).jpg", "IMG_1 (3).jpg". A name that a source of the run
// has in `folder` (a HEIC named .jpg) counts as had too, so no photo of the
// run is written over. Other files already in the folder play no part: a run
// replaces what an earlier run wrote. Names are compared as the folder's file
// system does (see folderTellsCaseApart), never come out hidden (".heic"
// gives "heic.jpg") and are shortened to what the folder takes.
std::vector<std::filesystem::path> planDestinationNames(
    const std::vector<std::filesystem::path>& sources, const std::filesystem::path& folder);

// The same for a folder whose ways are given: names that differ only in
// letter case are one name unless `caseSensitive`, and none is longer than
// `nameMax` bytes.
std::vector<std::filesystem::path> planDestinationNames(
    const std::vector<std::filesystem::path>& sources, const std::filesystem::path& folder, bool caseSensitive, size_t nameMax);

// Whether names in `folder` (or, while it does not exist, in its nearest
// existing ancestor, where it will be made) tell letter case apart: a file of
// our own is looked up by its name in another case. Assumes not when nothing
// can be made there, the choice that can cost a numbered name but never a
// photo.
bool folderTellsCaseApart(const std::filesystem::path& folder);

} // namespace tessavo
