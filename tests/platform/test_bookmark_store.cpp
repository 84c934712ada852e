#include "platform/bookmark_store.h"

#include "bookmark_rows.h"
#include "test_files.h"
#include "stdout_capture.h"

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
    SqliteBookmarkStore store(args[2]);
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
        SqliteBookmarkStore store(databasePath());
        QVERIFY(!QFile::exists(databasePath())); // nothing is written before the first save

        store.saveBookmark(QUrl::fromLocalFile(file));
        store.saveBookmark(QUrl::fromLocalFile(folder));
        QMap<QString, BookmarkRow> rows = readBookmarks(databasePath());
        QCOMPARE(rows.keys(), (QStringList{file, folder}));
        QCOMPARE(rows[folder], identityOf(folder));
        QCOMPARE(rows[file], identityOf(file));
        QVERIFY(rows[file].inode != 0 && rows[file].size == 5);

        QVERIFY(writeBytes(file, "a longer second content"));
        store.saveBookmark(QUrl::fromLocalFile(file));
        rows = readBookmarks(databasePath());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[file].size, 23);
        QCOMPARE(rows[file], identityOf(file));

        // The key is the decoded path, not the URL's encoded spelling.
        const QString odd = m_dir.filePath(QStringLiteral("a b%25 \u00fc #1.heic"));
        QVERIFY(writeBytes(odd));
        store.saveBookmark(QUrl::fromLocalFile(odd));
        QVERIFY(readBookmarks(databasePath()).contains(odd));
    }

    void locationThatCannotBeExaminedPrintsOneLineAndWritesNothing()
    {
        const QString existing = m_dir.filePath(QStringLiteral("ok.heic"));
        QVERIFY(writeBytes(existing));
        const QString missing = m_dir.filePath(QStringLiteral("gone.heic"));
        const QString underFile = existing + QStringLiteral("/inside.heic");
        SqliteBookmarkStore store(databasePath());
        StdoutCapture out;
        store.saveBookmark(QUrl::fromLocalFile(missing));
        store.saveBookmark(QUrl::fromLocalFile(underFile));
        store.saveBookmark(QUrl::fromLocalFile(existing));
        QCOMPARE(out.lines(),
                 (QStringList{
                     QStringLiteral("Failed to save bookmark data for URL: %1, error: %2")
                         .arg(missing, QString::fromLocal8Bit(std::strerror(ENOENT))),
                     QStringLiteral("Failed to save bookmark data for URL: %1, error: %2")
                         .arg(underFile, QString::fromLocal8Bit(std::strerror(ENOTDIR))),
                 }));
        QCOMPARE(readBookmarks(databasePath()).keys(), QStringList{existing});
    }

    void unusableStoreIsSilentOnStdoutAndDoesNotStopTheCaller()
    {
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QVERIFY(writeBytes(blocker));
        const QString file = m_dir.filePath(QStringLiteral("IMG_1.heic"));
        QVERIFY(writeBytes(file));
        SqliteBookmarkStore store(blocker + QStringLiteral("/bookmarks.sqlite"));
        // Said once, on stderr, and the store stops trying.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Bookmark store unavailable:")));
        StdoutCapture out;
        store.saveBookmark(QUrl::fromLocalFile(file));
        store.saveBookmark(QUrl::fromLocalFile(file));
        QCOMPARE(out.lines(), QStringList{});
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
        SqliteBookmarkStore store(databasePath());
        store.saveBookmark(QUrl::fromLocalFile(later));
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
