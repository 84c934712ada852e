#!/usr/bin/env bash
# Prints the non-blank lines of the test code against those under src/, and
# fails when the tests are more than 35% of the product. Test code is all
# that serves the tests: everything under tests/ (the suite, its harnesses,
# fuzz targets, CMake, the image-checking kit and the check of the load
# runs); no code that only makes or checks test samples lives elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=35

# The files git knows (ignored ones left out); every file where git is missing.
files() {
  if command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard -- "$1"
  else
    find "$1" -type f
  fi
}

count() {
  files "$1" |
    grep -E '\.(cpp|cc|c|h|hpp|qml|js|py|sh|cmake)$|CMakeLists\.txt$' |
    xargs -r cat | grep -c -v -E '^\s*$' || true
}
product=$(count src)
tests=$(count tests)
percent=$(awk -v t="$tests" -v p="$product" 'BEGIN { printf "%.1f", 100 * t / p }')
echo "tests: $tests lines, product: $product lines, ratio ${percent}% (limit ${limit}%)"
awk -v t="$tests" -v p="$product" -v l="$limit" 'BEGIN { exit !(100 * t <= l * p) }' || {
  echo "test-ratio: the tests are more than ${limit}% of the product" >&2
  exit 1
}
