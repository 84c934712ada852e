import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// Shown while a folder is walked for its photos.
RowLayout {
    objectName: "readingRow"

    required property FileIntake intake

    visible: intake.readingFolder
    // On the row, not the label: Qt 6.4 reads any label as plain text.
    Accessible.role: Accessible.StatusBar
    Accessible.name: readingLabel.text

    ProgressBar {
        indeterminate: true
        Layout.preferredWidth: 120
        Accessible.ignored: true
    }
    Label {
        id: readingLabel
        text: qsTr("Reading folder…")
        Layout.fillWidth: true
        Accessible.ignored: true
    }
}
