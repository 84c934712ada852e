// Intake and run figures for a long list, with the real window (offscreen,
// or on a display with QT_QPA_PLATFORM=xcb), the real SQLite bookmark store
// and scripted dialogs:
//   (a) adding N files through the picker, (b) dropping N files, (b') a
//   folder of N files, each followed by a second add of the same N plus 100
//   new ones, with the window's longest event-loop stall; (c) runs over
//   the N files in the window and through tessavo-convert with as many jobs,
//   interleaved, with the window's longest event-loop stall and the CPU
//   time its GUI thread spent; (d) Cancel 200 ms into a run.
//
//   cmake -S . -B build-list && cmake --build build-list -j2 --target list_bench
//   build-list/bench/list_bench [N] [ROUNDS]               N small HEICs (default 10000, 2 rounds)
//   build-list/bench/list_bench --photos DIR [N] [ROUNDS]  N links to the photos in DIR (default 40)
//
// TESSAVO_CONVERT names another tessavo-convert to compare with. Figures go
// to standard output; the conversion lines of both runs are
// discarded. Exits non-zero when order, de-duplication, bookmarks or
// outcomes are wrong.
#include "app/console.h"
#include "conversion/core/base/owners.h"
#include "conversion/job_runner.h"
#include "fake_desktop.h"
#include "platform/bookmark_store.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <numeric>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

using namespace tessavo;
using namespace tessavo::testsupport;

namespace {

int failures = 0;
// Standard output as it was at start; file descriptor 1 is pointed at
// /dev/null so the jobs' lines do not mix with the figures.
FILE* results = stdout;

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(results, "  FAILED: %s\n", what);
        ++failures;
    }
}

// Runs the event loop until everything posted so far, and whatever that
// posts in turn, has been handled.
void drain()
{
    for (int round = 0; round < 3; ++round) {
        bool reached = false;
        QMetaObject::invokeMethod(
            qApp, [&reached] { reached = true; }, Qt::QueuedConnection);
        while (!reached)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// Main.qml on fake dialogs, a fresh SQLite store, and the conversion lines
// on standard output.
struct Window : FakeDesktop {
    SqliteBookmarkStore* store; // flush() before reading its file
    ContentView& view = *FakeDesktop::view;
    QQuickWindow* window = show();

    explicit Window(const QString& databasePath) : Window(new SqliteBookmarkStore(printLine, databasePath)) { drain(); }

    QList<QUrl> listed() const
    {
        QList<QUrl> urls;
        for (const FileEntry& entry : view.droppedFiles()->entries())
            urls << entry.url;
        return urls;
    }

private:
    explicit Window(SqliteBookmarkStore* store) : FakeDesktop(std::unique_ptr<BookmarkStore>(store), printLine), store(store) { }
};

// Rows in the store, read back as the application never does.
qsizetype bookmarkCount(const QString& databasePath)
{
    qsizetype rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-reader"));
        db.setDatabaseName(databasePath);
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT COUNT(*) FROM bookmarks")) && query.next())
            rows = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-reader"));
    return rows;
}

// A small HEIC (a grid of four 64x64 tiles) for the list's files to link to.
bool writeModelHeic(const QString& path) { return QFile::copy(QStringLiteral(TESSAVO_TEST_DATA "/phone-grid.heic"), path); }

// Records the longest gap between turns of a 5 ms heartbeat, and the most
// CPU time the GUI thread spent between two turns: on a loaded machine the
// gap also holds time the thread waited for a core.
class StallMeter {
public:
    StallMeter()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 gap = m_clock.nsecsElapsed() - m_last;
            m_last += gap;
            m_max = std::max(m_max, gap);
            if (gap > 50'000'000)
                ++m_over50;
            const qint64 cpu = cpuNs();
            m_maxCpu = std::max(m_maxCpu, cpu - m_lastCpu);
            m_lastCpu = cpu;
        });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.start(5);
        m_clock.start();
    }
    double maxMs() const { return m_max / 1e6; }
    double maxCpuMs() const { return m_maxCpu / 1e6; }
    int over50() const { return m_over50; }

private:
    static qint64 cpuNs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_max = 0;
    qint64 m_lastCpu = cpuNs();
    qint64 m_maxCpu = 0;
    int m_over50 = 0;
};

double msSince(const QElapsedTimer& clock) { return clock.nsecsElapsed() / 1e6; }

