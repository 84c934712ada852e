#include "model/selection.h"

#include <algorithm>

namespace tessavo {

Selection::Selection(const FileListModel& files, QObject* parent) : QObject(parent), m_files(files) { }

QList<QUrl> Selection::ordered() const
{
    QList<QUrl> ordered;
    ordered.reserve(m_selected.size());
    for (const FileEntry& entry : m_files.entries()) {
        if (m_selected.contains(entry.url))
            ordered.append(entry.url);
    }
    if (ordered.size() < m_selected.size()) {
        for (const QUrl& url : m_selected) {
            if (!m_files.containsFile(url))
                ordered.append(url);
        }
    }
    return ordered;
}

void Selection::replace(QSet<QUrl> selection)
{
    if (selection == m_selected)
        return;
    m_selected = std::move(selection);
    emit changed();
}

void Selection::selectOnly(const QUrl& url)
{
    m_anchor = url;
    replace({url});
}

void Selection::toggle(const QUrl& url)
{
    m_anchor = url;
    QSet<QUrl> selection = m_selected;
    if (!selection.remove(url))
        selection.insert(url);
    replace(std::move(selection));
}

void Selection::extendTo(const QUrl& url)
{
    const qsizetype target = m_files.indexOf(url);
    if (target < 0)
        return;
    const qsizetype anchor = m_files.indexOf(m_anchor);
    if (anchor < 0) {
        // The anchor was removed or never set: start a new range here.
        selectOnly(url);
        return;
    }
    QSet<QUrl> selection;
    for (qsizetype row = std::min(anchor, target); row <= std::max(anchor, target); ++row)
        selection.insert(m_files.at(row).url);
    replace(std::move(selection));
}

void Selection::selectAll()
{
    QSet<QUrl> selection;
    selection.reserve(m_files.count());
    for (const FileEntry& entry : m_files.entries())
        selection.insert(entry.url);
    replace(std::move(selection));
}

void Selection::clear() { replace({}); }

} // namespace tessavo
