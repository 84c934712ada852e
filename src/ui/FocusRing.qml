import QtQuick
import Tessavo

// The keyboard's place on a control, drawn over it: Fusion's own is a
// 1-pixel line in a tint of the control.
Rectangle {
    objectName: "focusRing"
    anchors.fill: parent
    anchors.margins: -1
    radius: 3
    color: "transparent"
    border.width: 2
    border.color: Contrast.ring(parent.palette)
    visible: parent.visualFocus
}
