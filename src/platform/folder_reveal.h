#pragma once

#include <QUrl>

namespace tessavo {

// Shows a folder itself (nothing selected in it) in the desktop's file browser.
class FolderRevealer {
public:
    virtual ~FolderRevealer() = default;
    virtual void reveal(const QUrl& folder) = 0;
};

// Asks org.freedesktop.FileManager1 on the session bus, and opens the folder
// with the desktop's default handler when no file manager answers. Returns
// at once; the answer is handled in the event loop.
class DesktopFolderRevealer final : public FolderRevealer {
public:
    void reveal(const QUrl& folder) override;
};

} // namespace tessavo
