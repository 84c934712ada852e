import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Tessavo

Item {
    implicitWidth: 300
    implicitHeight: 400

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        Image {
            objectName: "appIcon"
            source: "icons/app_icon.svg"
            sourceSize: Qt.size(200, 200)
            fillMode: Image.PreserveAspectFit
            Layout.preferredWidth: 100
            Layout.preferredHeight: 100
            Layout.topMargin: 20
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            text: qsTr("Tessavo")
            font: TextStyle.title
            Layout.topMargin: 10
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            objectName: "versionLabel"
            text: qsTr("Version %1").arg(Qt.application.version)
            font: TextStyle.subheadline
            Layout.topMargin: 5
            Layout.alignment: Qt.AlignHCenter
        }
        Label {
            objectName: "descriptionLabel"
            text: qsTr("Easily convert HEIC files to JPEG format on your Linux desktop.")
            wrapMode: Text.WordWrap
            Layout.maximumWidth: 260
            Layout.topMargin: 10
            Layout.leftMargin: 20
            Layout.rightMargin: 20
            Layout.alignment: Qt.AlignHCenter
        }
        Item {
            Layout.fillHeight: true
        }
        Label {
            objectName: "attributionLabel"
            text: qsTr("© 2026 The Tessavo developers")
            font: TextStyle.footnote
            Layout.bottomMargin: 20
            Layout.alignment: Qt.AlignHCenter
        }
    }
}
