import QtQuick
import QtQuick.Controls.Fusion

// Every button of the window: the style's, with an edge that stands out and
// the keyboard's ring.
Button {
    id: button
    Outline {
        colours: button.palette
    }
    FocusRing {}
}
