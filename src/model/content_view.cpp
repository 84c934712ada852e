#include "model/content_view.h"

namespace tessavo {

ContentView::ContentView(PlatformServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_files(new FileListModel(this))
{
    Q_ASSERT(m_services.filePicker && m_services.folderPicker && m_services.revealer && m_services.bookmarks &&
             m_services.printLine);
    // Said once, in the GUI thread; the store is gone before this object.
    m_services.bookmarks->storeFailed = [this](const QString& reason) {
        QMetaObject::invokeMethod(this, [this, reason] {
            if (!m_bookmarkProblem.isEmpty())
                return;
            m_bookmarkProblem = tr("Bookmarks cannot be saved: %1").arg(reason);
            emit bookmarkProblemChanged();
        });
    };
}

ContentView::~ContentView()
{
    m_services.bookmarks.reset();
}

QList<QUrl> ContentView::selectedFiles() const
{
    QList<QUrl> ordered;
    ordered.reserve(m_selected.size());
    for (const FileEntry& entry : m_files->entries()) {
        if (m_selected.contains(entry.url))
            ordered.append(entry.url);
    }
    if (ordered.size() < m_selected.size()) {
        for (const QUrl& url : m_selected) {
            if (!m_files->containsFile(url))
                ordered.append(url);
        }
    }
    return ordered;
}

void ContentView::setSelectedFiles(const QList<QUrl>& urls)
{
    replaceSelection(QSet<QUrl>(urls.begin(), urls.end()));
}

void ContentView::replaceSelection(QSet<QUrl> selection)
{
    if (selection == m_selected)
        return;
    m_selected = std::move(selection);
    emit selectedFilesChanged();
}

void ContentView::selectOnly(const QUrl& url)
{
    m_anchor = url;
    replaceSelection({url});
}

void ContentView::toggleSelected(const QUrl& url)
{
    m_anchor = url;
    QSet<QUrl> selection = m_selected;
    if (!selection.remove(url))
        selection.insert(url);
    replaceSelection(std::move(selection));
}

void ContentView::extendSelectionTo(const QUrl& url)
{
    const qsizetype target = m_files->indexOf(url);
    if (target < 0)
        return;
    const qsizetype anchor = m_files->indexOf(m_anchor);
    if (anchor < 0) {
        // The anchor was removed or never set: start a new range here.
        selectOnly(url);
        return;
    }
    QSet<QUrl> selection;
    for (qsizetype row = std::min(anchor, target); row <= std::max(anchor, target); ++row)
        selection.insert(m_files->at(row).url);
    replaceSelection(std::move(selection));
}

void ContentView::selectAll()
{
    QSet<QUrl> selection;
    selection.reserve(m_files->count());
    for (const FileEntry& entry : m_files->entries())
        selection.insert(entry.url);
    replaceSelection(std::move(selection));
}

void ContentView::clearSelection()
{
    replaceSelection({});
}

void ContentView::setIsTargeted(bool targeted)
{
    if (targeted == m_isTargeted)
        return;
    m_isTargeted = targeted;
    emit isTargetedChanged();
}

void ContentView::setOutputDirectory(const QUrl& folder)
{
    if (folder == m_outputDirectory)
        return;
    m_outputDirectory = folder;
    emit outputDirectoryChanged();
}

void ContentView::setCompletedConversions(qint64 count)
{
    if (count == m_completedConversions)
        return;
    m_completedConversions = count;
    emit completedConversionsChanged();
}

} // namespace tessavo
