#pragma once

#include "platform/services.h"

namespace tessavo {

// Asks org.freedesktop.FileManager1 on the session bus, and opens the folder
// with the desktop's default handler when no file manager answers. Returns
// at once; the answer is handled in the event loop.
class DesktopFolderRevealer final : public FolderRevealer {
public:
    void reveal(const QUrl& folder) override;
};

} // namespace tessavo
