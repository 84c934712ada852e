#!/usr/bin/env bash
# Prints the non-blank lines of the test code against those under src/, and
# fails when the tests are more than 35% of the product. Test code is all
# that serves the tests: everything under tests/ (the suite, fuzz targets,
# CMake, the image-checking kit, the sample maker) and the harnesses in
# scripts/ that run or break it (planted faults, the kill loop, the fuzz run,
# the store race, the check of HDR JPEGs). Not counted, as the benchmarks are
# not: the comparison of two builds' outputs and the check of the core's includes.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=35
harnesses=(scripts/plant-faults.sh scripts/plant_fault.py scripts/kill-loop.sh scripts/fuzz.sh
  scripts/store-race.sh bench/store_race.cpp scripts/check-hdr-jpegs.sh)

# The files git knows (ignored ones left out); every file where git is missing.
files() {
  if command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard -- "$@"
  else
    find "$@" -type f
  fi
}

count() {
  files "$@" |
    grep -E '\.(cpp|cc|c|h|hpp|qml|js|py|sh|cmake)$|CMakeLists\.txt$' |
    xargs -r cat | grep -c -v -E '^\s*$' || true
}
product=$(count src)
tests=$(count tests "${harnesses[@]}")
percent=$(awk -v t="$tests" -v p="$product" 'BEGIN { printf "%.1f", 100 * t / p }')
echo "tests: $tests lines, product: $product lines, ratio ${percent}% (limit ${limit}%)"
awk -v t="$tests" -v p="$product" -v l="$limit" 'BEGIN { exit !(100 * t <= l * p) }' || {
  echo "test-ratio: the tests are more than ${limit}% of the product" >&2
  exit 1
}
