import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import QtQuick.Templates as T
import Tessavo

ApplicationWindow {
    id: window

    required property ContentView contentView

    readonly property int gap: 10
    readonly property color dropBorderColor: contentView.isTargeted ? "#0a64e0" : "transparent"

    readonly property bool running: contentView.run.state === RunState.Running
                                    || contentView.run.state === RunState.Cancelling
    // The screen less room for the window's frame and title bar, in this
    // scale's units: at 2x an 800-pixel screen offers only 400.
    readonly property int roomWidth: Math.min(Screen.width, Screen.desktopAvailableWidth) - 20
    readonly property int roomHeight: Math.min(Screen.height, Screen.desktopAvailableHeight) - 40

    minimumWidth: Math.min(Math.max(commandRow.implicitWidth, optionsRow.implicitWidth) + 4 * gap, roomWidth)
    minimumHeight: Math.min(320, roomHeight)
    visible: true
    title: qsTr("Tessavo")

    // Desktops' disabled text is often too faint to read (1.8:1 in Qt's own
    // light palette); the window's own reads at 4.5:1. Not bound: setting a
    // colour changes the palette, so each is set only when it differs.
    function readableDisabledText() {
        const set = (group, role, text, background) => {
            const readable = Contrast.disabledText(text, background)
            if (!Qt.colorEqual(group[role], readable))
                group[role] = readable
        }
        set(palette.disabled, "buttonText", palette.active.buttonText, palette.active.button)
        set(palette.disabled, "windowText", palette.active.windowText, palette.active.window)
        set(palette.disabled, "text", palette.active.text, palette.active.base)
    }
    onPaletteChanged: readableDisabledText()

    // English's two forms without a translation loaded; each string is a
    // plural one, which a translation gives all its forms.
    function photoCount(count: int): string {
        return count === 1 ? qsTr("%Ln photo", "", count) : qsTr("%Ln photos", "", count)
    }

    // Sized once rather than bound, so that a remembered size stays; the
    // window is shown after this.
    Component.onCompleted: {
        readableDisabledText()
        width = Math.min(Math.max(640, minimumWidth), roomWidth)
        height = Math.min(480, roomHeight)
        contentView.rememberPlaceOf(window)
    }

    menuBar: MenuBar {
        id: menuBar
        objectName: "menuBar"
        Menu {
            id: fileMenu
            objectName: "fileMenu"
            title: qsTr("&File")
            delegate: ShortcutMenuItem {}
            onClosed: window.focusList()
            Action {
                objectName: "addImagesAction"
                text: qsTr("&Add Images…")
                shortcut: "Ctrl+O"
                onTriggered: window.addImages()
            }
            Action {
                objectName: "addFolderAction"
                text: qsTr("Add &Folder…")
                onTriggered: window.withDialog(() => window.contentView.intake.pickFolder())
            }
            MenuSeparator {}
            Action {
                objectName: "convertAction"
                text: qsTr("&Convert to JPEG")
                enabled: convertButton.enabled
                onTriggered: window.convert()
            }
            Action {
                objectName: "clearAction"
                text: qsTr("C&lear List")
                enabled: window.contentView.droppedFiles.count > 0 && !window.running
                onTriggered: window.contentView.clearList()
            }
            MenuSeparator {}
            Action {
                objectName: "quitAction"
                text: qsTr("&Quit")
                shortcut: "Ctrl+Q"
                onTriggered: window.close()
            }
        }
        Menu {
            title: qsTr("&Help")
            delegate: ShortcutMenuItem {}
            onClosed: window.focusList()
            Action {
                objectName: "aboutAction"
                text: qsTr("About Tessavo")
                onTriggered: aboutWindow.show()
            }
        }
    }

    // Fusion shows no shortcut beside a menu item.
    component ShortcutMenuItem: MenuItem {
        id: menuItem
        contentItem: RowLayout {
            spacing: 24
            Label {
                text: menuItem.text.replace(/&(.)/, "$1")
                color: menuItem.highlighted ? menuItem.palette.highlightedText : menuItem.palette.text
                Layout.fillWidth: true
            }
            Label {
                text: menuItem.action && menuItem.action.shortcut ? menuItem.action.shortcut : ""
                color: menuItem.highlighted ? menuItem.palette.highlightedText : menuItem.palette.text
            }
        }
    }

    // Fusion's own is a 1-pixel line in a tint of the button.
    component FocusRing: Rectangle {
        anchors.fill: parent
        anchors.margins: -1
        radius: 3
        color: "transparent"
        border.width: 2
        border.color: parent.palette.highlight
        visible: parent.visualFocus
    }

    // Return and Enter press the focused button, as Space does.
    function pressFocusedButton(event) {
        const item = window.activeFocusItem
        if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter) && item instanceof T.AbstractButton && item.enabled) {
            item.clicked()
            event.accepted = true
        }
    }

    // A dialog, ours or the desktop's, hands the keyboard back to the list.
    property bool focusListOnActivate: false
    function focusList() {
        fileList.forceActiveFocus()
    }
    function withDialog(action) {
        focusListOnActivate = true
        action()
        focusList()
    }
    function addImages() {
        withDialog(() => window.contentView.intake.pick())
    }
    function convert() {
        withDialog(() => window.contentView.run.start())
    }

    // Photos waiting are not dropped without asking.
    onClosing: (close) => {
        if (window.contentView.run.state !== RunState.Running)
            return
        close.accepted = false
        stopDialog.open()
    }

    Dialog {
        id: stopDialog
        objectName: "stopDialog"
        anchors.centerIn: parent
        modal: true
        // Set, not implied: the button box's width and the dialog's would chase each other.
        width: Math.min(window.width - 4 * window.gap, 420)
        title: qsTr("Stop converting?")
        onOpened: keepButton.forceActiveFocus(Qt.TabFocusReason)
        onClosed: window.focusList()
        onAccepted: {
            window.contentView.run.cancel()
            window.close()
        }

        Label {
            objectName: "stopText"
            width: stopDialog.availableWidth
            wrapMode: Text.WordWrap
            readonly property int waiting: window.contentView.run.progress.outstanding
            text: waiting === 1 ? qsTr("1 photo is not converted yet.")
                                : qsTr("%1 photos are not converted yet.").arg(waiting)
        }

        footer: DialogButtonBox {
            Keys.onPressed: (event) => window.pressFocusedButton(event)
            Button {
                objectName: "stopAndQuitButton"
                text: qsTr("Stop and Quit")
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
                FocusRing {}
            }
            Button {
                id: keepButton
                objectName: "keepConvertingButton"
                text: qsTr("Keep Converting")
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
                FocusRing {}
            }
        }
    }

    AboutWindowHost {
        id: aboutWindow
        objectName: "aboutWindowHost"
        AboutWindow {}
    }
    Connections {
        target: aboutWindow.window
        function onVisibleChanged() {
            if (!aboutWindow.window.visible)
                window.withDialog(() => {})
        }
    }

    Shortcut {
        sequences: ["Ctrl+W"]
        onActivated: window.close()
    }
    Shortcut {
        sequences: ["F10"]
        onActivated: menuBar.itemAt(0).triggered()
    }
    Shortcut {
        sequences: [StandardKey.Delete]
        enabled: removeButton.enabled
        onActivated: window.contentView.removeSelectedImages()
    }
    Shortcut {
        sequences: [StandardKey.SelectAll]
        onActivated: window.contentView.selection.selectAll()
    }

    // Coming back to the application leaves no control with keyboard focus.
    Connections {
        target: Qt.application
        function onStateChanged() {
            // The question on closing keeps the keyboard while it is open.
            if (Qt.application.state !== Qt.ApplicationActive || stopDialog.visible)
                return
            if (window.focusListOnActivate) {
                window.focusListOnActivate = false
                window.focusList()
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

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: window.gap
        spacing: window.gap
        Keys.onPressed: (event) => window.pressFocusedButton(event)

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
                onClicked: window.addImages()
                FocusRing {}
            }
            Button {
                objectName: "addFolderButton"
                text: qsTr("Add folder…")
                icon.source: "icons/plus.svg"
                icon.color: palette.buttonText
                onClicked: window.contentView.intake.pickFolder()
            }
            Button {
                id: removeButton
                objectName: "removeButton"
                text: qsTr("Remove selected images")
                icon.source: "icons/minus.svg"
                icon.color: palette.buttonText
                enabled: window.contentView.selection.count > 0
                // The button turns disabled and would leave the keyboard nowhere.
                onClicked: {
                    window.contentView.removeSelectedImages()
                    window.focusList()
                }
                FocusRing {}
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
                onClicked: window.convert()
                FocusRing {}
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
                // Only a drag with a HEIC file or a folder in it shows that it will be taken.
                onEntered: (drag) => { drag.accepted = drag.hasUrls && window.contentView.intake.acceptsDrop(drag.urls) }
                onContainsDragChanged: window.contentView.isTargeted = containsDrag
                onDropped: (drop) => {
                    if (window.contentView.intake.drop(drop.urls))
                        drop.acceptProposedAction()
                    else
                        drop.accepted = false
                }
            }

            Rectangle {
                anchors.fill: parent
                anchors.margins: window.gap
                color: window.palette.base
                border.color: fileList.activeFocus ? window.palette.highlight : window.palette.mid
                border.width: fileList.activeFocus ? 2 : 1
            }

            ListView {
                id: fileList
                objectName: "fileList"
                anchors.fill: parent
                anchors.margins: window.gap + 2
                clip: true
                focus: true
                activeFocusOnTab: true
                keyNavigationEnabled: false
                model: window.contentView.droppedFiles
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
                        color: Qt.rgba(window.palette.text.r, window.palette.text.g, window.palette.text.b,
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
                    running: window.running && window.visible
                    onTriggered: fileList.spinStep = (fileList.spinStep + 1) % 12
                }

                Accessible.role: Accessible.List
                Accessible.name: qsTr("Images to convert")
                Accessible.description: countLabel.text

                delegate: FileRow {
                    objectName: "fileRow"
                    required property int index
                    width: ListView.view.rowWidth
                    // The count is read only to re-evaluate on every selection change.
                    selected: window.contentView.selection.count >= 0 && window.contentView.selection.contains(url)
                    focusShown: ListView.isCurrentItem && ListView.view.activeFocus
                    spinAngle: ListView.view.spinStep * 30
                    onDoubleClicked: window.contentView.openConverted(url)
                    onClicked: (modifiers) => {
                        fileList.forceActiveFocus()
                        fileList.currentIndex = index
                        if (modifiers & Qt.ShiftModifier)
                            window.contentView.selection.extendTo(url)
                        else if (modifiers & Qt.ControlModifier)
                            window.contentView.selection.toggle(url)
                        else
                            window.contentView.selection.selectOnly(url)
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
                        window.contentView.selection.extendTo(url)
                    else if (!(modifiers & Qt.ControlModifier))
                        window.contentView.selection.selectOnly(url)
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
                        if (!window.contentView.openConverted(model.urlAt(currentIndex)))
                            return
                        break
                    case Qt.Key_Space:
                        // Rows just added may have left no current row yet.
                        if (count > 0)
                            window.contentView.selection.toggle(model.urlAt(currentIndex = Math.max(0, currentIndex)))
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
                width: parent.width - 6 * window.gap
                visible: fileList.count === 0
                text: qsTr("Drop HEIC files here, or use Add images")
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: window.palette.text
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

        RowLayout {
            objectName: "readingRow"
            visible: window.contentView.intake.readingFolder
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap

            ProgressBar {
                indeterminate: true
                Layout.preferredWidth: 120
                Accessible.ignored: true
            }
            Label {
                id: readingLabel
                text: qsTr("Reading folder…")
                Layout.fillWidth: true
                Accessible.role: Accessible.StatusBar
                Accessible.name: text
            }
        }

        // How many photos are listed, and the options of the next run.
        RowLayout {
            id: optionsRow
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap

            Label {
                id: countLabel
                objectName: "countLabel"
                text: window.photoCount(window.contentView.droppedFiles.count)
                elide: Text.ElideRight
                Layout.fillWidth: true
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            CheckBox {
                objectName: "keepMetadataBox"
                text: qsTr("Keep date, camera and location")
                checked: window.contentView.run.keepMetadata
                onToggled: window.contentView.run.keepMetadata = checked
            }
            CheckBox {
                objectName: "keepHdrBox"
                text: qsTr("Keep HDR")
                checked: window.contentView.run.keepHdr
                onToggled: window.contentView.run.keepHdr = checked
            }
        }

        // Why the latest files offered were not all taken; never a dialog.
        RowLayout {
            id: noticeRow
            objectName: "intakeNotice"
            visible: window.contentView.intakeNotice !== ""
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap

            Timer {
                id: noticeTimer
                interval: 8000
                onTriggered: window.contentView.dismissNotice()
            }
            Connections {
                target: window.contentView
                function onIntakeNoticeChanged() { noticeTimer.restart() }
            }
            Label {
                objectName: "intakeNoticeText"
                text: window.contentView.intakeNotice
                wrapMode: Text.WordWrap
                Layout.fillWidth: true
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
            ToolButton {
                objectName: "dismissNoticeButton"
                text: "✕"
                Accessible.name: qsTr("Dismiss")
                onClicked: window.contentView.dismissNotice()
            }
        }

        Label {
            objectName: "bookmarkProblem"
            visible: text !== ""
            text: window.contentView.bookmarkProblem
            elide: Text.ElideRight
            Layout.fillWidth: true
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap
        }

        // The run: how far it has come and a way to stop it; afterwards
        // what it did and the way back to its folder.
        RowLayout {
            objectName: "runRow"
            visible: window.contentView.run.state !== RunState.NoRun
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap

            ProgressBar {
                objectName: "runProgress"
                visible: window.running
                from: 0
                to: Math.max(1, window.contentView.run.progress.total)
                value: window.contentView.run.progress.converted + window.contentView.run.progress.failed
                Layout.fillWidth: true
                Accessible.name: runSummary.text
            }
            Label {
                id: runSummary
                objectName: "runSummary"
                text: window.contentView.run.summary
                elide: Text.ElideRight
                Layout.fillWidth: !window.running
            }
            Button {
                objectName: "cancelButton"
                text: qsTr("Cancel")
                visible: window.running
                enabled: window.contentView.run.state === RunState.Running
                onClicked: window.contentView.run.cancel()
                FocusRing {}
            }
            Button {
                objectName: "showFolderButton"
                text: qsTr("Show folder")
                visible: !window.running && window.contentView.run.outputDirectory.toString() !== ""
                onClicked: window.contentView.run.revealOutputFolder()
                FocusRing {}
            }
        }
    }
}
