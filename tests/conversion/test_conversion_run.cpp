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

// A fake desktop, its input files (a sample HEIC each, or for a name starting "bad" a text file) and the output folder Out.
struct Run {
    QTemporaryDir dir;
    FakeDesktop desktop;
    ContentView& view = *desktop.view;
    const QUrl out = QUrl::fromLocalFile(dir.filePath("Out"));
    int starts = 0, held = 0;
    QList<qint64> outstandingAtReveal;
    QSemaphore gate;

    Run()
    {
        desktop.revealer->onReveal = [this] { outstandingAtReveal << view.run()->progress().outstanding; };
    }
    ~Run() { finish(); }

    QUrl in(const QString& name) const { return QUrl::fromLocalFile(dir.filePath("in/" + name)); }
    QUrl file(const QString& name)
    {
        const QString path = in(name).toLocalFile();
        const QString sample = name.startsWith("bad") ? "README.md"
            : name.startsWith("exif")                 ? "exif-ii-orientation-3.heic"
            : name.startsWith("hdr")                  ? "gainmap-misplaced.heic"
                                                      : "odd-size.heic";
        if (!QDir().mkpath(QFileInfo(path).path()) || (!QFile::exists(path) && !QFile::copy(TESSAVO_TEST_DATA "/" + sample, path)))
            qFatal("cannot write %s", qPrintable(path));
        return in(name);
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
    void play(const QString& script)
    {
        const std::map<QString, std::function<void()>> steps{{"start", [this] { start(); }}, {"hold", [this] { hold(); }},
            {"finish", [this] { finish(); }}, {"settle", [this] { settle(); }}, {"cancel", [this] { view.run()->cancel(); }},
            {"outcomes-in", [this] { QTRY_COMPARE(view.run()->progress().outstanding, 3); }},
            {"drop", [this] { view.intake()->drop({file("late.HEIC")}); }},
            {"remove-A-C",
                [this] { view.selection()->replace(QSet<QUrl>() << in("A.heic") << in("C.heic")), view.removeSelectedImages(); }},
            {"add-A", [this] { add({"A.heic"}); }},
            {"dialog-cancelled",
                [this] {
                    view.run()->start();
                    QCOMPARE(view.run()->outputDirectory(), out);
                }},
            {"start-without-url", [this] {
                 desktop.folders->answers << FolderChoice{true, {}};
                 view.run()->start();
                 QVERIFY(view.run()->outputDirectory().isEmpty());
             }}};
        for (const QString& step : script.split(u' ', Qt::SkipEmptyParts))
            steps.at(step)();
    }
};

// Each case: name, files, steps; then the list, summary, counter, reveals of Out (each once all jobs were in), what Out holds.
using Case = std::tuple<const char*, QStringList, const char*, const char*, const char*, qint64, int, QStringList>;

const QStringList abc{"A.heic", "bad.heic", "C.heic"}, ac{"A.jpg", "C.jpg"};
const char *const converted = "A.heic:S bad.heic:E C.heic:S", *const waiting = "A.heic:W bad.heic:W C.heic:W";
const char *const twoOne = "2 converted, 1 failed", *const cancelled = "Cancelled: 0 of 3 converted";

const Case cases[] = {{"good and bad files", abc, "start settle", converted, twoOne, 3, 1, ac},
    {"a second run while jobs are out", abc, "start finish hold start outcomes-in settle", converted, twoOne, 6, 1, ac},
    {"a file dropped during a run", abc, "hold start drop settle", "A.heic:S bad.heic:E C.heic:S late.HEIC:W", twoOne, 3, 0, ac},
    {"removal and re-adding during a run", abc, "hold start remove-A-C add-A settle", "bad.heic:E A.heic:W", twoOne, 3, 1, ac},
    {"cancel after an earlier run's outcomes came in", abc, "start finish hold start outcomes-in cancel settle", waiting, cancelled, 3, 0,
        ac},
    {"cancel before any job starts", abc, "hold start cancel settle", waiting, cancelled, 0, 0, {}},
    {"a run after a cancel and a whole run", abc, "hold start cancel settle start settle start settle", converted, twoOne, 3, 2, ac},
    {"a cancelled folder dialog", abc, "start settle dialog-cancelled", converted, twoOne, 3, 1, ac},
    {"a folder confirmed without a URL", abc, "start settle start-without-url", converted, twoOne, 0, 1, ac},
    {"an empty list", {}, "start settle", "", "", 0, 0, {}},
    {"one name in two folders", {"a/IMG_1.HEIC", "b/IMG_1.HEIC"}, "start settle", "IMG_1.HEIC:S IMG_1.HEIC:S", "2 converted", 2, 1,
        {"IMG_1 (2).jpg", "IMG_1.jpg"}}};

} // namespace

