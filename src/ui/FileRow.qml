import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// One listed file: name, size and status. The row is tagged with its URL;
// what a click means for the selection is left to the list.
Control {
    id: row

    required property url url
    required property string fileName
    required property string sizeText
    required property int status
    property bool selected: false

    signal clicked(int modifiers)

    readonly property string statusText: {
        switch (status) {
        case ImageStatus.Waiting: return qsTr("Waiting")
        case ImageStatus.Converting: return qsTr("Converting")
        case ImageStatus.Success: return qsTr("Converted")
        case ImageStatus.Error: return qsTr("Failed")
        }
        return ""
    }
    readonly property color foreground: selected ? palette.highlightedText : palette.text

    leftPadding: 8
    rightPadding: 8
    topPadding: 4
    bottomPadding: 4

    Accessible.role: Accessible.ListItem
    Accessible.name: qsTr("%1, %2, %3").arg(fileName).arg(sizeText).arg(statusText)
    Accessible.selectable: true
    Accessible.selected: selected

    background: Rectangle {
        color: row.selected ? row.palette.highlight : "transparent"
    }

    contentItem: RowLayout {
        Label {
            objectName: "nameLabel"
            // A file name is data, never markup.
            textFormat: Text.PlainText
            text: row.fileName
            elide: Text.ElideMiddle
            color: row.foreground
            Layout.fillWidth: true
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
        }
    }

    MouseArea {
        anchors.fill: parent
        onClicked: (mouse) => row.clicked(mouse.modifiers)
    }
}
