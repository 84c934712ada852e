#!/usr/bin/env bash
# Looks at opening Tessavo on files as a person would: Openbox and Thunar on
# Xvfb :91 and a private session bus (scripts/look-desktop.sh), the desktop
# entry installed for this user only. A first window, then a second
# `tessavo X.heic Y.heic` from a terminal that hands its files to the first
# and raises it above Thunar, then Thunar's context menu on a HEIC photo,
# which offers Tessavo, and the photo opened with it.
#   bash scripts/look-launch.sh OUTDIR      (after a build in build/)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/look-desktop.sh"
out=$(mkdir -p "${1:?OUTDIR}" && cd "$1" && pwd)
[ -x "$repo/build/src/app/tessavo" ] || { echo "look-launch: build first (build/src/app/tessavo)" >&2; exit 1; }

# The desktop entry's Exec finds this build's tessavo.
export PATH=$repo/build/src/app:$PATH
desktop_start :91 >/dev/null 2>&1
apps=$XDG_DATA_HOME/applications
mkdir -p "$apps" "$XDG_DATA_HOME/icons/hicolor/scalable/apps" "$HOME/Pictures"
cp "$repo/src/app/io.github.tessavo.tessavo.desktop" "$apps/"
cp "$repo/src/ui/icons/app_icon.svg" "$XDG_DATA_HOME/icons/hicolor/scalable/apps/tessavo.svg"
update-desktop-database "$apps"
for name in X Y Z; do cp "$repo/tests/data/orientation-6-icc.heic" "$HOME/Pictures/$name.heic"; done
shot() { sleep 1; desktop_shot "$out/$1.png"; echo "look-launch: $out/$1.png"; }

desktop_run tessavo >/dev/null 2>&1
first=$(xdotool search --sync --onlyvisible --name "^Tessavo$" | head -1)
shot 1-first-window-empty

desktop_run thunar "$HOME/Pictures" >/dev/null 2>&1
xdotool search --sync --name "Pictures" >/dev/null
shot 2-thunar-above-tessavo

cd "$HOME/Pictures"
start=$(date +%s%N)
tessavo X.heic Y.heic
echo "look-launch: the second launch ended with status $? after $(( ($(date +%s%N) - start) / 1000000 )) ms"
echo "look-launch: Tessavo windows: $(xdotool search --onlyvisible --name "^Tessavo$" | wc -l), active: $(xdotool getactivewindow getwindowname)"
shot 3-second-launch-handed-over

# Thunar: select Z.heic and open its context menu.
xdotool search --name "Pictures" windowactivate --sync
sleep 0.5
xdotool type Z.heic
sleep 0.5
xdotool key Escape key Menu
shot 4-thunar-context-menu
# Its first item, Open With "Tessavo", through the desktop entry.
xdotool key Home Return
shot 5-opened-with-tessavo-from-thunar
echo "look-launch: WM_CLASS of the window: $(xprop -id "$first" WM_CLASS | cut -d= -f2)"

# About gives the version of the build.
xdotool windowactivate --sync "$first" key alt+h
sleep 0.5
xdotool key Down Return
shot 6-about-version
