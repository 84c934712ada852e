#include "conversion/job_runner.h"
#include "fake_desktop.h"
#include "platform/desktop_services.h"
#include "platform/file_dialogs.h"
#include "platform/settings_store.h"
#include "platform/translations.h"
#include "ui/about_window_host.h"
#include "ui/window_place.h"

#include <QApplication>
#include <QDialog>
#include <QMimeData>
#include <QPalette>
#include <QQuickItem>
#include <QScreen>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

#include <thread>

using namespace tessavo;
using namespace tessavo::testsupport;

namespace {

struct MainWindow {
    QTemporaryDir scratch;
    FakeDesktop desktop;
    ContentView& view = *desktop.view;
    FileListModel& files = *view.droppedFiles();
    QQuickWindow* window = desktop.show();

    explicit MainWindow(const QVariantMap& preferences = {}) : window((desktop.preferences->values = preferences, desktop.show()))
    {
        if (!window)
            qFatal("Main.qml did not load or its window never became active");
    }

    QQuickItem* item(const char* name) const { return window->findChild<QQuickItem*>(name); }
    QString path(const QString& name) const { return scratch.filePath(name); }
    QUrl file(const QString& name) const { return QFile(path(name)).open(QIODevice::WriteOnly), QUrl::fromLocalFile(path(name)); }
    void add(const QString& name, qint64 bytes = 10) // no file when bytes is negative
    {
        if (QFile file(path(name)); bytes >= 0 && file.open(QIODevice::WriteOnly))
            file.resize(bytes);
        files.appendFile(QUrl::fromLocalFile(path(name)));
    }
    QQuickItem* row(int index) const
    {
        QQuickItem* row = nullptr;
        QMetaObject::invokeMethod(item("fileList"), "itemAtIndex", Q_RETURN_ARG(QQuickItem*, row), Q_ARG(int, index));
        return row;
    }
    bool enabled(const char* action) const { return window->findChild<QObject*>(action)->property("enabled").toBool(); }
    QPoint centreOf(const QQuickItem* item) const { return item->mapToScene({item->width() / 2, item->height() / 2}).toPoint(); }
    QQuickWindow* showAbout() const
    {
        return QMetaObject::invokeMethod(window->findChild<QObject*>("aboutAction"), "trigger"),
               window->findChild<AboutWindowHost*>("aboutWindowHost")->window();
    }
};

QString text(QObject* in, const char* label) { return in->findChild<QQuickItem*>(label)->property("text").toString(); }
QColor colour(QQuickItem* row, const QString& name) { return row->findChild<QQuickItem*>(name)->property("color").value<QColor>(); }
QColor borderColour(const QQuickItem* item) { return item->property("border").value<QObject*>()->property("color").value<QColor>(); }

QString indicator(QQuickItem* row)
{
    QStringList shown;
    for (QQuickItem* child : row->findChild<QQuickItem*>("statusIndicator")->childItems())
        if (child->isVisible() && child->objectName() != "statusBadge")
            shown << child->objectName();
    return shown.join(u',');
}

// The WCAG contrast ratio, 1 to 21.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_settings;

private slots:
    void initTestCase()
    {
        installTranslations(QLocale::system()); // as tests/ui/CMakeLists.txt sets it
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); // for the size texts
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings.path())); // for the real settings store's file
        QCoreApplication::setOrganizationName("tessavo-test");
        QCoreApplication::setApplicationVersion("9.8.7"); // as the build gives it
    }

    void buttonsAndShortcutsFollowTheListAndTheSelection()
    {
        MainWindow w;
        const auto enabled = [&](const char* name) { return w.item(name)->isEnabled(); };
        QVERIFY(enabled("addButton") && !enabled("removeButton") && !enabled("convertButton"));
        const QUrl picked = w.file("IMG_2.HEIC");
        w.add("IMG_1.HEIC");
        w.desktop.files->answers = {QList<QUrl>{picked}};
        QTest::keyClick(w.window, Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(listed(w.files), "IMG_1.HEIC:W IMG_2.HEIC:W");
        QVERIFY(!enabled("removeButton") && enabled("convertButton"));
        QTest::keyClick(w.window, Qt::Key_Delete); // nothing selected
        QCOMPARE(w.files.count(), 2);
        w.view.selection()->selectOnly(picked);
        QVERIFY(enabled("removeButton"));
        QTest::keyClick(w.window, Qt::Key_Delete);
        QCOMPARE(listed(w.files), "IMG_1.HEIC:W");
        QVERIFY(!enabled("removeButton")); // the selection went with its files
        QCOMPARE(w.item("countLabel")->property("text").toString(), "1 photo");
        for (const char* box : {"keepMetadataBox", "keepHdrBox"}) // the options, off until clicked
            QTest::mouseClick(w.window, Qt::LeftButton, {}, w.centreOf(w.item(box)));
        QCOMPARE(w.desktop.preferences->values, (QVariantMap{{"Options/keepMetadata", true}, {"Options/keepHdr", true}}));
    }

    void rowsShowNameSizeStatusAndWhy()
    {
        MainWindow w;
        const std::tuple<const char*, qint64, ImageStatus, const char*, const char*> rows[] = {
            {"IMG_0001.HEIC", 1'500'000, ImageStatus::Waiting, "1.5 MB", "waitingIcon"},
            {"P001_holiday photo at the beach.heic", 2'340, ImageStatus::Converting, "2.3 kB", "convertingIndicator"},
            {"IMG_0003.HEIC", 999, ImageStatus::Success, "999 bytes", "successIcon"},
            {"gone.heic", -1, ImageStatus::Error, "Unknown", "errorIcon"}};
        for (int i = -1; const auto& [name, bytes, status, size, shown] : rows) {
            w.add(name, bytes);
            w.files.setStatus(++i, status);
            QTRY_VERIFY(w.row(i));
            QCOMPARE(text(w.row(i), "nameLabel"), name);
            QCOMPARE(text(w.row(i), "sizeLabel"), size);
            QCOMPARE(indicator(w.row(i)), shown);
        }
        w.files.setFailed(3, {ConversionStep::Finalize, "No space left on device"}, QUrl::fromLocalFile("/home/me/Out/gone.jpg"));
        QCOMPARE(w.row(3)->property("toolTipText").toString(), w.path("gone.heic") + "\nCould not write to Out: No space left on device");
        QCOMPARE(w.row(0)->property("toolTipText").toString(), w.path("IMG_0001.HEIC"));
        QCOMPARE(text(w.row(3), "reasonLabel"), "Could not write to Out: No space left on device");
        const auto reasonShown = [&](int row) { return w.row(row)->findChild<QQuickItem*>("reasonLabel")->isVisible(); };
        QVERIFY(reasonShown(3) && !reasonShown(0));
        w.files.setConverted(2, QUrl::fromLocalFile("/out/IMG_0003.jpg")); // only a converted row opens, on a double click or Return
        for (int i : {0, 3, 2})
            QTest::mouseDClick(w.window, Qt::LeftButton, {}, w.centreOf(w.row(i)));
        QTest::keyClick(w.window, Qt::Key_Return);
        QCOMPARE(w.desktop.opener->opened, QList<QUrl>(2, QUrl::fromLocalFile("/out/IMG_0003.jpg")));
        w.files.setFailed(3, {ConversionStep::Decode, std::string(kNoMemoryToDecode)});
        QCOMPARE(w.row(3)->property("toolTipText").toString(), w.path("gone.heic") + "\nNot enough memory to decode the photo");
    }

    // Told once, from the store's thread: the user's words under the list, the system's in the tooltip, until dismissed.
    void bookmarkStoreFailureIsToldOnce()
    {
        MainWindow w;
        QVERIFY(!w.item("bookmarkProblem")->isVisible());
        std::thread([&] {
            w.desktop.bookmarks->storeFailed(StoreFailure::ReadOnly, "attempt to write a readonly database"),
                w.desktop.bookmarks->storeFailed(StoreFailure::Locked, "locked");
        }).join();
        QTRY_VERIFY(w.item("bookmarkProblem")->isVisible());
        QCOMPARE(text(w.window, "bookmarkProblemText") + "\n" + w.item("bookmarkProblem")->property("toolTipText").toString(),
            "Tessavo cannot remember the folders it was given: its data file is read-only\nattempt to write a readonly database");
        QTest::mouseClick(w.window, Qt::LeftButton, {}, w.centreOf(w.item("dismissBookmarkProblemButton")));
        w.desktop.bookmarks->storeFailed(StoreFailure::Locked, "locked"), QCoreApplication::processEvents();
        QVERIFY(!w.item("bookmarkProblem")->isVisible());
    }

    void selectionFollowsClicksAndKeys()
    {
        MainWindow w;
        for (int i = 0; i < 60; ++i)
            w.add(QString("IMG_%1.HEIC").arg(i));
        QTRY_VERIFY(w.row(5));
        const auto selected = [&] {
            QList<int> rows;
            for (const QUrl& url : w.view.selection()->ordered())
                rows << int(w.files.indexOf(url));
            return rows;
        };
        // A click on a row, or a key when there is one, on more rows than the list shows; Ctrl+click moves the anchor.
        const std::tuple<int, Qt::Key, Qt::KeyboardModifiers, QList<int>> gestures[] = {{1, {}, {}, {1}},
            {4, {}, Qt::ControlModifier, {1, 4}}, {2, {}, Qt::ShiftModifier, {2, 3, 4}}, {1, {}, Qt::ControlModifier, {1, 2, 3, 4}},
            {0, {}, {}, {0}}, {0, Qt::Key_End, {}, {59}}, {0, Qt::Key_Home, {}, {0}}, {0, Qt::Key_Down, Qt::ControlModifier, {0}},
            {0, Qt::Key_Down, Qt::ControlModifier, {0}}, {0, Qt::Key_Space, {}, {0, 2}}, {0, Qt::Key_Down, Qt::ShiftModifier, {2, 3}},
            {0, Qt::Key_Up, {}, {2}}, {0, Qt::Key_End, {}, {59}}};
        for (const auto& [row, key, modifiers, then] : gestures) {
            if (key)
                QTest::keyClick(w.window, key, modifiers);
            else
                QTest::mouseClick(w.window, Qt::LeftButton, modifiers, w.centreOf(w.row(row)));
            QCOMPARE(selected(), then);
        }
    }

    void dropBorderShowsOnlyWhileFilesHover()
    {
        MainWindow w;
        const auto border = [&] { return borderColour(w.item("dropBorder")); };
        QCOMPARE(border().alpha(), 0);
        QMimeData files, plain;
        files.setUrls({w.file("IMG_9.HEIC"), QUrl::fromLocalFile(w.path("notes.txt"))});
        plain.setText("IMG_9.HEIC");
        const auto send = [&](QEvent&& event) { QCoreApplication::sendEvent(w.window, &event); };
        const QPoint onPadding = w.item("dropZone")->mapToScene({3, w.item("dropZone")->height() / 2}).toPoint();
        for (const auto& [data, targeted] : {std::pair{&files, true}, {&plain, false}}) {
            send(QDragEnterEvent(onPadding, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier));
            QCOMPARE(border().alpha(), targeted ? 255 : 0);
            send(QDragLeaveEvent());
            QCOMPARE(border().alpha(), 0);
        }
        send(QDragEnterEvent(w.centreOf(w.item("fileList")), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier));
        send(QDropEvent(w.centreOf(w.item("fileList")), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier));
        QCOMPARE(border().alpha(), 0);
        QTRY_COMPARE(listed(w.files), "IMG_9.HEIC:W");
    }

    // Also run at 2x and in German and French (tests/ui/CMakeLists.txt); texts stand out, selected or not, light or dark.
    void fitsTheScreenAndReadsClearly()
    {
        MainWindow w;
        QVERIFY(w.window->screen()->availableGeometry().contains(w.window->frameGeometry()));
        for (int i = 0; i < 5; ++i)
            w.add(QString("IMG_%1.HEIC").arg(i)); // not photos: the run fails them all
        w.desktop.folders->answers = {FolderChoice{true, QUrl::fromLocalFile(w.path("Out"))}};
        w.view.run()->start();
        QTRY_COMPARE_WITH_TIMEOUT(w.view.run()->state(), RunState::Finished, 30000);
        for (const auto& [row, status] : {std::pair{0, ImageStatus::Success}, {2, ImageStatus::Success}, {4, ImageStatus::Converting}})
            w.files.setStatus(row, status);
        w.view.selection()->replace({w.files.at(0).url, w.files.at(1).url});
        QVERIFY(QQuickTest::qWaitForPolish(w.window));
        QList<QRectF> placed; // apart, whole and inside the window
        for (const char* name : {"titleLabel", "addButton", "removeButton", "convertButton", "fileList", "countLabel", "keepMetadataBox",
                 "keepHdrBox", "runSummary", "showFolderButton"}) {
            QQuickItem* item = w.item(name);
            const QRectF box = item->mapRectToScene(QRectF(QPointF(), item->size()));
            QVERIFY2(item->isVisible() && QRectF(QPointF(), w.window->size()).contains(box) && box.width() >= item->implicitWidth() - 1 &&
                    std::none_of(placed.begin(), placed.end(), [&](const QRectF& other) { return box.intersects(other); }),
                name);
            placed << box;
        }
        QVERIFY(w.item("fileList")->height() > 60);
        QStringList said = {text(w.window, "addButton"), QCoreApplication::translate("QFileDialog", "Open")}; // Tessavo's words and Qt's
        QTimer closer; // then the titles of the real dialogs, each closed as it opens
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                said << dialog->windowTitle(), dialog->reject();
        });
        closer.start(20);
        DialogFilePicker().pickFiles(), DialogFolderPicker().pickFolder(FolderPurpose::Photos),
            DialogFolderPicker().pickFolder(FolderPurpose::Output);
        const QMap<QString, QStringList> titles = {
            {"en", {"Add images", "Open", "Add Images", "Add Folder", "Choose Where to Save the JPEGs"}},
            {"de", {"Bilder hinzufügen", "Öffnen", "Bilder hinzufügen", "Ordner hinzufügen", "Speicherort für die JPEGs wählen"}},
            {"fr", {"Ajouter des images", "Ouvrir", "Ajouter des images", "Ajouter un dossier", "Choisir où enregistrer les JPEG"}}};
        QCOMPARE(said, titles.value(QLocale::system().name().left(2)));

        const QPalette light = QGuiApplication::palette();
        w.item("keepHdrBox")->forceActiveFocus(Qt::TabFocusReason); // the list shows its edge, not its ring
        QPalette dark(QColor("#353535")); // white on black, with GTK's dark Adwaita selection, as dark as the window
        dark.setColor(QPalette::Highlight, QColor("#15539e"));
        for (const QPalette& palette : {light, dark}) {
            QGuiApplication::setPalette(palette);
            QCoreApplication::processEvents();
            for (int i = 0; i < 5; ++i) {
                QQuickItem* row = w.row(i);
                const QColor behind = colour(row, "rowBackground").alpha() ? colour(row, "rowBackground") : palette.color(QPalette::Base);
                const QColor iconBehind = row->findChild<QQuickItem*>("statusBadge")->isVisible() ? colour(row, "statusBadge") : behind;
                QVERIFY2(contrast(colour(row, "nameLabel"), behind) >= 4.5 && contrast(colour(row, "sizeLabel"), behind) >= 4.5 &&
                        contrast(colour(row, indicator(row)), iconBehind) >= 3.0,
                    qPrintable(QString::number(i)));
            }
            QVERIFY(contrast(w.item("runSummary")->property("color").value<QColor>(), palette.color(QPalette::Window)) >= 4.5);
            for (const char* name :
                {"addButton", "addFolderButton", "removeButton", "keepMetadataBox", "keepHdrBox", "showFolderButton", "dropZone"})
                for (const char* edge : {"outline", "focusRing"}) { // every control's edge, and its ring, at 3:1 on the window
                    const QQuickItem* line = w.item(name)->findChild<QQuickItem*>(edge);
                    QVERIFY2(line ? contrast(borderColour(line), palette.color(QPalette::Window)) >= 3
                                  : QByteArray(name) == "dropZone" && QByteArray(edge) == "focusRing",
                        name);
                }
            w.view.selection()->clear(); // disables Remove
            const QColor disabled = w.item("removeButton")->property("contentItem").value<QQuickItem*>()->property("color").value<QColor>();
            QVERIFY2(contrast(disabled, palette.color(QPalette::Disabled, QPalette::Button)) >= 4.5, qPrintable(disabled.name()));
            w.view.selection()->replace({w.files.at(0).url, w.files.at(1).url});
        }
        QGuiApplication::setPalette(light);
        QQuickWindow* about = w.showAbout(); // fits too, title bar and all
        QVERIFY(QTest::qWaitForWindowExposed(about) && w.window->screen()->availableGeometry().contains(about->frameGeometry()));
    }

    // At 2x (tests/ui/CMakeLists.txt) the screen's 640x400 points hold no About frame saved at 1x, so none is used.
    void aboutComesBackWhereItFitsAndClosesByKey()
    {
        const std::tuple<QRect, bool, QKeySequence> abouts[] = {{{37, 45, 302, 402}, true, Qt::Key_Escape},
            {{1100, 600, 302, 402}, false, Qt::CTRL | Qt::Key_W}, {{9000, 9000, 302, 402}, false, Qt::Key_Escape}};
        for (const auto& [saved, restoredAt1x, close] : abouts) { // the last two past the screen's edge, and off it
            MainWindow w({{"About/geometry", saved}});
            QQuickWindow* about = w.showAbout();
            QVERIFY(QTest::qWaitForWindowActive(about));
            QCOMPARE(about->framePosition() == saved.topLeft(), restoredAt1x && about->devicePixelRatio() < 1.5);
            QCOMPARE(about->findChild<QQuickItem*>("versionLabel")->property("text"), "Version 9.8.7");
            QTest::keySequence(about, close);
            QVERIFY2(!about->isVisible() && w.window->isVisible() && w.item("fileList")->hasActiveFocus(), qPrintable(close.toString()));
        }
    }

    // A link to a FIFO, whose reading would block the start, is neither read nor written over.
    void settingsThatAreNotAFileAreLeftAlone()
    {
        const QString conf = SettingsStore::defaultPath(), fifo = m_settings.filePath("fifo");
        QVERIFY(QDir().mkpath(QFileInfo(conf).path()) && ::mkfifo(QFile::encodeName(fifo), 0600) == 0 && QFile::link(fifo, conf));
        std::atomic_bool released = false;
        std::jthread watchdog([&](std::stop_token stop) { // lets a reader go after 10 s
            for (int i = 0; i < 100 && !stop.stop_requested(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!stop.stop_requested())
                released = true, ::close(::open(QFile::encodeName(fifo), O_WRONLY | O_NONBLOCK));
        });
        {
            ContentView view(desktopServices([](std::string_view) {}));
            QCOMPARE(view.intakeNotice(), "Settings cannot be kept: " + conf + " is not a regular file");
            view.run()->setKeepHdr(true);
            QVERIFY(view.run()->keepHdr());
        }
        watchdog.request_stop();
        QVERIFY(!released && QFileInfo(conf).isSymLink() && QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    }

    void keysReachTheMenuTheButtonsAndBackTheList()
    {
        MainWindow w;
        for (const char* name : {"A.HEIC", "B.HEIC", "C.HEIC"})
            w.desktop.files->answers << QList<QUrl>{w.file(name)};
        QDir(w.scratch.path()).mkdir("D"), w.file("D/D.HEIC"); // Add folder…, cancelled, then chosen
        w.desktop.folders->answers = {FolderChoice{}, FolderChoice{true, QUrl::fromLocalFile(w.path("D"))}};
        const std::tuple<const char*, QKeySequence, bool, int> presses[] = {{nullptr, Qt::Key_F10, true, 0},
            {nullptr, Qt::Key_Escape, false, 0}, {"addButton", Qt::Key_Return, false, 1}, {"addButton", Qt::Key_Enter, false, 2},
            {nullptr, Qt::Key_Space, false, 2}, {"removeButton", Qt::Key_Return, false, 1}, {nullptr, Qt::CTRL | Qt::Key_O, false, 2},
            {"addFolderButton", Qt::Key_Return, false, 2}, {"addFolderButton", Qt::Key_Return, false, 3}};
        for (const auto& [focus, keys, menuOpen, count] : presses) {
            QVERIFY(w.enabled("convertAction") == w.item("convertButton")->isEnabled());
            QVERIFY(w.enabled("clearAction") == (w.files.count() > 0));
            if (focus)
                w.item(focus)->forceActiveFocus(Qt::TabFocusReason);
            QTest::keySequence(w.window, keys);
            QTRY_COMPARE(w.window->findChild<QObject*>("fileMenu")->property("visible").toBool(), menuOpen);
            QTRY_COMPARE(w.files.count(), count);
            QVERIFY2(w.item("fileList")->hasActiveFocus() != menuOpen, qPrintable(keys.toString()));
        }
        // Tab goes round every control, each showing its ring, and a switch to another window and back leaves them so.
        QWindow other;
        QStringList visited;
        do {
            QTest::keyClick(w.window, Qt::Key_Tab);
            QQuickItem* item = w.window->activeFocusItem();
            for (QWindow* active : {&other, static_cast<QWindow*>(w.window)}) {
                active->show(), active->requestActivate();
                QVERIFY(QTest::qWaitForWindowActive(active));
            }
            const QQuickItem* ring = item->findChild<QQuickItem*>("focusRing");
            visited << (w.item("fileList")->hasActiveFocus() ? "fileList" : item->objectName());
            QVERIFY2(w.window->activeFocusItem() == item && (visited.last() == "fileList" || (ring && ring->isVisible())),
                qPrintable(visited.last()));
        } while (visited.size() < 9 && visited.last() != "fileList");
        QCOMPARE(visited.join(' '), "keepMetadataBox keepHdrBox besideOriginalsBox addButton addFolderButton convertButton fileList");
    }

    // Numbers grouped as each locale groups them; once the run is over, any change to the list takes its summary away.
    void closingAsksWhilePhotosWait()
    {
        const std::tuple<QList<Qt::Key>, bool, int, QLocale, QString> answers[] = {{{Qt::Key_Escape}, false, 0, QLocale::German, "1.002"},
            {{Qt::Key_Return}, false, 1, QLocale::French, "1\u202f002"},
            {{Qt::Key_Backtab, Qt::Key_Return}, true, 2, QLocale(QLocale::English, QLocale::UnitedStates), "1,002"}};
        const auto english = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        for (const auto& [answer, stop, change, locale, n] : answers) {
            QLocale::setDefault(locale); // the numbers' only: the words stay English
            MainWindow w;
            for (int i = 0; i < 1002; ++i)
                w.add(QString("%1.HEIC").arg(i), -1);
            QSemaphore held; // no job starts; let go at the latest when the row ends, failed or not
            const auto release = qScopeGuard([&] { held.release(conversionPool()->maxThreadCount()); });
            for (int i = 0; i < conversionPool()->maxThreadCount(); ++i)
                conversionPool()->start([&held] { held.acquire(); });
            w.desktop.folders->answers = {FolderChoice{true, QUrl::fromLocalFile(w.path("Out"))}}, w.view.run()->start();
            for (const QList<Qt::Key>& keys : {QList{Qt::Key_Escape}, answer}) { // asked again, the default shows its ring again
                QTest::keyClick(w.window, Qt::Key_Q, Qt::ControlModifier);
                QTRY_VERIFY(w.item("stopText")->isVisible() && !w.enabled("clearAction"));
                QCOMPARE(text(w.window, "stopText") + " | " + text(w.window, "countLabel") + " | " + text(w.window, "runSummary"),
                    n + " photos are not converted yet. | " + n + " photos | 0 of " + n + " converted");
                QVERIFY2(w.item("keepConvertingButton")->findChild<QQuickItem*>("focusRing")->isVisible(),
                    qPrintable(QKeySequence(keys[0]).toString()));
                for (Qt::Key key : keys)
                    QTest::keyClick(w.window, key);
                QTRY_VERIFY(!w.item("stopText")->isVisible());
            }
            QVERIFY(w.window->isVisible() != stop);
            QCOMPARE(listed(w.files).count(stop ? ":W" : ":C"), 1002);
            QVERIFY(stop || w.item("fileList")->hasActiveFocus());
            held.release(conversionPool()->maxThreadCount());
            QTRY_VERIFY(w.view.run()->state() != RunState::Running && w.item("runRow")->isVisible());
            const std::function<void()> changes[] = {[&] { w.add("D.HEIC"); },
                [&] { w.view.selection()->selectAll(), w.view.removeSelectedImages(); },
                [&] { QMetaObject::invokeMethod(w.window->findChild<QObject*>("clearAction"), "trigger"); }};
            changes[change]();
            QVERIFY(!w.item("runRow")->isVisible() && (change == 0 || w.files.count() == 0));
            QTest::keySequence(w.window, Qt::CTRL | Qt::Key_W);
            QVERIFY(!w.window->isVisible());
        }
    }

    // Kept on closing with the size last chosen, never one only given to fit (1400x900 here is 700x560 at 2x), unless resized.
    void mainWindowRestoresOnlyAPlaceThatFits()
    {
        const std::tuple<QRect, bool, bool, QSize> places[] = {{{100, 60, 700, 500}, false, true, {}},
            {{100, 60, 700, 500}, true, true, {}}, {{700, 60, 700, 500}, false, false, {}}, {{-3000, 60, 700, 500}, false, false, {}},
            {{100, 60, 1400, 900}, false, false, {}}, {{100, 60, 1400, 900}, false, false, {500, 400}}};
        for (const auto& [saved, maximized, restored, resized] : places) {
            MainWindow w({{"MainWindow/geometry", saved}, {"MainWindow/maximized", maximized}});
            QCOMPARE(placeOf(*w.window) == saved, restored && !maximized);
            QCOMPARE(w.window->windowStates().testFlag(Qt::WindowMaximized), maximized);
            w.window->resize(resized.isValid() ? resized : w.window->size());
            QTRY_COMPARE(w.window->contentItem()->size().toSize(), w.window->size()); // the resize delivered
            const QRect normal = maximized ? saved : QRect(w.window->framePosition(), resized.isValid() ? resized : saved.size());
            w.window->close();
            QCOMPARE(w.desktop.preferences->values.value("MainWindow/geometry").toRect(), normal);
            QCOMPARE(w.desktop.preferences->values.value("MainWindow/maximized").toBool(), maximized);
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
