#pragma once

#include "platform/bookmark_store.h"
#include "platform/file_dialogs.h"
#include "platform/folder_reveal.h"

#include <memory>

namespace tessavo {

// The services the window reaches the desktop through; tests hand in fakes.
struct PlatformServices {
    std::unique_ptr<FilePicker> filePicker;
    std::unique_ptr<FolderPicker> folderPicker;
    std::unique_ptr<FolderRevealer> revealer;
    std::unique_ptr<BookmarkStore> bookmarks;
};

// The dialogs, the file browser and the per-user bookmark store. Needs a
// QApplication (the dialogs are widgets).
PlatformServices desktopServices();

} // namespace tessavo
