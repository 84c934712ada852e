#include "main_window_harness.h"

#include "file_list_columns.h"
#include "held_pool.h"
#include "test_files.h"

#include <QAccessible>
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <QTest>
#include <QThreadPool>
#include <QtQuickTest/quicktest.h>

#include <cmath>

using namespace tessavo;
using namespace tessavo::testing;

namespace {

bool enabled(QQuickItem* item) { return item && item->isEnabled(); }

// objectName of the one visible indicator of a row, or a description of what is wrong.
QString shownIndicator(QQuickItem* row)
{
    auto* slot = row->findChild<QQuickItem*>(QStringLiteral("statusIndicator"));
    if (!slot)
        return QStringLiteral("no indicator");
    QStringList visible;
    for (QQuickItem* child : slot->childItems()) {
        if (child->isVisible() && child->objectName() != QLatin1String("statusBadge"))
            visible.append(child->objectName());
    }
    return visible.size() == 1 ? visible.constFirst() : QStringLiteral("visible: ") + visible.join(u',');
}

QString textOf(QQuickItem* row, const char* label)
{
    auto* item = row->findChild<QQuickItem*>(QLatin1String(label));
    return item ? item->property("text").toString() : QStringLiteral("no label");
}

struct RowLook {
    QString name, size, indicator;
    bool operator==(const RowLook&) const = default;
};

char* toString(const RowLook& look)
{
    return QTest::toString(QStringList{look.name, look.size, look.indicator}.join(u'|'));
}

QList<RowLook> looksOf(const QList<QQuickItem*>& rows)
{
    QList<RowLook> looks;
    for (QQuickItem* row : rows)
        looks.append({textOf(row, "nameLabel"), textOf(row, "sizeLabel"), shownIndicator(row)});
    return looks;
}

QList<bool> highlightedRows(const QList<QQuickItem*>& rows)
{
    QList<bool> selected;
    for (QQuickItem* row : rows)
        selected.append(row->property("selected").toBool());
    return selected;
}

// The colour an item of the row draws with: `color` of a text or icon.
QColor colourOf(QQuickItem* row, const char* name)
{
    auto* item = row->findChild<QQuickItem*>(QLatin1String(name));
    return item ? item->property("color").value<QColor>() : QColor();
}

// The WCAG contrast ratio, 1 to 21.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor borderColour(MainWindowHarness& harness)
{
    auto* border = harness.item("dropBorder");
    return border->property("border").value<QObject*>()->property("color").value<QColor>();
}

void dragEnter(QQuickWindow* window, QPoint at, QMimeData* data)
{
    QDragEnterEvent event(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

void dragLeave(QQuickWindow* window)
{
    QDragLeaveEvent event;
    QCoreApplication::sendEvent(window, &event);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Size texts are checked in one known locale.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void buttonsFollowTheListAndTheSelection()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        auto* add = harness.item("addButton");
        auto* remove = harness.item("removeButton");
        auto* convert = harness.item("convertButton");

        QVERIFY(enabled(add));
        QVERIFY(!enabled(remove));
        QVERIFY(!enabled(convert));
        auto* hint = harness.item("emptyHint");
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->property("text").toString(), "Drop HEIC files here, or use Add images");

        const QUrl first = harness.addFile("IMG_1.HEIC", 10);
        harness.addFile("IMG_2.HEIC", 10);
        QVERIFY(!enabled(remove));
        QVERIFY(enabled(convert));
        QTRY_VERIFY(!hint->isVisible());

        harness.view().selectOnly(first);
        QVERIFY(enabled(remove));

        // A run in progress or finished does not matter to the convert button.
        harness.view().droppedFiles()->setStatus(0, ImageStatus::Converting);
        harness.view().droppedFiles()->setStatus(1, ImageStatus::Error);
        QVERIFY(enabled(convert));

        harness.view().clearSelection();
        QVERIFY(!enabled(remove));

        harness.view().selectAll();
        harness.view().removeSelectedImages();
        QVERIFY(enabled(add));
        QVERIFY(!enabled(remove));
        QVERIFY(!enabled(convert));
    }

    void rowsShowNameSizeAndStatusInListOrder()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        auto* model = harness.view().droppedFiles();
        harness.addFile("IMG_0001.HEIC", 1'500'000);
        harness.addFile("P001_holiday photo at the beach.heic", 2'340);
        harness.addFile("IMG_0003.HEIC", 999);
        model->appendFile(QUrl::fromLocalFile(harness.scratchPath("gone.heic")));
        model->setStatus(1, ImageStatus::Converting);
        model->setStatus(2, ImageStatus::Success);
        model->setStatus(3, ImageStatus::Error);

        QTRY_COMPARE(harness.rows().size(), 4);
        const QList<RowLook> expected{
            {"IMG_0001.HEIC", "1.5 MB", "waitingIcon"},
            {"P001_holiday photo at the beach.heic", "2.3 kB", "convertingIndicator"},
            {"IMG_0003.HEIC", "999 bytes", "successIcon"},
            {"gone.heic", "Unknown", "errorIcon"},
        };
        QCOMPARE(looksOf(harness.rows()), expected);

        const auto rows = harness.rows();
        const QColor green = rows[2]->findChild<QQuickItem*>("successIcon")->property("color").value<QColor>();
        const QColor red = rows[3]->findChild<QQuickItem*>("errorIcon")->property("color").value<QColor>();
        QVERIFY2(green.green() > 2 * green.red() && green.green() > 2 * green.blue(), qPrintable(green.name()));
        QVERIFY2(red.red() > 2 * red.green() && red.red() > 2 * red.blue(), qPrintable(red.name()));
        // Every indicator takes the same room, so a status change never moves
        // the row; a name with room to spare is shown whole.
        for (QQuickItem* row : rows) {
            QCOMPARE(row->height(), rows[0]->height());
            QVERIFY(!row->findChild<QQuickItem*>("nameLabel")->property("truncated").toBool());
        }

        // The row reads out name, size and status, and why it failed; its
        // tooltip gives the whole path.
        const QString why = QStringLiteral("Could not write to Out: No space left on device");
        model->setFailed(3, {ConversionStep::Finalize, QStringLiteral("No space left on device"), "/home/me/Out/gone.jpg"});
        QAccessibleInterface* readOut = QAccessible::queryAccessibleInterface(rows[3]);
        QVERIFY(readOut);
        QCOMPARE(readOut->text(QAccessible::Name), "gone.heic, Unknown, Failed");
        QCOMPARE(readOut->text(QAccessible::Description), why);
        QCOMPARE(rows[3]->property("toolTipText").toString(), harness.scratchPath("gone.heic") + u'\n' + why);
        QCOMPARE(rows[0]->property("toolTipText").toString(), harness.scratchPath("IMG_0001.HEIC"));

        // One status changes: that row's indicator only.
        auto changed = expected;
        changed[0].indicator = "convertingIndicator";
        model->setStatus(0, ImageStatus::Converting);
        QCOMPARE(looksOf(harness.rows()), changed);
        changed[0].indicator = "successIcon";
        model->setStatus(0, ImageStatus::Success);
        QCOMPARE(looksOf(harness.rows()), changed);
    }

    void selectionFollowsClicksAndKeys()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        QList<QUrl> urls;
        for (int i = 0; i < 4; ++i)
            urls.append(harness.addFile(QString("IMG_%1.HEIC").arg(i), 100));
        QTRY_COMPARE(harness.rows().size(), 4);
        const auto rows = harness.rows();
        auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
            QTest::mouseClick(harness.window(), Qt::LeftButton, modifiers, harness.centreOf(rows[row]));
        };
        const auto selected = [&] { return harness.view().selectedFiles(); };