class ConversionRunTest : public QObject {
    Q_OBJECT
private slots:
    void runStates_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(cases)); ++row)
            QTest::newRow(std::get<0>(cases[row])) << row;
    }

    void runStates()
    {
        QFETCH(int, row);
        const auto& [name, files, script, list, summary, completed, reveals, jpegs] = cases[row];
        Run r;
        r.add(files);
        r.play(script);
        QCOMPARE(listed(*r.view.droppedFiles()), list);
        QCOMPARE(r.view.run()->progress().completed, completed);
        QCOMPARE(r.view.run()->summary(), summary);
        QCOMPARE(r.desktop.revealer->revealed, QList<QUrl>(reveals, r.out));
        QCOMPARE(r.outstandingAtReveal, QList<qint64>(reveals, 0));
        QCOMPARE(r.desktop.bookmarks->saved.count(r.out), r.starts);
        QCOMPARE(QDir(r.out.toLocalFile()).entryList(QDir::Files | QDir::Hidden, QDir::Name), jpegs);
        for (const QString& jpeg : jpegs)
            QCOMPARE(QImage(r.out.toLocalFile() + u'/' + jpeg).size(), QSize(33, 17));
    }

    // The preferences as a run starts decide its JPEG's date and file time, a change waits for the next; the row opens that
    // JPEG. A converted row tells why its HDR was not kept; a later run that did not ask says nothing.
    void keepsMetadataAndHdrWhenAsked()
    {
        Run r;
        r.add({"exif.heic", "hdr.heic"});
        const QDateTime taken(QDate(2020, 1, 2), QTime(3, 4, 5));
        QFile photo(r.view.droppedFiles()->at(0).url.toLocalFile());
        QVERIFY(photo.open(QIODevice::Append) && photo.setFileTime(taken, QFileDevice::FileModificationTime));
        for (const bool keep : {true, false}) {
            r.desktop.preferences->values["Options/keepMetadata"] = keep;
            r.desktop.preferences->values["Options/keepHdr"] = keep;
            r.play("hold start");
            r.view.run()->setKeepMetadata(!keep);
            r.settle();
            QFile jpeg(r.out.toLocalFile() + "/exif.jpg");
            QVERIFY(jpeg.open(QIODevice::ReadOnly));
            QCOMPARE(jpeg.readAll().contains("2024:01:02 03:04:05"), keep);
            QCOMPARE(QFileInfo(jpeg).lastModified() == taken, keep);
            QVERIFY(r.view.openConverted(QUrl::fromLocalFile(photo.fileName())) &&
                r.desktop.opener->opened.last() == QUrl::fromLocalFile(jpeg.fileName()));
            const QModelIndex hdr = r.view.droppedFiles()->index(1);
            QCOMPARE(hdr.data(FileListModel::StatusRole).value<ImageStatus>(), ImageStatus::Success);
            QCOMPARE(hdr.data(FileListModel::NoteTextRole).toString(),
                keep ? "HDR not kept: it does not fit the photo: 96x128 beside 256x192" : "");
        }
    }

    // A folder added (twice) keeps its shape under Out, a photo added alone and again through its folder is at the top, once;
    // every folder written into is remembered. Beside the originals no folder is asked for, and the first photo's is shown.
    void foldersKeepTheirShape()
    {
        Run r;
        r.add({"DCIM/100APPLE/IMG_1.heic"});
        r.file("DCIM/101APPLE/deep/IMG_1.heic");
        r.desktop.folders->answers << FolderChoice{true, r.in("DCIM")} << FolderChoice{true, r.in("DCIM")};
        r.view.intake()->pickFolder();
        r.view.intake()->pickFolder();
        QTRY_VERIFY(!r.view.intake()->busy());
        r.play("start settle");
        QCOMPARE(r.view.run()->summary(), "2 converted; 3 folders made");
        QCOMPARE(r.view.droppedFiles()->index(0).data(FileListModel::DestinationRole).toString(), "IMG_1.jpg");
        QCOMPARE(r.view.droppedFiles()->index(1).data(FileListModel::DestinationRole).toString(), "DCIM/101APPLE/deep/IMG_1.jpg");
        for (const char* folder : {"", "/DCIM/101APPLE/deep"})
            QVERIFY(QFile::exists(r.out.toLocalFile() + folder + "/IMG_1.jpg") &&
                r.desktop.bookmarks->saved.contains(QUrl::fromLocalFile(r.out.toLocalFile() + folder)));
        r.view.run()->setBesideOriginals(true);
        r.view.run()->start();
        r.settle();
        QCOMPARE(r.desktop.revealer->revealed.last(), r.in("DCIM/100APPLE"));
        for (const char* jpeg : {"in/DCIM/100APPLE/IMG_1.jpg", "in/DCIM/101APPLE/deep/IMG_1.jpg"})
            QVERIFY2(QFile::exists(r.dir.filePath(jpeg)), jpeg);
    }
};

QTEST_MAIN(ConversionRunTest)
#include "test_conversion_run.moc"
