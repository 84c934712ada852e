#include "model/content_view.h"

namespace tessavo {

void ContentView::addImages()
{
    // The picker filters by extension; the list only refuses duplicates.
    const std::optional<QList<QUrl>> chosen = m_services.filePicker->pickFiles();
    if (!chosen)
        return;
    for (const QUrl& url : *chosen) {
        if (m_files->containsFile(url))
            continue;
        m_files->appendFile(url);
        m_services.bookmarks->saveBookmark(url);
    }
}

} // namespace tessavo
