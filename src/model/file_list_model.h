#pragma once

#include "model/file_entry.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUrl>

namespace tessavo {

// The ordered list of gathered images. Entries are unique by URL, so an index
// from URL to row stands beside the list: intake of thousands of files would
// otherwise be quadratic. Touched on the GUI thread only.
class FileListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        UrlRole = Qt::UserRole + 1,
        FileNameRole,
        StatusRole,
        SizeTextRole,
        // The local path, for the row's tooltip.
        PathRole,
        // failureText of the entry; empty unless it failed.
        FailureTextRole,
        // noteText of the entry: what its JPEG left out; empty for most.
        NoteTextRole,
        // The name of the folder the file is in when another listed file
        // has the same name, so the two rows can be told apart; else empty.
        SharedNameFolderRole,
        // Where its JPEG goes, relative to the output folder, once a run
        // has planned it; else empty.
        DestinationRole,
    };
    Q_ENUM(Role)

    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_entries.size()); }
    const QList<FileEntry>& entries() const { return m_entries; }
    const FileEntry& at(qsizetype row) const { return m_entries.at(row); }

    bool containsFile(const QUrl& url) const;
    // Row of the entry with this URL, or -1.
    qsizetype indexOf(const QUrl& url) const;
    // Appends (url, waiting). Callers check containsFile first; a URL that is
    // already listed is refused (returns false) so the list stays unique.
    bool appendFile(const QUrl& url, const QByteArray& subfolder = {});
    // Changes the status of the entry at `row` only, and clears its failure
    // and JPEG.
    // A row outside the list is ignored and reported by returning false.
    bool setStatus(qsizetype row, ImageStatus status);
    // Success, the JPEG written, and why it holds no HDR where it was asked for.
    bool setConverted(qsizetype row, QUrl jpeg, QString hdrNotKept = {});
    // Error with what the conversion reported, and the JPEG it was writing.
    bool setFailed(qsizetype row, Failure failure, QUrl destination = {});
    // Every entry to `status` (failures cleared), announced by one change
    // over the whole list.
    void setAllStatuses(ImageStatus status);
    // Where the entry's JPEG goes, as people read it; told with the next
    // change of statuses.
    void setDestination(qsizetype row, QString destination) { m_entries[row].destination = std::move(destination); }
    // Stable removal of every entry whose URL is in `urls`; returns how many went.
    qsizetype removeFiles(const QSet<QUrl>& urls);

    Q_INVOKABLE QUrl urlAt(int row) const;

signals:
    void countChanged();

private:
    void rebuildIndex();
    void announceStatus(qsizetype row);

    QList<FileEntry> m_entries;
    QHash<QUrl, qsizetype> m_rowOf;
    // How many listed files have each file name, and the row of the first.
    struct NameUse {
        int count = 0;
        qsizetype firstRow = -1;
    };
    QHash<QString, NameUse> m_names;
};

// Human-readable size of the file at `url` in decimal units, or "Unknown"
// when the file cannot be examined.
QString fileSizeText(const QUrl& url);

} // namespace tessavo
