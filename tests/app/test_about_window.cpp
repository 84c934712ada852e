#include "main_window_harness.h"
#include "ui/about_window_host.h"

#include <QGuiApplication>
#include <QQmlListReference>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tessavo;
using namespace tessavo::testing;

namespace {

AboutWindowHost* hostOf(MainWindowHarness& harness)
{
    return harness.window()->findChild<AboutWindowHost*>(QStringLiteral("aboutWindowHost"));
}

// Chooses Help > About Tessavo the way the menu does: through the item's action.
bool chooseAbout(MainWindowHarness& harness)
{
    auto* action = harness.object("aboutAction");
    return action && QMetaObject::invokeMethod(action, "trigger");
}

int aboutWindowsOpen()
{
    int count = 0;
    for (QWindow* window : QGuiApplication::topLevelWindows())
        count += window->isVisible() && window->size() == QSize(300, 400);
    return count;
}

// As the user would: the window system reports the move before anything else happens.
void moveTo(QWindow* window, QPoint framePosition)
{
    window->setFramePosition(framePosition);
    QCoreApplication::processEvents();
}

bool centredOnScreen(const QWindow* window)
{
    return window->geometry().center() == window->screen()->availableGeometry().center();
}

} // namespace

class TestAboutWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("tessavo-test"));
        QCoreApplication::setApplicationName(QStringLiteral("test_about_window"));
    }

    void init() { QSettings().remove(QStringLiteral("About")); }

    void helpMenuHoldsOnlyAbout()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        auto* menuBar = harness.window()->property("menuBar").value<QObject*>();
        QVERIFY(menuBar);
        QQmlListReference menus(menuBar, "menus");
        QCOMPARE(menus.count(), 1);
        QObject* menu = menus.at(0);
        QVERIFY(menu);
        QCOMPARE(menu->property("title").toString().remove(u'&'), QStringLiteral("Help"));
        QCOMPARE(menu->property("count").toInt(), 1);
        QQuickItem* item = nullptr;
        QVERIFY(QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item), Q_ARG(int, 0)));
        QVERIFY(item);
        QCOMPARE(item->property("text").toString(), QStringLiteral("About Tessavo"));
        QCOMPARE(item->property("action").value<QObject*>(), harness.object("aboutAction"));
    }

    void aboutWindowIsBuiltOnceAndReused()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        AboutWindowHost* host = hostOf(harness);
        QVERIFY(host);
        QVERIFY(!host->window());

        QVERIFY(chooseAbout(harness));
        QQuickWindow* about = host->window();
        QVERIFY(about);
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->size(), QSize(300, 400));
        QCOMPARE(about->minimumSize(), QSize(300, 400));
        QCOMPARE(about->maximumSize(), QSize(300, 400));
        const Qt::WindowFlags flags = about->flags();
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(about->title().trimmed().remove(QChar(0x200B)).isEmpty());
        QVERIFY(centredOnScreen(about));

        QVERIFY(chooseAbout(harness));
        QVERIFY(chooseAbout(harness));
        QCOMPARE(host->window(), about);
        QCOMPARE(aboutWindowsOpen(), 1);

        // Closed, it is kept: the next choice shows the same window where it was.
        moveTo(about, QPoint(40, 50));
        QVERIFY(about->close());
        QVERIFY(!about->isVisible());
        QVERIFY(chooseAbout(harness));
        QCOMPARE(host->window(), about);
        QVERIFY(about->isVisible());
        QCOMPARE(about->framePosition(), QPoint(40, 50));
        QCOMPARE(aboutWindowsOpen(), 1);
    }

    void positionIsRememberedAcrossLaunches()
    {
        {
            MainWindowHarness harness;
            QVERIFY(harness.loaded());
            QVERIFY(chooseAbout(harness));
            QQuickWindow* about = hostOf(harness)->window();
            moveTo(about, QPoint(37, 45));
            about->close();
        }
        QCOMPARE(QSettings().value("About/geometry").toRect().topLeft(), QPoint(37, 45));
        {
            MainWindowHarness harness;
            QVERIFY(harness.loaded());
            QVERIFY(chooseAbout(harness));
            QCOMPARE(hostOf(harness)->window()->framePosition(), QPoint(37, 45));
            // Still open when the application ends: saved as it ends.
            moveTo(hostOf(harness)->window(), QPoint(61, 72));
        }
        QCOMPARE(QSettings().value("About/geometry").toRect().topLeft(), QPoint(61, 72));

        // A position on a screen that is no longer there is not used.
        QSettings().setValue("About/geometry", QRect(9000, 9000, 300, 400));
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        QVERIFY(chooseAbout(harness));
        QQuickWindow* about = hostOf(harness)->window();
        QVERIFY(centredOnScreen(about));
    }

    void aboutViewLaysOutIconTextsAndFootnote()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        QVERIFY(chooseAbout(harness));
        QQuickWindow* about = hostOf(harness)->window();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        auto* icon = about->findChild<QQuickItem*>(QStringLiteral("appIcon"));
        auto* description = about->findChild<QQuickItem*>(QStringLiteral("descriptionLabel"));
        auto* footnote = about->findChild<QQuickItem*>(QStringLiteral("attributionLabel"));
        QVERIFY(icon && description && footnote);
        QCOMPARE(icon->property("status").toInt(), 1); // Image.Ready: the icon is in the resources

        const QRectF iconBox = icon->mapRectToScene(QRectF(QPointF(), icon->size()));
        QCOMPARE(iconBox, QRectF(100, 20, 100, 100));

        // The description wraps within 300 less 20 on each side.
        const QRectF text = description->mapRectToScene(QRectF(QPointF(), description->size()));
        QVERIFY2(text.left() >= 20 && text.right() <= 280, qPrintable(QString::number(text.width())));
        QVERIFY(description->property("lineCount").toInt() >= 2);

        const QRectF bottom = footnote->mapRectToScene(QRectF(QPointF(), footnote->size()));
        QCOMPARE(bottom.bottom(), 380.0);
    }
};

QTEST_MAIN(TestAboutWindow)
#include "test_about_window.moc"
