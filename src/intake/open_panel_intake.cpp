#include "model/content_view.h"

namespace tessavo {

void ContentView::addImages()
{
    // The picker's filter does not bind a name typed into the dialog, so
    // the names are checked here as a drop checks them.
    const std::optional<QList<QUrl>> chosen = m_services.filePicker->pickFiles();
    if (!chosen)
        return;
    for (const QUrl& url : *chosen) {
        if (!isHeicFile(url) || m_files->containsFile(url))
            continue;
        m_files->appendFile(url);
        m_services.bookmarks->saveBookmark(url);
    }
}

} // namespace tessavo
