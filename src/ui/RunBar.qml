import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// The run: how far it has come and a way to stop it; afterwards what it
// did and the way back to its folder.
RowLayout {
    id: bar
    objectName: "runRow"

    required property ConversionRun run
    // Converting, or finishing the photos under way after Cancel.
    required property bool running

    visible: run.state !== RunState.NoRun

    ProgressBar {
        objectName: "runProgress"
        visible: bar.running
        from: 0
        to: Math.max(1, bar.run.progress.total)
        value: bar.run.progress.converted + bar.run.progress.failed
        Layout.fillWidth: true
        Accessible.name: runSummary.text
    }
    Label {
        id: runSummary
        objectName: "runSummary"
        text: bar.run.summary
        elide: Text.ElideRight
        Layout.fillWidth: !bar.running
    }
    PushButton {
        objectName: "cancelButton"
        text: qsTr("Cancel")
        visible: bar.running
        enabled: bar.run.state === RunState.Running
        onClicked: bar.run.cancel()
    }
    PushButton {
        objectName: "showFolderButton"
        text: qsTr("Show folder")
        visible: !bar.running && bar.run.outputDirectory.toString() !== ""
        onClicked: bar.run.revealOutputFolder()
    }
}
