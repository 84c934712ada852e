#pragma once

#include "platform/bookmark_store.h"
#include "platform/file_dialogs.h"
#include "platform/folder_reveal.h"

#include <functional>
#include <memory>
#include <string_view>

namespace tessavo {

// The services the window reaches the desktop through; tests hand in fakes.
struct PlatformServices {
    std::unique_ptr<FilePicker> filePicker;
    std::unique_ptr<FolderPicker> folderPicker;
    std::unique_ptr<FolderRevealer> revealer;
    std::unique_ptr<BookmarkStore> bookmarks;
    // Where the conversion lines go, from the jobs' threads: standard output
    // in the application; tests may collect them.
    std::function<void(std::string_view line)> printLine;
};

// The dialogs, the file browser and the per-user bookmark store, all
// printing through `printLine`. Needs a QApplication (the dialogs are widgets).
PlatformServices desktopServices(std::function<void(std::string_view line)> printLine);

} // namespace tessavo
