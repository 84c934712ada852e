#!/usr/bin/env bash
# Renders the main window with sample files in every status on a virtual X
# display and writes docs/screenshot.png. Usage: scripts/screenshot.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
cmake --build "$build" --target tessavo_screenshot
mkdir -p docs
# A fresh home keeps the user's settings and fonts configuration out of the picture.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/ui/tessavo_screenshot" docs/screenshot.png
echo "wrote docs/screenshot.png"
