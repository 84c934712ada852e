#pragma once

#include <filesystem>
#include <vector>

namespace tessavo {

// The JPEG name of every source of one run into one folder, in list order.
// Sources that would share a name (IMG_1.HEIC from two folders, or IMG_1.HEIC
// beside IMG_1.heic) keep their photos apart: the first in the list keeps the
// name, each later one gets the first numbered name no other source of the
// run has, "IMG_1 (2).jpg", "IMG_1 (3).jpg". Files already in the folder play
// no part: a run replaces what an earlier run wrote. Names that differ only
// in letter case are one name unless `caseSensitive`.
std::vector<std::filesystem::path> planDestinationNames(const std::vector<std::filesystem::path>& sources,
                                                        bool caseSensitive);

// Whether names in `folder` (or, while it does not exist, in its nearest
// existing ancestor, where it will be made) tell letter case apart: a name in
// another case is looked up. Assumes not when nothing can be looked up, the
// choice that can cost a numbered name but never a photo.
bool folderTellsCaseApart(const std::filesystem::path& folder);

} // namespace tessavo
