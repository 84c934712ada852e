import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// Why the latest files offered were not all taken; never a dialog. It goes
// by itself after a while.
RowLayout {
    id: notice
    objectName: "intakeNotice"

    required property ContentView view

    visible: view.intakeNotice !== ""
    // On the row, not the label: Qt 6.4 reads any label as plain text.
    Accessible.role: Accessible.AlertMessage
    Accessible.name: view.intakeNotice

    Timer {
        id: noticeTimer
        interval: 8000
        onTriggered: notice.view.dismissNotice()
    }
    Connections {
        target: notice.view
        function onIntakeNoticeChanged() { noticeTimer.restart() }
    }
    Label {
        objectName: "intakeNoticeText"
        text: notice.view.intakeNotice
        wrapMode: Text.WordWrap
        Layout.fillWidth: true
        Accessible.ignored: true
    }
    ToolButton {
        objectName: "dismissNoticeButton"
        text: "✕"
        Accessible.name: qsTr("Dismiss")
        onClicked: notice.view.dismissNotice()
        FocusRing {}
    }
}
