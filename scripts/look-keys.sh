#!/usr/bin/env bash
# Drives the main window by keyboard on a virtual X display with Openbox and
# Thunar (scripts/look-desktop.sh, :93) and writes a screenshot of each state
# to OUTDIR: the File menu opened with F10 and walked with the arrows, the
# focus ring on the list, a check box and a button, the keyboard back in the
# list after Add folder… (cancelled, then a folder chosen), back on the
# control that had it after Alt+Tab to Thunar and back, the question on
# closing during a run (its default ringed each time it is asked), About
# opened from the menu, the window's place remembered across launches, and
# its size across one at 2x.
# NAME-zoom.png is a part of NAME.png twice as large.
#   bash scripts/look-keys.sh OUTDIR        (after a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/look-desktop.sh
out=$(realpath -m "${1:?usage: look-keys.sh OUTDIR}")
mkdir -p "$out"
app=$PWD/build/src/app/tessavo
desktop_start :93
scratch=$desktop

# Enough copies of a 12-megapixel photo that a run lasts a while.
mkdir -p "$scratch/photos" "$scratch/out" "$scratch/more"
names=()
for i in $(seq -w 1 60); do
  cp tests/data/gradient-12mp.heic "$scratch/photos/IMG_$i.HEIC"
  names+=("\"IMG_$i.HEIC\"")
done
cp tests/data/gradient-12mp.heic "$scratch/more/IMG_A.HEIC"
cp tests/data/gradient-12mp.heic "$scratch/more/IMG_B.HEIC"
desktop_run thunar "$scratch/more"
thunar_window=$(xdotool search --sync --onlyvisible --name '^more - Thunar$' | head -1)
sleep 1
xdotool windowmove "$thunar_window" 0 0 windowsize "$thunar_window" 600 400

xdotool mousemove 5 5

shot() { sleep 0.7; desktop_shot "$out/$1.png"; echo "$out/$1.png"; }
key() { xdotool key --delay 150 "$@"; sleep 0.3; }
# NAME Y H: the window's rows from Y to Y+H of NAME.png (Y from the bottom
# when negative), twice as large.
zoom() {
  local x0 y0 width height y=$2
  read -r x0 y0 width height <<<"$(xwininfo -id "$main" | sed -n 's/.*\(Absolute upper-left [XY]\|Width\|Height\): *//p' | tr '\n' ' ')"
  ((y >= 0)) || y=$((height + y))
  convert "$out/$1.png" -crop "${width}x$3+$x0+$((y0 + y))" +repage -scale 200% "$out/$1-zoom.png"
}
launch() {
  desktop_run "$app" >"$scratch/stdout" 2>"$scratch/stderr"
  app_pid=$desktop_pid
  main=$(xdotool search --sync --onlyvisible --name '^Tessavo$' | head -1)
  xdotool windowactivate --sync "$main"
  sleep 0.5
}
# Types into the focused file dialog: a folder, then what to choose in it.
choose() {
  sleep 1
  xdotool type --delay 5 "$1"; key Return
  if [ -n "${2:-}" ]; then xdotool type --delay 2 "$2"; key Return; fi
  sleep 1
}

launch
key F10
shot 01-f10-file-menu
key Down Down
shot 02-file-menu-walked
key Escape
key ctrl+o
choose "$scratch/photos/" "${names[*]}"
shot 03-after-picker-list-focused
key Down Down
shot 04-down-at-once
key space
key Tab
shot 05-focus-ring-on-button
key F10 Right Down
shot 06-help-menu-keyboard
key Return
shot 07-about-open-help-not-highlighted
key Escape
shot 08-about-closed-list-focused

# Add folder… by keyboard: Tab from the list passes the three options and
# Add images; the dialog cancelled, the keyboard is in the list, Down moves.
key Tab Tab
shot 08a-ring-on-keep-hdr
zoom 08a-ring-on-keep-hdr -45 45
key Tab Tab Tab
shot 08b-ring-on-add-folder
zoom 08b-ring-on-add-folder 80 45
key Return
shot 08c-folder-dialog
key Escape
shot 08d-cancelled-list-focused
key Down
shot 08e-down-after-cancel
# Add folder… clicked, a folder chosen: the list has the keyboard, Delete
# removes the selected row at once.
xdotool mousemove --window "$main" 190 102 click 1
choose "$scratch/more"
xdotool mousemove 5 5
shot 08f-folder-added-list-focused
key Delete
shot 08g-delete-at-once
# Alt+Tab to Thunar and back: the ring is back on Keep HDR, and Space
# toggles it.
key Tab Tab
key alt+Tab
shot 08h-thunar-active
key alt+Tab
shot 08i-back-ring-on-keep-hdr
zoom 08i-back-ring-on-keep-hdr -45 45
key space
shot 08j-space-checks-keep-hdr
zoom 08j-space-checks-keep-hdr -45 45
key space
# And back to the list: Alt+Tab there and back, Down moves at once.
key shift+Tab shift+Tab
key alt+Tab alt+Tab
key Down
shot 08k-back-in-list-down-at-once

# Convert from the File menu, into the scratch folder, then close mid-run.
key F10 Down Down Down Return
choose "$scratch/out"
sleep 1
key ctrl+q
shot 09-close-asks
zoom 09-close-asks 180 140
key Escape
shot 10-kept-converting
# Asked a second time: Keep Converting has the ring again.
key alt+F4
shot 11-window-manager-close-asks
zoom 11-window-manager-close-asks 180 140
key shift+Tab
shot 12-stop-and-quit-focused
key Return
# The photos under way finish first.
for _ in $(seq 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$app_pid" 2>/dev/null; then echo "still running after Stop and Quit" >&2; exit 1; fi
jpegs=$(find "$scratch/out" -name '*.jpg' | wc -l)
hidden=$(find "$scratch/out" -name '.*' | wc -l)
echo "after Stop and Quit: $jpegs JPEGs, $hidden hidden files, $(grep -c . "$scratch/stdout" || true) stdout lines"

# Moved and resized, closed, launched again: the same place.
launch
xdotool windowsize --sync "$main" 900 600
xdotool windowmove --sync "$main" 200 120
sleep 0.5
before=$(xdotool getwindowgeometry "$main" | tail -2 | tr -s ' ')
key ctrl+w
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
launch
after=$(xdotool getwindowgeometry "$main" | tail -2 | tr -s ' ')
shot 13-place-remembered
echo "before: $before"
echo "after:  $after"
[ "$before" = "$after" ] || { echo "the place was not remembered" >&2; exit 1; }
key ctrl+q
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$app_pid" 2>/dev/null; then echo "still running after Ctrl+Q" >&2; exit 1; fi
echo "Ctrl+Q with no run: closed at once"

# One launch at 2x between two at 1x leaves the size chosen at 1x as it was.
quit() { key ctrl+w; for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done; }
launch
xdotool windowsize --sync "$main" 700 560
sleep 0.5
quit
QT_SCALE_FACTOR=2 launch
shot 14-at-2x-fitted
quit
echo "saved after 2x: $(grep geometry "$XDG_CONFIG_HOME/tessavo/tessavo.conf")"
launch
size=$(xdotool getwindowgeometry "$main" | sed -n 's/ *Geometry: //p')
shot 15-back-at-1x
quit
echo "size at 1x after a launch at 2x: $size"
[ "$size" = 700x560 ] || { echo "the size chosen at 1x was not kept" >&2; exit 1; }
