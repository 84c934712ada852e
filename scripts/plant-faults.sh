#!/usr/bin/env bash
# Plants each fault of scripts/faults.txt (one exact text in one file replaced) in
# a copy of the tree (BUILD_ROOT, default build-faults/), builds it and runs the
# Release suite, or the tests CTEST_ARGS names (-R tessavo_convert). A fault whose
# text is gone is stale, one that does not compile broken; neither counts.
#   bash scripts/plant-faults.sh [FAULT_ID...]     (default: every fault)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build-faults}
faults=$repo/scripts/faults.txt
jobs=$(nproc)
tree=$root/tree
build=$root/build

rm -rf "$tree"
mkdir -p "$tree"
# The files git knows, as they stand in the working tree, all newer than
# anything built before: a build left with the last fault of an earlier run
# would otherwise look up to date.
(cd "$repo" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$tree")
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel "$jobs" >/dev/null
ctest --test-dir "$build" --parallel "$jobs" ${CTEST_ARGS:-} >/dev/null || { echo "the suite fails without any fault" >&2; exit 1; }

selected=("$@")
caught=0 total=0 survived=()
while IFS=$'\t' read -r id file; do
  if ((${#selected[@]})) && [[ ! " ${selected[*]} " == *" $id "* ]]; then continue; fi
  if ! python3 "$repo/scripts/plant_fault.py" "$faults" "$id" "$tree"; then
    printf '%-40s stale\n' "$id"
    continue
  fi
  # A fresh copy afterwards gets a new time, so the next build drops the fault.
  trap 'cp "$repo/$file" "$tree/$file"' EXIT
  total=$((total + 1))
  if ! cmake --build "$build" --parallel "$jobs" >"$root/$id.build.log" 2>&1; then
    printf '%-40s broken (does not compile)\n' "$id"
    total=$((total - 1))
  elif timeout 900 ctest --test-dir "$build" --parallel "$jobs" ${CTEST_ARGS:-} >"$root/$id.ctest.log" 2>&1; then
    printf '%-40s SURVIVED\n' "$id"
    survived+=("$id")
  else
    failing=$(awk '/tests FAILED:/ { f = 1; next } f && /^[ \t]+[0-9]+ - / { print $3 }' "$root/$id.ctest.log" | paste -sd, - || true)
    printf '%-40s caught by %s\n' "$id" "$failing"
    caught=$((caught + 1))
  fi
  cp "$repo/$file" "$tree/$file"
  trap - EXIT
done < <(python3 "$repo/scripts/plant_fault.py" "$faults" --list)
echo "caught $caught of $total planted faults"
((${#survived[@]})) && echo "survived: ${survived[*]}"
exit 0
