#!/usr/bin/env bash
# Load runs of tessavo-convert (not part of CTest: the large run takes
# minutes). Converts SMALL small HEICs and LARGE 12-megapixel HEICs, checks
# every status line and decodes every JPEG back, and compares peak memory
# between a run of 20 and a run of LARGE large files: it must depend on the
# jobs in flight, not on the number of files. With LEAK_CHECK=1 the small
# run is repeated with the AddressSanitizer build (build-asan) for leaks.
#
#   bash bench/load.sh [SMALL] [LARGE] [JOBS]     (defaults: 2000 200 2)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
small=${1:-2000}
large=${2:-200}
jobs=${3:-2}
build=$repo/build-load
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-load.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== building (Release) into $build"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSAVO_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target tessavo-convert tessavo-verify-jpegs make_corpus >/dev/null
convert=$build/src/app/tessavo-convert
verify=$build/tests/kit/tessavo-verify-jpegs

# One run: files in $1, expected count $2, label $3, binary $4 (optional).
run() {
  local in=$1 count=$2 label=$3 bin=${4:-$convert} out=$work/out-$3
  rm -rf "$out"
  local started=$SECONDS status=0
  /usr/bin/time -v -o "$work/time-$label" "$bin" -j "$jobs" -o "$out" "$in"/* >"$work/log-$label" || status=$?
  local ok failed rss
  ok=$(grep -c '^Successfully converted ' "$work/log-$label" || true)
  failed=$(grep -c '^Failed' "$work/log-$label" || true)
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time-$label")
  echo "   $label: $count files, exit $status, $ok converted, $failed failed, $((SECONDS - started)) s, peak RSS $((rss / 1024)) MiB"
  [ "$status" = 0 ] && [ "$ok" = "$count" ] && [ "$failed" = 0 ] || { echo "   FAILED: statuses" >&2; exit 1; }
  "$verify" "$out" "$count" | sed 's/^/   /'
  echo "$rss" >"$work/rss-$label"
}

echo "== $small small HEICs (the 8 samples of every orientation, tests/data/orientation-*)"
mkdir -p "$work/small"
seeds=("$repo"/tests/data/orientation-*.heic)
# Copies, not links: tessavo-convert converts one file once, whatever its names.
for ((i = 0; i < small; i++)); do cp "${seeds[i % ${#seeds[@]}]}" "$work/small/IMG_$i.HEIC"; done
run "$work/small" "$small" small

echo "== 12-megapixel HEICs (4032x3024 grids, as a phone writes them)"
corpus=${CORPUS_DIR:-$repo/bench/corpus}
mkdir -p "$corpus"
distinct=4
for ((i = 1; i <= distinct; i++)); do
  [ -e "$corpus/$(printf 'IMG_%04d.HEIC' "$i")" ] || "$build/bench/make_corpus" "$corpus" 1 "$i" >/dev/null
done
for n in 20 "$large"; do
  mkdir -p "$work/large$n"
  for ((i = 0; i < n; i++)); do
    cp --reflink=auto "$corpus/$(printf 'IMG_%04d.HEIC' $((i % distinct + 1)))" "$work/large$n/P_$i.HEIC"
  done
  run "$work/large$n" "$n" "large$n"
  rm -rf "$work/out-large$n"
done
r20=$(cat "$work/rss-large20") rN=$(cat "$work/rss-large$large")
echo "== peak memory: 20 files $((r20 / 1024)) MiB, $large files $((rN / 1024)) MiB"
# Memory follows the jobs in flight: allow 25% noise, not growth with files.
if (( rN > r20 * 5 / 4 + 32768 )); then echo "FAILED: memory grows with the number of files" >&2; exit 1; fi

if [ "${LEAK_CHECK:-0}" = 1 ]; then
  echo "== leak check: the small run under AddressSanitizer (build-asan)"
  cmake --build "$repo/build-asan" -j "$jobs" --target tessavo-convert >/dev/null
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 run "$work/small" "$small" small-asan "$repo/build-asan/src/app/tessavo-convert"
fi
echo "== load runs passed"
