import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Controls.impl
import Tessavo

// One indicator per status, in a slot as high as a line of text so a row
// keeps its height whatever its status.
Item {
    id: indicator

    required property int status
    // Foreground of the row (changes with the selection highlight).
    property color foreground: palette.text
    // The row is selected: the coloured icons then sit on a disc of the
    // list's own background, or green and red would vanish into the blue.
    property bool onHighlight: false
    // Angle of the converting spinner; the list turns every spinner at once.
    property real spinAngle: 0

    // Dark and light variants that read at 4.5:1 on the list's background.
    readonly property bool darkBase: Contrast.isDark(palette.base)
    readonly property color successColor: darkBase ? "#5fd27d" : "#1a7f37"
    readonly property color errorColor: darkBase ? "#ff7b72" : "#cf222e"
    readonly property bool coloured: status === ImageStatus.Success || status === ImageStatus.Error

    implicitWidth: metrics.height
    implicitHeight: metrics.height

    FontMetrics {
        id: metrics
    }

    Rectangle {
        objectName: "statusBadge"
        anchors.centerIn: parent
        width: parent.width + 2
        height: width
        radius: width / 2
        color: indicator.palette.base
        visible: indicator.onHighlight && indicator.coloured
    }

    IconImage {
        objectName: "waitingIcon"
        anchors.fill: parent
        visible: indicator.status === ImageStatus.Waiting
        source: "icons/clock.svg"
        sourceSize: Qt.size(width, height)
        color: indicator.foreground
    }

    // Turned in steps by the list's timer rather than animated per frame:
    // a run's cost must stay in the conversions, not in repainting.
    IconImage {
        objectName: "convertingIndicator"
        anchors.fill: parent
        visible: indicator.status === ImageStatus.Converting
        source: "icons/spinner.svg"
        sourceSize: Qt.size(width, height)
        color: indicator.foreground
        rotation: indicator.spinAngle
    }

    IconImage {
        objectName: "successIcon"
        anchors.fill: parent
        visible: indicator.status === ImageStatus.Success
        source: "icons/checkmark_circle.svg"
        sourceSize: Qt.size(width, height)
        color: indicator.successColor
    }

    IconImage {
        objectName: "errorIcon"
        anchors.fill: parent
        visible: indicator.status === ImageStatus.Error
        source: "icons/xmark_circle.svg"
        sourceSize: Qt.size(width, height)
        color: indicator.errorColor
    }
}
