import QtQuick
import QtQuick.Controls.Fusion
import Tessavo

// The listed photos and the drop zone around them: the list together with
// the padding around it. Rows are chosen by mouse and by keyboard.
Item {
    id: dropZone
    objectName: "dropZone"

    required property ContentView view
    required property int gap
    // Converting rows turn while this holds.
    required property bool spinning
    // What the list reads out besides its name.
    required property string description
    // The window's: Fusion gives the style's palette to the window and the
    // controls only, so a plain item's own would be the application's.
    required property Palette colours
    readonly property alias list: fileList

    Shortcut {
        sequences: [StandardKey.SelectAll]
        onActivated: dropZone.view.selection.selectAll()
    }

    DropArea {
        anchors.fill: parent
        keys: ["text/uri-list"]
        // Every drag of files is taken, so that what is left out is said;
        // only one with a HEIC file or a folder in it shows that it will add.
        onEntered: (drag) => {
            drag.accepted = drag.hasUrls
            dropZone.view.isTargeted = drag.hasUrls && dropZone.view.intake.acceptsDrop(drag.urls)
        }
        onContainsDragChanged: if (!containsDrag) dropZone.view.isTargeted = false
        onDropped: (drop) => {
            if (dropZone.view.intake.drop(drop.urls))
                drop.acceptProposedAction()
            else
                drop.accepted = false
        }
    }

    Rectangle {
        objectName: "outline"
        anchors.fill: parent
        anchors.margins: dropZone.gap
        color: dropZone.colours.base
        border.color: fileList.activeFocus ? Contrast.ring(dropZone.colours) : Contrast.outline(dropZone.colours)
        border.width: fileList.activeFocus ? 2 : 1
    }

    ListView {
        id: fileList
        objectName: "fileList"
        anchors.fill: parent
        anchors.margins: dropZone.gap + 2
        clip: true
        focus: true
        activeFocusOnTab: true
        keyNavigationEnabled: false
        model: dropZone.view.droppedFiles
        boundsBehavior: Flickable.StopAtBounds
        // Thousands of rows make Fusion's default thumb a sliver
        // that shows only on hover.
        ScrollBar.vertical: ScrollBar {
            id: scrollBar
            objectName: "listScrollBar"
            policy: fileList.contentHeight > fileList.height ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded
            minimumSize: Math.min(1, 24 / Math.max(1, fileList.height))
            contentItem: Rectangle {
                implicitWidth: 8
                implicitHeight: 8
                radius: 4
                visible: scrollBar.size < 1
                color: Qt.rgba(dropZone.colours.text.r, dropZone.colours.text.g, dropZone.colours.text.b,
                               scrollBar.pressed ? 0.65 : 0.45)
            }
        }
        readonly property real rowWidth: width - (scrollBar.policy === ScrollBar.AlwaysOn ? scrollBar.width : 0)

        // Every converting row turns with this one step, a few times
        // a second; rows off screen do not exist to be turned.
        property int spinStep: 0
        Timer {
            interval: 100
            repeat: true
            running: dropZone.spinning
            onTriggered: fileList.spinStep = (fileList.spinStep + 1) % 12
        }

        Accessible.role: Accessible.List
        Accessible.name: qsTr("Images to convert")
        Accessible.description: dropZone.description

        delegate: FileRow {
            objectName: "fileRow"
            required property int index
            width: ListView.view.rowWidth
            // The count is read only to re-evaluate on every selection change.
            selected: dropZone.view.selection.count >= 0 && dropZone.view.selection.contains(url)
            focusShown: ListView.isCurrentItem && ListView.view.activeFocus
            spinAngle: ListView.view.spinStep * 30
            onDoubleClicked: dropZone.view.openConverted(url)
            onClicked: (modifiers) => {
                fileList.forceActiveFocus()
                fileList.currentIndex = index
                if (modifiers & Qt.ShiftModifier)
                    dropZone.view.selection.extendTo(url)
                else if (modifiers & Qt.ControlModifier)
                    dropZone.view.selection.toggle(url)
                else
                    dropZone.view.selection.selectOnly(url)
            }
        }

        // Plain keys move and select, Shift extends from the anchor,
        // Ctrl moves without selecting; Space toggles the current row.
        function moveTo(row: int, modifiers: int) {
            if (count === 0)
                return
            currentIndex = Math.max(0, Math.min(count - 1, row))
            const url = model.urlAt(currentIndex)
            if (modifiers & Qt.ShiftModifier)
                dropZone.view.selection.extendTo(url)
            else if (!(modifiers & Qt.ControlModifier))
                dropZone.view.selection.selectOnly(url)
            positionViewAtIndex(currentIndex, ListView.Contain)
        }
        Keys.onPressed: (event) => {
            const page = Math.max(1, Math.floor(height / (currentItem ? currentItem.height : height)) - 1)
            switch (event.key) {
            case Qt.Key_Up: moveTo(currentIndex - 1, event.modifiers); break
            case Qt.Key_Down: moveTo(currentIndex + 1, event.modifiers); break
            case Qt.Key_PageUp: moveTo(currentIndex - page, event.modifiers); break
            case Qt.Key_PageDown: moveTo(currentIndex + page, event.modifiers); break
            case Qt.Key_Home: moveTo(0, event.modifiers); break
            case Qt.Key_End: moveTo(count - 1, event.modifiers); break
            case Qt.Key_Return:
            case Qt.Key_Enter:
                if (!dropZone.view.openConverted(model.urlAt(currentIndex)))
                    return
                break
            case Qt.Key_Space:
                // Rows just added may have left no current row yet.
                if (count > 0)
                    dropZone.view.selection.toggle(model.urlAt(currentIndex = Math.max(0, currentIndex)))
                break
            default:
                return
            }
            event.accepted = true
        }
    }

    Label {
        objectName: "emptyHint"
        anchors.centerIn: parent
        width: parent.width - 6 * dropZone.gap
        visible: fileList.count === 0
        text: qsTr("Drop HEIC files here, or use Add images")
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        color: dropZone.colours.text
    }

    // Drawn over the padded list; takes no layout space.
    Rectangle {
        objectName: "dropBorder"
        anchors.fill: parent
        color: "transparent"
        radius: 10
        border.width: 2
        border.color: dropZone.view.isTargeted ? "#0a64e0" : "transparent"
    }
}
