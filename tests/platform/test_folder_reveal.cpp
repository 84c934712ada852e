// The reveal asks the file manager on the (private) session bus for the folder itself, else opens it with the desktop's
// handler; the test plays both.
#include "platform/folder_reveal.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QTest>

class FolderRevealTest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
    QList<QUrl> m_opened;
    QStringList m_shown;

public slots:
    void open(const QUrl& url) { m_opened << url; }
    void ShowFolders(const QStringList& uris, const QString&) { m_shown << uris; }

private slots:
    void asksTheFileManagerElseOpensTheFolder()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.isConnected(), "run under dbus-run-session");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
        const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/tmp/Caf\u00e9 #1/Out"));
        tessavo::DesktopFolderRevealer revealer;

        revealer.reveal(folder);
        QTRY_COMPARE(m_opened, QList<QUrl>{folder});

        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), this, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        revealer.reveal(folder);
        QTRY_COMPARE(m_shown, QStringList{QStringLiteral("file:///tmp/Caf%C3%A9%20%231/Out")});
        QTest::qWait(200); // for the answer, which must not bring the fallback
        QCOMPARE(m_opened.size(), 1);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }
};

QTEST_MAIN(FolderRevealTest)
#include "test_folder_reveal.moc"
