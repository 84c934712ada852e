import QtQuick
import QtQuick.Controls.Fusion
import Tessavo

ApplicationWindow {
    width: 300
    height: 400
    minimumWidth: 300
    maximumWidth: 300
    minimumHeight: 400
    maximumHeight: 400
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
