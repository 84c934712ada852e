#!/usr/bin/env bash
# Looks at the rows as a person would, on a virtual 1280x800 X display with
# Openbox and a private session bus (scripts/look-desktop.sh, :94): a failed row's reason under its name,
# the photo count, the options (and that a run from the window keeps the
# date and the modification time, and the option after a restart), a double
# click opening a converted JPEG in the default viewer (a stand-in that
# records what it was given), disabled text in the light palette and in a
# dark one (a Qt Quick Controls colour scheme), the edges of the controls
# under GTK's Adwaita and its dark variant (Qt's GTK platform theme, as a
# GNOME desktop hands its palette over), and About at QT_SCALE_FACTOR=2. One
# screenshot per state into OUTDIR, and what was checked in
# OUTDIR/checks.txt.
#   bash scripts/look-rows.sh OUTDIR
# Needs a build in build/.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/look-desktop.sh"
out=$(mkdir -p "$1" && cd "$1" && pwd)
# What the bus starts (the file manager for the reveal) opens on this display.
desktop_start :94
work=$desktop

shot() { xdotool mousemove 1270 790; sleep 1; desktop_shot "$out/$1.png"; }
key() { xdotool key --delay 100 "$@"; sleep 0.7; }
type_line() { xdotool type --delay 20 "$1"; sleep 0.3; xdotool key Return; sleep 1; }
check() { echo "$*" | tee -a "$out/checks.txt"; }
: >"$out/checks.txt"

# The default viewer for JPEGs: records its argument.
cat >"$work/viewer.sh" <<EOF
#!/bin/sh
echo "\$1" >>"$work/opened.txt"
EOF
chmod +x "$work/viewer.sh"
mkdir -p "$XDG_DATA_HOME/applications"
cat >"$XDG_DATA_HOME/applications/look-viewer.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Look viewer
Exec=$work/viewer.sh %f
MimeType=image/jpeg;
EOF
xdg-mime default look-viewer.desktop image/jpeg
: >"$work/opened.txt"

photos=$work/Photos
mkdir -p "$photos" "$work/Out"
cp "$repo/tests/data/orientation-1.heic" "$photos/IMG_0001.HEIC"
cp "$repo/tests/data/exif-ii-orientation-3.heic" "$photos/IMG_0002.HEIC"
touch -d '2024-01-02 03:04:05' "$photos/IMG_0002.HEIC"
cp "$repo/tests/data/broken-tile.heic" "$photos/IMG_0003.HEIC"
printf 'not a photo' >"$photos/IMG_0004 notes from the trip.heic"
cp "$repo/tests/data/clap-even.heic" "$photos/IMG_0005.HEIC"
files="\"$photos/IMG_0001.HEIC\" \"$photos/IMG_0002.HEIC\" \"$photos/IMG_0003.HEIC\" \"$photos/IMG_0004 notes from the trip.heic\" \"$photos/IMG_0005.HEIC\""

# Starts the window with the given environment, returns its id in $window.
start() {
  QT_QPA_PLATFORM=xcb "$@" "$repo/build/src/app/tessavo" >>"$out/stdout.txt" 2>>"$out/stderr.txt" &
  app=$!
  desktop_pids+=($app)
  window=$(xdotool search --sync --all --onlyvisible --pid "$app" --name '^Tessavo$' | head -1)
  xdotool windowactivate --sync "$window"
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window" | sed 's/^/win_/')"
}
stop() { kill "$app"; wait "$app" 2>/dev/null || true; }
# Clicks at x, y inside the window.
click() { local x=$1 y=$2; shift 2; xdotool mousemove --window "$window" "$x" "$y" click "$@" 1; sleep 0.7; }

# Light palette: rows, count, options, Remove disabled.
start env
key ctrl+o
type_line "$files"
shot 1-listed
# The options sit at the right of the bottom bar; "Keep HDR" is last.
click $((win_WIDTH - 250)) $((win_HEIGHT - 22))
shot 2-keep-metadata-checked
# Convert to JPEG: the right end of the row of buttons.
click $((win_WIDTH - 40)) 102
type_line "$work/Out"
# The reveal opens the folder in a file manager when the run ends; close it.
timeout 20 xdotool search --sync --onlyvisible --name '^Out' windowclose >/dev/null || true
sleep 1
xdotool windowactivate --sync "$window"
shot 3-converted

jpeg=$work/Out/IMG_0002.jpg
check "IMG_0002.jpg DateTimeOriginal: $(exiftool -s3 -DateTimeOriginal "$jpeg")"
check "IMG_0002.jpg mtime: $(stat -c %y "$jpeg") (the photo's: $(stat -c %y "$photos/IMG_0002.HEIC"))"

