#pragma once

#include <QRect>

class QWindow;

namespace tessavo {

// A window is remembered by where its frame's corner is and by its own size:
// QRect(framePosition, size). The frame around it belongs to the window
// manager and the scale of the day.
QRect placeOf(const QWindow& window);

// Moves `window` to `saved`, and with `sized` gives it the saved size too,
// only while all of it, frame included, fits on one screen as the screens
// are now: monitors come and go between launches, and a place saved at 1x
// can be too far out, or too large, at 2x. Returns whether it did.
bool restorePlace(QWindow& window, const QRect& saved, bool sized);

} // namespace tessavo
