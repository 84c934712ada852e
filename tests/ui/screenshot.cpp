// Renders the main window with a few files in every status and saves it as
// a PNG, and the About window too when a second path is given:
// tessavo_screenshot <main.png> [<about.png>]. Run it on a real (or virtual)
// X display so the images show what a user sees.
#include "main_window_harness.h"
#include "ui/about_window_host.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <cstdio>

using namespace tessavo;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: tessavo_screenshot <main.png> [<about.png>]\n");
        return 2;
    }
    testing::MainWindowHarness harness;
    if (!harness.loaded()) {
        std::fprintf(stderr, "tessavo_screenshot: the main window did not load\n");
        return 1;
    }
    harness.window()->resize(720, 460);

    const struct {
        const char* name;
        qint64 bytes;
        ImageStatus status;
    } samples[] = {
        {"IMG_4012.HEIC", 2'871'344, ImageStatus::Success},
        {"IMG_4013.HEIC", 3'102'770, ImageStatus::Success},
        {"Beach at dusk.heic", 1'948'102, ImageStatus::Error},
        {"IMG_4021.HEIC", 2'455'918, ImageStatus::Converting},
        {"IMG_4022.HEIC", 4'210'005, ImageStatus::Converting},
        {"IMG_4030.HEIC", 2'760'431, ImageStatus::Waiting},
        {"Family portrait.HEIC", 5'018'226, ImageStatus::Waiting},
    };
    auto* files = harness.view().droppedFiles();
    for (const auto& sample : samples) {
        harness.addFile(QString::fromUtf8(sample.name), sample.bytes);
        files->setStatus(files->count() - 1, sample.status);
    }
    harness.view().selectOnly(files->at(5).url);

    // Let the rows lay out and the busy indicators start turning.
    QTest::qWait(600);
    const QImage image = harness.window()->grabWindow();
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "tessavo_screenshot: could not write %s\n", argv[1]);
        return 1;
    }
    if (argc == 3) {
        auto* action = harness.window()->findChild<QObject*>(QStringLiteral("aboutAction"));
        auto* host = harness.window()->findChild<AboutWindowHost*>(QStringLiteral("aboutWindowHost"));
        if (!action || !host || !QMetaObject::invokeMethod(action, "trigger") || !host->window()) {
            std::fprintf(stderr, "tessavo_screenshot: the About window did not open\n");
            return 1;
        }
        QTest::qWait(300);
        if (!host->window()->grabWindow().save(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "tessavo_screenshot: could not write %s\n", argv[2]);
            return 1;
        }
    }
    return 0;
}
