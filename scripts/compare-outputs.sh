#!/usr/bin/env bash
# For reshaping the code: two builds of tessavo-convert must print the same lines, end
# alike and write the same bytes for tests/data (and FOLDERs) with each option set.
#   bash scripts/compare-outputs.sh OLD_TESSAVO_CONVERT NEW_TESSAVO_CONVERT [FOLDER...]
set -euo pipefail
old=$(realpath "$1") new=$(realpath "$2")
shift 2
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
mapfile -t files < <(find "$repo/tests/data" "$@" -maxdepth 1 -type f -iname '*.heic' | sort)
differ=0
for options in "" "--keep-metadata" "--keep-hdr" "--keep-metadata --keep-hdr"; do
  for side in old new; do
    mkdir -p "$work/$side"
    # One job, so that the lines come in one order; relative names, so that both print the same paths.
    # shellcheck disable=SC2086
    (cd "$work/$side" && "${!side}" -j1 $options -o out "${files[@]}" >stdout 2>stderr; echo $? >status) || true
  done
  if diff -r "$work/old" "$work/new" >"$work/diff"; then
    echo "same: ${#files[@]} photos, options '${options}': stdout, stderr, status and every JPEG"
  else
    differ=1
    echo "DIFFERENT with options '${options}':"; head -20 "$work/diff"
  fi
  rm -rf "$work/old" "$work/new"
done
exit "$differ"
