#include "model/content_view.h"

#include "fake_platform.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessavo;
using namespace tessavo::testing;

// The list's selection is a set of URLs; these are the mouse and keyboard
// gestures the window maps onto it.
class SelectionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeDesktop> m_desktop;
    QList<QUrl> m_urls;
    ContentView* view() { return m_desktop->view.get(); }

    QList<QUrl> pick(std::initializer_list<int> rows) const
    {
        QList<QUrl> urls;
        for (int row : rows)
            urls << m_urls[row];
        return urls;
    }

private slots:
    void init()
    {
        m_desktop = std::make_unique<FakeDesktop>(m_dir.filePath(QStringLiteral("bookmarks.sqlite")));
        m_urls.clear();
        for (int i = 0; i < 6; ++i)
            m_urls << QUrl::fromLocalFile(QStringLiteral("/nowhere/IMG_%1.heic").arg(i));
        // Bookmarks of these missing files fail; the selection does not care.
        for (const QUrl& url : m_urls)
            view()->droppedFiles()->appendFile(url);
    }

    void clickToggleAndQueries()
    {
        QSignalSpy changed(view(), &ContentView::selectedFilesChanged);
        view()->selectOnly(m_urls[2]);
        QCOMPARE(view()->selectedFiles(), pick({2}));
        QVERIFY(view()->isSelected(m_urls[2]));
        QVERIFY(!view()->isSelected(m_urls[1]));
        view()->selectOnly(m_urls[2]);
        QCOMPARE(changed.count(), 1); // same selection, no signal

        view()->toggleSelected(m_urls[4]);
        view()->toggleSelected(m_urls[0]);
        QCOMPARE(view()->selectedFiles(), pick({0, 2, 4})); // list order
        QCOMPARE(view()->selectionCount(), 3);
        view()->toggleSelected(m_urls[2]);
        QCOMPARE(view()->selectedFiles(), pick({0, 4}));
        QCOMPARE(changed.count(), 4);

        view()->selectOnly(m_urls[5]);
        QCOMPARE(view()->selectedFiles(), pick({5}));
        view()->clearSelection();
        QCOMPARE(view()->selectionCount(), 0);
        QCOMPARE(changed.count(), 6);
    }

    void shiftClickSelectsTheRangeFromTheAnchor()
    {
        view()->selectOnly(m_urls[1]);
        view()->extendSelectionTo(m_urls[4]);
        QCOMPARE(view()->selectedFiles(), pick({1, 2, 3, 4}));
        // The anchor stays: a second shift-click replaces the range.
        view()->extendSelectionTo(m_urls[0]);
        QCOMPARE(view()->selectedFiles(), pick({0, 1}));

        // A ctrl-click moves the anchor.
        view()->toggleSelected(m_urls[5]);
        view()->extendSelectionTo(m_urls[3]);
        QCOMPARE(view()->selectedFiles(), pick({3, 4, 5}));

        // An unlisted target changes nothing.
        view()->extendSelectionTo(QUrl::fromLocalFile(QStringLiteral("/elsewhere.heic")));
        QCOMPARE(view()->selectedFiles(), pick({3, 4, 5}));
    }

    void shiftClickWithoutAListedAnchorStartsAtTheClick()
    {
        view()->extendSelectionTo(m_urls[3]);
        QCOMPARE(view()->selectedFiles(), pick({3}));

        view()->selectOnly(m_urls[1]);
        view()->removeSelectedImages(); // the anchor's entry is gone
        view()->extendSelectionTo(m_urls[4]);
        QCOMPARE(view()->selectedFiles(), pick({4}));
    }

    void selectAllAndPropertyWrite()
    {
        view()->selectAll();
        QCOMPARE(view()->selectedFiles(), m_urls);
        const QUrl stranger = QUrl::fromLocalFile(QStringLiteral("/elsewhere.heic"));
        QVERIFY(view()->setProperty("selectedFiles", QVariant::fromValue(QList<QUrl>{stranger, m_urls[3]})));
        QCOMPARE(view()->property("selectionCount").toInt(), 2);
        QCOMPARE(view()->selectedFiles(), (QList<QUrl>{m_urls[3], stranger}));
    }

    void targetedFlagNotifiesOnChangeOnly()
    {
        QSignalSpy changed(view(), &ContentView::isTargetedChanged);
        view()->setIsTargeted(true);
        view()->setIsTargeted(true);
        QVERIFY(view()->isTargeted());
        view()->setIsTargeted(false);
        QCOMPARE(changed.count(), 2);
    }
};

QTEST_MAIN(SelectionTest)
#include "test_selection.moc"
