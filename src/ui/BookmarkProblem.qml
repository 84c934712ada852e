import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// Why the folders handed over cannot be remembered, in the user's words,
// with the system's own reason in the tooltip; until dismissed.
RowLayout {
    id: problem
    objectName: "bookmarkProblem"

    required property ContentView view
    readonly property string toolTipText: view.bookmarkProblemReason

    visible: view.bookmarkProblem !== ""
    // On the row, not the label: Qt 6.4 reads any label as plain text.
    Accessible.role: Accessible.AlertMessage
    Accessible.name: view.bookmarkProblem
    Accessible.description: toolTipText

    Label {
        objectName: "bookmarkProblemText"
        text: problem.view.bookmarkProblem
        wrapMode: Text.WordWrap
        Layout.fillWidth: true
        Accessible.ignored: true
        HoverHandler { id: hover }
        ToolTip.visible: hover.hovered && problem.toolTipText !== ""
        ToolTip.delay: 600
        ToolTip.text: problem.toolTipText
    }
    ToolButton {
        objectName: "dismissBookmarkProblemButton"
        text: "✕"
        Accessible.name: qsTr("Dismiss")
        onClicked: problem.view.dismissBookmarkProblem()
    }
}
