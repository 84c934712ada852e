// A later `tessavo FILE...` hands its files to the window already open and
// ends; without a session bus it opens a window of its own. The first
// instance is hosted here over a fake desktop, the later launches are the
// real program. CTest runs it on a private bus (dbus-run-session).
#include "fake_desktop.h"
#include "platform/application_service.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>

using namespace tessavo;

class SingleInstanceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_scratch;

    QProcess* launch(const QStringList& arguments, const QStringList& environment)
    {
        auto* process = new QProcess(this);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->setWorkingDirectory(m_scratch.path());
        process->setEnvironment(QProcess::systemEnvironment() << "HOME=" + m_scratch.path() << environment);
        process->start(qEnvironmentVariable("TESSAVO_BINARY"), arguments);
        return process;
    }

private slots:
    void initTestCase()
    {
        for (const char* name : {"a.heic", "b.heic", "c.heic"})
            QFile::copy(TESSAVO_TEST_DATA "/orientation-1.heic", m_scratch.filePath(name));
    }
    void aLaterLaunchHandsOverItsFiles_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QStringList>("listed"); // relative to the launch's folder; none: it stands alone
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("files, in order") << QStringList{"b.heic", "sub/../a.heic", m_scratch.filePath("c.heic")}
                                         << QStringList{"XDG_ACTIVATION_TOKEN=t1"}
                                         << QStringList{"b.heic", "a.heic", "c.heic"} << QStringList{"t1"};
        QTest::newRow("no files: raised") << QStringList{} << QStringList{"DESKTOP_STARTUP_ID=s1"} << QStringList{""}
                                          << QStringList{"s1"};
        QTest::newRow("no bus") << QStringList{"a.heic"} << QStringList{"DBUS_SESSION_BUS_ADDRESS=unix:path=/none"}
                                << QStringList{} << QStringList{};
    }
    void aLaterLaunchHandsOverItsFiles()
    {
        QFETCH(QStringList, arguments); QFETCH(QStringList, environment); QFETCH(QStringList, listed); QFETCH(QStringList, tokens);
        testing::FakeDesktop desktop;
        QStringList received;
        ApplicationService instance;
        instance.open = [&](const QStringList& paths) { desktop.view->openFiles(paths); };
        instance.activate = [&](const QString& token) { received << token; };
        QVERIFY2(instance.registerInstance(), "run under dbus-run-session");

        QProcess* later = launch(arguments, environment);
        if (listed.isEmpty()) { // one that stands alone keeps its own window open
            QTest::qWait(2000);
            QCOMPARE(later->state(), QProcess::Running);
            later->kill();
            later->waitForFinished();
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(later->state(), QProcess::NotRunning, 10000);
            QCOMPARE(later->exitCode(), 0);
        }
        QTRY_COMPARE(received, tokens);
        QStringList paths;
        for (const FileEntry& entry : desktop.view->droppedFiles()->entries())
            paths << QDir(m_scratch.path()).relativeFilePath(entry.url.toLocalFile());
        QCOMPARE(paths.join(u' '), listed.join(u' '));
    }

    void theFirstLaunchTakesTheName()
    {
        QProcess* first = launch({}, {});
        QTRY_VERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(kApplicationId));
        first->kill();
        first->waitForFinished();
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "test_single_instance.moc"
