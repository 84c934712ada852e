#include "model/content_view.h"

#include <QMetaObject>

namespace tessavo {

bool isHeicFile(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    const QString name = url.fileName(QUrl::FullyDecoded);
    const qsizetype dot = name.lastIndexOf(u'.');
    // A leading dot starts a hidden name, not an extension.
    if (dot <= 0)
        return false;
    return QStringView(name).mid(dot + 1).compare(u"heic", Qt::CaseInsensitive) == 0;
}

bool ContentView::handleDrop(const QList<QUrl>& urls)
{
    bool taken = false;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        taken = true;
        // Entries arrive after the drop is answered, as they would from an
        // asynchronous load of each item.
        QMetaObject::invokeMethod(this, [this, url] { addDroppedFile(url); }, Qt::QueuedConnection);
    }
    return taken;
}

void ContentView::addDroppedFile(const QUrl& url)
{
    if (!isHeicFile(url) || m_files->containsFile(url))
        return;
    m_files->appendFile(url);
    m_services.bookmarks->saveBookmark(url);
}

} // namespace tessavo
