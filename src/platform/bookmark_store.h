#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QUrl>

namespace tessavo {

// Records every location the user hands over. Write-only: nothing in the
// application reads a record back.
class BookmarkStore {
public:
    virtual ~BookmarkStore() = default;
    // Never fails toward the caller; a location that cannot be examined only
    // prints "Failed to save bookmark data for URL: <path>, error: <reason>".
    virtual void saveBookmark(const QUrl& url) = 0;
};

// SQLite table `bookmarks`, one row per path (the key, last write wins),
// holding the location's identity from stat: device, inode, size and
// modification time in nanoseconds. WAL and a busy timeout let two
// processes save at once; each save is one transaction, so a process killed
// mid-write leaves a readable store. The connection belongs to the thread
// that saves first; use it from the GUI thread only.
class SqliteBookmarkStore final : public BookmarkStore {
public:
    // Defaults to bookmarks.sqlite in the per-user application data folder.
    explicit SqliteBookmarkStore(QString databasePath = defaultDatabasePath());
    ~SqliteBookmarkStore() override;
    SqliteBookmarkStore(const SqliteBookmarkStore&) = delete;
    SqliteBookmarkStore& operator=(const SqliteBookmarkStore&) = delete;

    void saveBookmark(const QUrl& url) override;

    const QString& databasePath() const { return m_databasePath; }
    static QString defaultDatabasePath();

private:
    bool open();

    QString m_databasePath;
    QString m_connectionName;
    QSqlDatabase m_db;
    bool m_openFailed = false;
};

} // namespace tessavo
