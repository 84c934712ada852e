#include "platform/bookmark_store.h"

#include "conversion/convert_file.h"

#include <QAtomicInteger>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tessavo {

namespace {

QString pathOf(const QUrl& url)
{
    return url.isLocalFile() ? url.toLocalFile() : url.path(QUrl::FullyDecoded);
}

bool exec(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    return query.exec(statement);
}

} // namespace

SqliteBookmarkStore::SqliteBookmarkStore(QString databasePath)
    : m_databasePath(std::move(databasePath))
{
    static QAtomicInteger<quint64> instances;
    m_connectionName = QStringLiteral("tessavo-bookmarks-%1").arg(instances.fetchAndAddRelaxed(1));
}

SqliteBookmarkStore::~SqliteBookmarkStore()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString SqliteBookmarkStore::defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/bookmarks.sqlite");
}

bool SqliteBookmarkStore::open()
{
    if (m_db.isOpen())
        return true;
    if (m_openFailed)
        return false;
    QDir().mkpath(QFileInfo(m_databasePath).absolutePath());
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(m_databasePath);
    // The timeout goes first: switching to WAL itself needs the lock that
    // another process may hold.
    const bool ready = m_db.open()
        && exec(m_db, QStringLiteral("PRAGMA busy_timeout = 10000"))
        && exec(m_db, QStringLiteral("PRAGMA journal_mode = WAL"))
        // Only a power loss can drop the last saves (a killed process loses
        // none); a sync per save cost 4 ms on the GUI thread, seconds for a
        // large pick, against 0.2 ms without.
        && exec(m_db, QStringLiteral("PRAGMA synchronous = NORMAL"))
        && exec(m_db, QStringLiteral("CREATE TABLE IF NOT EXISTS bookmarks ("
                                     "path TEXT PRIMARY KEY NOT NULL, device INTEGER NOT NULL, "
                                     "inode INTEGER NOT NULL, size INTEGER NOT NULL, "
                                     "mtime_ns INTEGER NOT NULL)"));
    if (!ready) {
        // The store has no failure path toward its callers; say it once on
        // stderr so a broken data folder is not silent.
        qWarning().noquote() << "Bookmark store unavailable:" << m_databasePath << m_db.lastError().text();
        m_db.close();
        m_openFailed = true;
    }
    return ready;
}

void SqliteBookmarkStore::saveBookmark(const QUrl& url)
{
    const QString path = pathOf(url);
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        const int error = errno;
        printLine(QStringLiteral("Failed to save bookmark data for URL: %1, error: %2")
                      .arg(path, QString::fromLocal8Bit(std::strerror(error)))
                      .toStdString());
        return;
    }
    if (!open())
        return;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO bookmarks (path, device, inode, size, mtime_ns) "
                                 "VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(path);
    query.addBindValue(qint64(info.st_dev));
    query.addBindValue(qint64(info.st_ino));
    query.addBindValue(qint64(info.st_size));
    query.addBindValue(qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec);
    query.exec();
}

} // namespace tessavo
