#include "platform/bookmark_store.h"

#include "app/console.h"
#include "bookmark_rows.h"
#include "test_files.h"
#include "stdout_capture.h"
#include "test_mounts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace tessavo;
using namespace tessavo::testing;

namespace {

constexpr char childFlag[] = "--save-bookmarks";

// Child mode: saves every file of a folder, over and over when asked, so
// the parent can run two writers at once or kill one mid-write.
int saveBookmarksChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 2;
    SqliteBookmarkStore store(printLine, args[2]);
    const QDir folder(args[3]);
    const int rounds = args[4].toInt();
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    for (int round = 0; rounds == 0 || round < rounds; ++round) {
        for (const QString& name : names)
            store.saveBookmark(QUrl::fromLocalFile(folder.filePath(name)));
    }
    return 0;
}

QStringList makeFiles(const QString& folder, const QString& prefix, int count)
{
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/%2_%3.heic").arg(folder, prefix).arg(i);
        writeBytes(path);
        paths << path;
    }
    return paths;
}

} // namespace

class BookmarkStoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString databasePath() const { return m_dir.filePath(QStringLiteral("data/bookmarks.sqlite")); }

    QProcess* startChild(const QString& folder, int rounds)
    {
        auto* child = new QProcess(this);
        child->setProcessChannelMode(QProcess::ForwardedChannels);
        child->start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(childFlag), databasePath(), folder, QString::number(rounds)});
        return child;
    }

