#pragma once

#include "platform/services.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

class QSqlDatabase;

namespace tessavo {

// SQLite table `bookmarks`, one row per path (the key, last write wins),
// holding the location's identity from stat: device, inode, size and
// modification time in nanoseconds. The caller's thread only takes the
// identity; a writer thread of the store's own stores the records in order,
// so a store locked by another process never holds up the window. It waits
// up to `busyTimeout` for the lock, then prints the failure line for each
// record it could not store. WAL lets two processes save at once; each batch
// is one transaction, so a process killed mid-write leaves a readable store.
class SqliteBookmarkStore final : public BookmarkStore {
public:
    // Failure lines go to `printLine`, from the caller's thread or the
    // writer's. The store defaults to bookmarks.sqlite in the per-user
    // application data folder.
    explicit SqliteBookmarkStore(std::function<void(std::string_view line)> printLine, QString databasePath = defaultDatabasePath(),
        std::chrono::milliseconds busyTimeout = std::chrono::seconds(10));
    // Stores (or reports) every record still queued first.
    ~SqliteBookmarkStore() override;
    SqliteBookmarkStore(const SqliteBookmarkStore&) = delete;
    SqliteBookmarkStore& operator=(const SqliteBookmarkStore&) = delete;

    void saveBookmark(const QUrl& url) override;
    // Returns once every record saved so far is stored or reported.
    void flush();

    const QString& databasePath() const { return m_databasePath; }
    static QString defaultDatabasePath();

private:
    struct Record {
        QString path;
        qint64 device, inode, size, mtimeNs;
    };
    void writeRecords();
    void store(QSqlDatabase& db, const std::vector<Record>& batch);
    void printFailure(const QString& path, const QString& reason) const;

    const std::function<void(std::string_view line)> m_printLine;

    const QString m_databasePath;
    const QString m_connectionName;
    const std::chrono::milliseconds m_busyTimeout;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Record> m_queue;
    quint64 m_saved = 0; // records handed to the writer
    quint64 m_handled = 0; // of those, stored or reported
    bool m_stopping = false;
    std::thread m_writer; // started by the first save
};

} // namespace tessavo
