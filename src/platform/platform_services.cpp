#include "platform/platform_services.h"

namespace tessavo {

PlatformServices desktopServices()
{
    PlatformServices services;
    services.filePicker = std::make_unique<DialogFilePicker>();
    services.folderPicker = std::make_unique<DialogFolderPicker>();
    services.revealer = std::make_unique<DesktopFolderRevealer>();
    services.bookmarks = std::make_unique<SqliteBookmarkStore>();
    return services;
}

} // namespace tessavo
