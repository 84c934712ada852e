#include "model/content_view.h"

#include "bookmark_rows.h"
#include "fake_platform.h"
#include "stdout_capture.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace tessavo;
using namespace tessavo::testing;

namespace {

QList<QUrl> urlsOf(const FileListModel& files)
{
    QList<QUrl> urls;
    for (const FileEntry& entry : files.entries())
        urls << entry.url;
    return urls;
}

QList<ImageStatus> statusesOf(const FileListModel& files)
{
    QList<ImageStatus> statuses;
    for (const FileEntry& entry : files.entries())
        statuses << entry.status;
    return statuses;
}

// Makes the bookmark of `path` detectably stale if it were written again.
void ageFile(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
}

} // namespace

class IntakeTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeDesktop> m_desktop;
    ContentView* view() { return m_desktop->view.get(); }
    FileListModel& files() { return *m_desktop->view->droppedFiles(); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("store/bookmarks.sqlite")); }

    QUrl file(const QString& name, bool create = true)
    {
        const QString path = m_dir.filePath(name);
        if (create)
            writeBytes(path);
        return QUrl::fromLocalFile(path);
    }

private slots:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_desktop = std::make_unique<FakeDesktop>(databasePath());
    }

    void cleanup() { m_desktop.reset(); }

    void newViewStartsEmpty()
    {
        QCOMPARE(files().count(), 0);
        QCOMPARE(view()->selectedFiles(), QList<QUrl>{});
        QVERIFY(!view()->isTargeted());
        QVERIFY(view()->outputDirectory().isEmpty());
        QCOMPARE(view()->completedConversions(), 0);
    }

    void cancelledPickerChangesNothing()
    {
        const QUrl one = file(QStringLiteral("IMG_1.heic"));
        m_desktop->files->answers = {QList<QUrl>{one}, std::nullopt};
        view()->addImages();
        ageFile(one.toLocalFile());
        const auto before = readBookmarks(databasePath());

        StdoutCapture out;
        view()->addImages();
        QCOMPARE(m_desktop->files->calls, 2);
        QCOMPARE(urlsOf(files()), QList<QUrl>{one});
        QCOMPARE(readBookmarks(databasePath()), before);
        QCOMPARE(out.lines(), QStringList{});
    }

    void pickedFilesAppendInOrderSkippingListedOnes()
    {
        const QUrl one = file(QStringLiteral("IMG_1.heic"));
        const QUrl two = file(QStringLiteral("IMG_0002.HEIC"));
        const QUrl three = file(QStringLiteral("Img_3.HeIc"));
        m_desktop->files->answers = {QList<QUrl>{one, two}, QList<QUrl>{one, three, two, three}};

        view()->addImages();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{one, two}));
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{ImageStatus::Waiting, ImageStatus::Waiting}));
        QCOMPARE(readBookmarks(databasePath()).size(), 2);
        QCOMPARE(readBookmarks(databasePath())[two.toLocalFile()], identityOf(two.toLocalFile()));

        // A listed entry keeps its status and is not recorded again.
        files().setStatus(0, ImageStatus::Success);
        ageFile(one.toLocalFile());
        ageFile(two.toLocalFile());
        const auto before = readBookmarks(databasePath());
        QSignalSpy selection(view(), &ContentView::selectedFilesChanged);
        view()->addImages();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{one, two, three}));
        QCOMPARE(statusesOf(files()),
                 (QList<ImageStatus>{ImageStatus::Success, ImageStatus::Waiting, ImageStatus::Waiting}));
        const auto after = readBookmarks(databasePath());
        QCOMPARE(after.size(), 3);
        QCOMPARE(after[one.toLocalFile()], before[one.toLocalFile()]);
        QCOMPARE(after[two.toLocalFile()], before[two.toLocalFile()]);
        QCOMPARE(after[three.toLocalFile()], identityOf(three.toLocalFile()));
        QCOMPARE(selection.count(), 0);
    }

    void bookmarkFailureMidIntakeKeepsTheEntryAndGoesOn()
    {
        const QUrl first = file(QStringLiteral("a.heic"));
        const QUrl missing = file(QStringLiteral("vanished.heic"), false);
        const QUrl last = file(QStringLiteral("c.heic"));
        m_desktop->files->answers = {QList<QUrl>{first, missing, last}};

        StdoutCapture out;
        view()->addImages();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{first, missing, last}));
        QCOMPARE(out.lines(), QStringList{QStringLiteral("Failed to save bookmark data for URL: %1, error: %2")
                                              .arg(missing.toLocalFile(), QString::fromLocal8Bit(std::strerror(ENOENT)))});
        QCOMPARE(readBookmarks(databasePath()).keys(), (QStringList{first.toLocalFile(), last.toLocalFile()}));
    }

    void dropWithoutLocalFilesIsRefused()
    {
        QVERIFY(!view()->handleDrop({}));
        QVERIFY(!view()->handleDrop({QUrl(QStringLiteral("https://example.org/IMG_1.heic")),
                                     QUrl(QStringLiteral("plain text")), QUrl()}));
        QCoreApplication::processEvents();
        QCOMPARE(files().count(), 0);
        QVERIFY(!QFile::exists(databasePath()));
    }

    void dropMixtureTakesOnlyHeicFilesOnceAfterReturning()
    {
        const QUrl upper = file(QStringLiteral("IMG_1.HEIC"));
        const QUrl mixed = file(QStringLiteral("x.Heic"));
        const QUrl png = file(QStringLiteral("photo.png"));
        const QUrl text = file(QStringLiteral("notes.txt"));
        const QUrl heif = file(QStringLiteral("IMG_2.heif"));
        const QUrl bare = file(QStringLiteral("heic"));
        const QUrl hidden = file(QStringLiteral(".heic"));
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("album")));
        const QUrl folder = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("album")));

        QSignalSpy inserted(&files(), &QAbstractItemModel::rowsInserted);
        QVERIFY(view()->handleDrop({QUrl(QStringLiteral("https://example.org/a.heic")), upper, png, text, folder,
                                    heif, bare, hidden, upper, mixed}));
        QCOMPARE(files().count(), 0); // nothing before the event loop runs
        QVERIFY(!QFile::exists(databasePath()));

        QTRY_COMPARE(inserted.count(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{upper, mixed}));
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{ImageStatus::Waiting, ImageStatus::Waiting}));
        QCOMPARE(readBookmarks(databasePath()).keys(), (QStringList{upper.toLocalFile(), mixed.toLocalFile()}));
    }

    void droppingOnlyOtherFilesIsTakenButAddsNothing()
    {
        QVERIFY(view()->handleDrop({file(QStringLiteral("photo.png"))}));
        QCoreApplication::processEvents();
        QCOMPARE(files().count(), 0);
    }

    void droppingAListedFileLeavesListAndStoreAlone()
    {
        const QUrl one = file(QStringLiteral("IMG_1.heic"));
        m_desktop->files->answers = {QList<QUrl>{one}};
        view()->addImages();
        files().setStatus(0, ImageStatus::Error);
        ageFile(one.toLocalFile());
        const auto before = readBookmarks(databasePath());

        QVERIFY(view()->handleDrop({one}));
        QCoreApplication::processEvents();
        QCOMPARE(urlsOf(files()), QList<QUrl>{one});
        QCOMPARE(files().at(0).status, ImageStatus::Error);
        QCOMPARE(readBookmarks(databasePath()), before);
    }

    void removalKeepsOrderAndStatusesAndEmptiesSelection()
    {
        QList<QUrl> urls;
        for (int i = 1; i <= 4; ++i)
            urls << file(QStringLiteral("IMG_%1.heic").arg(i));
        m_desktop->files->answers = {urls};
        view()->addImages();
        files().setStatus(2, ImageStatus::Success);
        const auto storedBefore = readBookmarks(databasePath());

        view()->setSelectedFiles({urls[1], urls[3], file(QStringLiteral("never-listed.heic"))});
        QSignalSpy selection(view(), &ContentView::selectedFilesChanged);
        QSignalSpy counter(view(), &ContentView::completedConversionsChanged);
        view()->removeSelectedImages();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{urls[0], urls[2]}));
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{ImageStatus::Waiting, ImageStatus::Success}));
        QCOMPARE(view()->selectionCount(), 0);
        QCOMPARE(selection.count(), 1);
        QCOMPARE(counter.count(), 0);
        QCOMPARE(readBookmarks(databasePath()), storedBefore); // bookmarks outlive the entries

        // Nothing selected: nothing goes.
        view()->removeSelectedImages();
        QCOMPARE(files().count(), 2);

        // A removed file can come back, at the end, by drop.
        QVERIFY(view()->handleDrop({urls[1]}));
        QTRY_COMPARE(files().count(), 3);
        QCOMPARE(files().at(2).url, urls[1]);

        view()->selectAll();
        view()->removeSelectedImages();
        QCOMPARE(files().count(), 0);
    }
};

QTEST_MAIN(IntakeTest)
#include "test_intake.moc"
