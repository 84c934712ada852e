#include "platform/desktop_services.h"

#include "platform/bookmark_store.h"
#include "platform/file_dialogs.h"
#include "platform/folder_reveal.h"
#include "platform/settings_store.h"

#include <QDesktopServices>

namespace tessavo {

namespace {
// The desktop's default application for the file's type (xdg-open's choice).
class DesktopFileOpener final : public FileOpener {
public:
    void open(const QUrl& file) override { QDesktopServices::openUrl(file); }
};
} // namespace

PlatformServices desktopServices(std::function<void(std::string_view line)> printLine)
{
    PlatformServices services;
    services.filePicker = std::make_unique<DialogFilePicker>();
    services.folderPicker = std::make_unique<DialogFolderPicker>();
    services.revealer = std::make_unique<DesktopFolderRevealer>();
    services.bookmarks = std::make_unique<SqliteBookmarkStore>(printLine);
    services.preferences = std::make_unique<SettingsStore>();
    services.printLine = std::move(printLine);
    services.opener = std::make_unique<DesktopFileOpener>();
    return services;
}

} // namespace tessavo
