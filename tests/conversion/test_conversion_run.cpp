#include "model/content_view.h"

#include "bookmark_rows.h"
#include "fake_platform.h"
#include "file_list_columns.h"
#include "heic_fixture.h"
#include "held_pool.h"
#include "stdout_capture.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <optional>

using namespace tessavo;
using namespace tessavo::testing;

namespace {

QList<ImageStatus> repeated(ImageStatus status, int count)
{
    return QList<ImageStatus>(count, status);
}

bool isJpegOfFixtureSize(const QString& path)
{
    const testsupport::JpegFile jpeg = testsupport::readJpeg(QFile::encodeName(path).toStdString());
    return jpeg.stored.width == 64 && jpeg.stored.height == 48;
}

constexpr auto S = ImageStatus::Success;
constexpr auto E = ImageStatus::Error;
constexpr auto C = ImageStatus::Converting;
constexpr auto W = ImageStatus::Waiting;

} // namespace

class ConversionRunTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeDesktop> m_desktop;
    QUrl m_out;
    // Jobs still out at each reveal.
    QList<qint64> m_outstandingAtReveal;

    ContentView* view() { return m_desktop->view.get(); }
    FileListModel& files() { return *m_desktop->view->droppedFiles(); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("store/bookmarks.sqlite")); }
    QString outPath(const QString& name) const { return m_out.toLocalFile() + u'/' + name; }

    QUrl heic(const QString& name)
    {
        const QString path = m_dir.filePath(QStringLiteral("in/") + name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!writeHeic(path))
            qFatal("cannot write fixture %s", qPrintable(path));
        return QUrl::fromLocalFile(path);
    }

    QUrl broken(const QString& name)
    {
        const QString path = m_dir.filePath(QStringLiteral("in/") + name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeBytes(path, "this is no HEIC file");
        return QUrl::fromLocalFile(path);
    }

    void add(const QList<QUrl>& urls)
    {
        m_desktop->files->answers.append(urls);
        view()->addImages();
    }

    void startRun(const QUrl& folder)
    {
        m_desktop->folders->answers.append(FolderChoice{true, folder});
        view()->convertToJPEG();
    }

    // Lets every job end and every outcome arrive.
    void settle()
    {
        QTRY_COMPARE_WITH_TIMEOUT(view()->jobsOutstanding(), 0, 30000);
        conversionPool()->waitForDone();
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_out = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("Out")));
        m_desktop = std::make_unique<FakeDesktop>(databasePath());
        m_outstandingAtReveal.clear();
        m_desktop->revealer->onReveal = [this] { m_outstandingAtReveal << view()->jobsOutstanding(); };
    }

    void cleanup()
    {
        conversionPool()->waitForDone();
        m_desktop.reset();
    }

    void runConvertsGoodAndBadFilesAndRevealsOnce()
    {
        add({heic(QStringLiteral("IMG_1.HEIC")), broken(QStringLiteral("bad.heic")), heic(QStringLiteral("IMG_3.heic"))});
        QStringList lines;
        {
            StdoutCapture out;
            startRun(m_out);
            lines = out.lines();
        }
        // Every entry is converting before any outcome is applied.
        QCOMPARE(statusesOf(files()), repeated(C, 3));
        QCOMPARE(view()->outputDirectory(), m_out);
        QCOMPARE(view()->completedConversions(), 0);
        QCOMPARE(view()->runState(), ContentView::RunState::Running);
        QCOMPARE(view()->runSummary(), QStringLiteral("0 of 3 converted"));
        // Out does not exist until a job creates it: its bookmark fails and
        // the run goes on.
        QVERIFY(lines.contains(QStringLiteral("Failed to save bookmark data for URL: %1, error: No such file or directory")
                                   .arg(m_out.toLocalFile())));

        settle();
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{S, E, S}));
        QCOMPARE(view()->completedConversions(), 3);
        QCOMPARE(view()->runState(), ContentView::RunState::Finished);
        QCOMPARE((QList<qint64>{view()->runTotal(), view()->runConverted(), view()->runFailed()}), (QList<qint64>{3, 2, 1}));
        QCOMPARE(view()->runSummary(), QStringLiteral("2 converted, 1 failed"));
        // The failed row keeps the step it stopped at, for its tooltip.
        QCOMPARE(files().at(1).failure.step, ConversionStep::Parse);
        QCOMPARE(files().data(files().index(1), FileListModel::FailureTextRole).toString(),
                 QStringLiteral("Not a HEIC photo, or damaged"));
        QCOMPARE(m_desktop->revealer->revealed, QList<QUrl>{m_out});
        QCOMPARE(m_outstandingAtReveal, QList<qint64>{0});
        QVERIFY(isJpegOfFixtureSize(outPath(QStringLiteral("IMG_1.jpg"))));
        QVERIFY(isJpegOfFixtureSize(outPath(QStringLiteral("IMG_3.jpg"))));
        QVERIFY(!QFile::exists(outPath(QStringLiteral("bad.jpg"))));
    }

    // Photos of one name from two folders both survive, under their own names.
    void sameNamesFromTwoFoldersBothSurvive()
    {
        add({heic(QStringLiteral("a/IMG_1.HEIC")), heic(QStringLiteral("b/IMG_1.HEIC"))});
        startRun(m_out);
        settle();
        QCOMPARE(statusesOf(files()), repeated(S, 2));
        QVERIFY(isJpegOfFixtureSize(outPath(QStringLiteral("IMG_1.jpg"))));
        QVERIFY(isJpegOfFixtureSize(outPath(QStringLiteral("IMG_1 (2).jpg"))));
    }

    void cancelThenSecondRunConvertsEverythingAgain()
    {
        QVERIFY(QDir().mkpath(m_out.toLocalFile()));
        add({heic(QStringLiteral("IMG_1.heic")), broken(QStringLiteral("bad.heic"))});
        startRun(m_out);
        settle();
        m_desktop->store->flush();
        const BookmarkRow folderRow = readBookmarks(databasePath())[m_out.toLocalFile()];
        QCOMPARE(folderRow.inode, identityOf(m_out.toLocalFile()).inode); // the JPEGs changed its times since
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{S, E}));

        QSignalSpy changes(view(), &ContentView::completedConversionsChanged);
        view()->convertToJPEG(); // no answer scripted: the picker is cancelled
        QCOMPARE(m_desktop->folders->calls, 2);
        QCOMPARE(view()->outputDirectory(), m_out);
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{S, E}));
        QCOMPARE(view()->jobsOutstanding(), 0);
        QCOMPARE(changes.count(), 0);

        const QString jpeg = outPath(QStringLiteral("IMG_1.jpg"));
        QFile(jpeg).resize(10); // a wreck that the second run must replace
        startRun(m_out);
        QCOMPARE(statusesOf(files()), repeated(C, 2));
        QCOMPARE(view()->completedConversions(), 0);
        settle();
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{S, E}));
        QCOMPARE(view()->completedConversions(), 2);
        QVERIFY(isJpegOfFixtureSize(jpeg));
        QCOMPARE(m_desktop->revealer->revealed, (QList<QUrl>{m_out, m_out}));
    }

    // Jobs that have not started are dropped and their rows wait again; the
    // ones running finish whole; the folder is not shown.
    void cancelDropsJobsNotStarted_data()
    {
        QTest::addColumn<bool>("cancelAtFirstOutcome");
        QTest::newRow("before any job starts") << false;
        QTest::newRow("while jobs run") << true;
    }

    void cancelDropsJobsNotStarted()
    {
        QFETCH(bool, cancelAtFirstOutcome);
        // Enough jobs that some are still queued when the first outcome arrives.
        QList<QUrl> urls{heic(QStringLiteral("IMG_0.HEIC"))};
        for (int i = 1; i < 40; ++i) {
            urls << QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("in/IMG_%1.HEIC").arg(i)));
            QVERIFY(QFile::copy(urls[0].toLocalFile(), urls[i].toLocalFile()));
        }
        urls << broken(QStringLiteral("last.heic"));
        add(urls);

        // Holding every worker keeps every job from starting.
        std::optional<HeldPool> held;
        if (!cancelAtFirstOutcome)
            held.emplace();
        QMetaObject::Connection cancelOnce = connect(view(), &ContentView::completedConversionsChanged, view(), [this] {
            if (view()->completedConversions() > 0 && view()->runState() == ContentView::RunState::Running)
                view()->cancelConversion();
        });
        if (!cancelAtFirstOutcome)
            disconnect(cancelOnce);
        startRun(m_out);
        if (!cancelAtFirstOutcome) {
            view()->cancelConversion();
            QCOMPARE(statusesOf(files()), repeated(W, urls.size()));
            QCOMPARE(view()->runState(), ContentView::RunState::Cancelled);
            held.reset();
        }
        settle();
        disconnect(cancelOnce);

        const QList<ImageStatus> statuses = statusesOf(files());
        const qint64 converted = statuses.count(S);
        QCOMPARE(converted + statuses.count(W), urls.size());
        QVERIFY(statuses.count(W) > 0);
        QCOMPARE(converted > 0, cancelAtFirstOutcome);
        QCOMPARE(view()->completedConversions(), converted);
        QCOMPARE(view()->runConverted(), converted);
        QCOMPARE(view()->runFailed(), 0);
        QCOMPARE(view()->runState(), ContentView::RunState::Cancelled);
        QCOMPARE(view()->runSummary(), QStringLiteral("Cancelled: %1 of 41 converted").arg(converted));
        QVERIFY(m_desktop->revealer->revealed.isEmpty());
        // A JPEG for each converted row and nothing else: no temporary file.
        QStringList written = QDir(m_out.toLocalFile()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(written.size(), converted);
        for (int i = 0; i < urls.size(); ++i) {
            const QString jpeg = QFileInfo(urls[i].toLocalFile()).completeBaseName() + QStringLiteral(".jpg");
            QCOMPARE(written.contains(jpeg), statuses[i] == S);
        }

        // The next run converts the rest.
        startRun(m_out);
        settle();
        QCOMPARE(view()->runSummary(), QStringLiteral("40 converted, 1 failed"));
        QCOMPARE(m_desktop->revealer->revealed, QList<QUrl>{m_out});
    }

    void folderConfirmedWithoutUrlOrEmptyListSchedulesNothing()
    {
        add({heic(QStringLiteral("IMG_1.heic"))});
        startRun(m_out);
        settle();

        m_desktop->folders->answers.append(FolderChoice{true, QUrl()});
        view()->convertToJPEG();
        QVERIFY(view()->outputDirectory().isEmpty());
        QCOMPARE(view()->completedConversions(), 0);
        QCOMPARE(files().at(0).status, S);
        QCOMPARE(view()->jobsOutstanding(), 0);

        view()->selectAll();
        view()->removeSelectedImages();
        const QUrl other = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("Other")));
        QVERIFY(QDir().mkpath(other.toLocalFile()));
        startRun(other);
        settle();
        QCOMPARE(view()->outputDirectory(), other);
        m_desktop->store->flush();
        QVERIFY(readBookmarks(databasePath()).contains(other.toLocalFile()));
        QCOMPARE(m_desktop->revealer->revealed, QList<QUrl>{m_out}); // the first run's only
    }

    // Outcomes find their entries by URL once rows have moved; a removed
    // entry takes nothing, nor does one added again (it is waiting); the
    // folder is shown once, after every job has ended.
    void removalAndReaddingDuringRun()
    {
        const QList<QUrl> urls{heic(QStringLiteral("A.heic")), broken(QStringLiteral("B.heic")),
                               heic(QStringLiteral("C.heic")), broken(QStringLiteral("D.heic"))};
        add(urls);
        startRun(m_out);
        view()->setSelectedFiles({urls[0], urls[2]});
        view()->removeSelectedImages(); // B and D move up to rows 0 and 1
        add({urls[0]});
        settle();
        QCOMPARE(files().at(0).url, urls[1]);
        QCOMPARE(files().at(2).url, urls[0]);
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{E, E, W}));
        QCOMPARE(view()->completedConversions(), 4);
        QCOMPARE(m_desktop->revealer->revealed, QList<QUrl>{m_out});
        QCOMPARE(m_outstandingAtReveal, QList<qint64>{0});
    }

    void filesAddedDuringRunStayWaitingAndPreventTheReveal()
    {
        add({heic(QStringLiteral("A.heic")), heic(QStringLiteral("B.heic"))});
        startRun(m_out);
        add({heic(QStringLiteral("late.heic"))});
        QVERIFY(view()->handleDrop({heic(QStringLiteral("dropped.HEIC"))}));
        settle();
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{S, S, W, W}));
        QCOMPARE(view()->completedConversions(), 2);
        QVERIFY(m_desktop->revealer->revealed.isEmpty());
    }

    // The earlier run's outcomes still count after the reset; the folder is
    // shown once, after the last job of both runs.
    void secondRunWhileJobsAreOutRevealsOnceAtTheEnd()
    {
        add({heic(QStringLiteral("A.heic")), heic(QStringLiteral("B.heic")), broken(QStringLiteral("C.heic"))});
        startRun(m_out);
        startRun(m_out);
        QCOMPARE(view()->jobsOutstanding(), 6);
        settle();
        QCOMPARE(statusesOf(files()), (QList<ImageStatus>{S, S, E}));
        QCOMPARE(view()->completedConversions(), 6);
        QCOMPARE(m_desktop->revealer->revealed, QList<QUrl>{m_out});
        QCOMPARE(m_outstandingAtReveal, QList<qint64>{0});
    }

    // QtGui's raster painting waits on tasks in Qt's global pool; a run
    // queued there would hold every painted frame until it ended.
    void runLeavesQtsGlobalPoolFree()
    {
        QList<QUrl> urls;
        for (int i = 0; i < 8; ++i)
            urls << heic(QStringLiteral("IMG_%1.HEIC").arg(i));
        add(urls);
        startRun(m_out);
        QVERIFY(QThreadPool::globalInstance()->tryStart([] {}));
        settle();
        QCOMPARE(statusesOf(files()), repeated(S, 8));
    }

    void viewDestroyedWhileJobsAreOut()
    {
        add({heic(QStringLiteral("A.heic")), heic(QStringLiteral("B.heic"))});
        startRun(m_out);
        m_desktop->view.reset();
        conversionPool()->waitForDone();
        QCoreApplication::processEvents(); // outcomes for the gone view arrive here
        QVERIFY(isJpegOfFixtureSize(outPath(QStringLiteral("A.jpg"))));
    }
};

QTEST_MAIN(ConversionRunTest)
#include "test_conversion_run.moc"
