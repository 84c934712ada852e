import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// One listed file: name, size, status, and why it failed. The row is tagged with its URL;
// what a click means for the selection is left to the list.
Control {
    id: row

    required property url url
    required property string fileName
    required property string sizeText
    required property int status
    required property string path
    required property string failureText
    // What a converted photo's JPEG left out (its HDR), told in grey.
    required property string noteText
    required property string sharedNameFolder
    // Where its JPEG goes under the output folder, once a run has planned it.
    required property string destination
    property bool selected: false
    // The list's current row while the list has keyboard focus.
    property bool focusShown: false
    property real spinAngle: 0

    signal clicked(int modifiers)
    signal doubleClicked()

    readonly property string statusText: {
        switch (status) {
        case ImageStatus.Waiting: return qsTr("Waiting")
        case ImageStatus.Converting: return qsTr("Converting")
        case ImageStatus.Success: return qsTr("Converted")
        case ImageStatus.Error: return qsTr("Failed")
        }
        return ""
    }
    readonly property color selectionColor: Contrast.readableBehind(palette.highlight, palette.highlightedText)
    readonly property color foreground: selected ? palette.highlightedText : palette.text

    leftPadding: 8
    rightPadding: 8
    topPadding: 4
    bottomPadding: 4
    hoverEnabled: true

    // Qt 6.4 reads a control's role from its type, never from Accessible.role:
    // the row is read out through its content (below).
    Accessible.ignored: true

    // The whole path always, since a long name is cut short; why it failed
    // when it did, or what its JPEG left out.
    readonly property string toolTipText: [path, destination ? qsTr("JPEG: %1").arg(destination) : "", failureText || noteText]
                                          .filter(line => line !== "").join("\n")
    ToolTip.visible: hovered
    ToolTip.delay: 600
    ToolTip.text: toolTipText

    background: Rectangle {
        color: row.selected ? row.selectionColor : "transparent"
        objectName: "rowBackground"

        Rectangle {
            objectName: "focusFrame"
            anchors.fill: parent
            anchors.margins: 1
            color: "transparent"
            border.width: 1
            border.color: row.foreground
            visible: row.focusShown
        }
    }

    contentItem: RowLayout {
        Accessible.role: Accessible.ListItem
        Accessible.name: qsTr("%1, %2").arg(row.fileName).arg(row.sizeText)
        Accessible.description: row.failureText || row.noteText
                                ? qsTr("%1: %2").arg(row.statusText).arg(row.failureText || row.noteText) : row.statusText
        Accessible.selectable: true
        Accessible.selected: row.selected

        ColumnLayout {
            spacing: 0
            Layout.fillWidth: true
            // The name, cut short in the middle when the row is too narrow, and
            // after it the folder when another row has the same name.
            Item {
                implicitHeight: nameLabel.implicitHeight
                Layout.fillWidth: true

                Label {
                    id: nameLabel
                    objectName: "nameLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, parent.width - (folderLabel.visible ? folderLabel.implicitWidth + 6 : 0))
                    // A file name is data, never markup.
                    textFormat: Text.PlainText
                    text: row.fileName
                    elide: Text.ElideMiddle
                    color: row.foreground
                }
                Label {
                    id: folderLabel
                    objectName: "folderLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    x: nameLabel.width + 6
                    width: Math.min(implicitWidth, parent.width - x)
                    textFormat: Text.PlainText
                    text: qsTr("in %1").arg(row.sharedNameFolder)
                    visible: row.sharedNameFolder !== ""
                    elide: Text.ElideMiddle
                    color: row.foreground
                }
            }
            // Why it failed, or what its JPEG left out (in grey: the photo
            // did convert), readable without hovering; whole in the tooltip.
            Label {
                objectName: "reasonLabel"
                visible: text !== ""
                textFormat: Text.PlainText
                text: row.failureText || row.noteText
                elide: Text.ElideRight
                font: TextStyle.subheadline
                color: row.failureText || row.selected ? row.foreground
                                                       : Contrast.disabledText(row.foreground, row.palette.base)
                Layout.fillWidth: true
            }
        }
        Label {
            objectName: "sizeLabel"
            textFormat: Text.PlainText
            text: row.sizeText
            color: row.foreground
        }
        StatusIndicator {
            objectName: "statusIndicator"
            status: row.status
            foreground: row.foreground
            onHighlight: row.selected
            spinAngle: row.spinAngle
        }
    }

    MouseArea {
        anchors.fill: parent
        onClicked: (mouse) => row.clicked(mouse.modifiers)
        onDoubleClicked: row.doubleClicked()
    }
}
