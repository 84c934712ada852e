import QtQuick
import QtQuick.Controls.Fusion
import Tessavo

ApplicationWindow {
    // As tall as the screen allows, less its title bar: at 2x an 800-pixel
    // screen offers 400.
    readonly property int fittedHeight: Math.min(400, Math.min(Screen.height, Screen.desktopAvailableHeight) - 40)

    width: 300
    height: fittedHeight
    minimumWidth: 300
    maximumWidth: 300
    minimumHeight: fittedHeight
    maximumHeight: fittedHeight
    flags: Qt.Window | Qt.CustomizeWindowHint | Qt.WindowTitleHint | Qt.WindowCloseButtonHint
    // An empty title makes Qt show the application name instead; a
    // zero-width space leaves the title bar blank.
    title: "\u200B"

    Shortcut {
        sequences: ["Escape", "Ctrl+W"]
        onActivated: close()
    }

    AboutView {
        anchors.fill: parent
    }
}
