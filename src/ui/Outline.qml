import QtQuick
import Tessavo

// A control's edge, drawn over the style's own (Contrast.outline says why).
// For a check box, over its box rather than the whole control.
Rectangle {
    objectName: "outline"
    required property Palette colours

    anchors.fill: parent
    radius: 2
    color: "transparent"
    border.color: Contrast.outline(colours)
}
