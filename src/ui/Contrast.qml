pragma Singleton
import QtQuick

// Contrast as the WCAG defines it, to pick colours that stay readable under
// any palette the desktop hands us.
QtObject {
    function channel(value) {
        return value <= 0.04045 ? value / 12.92 : Math.pow((value + 0.055) / 1.055, 2.4)
    }

    function luminance(colour) {
        return 0.2126 * channel(colour.r) + 0.7152 * channel(colour.g) + 0.0722 * channel(colour.b)
    }

    function ratio(a, b) {
        const la = luminance(a)
        const lb = luminance(b)
        return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05)
    }

    function isDark(colour) {
        return luminance(colour) < 0.18
    }

    // `colour` mixed towards black or white, whichever stands further from
    // `background`, until it stands out from it by `minimum`.
    function standingOut(colour, background, minimum) {
        const black = Qt.rgba(0, 0, 0, 1), white = Qt.rgba(1, 1, 1, 1)
        const away = ratio(background, black) > ratio(background, white) ? black : white
        let t = 0
        while (t < 1 && ratio(mix(colour, away, t), background) < minimum)
            t += 0.05
        return mix(colour, away, Math.min(t, 1))
    }
    function mix(from, to, t) {
        return Qt.rgba(from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t, 1)
    }

    // A control's edge and the keyboard's ring, at 3:1 on the window: Fusion
    // draws its edges a shade off the window (2:1 in Qt's light palette,
    // 1.2:1 in a dark one), and a desktop's highlight may be as dark as it.
    function outline(palette) {
        return standingOut(palette.mid, palette.window, 3)
    }
    function ring(palette) {
        return standingOut(palette.highlight, palette.window, 3)
    }

    // `background`, darkened or lightened away from `text` until text on it
    // reads at 4.5:1 (a desktop's own selection blue often falls short).
    function readableBehind(background, text) {
        let colour = background
        const darken = !isDark(text)
        for (let i = 0; i < 8 && ratio(colour, text) < 4.5; ++i)
            colour = darken ? Qt.darker(colour, 1.12) : Qt.lighter(colour, 1.12)
        return colour
    }

    // Desktops' disabled text is often too faint to read (1.8:1 in Qt's own
    // light palette); the window's own reads at 4.5:1. Not bound: setting a
    // colour changes the palette, so each is set only when it differs.
    function readableDisabledText(palette) {
        const set = (group, role, text, background) => {
            const readable = disabledText(text, background)
            if (!Qt.colorEqual(group[role], readable))
                group[role] = readable
        }
        set(palette.disabled, "buttonText", palette.active.buttonText, palette.active.button)
        set(palette.disabled, "windowText", palette.active.windowText, palette.active.window)
        set(palette.disabled, "text", palette.active.text, palette.active.base)
    }

    // Text that reads as disabled, unlike `text`, yet at 4.5:1 on `background`:
    // halfway between the two, then closer to the text until it reads.
    function disabledText(text, background) {
        let t = 0.5
        while (t < 1 && ratio(mix(background, text, t), background) < 4.5)
            t += 0.05
        return mix(background, text, Math.min(t, 1))
    }
}
