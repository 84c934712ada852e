#include "fake_desktop.h"
#include "platform/bookmark_store.h"
#include "platform/file_dialogs.h"
#include "platform/local_path.h"
#include "scratch_dir.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <fstream>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace tessavo;
using namespace tessavo::testsupport;

namespace {

// Offered to the picker and dropped alike: a name typed into the picker passes no filter, so both take the same names.
const QStringList heicNames{"IMG_1.HEIC", "x.Heic", "IMG_3.hEiC", "IMG_2.heif", "IMG_5.HiF"};
const QStringList otherNames{"photo.png", "IMG.heic.jpg", "heic", ".heic", "x.hiff"};

namespace fs = std::filesystem;

// Under `root`: empty files and symbolic links ("name -> target").
void make(const fs::path& root, std::initializer_list<std::string> entries)
{
    for (const std::string& entry : entries) {
        const size_t arrow = entry.find(" -> ");
        const fs::path path = root / entry.substr(0, arrow);
        fs::create_directories(path.parent_path());
        arrow == entry.npos ? void(std::ofstream{path}) : fs::create_symlink(entry.substr(arrow + 4), path);
    }
}

QUrl at(const fs::path& path) { return localUrl(QByteArray::fromStdString(path)); }

} // namespace

class FileIntakeTest : public QObject {
    Q_OBJECT
private slots:
    // Root reads past a file's mode; without these capabilities (inherited by later threads) it meets 000 as any user does.
    void initTestCase()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        QVERIFY(::syscall(SYS_capget, &header, caps) == 0);
        const __u32 keep = ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        caps[0].effective &= keep, caps[0].permitted &= keep; // access() asks the permitted ones
        QVERIFY(::syscall(SYS_capset, &header, caps) == 0);
    }

    void pickerAndDropTakeTheSameNamesOnce()
    {
        testsupport::ScratchDir dir;
        FakeDesktop desktop;
        FileListModel& files = *desktop.view->droppedFiles();
        QList<QUrl> offered{QUrl("https://example.org/IMG_4.heic")};
        for (const QString& name : heicNames + otherNames)
            make(dir.path(), {name.toStdString()}), offered << at(dir / name.toStdString());
        const QString taken = heicNames.join(":W ") + ":W";
        desktop.files->answers = {std::nullopt, offered, offered};
        for (int i = 0; i < 3; ++i)
            desktop.view->intake()->pick(); // cancelled, taken, then all listed already
        QTRY_COMPARE(listed(files), taken);
        QCOMPARE(desktop.bookmarks->saved.size(), heicNames.size());

        desktop.view->clearList();
        desktop.bookmarks->saved.clear();
        QVERIFY(desktop.view->intake()->drop(offered + offered));
        QCOMPARE(files.count(), 0); // the entries come from the event loop
        QTRY_COMPARE(listed(files), taken);
        QCOMPARE(desktop.bookmarks->saved.size(), heicNames.size());
        // Native dialogs match their filter case by case: it spells out every name taken.
        const QString filter = heicNameFilter();
        const QStringList patterns = filter.mid(filter.indexOf(u'(') + 1).chopped(1).split(u' ');
        for (const QString& name : heicNames)
            QVERIFY2(patterns.contains("*" + name.mid(name.lastIndexOf(u'.'))), qPrintable(name));
        // A drop is taken when it holds a local file, whatever its name.
        QVERIFY(!desktop.view->intake()->drop({}));
        QVERIFY(!desktop.view->intake()->drop({QUrl("https://example.org/IMG_1.heic"), QUrl("plain text"), QUrl()}));
        QVERIFY(desktop.view->intake()->drop({QUrl("plain text"), at(dir / "photo.png")}));
    }

    // Each offering in turn on one list: what it adds, its one notice. Only regular files count; an unreadable folder is passed over.
    void foldersJoinInNameOrderAndEveryRefusalIsSaid()
    {
        testsupport::ScratchDir dir;
        make(dir.path(),
            {"photos/IMG_10.heic", "photos/IMG_2.HEIC", "photos/img_2.HEIC", "photos/b.heic", "photos/A.heic", "photos/notes.txt",
                "photos/clip.MOV", "photos/.hidden.heic", "photos/.thumbs/t.heic", "photos/sub/c.heic", "photos/Sub2/d.heic",
                "photos/2021/z.heic", "photos/gone.heic -> nowhere", "photos/mem.heic -> /proc/self/mem", "photos/linked -> ../elsewhere",
                "elsewhere/e.heic", "x.jpg", "y.png", "zero.heic -> /dev/zero"});
        ::mkfifo((dir / "fifo.heic").c_str(), 0600);
        const fs::path photos = dir / "photos";
        fs::create_directory(photos / "2020"), fs::permissions(photos / "2020", fs::perms::none);
        const auto unlock = qScopeGuard([&] { fs::permissions(photos / "2020", fs::perms::owner_all); }); // to be removed
        const std::tuple<QList<QUrl>, const char*, const char*> cases[] = {// dropped (none: the folder picked), added, notice
            {{}, "A.heic:W b.heic:W IMG_2.HEIC:W img_2.HEIC:W IMG_10.heic:W z.heic:W c.heic:W d.heic:W",
                "2 files skipped: not HEIC photos; 2 files could not be read; 1 folder could not be read"},
            {{at(dir / "x.jpg"), at(photos / "A.heic"), at(photos)}, "",
                "3 files skipped: not HEIC photos; 9 files already listed; 2 files could not be read; 1 folder could not be read"},
            {{at(photos / "b.heic"), at(photos / "sub/c.heic")}, "", "2 files already listed"},
            {{at(dir / "y.png"), at(dir / "elsewhere/e.heic"), at(dir / "fifo.heic"), at(dir / "zero.heic")}, " e.heic:W",
                "1 file skipped: not a HEIC photo; 2 files could not be read"}};
        FakeDesktop desktop;
        desktop.folders->answers = {FolderChoice{true, at(photos)}};
        QString expected;
        for (const auto& [drop, joined, notice] : cases) {
            if (drop.isEmpty())
                desktop.view->intake()->pickFolder(), desktop.view->intake()->pickFolder(); // chosen, then cancelled
            else
                QVERIFY(desktop.view->intake()->drop(drop));
            QTRY_VERIFY(!desktop.view->intake()->busy());
            QCOMPARE(listed(*desktop.view->droppedFiles()), expected += joined);
            QCOMPARE(desktop.view->intakeNotice(), notice);
        }
    }

    // A large folder arrives over several turns of the event loop; a folder whose listing does not answer (a stuck mount)
    // holds back neither what is offered after it nor the intake's end.
    void foldersArriveInBatchesPastAStuckOne()
    {
        testsupport::ScratchDir dir;
        fs::create_directory(dir / "large"), fs::create_directory(dir / "stuck");
        QStringList expected;
        for (int i = 1; i <= 1200; ++i)
            std::ofstream{dir / "large" / (std::to_string(i) + ".heic")}, expected << QString::number(i) + ".heic:W";
        const QString stuck = QString::fromStdString(dir / "stuck");
        QProcess server;
        server.start(TESSAVO_STUCK_FS, {stuck, QString::fromStdString(dir / "release")});
        const auto unmount = qScopeGuard([&] {
            std::ofstream{dir / "release"}, server.kill(), server.waitForFinished();
            QProcess::execute("fusermount", {"-u", "-z", stuck});
        });
        QTRY_VERIFY2(QStorageInfo(stuck).rootPath().endsWith("/stuck"), "python3-fusepy has not mounted " TESSAVO_STUCK_FS);
        auto desktop = std::make_unique<FakeDesktop>();
        QList<int> seen;
        QTimer turns;
        turns.callOnTimeout([&] {
            seen << desktop->view->droppedFiles()->count();
            QThread::msleep(seen.last() ? 0 : 100); // until rows come, the walk finds every file: they all wait at once
        });
        turns.start(0);
        QVERIFY(desktop->view->intake()->drop({at(dir / "stuck")}) && desktop->view->intake()->drop({at(dir / "large")}));
        QTRY_COMPARE(listed(*desktop->view->droppedFiles()), expected.join(u' '));
        QVERIFY2(std::any_of(seen.begin(), seen.end(), [](int n) { return n > 0 && n < 1200; }), "no turn between batches");
        QVERIFY(desktop->view->intake()->readingFolder());
        turns.stop(), desktop.reset();
        QVERIFY2(!fs::exists(dir / "release.waited"), "the intake waited for the stuck walk");
    }

    // Every way in keeps a name's bytes that are not UTF-8 (sized, bookmarked, converted) and refuses an unreadable photo.
    void everyWayInKeepsNameBytesAndRefusesTheUnreadable()
    {
        testsupport::ScratchDir dir;
        const fs::path photo = dir / "in" / "caf\xe9.heic", locked = dir / "in" / "locked.heic";
        fs::create_directory(dir / "in"), fs::create_directory(dir / "out");
        fs::copy_file(TESSAVO_TEST_DATA "/odd-size.heic", photo), fs::copy_file(photo, locked);
        fs::permissions(locked, fs::perms::none);
        std::mutex mutex;
        QStringList printed;
        const auto lines = [&](std::string_view line) {
            const std::lock_guard lock(mutex);
            printed << QString::fromUtf8(line);
        };
        auto* store = new SqliteBookmarkStore(lines, QString::fromStdString(dir / "bookmarks.sqlite"));
        FakeDesktop desktop(std::unique_ptr<BookmarkStore>(store), lines);
        FileListModel& files = *desktop.view->droppedFiles();
        const QList<QUrl> both{at(photo), at(locked)};
        desktop.files->answers = {both};
        desktop.folders->answers = {FolderChoice{true, at(dir / "in")}, FolderChoice{true, at(dir / "out")}};
        for (const auto& way : std::initializer_list<std::function<void()>>{[&] { desktop.view->intake()->pickFolder(); },
                 [&] { desktop.view->intake()->drop(both); }, [&] { desktop.view->intake()->pick(); },
                 [&] { desktop.view->openFiles(both); }}) {
            desktop.view->clearList(), desktop.view->dismissNotice();
            way();
            QTRY_VERIFY(!desktop.view->intake()->busy());
            QCOMPARE(desktop.view->intakeNotice(), "1 file could not be read");
            QCOMPARE(files.count(), 1);
            QVERIFY(localPath(files.at(0).url) == photo.c_str() && fileSizeText(files.at(0).url) != "Unknown");
        }
        desktop.view->run()->start();
        QTRY_COMPARE(files.at(0).status, ImageStatus::Success);
        QVERIFY(fs::exists(dir / "out" / "caf\xe9.jpg"));
        store->flush();
        const std::lock_guard lock(mutex);
        QCOMPARE(printed.filter("Failed").join("\n"), ""); // no bookmark, no conversion
    }

    // "Will accept" only for a drag with a HEIC file or a folder; what any drop left out shows in the window.
    void theBorderAcceptsOnlyWhatIntakeTakes()
    {
        testsupport::ScratchDir dir;
        fs::create_directory(dir / "folder"), make(dir.path(), {"IMG.HEIC"}), ::mkfifo((dir / "fifo.heic").c_str(), 0600);
        FakeDesktop desktop;
        QQuickWindow* window = desktop.show();
        QVERIFY(window);
        const std::tuple<QList<QUrl>, bool, const char*> cases[] = {// dragged, accepted, notice
            {{at(dir / "x.jpg")}, false, "1 file skipped: not a HEIC photo"},
            {{QUrl("https://example.org/a.heic"), at(dir / "none.heic"), at(dir / "fifo.heic")}, false, "3 files could not be read"},
            {{at(dir / "folder")}, true, ""}, {{at(dir / "x.jpg"), at(dir / "IMG.HEIC")}, true, "1 file skipped: not a HEIC photo"}};
        auto* notice = window->findChild<QObject*>("intakeNoticeText");
        for (const auto& [urls, accepted, shown] : cases) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(window->width() / 2, window->height() / 2), Qt::CopyAction, &data, Qt::LeftButton, {});
            QDropEvent drop(enter.position(), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(window, &enter);
            QCOMPARE(desktop.view->isTargeted(), accepted);
            desktop.view->dismissNotice();
            QCoreApplication::sendEvent(window, &drop);
            QTRY_VERIFY(!desktop.view->intake()->busy());
            QCOMPARE(notice->property("visible").toBool() ? notice->property("text").toString() : "", shown);
        }
        QCOMPARE(listed(*desktop.view->droppedFiles()), "IMG.HEIC:W");
    }
};

QTEST_MAIN(FileIntakeTest)
#include "test_file_intake.moc"
