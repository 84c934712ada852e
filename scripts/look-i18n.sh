#!/usr/bin/env bash
# Looks at the window in German and French as a person would: on a virtual
# X display with Openbox (scripts/look-desktop.sh, :95), photos added with the file picker (Ctrl+O), a run
# with a failed photo, its summary, the Help menu and About. One screenshot
# per state into OUTDIR, named <language>-<step>.png, to be looked at for
# text cut short; then <language>-words-*.png: numbers as the language
# groups them, the pickers' titles and the store's failure (as root).
#   bash scripts/look-i18n.sh OUTDIR [LANGUAGES]   (default: "de_DE fr_FR")
# Needs a build in build/.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/look-desktop.sh"
out=$(mkdir -p "$1" && cd "$1" && pwd)
languages=${2:-de_DE fr_FR}
desktop_start :95
work=$desktop

shot() { sleep 1; desktop_shot "$out/$1.png"; }
key() { xdotool key --delay 100 "$@"; sleep 0.7; }
type_line() { xdotool type --delay 20 "$1"; sleep 0.3; xdotool key Return; sleep 1; }

photos=$work/Urlaubsfotos
mkdir -p "$photos"
cp "$repo/tests/data/phone-grid.heic" "$photos/IMG_0001.HEIC"
cp "$repo/tests/data/recent-phone.heic" "$photos/IMG_0002 Sonnenuntergang am Strand.HEIC"
cp "$repo/tests/data/clap-even.heic" "$photos/IMG_0003.HEIC"
printf 'not a photo' > "$photos/IMG_0004.HEIC"

for language in $languages; do
  lang=${language%%_*}
  # Each language as on a first launch: no settings, no folder the dialogs remember.
  rm -rf "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/tessavo" "$photos/Ausgabe"
  mkdir -p "$XDG_CONFIG_HOME"
  LC_ALL=$language.UTF-8 LANG=$language.UTF-8 QT_QPA_PLATFORM=xcb \
    "$repo/build/src/app/tessavo" >"$out/$lang-stdout.txt" 2>"$out/$lang-stderr.txt" &
  app=$!
  desktop_pids+=($app)
  xdotool search --sync --onlyvisible --name '^Tessavo$' windowactivate --sync >/dev/null
  shot "$lang-1-empty"
  key ctrl+o
  shot "$lang-2-picker"
  type_line "\"$photos/IMG_0001.HEIC\" \"$photos/IMG_0002 Sonnenuntergang am Strand.HEIC\" \"$photos/IMG_0003.HEIC\" \"$photos/IMG_0004.HEIC\""
  shot "$lang-3-rows"
  # Convert to JPEG: the right end of the row of buttons, whatever its width.
  window=$(xdotool search --onlyvisible --name '^Tessavo$' | head -1)
  width=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^WIDTH=//p')
  xdotool mousemove --window "$window" $((width - 40)) 102 click 1
  shot "$lang-4-folder-picker"
  mkdir -p "$photos/Ausgabe"
  type_line "$photos/Ausgabe"
  # The folder opens in the file manager when the run ends; close it again.
  timeout 10 xdotool search --sync --onlyvisible --name 'Ausgabe' windowclose >/dev/null || true
  sleep 1
  xdotool windowactivate --sync "$window"
  shot "$lang-5-summary"
  # The failed row's reason, in its tooltip.
  xdotool mousemove --window "$window" 100 150 sleep 0.3 mousemove --window "$window" 100 212
  sleep 1.5
  shot "$lang-5-reason"
  xdotool mousemove --window "$window" 18 14 click 1
  shot "$lang-6-help-menu"
  xdotool mousemove --window "$window" 46 40 click 1
  shot "$lang-7-about"
  # As narrow and low as the window lets itself be made.
  xdotool key Escape windowsize "$window" 100 100
  shot "$lang-8-smallest"
  kill "$app"
  wait "$app" 2>/dev/null || true
done

# Numbers, titles and the store's failure: 1,234 photos read from a folder
# and offered again (the count and the notice), the pickers' titles, a run's
# summary and the question on closing it, with the bookmark store's folder
# on a read-only mount (its line, its tooltip, dismissed). Needs root.
many=$work/many
mkdir -p "$many"
for i in $(seq 1234); do ln "$repo/tests/data/gradient-12mp.heic" "$many/IMG_$i.HEIC"; done
for language in $languages; do
  lang=${language%%_*}
  home=$work/home-words-$lang data=$work/home-words-$lang/.local/share/tessavo/tessavo
  mkdir -p "$data" "$work/out-$lang"
  trap 'umount "$data" 2>/dev/null || true; cleanup' EXIT
  sqlite3 "$data/bookmarks.sqlite" 'PRAGMA journal_mode = WAL; CREATE TABLE bookmarks (path TEXT)' >/dev/null
  mount --bind "$data" "$data" && mount -o remount,bind,ro "$data"
  HOME=$home LC_ALL=$language.UTF-8 LANG=$language.UTF-8 QT_QPA_PLATFORM=xcb \
    "$repo/build/src/app/tessavo" >"$out/$lang-words-stdout.txt" 2>"$out/$lang-words-stderr.txt" &
  app=$!
  pids+=($app)
  window=$(xdotool search --sync --onlyvisible --name '^Tessavo$' | head -1)
  xdotool windowactivate --sync "$window"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  key ctrl+o
  shot "$lang-words-1-image-picker"
  key Escape
  key F10 Down Down Return
  shot "$lang-words-2-folder-picker"
  type_line "$many"
  sleep 3
  shot "$lang-words-3-count-and-store-line"
  key F10 Down Down Return
  type_line "$many"
  shot "$lang-words-4-notice"
  xdotool mousemove --window "$window" 60 $((HEIGHT - 22))
  sleep 2
  shot "$lang-words-5-store-tooltip"
  xdotool mousemove --window "$window" $((WIDTH - 24)) $((HEIGHT - 22)) click 1
  shot "$lang-words-6-store-line-dismissed"
  key F10 Down Down Down Return
  shot "$lang-words-7-output-picker"
  type_line "$work/out-$lang"
  sleep 3
  shot "$lang-words-8-progress"
  key ctrl+q
  shot "$lang-words-9-close-question"
  key shift+Tab Return
  wait "$app" 2>/dev/null || true
  umount "$data"
done
echo "screenshots in $out"
