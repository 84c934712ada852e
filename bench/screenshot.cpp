// Catches the main window in the middle of a real run and saves it as a PNG,
// and the About window too when a third path is given:
//   tessavo_screenshot <main.png> <folder of HEIC photos> [<about.png>]
// The photos are converted for real (into a scratch folder), with one
// damaged file among them; the picture is taken once a few rows are done
// and a few still converting. Run it on a real (or virtual) X display so
// the images show what a user sees.
#include "app/console.h"
#include "fake_desktop.h"
#include "platform/bookmark_store.h"
#include "ui/about_window_host.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

using namespace tessavo;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: tessavo_screenshot <main.png> <photos folder> [<about.png>]\n");
        return 2;
    }
    QTemporaryDir scratch;
    testsupport::FakeDesktop shown(
        std::make_unique<SqliteBookmarkStore>(printLine, scratch.filePath(QStringLiteral("bookmarks.sqlite"))), printLine);
    QQuickWindow* window = shown.show();
    if (!window) {
        std::fprintf(stderr, "tessavo_screenshot: the main window did not load\n");
        return 1;
    }
    window->resize(720, 500);

    QList<QUrl> photos;
    const QString damaged = scratch.filePath(QStringLiteral("Beach at dusk.heic"));
    QFile damagedFile(damaged);
    if (!damagedFile.open(QIODevice::WriteOnly) || damagedFile.write(QByteArray(2048, 'x')) != 2048) {
        std::fprintf(stderr, "tessavo_screenshot: cannot write into %s\n", qPrintable(scratch.path()));
        return 1;
    }
    damagedFile.close();
    photos << QUrl::fromLocalFile(damaged);
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    for (const QString& name : folder.entryList({QStringLiteral("*.HEIC"), QStringLiteral("*.heic")}, QDir::Files, QDir::Name))
        photos << QUrl::fromLocalFile(folder.absoluteFilePath(name));
    if (photos.size() < 8) {
        std::fprintf(stderr, "tessavo_screenshot: %s holds fewer than 7 HEIC photos\n", argv[2]);
        return 1;
    }
    ContentView& view = *shown.view;
    shown.files->answers = {photos};
    view.intake()->pick();
    view.selection()->selectOnly(photos[2]);
    if (auto* list = window->findChild<QQuickItem*>(QStringLiteral("fileList")))
        list->setProperty("currentIndex", 2);
    // No tooltip in the picture.
    QCursor::setPos(window->screen(), window->geometry().bottomRight() + QPoint(50, 50));
    shown.folders->answers = {FolderChoice{true, QUrl::fromLocalFile(scratch.filePath(QStringLiteral("Out")))}};
    view.run()->start();

    // Three done (the damaged one among them) and at least three to go.
    QElapsedTimer waited;
    waited.start();
    const RunProgress& progress = view.run()->progress();
    while (progress.converted + progress.failed < 3 && waited.elapsed() < 120000)
        QTest::qWait(5);
    if (progress.total - progress.converted - progress.failed < 3) {
        std::fprintf(stderr, "tessavo_screenshot: the run went too fast to catch; give it more or larger photos\n");
        return 1;
    }
    // Let the rows and the spinners repaint.
    QTest::qWait(60);
    const QImage image = window->grabWindow();
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "tessavo_screenshot: could not write %s\n", argv[1]);
        return 1;
    }
    view.run()->cancel();
    if (argc == 4) {
        auto* action = window->findChild<QObject*>(QStringLiteral("aboutAction"));
        auto* host = window->findChild<AboutWindowHost*>(QStringLiteral("aboutWindowHost"));
        if (!action || !host || !QMetaObject::invokeMethod(action, "trigger") || !host->window()) {
            std::fprintf(stderr, "tessavo_screenshot: the About window did not open\n");
            return 1;
        }
        QTest::qWait(300);
        if (!host->window()->grabWindow().save(QString::fromLocal8Bit(argv[3]))) {
            std::fprintf(stderr, "tessavo_screenshot: could not write %s\n", argv[3]);
            return 1;
        }
    }
    while (progress.outstanding > 0)
        QTest::qWait(20);
    return 0;
}