# Double clicks: a failed row (the third, two lines high), then a converted
# one (the first).
click 120 195 --repeat 2 --delay 80
click 120 144 --repeat 2 --delay 80
# Down to the second row, converted too, and Return.
key Down Return
sleep 2
check "opened after double clicks on a failed and a converted row, then Return on the second: $(tr '\n' ' ' <"$work/opened.txt")"
shot 4-after-double-click
stop

# The option is remembered.
start env
shot 5-relaunched
stop

# A dark palette. Qt 6.4's Fusion controls keep their own palette whatever
# the desktop's theme says; a colour scheme of Qt Quick Controls' own
# configuration reaches them.
cat >"$work/dark.conf" <<'EOF'
[Fusion\Palette]
Window=#31363b
WindowText=#eff0f1
Base=#232629
AlternateBase=#31363b
Text=#eff0f1
Button=#31363b
ButtonText=#eff0f1
Light=#474d53
Midlight=#3b4045
Mid=#62686e
Dark=#1b1e20
Shadow=#121415
Highlight=#3daee9
HighlightedText=#fcfcfc
EOF
start env QT_QUICK_CONTROLS_CONF="$work/dark.conf"
key ctrl+o
type_line "$files"
click $((win_WIDTH - 40)) 102
type_line "$work/Out"
timeout 20 xdotool search --sync --onlyvisible --name '^Out' windowclose >/dev/null || true
sleep 1
xdotool windowactivate --sync "$window"
shot 6-dark
stop

# GTK's Adwaita, light and dark: the unchecked boxes and every edge stand out
# from the window. Measured on the screenshot: the Add images button's edge
# along the row of buttons, and the first check box's along the row of
# options, where the first pixel in the list's own colour is inside the box.
edge_contrast() {
  local png=$1 y=$2 inside=$3
  convert "$png" -crop "${win_WIDTH}x1+$abs_x+$((abs_y + y))" -depth 8 rgb:- | python3 -c '
import sys
data = sys.stdin.buffer.read()
row = [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]
window = row[2]
at = row.index(tuple(int(v) for v in sys.argv[1].split(","))) if sys.argv[1] else next(x for x, p in enumerate(row) if p != window) + 1
edge = row[at - 1]
lin = lambda c: c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
lum = lambda p: 0.2126 * lin(p[0] / 255) + 0.7152 * lin(p[1] / 255) + 0.0722 * lin(p[2] / 255)
high, low = sorted((lum(edge), lum(window)), reverse=True)
print("edge #%02x%02x%02x on window #%02x%02x%02x: %.2f:1" % (*edge, *window, (high + 0.05) / (low + 0.05)))' "$inside"
}
for theme in Adwaita Adwaita:dark; do
  name=gtk-${theme/:/-}
  start env QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=$theme
  shot "8-$name"
  # The client's place on the screen, inside Openbox's frame.
  read -r abs_x abs_y <<<"$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left [XY]: *//p' | tr '\n' ' ')"
  inside="p{$((abs_x + 40)),$((abs_y + 250))}"
  base=$(convert "$out/8-$name.png" -depth 8 -format "%[fx:int(255*$inside.r)],%[fx:int(255*$inside.g)],%[fx:int(255*$inside.b)]" info:)
  check "$theme: Add images, $(edge_contrast "$out/8-$name.png" 102 "")"
  check "$theme: first check box, $(edge_contrast "$out/8-$name.png" $((win_HEIGHT - 22)) "$base")"
  convert "$out/8-$name.png" -crop "${win_WIDTH}x${win_HEIGHT}+$abs_x+$abs_y" +repage \
    \( +clone -crop "${win_WIDTH}x45+0+80" \) \( -clone 0 -crop "${win_WIDTH}x45+0+$((win_HEIGHT - 45))" \) \
    -delete 0 -append -scale 200% "$out/8-$name-zoom.png"
  # Tab to the first box: its ring.
  key Tab
  shot "9-$name-ring"
  stop
done

# About at scale 2: 640x400 points.
start env QT_SCALE_FACTOR=2
click 36 28
click 92 80
sleep 1
about=$(xdotool getactivewindow)
geometry=$(xwininfo -id "$about")
y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$geometry")
height=$(sed -n 's/.*Height: *//p' <<<"$geometry")
read -r _ _ top bottom <<<"$(xprop -id "$about" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
check "About at 2x: its frame from y=$((y - top)) to y=$((y + height + bottom)), on a screen 800 high"
shot 7-about-2x
stop
echo "screenshots in $out"
