#!/usr/bin/env bash
# --keep-hdr's JPEGs as other readers see them: each photo keeps its HDR; exiftool finds
# the MPF's second image, hdrgm fields in both JPEGs and the ISO 21496-1 segment; chromium,
# where installed, decodes each at the primary's size.
#   bash scripts/check-hdr-jpegs.sh [HEIC...]
# (default: the real phone photos beside the checkout and the samples with HDR)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
convert=$repo/build/src/app/tessavo-convert
[ -x "$convert" ] || { echo "build first: $convert is missing" >&2; exit 2; }
shopt -s nullglob # no real photos: the samples alone
(($#)) || set -- "$repo"/../shared/real-photos/*.heic \
  "$repo"/tests/data/{pq-bt2020,hlg-bt2020,pq-turned,apple-gainmap-ios17,apple-gainmap-ios18-grid,samsung-gainmap-tmap}.heic
# Not in install-deps.sh: the suite does not need it, and it is large.
command -v chromium >/dev/null || echo "no chromium (apt-get install -y chromium): decoding left out" >&2
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-hdr.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
for heic in "$@"; do
  name=$(basename "${heic%.*}").jpg jpeg=$work/$(basename "${heic%.*}").jpg
  problems=()
  "$convert" --keep-hdr -o "$work" "$heic" >/dev/null 2>"$work/err" || problems+=("did not convert")
  grep -q 'HDR not kept' "$work/err" && problems+=("$(grep -o 'HDR not kept.*' "$work/err")")
  tags=$(exiftool -a -G1 -s "$jpeg" 2>/dev/null || true)
  grep -q '^\[MPImage2\] *MPImageLength' <<<"$tags" || problems+=("no second image in the MPF index")
  grep -q '^\[XMP-hdrgm\] *Version *: 1.0' <<<"$tags" || problems+=("no hdrgm:Version in the primary")
  [ "$(exiftool -s3 -DirectoryItemLength "$jpeg" 2>/dev/null | tail -1)" = "$(exiftool -s3 -MPImage2:MPImageLength "$jpeg" 2>/dev/null)" ] ||
    problems+=("the container directory and the MPF index differ on the map's length")
  exiftool -b -MPImage2 "$jpeg" >"$work/map.jpg" 2>/dev/null || true
  map=$(exiftool -a -G1 -s "$work/map.jpg" 2>/dev/null || true)
  for field in GainMapMin GainMapMax Gamma OffsetSDR OffsetHDR HDRCapacityMin HDRCapacityMax BaseRenditionIsHDR; do
    grep -q "^\[XMP-hdrgm\] *$field " <<<"$map" || problems+=("the map has no hdrgm:$field")
  done
  grep -aq 'urn:iso:std:iso:ts:21496:-1' "$work/map.jpg" || problems+=("the map has no ISO 21496-1 segment")
  shown=""
  if command -v chromium >/dev/null && [ -s "$jpeg" ]; then
    # As a browser shows it: turned by the orientation tag.
    size=$(exiftool -n -p '$ImageWidth $ImageHeight $Orientation' "$jpeg" |
      awk '{ print ($3 >= 5 ? $2 "x" $1 : $1 "x" $2) }')
    echo "<body><img src=\"$name\" onload=\"document.title='size '+this.naturalWidth+'x'+this.naturalHeight\"" \
      "onerror=\"document.title='undecodable'\"></body>" >"$work/page.html"
    shown=$(chromium --headless --disable-gpu --no-sandbox --allow-file-access-from-files --virtual-time-budget=5000 \
      --dump-dom "file://$work/page.html" 2>/dev/null | grep -o '<title>[^<]*' | cut -c8- || true)
    [ "$shown" = "size $size" ] || problems+=("chromium shows '$shown', not 'size $size'")
    shown=", chromium decodes $size"
  fi
  if ((${#problems[@]})); then
    failed=1
    printf 'FAIL %s: %s\n' "$name" "$(IFS=';'; echo "${problems[*]}")"
  else
    echo "ok $name: HDR kept, MPF, hdrgm fields, ISO 21496-1$shown"
  fi
  rm -f "$jpeg"
done
exit "$failed"
