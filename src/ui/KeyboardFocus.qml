import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Templates as T

// Where the keyboard goes: back to the list after a menu or a dialog, ours
// or the desktop's, and back to the control that had it, ring and all, when
// the window is active again after another one was.
Connections {
    id: keyboard

    required property ApplicationWindow window
    required property Item list
    // What has the keyboard, or had it before the window went inactive, and
    // how it came by it: Tab shows the ring, a click does not.
    property Item holder: null
    property int holderReason: Qt.OtherFocusReason

    function focusList() {
        give(list, Qt.OtherFocusReason)
    }
    function withDialog(action) {
        action()
        focusList()
    }
    // Also when `item` has the keyboard already: a popup hands it back to the
    // control that had it last without the ring, and so does the window.
    function give(item, reason) {
        holder = item
        holderReason = reason
        item.forceActiveFocus(reason)
        if (item.focusReason !== undefined)
            item.focusReason = reason
    }
    // Return and Enter press the focused button, as Space does.
    function pressFocusedButton(event) {
        const item = window.activeFocusItem
        if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter) && item instanceof T.AbstractButton && item.enabled) {
            item.clicked()
            event.accepted = true
        }
    }

    target: window
    function onActiveFocusItemChanged() {
        const item = window.activeFocusItem
        // The window's own giving back on becoming active again shows no ring.
        if (item && item.focusReason !== Qt.ActiveWindowFocusReason) {
            holder = item
            holderReason = item.focusReason ?? Qt.OtherFocusReason
        }
    }
    function onActiveChanged() {
        if (window.active && holder && holder.visible && holder.enabled)
            give(holder, holderReason)
    }
}
