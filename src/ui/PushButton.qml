import QtQuick
import QtQuick.Controls.Fusion

// Every button of the window: the style's, with the keyboard's ring.
Button {
    FocusRing {}
}
