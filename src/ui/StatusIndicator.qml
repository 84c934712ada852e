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

    readonly property color successColor: "#1e9e40"
    readonly property color errorColor: "#d32f2f"

    implicitWidth: metrics.height
    implicitHeight: metrics.height

    FontMetrics {
        id: metrics
    }

    IconImage {
        objectName: "waitingIcon"
        anchors.fill: parent
        visible: indicator.status === ImageStatus.Waiting
        source: "icons/clock.svg"
        sourceSize: Qt.size(width, height)
        color: indicator.foreground
    }

    BusyIndicator {
        objectName: "convertingIndicator"
        anchors.centerIn: parent
        visible: indicator.status === ImageStatus.Converting
        running: visible
        // Half size as a geometry effect: the slot does not grow.
        scale: 0.5
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
