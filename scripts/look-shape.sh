#!/usr/bin/env bash
# A phone's DCIM folder as a person converts it: dragged from Thunar into
# Tessavo on a virtual X display (scripts/look-desktop.sh), converted
# into Out, and the tree that comes out opened in Thunar, with a screenshot
# of each state in OUTDIR and the tree in OUTDIR/tree.txt:
#   1-listed.png     DCIM dropped: its photos listed, a row's tooltip
#   2-converted.png  the run's summary, with the folders it made
#   3-out.png        Thunar showing Out/DCIM, 4-100apple.png inside it
#   bash scripts/look-shape.sh OUTDIR      (after a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/look-desktop.sh
out=$(realpath -m "${1:?usage: look-shape.sh OUTDIR}")
app=$PWD/build/src/app/tessavo
sample=$PWD/tests/data/exif-mm-orientation-6.heic
mkdir -p "$out"
desktop_start :96
export LANG=C.UTF-8
scratch=$desktop

card=$scratch/Card
mkdir -p "$card/DCIM/100APPLE" "$card/DCIM/101APPLE" "$card/DCIM/.Trashes" "$scratch/Out"
for name in IMG_0001 IMG_0002 IMG_0010; do cp "$sample" "$card/DCIM/100APPLE/$name.HEIC"; done
cp "$sample" "$card/DCIM/101APPLE/IMG_0001.HEIC"
cp "$sample" "$card/DCIM/.Trashes/IMG_9999.HEIC"

desktop_run thunar "$card"
desktop_run "$app"

desktop_side_by_side "^Card"
shot() { desktop_shot "$out/$1"; }

# DCIM, Thunar's first icon, pressed and moved in small steps onto the list.
xdotool mousemove 215 165 click 1 sleep 0.3 mousedown 1
for x in $(seq 215 30 900); do xdotool mousemove "$x" 300; sleep 0.03; done
xdotool mousemove 950 300 sleep 0.5 mouseup 1
sleep 2
xdotool mousemove 900 200 sleep 1.5
shot 1-listed.png

# Convert to JPEG, at the right end of the buttons; the folder typed into the dialog.
eval "$(xdotool getwindowgeometry --shell "$tessavoWin" | sed 's/^/win_/')"
xdotool mousemove --window "$tessavoWin" $((win_WIDTH - 40)) 102 click 1
sleep 1.5
xdotool type --delay 20 "$scratch/Out"
xdotool key Return
outWin=$(desktop_window "^Out")
sleep 1
xdotool windowactivate --sync "$tessavoWin"
sleep 0.5
shot 2-converted.png
xdotool windowactivate --sync "$outWin" windowsize "$outWin" 600 500 windowmove "$outWin" 0 250
sleep 1
shot 3-out.png
xdotool key ctrl+l
xdotool type --delay 20 "$scratch/Out/DCIM/100APPLE"
xdotool key Return
sleep 1.5
shot 4-100apple.png
(cd "$scratch" && find Out | sort) >"$out/tree.txt"
cat "$out/tree.txt"
echo "screenshots in $out"
