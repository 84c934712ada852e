#include "main_window_harness.h"

#include <QAccessible>
#include <QColor>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

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
        if (child->isVisible())
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

        const QUrl first = harness.addFile("IMG_1.HEIC", 10);
        harness.addFile("IMG_2.HEIC", 10);
        QVERIFY(!enabled(remove));
        QVERIFY(enabled(convert));

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
        harness.addFile("holiday photo.heic", 2'340);
        harness.addFile("IMG_0003.HEIC", 999);
        model->appendFile(QUrl::fromLocalFile(harness.scratchPath("gone.heic")));
        model->setStatus(1, ImageStatus::Converting);
        model->setStatus(2, ImageStatus::Success);
        model->setStatus(3, ImageStatus::Error);

        QTRY_COMPARE(harness.rows().size(), 4);
        const QList<RowLook> expected{
            {"IMG_0001.HEIC", "1.5 MB", "waitingIcon"},
            {"holiday photo.heic", "2.3 kB", "convertingIndicator"},
            {"IMG_0003.HEIC", "999 bytes", "successIcon"},
            {"gone.heic", "Unknown", "errorIcon"},
        };
        QCOMPARE(looksOf(harness.rows()), expected);

        const auto rows = harness.rows();
        auto* busy = rows[1]->findChild<QQuickItem*>(QStringLiteral("convertingIndicator"));
        QCOMPARE(busy->scale(), 0.5);
        QVERIFY(busy->property("running").toBool());
        const QColor green = rows[2]->findChild<QQuickItem*>("successIcon")->property("color").value<QColor>();
        const QColor red = rows[3]->findChild<QQuickItem*>("errorIcon")->property("color").value<QColor>();
        QVERIFY2(green.green() > 2 * green.red() && green.green() > 2 * green.blue(), qPrintable(green.name()));
        QVERIFY2(red.red() > 2 * red.green() && red.red() > 2 * red.blue(), qPrintable(red.name()));
        // Every indicator takes the same room, so a status change never moves the row.
        for (QQuickItem* row : rows)
            QCOMPARE(row->height(), rows[0]->height());

        // The row reads out name, size and status.
        QAccessibleInterface* readOut = QAccessible::queryAccessibleInterface(rows[3]);
        QVERIFY(readOut);
        QCOMPARE(readOut->text(QAccessible::Name), "gone.heic, Unknown, Failed");

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
