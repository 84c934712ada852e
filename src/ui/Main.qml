import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

ApplicationWindow {
    id: window

    required property ContentView contentView

    readonly property int gap: 10
    readonly property color dropBorderColor: contentView.isTargeted ? "#0a64e0" : "transparent"

    width: 640
    height: 480
    minimumWidth: commandRow.implicitWidth + 4 * gap
    minimumHeight: 320
    visible: true
    title: qsTr("Tessavo")

    menuBar: MenuBar {
        Menu {
            title: qsTr("&Help")
            Action {
                objectName: "aboutAction"
                text: qsTr("About Tessavo")
                onTriggered: aboutWindow.show()
            }
        }
    }

    AboutWindowHost {
        id: aboutWindow
        objectName: "aboutWindowHost"
        AboutWindow {}
    }

    Shortcut {
        sequences: [StandardKey.Open]
        onActivated: window.contentView.addImages()
    }
    Shortcut {
        sequences: [StandardKey.Delete]
        enabled: removeButton.enabled
        onActivated: window.contentView.removeSelectedImages()
    }
    Shortcut {
        sequences: [StandardKey.SelectAll]
        onActivated: window.contentView.selectAll()
    }

    // Coming back to the application leaves no control with keyboard focus.
    Connections {
        target: Qt.application
        function onStateChanged() {
            if (Qt.application.state !== Qt.ApplicationActive)
                return
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

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: window.gap
        spacing: window.gap

        Label {
            objectName: "titleLabel"
            text: qsTr("Convert HEIC to JPEG format")
            font: TextStyle.title
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: window.gap
        }

        RowLayout {
            id: commandRow
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap

            Button {
                id: addButton
                objectName: "addButton"
                text: qsTr("Add images")
                icon.source: "icons/plus.svg"
                icon.color: palette.buttonText
                onClicked: window.contentView.addImages()
            }
            Button {
                id: removeButton
                objectName: "removeButton"
                text: qsTr("Remove selected images")
                icon.source: "icons/minus.svg"
                icon.color: palette.buttonText
                enabled: window.contentView.selectionCount > 0
                onClicked: window.contentView.removeSelectedImages()
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                id: convertButton
                objectName: "convertButton"
                text: qsTr("Convert to JPEG")
                icon.source: "icons/arrow_right_circle.svg"
                icon.color: palette.buttonText
                enabled: window.contentView.droppedFiles.count > 0
                onClicked: window.contentView.convertToJPEG()
            }
        }

        // The drop zone is the list together with the padding around it.
        Item {
            id: dropZone
            objectName: "dropZone"
            Layout.fillWidth: true
            Layout.fillHeight: true

            DropArea {
                id: dropArea
                anchors.fill: parent
                keys: ["text/uri-list"]
                onEntered: (drag) => { drag.accepted = drag.hasUrls }
                onContainsDragChanged: window.contentView.isTargeted = containsDrag
                onDropped: (drop) => {
                    if (window.contentView.handleDrop(drop.urls))
                        drop.acceptProposedAction()
                    else
                        drop.accepted = false
                }
            }

            Rectangle {
                anchors.fill: parent
                anchors.margins: window.gap
                color: window.palette.base
                border.color: window.palette.mid
            }

            ListView {
                id: fileList
                objectName: "fileList"
                anchors.fill: parent
                anchors.margins: window.gap + 1
                clip: true
                focus: true
                activeFocusOnTab: true
                model: window.contentView.droppedFiles
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {}

                Accessible.role: Accessible.List
                Accessible.name: qsTr("Images to convert")

                delegate: FileRow {
                    objectName: "fileRow"
                    required property int index
                    width: ListView.view.width
                    // selectionCount is read only to re-evaluate on every selection change.
                    selected: window.contentView.selectionCount >= 0 && window.contentView.isSelected(url)
                    onClicked: (modifiers) => {
                        fileList.forceActiveFocus()
                        fileList.currentIndex = index
                        if (modifiers & Qt.ShiftModifier)
                            window.contentView.extendSelectionTo(url)
                        else if (modifiers & Qt.ControlModifier)
                            window.contentView.toggleSelected(url)
                        else
                            window.contentView.selectOnly(url)
                    }
                }

                function step(by: int, extend: bool) {
                    if (count === 0)
                        return
                    currentIndex = Math.max(0, Math.min(count - 1, currentIndex + by))
                    const url = model.urlAt(currentIndex)
                    if (extend)
                        window.contentView.extendSelectionTo(url)
                    else
                        window.contentView.selectOnly(url)
                    positionViewAtIndex(currentIndex, ListView.Contain)
                }
                Keys.onUpPressed: (event) => step(-1, event.modifiers & Qt.ShiftModifier)
                Keys.onDownPressed: (event) => step(1, event.modifiers & Qt.ShiftModifier)
            }

            // Drawn over the padded list; takes no layout space.
            Rectangle {
                objectName: "dropBorder"
                anchors.fill: parent
                color: "transparent"
                radius: 10
                border.width: 2
                border.color: window.dropBorderColor
            }
        }
    }
}
