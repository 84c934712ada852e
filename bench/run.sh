#!/usr/bin/env bash
# Throughput benchmark: tessavo-convert against heif-convert, vips and
# ImageMagick and against a decode-only bound, on the same 12-megapixel grid
# HEICs, in one run, with the same parallelism.
#
#   bash bench/run.sh [N_FILES] [JOBS]      (defaults: 20 files, 2 jobs)
#
# Environment: BUILD_DIR (default build-bench), CORPUS_DIR (default
# bench/corpus, reused between runs), DISTINCT (distinct photos to generate,
# default 20; longer runs cycle through them under new names), PSNR_FILES
# (files whose outputs are compared with libheif's decode, default 4).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-20}
jobs=${2:-2}
build=${BUILD_DIR:-$repo/build-bench}
corpus=${CORPUS_DIR:-$repo/bench/corpus}
distinct=${DISTINCT:-20}
psnr_files=${PSNR_FILES:-4}
rounds=${ROUNDS:-1}
wanted=" ${TOOLS:-tessavo heif-convert vips imagemagick decode-libde265 decode-avcodec} "
(( distinct > files )) && distinct=$files

echo "== building (Release) into $build"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSAVO_BUILD_GUI=OFF -DTESSAVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target tessavo-convert >/dev/null 2>&1 || echo "   (tessavo-convert not built)"
cmake --build "$build" -j "$jobs" --target make_corpus decode_only psnr >/dev/null
tools=$build/bench
tessavo=$build/src/app/tessavo-convert

echo "== corpus: $distinct distinct 4032x3024 grid HEICs (8x6 tiles of 512x512, x265 4:2:0 8-bit, nclx BT.601 full range) in $corpus"
missing=()
for ((i = 1; i <= distinct; i++)); do
  [ -e "$corpus/$(printf 'IMG_%04d.HEIC' "$i")" ] || missing+=("$i")
done
if (( ${#missing[@]} )); then
  printf '%s\n' "${missing[@]}" | xargs -P "$jobs" -I{} "$tools/make_corpus" "$corpus" 1 {} >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
for ((i = 1; i <= files; i++)); do
  # A copy, not a link: tessavo-convert converts one file once, whatever its names.
  cp --reflink=auto "$corpus/$(printf 'IMG_%04d.HEIC' $(( (i - 1) % distinct + 1 )))" "$work/in/$(printf 'P%05d.HEIC' "$i")"
done
inputs=("$work"/in/*.HEIC)
cat "${inputs[@]}" >/dev/null # warm the page cache equally for everyone

# run NAME COMMAND...: times COMMAND over the whole batch, outputs in $work/NAME
run() {
  local name=$1; shift
  rm -rf "$work/$name"; mkdir -p "$work/$name"
  if /usr/bin/time -f "%e %U %S %M" -o "$work/$name.time.$round" "$@" >/dev/null 2>"$work/$name.err"; then
    echo ok >"$work/$name.status"
  else
    echo "FAILED (see below)" >"$work/$name.status"
  fi
}
per_file() { # per_file NAME 'shell command using $1=input $2=output'
  local name=$1 cmd=$2
  run "$name" bash -c 'for f in "$@"; do b=$(basename "$f" .HEIC); printf "%s\0%s\0" "$f" "'"$work/$name"'/$b.jpg"; done | xargs -0 -P '"$jobs"' -n 2 bash -c '"'$cmd'"' _' _ "${inputs[@]}"
}
want() { [[ $wanted == *" $1 "* ]]; }

declare -a names
[ -x "$tessavo" ] && want tessavo && names+=(tessavo)
want heif-convert && names+=(heif-convert)
command -v vips >/dev/null && want vips && names+=(vips)
command -v convert >/dev/null && want imagemagick && names+=(imagemagick)
want decode-libde265 && names+=(decode-libde265)
want decode-avcodec && names+=(decode-avcodec)
for ((round = 1; round <= rounds; round++)); do
  for name in "${names[@]}"; do
    case $name in
      tessavo) run tessavo "$tessavo" -j "$jobs" -o "$work/tessavo" "${inputs[@]}" ;;
      heif-convert) per_file heif-convert 'heif-convert --quiet -q 90 "$1" "$2"' ;;
      vips) per_file vips 'vips copy "$1" "$2[Q=90,subsample-mode=on]"' ;;
      imagemagick) per_file imagemagick 'convert "$1" -quality 90 -sampling-factor 2x2 "$2"' ;;
      decode-libde265) run decode-libde265 bash -c 'printf "%s\0" "$@" | xargs -0 -P '"$jobs"' -n 1 '"$tools"'/decode_only' _ "${inputs[@]}" ;;
      decode-avcodec) run decode-avcodec bash -c 'printf "%s\0" "$@" | xargs -0 -P '"$jobs"' -n 1 '"$tools"'/decode_only --fast' _ "${inputs[@]}" ;;
    esac
  done
done
# The fastest round of each tool counts: other load only ever slows a run down.
for name in "${names[@]}"; do
  for f in "$work/$name".time.*; do tail -n 1 "$f"; done | sort -n | head -n 1 >"$work/$name.time"
done

# PSNR and size of each converter's JPEGs against libheif's decode.
for name in "${names[@]}"; do
  case $name in decode-*) continue ;; esac
  : >"$work/$name.psnr"
  for f in "${inputs[@]:0:$psnr_files}"; do
    b=$(basename "$f" .HEIC)
    "$tools/psnr" "$f" "$work/$name/$b.jpg" >>"$work/$name.psnr" || true
  done
done

ref_wall=0 ref_cpu=0
if [ -e "$work/heif-convert.time" ]; then
  read -r ref_wall ref_user ref_sys _ <"$work/heif-convert.time"
  ref_cpu=$(awk -v u="$ref_user" -v s="$ref_sys" 'BEGIN {print u + s}')
fi
echo "== $files photos, $jobs at a time, on $(nproc) cores, best of $rounds round(s) ($(date -u +%F' '%H:%MZ), load average $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-16s %7s %9s %8s %11s %8s %8s %8s %11s  %s\n' tool wall_s photos/s vs_heif cpu_s/photo cpu_gain psnr_dB jpeg_KB peak_rss_MB status
for name in "${names[@]}"; do
  read -r wall user sys rss <"$work/$name.time"
  psnr=- size=-
  if [ -s "$work/$name.psnr" 2>/dev/null ]; then
    psnr=$(awk '{s += $1; n++} END {printf "%.2f", s / n}' "$work/$name.psnr")
    size=$(awk '{s += $2; n++} END {printf "%.0f", s / n / 1000}' "$work/$name.psnr")
  fi
  awk -v n="$name" -v w="$wall" -v u="$user" -v s="$sys" -v r="$rss" -v f="$files" -v ref="$ref_wall" \
      -v rc="$ref_cpu" -v p="$psnr" -v z="$size" -v st="$(cat "$work/$name.status")" \
    'BEGIN {printf "%-16s %7.2f %9.2f %7.2fx %11.3f %7.2fx %8s %8s %11.0f  %s\n", n, w, f / w, ref / w, (u + s) / f, rc / (u + s), p, z, r / 1024, st}'
done
echo "vs_heif: throughput against heif-convert; cpu_gain: heif-convert's CPU time over the tool's."
echo "peak_rss_MB: the largest single process; tools run once per file have up to $jobs such processes at once."
for name in "${names[@]}"; do
  if [ "$(cat "$work/$name.status")" != ok ]; then
    echo "--- $name stderr:"; head -5 "$work/$name.err"
  fi
done
