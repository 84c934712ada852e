import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

ApplicationWindow {
    id: window

    required property ContentView contentView

    readonly property int gap: 10
    readonly property bool running: contentView.run.state === RunState.Running
                                    || contentView.run.state === RunState.Cancelling
    // The screen less room for the window's frame and title bar, in this
    // scale's units: at 2x an 800-pixel screen offers only 400.
    readonly property int roomWidth: Math.min(Screen.width, Screen.desktopAvailableWidth) - 20
    readonly property int roomHeight: Math.min(Screen.height, Screen.desktopAvailableHeight) - 40

    minimumWidth: Math.min(Math.max(buttonRow.implicitWidth, optionsRow.implicitWidth) + 4 * gap, roomWidth)
    minimumHeight: Math.min(320, roomHeight)
    visible: true
    title: qsTr("Tessavo")

    onPaletteChanged: Contrast.readableDisabledText(palette)

    // Sized once rather than bound, so that a remembered size stays; the
    // window is shown after this.
    Component.onCompleted: {
        Contrast.readableDisabledText(palette)
        width = Math.min(Math.max(640, minimumWidth), roomWidth)
        height = Math.min(480, roomHeight)
        contentView.rememberPlaceOf(window)
    }

    menuBar: MainMenuBar {
        view: window.contentView
        keyboard: keyboardFocus
        running: window.running
        canConvert: buttonRow.canConvert
        onQuit: window.close()
    }

    KeyboardFocus {
        id: keyboardFocus
        window: window
        list: fileList.list
    }

    // Photos waiting are not dropped without asking.
    onClosing: (close) => {
        if (window.contentView.run.state !== RunState.Running)
            return
        close.accepted = false
        stopDialog.open()
    }

    StopQuestion {
        id: stopDialog
        run: window.contentView.run
        keyboard: keyboardFocus
        // Set, not implied: the button box's width and the dialog's would chase each other.
        width: Math.min(window.width - 4 * window.gap, 420)
        onAccepted: {
            window.contentView.run.cancel()
            window.close()
        }
    }

    Shortcut {
        sequences: ["Ctrl+W"]
        onActivated: window.close()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: window.gap
        spacing: window.gap
        Keys.onPressed: (event) => keyboardFocus.pressFocusedButton(event)

        Label {
            objectName: "titleLabel"
            text: qsTr("Convert HEIC to JPEG format")
            font: TextStyle.title
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: window.gap
        }
        ButtonRow {
            id: buttonRow
            view: window.contentView
            keyboard: keyboardFocus
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap
        }
        FileList {
            id: fileList
            view: window.contentView
            gap: window.gap
            spinning: window.running && window.visible
            description: optionsRow.countText
            colours: window.palette
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
        ReadingFolderRow {
            intake: window.contentView.intake
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap
        }
        OptionsRow {
            id: optionsRow
            view: window.contentView
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap
        }
        IntakeNotice {
            view: window.contentView
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap
        }
        BookmarkProblem {
            view: window.contentView
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap
        }
        RunBar {
            run: window.contentView.run
            running: window.running
            spacing: window.gap
            Layout.leftMargin: window.gap
            Layout.rightMargin: window.gap
        }
    }
}
