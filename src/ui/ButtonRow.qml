import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// Adding and removing photos, and converting them.
RowLayout {
    id: buttons

    required property ContentView view
    required property KeyboardFocus keyboard
    readonly property alias canConvert: convertButton.enabled

    PushButton {
        id: addButton
        objectName: "addButton"
        text: qsTr("Add images")
        icon.source: "icons/plus.svg"
        icon.color: palette.buttonText
        onClicked: buttons.keyboard.withDialog(() => buttons.view.intake.pick())
    }
    PushButton {
        objectName: "addFolderButton"
        text: qsTr("Add folder…")
        icon.source: "icons/plus.svg"
        icon.color: palette.buttonText
        onClicked: buttons.keyboard.withDialog(() => buttons.view.intake.pickFolder())
    }
    PushButton {
        id: removeButton
        objectName: "removeButton"
        text: qsTr("Remove selected images")
        icon.source: "icons/minus.svg"
        icon.color: palette.buttonText
        enabled: buttons.view.selection.count > 0
        // The button turns disabled and would leave the keyboard nowhere.
        onClicked: {
            buttons.view.removeSelectedImages()
            buttons.keyboard.focusList()
        }
    }
    Shortcut {
        sequences: [StandardKey.Delete]
        enabled: removeButton.enabled
        onActivated: buttons.view.removeSelectedImages()
    }
    Item {
        Layout.fillWidth: true
    }
    PushButton {
        id: convertButton
        objectName: "convertButton"
        text: qsTr("Convert to JPEG")
        icon.source: "icons/arrow_right_circle.svg"
        icon.color: palette.buttonText
        enabled: buttons.view.droppedFiles.count > 0
        onClicked: buttons.keyboard.withDialog(() => buttons.view.run.start())
    }
}
