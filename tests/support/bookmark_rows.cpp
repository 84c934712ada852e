#include "bookmark_rows.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <sys/stat.h>

namespace tessavo::testing {

namespace {

template <typename Body>
void withDatabase(const QString& databasePath, Body body)
{
    const QString connection = QStringLiteral("test-reader");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(databasePath);
        if (db.open())
            body(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

} // namespace

QMap<QString, BookmarkRow> readBookmarks(const QString& databasePath)
{
    QMap<QString, BookmarkRow> rows;
    if (!QFileInfo::exists(databasePath))
        return rows;
    withDatabase(databasePath, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.exec(QStringLiteral("SELECT path, device, inode, size, mtime_ns FROM bookmarks"));
        while (query.next()) {
            rows.insert(query.value(0).toString(),
                        {query.value(1).toLongLong(), query.value(2).toLongLong(), query.value(3).toLongLong(),
                         query.value(4).toLongLong()});
        }
    });
    return rows;
}

BookmarkRow identityOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

QString integrityCheck(const QString& databasePath)
{
    QString verdict = QStringLiteral("cannot open");
    withDatabase(databasePath, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next())
            verdict = query.value(0).toString();
    });
    return verdict;
}

} // namespace tessavo::testing