private slots:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void recordsPathAndIdentityAndLastWriteWins()
    {
        const QString file = m_dir.filePath(QStringLiteral("IMG_1.HEIC"));
        const QString folder = m_dir.filePath(QStringLiteral("Out"));
        QVERIFY(writeBytes(file, "first"));
        QVERIFY(QDir().mkpath(folder));
        SqliteBookmarkStore store(printLine, databasePath());
        QVERIFY(!QFile::exists(databasePath())); // nothing is written before the first save

        store.saveBookmark(QUrl::fromLocalFile(file));
        store.saveBookmark(QUrl::fromLocalFile(folder));
        store.flush();
        QMap<QString, BookmarkRow> rows = readBookmarks(databasePath());
        QCOMPARE(rows.keys(), (QStringList{file, folder}));
        QCOMPARE(rows[folder], identityOf(folder));
        QCOMPARE(rows[file], identityOf(file));
        QVERIFY(rows[file].inode != 0 && rows[file].size == 5);

        QVERIFY(writeBytes(file, "a longer second content"));
        store.saveBookmark(QUrl::fromLocalFile(file));
        store.flush();
        rows = readBookmarks(databasePath());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[file].size, 23);
        QCOMPARE(rows[file], identityOf(file));

        // The key is the decoded path, not the URL's encoded spelling.
        const QString odd = m_dir.filePath(QStringLiteral("a b%25 \u00fc #1.heic"));
        QVERIFY(writeBytes(odd));
        store.saveBookmark(QUrl::fromLocalFile(odd));
        store.flush();
        QVERIFY(readBookmarks(databasePath()).contains(odd));
    }

    void locationThatCannotBeExaminedPrintsOneLineAndWritesNothing()
    {
        const QString existing = m_dir.filePath(QStringLiteral("ok.heic"));
        QVERIFY(writeBytes(existing));
        const QString missing = m_dir.filePath(QStringLiteral("gone.heic"));
        const QString underFile = existing + QStringLiteral("/inside.heic");
        SqliteBookmarkStore store(printLine, databasePath());
        StdoutCapture out;
        store.saveBookmark(QUrl::fromLocalFile(missing));
        store.saveBookmark(QUrl::fromLocalFile(underFile));
        store.saveBookmark(QUrl::fromLocalFile(existing));
        store.flush();
        QCOMPARE(out.lines(),
                 (QStringList{
                     QStringLiteral("Failed to save bookmark data for URL: %1, error: %2")
                         .arg(missing, QString::fromLocal8Bit(std::strerror(ENOENT))),
                     QStringLiteral("Failed to save bookmark data for URL: %1, error: %2")
                         .arg(underFile, QString::fromLocal8Bit(std::strerror(ENOTDIR))),
                 }));
        QCOMPARE(readBookmarks(databasePath()).keys(), QStringList{existing});
    }

    // A store that cannot take a record says so for each one, and the next
    // save tries again.
    void storeThatCannotBeWrittenPrintsTheLineForEverySave()
    {
        const QString file = m_dir.filePath(QStringLiteral("IMG_1.heic"));
        QVERIFY(writeBytes(file));
        const QString line = QStringLiteral("Failed to save bookmark data for URL: %1, error: ").arg(file);
        // Not a folder where the store should be; then a read-only file system.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QVERIFY(writeBytes(blocker));
        {
            SqliteBookmarkStore store(printLine, blocker + QStringLiteral("/bookmarks.sqlite"));
            StdoutCapture out;
            store.saveBookmark(QUrl::fromLocalFile(file));
            store.flush();
            store.saveBookmark(QUrl::fromLocalFile(file));
            store.flush();
            QCOMPARE(out.lines().size(), 2);
            for (const QString& printed : out.lines())
                QVERIFY2(printed.startsWith(line) && printed.size() > line.size(), qPrintable(printed));
        }
        const QString mounted = m_dir.filePath(QStringLiteral("ro"));
        const auto disk = testsupport::TestMount::tmpfs(QFile::encodeName(mounted).toStdString());
        if (!disk.mounted())
            QSKIP("no tmpfs can be mounted here");
        const QString database = mounted + QStringLiteral("/bookmarks.sqlite");
        {
            SqliteBookmarkStore store(printLine, database);
            store.saveBookmark(QUrl::fromLocalFile(file));
        }
        QVERIFY(disk.remountReadOnly());
        SqliteBookmarkStore store(printLine, database);
        StdoutCapture out;
        store.saveBookmark(QUrl::fromLocalFile(blocker));
        store.flush();
        QCOMPARE(out.lines().size(), 1);
        QVERIFY2(out.lines().value(0).startsWith(QStringLiteral("Failed to save bookmark data for URL: %1, error: ")
                                                      .arg(blocker)),
                 qPrintable(out.lines().value(0)));
    }

    // Another process holds the write lock: saving returns at once, the
    // record goes in when the lock is let go, or, when it is held past the
    // timeout, the line says so.
    void storeLockedByAnotherProcessHoldsNobodyUp()
    {
        const QString first = m_dir.filePath(QStringLiteral("first.heic"));
        const QString second = m_dir.filePath(QStringLiteral("second.heic"));
        QVERIFY(writeBytes(first));
        QVERIFY(writeBytes(second));
        {
            SqliteBookmarkStore store(printLine, databasePath());
            store.saveBookmark(QUrl::fromLocalFile(first));
        }
        const auto holdLock = [this] {
            auto* holder = new QProcess(this);
            holder->start(QStringLiteral("sqlite3"), {databasePath()});
            holder->write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
            return holder->waitForReadyRead(10000) && holder->readAll().startsWith("locked") ? holder : nullptr;
        };
        for (const bool releasedInTime : {true, false}) {
            QProcess* holder = holdLock();
            if (!holder)
                QSKIP("sqlite3 cannot hold the store's lock here");
            SqliteBookmarkStore store(printLine, databasePath(), releasedInTime ? std::chrono::seconds(30) : std::chrono::milliseconds(200));
            StdoutCapture out;
            store.saveBookmark(QUrl::fromLocalFile(second));
            // Back here while the lock is still held: a save that waited for
            // it would have waited out its timeout and failed.
            if (releasedInTime) {
                holder->closeWriteChannel();
                QVERIFY(holder->waitForFinished(10000));
            }
            store.flush();
            if (releasedInTime) {
                QCOMPARE(out.lines(), QStringList{});
                QVERIFY(readBookmarks(databasePath()).contains(second));
            } else {
                QCOMPARE(out.lines(), QStringList{QStringLiteral("Failed to save bookmark data for URL: %1, error: "
                                                                 "database is locked").arg(second)});
                holder->closeWriteChannel();
                QVERIFY(holder->waitForFinished(10000));
            }
        }
    }

    void twoProcessesSavingAtOnceLoseNoEntry()
    {
        const int perProcess = 400;
        const QStringList first = makeFiles(m_dir.filePath(QStringLiteral("first")), QStringLiteral("a"), perProcess);
        const QStringList second = makeFiles(m_dir.filePath(QStringLiteral("second")), QStringLiteral("b"), perProcess);
        QProcess* one = startChild(m_dir.filePath(QStringLiteral("first")), 1);
        QProcess* two = startChild(m_dir.filePath(QStringLiteral("second")), 1);
        for (QProcess* child : {one, two}) {
            QVERIFY(child->waitForFinished(60000));
            QCOMPARE(child->exitCode(), 0);
        }

        const QMap<QString, BookmarkRow> rows = readBookmarks(databasePath());
        QCOMPARE(rows.size(), 2 * perProcess);
        for (const QString& path : first + second)
            QVERIFY2(rows.value(path) == identityOf(path), qPrintable(path));
    }

    void processKilledMidWriteLeavesAReadableStore()
    {
        const QString folder = m_dir.filePath(QStringLiteral("many"));
        makeFiles(folder, QStringLiteral("k"), 200);
        QProcess* writer = startChild(folder, 0); // saves until killed
        QVERIFY(writer->waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (readBookmarks(databasePath()).size() < 50 && waited.elapsed() < 20000)
            QTest::qWait(20);
        writer->kill();
        QVERIFY(writer->waitForFinished());
        QCOMPARE(writer->exitStatus(), QProcess::CrashExit);

        QCOMPARE(integrityCheck(databasePath()), QStringLiteral("ok"));
        QVERIFY(readBookmarks(databasePath()).size() >= 50);
        const QString later = m_dir.filePath(QStringLiteral("later.heic"));
        QVERIFY(writeBytes(later));
        SqliteBookmarkStore store(printLine, databasePath());
        store.saveBookmark(QUrl::fromLocalFile(later));
        store.flush();
        QVERIFY(readBookmarks(databasePath()).contains(later));
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], childFlag) == 0)
        return saveBookmarksChild(argc, argv);
    QCoreApplication app(argc, argv);
    BookmarkStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_bookmark_store.moc"
