import QtQuick
import QtQuick.Controls.Fusion

// Every check box of the window: the style's, with a box that stands out
// and the keyboard's ring around box and text.
CheckBox {
    id: box
    Outline {
        parent: box.indicator
        colours: box.palette
        radius: 0
    }
    FocusRing {}
}
