// The reveal asks the file manager on the session bus for the folder itself,
// and opens the folder with the desktop's handler when no file manager is
// there. CTest runs it on a private bus (dbus-run-session).
#include "platform/folder_reveal.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QTest>

using namespace tessavo;

class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowFolders(const QStringList& uris, const QString&) { shown << uris; }
};

class FolderRevealTest : public QObject {
    Q_OBJECT
    QList<QUrl> m_opened;

public slots:
    void open(const QUrl& url) { m_opened << url; }

private slots:
    void asksTheFileManagerElseOpensTheFolder()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.isConnected(), "run under dbus-run-session");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
        const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/tmp/Caf\u00e9 #1/Out"));
        DesktopFolderRevealer revealer;

        revealer.reveal(folder);
        QTRY_COMPARE(m_opened, QList<QUrl>{folder});

        FileManager manager;
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        revealer.reveal(folder);
        QTRY_COMPARE(manager.shown, QStringList{QStringLiteral("file:///tmp/Caf%C3%A9%20%231/Out")});
        QTest::qWait(200); // for the answer, which must not bring the fallback
        QCOMPARE(m_opened.size(), 1);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }
};

QTEST_MAIN(FolderRevealTest)
#include "test_folder_reveal.moc"
