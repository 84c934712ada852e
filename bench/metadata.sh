#!/usr/bin/env bash
# Times tessavo-convert --keep-metadata on photos with hostile metadata
# blocks (bench/metadata_blocks.cpp): every one must take about as long as a
# photo without metadata, however large the block.
#
#   bash bench/metadata.sh [TESSAVO_CONVERT]   (default: the build's)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build}
convert=${1:-$build/src/app/tessavo-convert}
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-metadata.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target metadata_blocks >/dev/null
"$build/bench/metadata_blocks" "$work"
for photo in "$work"/*.heic; do
  start=$(date +%s.%N)
  "$convert" -j1 --keep-metadata -o "$work/out" "$photo" >/dev/null 2>"$work/notes" || echo "   (failed)"
  printf '%-16s %6.2f s  %s\n' "$(basename "$photo")" "$(echo "$(date +%s.%N) - $start" | bc)" "$(sed 's/^[^:]*: [^:]*: //' "$work/notes" | tr '\n' ' ')"
done
