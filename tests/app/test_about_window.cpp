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

// Centred (within the frame's margins, unknown before the first show), or
// at the top when taller than the screen.
bool centredOnScreen(const QWindow* window)
{
    const QRect frame = window->frameGeometry();
    const QRect screen = window->screen()->availableGeometry();
    const auto near = [](int a, int b) { return std::abs(a - b) <= 4; };
    return near(frame.center().x(), screen.center().x())
        && (frame.height() > screen.height() ? frame.top() == screen.top() : near(frame.center().y(), screen.center().y()));
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
    }

    // Run on a 1280x800 screen at 1x and at 2x (tests/CMakeLists.txt): at 2x
    // its 640x400 points hold no About frame, so nothing saved at 1x is used.
    void restoresOnlyAFrameThatFitsAScreen_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<bool>("restoredAt1x");
        QTest::newRow("inside") << QRect(37, 45, 302, 402) << true;
        QTest::newRow("corner on screen, rest past the bottom right") << QRect(1100, 600, 302, 402) << false;
        QTest::newRow("corner on screen, taller than the screen") << QRect(10, 10, 302, 900) << false;
        QTest::newRow("on a screen that is gone") << QRect(9000, 9000, 302, 402) << false;
    }

    void restoresOnlyAFrameThatFitsAScreen()
    {
        QFETCH(QRect, saved);
        QFETCH(bool, restoredAt1x);
        QSettings().setValue("About/geometry", saved);
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        QVERIFY(chooseAbout(harness));
        QQuickWindow* about = hostOf(harness)->window();
        const bool restored = restoredAt1x && about->screen()->devicePixelRatio() < 1.5;
        if (restored)
            QCOMPARE(about->framePosition(), saved.topLeft());
        else
            QVERIFY(centredOnScreen(about));
    }

    void escapeAndCtrlWClose()
    {
        MainWindowHarness harness;
        QVERIFY(harness.loaded());
        for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            QVERIFY(chooseAbout(harness));
            QQuickWindow* about = hostOf(harness)->window();
            about->requestActivate();
            QVERIFY(QTest::qWaitForWindowActive(about));
            QTest::keySequence(about, keys);
            QVERIFY2(!about->isVisible(), qPrintable(keys.toString()));
        }
        QVERIFY(harness.window()->isVisible());
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
