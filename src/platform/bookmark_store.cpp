#include "platform/bookmark_store.h"

#include "platform/local_path.h"

#include <QAtomicInteger>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tessavo {

namespace {

QString pathOf(const QUrl& url) { return url.isLocalFile() ? url.toLocalFile() : url.path(QUrl::FullyDecoded); }

// SQLite's own words ("database is locked") where there are any.
QString reasonOf(const QSqlError& error) { return error.databaseText().isEmpty() ? error.text() : error.databaseText(); }

// SQLite's primary result codes, as the user would hear them.
StoreFailure failureOf(const QSqlError& error)
{
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 8: // SQLITE_READONLY
        return StoreFailure::ReadOnly;
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return StoreFailure::Locked;
    case 13: // SQLITE_FULL
        return StoreFailure::DiskFull;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return StoreFailure::Damaged;
    case 3: // SQLITE_PERM
    case 14: // SQLITE_CANTOPEN
        return StoreFailure::CannotOpen;
    }
    return StoreFailure::Other;
}

QString newConnectionName()
{
    static QAtomicInteger<quint64> instances;
    return QStringLiteral("tessavo-bookmarks-%1").arg(instances.fetchAndAddRelaxed(1));
}

} // namespace

SqliteBookmarkStore::SqliteBookmarkStore(
    std::function<void(std::string_view line)> printLine, QString databasePath, std::chrono::milliseconds busyTimeout)
    : m_printLine(std::move(printLine)), m_databasePath(std::move(databasePath)), m_connectionName(newConnectionName()),
      m_busyTimeout(busyTimeout)
{
}

SqliteBookmarkStore::~SqliteBookmarkStore()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_writer.joinable())
        m_writer.join();
}

QString SqliteBookmarkStore::defaultDatabasePath()
{
    // Qt's own folder, but as the XDG rules have it: a relative
    // XDG_DATA_HOME is ignored, and without HOME the home is the user's
    // passwd entry's. With no home at all there is no store; never one in /.
    const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString ownFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).mid(generic.size());
    const auto usable = [](const QString& folder) { return QDir::isAbsolutePath(folder) && QDir(folder) != QDir::root(); };
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(dataHome)) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty()) {
            const passwd* entry = ::getpwuid(::getuid());
            home = entry ? QFile::decodeName(entry->pw_dir) : QString();
        }
        if (!usable(home))
            return {};
        dataHome = home + QStringLiteral("/.local/share");
    }
    return dataHome + ownFolder + QStringLiteral("/bookmarks.sqlite");
}

void SqliteBookmarkStore::printFailure(const QString& path, const QString& reason) const
{
    m_printLine(QStringLiteral("Failed to save bookmark data for URL: %1, error: %2").arg(path, reason).toStdString());
}

