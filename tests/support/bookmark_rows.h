#pragma once

#include <QMap>
#include <QString>

namespace tessavo::testing {

struct BookmarkRow {
    qint64 device = 0;
    qint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;

    friend bool operator==(const BookmarkRow&, const BookmarkRow&) = default;
};

// Reads the store back as the application never does. Empty when the file
// does not exist.
QMap<QString, BookmarkRow> readBookmarks(const QString& databasePath);

// The identity of `path` as stat gives it now.
BookmarkRow identityOf(const QString& path);

// SQLite's own verdict on the file ("ok" when sound).
QString integrityCheck(const QString& databasePath);

} // namespace tessavo::testing
