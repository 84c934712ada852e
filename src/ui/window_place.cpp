#include "ui/window_place.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace tessavo {

QRect placeOf(const QWindow& window) { return QRect(window.framePosition(), window.size()); }

bool restorePlace(QWindow& window, const QRect& saved, bool sized)
{
    if (!saved.isValid())
        return false;
    const QSize size = sized ? saved.size() : window.size();
    const QRect frame(saved.topLeft(), size.grownBy(window.frameMargins()));
    const auto screens = QGuiApplication::screens();
    const bool fits = std::any_of(
        screens.begin(), screens.end(), [&](const QScreen* screen) { return screen->availableGeometry().contains(frame); });
    if (!fits)
        return false;
    if (sized)
        window.resize(size);
    window.setFramePosition(saved.topLeft());
    return true;
}

} // namespace tessavo
