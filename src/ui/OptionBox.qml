import QtQuick
import QtQuick.Controls.Fusion

// Every check box of the window: the style's, with the keyboard's ring
// around box and text.
CheckBox {
    FocusRing {}
}
