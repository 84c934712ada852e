#include "platform/desktop_services.h"

#include "platform/bookmark_store.h"
#include "platform/file_dialogs.h"
#include "platform/folder_reveal.h"
#include "platform/settings_store.h"

namespace tessavo {

PlatformServices desktopServices(std::function<void(std::string_view line)> printLine)
{
    PlatformServices services;
    services.filePicker = std::make_unique<DialogFilePicker>();
    services.folderPicker = std::make_unique<DialogFolderPicker>();
    services.revealer = std::make_unique<DesktopFolderRevealer>();
    services.bookmarks = std::make_unique<SqliteBookmarkStore>(printLine);
    services.preferences = std::make_unique<SettingsStore>();
    services.printLine = std::move(printLine);
    return services;
}

} // namespace tessavo
