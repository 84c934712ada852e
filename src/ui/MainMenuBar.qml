import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// File and Help, each item with its shortcut, F10 for the first, and the
// About window; a closed menu hands the keyboard back to the list.
MenuBar {
    id: menuBar
    objectName: "menuBar"

    required property ContentView view
    required property KeyboardFocus keyboard
    required property bool running
    // As the Convert button is.
    required property bool canConvert

    signal quit()

    // A screen reader says a name as it is: without the access key's "&".
    delegate: MenuBarItem {
        Accessible.name: text.replace(/&(.)/, "$1")
    }

    Menu {
        id: fileMenu
        objectName: "fileMenu"
        title: qsTr("&File")
        delegate: ShortcutMenuItem {}
        onClosed: menuBar.keyboard.focusList()
        Action {
            objectName: "addImagesAction"
            text: qsTr("&Add Images…")
            shortcut: "Ctrl+O"
            onTriggered: menuBar.keyboard.withDialog(() => menuBar.view.intake.pick())
        }
        Action {
            objectName: "addFolderAction"
            text: qsTr("Add &Folder…")
            onTriggered: menuBar.keyboard.withDialog(() => menuBar.view.intake.pickFolder())
        }
        MenuSeparator {}
        Action {
            objectName: "convertAction"
            text: qsTr("&Convert to JPEG")
            enabled: menuBar.canConvert
            onTriggered: menuBar.keyboard.withDialog(() => menuBar.view.run.start())
        }
        Action {
            objectName: "clearAction"
            text: qsTr("C&lear List")
            enabled: menuBar.view.droppedFiles.count > 0 && !menuBar.running
            onTriggered: menuBar.view.clearList()
        }
        MenuSeparator {}
        Action {
            objectName: "quitAction"
            text: qsTr("&Quit")
            shortcut: "Ctrl+Q"
            onTriggered: menuBar.quit()
        }
    }
    Menu {
        title: qsTr("&Help")
        delegate: ShortcutMenuItem {}
        onClosed: menuBar.keyboard.focusList()
        Action {
            objectName: "aboutAction"
            text: qsTr("About Tessavo")
            onTriggered: aboutWindow.show()
        }
    }
    Shortcut {
        sequences: ["F10"]
        onActivated: menuBar.itemAt(0).triggered()
    }

    AboutWindowHost {
        id: aboutWindow
        objectName: "aboutWindowHost"
        contentView: menuBar.view
        AboutWindow {}
    }
    // Closing About hands the keyboard back to the list, as a dialog does.
    Connections {
        target: aboutWindow.window
        function onVisibleChanged() {
            if (!aboutWindow.window.visible)
                menuBar.keyboard.withDialog(() => {})
        }
    }

    // Fusion shows no shortcut beside a menu item.
    component ShortcutMenuItem: MenuItem {
        id: menuItem
        Accessible.name: text.replace(/&(.)/, "$1")
        contentItem: RowLayout {
            spacing: 24
            Label {
                text: menuItem.text.replace(/&(.)/, "$1")
                color: menuItem.highlighted ? menuItem.palette.highlightedText : menuItem.palette.text
                Layout.fillWidth: true
            }
            Label {
                text: menuItem.action && menuItem.action.shortcut ? menuItem.action.shortcut : ""
                color: menuItem.highlighted ? menuItem.palette.highlightedText : menuItem.palette.text
            }
        }
    }
}
