#include "model/file_list_model.h"

#include "platform/local_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <sys/stat.h>

namespace tessavo {

FileListModel::FileListModel(QObject* parent) : QAbstractListModel(parent) { }

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_entries.size()); }

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FileEntry& entry = m_entries.at(index.row());
    switch (role) {
    case UrlRole:
        return entry.url;
    case Qt::DisplayRole:
    case FileNameRole:
        return entry.url.fileName();
    case StatusRole:
        return QVariant::fromValue(entry.status);
    case SizeTextRole:
        return fileSizeText(entry.url);
    case PathRole:
        return entry.url.toLocalFile();
    case FailureTextRole:
        return failureText(entry);
    case NoteTextRole:
        return noteText(entry);
    case DestinationRole:
        return entry.destination;
    case SharedNameFolderRole:
        if (m_names.value(entry.url.fileName()).count < 2)
            return QString();
        return QFileInfo(entry.url.toLocalFile()).dir().dirName();
    default:
        return {};
    }
}

QHash<int, QByteArray> FileListModel::roleNames() const
{
    return {
        {UrlRole, "url"},
        {FileNameRole, "fileName"},
        {StatusRole, "status"},
        {SizeTextRole, "sizeText"},
        {PathRole, "path"},
        {FailureTextRole, "failureText"},
        {NoteTextRole, "noteText"},
        {DestinationRole, "destination"},
        {SharedNameFolderRole, "sharedNameFolder"},
    };
}

bool FileListModel::containsFile(const QUrl& url) const { return m_rowOf.contains(url); }

qsizetype FileListModel::indexOf(const QUrl& url) const { return m_rowOf.value(url, -1); }

bool FileListModel::appendFile(const QUrl& url, const QByteArray& subfolder)
{
    if (m_rowOf.contains(url))
        return false;
    const auto row = m_entries.size();
    NameUse& use = m_names[url.fileName()];
    if (++use.count == 1)
        use.firstRow = row;
    beginInsertRows({}, int(row), int(row));
    m_entries.append({url, ImageStatus::Waiting, {}});
    m_entries.back().subfolder = subfolder;
    m_rowOf.insert(url, row);
    endInsertRows();
    // The first file of that name now needs its folder shown too.
    if (use.count == 2)
        emit dataChanged(index(int(use.firstRow)), index(int(use.firstRow)), {SharedNameFolderRole});
    emit countChanged();
    return true;
}

void FileListModel::announceStatus(qsizetype row)
{
    const QModelIndex changed = index(int(row));
    emit dataChanged(changed, changed, {StatusRole, FailureTextRole, NoteTextRole, DestinationRole});
}

bool FileListModel::setStatus(qsizetype row, ImageStatus status)
{
    if (row < 0 || row >= m_entries.size())
        return false;
    FileEntry& entry = m_entries[row];
    if (entry.status != status || entry.failure || !entry.jpeg.isEmpty() || !entry.hdrNotKept.isEmpty()) {
        entry.status = status;
        entry.failure = {};
        entry.jpeg.clear();
        entry.hdrNotKept.clear();
        announceStatus(row);
    }
    return true;
}

bool FileListModel::setConverted(qsizetype row, QUrl jpeg, QString hdrNotKept)
{
    if (!setStatus(row, ImageStatus::Success))
        return false;
    m_entries[row].jpeg = std::move(jpeg);
    if (!hdrNotKept.isEmpty()) {
        m_entries[row].hdrNotKept = std::move(hdrNotKept);
        announceStatus(row);
    }
    return true;
}

bool FileListModel::setFailed(qsizetype row, Failure failure, QUrl destination)
{
    if (row < 0 || row >= m_entries.size())
        return false;
    FileEntry& entry = m_entries[row];
    entry.status = ImageStatus::Error;
    entry.failure = std::move(failure);
    entry.jpeg = std::move(destination);
    entry.hdrNotKept.clear();
    announceStatus(row);
    return true;
}

void FileListModel::setAllStatuses(ImageStatus status)
{
    if (m_entries.isEmpty())
        return;
    for (FileEntry& entry : m_entries) {
        entry.status = status;
        entry.failure = {};
        entry.jpeg.clear();
        entry.hdrNotKept.clear();
    }
    emit dataChanged(index(0), index(int(m_entries.size() - 1)), {StatusRole, FailureTextRole, NoteTextRole, DestinationRole});
}

qsizetype FileListModel::removeFiles(const QSet<QUrl>& urls)
{
    // Walk from the end so each contiguous run of selected rows goes in one
    // removal and earlier rows keep their numbers.
    qsizetype removed = 0;
    qsizetype row = m_entries.size() - 1;
    while (row >= 0) {
        if (!urls.contains(m_entries[row].url)) {
            --row;
            continue;
        }
        const qsizetype last = row;
        while (row >= 0 && urls.contains(m_entries[row].url))
            --row;
        const qsizetype first = row + 1;
        beginRemoveRows({}, int(first), int(last));
        m_entries.remove(first, last - first + 1);
        endRemoveRows();
        removed += last - first + 1;
    }
    if (removed > 0) {
        rebuildIndex();
        if (!m_entries.isEmpty())
            emit dataChanged(index(0), index(int(m_entries.size() - 1)), {SharedNameFolderRole});
        emit countChanged();
    }
    return removed;
}

QUrl FileListModel::urlAt(int row) const { return row >= 0 && row < m_entries.size() ? m_entries[row].url : QUrl(); }

void FileListModel::rebuildIndex()
{
    m_rowOf.clear();
    m_rowOf.reserve(m_entries.size());
    m_names.clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        m_rowOf.insert(m_entries[i].url, i);
        NameUse& use = m_names[m_entries[i].url.fileName()];
        if (++use.count == 1)
            use.firstRow = i;
    }
}

QString fileSizeText(const QUrl& url)
{
    struct stat info { };
    if (::stat(localPath(url).constData(), &info) != 0)
        return QCoreApplication::translate("FileRow", "Unknown");
    return QLocale().formattedDataSize(info.st_size, 1, QLocale::DataSizeSIFormat);
}

} // namespace tessavo
