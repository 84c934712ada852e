#include "model/content_view.h"

#include "bookmark_rows.h"
#include "fake_platform.h"
#include "file_list_columns.h"
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

// Makes a bookmark written again afterwards differ from the stored one.
void ageFile(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
}

constexpr auto W = ImageStatus::Waiting;

} // namespace

class IntakeTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeDesktop> m_desktop;
    ContentView* view() { return m_desktop->view.get(); }
    FileListModel& files() { return *m_desktop->view->droppedFiles(); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("store/bookmarks.sqlite")); }
    QMap<QString, BookmarkRow> bookmarks() const
    {
        m_desktop->store->flush();
        return readBookmarks(databasePath());
    }

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

    void pickingAppendsNewFilesInOrderWithOneBookmarkEach()
    {
        const QUrl one = file(QStringLiteral("IMG_1.heic"));
        const QUrl two = file(QStringLiteral("IMG_0002.HEIC"));
        const QUrl three = file(QStringLiteral("Img_3.HeIc"));
        m_desktop->files->answers = {std::nullopt, QList<QUrl>{one, two}, QList<QUrl>{one, three, two, three}};

        view()->addImages(); // cancelled
        QCOMPARE(files().count(), 0);
        QVERIFY(!QFile::exists(databasePath()));

        view()->addImages();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{one, two}));
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{W, W}));
        QCOMPARE(bookmarks().size(), 2);
        QCOMPARE(bookmarks()[two.toLocalFile()], identityOf(two.toLocalFile()));

        // Listed files keep their status and are not recorded again.
        files().setStatus(0, ImageStatus::Success);
        ageFile(one.toLocalFile());
        ageFile(two.toLocalFile());
        const auto before = bookmarks();
        view()->addImages();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{one, two, three}));
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{ImageStatus::Success, W, W}));
        const auto after = bookmarks();
        QCOMPARE(after.size(), 3);
        QCOMPARE(after[one.toLocalFile()], before[one.toLocalFile()]);
        QCOMPARE(after[two.toLocalFile()], before[two.toLocalFile()]);
        QCOMPARE(after[three.toLocalFile()], identityOf(three.toLocalFile()));
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
        QCOMPARE(bookmarks().keys(), (QStringList{first.toLocalFile(), last.toLocalFile()}));
    }

    void dropIsTakenOnlyWithLocalFiles()
    {
        QVERIFY(!view()->handleDrop({}));
        QVERIFY(!view()->handleDrop({QUrl(QStringLiteral("https://example.org/IMG_1.heic")),
                                     QUrl(QStringLiteral("plain text")), QUrl()}));
        QVERIFY(view()->handleDrop({QUrl(QStringLiteral("plain text")), file(QStringLiteral("photo.png"))}));
        QCoreApplication::processEvents();
        QCOMPARE(files().count(), 0);
        QVERIFY(!QFile::exists(databasePath()));
    }

    void dropTakesHeicFilesOnceAfterReturning()
    {
        const QUrl upper = file(QStringLiteral("IMG_1.HEIC"));
        const QUrl mixed = file(QStringLiteral("x.Heic"));
        const QUrl listed = file(QStringLiteral("listed.heic"));
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("album")));
        m_desktop->files->answers = {QList<QUrl>{listed}};
        view()->addImages();
        files().setStatus(0, ImageStatus::Error);
        ageFile(listed.toLocalFile());
        const BookmarkRow listedRow = bookmarks()[listed.toLocalFile()];

        QSignalSpy inserted(&files(), &QAbstractItemModel::rowsInserted);
        QVERIFY(view()->handleDrop({upper, file(QStringLiteral("photo.png")), file(QStringLiteral("notes.txt")),
                                    QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("album"))),
                                    file(QStringLiteral("IMG_2.heif")), file(QStringLiteral("heic")),
                                    file(QStringLiteral(".heic")), upper, listed, mixed}));
        QCOMPARE(files().count(), 1); // nothing before the event loop runs

        QTRY_COMPARE(inserted.count(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{listed, upper, mixed}));
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{ImageStatus::Error, W, W}));
        QCOMPARE(bookmarks().size(), 3);
        QCOMPARE(bookmarks()[upper.toLocalFile()], identityOf(upper.toLocalFile()));
        QCOMPARE(bookmarks()[listed.toLocalFile()], listedRow);
    }

    void removalKeepsOrderAndStatusesAndEmptiesSelection()
    {
        QList<QUrl> urls;
        for (int i = 1; i <= 4; ++i)
            urls << file(QStringLiteral("IMG_%1.heic").arg(i));
        m_desktop->files->answers = {urls};
        view()->addImages();
        files().setStatus(2, ImageStatus::Success);
        const auto storedBefore = bookmarks();

        view()->setSelectedFiles({urls[1], urls[3], file(QStringLiteral("never-listed.heic"))});
        QSignalSpy selection(view(), &ContentView::selectedFilesChanged);
        QSignalSpy counter(view(), &ContentView::completedConversionsChanged);
        view()->removeSelectedImages();
        QCOMPARE(urlsOf(files()), (QList<QUrl>{urls[0], urls[2]}));
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{W, ImageStatus::Success}));
        QCOMPARE(view()->selectionCount(), 0);
        QCOMPARE(selection.count(), 1);
        QCOMPARE(counter.count(), 0);
        QCOMPARE(bookmarks(), storedBefore); // bookmarks outlive their entries

        view()->removeSelectedImages(); // nothing selected
        QCOMPARE(files().count(), 2);

        // A removed file can come back, at the end.
        QVERIFY(view()->handleDrop({urls[1]}));
        QTRY_COMPARE(files().count(), 3);
        QCOMPARE(files().at(2).url, urls[1]);

        view()->selectAll();
        view()->removeSelectedImages();
        QCOMPARE(files().count(), 0);
    }

    // A name typed into the picker's name field passes no filter: the
    // picker and the drop must take exactly the same names.
    void pickerAndDropTakeTheSameNames()
    {
        const QList<QUrl> offered{file(QStringLiteral("IMG_1.HEIC")), file(QStringLiteral("x.Heic")),
                                  file(QStringLiteral("notheic.png")), file(QStringLiteral("IMG_2.heif")),
                                  file(QStringLiteral("IMG.heic.jpg")), file(QStringLiteral("heic")),
                                  file(QStringLiteral(".heic")), file(QStringLiteral("IMG_3.hEiC")),
                                  QUrl(QStringLiteral("https://example.org/IMG_4.heic"))};
        const QList<QUrl> taken{offered[0], offered[1], offered[7]};

        m_desktop->files->answers = {offered};
        view()->addImages();
        QCOMPARE(urlsOf(files()), taken);
        QCOMPARE(bookmarks().size(), taken.size());

        view()->selectAll();
        view()->removeSelectedImages();
        view()->handleDrop(offered);
        QTRY_COMPARE(files().count(), taken.size());
        QCoreApplication::processEvents();
        QCOMPARE(urlsOf(files()), taken);
    }
};

QTEST_MAIN(IntakeTest)
#include "test_intake.moc"
