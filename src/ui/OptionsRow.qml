import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

// How many photos are listed, and the options of the next run.
RowLayout {
    id: options

    required property ContentView view
    readonly property alias countText: countLabel.text

    // English's two forms without a translation loaded; each string is a
    // plural one, which a translation gives all its forms.
    function photoCount(count: int): string {
        return count === 1 ? qsTr("%Ln photo", "", count) : qsTr("%Ln photos", "", count)
    }

    Label {
        id: countLabel
        objectName: "countLabel"
        text: options.photoCount(options.view.droppedFiles.count)
        elide: Text.ElideRight
        Layout.fillWidth: true
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    OptionBox {
        objectName: "keepMetadataBox"
        text: qsTr("Keep date, camera and location")
        checked: options.view.run.keepMetadata
        onToggled: options.view.run.keepMetadata = checked
    }
    OptionBox {
        objectName: "keepHdrBox"
        text: qsTr("Keep HDR")
        checked: options.view.run.keepHdr
        onToggled: options.view.run.keepHdr = checked
    }
    OptionBox {
        objectName: "besideOriginalsBox"
        text: qsTr("Beside the originals")
        checked: options.view.run.besideOriginals
        onToggled: options.view.run.besideOriginals = checked
        ToolTip.visible: hovered
        ToolTip.delay: 600
        ToolTip.text: qsTr("Each JPEG goes into its photo's own folder; no folder is asked for")
    }
}
