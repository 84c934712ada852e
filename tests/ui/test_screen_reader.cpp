// screen_reader.py reads the window over AT-SPI, as Orca does, while it lists a row of each outcome and shows a notice.
#include "fake_desktop.h"

#include <QAccessible>
#include <QProcess>
#include <QTemporaryDir>

using namespace tessavo;

class ScreenReaderTest : public QObject {
    Q_OBJECT
private slots:
    void everyControlIsNamedAndEveryRowTold()
    {
        // The accessibility bus runs from the session's start, as on a desktop.
        const QStringList getAddress = {"call", "--session", "-d", "org.a11y.Bus", "-o", "/org/a11y/bus", "-m", "org.a11y.Bus.GetAddress"};
        QCOMPARE(QProcess::execute("gdbus", getAddress), 0);
        QTRY_VERIFY2(QAccessible::isActive(), "no accessibility bus");
        testsupport::FakeDesktop desktop;
        QQuickWindow* window = desktop.show();
        QVERIFY(window);
        QTemporaryDir dir;
        FileListModel& files = *desktop.view->droppedFiles();
        for (const char* name : {"IMG_1.HEIC", "IMG_2.HEIC", "IMG_3.HEIC"})
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly), files.appendFile(QUrl::fromLocalFile(dir.filePath(name)));
        files.setConverted(1, QUrl::fromLocalFile(dir.filePath("IMG_2.jpg")));
        files.setFailed(2, {ConversionStep::Decode, "Could not decode the photo"});
        desktop.view->setIntakeNotice("1 file skipped: not a HEIC photo");
        QMetaObject::invokeMethod(window->findChild<QObject*>("fileMenu"), "open");
        QProcess reader;
        reader.setProcessChannelMode(QProcess::ForwardedChannels);
        reader.start("/usr/bin/python3", {TESSAVO_SCREEN_READER});
        QTRY_VERIFY_WITH_TIMEOUT(reader.state() == QProcess::NotRunning, 60000);
        QCOMPARE(reader.exitCode(), 0);
    }
};

QTEST_MAIN(ScreenReaderTest)
#include "test_screen_reader.moc"
