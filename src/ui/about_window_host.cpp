#include "ui/about_window_host.h"

#include "ui/window_place.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QScreen>

#include <algorithm>

namespace tessavo {

namespace {
const auto geometryKey = QStringLiteral("About/geometry");

QRect frameOf(const QWindow* window)
{
    const QMargins margins = window->frameMargins();
    return QRect(window->framePosition(), window->size().grownBy(margins));
}
} // namespace

AboutWindowHost::AboutWindowHost(QObject* parent) : QObject(parent) { }

AboutWindowHost::~AboutWindowHost()
{
    if (m_window && m_window->isVisible())
        saveGeometry();
}

void AboutWindowHost::setComponent(QQmlComponent* component)
{
    if (component == m_component)
        return;
    m_component = component;
    emit componentChanged();
}

void AboutWindowHost::show()
{
    if (!m_window && !create())
        return;
    // The window system may forget where a hidden window was; the saved
    // position does not.
    const bool wasVisible = m_window->isVisible();
    if (!wasVisible)
        placeWindow();
    m_window->show();
    // A window just shown is already on top.
    if (wasVisible)
        m_window->raise();
    m_window->requestActivate();
}

bool AboutWindowHost::create()
{
    if (!m_component)
        return false;
    QObject* object = m_component->create(qmlContext(this));
    auto* window = qobject_cast<QQuickWindow*>(object);
    if (!window) {
        qWarning().noquote() << "About window could not be created:" << m_component->errorString();
        delete object;
        return false;
    }
    QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
    m_window.reset(window);
    connect(window, &QWindow::visibleChanged, this, [this](bool visible) {
        if (!visible)
            saveGeometry();
    });
    emit windowChanged();
    return true;
}

void AboutWindowHost::placeWindow()
{
    // The window's size is fixed; only where it was counts.
    if (m_contentView && restorePlace(*m_window, m_contentView->preferences().value(geometryKey).toRect(), false))
        return;
    const QWindow* anchor = QGuiApplication::focusWindow();
    QScreen* screen = anchor ? anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Centred, but never with its title bar above the screen.
    const QRect available = screen->availableGeometry();
    QRect centred({}, frameOf(m_window.get()).size());
    centred.moveCenter(available.center());
    centred.moveTop(std::max(centred.top(), available.top()));
    m_window->setScreen(screen);
    m_window->setFramePosition(centred.topLeft());
}

void AboutWindowHost::saveGeometry() const
{
    if (m_contentView)
        m_contentView->preferences().setValue(geometryKey, placeOf(*m_window));
}

} // namespace tessavo
