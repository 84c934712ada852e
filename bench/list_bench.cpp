// Intake and run figures for a long list, with the real window loaded
// offscreen, the real SQLite bookmark store and scripted dialogs:
//   (a) adding N files through the picker, (b) dropping N files, each
//   followed by a second add of the same N plus 100 new ones; (c) a run over
//   N small HEICs, reporting the longest event-loop stall.
//
//   cmake -S . -B build-list && cmake --build build-list -j2 --target list_bench
//   build-list/bench/list_bench [N]          (default 10000)
//
// Exits non-zero when order, de-duplication, bookmarks or outcomes are wrong.
#include "bookmark_rows.h"
#include "fake_platform.h"
#include "test_files.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <memory>

#include <unistd.h>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

using namespace tessavo;
using namespace tessavo::testing;

namespace {

int failures = 0;

void check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("  FAILED: %s\n", what);
        ++failures;
    }
}

// Runs the event loop until everything posted so far, and whatever that
// posts in turn, has been handled.
void drain()
{
    for (int round = 0; round < 3; ++round) {
        bool reached = false;
        QMetaObject::invokeMethod(qApp, [&reached] { reached = true; }, Qt::QueuedConnection);
        while (!reached)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// A ContentView on scripted dialogs and a fresh store, shown in Main.qml.
struct Window {
    FakeDesktop desktop;
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;

    explicit Window(const QString& databasePath) : desktop(databasePath)
    {
        engine.setInitialProperties({{QStringLiteral("contentView"), QVariant::fromValue(desktop.view.get())}});
        engine.load(QUrl(QStringLiteral("qrc:/Tessavo/Main.qml")));
        if (!engine.rootObjects().isEmpty())
            window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
        drain();
    }
    ~Window() { qDeleteAll(engine.rootObjects()); }

    QList<QUrl> listed() const
    {
        QList<QUrl> urls;
        for (const FileEntry& entry : desktop.view->droppedFiles()->entries())
            urls << entry.url;
        return urls;
    }
};

// Records the longest gap between turns of a 5 ms heartbeat.
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
        });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.start(5);
        m_clock.start();
    }
    double maxMs() const { return m_max / 1e6; }
    int over50() const { return m_over50; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_max = 0;
    int m_over50 = 0;
};

double msSince(const QElapsedTimer& clock)
{
    return clock.nsecsElapsed() / 1e6;
}

// `first` then `first` again with `extra` spread through it: only the extra
// ones may join, at the end, in their order.
void measureIntake(const char* label, const QString& databasePath, const QList<QUrl>& first,
                   const QList<QUrl>& extra, bool byDrop)
{
    Window shown(databasePath);
    check(shown.window != nullptr, "window loaded");
    QList<QUrl> second;
    const qsizetype stride = first.size() / std::max<qsizetype>(1, extra.size());
    for (qsizetype i = 0, e = 0; i < first.size(); ++i) {
        second << first[i];
        if (e < extra.size() && i % stride == stride - 1)
            second << extra[e++];
    }

    auto add = [&](const QList<QUrl>& urls) {
        QElapsedTimer clock;
        clock.start();
        if (byDrop) {
            shown.desktop.view->handleDrop(urls);
        } else {
            shown.desktop.files->answers = {urls};
            shown.desktop.view->addImages();
        }
        const double returned = msSince(clock);
        drain();
        return std::pair{returned, msSince(clock)};
    };

    const auto [firstCall, firstTotal] = add(first);
    check(shown.listed() == first, "first add lists every file once, in order");
    const auto [secondCall, secondTotal] = add(second);
    check(shown.listed() == first + extra, "second add appends only the new files, in order");
    shown.desktop.store->flush();
    check(readBookmarks(databasePath).size() == first.size() + extra.size(), "one bookmark per listed file");
    std::printf("%-16s %6lld files: %8.1f ms (call %.1f ms) | again +%lld new: %8.1f ms (call %.1f ms)\n", label,
                qlonglong(first.size()), firstTotal, firstCall, qlonglong(extra.size()), secondTotal, secondCall);
}

void measureRun(const QString& databasePath, const QList<QUrl>& sources, const QString& outputFolder)
{
    Window shown(databasePath);
    check(shown.window != nullptr, "window loaded");
    shown.desktop.files->answers = {sources};
    shown.desktop.view->addImages();
    drain();
    shown.desktop.folders->answers = {FolderChoice{true, QUrl::fromLocalFile(outputFolder)}};

    QElapsedTimer clock;
    clock.start();
    StallMeter meter;
    double callMs = 0;
    QTimer::singleShot(20, [&] {
        QElapsedTimer call;
        call.start();
        shown.desktop.view->convertToJPEG();
        callMs = msSince(call);
    });
    while (shown.desktop.revealer->revealed.isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double totalMs = msSince(clock);

    int converted = 0;
    for (const FileEntry& entry : shown.desktop.view->droppedFiles()->entries())
        converted += entry.status == ImageStatus::Success;
    check(converted == sources.size(), "every entry converted");
    check(QDir(outputFolder).entryList(QDir::Files).size() == sources.size(), "one JPEG per entry");
    std::printf("%-16s %6lld files: %8.1f ms (convertToJPEG call %.1f ms) | longest stall %.1f ms, "
                "stalls over 50 ms: %d\n",
                "run", qlonglong(sources.size()), totalMs, callMs, meter.maxMs(), meter.over50());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000;
    const int extra = 100;

    QTemporaryDir scratch;
    const QString sourceDir = scratch.filePath(QStringLiteral("sources"));
    QDir().mkpath(sourceDir);
    const QString model = scratch.filePath(QStringLiteral("model.heic"));
    if (!writeHeic(model)) {
        std::printf("cannot write a HEIC into %s\n", qPrintable(scratch.path()));
        return 2;
    }
    // Distinct names over one file's content: the list and the store key on paths.
    QList<QUrl> first;
    QList<QUrl> added;
    for (int i = 0; i < count + extra; ++i) {
        const QString path = QStringLiteral("%1/IMG_%2.HEIC").arg(sourceDir).arg(i, 5, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(model).constData(), QFile::encodeName(path).constData()) != 0
            && !QFile::copy(model, path))
            return 2;
        (i < count ? first : added) << QUrl::fromLocalFile(path);
    }

    measureIntake("add by picker", scratch.filePath(QStringLiteral("picker.sqlite")), first, added, false);
    measureIntake("add by drop", scratch.filePath(QStringLiteral("drop.sqlite")), first, added, true);
    const QString out = scratch.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    measureRun(scratch.filePath(QStringLiteral("run.sqlite")), first, out);
    return failures == 0 ? 0 : 1;
}
