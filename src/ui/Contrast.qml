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

    // `background`, darkened or lightened away from `text` until text on it
    // reads at 4.5:1 (a desktop's own selection blue often falls short).
    function readableBehind(background, text) {
        let colour = background
        const darken = !isDark(text)
        for (let i = 0; i < 8 && ratio(colour, text) < 4.5; ++i)
            colour = darken ? Qt.darker(colour, 1.12) : Qt.lighter(colour, 1.12)
        return colour
    }

    // `colour` mixed toward `toward` until it reads at 4.5:1 on
    // `background`: unlike the enabled text still, but legible.
    function readableToward(colour, toward, background) {
        let mixed = colour
        for (let i = 1; i <= 10 && ratio(mixed, background) < 4.5; ++i) {
            const t = i / 10
            mixed = Qt.rgba(colour.r + (toward.r - colour.r) * t, colour.g + (toward.g - colour.g) * t,
                            colour.b + (toward.b - colour.b) * t, 1)
        }
        return mixed
    }
}
