#!/usr/bin/env bash
# The real phone photos beside the checkout (../shared/real-photos), each
# converted with --keep-hdr: fails when any photo fails or leaves its HDR
# gain map out, or its JPEG lacks the second MPF image, the map's hdrgm
# fields or its ISO 21496-1 segment.
#   bash scripts/check-real-photos.sh [HEIC...]   (default: every photo there)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
convert=$repo/build/src/app/tessavo-convert
[ -x "$convert" ] || { echo "build first: $convert is missing" >&2; exit 2; }
(($#)) || set -- "$repo"/../shared/real-photos/*.heic
[ -e "$1" ] || { echo "no real photos at $repo/../shared/real-photos" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-real.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
for heic in "$@"; do
  name=$(basename "${heic%.*}")
  problems=()
  "$convert" --keep-hdr -o "$work" "$heic" >/dev/null 2>"$work/$name.err" || problems+=("did not convert")
  jpeg=$work/$name.jpg
  grep -q 'HDR not kept' "$work/$name.err" && problems+=("$(grep -o 'HDR not kept.*' "$work/$name.err")")
  [ "$(exiftool -s3 -MPF:NumberOfImages "$jpeg" 2>/dev/null)" = 2 ] || problems+=("not 2 images in the MPF index")
  exiftool -b -MPImage2 "$jpeg" >"$work/map.jpg" 2>/dev/null || true
  max=$(exiftool -s3 -XMP-hdrgm:GainMapMax "$work/map.jpg" 2>/dev/null || true)
  [ -n "$max" ] || problems+=("the map has no hdrgm:GainMapMax")
  grep -aq 'urn:iso:std:iso:ts:21496:-1' "$work/map.jpg" || problems+=("the map has no ISO 21496-1 segment")
  if ((${#problems[@]})); then
    failed=1
    printf 'FAIL %s: %s\n' "$name" "$(IFS=';'; echo "${problems[*]}")"
  else
    echo "ok $name: HDR kept, 2 MPF images, hdrgm:GainMapMax $max, ISO 21496-1"
  fi
done
exit "$failed"
