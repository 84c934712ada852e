import QtQuick
import QtQuick.Controls.Fusion
import Tessavo

// Asked on closing while photos wait: Keep Converting, the default, or
// Stop and Quit (accepted).
Dialog {
    id: question
    objectName: "stopDialog"

    required property ConversionRun run
    required property KeyboardFocus keyboard

    anchors.centerIn: parent
    modal: true
    title: qsTr("Stop converting?")
    onOpened: keyboard.give(keepButton, Qt.TabFocusReason)
    onClosed: keyboard.focusList()

    Label {
        objectName: "stopText"
        width: question.availableWidth
        wrapMode: Text.WordWrap
        readonly property int waiting: question.run.progress.outstanding
        // %Ln: grouped as the locale groups, as the count beside it is.
        text: waiting === 1 ? qsTr("%Ln photo is not converted yet.", "", waiting)
                            : qsTr("%Ln photos are not converted yet.", "", waiting)
    }

    footer: DialogButtonBox {
        Keys.onPressed: (event) => question.keyboard.pressFocusedButton(event)
        PushButton {
            objectName: "stopAndQuitButton"
            text: qsTr("Stop and Quit")
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
        PushButton {
            id: keepButton
            objectName: "keepConvertingButton"
            text: qsTr("Keep Converting")
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
    }
}
