#!/usr/bin/env bash
# Two processes save 400 files each into one new bookmark store at once,
# ROUNDS times (default 100); every round must keep all 800 records.
#   bash scripts/store-race.sh [ROUNDS]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-100}
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$repo/build" --target store_race >/dev/null
race=$repo/build/bench/store_race
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-store-race.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/a" "$work/b"
for i in $(seq 400); do : >"$work/a/a$i.heic"; : >"$work/b/b$i.heic"; done
lost=0
for ((round = 1; round <= rounds; round++)); do
  rm -f "$work"/store.sqlite*
  "$race" "$work/store.sqlite" "$work/a" >"$work/a.out" &
  "$race" "$work/store.sqlite" "$work/b" >"$work/b.out" || true
  wait || true
  kept=$(sqlite3 "$work/store.sqlite" 'SELECT count(*) FROM bookmarks')
  if [ "$kept" != 800 ]; then
    lost=$((lost + 1))
    echo "round $round: $kept of 800 kept; $(cat "$work/a.out" "$work/b.out" | head -1)"
  fi
done
echo "store-race: $lost of $rounds rounds lost records"
[ "$lost" -eq 0 ]
