// A later launch hands its files to the window open on the private bus (hosted here), or stands alone.
#include "fake_desktop.h"
#include "platform/application_service.h"
#include "platform/local_path.h"
#include <QProcess>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <filesystem>

class SingleInstanceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_entry = qEnvironmentVariable("TESSAVO_DESKTOP_ENTRY"), m_app = QString(tessavo::kApplicationId) + ".desktop";

    QProcess* launch(const QStringList& command) // through `env`, which sets variables first
    {
        auto* process = new QProcess(this);
        process->setStandardErrorFile(QProcess::nullDevice()); // so no process left over holds CTest's pipe
        process->start("env", QStringList{"-C", m_dir.path(), "HOME=" + m_dir.path()} << command);
        return process;
    }
private slots:
    void initTestCase()
    {
        for (const char* name : {"a.heic", "b.heic", "c.heic", "caf\xe9.heic", "d.hif", "E.HEIF"}) // as their type tells
            std::filesystem::copy_file(TESSAVO_TEST_DATA "/odd-size.heic", QFile::encodeName(m_dir.path()).toStdString() + '/' + name);
    }
    void aLaterLaunchHandsOverItsFiles_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("listed"); // relative to the launch's folder; null: it stands alone
        QTest::addColumn<QStringList>("tokens");
        QTest::addColumn<QString>("notice");
        // A name in Latin-1 (byte E9) through the command line and D-Bus; URIs that name no file are refused.
        QTest::newRow("files") << QStringList{"XDG_ACTIVATION_TOKEN=t1", "sh", "-c",
                                      "exec tessavo b.heic x/../a.heic \"$(printf 'caf\\351.heic')\" d.hif " + m_dir.filePath("c.heic")}
                               << QByteArray("b.heic a.heic caf\xe9.heic d.hif c.heic") << QStringList{"t1"} << "";
        QTest::newRow("no files") << QStringList{"DESKTOP_STARTUP_ID=s1", "tessavo"} << QByteArray("") << QStringList{"s1"} << "";
        QTest::newRow("desktop entry") << QStringList{"gio", "launch", m_entry, "c.heic", "E.HEIF"} << QByteArray("c.heic E.HEIF")
                                       << QStringList{""} << "";
        QTest::newRow("odd URIs") << QStringList{"gdbus", "call", "--session", "-d", tessavo::kApplicationId, "-o",
                                         "/io/github/tessavo/tessavo", "-m", "org.freedesktop.Application.Open",
                                         "['file://', 'file://[::1', 'file://" + m_dir.path() + "/caf%E9.heic']", "{}"}
                                  << QByteArray("caf\xe9.heic") << QStringList{""} << "2 files could not be read";
        QTest::newRow("no bus") << QStringList{"DBUS_SESSION_BUS_ADDRESS=unix:path=/none", "tessavo", "a.heic"} << QByteArray()
                                << QStringList{} << "";
    }
    void aLaterLaunchHandsOverItsFiles()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, listed);
        QFETCH(QStringList, tokens);
        QFETCH(QString, notice);
        tessavo::testsupport::FakeDesktop desktop;
        QStringList received;
        QByteArrayList paths;
        tessavo::ApplicationService instance;
        instance.open = [&](const QList<QUrl>& urls) { desktop.view->openFiles(urls); };
        instance.activate = [&](const QString& token) { received << token; };
        QVERIFY(instance.registerInstance());
        QProcess* later = launch(command);
        QTest::qWait(listed.isNull() ? 2000 : 0); // one that stands alone keeps its window open
        QTRY_COMPARE_WITH_TIMEOUT(later->state(), listed.isNull() ? QProcess::Running : QProcess::NotRunning, 10000);
        QCOMPARE(later->exitCode(), 0);
        later->kill();
        QTRY_COMPARE(received, tokens);
        QTRY_VERIFY(!desktop.view->intake()->busy()); // the entries arrive queued, as from a drop
        for (const tessavo::FileEntry& entry : desktop.view->droppedFiles()->entries())
            paths << tessavo::localPath(entry.url).mid(QFile::encodeName(m_dir.path()).size() + 1);
        QCOMPARE(paths.join(' '), listed.isNull() ? "" : listed);
        QCOMPARE(desktop.view->intakeNotice(), notice);
    }
    // Ended while a folder it reads does not answer (a stuck FUSE mount), the window's process ends.
    void endsWhileAFolderDoesNotAnswer()
    {
        const QString stuck = m_dir.filePath("stuck");
        QDir(m_dir.path()).mkdir("stuck");
        QProcess server;
        server.start(TESSAVO_STUCK_FS, {stuck, m_dir.filePath("release")});
        const auto unmount = qScopeGuard([&] {
            QFile(m_dir.filePath("release")).open(QIODevice::WriteOnly), server.kill(), server.waitForFinished();
            QProcess::execute("fusermount", {"-u", "-z", stuck});
        });
        QTRY_VERIFY(QStorageInfo(stuck).rootPath() == stuck);
        QProcess* window = launch({"DBUS_SESSION_BUS_ADDRESS=unix:path=/none", "tessavo", "stuck"});
        QTRY_VERIFY(QFileInfo::exists(m_dir.filePath("release.asked")));
        window->terminate();
        QVERIFY2(window->waitForFinished(5000), "the process waits for the folder");
        QVERIFY(!QFileInfo::exists(m_dir.filePath("release.waited")));
    }
    // For each name of a HEIF photo, by its type in the system's MIME database, from the cache the package's trigger refreshes.
    void fileManagersOfferIt()
    {
        QDir(m_dir.path()).mkpath("share/applications");
        QFile::link("/usr/share/mime", m_dir.filePath("share/mime"));
        QFile::copy(m_entry, m_dir.filePath("share/applications/" + m_app));
        QCOMPARE(QProcess::execute("update-desktop-database", {m_dir.filePath("share/applications")}), 0);
        for (const QString name : {"a.heic", "d.hif", "E.HEIF"}) {
            QProcess* gio = launch({"XDG_DATA_DIRS=" + m_dir.filePath("share"), "gio", "info", "-a", "standard::content-type", name});
            QVERIFY(gio->waitForFinished());
            const QString type = QString(gio->readAllStandardOutput()).section(' ', -1).trimmed();
            gio = launch({"XDG_DATA_DIRS=" + m_dir.filePath("share"), "gio", "mime", type});
            QVERIFY2(gio->waitForFinished() && gio->readAllStandardOutput().contains("Registered applications:\n\t" + m_app.toUtf8()),
                qPrintable(name + " is " + type));
        }
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "test_single_instance.moc"
