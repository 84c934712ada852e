#!/usr/bin/env bash
# Folders given to the window as a person gives them: dragged from Thunar
# into Tessavo on a virtual X display (Xvfb :92, Openbox, a private session
# bus: scripts/look-desktop.sh), with a screenshot of each new state in OUTDIR:
#   1-thunar.png       the two windows side by side
#   2-hover-jpeg.png   a JPEG dragged over the list: no "will accept" border
#   3-hover-folder.png a folder dragged over the list: the border
#   4-reading.png      "Reading folder…" while a folder of 30,000 photos is read
#   5-read.png         the list afterwards
#   6-notice.png       a folder of HEIC, JPEG, hidden and linked folders dropped: the notice
#   7-end.png          the end of the list: that folder's photos
#   bash scripts/look-folders.sh OUTDIR      (after a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/look-desktop.sh
out=$(realpath -m "${1:?usage: look-folders.sh OUTDIR}")
app=$PWD/build/src/app/tessavo
sample=$PWD/tests/data/odd-size.heic
mkdir -p "$out"
desktop_start :92
export LANG=C.UTF-8
scratch=$desktop

# The photos: names chosen so that Thunar's icon view shows them in this order.
photos=$scratch/Photos
mkdir -p "$photos/A Big" "$photos/B Mixed/.thumbnails" "$photos/B Mixed/2024" "$scratch/Elsewhere"
# 30 folders of 1,000 hard links to one sample: one process per folder, not per file.
mkdir "$photos/A Big/01"
(cd "$photos/A Big/01" && cp "$sample" IMG_0001.HEIC && seq -f 'IMG_%04g.HEIC' 2 1000 | xargs -n 200 sh -c 'for f; do ln IMG_0001.HEIC "$f"; done' sh)
for d in $(seq -w 2 30); do cp -al "$photos/A Big/01" "$photos/A Big/$d"; done
for i in 1 2 10; do cp "$sample" "$photos/B Mixed/IMG_$i.HEIC"; done
cp "$sample" "$photos/B Mixed/2024/IMG_0001.heic"
cp "$sample" "$photos/B Mixed/.thumbnails/thumb.heic"
cp "$sample" "$scratch/Elsewhere/linked.heic"
ln -s "$scratch/Elsewhere" "$photos/B Mixed/Linked"
printf 'not a photo' > "$photos/B Mixed/holiday.jpg"
printf 'not a photo' > "$photos/B Mixed/clip.MOV"
ln -s "$photos/B Mixed/gone.heic" "$photos/B Mixed/broken.heic"
printf 'not a photo' > "$photos/C note.jpg"

desktop_run thunar "$photos"
desktop_run "$app"

desktop_side_by_side "Photos"
shot() { desktop_shot "$out/$1"; }
shot 1-thunar.png

# Presses on an icon of Thunar's first row and moves in small steps, as a
# hand does, to a point over the list; the drop is left to the caller.
drag_to_list() {
  xdotool mousemove "$1" 165 click 1 sleep 0.3 mousedown 1
  for x in $(seq "$1" 30 900); do xdotool mousemove "$x" 300; sleep 0.03; done
  xdotool mousemove 950 300 sleep 0.5
}
drag_to_list 380    # C note.jpg
shot 2-hover-jpeg.png
xdotool mouseup 1
sleep 0.5
drag_to_list 215    # A Big
shot 3-hover-folder.png
xdotool mouseup 1 mousemove 640 780
sleep 0.3
shot 4-reading.png
sleep 25
shot 5-read.png
drag_to_list 297    # B Mixed
xdotool mouseup 1 mousemove 640 780
sleep 1.5
shot 6-notice.png
# The end of the list: the mixed folder's photos, in name order, after the big one's.
xdotool mousemove 900 300 click 1 key End
sleep 0.5
shot 7-end.png
echo "screenshots in $out"
