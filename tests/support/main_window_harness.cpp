#include "main_window_harness.h"

#include <QFile>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

namespace tessavo::testing {

MainWindowHarness::MainWindowHarness()
    : m_desktop(m_scratch.filePath(QStringLiteral("bookmarks.sqlite"))),
      m_engine(std::make_unique<QQmlApplicationEngine>())
{
    m_engine->setInitialProperties({{QStringLiteral("contentView"), QVariant::fromValue(m_desktop.view.get())}});
    m_engine->load(QUrl(QStringLiteral("qrc:/Tessavo/Main.qml")));
    if (m_engine->rootObjects().isEmpty())
        return;
    m_window = qobject_cast<QQuickWindow*>(m_engine->rootObjects().constFirst());
    if (!m_window)
        return;
    m_window->requestActivate();
    if (!QTest::qWaitForWindowActive(m_window))
        m_window = nullptr;
}

// The engine (and with it the window and the About window) goes before the
// ContentView it binds to.
MainWindowHarness::~MainWindowHarness() { m_engine.reset(); }

QQuickItem* MainWindowHarness::item(const char* objectName) const
{
    return m_window->findChild<QQuickItem*>(QLatin1String(objectName));
}

QObject* MainWindowHarness::object(const char* objectName) const
{
    return m_window->findChild<QObject*>(QLatin1String(objectName));
}

QUrl MainWindowHarness::addFile(const QString& name, qint64 bytes)
{
    QFile file(m_scratch.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.resize(bytes);
    const QUrl url = QUrl::fromLocalFile(file.fileName());
    m_desktop.view->droppedFiles()->appendFile(url);
    return url;
}

QList<QQuickItem*> MainWindowHarness::rows() const
{
    auto* list = item("fileList");
    auto* content = list ? list->property("contentItem").value<QQuickItem*>() : nullptr;
    if (!content)
        return {};
    // Rows of removed entries linger until their deferred deletion.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<QQuickItem*> rows;
    for (QQuickItem* child : content->childItems()) {
        if (child->objectName() == QLatin1String("fileRow") && child->isVisible())
            rows.append(child);
    }
    std::sort(rows.begin(), rows.end(), [](QQuickItem* a, QQuickItem* b) { return a->y() < b->y(); });
    return rows;
}

QPoint MainWindowHarness::centreOf(const QQuickItem* item) const
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

} // namespace tessavo::testing
