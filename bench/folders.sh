#!/usr/bin/env bash
# Whether a folder's shape costs anything: N small photos in one folder
# against the same N in 100 folders (with a subfolder level each), converted
# by tessavo-convert with the folder given, which keeps the shape under -o.
# Best of ROUNDS interleaved rounds, wall and CPU time.
#
#   bash bench/folders.sh [N] [JOBS]     (defaults: 10000 photos, 2 jobs)
#
# Environment: BUILD_DIR (default build), ROUNDS (default 3).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-10000}
jobs=${2:-2}
rounds=${ROUNDS:-3}
tessavo=${BUILD_DIR:-$repo/build}/src/app/tessavo-convert
[ -x "$tessavo" ] || { echo "build first: $tessavo is missing" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-folders.XXXXXX")
trap 'rm -rf "$work"' EXIT
sample=$repo/tests/data/odd-size.heic
mkdir -p "$work/flat/Photos"
for ((i = 0; i < n; i++)); do
  # Copies, not links: tessavo-convert converts one file once, whatever its names.
  cp "$sample" "$work/flat/Photos/IMG_$i.heic"
  folder=$work/tree/Photos/$((i % 100))/day
  mkdir -p "$folder"
  cp "$sample" "$folder/IMG_$i.heic"
done
echo "== $n photos, $jobs jobs, best of $rounds interleaved rounds"
for ((round = 1; round <= rounds; round++)); do
  for shape in flat tree; do
    rm -rf "${work:?}/out"
    /usr/bin/time -f "%e %U %S" -a -o "$work/$shape.times" "$tessavo" -j "$jobs" -o "$work/out" "$work/$shape/Photos" >/dev/null 2>"$work/stderr"
    [ "$(find "$work/out" -name '*.jpg' | wc -l)" = "$n" ] || { echo "FAILED: not one JPEG per photo" >&2; head -3 "$work/stderr" >&2; exit 1; }
  done
done
for shape in flat tree; do
  awk -v s="$shape" '{ w = (NR == 1 || $1 < w) ? $1 : w; c = (NR == 1 || $2 + $3 < c) ? $2 + $3 : c }
                     END { printf "%-5s wall %6.2f s   cpu %6.2f s\n", s, w, c; print w > "/dev/stderr" }' \
    "$work/$shape.times" 2>"$work/$shape.best"
done
echo "100 folders / one folder: wall $(echo "scale=3; $(cat "$work/tree.best") / $(cat "$work/flat.best")" | bc)x"
