#pragma once

#include "model/file_list_model.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

namespace tessavo {

// The selected entries of the list, by URL, and the anchor a range extends
// from. URLs stay selected when their entries go until the selection is
// replaced. GUI thread only.
class Selection : public QObject {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY changed)

public:
    explicit Selection(const FileListModel& files, QObject* parent = nullptr);

    // In list order; selected URLs that are not listed come last.
    QList<QUrl> ordered() const;
    const QSet<QUrl>& urls() const { return m_selected; }
    int count() const { return int(m_selected.size()); }
    Q_INVOKABLE bool contains(const QUrl& url) const { return m_selected.contains(url); }

    void replace(QSet<QUrl> selection);
    Q_INVOKABLE void selectOnly(const QUrl& url);
    Q_INVOKABLE void toggle(const QUrl& url);
    // The listed rows from the anchor (last plain or toggle click) to `url`.
    Q_INVOKABLE void extendTo(const QUrl& url);
    Q_INVOKABLE void selectAll();
    void clear();

signals:
    void changed();

private:
    const FileListModel& m_files;
    QSet<QUrl> m_selected;
    QUrl m_anchor;
};

} // namespace tessavo
