#include "intake/file_intake.h"

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

FileIntake::FileIntake(FileListModel& files, FilePicker& picker, BookmarkStore& bookmarks, QObject* parent)
    : QObject(parent), m_files(files), m_picker(picker), m_bookmarks(bookmarks)
{
}

void FileIntake::pick()
{
    // The picker's filter does not bind a name typed into the dialog, so
    // the names are checked here as a drop checks them.
    const std::optional<QList<QUrl>> chosen = m_picker.pickFiles();
    if (!chosen)
        return;
    for (const QUrl& url : *chosen)
        add(url);
}

bool FileIntake::drop(const QList<QUrl>& urls)
{
    bool taken = false;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        taken = true;
        // Entries arrive after the drop is answered, as they would from an
        // asynchronous load of each item.
        QMetaObject::invokeMethod(this, [this, url] { add(url); }, Qt::QueuedConnection);
    }
    return taken;
}

bool FileIntake::add(const QUrl& url)
{
    if (!isHeicFile(url) || m_files.containsFile(url))
        return false;
    m_files.appendFile(url);
    m_bookmarks.saveBookmark(url);
    return true;
}

} // namespace tessavo
