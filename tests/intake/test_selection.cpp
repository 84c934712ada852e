#include "model/content_view.h"

#include "fake_platform.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessavo;
using namespace tessavo::testing;

// The gestures the window maps onto the selection, a set of URLs.
class SelectionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeDesktop> m_desktop;
    QList<QUrl> m_urls;
    ContentView* view() { return m_desktop->view.get(); }

    QList<QUrl> rows(std::initializer_list<int> numbers) const
    {
        QList<QUrl> urls;
        for (int row : numbers)
            urls << m_urls[row];
        return urls;
    }

private slots:
    void init()
    {
        m_desktop = std::make_unique<FakeDesktop>(m_dir.filePath(QStringLiteral("bookmarks.sqlite")));
        m_urls.clear();
        for (int i = 0; i < 6; ++i) {
            m_urls << QUrl::fromLocalFile(QStringLiteral("/nowhere/IMG_%1.heic").arg(i));
            view()->droppedFiles()->appendFile(m_urls.last());
        }
    }

    void clickAndCtrlClick()
    {
        QSignalSpy changed(view(), &ContentView::selectedFilesChanged);
        view()->selectOnly(m_urls[2]);
        view()->selectOnly(m_urls[2]);
        QCOMPARE(changed.count(), 1); // an unchanged selection does not notify
        view()->toggleSelected(m_urls[4]);
        view()->toggleSelected(m_urls[0]);
        QCOMPARE(view()->selectedFiles(), rows({0, 2, 4})); // in list order
        QVERIFY(view()->isSelected(m_urls[4]) && !view()->isSelected(m_urls[1]));
        view()->toggleSelected(m_urls[2]);
        QCOMPARE(view()->selectedFiles(), rows({0, 4}));
        QCOMPARE(view()->selectionCount(), 2);
        view()->selectOnly(m_urls[5]);
        QCOMPARE(view()->selectedFiles(), rows({5}));
        view()->selectAll();
        QCOMPARE(view()->selectedFiles(), m_urls);
        view()->clearSelection();
        QCOMPARE(view()->selectionCount(), 0);
        QCOMPARE(changed.count(), 7);
    }

    void shiftClickSelectsTheRangeFromTheAnchor()
    {
        view()->selectOnly(m_urls[1]);
        view()->extendSelectionTo(m_urls[4]);
        QCOMPARE(view()->selectedFiles(), rows({1, 2, 3, 4}));
        view()->extendSelectionTo(m_urls[0]); // same anchor, range replaced
        QCOMPARE(view()->selectedFiles(), rows({0, 1}));
        view()->toggleSelected(m_urls[5]); // moves the anchor
        view()->extendSelectionTo(m_urls[3]);
        QCOMPARE(view()->selectedFiles(), rows({3, 4, 5}));
        view()->extendSelectionTo(QUrl::fromLocalFile(QStringLiteral("/elsewhere.heic")));
        QCOMPARE(view()->selectedFiles(), rows({3, 4, 5}));

        // Once the anchor's entry is gone the range starts at the click.
        view()->selectOnly(m_urls[1]);
        view()->removeSelectedImages();
        view()->extendSelectionTo(m_urls[4]);
        QCOMPARE(view()->selectedFiles(), rows({4}));
    }

    void propertyWriteKeepsUnlistedUrlsLast()
    {
        const QUrl stranger = QUrl::fromLocalFile(QStringLiteral("/elsewhere.heic"));
        QVERIFY(view()->setProperty("selectedFiles", QVariant::fromValue(QList<QUrl>{stranger, m_urls[3]})));
        QCOMPARE(view()->property("selectionCount").toInt(), 2);
        QCOMPARE(view()->selectedFiles(), (QList<QUrl>{m_urls[3], stranger}));
    }
};

QTEST_MAIN(SelectionTest)
#include "test_selection.moc"
