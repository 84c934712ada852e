#!/usr/bin/env bash
# What --keep-hdr costs: tessavo-convert with and without it on the same
# 12-megapixel 10-bit PQ HEICs (make_pq_corpus; their gain map is computed
# from their HDR light), and on the 8-bit phone-like photos of make_corpus.
# Best of ROUNDS runs of the whole batch each.
#
#   bash bench/hdr.sh [N_FILES] [JOBS]       (defaults: 6 files, 2 jobs)
#
# Environment: BUILD_DIR (default build-bench), CORPUS_DIR (default
# bench/corpus-hdr, reused between runs), ROUNDS (default 3), BASELINE (a
# tessavo-convert to compare the plain conversion with, e.g. an earlier build).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-6}
jobs=${2:-2}
rounds=${ROUNDS:-3}
build=${BUILD_DIR:-$repo/build-bench}
corpus=${CORPUS_DIR:-$repo/bench/corpus-hdr}
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSAVO_BUILD_GUI=OFF -DTESSAVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target tessavo-convert make_corpus make_pq_corpus >/dev/null
tessavo=$build/src/app/tessavo-convert

mkdir -p "$corpus"
for ((i = 1; i <= files; i++)); do
  [ -e "$corpus/$(printf 'PQ_%04d.HEIC' "$i")" ] || "$build/bench/make_pq_corpus" "$corpus" 1 "$i" >/dev/null
  [ -e "$corpus/$(printf 'IMG_%04d.HEIC' "$i")" ] || "$build/bench/make_corpus" "$corpus" 1 "$i" >/dev/null
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-hdr-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# best NAME BINARY ARGS... FILES: the shortest wall time of ROUNDS runs, in seconds
best() {
  local name=$1 least=
  shift
  for ((round = 1; round <= rounds; round++)); do
    rm -rf "${work:?}/out"
    local start end
    start=$(date +%s.%N)
    "$@" -j "$jobs" -o "$work/out" >/dev/null
    end=$(date +%s.%N)
    least=$(echo "$end - $start" | bc | awk -v l="$least" '{print (l == "" || $1 < l) ? $1 : l}')
  done
  printf '%-34s %6.2f s\n' "$name" "$least"
  echo "$least" >"$work/$name"
}
pq=("$corpus"/PQ_*.HEIC)
plain=("$corpus"/IMG_*.HEIC)
echo "== ${#pq[@]} PQ and ${#plain[@]} 8-bit 4032x3024 photos, $jobs jobs, best of $rounds"
best pq-sdr "$tessavo" "${pq[@]}"
best pq-keep-hdr "$tessavo" --keep-hdr "${pq[@]}"
best plain "$tessavo" "${plain[@]}"
best plain-keep-hdr "$tessavo" --keep-hdr "${plain[@]}"
[ -n "${BASELINE:-}" ] && best plain-baseline "$BASELINE" "${plain[@]}"
echo "--keep-hdr / SDR on PQ photos: $(echo "scale=3; $(cat "$work/pq-keep-hdr") / $(cat "$work/pq-sdr")" | bc)x (at most 1.25)"
