#!/usr/bin/env bash
# What --keep-hdr costs: tessavo-convert with and without it on the same
# 12-megapixel 10-bit PQ HEICs (make_pq_corpus; their gain map is computed
# from their HDR light), on the 8-bit phone-like photos of make_corpus, and,
# where they are beside the checkout, on copies of the real phone photos of
# ../shared/real-photos, whose own gain maps are read.
# Best of ROUNDS runs of the whole batch each.
#
#   bash bench/hdr.sh [N_FILES] [JOBS]       (defaults: 6 files, 2 jobs)
#
# Environment: BUILD_DIR (default build-bench), CORPUS_DIR (default
# bench/corpus-hdr, reused between runs), ROUNDS (default 5), BASELINE (a
# tessavo-convert to compare the plain conversion with, e.g. an earlier build).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-6}
jobs=${2:-2}
rounds=${ROUNDS:-5}
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
pq=("$corpus"/PQ_*.HEIC)
plain=("$corpus"/IMG_*.HEIC)
names=(pq-sdr pq-keep-hdr plain plain-keep-hdr)
commands=("$tessavo ${pq[*]}" "$tessavo --keep-hdr ${pq[*]}" "$tessavo ${plain[*]}" "$tessavo --keep-hdr ${plain[*]}")
phones=()
for photo in "$repo"/../shared/real-photos/*.heic; do
  [ -e "$photo" ] || continue
  for ((i = 1; i <= files; i++)); do
    cp "$photo" "$work/phone-$i-$(basename "$photo")"
    phones+=("$work/phone-$i-$(basename "$photo")")
  done
done
if ((${#phones[@]})); then
  names+=(phone phone-keep-hdr)
  commands+=("$tessavo ${phones[*]}" "$tessavo --keep-hdr ${phones[*]}")
fi
if [ -n "${BASELINE:-}" ]; then
  names+=(plain-baseline)
  commands+=("$BASELINE ${plain[*]}")
fi
# Rounds interleave the runs, so that a busy machine weighs on each alike;
# each keeps its shortest wall time and its least CPU time (user + system).
echo "== ${#pq[@]} PQ and ${#plain[@]} 8-bit 4032x3024 photos, $jobs jobs, best of $rounds interleaved rounds"
for ((round = 1; round <= rounds; round++)); do
  for i in "${!names[@]}"; do
    rm -rf "${work:?}/out"
    # shellcheck disable=SC2086
    /usr/bin/time -f "%e %U %S" -a -o "$work/${names[$i]}" ${commands[$i]} -j "$jobs" -o "$work/out" >/dev/null
  done
done
for name in "${names[@]}"; do
  awk -v n="$name" '{ w = (NR == 1 || $1 < w) ? $1 : w; c = (NR == 1 || $2 + $3 < c) ? $2 + $3 : c }
                    END { printf "%-16s wall %6.2f s   cpu %6.2f s\n", n, w, c; print w, c > "/dev/stderr" }' \
    "$work/$name" 2>"$work/$name.best"
done
ratio() { awk -v f="$2" '{ print $f }' "$work/$1.best"; }
echo "--keep-hdr / SDR on PQ photos: wall $(echo "scale=3; $(ratio pq-keep-hdr 1) / $(ratio pq-sdr 1)" | bc)x," \
     "cpu $(echo "scale=3; $(ratio pq-keep-hdr 2) / $(ratio pq-sdr 2)" | bc)x (at most 1.25)"
if ((${#phones[@]})); then
  echo "--keep-hdr / SDR on ${#phones[@]} real phone photos, their maps read: wall" \
       "$(echo "scale=3; $(ratio phone-keep-hdr 1) / $(ratio phone 1)" | bc)x," \
       "cpu $(echo "scale=3; $(ratio phone-keep-hdr 2) / $(ratio phone 2)" | bc)x (at most 1.2)"
fi