        click(1);
        QCOMPARE(selected(), (QList<QUrl>{urls[1]}));
        QCOMPARE(highlightedRows(rows), (QList<bool>{false, true, false, false}));

        click(3, Qt::ControlModifier);
        QCOMPARE(selected(), (QList<QUrl>{urls[1], urls[3]}));
        click(1, Qt::ControlModifier);
        QCOMPARE(selected(), (QList<QUrl>{urls[3]}));

        // From the last clicked row (the anchor) down to the shift-clicked one.
        click(3, Qt::ShiftModifier);
        QCOMPARE(selected(), (QList<QUrl>{urls[1], urls[2], urls[3]}));
        QCOMPARE(highlightedRows(rows), (QList<bool>{false, true, true, true}));

        click(0);
        QCOMPARE(selected(), (QList<QUrl>{urls[0]}));

        QTest::keyClick(harness.window(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(selected(), urls);
        QCOMPARE(highlightedRows(rows), (QList<bool>{true, true, true, true}));
    }

    // The list's keys, on more rows than it shows: the current row carries
    // the focus frame and plain keys select it.
    void keysMoveSelectAndShowFocus()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        QList<QUrl> urls;
        for (int i = 0; i < 60; ++i)
            urls.append(harness.addFile(QString("IMG_%1.HEIC").arg(i), 100));
        auto* list = harness.item("fileList");
        QTRY_VERIFY(!harness.rows().isEmpty());
        const int shown = int(list->height() / harness.rows().constFirst()->height());
        QVERIFY2(shown > 3 && shown < 50, qPrintable(QString::number(shown)));
        list->forceActiveFocus();
        const auto current = [&] { return list->property("currentIndex").toInt(); };
        const auto selected = [&] { return harness.view().selectedFiles(); };
        const auto key = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
            QTest::keyClick(harness.window(), key, modifiers);
        };

