#include "platform/bookmark_store.h"
#include "test_mounts.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessavo;

namespace {

const QString failed = QStringLiteral("Failed to save bookmark data for URL: %1, error: %2");

bool write(const QString& path, const QByteArray& content = "x")
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QString rowsOf(const QString& database)
{
    QProcess shell;
    shell.start("sqlite3", {database, "SELECT path, device, inode, size, mtime_ns FROM bookmarks ORDER BY path"});
    shell.waitForFinished();
    return QString::fromUtf8(shell.readAllStandardOutput());
}

// The row of `path` as stat describes it now, as the sqlite3 shell prints it.
QString rowOf(const QString& path)
{
    struct stat info { };
    ::stat(QFile::encodeName(path).constData(), &info);
    return QStringLiteral("%1|%2|%3|%4|%5\n")
        .arg(path, QString::number(info.st_dev), QString::number(info.st_ino), QString::number(info.st_size),
            QString::number(qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec));
}

} // namespace

class BookmarkStoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_lines; // from the caller's thread or the store's writer, read after flush()
    std::function<void(std::string_view)> lines()
    {
        m_lines.clear();
        return [this](std::string_view line) { m_lines << QString::fromUtf8(line.data(), qsizetype(line.size())); };
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    // One record per path, spelled as decoded; the last write wins. A location that cannot be examined prints one line.
    void recordsEachPathOnceWithItsIdentity()
    {
        const QString file = path("IMG_1.HEIC"), folder = path("Out"), odd = path("a b%25 \u00fc #1.heic"), missing = path("gone.heic"),
                      underFile = file + "/inside.heic", database = path("data/bookmarks.sqlite");
        QVERIFY(write(file, "first") && write(odd) && QDir().mkpath(folder));
        SqliteBookmarkStore store(lines(), database);
        QVERIFY(!QFile::exists(database)); // nothing is written before the first save
        for (const QString& saved : {file, missing, folder, underFile, odd, file})
            store.saveBookmark(QUrl::fromLocalFile(saved));
        store.flush();
        const QString others = rowOf(folder) + rowOf(odd); // in the order of their paths
        QCOMPARE(rowsOf(database), rowOf(file) + others);
        QCOMPARE(m_lines, (QStringList{failed.arg(missing, std::strerror(ENOENT)), failed.arg(underFile, std::strerror(ENOTDIR))}));
        QVERIFY(write(file, "a longer second content"));
        store.saveBookmark(QUrl::fromLocalFile(file));
        store.flush();
        QCOMPARE(rowsOf(database), rowOf(file) + others);
    }

    // A file where the store's folder should be, then a file system turned read-only: every save tries again.
    void unwritableStorePrintsTheLineForEverySave()
    {
        QVERIFY(write(path("blocker")));
        const auto ro = testsupport::TestMount::tmpfs(path("ro").toStdString());
        for (const QString store : {"blocker/bookmarks.sqlite", "ro/bookmarks.sqlite"}) {
            if (store.startsWith("ro")) {
                if (!ro.mounted())
                    QSKIP("no tmpfs can be mounted here");
                SqliteBookmarkStore(lines(), path(store)).saveBookmark(QUrl::fromLocalFile(path("ro")));
                QVERIFY(ro.remountReadOnly());
            }
            SqliteBookmarkStore bookmarks(lines(), path(store));
            QList<StoreFailure> told; // to the window
            bookmarks.storeFailed = [&](StoreFailure failure, const QString&) { told << failure; };
            for (int i = 0; i < 2; ++i) {
                bookmarks.saveBookmark(QUrl::fromLocalFile(path("blocker")));
                bookmarks.flush();
            }
            QCOMPARE(m_lines.size(), 2);
            QCOMPARE(told, QList<StoreFailure>(2, store.startsWith("ro") ? StoreFailure::ReadOnly : StoreFailure::CannotOpen));
            for (const QString& line : m_lines)
                QVERIFY2(line.startsWith(failed.arg(path("blocker"), "")) && !line.endsWith(": "), qPrintable(line));
        }
    }

    // A relative XDG_DATA_HOME is ignored, without HOME the passwd entry's home counts, with neither there is no store.
    void storeFolderFollowsTheXdgRules()
    {
        if (::geteuid() != 0)
            QSKIP("only root can run as a user without a passwd entry");
        const QString own = "/.local/share/tessavo/tessavo/bookmarks.sqlite", root = ::getpwuid(0)->pw_dir;
        const std::tuple<const char*, const char*, uid_t, QString> cases[] = {
            {"/data", "/home/me", 0, "/data/tessavo/tessavo/bookmarks.sqlite"}, {"data", "/home/me", 0, "/home/me" + own},
            {nullptr, nullptr, 0, root + own}, {"", "", 0, root + own}, {nullptr, nullptr, 54321, ""}, {"", "/", 0, ""}};
        for (const auto& [dataHome, home, uid, expected] : cases) {
            int pipeFds[2];
            QVERIFY(::pipe(pipeFds) == 0);
            if (::fork() == 0) {
                dataHome ? ::setenv("XDG_DATA_HOME", dataHome, 1) : ::unsetenv("XDG_DATA_HOME");
                home ? ::setenv("HOME", home, 1) : ::unsetenv("HOME");
                QCoreApplication::setOrganizationName("tessavo"), QCoreApplication::setApplicationName("tessavo");
                const QByteArray path = ::setuid(uid) == 0 ? SqliteBookmarkStore::defaultDatabasePath().toUtf8() : "?";
                ::_exit(::write(pipeFds[1], path.data(), size_t(path.size())) == path.size() ? 0 : 1);
            }
            ::close(pipeFds[1]);
            QFile read;
            QVERIFY(read.open(pipeFds[0], QIODevice::ReadOnly, QFile::AutoCloseHandle));
            QCOMPARE(QString::fromUtf8(read.readAll()), expected);
            ::wait(nullptr);
        }
        SqliteBookmarkStore(lines(), QString()).saveBookmark(QUrl::fromLocalFile(m_dir.path())); // reported on the way out
        QCOMPARE(m_lines, QStringList{failed.arg(m_dir.path(), "no home folder to keep the store in")});
    }

    // Saving returns at once; the record goes in once the lock is let go or, held past the timeout, the line says so.
    void storeLockedByAnotherProcessHoldsNobodyUp()
    {
        SqliteBookmarkStore(lines(), path("bookmarks.sqlite")).saveBookmark(QUrl::fromLocalFile(m_dir.path()));
        for (const bool releasedInTime : {true, false}) {
            const QString file = path(releasedInTime ? "in-time.heic" : "too-late.heic");
            QVERIFY(write(file));
            QProcess holder;
            holder.start("sqlite3", {path("bookmarks.sqlite")});
            holder.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
            if (!holder.waitForReadyRead(10000) || !holder.readAll().startsWith("locked"))
                QSKIP("sqlite3 cannot hold the store's lock here");
            SqliteBookmarkStore store(lines(), path("bookmarks.sqlite"), std::chrono::milliseconds(releasedInTime ? 30000 : 200));
            QList<StoreFailure> told;
            store.storeFailed = [&](StoreFailure failure, const QString&) { told << failure; };
            store.saveBookmark(QUrl::fromLocalFile(file));
            if (releasedInTime) // back here with the lock held: a save that waited for it would fail
                holder.closeWriteChannel();
            store.flush();
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(10000));
            QCOMPARE(m_lines, releasedInTime ? QStringList() : QStringList{failed.arg(file, "database is locked")});
            QCOMPARE(told, releasedInTime ? QList<StoreFailure>() : QList<StoreFailure>{StoreFailure::Locked});
            QCOMPARE(rowsOf(path("bookmarks.sqlite")).contains(file + '|'), releasedInTime);
        }
    }
};

QTEST_GUILESS_MAIN(BookmarkStoreTest)
#include "test_bookmark_store.moc"
