pragma Singleton
import QtQuick

// Text styles as multiples of the desktop's default font, so they follow the
// user's font settings.
QtObject {
    readonly property font body: Qt.application.font
    readonly property font title: scaled(1.7)
    readonly property font subheadline: scaled(0.85)
    readonly property font footnote: scaled(0.8)

    function scaled(factor) {
        const base = Qt.application.font
        // The default font may be given in pixels (pointSize is -1 then).
        if (base.pointSize > 0)
            return Qt.font({ family: base.family, pointSize: base.pointSize * factor })
        return Qt.font({ family: base.family, pixelSize: Math.round(base.pixelSize * factor) })
    }
}
