#!/usr/bin/env bash
# Brings the translations up to date with the sources: every qsTr() and tr()
# under src/ gets an entry in each translations/tessavo_<language>.ts (new
# ones unfinished, for a translator to fill in with Qt Linguist or an
# editor); translations already made are kept, entries no longer in the
# sources are dropped.
#
#   bash scripts/update-translations.sh [TS_FOLDER]   (default: translations/)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
folder=${1:-$repo/translations}
lupdate=${LUPDATE:-$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)}
ts_files=("$folder"/tessavo_*.ts)
[ -e "${ts_files[0]}" ] || { echo "update-translations.sh: no tessavo_*.ts in $folder" >&2; exit 1; }
cd "$repo"
"$lupdate" -silent -no-obsolete -locations none -extensions qml,cpp,h src -ts "${ts_files[@]}"
