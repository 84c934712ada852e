#include "conversion/job_runner.h"
#include "fake_desktop.h"

#include <QDir>
#include <QImage>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace tessavo;
using namespace tessavo::testsupport;

namespace {

// One case: a fake desktop, its input files (a sample HEIC each, or for a
// name starting "bad" a text file) and the output folder Out.
struct Run {
    QTemporaryDir dir;
    FakeDesktop desktop;
    ContentView& view = *desktop.view;
    const QUrl out = QUrl::fromLocalFile(dir.filePath("Out"));
    int starts = 0;
    QList<qint64> outstandingAtReveal;
    QSemaphore gate;
    int held = 0;

    Run()
    {
        desktop.revealer->onReveal = [this] { outstandingAtReveal << view.run()->progress().outstanding; };
    }
    ~Run() { finish(); }

    QUrl file(const QString& name)
    {
        const QString path = dir.filePath("in/" + name);
        const QString sample = name.startsWith("bad") ? "README.md"
            : name.startsWith("exif")                 ? "exif-ii-orientation-3.heic"
            : name.startsWith("hdr")                  ? "gainmap-misplaced.heic"
                                                      : "odd-size.heic";
        if (!QDir().mkpath(QFileInfo(path).path()) || !QFile::copy(TESSAVO_TEST_DATA "/" + sample, path))
            qFatal("cannot write %s", qPrintable(path));
        return QUrl::fromLocalFile(path);
    }
    void add(const QStringList& names)
    {
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << file(name);
        desktop.files->answers << urls;
        view.intake()->pick();
        QTRY_VERIFY(!view.intake()->busy()); // a turn of the intake may end before the list does
    }
    void start()
    {
        ++starts;
        desktop.folders->answers << FolderChoice{true, out};
        view.run()->start();
    }
    // Every worker of the pool waits until finish(), so no job starts before.
    void hold()
    {
        for (held = 0; held < conversionPool()->maxThreadCount(); ++held)
            conversionPool()->start([this] { gate.acquire(); });
    }
    // Every job scheduled so far ends; their outcomes wait for the event loop.
    void finish()
    {
        gate.release(std::exchange(held, 0));
        conversionPool()->waitForDone();
    }
    void settle()
    {
        finish();
        QTRY_VERIFY_WITH_TIMEOUT(view.run()->progress().outstanding == 0 && !view.intake()->busy(), 30000);
    }
};

// Afterwards: the list, the summary, the counter, the reveals of Out (each
// once every job was in) and what Out holds.
struct Case {
    const char* name;
    QStringList files;
    void (*script)(Run&);
    const char *listed, *summary;
    qint64 completed;
    int reveals;
    QStringList jpegs;
};

const QStringList abc{"A.heic", "bad.heic", "C.heic"};
const QStringList ac{"A.jpg", "C.jpg"};
const char* const converted = "A.heic:S bad.heic:E C.heic:S";

const Case cases[] = {
    {"good and bad files", abc,
        [](Run& r) {
            r.start();
            r.settle();
        },
        converted, "2 converted, 1 failed", 3, 1, ac},
    {"a second run while jobs are out", abc,
        [](Run& r) {
            r.start();
            r.finish();
            r.hold();
            r.start();
            QTRY_COMPARE(r.view.run()->progress().outstanding, 3); // the first run's outcomes are in
            r.settle();
        },
        converted, "2 converted, 1 failed", 6, 1, ac},
    {"a file dropped during a run", abc,
        [](Run& r) {
            r.hold();
            r.start();
            r.view.intake()->drop({r.file("late.HEIC")});
            r.settle();
        },
        "A.heic:S bad.heic:E C.heic:S late.HEIC:W", "2 converted, 1 failed", 3, 0, ac},
    {"removal and re-adding during a run", abc,
        [](Run& r) {
            r.hold();
            r.start();
            const QUrl a = r.view.droppedFiles()->at(0).url;
            r.view.selection()->replace({a, r.view.droppedFiles()->at(2).url});
            r.view.removeSelectedImages();
            r.desktop.files->answers << QList<QUrl>{a};
            r.view.intake()->pick();
            r.settle();
        },
        "bad.heic:E A.heic:W", "2 converted, 1 failed", 3, 1, ac},
    {"cancel after an earlier run's outcomes came in", abc,
        [](Run& r) {
            r.start();
            r.finish();
            r.hold();
            r.start();
            QTRY_COMPARE(r.view.run()->progress().outstanding, 3);
            r.view.run()->cancel();
            r.settle();
        },
        "A.heic:W bad.heic:W C.heic:W", "Cancelled: 0 of 3 converted", 3, 0, ac},
    {"cancel before any job starts", abc,
        [](Run& r) {
            r.hold();
            r.start();
            r.view.run()->cancel();
            r.settle();
        },
        "A.heic:W bad.heic:W C.heic:W", "Cancelled: 0 of 3 converted", 0, 0, {}},
    {"a run after a cancel and a whole run", abc,
        [](Run& r) {
            r.hold();
            r.start();
            r.view.run()->cancel();
            r.settle();
            r.start();
            r.settle();
            r.start();
            r.settle();
        },
        converted, "2 converted, 1 failed", 3, 2, ac},
    {"a cancelled folder dialog", abc,
        [](Run& r) {
            r.start();
            r.settle();
            r.view.run()->start();
            QCOMPARE(r.view.run()->outputDirectory(), r.out);
        },
        converted, "2 converted, 1 failed", 3, 1, ac},
    {"a folder confirmed without a URL", abc,
        [](Run& r) {
            r.start();
            r.settle();
            r.desktop.folders->answers << FolderChoice{true, {}};
            r.view.run()->start();
            QVERIFY(r.view.run()->outputDirectory().isEmpty());
        },
        converted, "2 converted, 1 failed", 0, 1, ac},
    {"an empty list", {},
        [](Run& r) {
            r.start();
            r.settle();
        },
        "", "", 0, 0, {}},
    {"one name in two folders", {"a/IMG_1.HEIC", "b/IMG_1.HEIC"},
        [](Run& r) {
            r.start();
            r.settle();
        },
        "IMG_1.HEIC:S IMG_1.HEIC:S", "2 converted", 2, 1, {"IMG_1 (2).jpg", "IMG_1.jpg"}},
};

} // namespace

