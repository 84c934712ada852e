#!/usr/bin/env bash
# Kills ROUNDS runs of tessavo-convert (default 50) at random moments with random signals
# while they write into an exFAT folder (FUSE on a loop image), then runs once to the end:
# every JPEG must be whole at every moment, and at the end each photo has one and no hidden
# file is left. As root (mount, losetup):
#   bash scripts/kill-loop.sh [ROUNDS]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-50}
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$repo/build" --target tessavo-convert >/dev/null
convert=${TESSAVO_CONVERT:-$repo/build/src/app/tessavo-convert} # another build to compare
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-kill-loop.XXXXXX")
trap 'umount -l "$work/disk" 2>/dev/null; rm -rf "$work"' EXIT
truncate -s 64M "$work/exfat.img"
mkfs.exfat "$work/exfat.img" >/dev/null
mkdir "$work/disk"
mount -t exfat-fuse -o loop "$work/exfat.img" "$work/disk" >/dev/null
for i in $(seq 8); do cp "$repo/tests/data/recent-phone.heic" "$work/p$i.heic"; done
for i in $(seq 3); do cp "$repo/tests/data/gradient-12mp.heic" "$work/g$i.heic"; done
photos=("$work"/*.heic)
ulimit -c 0
set -m # or the background runs would ignore SIGINT and SIGQUIT
damaged() { # every JPEG in the folder that libjpeg does not read whole, without a warning
  for jpeg in "$work/disk/out"/*.jpg; do
    [ -e "$jpeg" ] || continue
    [ -z "$(djpeg -outfile /dev/null "$jpeg" 2>&1)" ] || echo "${jpeg##*/}"
  done
}
bad=0
for ((round = 1; round <= rounds; round++)); do
  signals=(KILL KILL QUIT USR1 ALRM TERM INT)
  signal=${signals[RANDOM % ${#signals[@]}]}
  "$convert" -j2 -o "$work/disk/out" "${photos[@]}" >/dev/null 2>&1 &
  sleep "0.$(printf '%03d' $((RANDOM % 1000)))"
  kill -"$signal" $! 2>/dev/null || true
  wait $! || true
  problems=$(damaged)
  [ -z "$problems" ] || { bad=$((bad + 1)); echo "round $round (SIG$signal): damaged" $problems; }
done
hidden=$(ls -A "$work/disk/out" | grep '^\.' || true)
echo "kill-loop: after $rounds killed runs, $(echo "$hidden" | grep -c . || true) hidden files"
"$convert" -j2 -o "$work/disk/out" "${photos[@]}" >/dev/null
hidden=$(ls -A "$work/disk/out" | grep '^\.' || true)
problems=$(damaged)
jpegs=$(ls "$work/disk/out" | grep -c '\.jpg$' || true)
echo "kill-loop: after one more run, $jpegs of ${#photos[@]} JPEGs, hidden: ${hidden:-none}; damaged: ${problems:-none}"
[ "$bad" -eq 0 ] && [ -z "$hidden" ] && [ -z "$problems" ] && [ "$jpegs" -eq "${#photos[@]}" ]