// Runs the event loop, as the application does, until every offering so far is in the list.
void settle(ContentView& view)
{
    drain();
    while (view.intake()->busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    drain();
}

enum class Offer { Picker, Drop, Folder };

// `first` then `first` again with `extra` spread through it: only the extra
// ones may join, at the end, in their order. A folder is offered whole
// (`folder` holds `first`), and then again with `extra` beside it.
void measureIntake(const char* label, const QString& databasePath, const QList<QUrl>& first, const QList<QUrl>& extra, Offer how,
    const QString& folder = {})
{
    Window shown(databasePath);
    check(shown.window != nullptr, "window loaded");
    QList<QUrl> second;
    const qsizetype stride = first.size() / std::max<qsizetype>(1, extra.size());
    for (qsizetype i = 0, e = 0; how != Offer::Folder && i < first.size(); ++i) {
        second << first[i];
        if (e < extra.size() && i % stride == stride - 1)
            second << extra[e++];
    }
    if (how == Offer::Folder)
        second = QList<QUrl>{QUrl::fromLocalFile(folder)} + extra;

    auto add = [&](const QList<QUrl>& urls, bool again) {
        StallMeter meter;
        QElapsedTimer clock;
        clock.start();
        if (how == Offer::Drop || (how == Offer::Folder && again)) {
            shown.view.intake()->drop(urls);
        } else if (how == Offer::Folder) {
            shown.folders->answers = {FolderChoice{true, QUrl::fromLocalFile(folder)}};
            shown.view.intake()->pickFolder();
        } else {
            shown.files->answers = {urls};
            shown.view.intake()->pick();
        }
        const double returned = msSince(clock);
        settle(shown.view);
        return std::tuple{returned, msSince(clock), meter.maxMs(), meter.maxCpuMs()};
    };

    const auto [firstCall, firstTotal, firstStall, firstBusy] = add(first, false);
    check(shown.listed() == first, "first add lists every file once, in order");
    const auto [secondCall, secondTotal, secondStall, secondBusy] = add(second, true);
    check(shown.listed() == first + extra, "second add appends only the new files, in order");
    check(shown.view.intakeNotice() == QStringLiteral("%1 files already listed").arg(QLocale().toString(first.size())),
        "one notice of the files listed already");
    shown.store->flush();
    check(bookmarkCount(databasePath) == first.size() + extra.size(), "one bookmark per listed file");
    std::fprintf(results,
        "%-16s %6lld files: %8.1f ms (call %.1f ms, longest stall %.1f ms, busy %.1f ms) | again +%lld new: "
        "%8.1f ms (call %.1f ms, longest stall %.1f ms, busy %.1f ms)\n",
        label, qlonglong(first.size()), firstTotal, firstCall, firstStall, firstBusy, qlonglong(extra.size()), secondTotal, secondCall,
        secondStall, secondBusy);
    std::fflush(results);
}

// CPU time of the calling thread, in ms.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// CPU time of this process (RUSAGE_SELF) or of its waited-for children, in ms.
double processCpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct RunFigures {
    double ms = 0;
    double callMs = 0;
    double cpuMs = 0;
    double guiCpuMs = 0;
    double stallMs = 0;
    double stallBusyMs = 0;
    int stallsOver50 = 0;
};

// The window's run from the press of the button to the reveal.
RunFigures windowRun(const QString& databasePath, const QList<QUrl>& sources, const QString& outputFolder)
{
    Window shown(databasePath);
    check(shown.window != nullptr, "window loaded");
    shown.files->answers = {sources};
    shown.view.intake()->pick();
    drain();
    shown.folders->answers = {FolderChoice{true, QUrl::fromLocalFile(outputFolder)}};

    RunFigures figures;
    StallMeter meter;
    QElapsedTimer clock;
    double cpuAtStart = 0;
    double processAtStart = 0;
    // Blocks in the event loop as the application does; a loop of
    // processEvents would spin and take a core from the jobs.
    QEventLoop loop;
    shown.revealer->onReveal = [&loop] { loop.quit(); };
    QTimer::singleShot(20, [&] {
        clock.start();
        cpuAtStart = threadCpuMs();
        processAtStart = processCpuMs(RUSAGE_SELF);
        shown.view.run()->start();
        figures.callMs = msSince(clock);
    });
    loop.exec();
    figures.ms = msSince(clock);
    figures.guiCpuMs = threadCpuMs() - cpuAtStart;
    figures.cpuMs = processCpuMs(RUSAGE_SELF) - processAtStart;
    figures.stallMs = meter.maxMs();
    figures.stallBusyMs = meter.maxCpuMs();
    figures.stallsOver50 = meter.over50();

    int converted = 0;
    for (const FileEntry& entry : shown.view.droppedFiles()->entries())
        converted += entry.status == ImageStatus::Success;
    check(converted == sources.size(), "every entry converted in the window");
    check(QDir(outputFolder).entryList(QDir::Files).size() == sources.size(), "one JPEG per entry");
    return figures;
}

// The same files through tessavo-convert with as many jobs as the window's pool.
struct CliFigures {
    double ms = 0;
    double cpuMs = 0;
};

CliFigures commandLineRun(const QList<QUrl>& sources, const QString& outputFolder, int jobs)
{
    QStringList arguments{QStringLiteral("-j"), QString::number(jobs), QStringLiteral("-o"), outputFolder};
    for (const QUrl& url : sources)
        arguments << url.toLocalFile();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    const double cpuBefore = processCpuMs(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    process.start(qEnvironmentVariable("TESSAVO_CONVERT", QStringLiteral(TESSAVO_CONVERT)), arguments);
    const bool ok = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const CliFigures figures{msSince(clock), processCpuMs(RUSAGE_CHILDREN) - cpuBefore};
    check(ok, "tessavo-convert converted every file");
    check(QDir(outputFolder).entryList(QDir::Files).size() == sources.size(), "one JPEG per file from tessavo-convert");
    return figures;
}

// Cancels a run of the files a little after it starts: how long the button
// takes and how long until the last running job has reported.
void measureCancel(const QString& databasePath, const QList<QUrl>& sources, const QString& outputFolder)
{
    Window shown(databasePath);
    shown.files->answers = {sources};
    shown.view.intake()->pick();
    drain();
    shown.folders->answers = {FolderChoice{true, QUrl::fromLocalFile(outputFolder)}};
    ConversionRun* run = shown.view.run();
    StallMeter meter;
    QEventLoop loop;
    QElapsedTimer clock;
    double callMs = 0;
    QObject::connect(run, &ConversionRun::runChanged, &loop, [&] {
        if (run->state() == RunState::Cancelled)
            loop.quit();
    });
    run->start();
    QTimer::singleShot(200, [&] {
        clock.start();
        run->cancel();
        callMs = msSince(clock);
    });
    loop.exec();
    const double settledMs = msSince(clock);
    qsizetype waiting = 0;
    for (const FileEntry& entry : shown.view.droppedFiles()->entries())
        waiting += entry.status == ImageStatus::Waiting;
    check(run->progress().converted + waiting == sources.size(), "every row converted or waiting again");
    check(shown.revealer->revealed.isEmpty(), "no reveal after Cancel");
    std::fprintf(results,
        "cancel after 200 ms: %lld converted, %lld waiting again | button %.1f ms, settled %.1f ms, "
        "longest stall %.1f ms\n",
        qlonglong(run->progress().converted), qlonglong(waiting), callMs, settledMs, meter.maxMs());
}

// Interleaved rounds, the order swapped each round, so drift of a shared
// machine hits both alike. Outputs stay until the end: deleting thousands of
// files between runs slows the next run's file creation on ext4.
void measureRuns(const QString& scratch, const QList<QUrl>& sources, int rounds)
{
    const int jobs = conversionPool()->maxThreadCount();
    QList<double> windowMs, cliMs;
    for (int round = 1; round <= rounds; ++round) {
        const QString out = QStringLiteral("%1/out-%2").arg(scratch).arg(round);
        QDir().mkpath(out + QStringLiteral("-window"));
        RunFigures window;
        CliFigures cli;
        const auto runWindow = [&] {
            window = windowRun(QStringLiteral("%1/run-%2.sqlite").arg(scratch).arg(round), sources, out + QStringLiteral("-window"));
        };
        const auto runCli = [&] { cli = commandLineRun(sources, out + QStringLiteral("-cli"), jobs); };
        if (round % 2) {
            runWindow();
            runCli();
        } else {
            runCli();
            runWindow();
        }
        windowMs << window.ms;
        cliMs << cli.ms;
        std::fprintf(results,
            "run %d/%d %lld files, %d jobs: window %.1f ms (CPU %.0f ms, GUI thread %.0f ms; button %.1f ms, "
            "longest stall %.1f ms, busy %.1f ms, over 50 ms: %d) | tessavo-convert %.1f ms (CPU %.0f ms) | ratio %.3f\n",
            round, rounds, qlonglong(sources.size()), jobs, window.ms, window.cpuMs, window.guiCpuMs, window.callMs, window.stallMs,
            window.stallBusyMs, window.stallsOver50, cli.ms, cli.cpuMs, window.ms / cli.ms);
        std::fflush(results);
    }
    const double windowSum = std::accumulate(windowMs.begin(), windowMs.end(), 0.0);
    const double cliSum = std::accumulate(cliMs.begin(), cliMs.end(), 0.0);
    std::fprintf(results, "total of %d rounds: window %.1f ms, tessavo-convert %.1f ms, ratio %.3f\n", rounds, windowSum, cliSum,
        windowSum / cliSum);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString photos;
    if (args.size() >= 2 && args[0] == QLatin1String("--photos")) {
        photos = args[1];
        args = args.mid(2);
    }
    const int count = args.size() > 0 ? std::max(1, args[0].toInt()) : photos.isEmpty() ? 10000 : 40;
    const int rounds = args.size() > 1 ? std::max(1, args[1].toInt()) : 2;
    const int extra = 100;

    const int saved = ::dup(STDOUT_FILENO);
    const UniqueFd null = openFd("/dev/null", O_WRONLY);
    if (saved < 0 || !null || ::dup2(null.get(), STDOUT_FILENO) < 0 || !(results = ::fdopen(saved, "w")))
        return 2;

    QTemporaryDir scratch;
    const QString sourceDir = scratch.filePath(QStringLiteral("sources"));
    QDir().mkpath(sourceDir);
    QStringList models;
    if (photos.isEmpty()) {
        models << scratch.filePath(QStringLiteral("model.heic"));
        if (!writeModelHeic(models[0])) {
            std::fprintf(results, "cannot write a HEIC into %s\n", qPrintable(scratch.path()));
            return 2;
        }
    } else {
        for (const QFileInfo& info :
            QDir(photos).entryInfoList({QStringLiteral("*.HEIC"), QStringLiteral("*.heic")}, QDir::Files, QDir::Name))
            models << info.absoluteFilePath();
        if (models.isEmpty()) {
            std::fprintf(results, "no HEIC photos in %s\n", qPrintable(photos));
            return 2;
        }
    }
    // Copies of a few files, not links: tessavo-convert converts one file once, whatever its names.
    QList<QUrl> first;
    QList<QUrl> added;
    for (int i = 0; i < count + extra; ++i) {
        const QString path = QStringLiteral("%1/IMG_%2.HEIC").arg(sourceDir).arg(i, 5, 10, QLatin1Char('0'));
        const QString& model = models[i % models.size()];
        if (!QFile::copy(model, path))
            return 2;
        (i < count ? first : added) << QUrl::fromLocalFile(path);
    }

    if (photos.isEmpty()) {
        measureIntake("add by picker", scratch.filePath(QStringLiteral("picker.sqlite")), first, added, Offer::Picker);
        measureIntake("add by drop", scratch.filePath(QStringLiteral("drop.sqlite")), first, added, Offer::Drop);
        // The same files as links in a folder of their own, which the walk takes in name order.
        const QString folder = scratch.filePath(QStringLiteral("folder"));
        QDir().mkpath(folder);
        QList<QUrl> inFolder;
        for (const QUrl& url : first) {
            const QString path = folder + u'/' + url.fileName();
            if (!QFile::copy(models[0], path))
                return 2;
            inFolder << QUrl::fromLocalFile(path);
        }
        measureIntake("add a folder", scratch.filePath(QStringLiteral("folder.sqlite")), inFolder, added, Offer::Folder, folder);
    }
    measureRuns(scratch.path(), first, rounds);
    if (photos.isEmpty())
        measureCancel(scratch.filePath(QStringLiteral("cancel.sqlite")), first, scratch.filePath(QStringLiteral("out-cancel")));
    return failures == 0 ? 0 : 1;
}