        key(Qt::Key_End);
        QCOMPARE(current(), 59);
        QCOMPARE(selected(), QList<QUrl>{urls[59]});
        key(Qt::Key_PageUp);
        const int pageUp = current();
        QVERIFY2(pageUp < 59 - 2 && pageUp > 59 - shown, qPrintable(QString::number(pageUp)));
        key(Qt::Key_Home);
        QCOMPARE(selected(), QList<QUrl>{urls[0]});
        key(Qt::Key_PageDown, Qt::ShiftModifier);
        QCOMPARE(selected(), urls.mid(0, current() + 1));
        QCOMPARE(current(), 59 - pageUp);
        key(Qt::Key_Home);
        key(Qt::Key_Down, Qt::ControlModifier);
        key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(selected(), QList<QUrl>{urls[0]});
        key(Qt::Key_Space);
        QCOMPARE(selected(), (QList<QUrl>{urls[0], urls[2]}));
        key(Qt::Key_Space);
        QCOMPARE(selected(), QList<QUrl>{urls[0]});

        // The frame is on the current row alone, and only while the list has focus.
        const auto framed = [&] {
            QList<int> rows;
            const auto shownRows = harness.rows();
            for (int i = 0; i < shownRows.size(); ++i) {
                if (shownRows[i]->findChild<QQuickItem*>("focusFrame")->isVisible())
                    rows << i;
            }
            return rows;
        };
        QCOMPARE(framed(), QList<int>{2});
        harness.item("addButton")->forceActiveFocus();
        QCOMPARE(framed(), QList<int>{});
    }

    void dropBorderShowsOnlyWhileADragHovers()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        QQuickWindow* window = harness.window();
        auto* zone = harness.item("dropZone");
        auto* list = harness.item("fileList");
        auto* border = harness.item("dropBorder");
        QCOMPARE(border->property("radius").toReal(), 10.0);
        QCOMPARE(border->property("border").value<QObject*>()->property("width").toReal(), 2.0);
        QCOMPARE(borderColour(harness).alpha(), 0);
        const QRectF listAtRest(list->mapToScene(QPointF()), list->size());

        const QString heic = harness.scratchPath("IMG_9.HEIC");
        const QString text = harness.scratchPath("notes.txt");
        for (const QString& path : {heic, text})
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(heic), QUrl::fromLocalFile(text)});

        // The padding around the list belongs to the drop zone.
        const QPoint onPadding = zone->mapToScene(QPointF(3, zone->height() / 2)).toPoint();
        QVERIFY(!list->contains(list->mapFromScene(onPadding)));
        dragEnter(window, onPadding, &files);
        QVERIFY(harness.view().isTargeted());
        const QColor hover = borderColour(harness);
        QCOMPARE(hover.alpha(), 255);
        QVERIFY2(hover.blue() > 2 * hover.red() && hover.blue() > hover.green(), qPrintable(hover.name()));
        QCOMPARE(QRectF(list->mapToScene(QPointF()), list->size()), listAtRest);

        dragLeave(window);
        QVERIFY(!harness.view().isTargeted());
        QCOMPARE(borderColour(harness).alpha(), 0);

        // Text without file URLs is no drag for this zone.
        QMimeData plain;
        plain.setText("IMG_9.HEIC");
        dragEnter(window, harness.centreOf(list), &plain);
        QVERIFY(!harness.view().isTargeted());
        dragLeave(window);

        dragEnter(window, harness.centreOf(list), &files);
        QVERIFY(harness.view().isTargeted());
        QDropEvent drop(harness.centreOf(list), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        QVERIFY(!harness.view().isTargeted());
        QCOMPARE(borderColour(harness).alpha(), 0);
        QTRY_COMPARE(harness.view().droppedFiles()->count(), 1);
        QCOMPARE(harness.view().droppedFiles()->at(0).url, QUrl::fromLocalFile(heic));
    }

    // A run shows its progress and can be cancelled; afterwards the summary
    // stays and Show folder reveals the folder again.
    void runRowFollowsTheRun()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        for (const char* name : {"IMG_1.HEIC", "IMG_2.HEIC", "IMG_3.HEIC"}) {
            QVERIFY(writeHeic(harness.scratchPath(name)));
            harness.view().droppedFiles()->appendFile(QUrl::fromLocalFile(harness.scratchPath(name)));
        }
        harness.addFile("bad.heic", 100);
        auto* runRow = harness.item("runRow");
        auto* progress = harness.item("runProgress");
        auto* summary = harness.item("runSummary");
        auto* cancel = harness.item("cancelButton");
        auto* showFolder = harness.item("showFolderButton");
        QVERIFY(!runRow->isVisible());

        const QUrl out = QUrl::fromLocalFile(harness.scratchPath("Out"));
        HeldPool held;
        harness.desktop().folders->answers = {FolderChoice{true, out}};
        QTest::mouseClick(harness.window(), Qt::LeftButton, {}, harness.centreOf(harness.item("convertButton")));
        QVERIFY(runRow->isVisible() && progress->isVisible() && cancel->isVisible() && cancel->isEnabled());
        QVERIFY(!showFolder->isVisible());
        QCOMPARE(summary->property("text").toString(), "0 of 4 converted");
        // The converting rows' spinners turn.
        auto* spinner = harness.rows().constFirst()->findChild<QQuickItem*>("convertingIndicator");
        const qreal angle = spinner->rotation();
        QTRY_VERIFY(spinner->rotation() != angle);

        QTest::mouseClick(harness.window(), Qt::LeftButton, {}, harness.centreOf(cancel));
        held.release();
        QCOMPARE(summary->property("text").toString(), "Cancelled: 0 of 4 converted");
        QVERIFY(!progress->isVisible() && !cancel->isVisible() && showFolder->isVisible());
        QCOMPARE(statusesOf(*harness.view().droppedFiles()), QList<ImageStatus>(4, ImageStatus::Waiting));

        harness.desktop().folders->answers = {FolderChoice{true, out}};
        harness.view().convertToJPEG();
        QTRY_COMPARE_WITH_TIMEOUT(summary->property("text").toString(), QString("3 converted, 1 failed"), 30000);
        QCOMPARE(progress->property("value").toDouble(), 4.0);
        QVERIFY(!progress->isVisible() && showFolder->isVisible());
        QCOMPARE(harness.desktop().revealer->revealed, QList<QUrl>{out});
        QTest::mouseClick(harness.window(), Qt::LeftButton, {}, harness.centreOf(showFolder));
        QCOMPARE(harness.desktop().revealer->revealed, (QList<QUrl>{out, out}));
    }

    // Registered again at 2x on a 1280x800 screen (tests/ui/CMakeLists.txt).
    // The window and its controls fit the screen, and texts and icons stand
    // out from what is behind them, selected or not, light or dark.
    void fitsTheScreenAndReadsClearly()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        QQuickWindow* window = harness.window();
        QVERIFY2(window->screen()->availableGeometry().contains(window->frameGeometry()),
                 qPrintable(QStringLiteral("%1x%2").arg(window->frameGeometry().width()).arg(window->frameGeometry().height())));
        auto* model = harness.view().droppedFiles();
        for (int i = 1; i <= 5; ++i)
            harness.addFile(QString("IMG_%1.HEIC").arg(i), 10);
        // A cancelled run shows the summary and Show folder; then every status.
        HeldPool held;
        harness.desktop().folders->answers = {FolderChoice{true, QUrl::fromLocalFile(harness.scratchPath("Out"))}};
        harness.view().convertToJPEG();
        harness.view().cancelConversion();
        for (int row : {0, 2})
            model->setStatus(row, ImageStatus::Success);
        for (int row : {1, 3})
            model->setFailed(row, {ConversionStep::Decode, {}, {}});
        model->setStatus(4, ImageStatus::Converting);
        harness.view().setSelectedFiles({model->at(0).url, model->at(1).url});
        QVERIFY(QQuickTest::qWaitForPolish(window));
        const QRectF content(QPointF(), window->size());
        QList<QRectF> placed;
        for (const char* name : {"titleLabel", "addButton", "removeButton", "convertButton", "fileList", "runSummary",
                                 "showFolderButton"}) {
            auto* item = harness.item(name);
            QVERIFY2(item && item->isVisible(), name);
            const QRectF box = item->mapRectToScene(QRectF(QPointF(), item->size()));
            QVERIFY2(content.contains(box) && box.width() >= item->implicitWidth() - 1, name);
            for (const QRectF& other : placed)
                QVERIFY2(!box.intersects(other), name);
            placed << box;
        }
        QVERIFY(harness.item("fileList")->height() > 60);
        held.release();

        const QPalette light = QGuiApplication::palette();
        QPalette dark = light;
        for (const auto& [role, colour] : {std::pair{QPalette::Window, "#353535"}, {QPalette::Base, "#242424"},
                                           {QPalette::Text, "#f0f0f0"}, {QPalette::WindowText, "#f0f0f0"},
                                           {QPalette::Button, "#404040"}, {QPalette::ButtonText, "#f0f0f0"},
                                           {QPalette::Highlight, "#3d8ee8"}, {QPalette::HighlightedText, "#ffffff"}})
            dark.setColor(role, QColor(colour));
        for (const QPalette& palette : {light, dark}) {
            QGuiApplication::setPalette(palette);
            QCoreApplication::processEvents();
            const QColor base = palette.color(QPalette::Base);
            for (QQuickItem* row : harness.rows()) {
                const QColor behind = colourOf(row, "rowBackground").alpha() ? colourOf(row, "rowBackground") : base;
                const QString where = row->property("fileName").toString() + (row->property("selected").toBool() ? " selected" : "");
                QVERIFY2(contrast(colourOf(row, "nameLabel"), behind) >= 4.5, qPrintable(where));
                QVERIFY2(contrast(colourOf(row, "sizeLabel"), behind) >= 4.5, qPrintable(where));
                const QString shown = shownIndicator(row);
                auto* badge = row->findChild<QQuickItem*>("statusBadge");
                const QColor iconBehind = badge->isVisible() ? colourOf(row, "statusBadge") : behind;
                QVERIFY2(contrast(colourOf(row, qPrintable(shown)), iconBehind) >= 3.0, qPrintable(where + ' ' + shown));
            }
            QVERIFY(contrast(harness.item("runSummary")->property("color").value<QColor>(),
                             palette.color(QPalette::Window)) >= 4.5);
        }
        QGuiApplication::setPalette(light);
    }

    void keyboardShortcutsAddAndRemove()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        const QUrl kept = harness.addFile("IMG_1.HEIC", 10);
        const QUrl picked = QUrl::fromLocalFile(harness.scratchPath("IMG_2.HEIC"));
        QVERIFY(QFile(picked.toLocalFile()).open(QIODevice::WriteOnly));
        harness.desktop().files->answers = {QList<QUrl>{picked}};

        QTest::keyClick(harness.window(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(harness.desktop().files->calls, 1);
        QCOMPARE(harness.view().droppedFiles()->count(), 2);

        // Nothing selected: Delete removes nothing.
        QTest::keyClick(harness.window(), Qt::Key_Delete);
        QCOMPARE(harness.view().droppedFiles()->count(), 2);

        harness.view().selectOnly(picked);
        QTest::keyClick(harness.window(), Qt::Key_Delete);
        QCOMPARE(harness.view().droppedFiles()->count(), 1);
        QCOMPARE(harness.view().droppedFiles()->at(0).url, kept);
        QCOMPARE(harness.view().selectionCount(), 0);
    }

    void activationClearsKeyboardFocus()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        auto* add = harness.item("addButton");
        auto* list = harness.item("fileList");
        add->forceActiveFocus();
        QCOMPARE(harness.window()->activeFocusItem(), add);
        QCOMPARE(QGuiApplication::applicationState(), Qt::ApplicationActive);

        emit qApp->applicationStateChanged(Qt::ApplicationActive);
        QQuickItem* focused = harness.window()->activeFocusItem();
        QVERIFY(focused != add);
        QVERIFY(focused != list);
        QVERIFY(!focused || !focused->inherits("QQuickControl"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
