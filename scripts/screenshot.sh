#!/usr/bin/env bash
# Converts a folder of 12-megapixel photos in the main window on a virtual X
# display and writes docs/screenshot.png in the middle of the run.
#   bash scripts/screenshot.sh [build dir] [photos folder]
# The photos default to the benchmark corpus (bench/corpus, or CORPUS_DIR),
# made with make_corpus when it holds fewer than 7.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
photos=${2:-${CORPUS_DIR:-bench/corpus}}
cmake --build "$build" --target tessavo_screenshot
if [ "$(find "$photos" -maxdepth 1 -iname '*.heic' 2>/dev/null | wc -l)" -lt 7 ]; then
  cmake --build "$build" --target make_corpus
  mkdir -p "$photos"
  "$build/bench/make_corpus" "$photos" 12 >/dev/null
fi
mkdir -p docs
# A fresh home keeps the user's settings and fonts configuration out of the picture.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/bench/tessavo_screenshot" docs/screenshot.png "$photos"
echo "wrote docs/screenshot.png"
