#include "conversion/core/input/folder_photos.h"

#include "conversion/core/input/photo_names.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace tessavo {
namespace {

void visit(const fs::path& folder, const fs::path& subfolder, FolderPhotos& found)
{
    std::vector<std::string> files, folders;
    std::error_code error;
    fs::directory_iterator entry(folder, error), end;
    for (; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with('.'))
            continue;
        std::error_code kind;
        if (entry->is_symlink(kind) ? false : entry->is_directory(kind))
            folders.push_back(name);
        else if (!entry->is_directory(kind) && isHeifName(name))
            files.push_back(name);
    }
    if (error)
        found.unreadable.push_back(folder);
    std::sort(files.begin(), files.end(), naturalLess);
    std::sort(folders.begin(), folders.end(), naturalLess);
    for (const std::string& name : files)
        found.photos.push_back({folder / name, subfolder});
    for (const std::string& name : folders)
        visit(folder / name, subfolder / name, found);
}

} // namespace

FolderPhotos photosInFolder(const fs::path& root)
{
    FolderPhotos found;
    fs::path name = root.lexically_normal().filename();
    if (name.empty() || name == "." || name == "..") {
        std::error_code error;
        name = fs::weakly_canonical(root, error).filename();
    }
    visit(root, name, found);
    return found;
}

} // namespace tessavo
