import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Templates as T

// Where the keyboard goes: back to the list after a menu or a dialog, ours
// or the desktop's, and to no control on coming back to the application.
// Watches the application's state.
Connections {
    id: keyboard

    required property ApplicationWindow window
    required property Item list
    // The question on closing keeps the keyboard while it is open.
    property bool held: false
    property bool focusListOnActivate: false

    function focusList() {
        list.forceActiveFocus()
    }
    function withDialog(action) {
        focusListOnActivate = true
        action()
        focusList()
    }
    // Return and Enter press the focused button, as Space does.
    function pressFocusedButton(event) {
        const item = window.activeFocusItem
        if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter) && item instanceof T.AbstractButton && item.enabled) {
            item.clicked()
            event.accepted = true
        }
    }

    target: Qt.application
    function onStateChanged() {
        if (Qt.application.state !== Qt.ApplicationActive || held)
            return
        if (focusListOnActivate) {
            focusListOnActivate = false
            focusList()
            return
        }
        // Clearing an item's focus hands it to the enclosing focus scope,
        // so walk out until no item below the window holds it.
        let item = window.activeFocusItem
        while (item && item !== window.contentItem) {
            item.focus = false
            if (window.activeFocusItem === item)
                break
            item = window.activeFocusItem
        }
    }
}
