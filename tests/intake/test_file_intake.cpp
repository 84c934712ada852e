#include "fake_desktop.h"
#include "platform/file_dialogs.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>

using namespace tessavo;
using namespace tessavo::testing;

namespace {

QUrl url(const QString& name) { return QUrl::fromLocalFile("/photos/" + name); }

// Offered to the picker and dropped alike: a name typed into the picker's
// name field passes no filter, so both must take exactly the same names.
const std::pair<const char*, bool> names[] = {
    {"IMG_1.HEIC", true}, {"x.Heic", true},        {"IMG_3.hEiC", true},   {"photo.png", false},
    {"IMG_2.heif", false}, {"IMG.heic.jpg", false}, {"heic", false}, {".heic", false},
};

} // namespace

class FileIntakeTest : public QObject {
    Q_OBJECT
private slots:
    void pickerAndDropTakeTheSameNamesOnce()
    {
        FakeDesktop desktop;
        FileListModel& files = *desktop.view->droppedFiles();
        QList<QUrl> offered{QUrl("https://example.org/IMG_4.heic")};
        QStringList taken;
        for (const auto& [name, takes] : names) {
            offered << url(name);
            if (takes)
                taken << name + QStringLiteral(":W");
        }
        desktop.files->answers = {std::nullopt, offered, offered};
        for (int i = 0; i < 3; ++i)
            desktop.view->addImages(); // cancelled, taken, then all listed already
        QCOMPARE(listed(files), taken.join(u' '));
        QCOMPARE(desktop.bookmarks->saved.size(), taken.size());

        desktop.view->selectAll();
        desktop.view->removeSelectedImages();
        desktop.bookmarks->saved.clear();
        QVERIFY(desktop.view->handleDrop(offered + offered));
        QCOMPARE(files.count(), 0); // the entries come from the event loop
        QCoreApplication::processEvents();
        QCOMPARE(listed(files), taken.join(u' '));
        QCOMPARE(desktop.bookmarks->saved.size(), taken.size());

        // Native dialogs match their filter case by case: it spells out every name taken.
        const QString filter = heicNameFilter();
        const QStringList patterns = filter.mid(filter.indexOf(u'(') + 1).chopped(1).split(u' ');
        for (const auto& [name, takes] : names) {
            const bool shown = std::any_of(patterns.begin(), patterns.end(), [&](const QString& pattern) {
                return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern)).match(name).hasMatch();
            });
            QVERIFY2(shown || !takes, name);
        }
        // A drop is taken when it holds a local file, whatever its name.
        QVERIFY(!desktop.view->handleDrop({}));
        QVERIFY(!desktop.view->handleDrop({QUrl("https://example.org/IMG_1.heic"), QUrl("plain text"), QUrl()}));
        QVERIFY(desktop.view->handleDrop({QUrl("plain text"), url("photo.png")}));
    }
};

QTEST_GUILESS_MAIN(FileIntakeTest)
#include "test_file_intake.moc"