class ConversionRunTest : public QObject {
    Q_OBJECT
private slots:
    void runStates_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(cases)); ++row)
            QTest::newRow(cases[row].name) << row;
    }

    void runStates()
    {
        QFETCH(int, row);
        const Case& c = cases[row];
        Run r;
        r.add(c.files);
        c.script(r);
        QCOMPARE(listed(*r.view.droppedFiles()), c.listed);
        QCOMPARE(r.view.run()->progress().completed, c.completed);
        QCOMPARE(r.view.run()->summary(), c.summary);
        QCOMPARE(r.desktop.revealer->revealed, QList<QUrl>(c.reveals, r.out));
        QCOMPARE(r.outstandingAtReveal, QList<qint64>(c.reveals, 0));
        QCOMPARE(r.desktop.bookmarks->saved.count(r.out), r.starts);
        QStringList written = QDir(r.out.toLocalFile()).entryList(QDir::Files | QDir::Hidden);
        written.sort();
        QCOMPARE(written, c.jpegs);
        for (const QString& jpeg : c.jpegs)
            QCOMPARE(QImage(r.out.toLocalFile() + u'/' + jpeg).size(), QSize(33, 17));
    }

    // The preference as a run starts decides its JPEG's date and modification
    // time; a change during the run waits for the next. The row opens that JPEG.
    void keepsMetadataWhenAsked()
    {
        Run r;
        r.add({"exif.heic"});
        const QDateTime taken(QDate(2020, 1, 2), QTime(3, 4, 5));
        QFile photo(r.view.droppedFiles()->at(0).url.toLocalFile());
        QVERIFY(photo.open(QIODevice::Append) && photo.setFileTime(taken, QFileDevice::FileModificationTime));
        for (const bool keep : {true, false}) {
            r.desktop.preferences->values["Options/keepMetadata"] = keep;
            r.hold();
            r.start();
            r.view.run()->setKeepMetadata(!keep);
            r.settle();
            QFile jpeg(r.out.toLocalFile() + "/exif.jpg");
            QVERIFY(jpeg.open(QIODevice::ReadOnly));
            QCOMPARE(jpeg.readAll().contains("2024:01:02 03:04:05"), keep);
            QCOMPARE(QFileInfo(jpeg).lastModified() == taken, keep);
            QVERIFY(r.view.openConverted(QUrl::fromLocalFile(photo.fileName())) &&
                r.desktop.opener->opened.last() == QUrl::fromLocalFile(jpeg.fileName()));
        }
    }

    // A folder added (twice) comes out as a folder under the output folder; a photo added alone, and
    // again through its folder, once, at the top. Each row tells where its JPEG goes, the summary how
    // many folders were made, and every folder written into is remembered. Beside the originals no
    // folder is asked for, and the first photo's is shown.
    void foldersKeepTheirShape()
    {
        Run r;
        r.add({"DCIM/100APPLE/IMG_1.heic"});
        r.file("DCIM/101APPLE/deep/IMG_1.heic");
        for (int twice = 0; twice < 2; ++twice) {
            r.desktop.folders->answers << FolderChoice{true, QUrl::fromLocalFile(r.dir.filePath("in/DCIM"))};
            r.view.intake()->pickFolder();
        }
        QTRY_VERIFY(!r.view.intake()->busy());
        r.start();
        r.settle();
        QCOMPARE(r.view.run()->summary(), "2 converted; 3 folders made");
        QStringList destinations;
        for (int row = 0; row < r.view.droppedFiles()->count(); ++row)
            destinations << r.view.droppedFiles()->index(row).data(FileListModel::DestinationRole).toString();
        QCOMPARE(destinations, QStringList({"IMG_1.jpg", "DCIM/101APPLE/deep/IMG_1.jpg"}));
        for (const char* folder : {"", "/DCIM/101APPLE/deep"})
            QVERIFY(QFile::exists(r.out.toLocalFile() + folder + "/IMG_1.jpg") &&
                r.desktop.bookmarks->saved.contains(QUrl::fromLocalFile(r.out.toLocalFile() + folder)));
        r.view.run()->setBesideOriginals(true);
        r.view.run()->start();
        r.settle();
        QCOMPARE(r.desktop.revealer->revealed.last(), QUrl::fromLocalFile(r.dir.filePath("in/DCIM/100APPLE")));
        for (const char* jpeg : {"in/DCIM/100APPLE/IMG_1.jpg", "in/DCIM/101APPLE/deep/IMG_1.jpg"})
            QVERIFY2(QFile::exists(r.dir.filePath(jpeg)), jpeg);
    }

    // A row tells why its photo's HDR was not kept, in grey beside a
    // converted status; a later run that did not ask says nothing.
    void saysWhyHdrWasNotKept()
    {
        Run r;
        r.add({"hdr.heic"});
        for (const bool keep : {true, false}) {
            r.desktop.preferences->values["Options/keepHdr"] = keep;
            r.start();
            r.settle();
            const QModelIndex row = r.view.droppedFiles()->index(0);
            QCOMPARE(row.data(FileListModel::StatusRole).value<ImageStatus>(), ImageStatus::Success);
            QCOMPARE(row.data(FileListModel::NoteTextRole).toString(),
                keep ? "HDR not kept: it does not fit the photo: 96x128 beside 256x192" : "");
        }
    }
};

QTEST_MAIN(ConversionRunTest)
#include "test_conversion_run.moc"