void SqliteBookmarkStore::saveBookmark(const QUrl& url)
{
    const QString path = pathOf(url);
    struct stat info { };
    if (::stat(url.isLocalFile() ? localPath(url).constData() : QFile::encodeName(path).constData(), &info) != 0) {
        printFailure(path, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back({path, qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec});
        ++m_saved;
        try {
            if (!m_writer.joinable())
                m_writer = std::thread(&SqliteBookmarkStore::writeRecords, this);
        } catch (const std::system_error& error) {
            // No thread to be had; the next save tries again.
            for (const Record& record : m_queue)
                printFailure(record.path, QString::fromLocal8Bit(error.what()));
            if (storeFailed)
                storeFailed(StoreFailure::Other, QString::fromLocal8Bit(error.what()));
            m_handled += m_queue.size();
            m_queue.clear();
        }
    }
    m_changed.notify_all();
}

void SqliteBookmarkStore::flush()
{
    std::unique_lock lock(m_mutex);
    const quint64 target = m_saved;
    m_changed.wait(lock, [&] { return m_handled >= target; });
}

void SqliteBookmarkStore::writeRecords()
{
    {
        // The connection lives and dies on this thread, as Qt requires.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_databasePath);
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
            if (m_queue.empty())
                break;
            std::vector<Record> batch;
            batch.swap(m_queue);
            lock.unlock();
            store(db, batch);
            lock.lock();
            m_handled += batch.size();
            m_changed.notify_all();
        }
        lock.unlock();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

void SqliteBookmarkStore::store(QSqlDatabase& db, const std::vector<Record>& batch)
{
    QString failure;
    StoreFailure kind = StoreFailure::Other;
    bool busy = false;
    const auto fail = [&](const QSqlError& error) {
        if (failure.isEmpty())
            failure = reasonOf(error), kind = failureOf(error);
    };
    const auto run = [&](const QString& statement) {
        QSqlQuery query(db);
        if (query.exec(statement))
            return true;
        fail(query.lastError());
        busy = busy || (query.lastError().nativeErrorCode().toInt() & 0xff) == 5; // SQLITE_BUSY
        return false;
    };
    if (m_databasePath.isEmpty()) {
        failure = QStringLiteral("no home folder to keep the store in"), kind = StoreFailure::NoHome;
    } else if (!db.isOpen()) {
        QDir().mkpath(QFileInfo(m_databasePath).absolutePath());
        // Two processes opening a new store together: one finds the switch
        // to WAL busy at once, without the timeout's wait, so wait here.
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            failure.clear();
            busy = false;
            if (!db.open())
                fail(db.lastError());
            // The timeout goes first: switching to WAL itself needs the lock
            // that another process may hold.
            else if (run(QStringLiteral("PRAGMA busy_timeout = %1").arg(m_busyTimeout.count())) &&
                run(QStringLiteral("PRAGMA journal_mode = WAL"))
                // Only a power loss can drop the last saves (a killed
                // process loses none); a sync per save cost 4 ms against 0.2 ms.
                && run(QStringLiteral("PRAGMA synchronous = NORMAL"))
                // Under the write lock: a plain read that finds no table
                // and then must write fails at once when another process
                // has just made it.
                && run(QStringLiteral("BEGIN IMMEDIATE")) &&
                run(QStringLiteral("CREATE TABLE IF NOT EXISTS bookmarks ("
                                   "path TEXT PRIMARY KEY NOT NULL, device INTEGER NOT NULL, "
                                   "inode INTEGER NOT NULL, size INTEGER NOT NULL, "
                                   "mtime_ns INTEGER NOT NULL)")) &&
                run(QStringLiteral("COMMIT")))
                break;
            db.close(); // rolls back; tried again with the next batch
            if (!busy || waited.elapsed() >= m_busyTimeout.count())
                break;
            QThread::msleep(10);
        }
    }
    // IMMEDIATE takes the write lock up front, waiting for it as long as the
    // timeout allows.
    if (db.isOpen() && run(QStringLiteral("BEGIN IMMEDIATE"))) {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT OR REPLACE INTO bookmarks (path, device, inode, size, mtime_ns) "
                                      "VALUES (?, ?, ?, ?, ?)"));
        for (const Record& record : batch) {
            insert.addBindValue(record.path);
            insert.addBindValue(record.device);
            insert.addBindValue(record.inode);
            insert.addBindValue(record.size);
            insert.addBindValue(record.mtimeNs);
            if (!insert.exec()) {
                failure.clear(), fail(insert.lastError());
                break;
            }
        }
        if (failure.isEmpty() && run(QStringLiteral("COMMIT")))
            return;
        run(QStringLiteral("ROLLBACK"));
    }
    if (failure.isEmpty())
        failure = QStringLiteral("the store cannot be opened"), kind = StoreFailure::CannotOpen;
    // A store in WAL mode on a read-only file system cannot even be opened.
    if (kind == StoreFailure::CannotOpen && ::access(QFile::encodeName(m_databasePath).constData(), W_OK) != 0 &&
        (errno == EROFS || errno == EACCES))
        kind = StoreFailure::ReadOnly;
    for (const Record& record : batch)
        printFailure(record.path, failure);
    if (storeFailed)
        storeFailed(kind, failure);
}

} // namespace tessavo
