#!/usr/bin/env bash
# The structure of --keep-hdr's JPEGs as other readers see it: exiftool finds
# the MPF's second image and the gain map's fields in both JPEGs, and headless
# chromium decodes each file as a picture of the primary's size.
#   bash scripts/check-hdr-structure.sh [HEIC...]   (default: the samples with HDR)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
convert=$repo/build/src/app/tessavo-convert
[ -x "$convert" ] || { echo "build first: $convert is missing" >&2; exit 2; }
# Not in install-deps.sh: the suite does not need it, and it is large.
command -v chromium >/dev/null || { echo "needs Debian's chromium: apt-get install -y chromium" >&2; exit 2; }
(($#)) || set -- "$repo"/tests/data/{pq-bt2020,hlg-bt2020,pq-turned,apple-gainmap-ios17,apple-gainmap-ios18-grid,samsung-gainmap-tmap}.heic
work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-hdr.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$convert" -j1 --keep-hdr -o "$work" "$@" >/dev/null
failed=0
fail() { echo "FAIL $1: $2"; failed=1; }
for heic in "$@"; do
  name=$(basename "${heic%.*}").jpg
  jpeg=$work/$name
  tags=$(exiftool -a -G1 -s "$jpeg")
  grep -q '^\[MPImage2\] *MPImageLength' <<<"$tags" || fail "$name" "no second image in the MPF index"
  grep -q '^\[XMP-hdrgm\] *Version *: 1.0' <<<"$tags" || fail "$name" "no hdrgm:Version in the primary"
  grep -q 'DirectoryItemSemantic *: GainMap' <<<"$tags" || fail "$name" "no GainMap item in the container directory"
  [ "$(exiftool -s3 -DirectoryItemLength "$jpeg")" = "$(exiftool -s3 -MPImage2:MPImageLength "$jpeg")" ] ||
    fail "$name" "the container directory and the MPF index differ on the map's length"
  exiftool -b -MPImage2 "$jpeg" >"$work/map.jpg" || true
  map=$(exiftool -a -G1 -s "$work/map.jpg" || true)
  for field in GainMapMin GainMapMax Gamma OffsetSDR OffsetHDR HDRCapacityMin HDRCapacityMax BaseRenditionIsHDR; do
    grep -q "^\[XMP-hdrgm\] *$field " <<<"$map" || fail "$name" "the map has no hdrgm:$field"
  done
  # As a browser shows it: turned by the orientation tag.
  size=$(exiftool -n -p '$ImageWidth $ImageHeight $Orientation' "$jpeg" |
         awk '{ print ($3 >= 5 ? $2 "x" $1 : $1 "x" $2) }')
  cat >"$work/page.html" <<HTML
<body><img id="i" src="$name" onload="document.title='size '+this.naturalWidth+'x'+this.naturalHeight"
 onerror="document.title='undecodable'"></body>
HTML
  shown=$(chromium --headless --disable-gpu --no-sandbox --allow-file-access-from-files --virtual-time-budget=5000 \
            --dump-dom "file://$work/page.html" 2>/dev/null | grep -o '<title>[^<]*' | cut -c8- || true)
  [ "$shown" = "size $size" ] || fail "$name" "chromium shows '$shown', not 'size $size'"
  [ "$failed" = 1 ] || echo "ok $name: MPF, hdrgm fields, chromium decodes $size"
done
exit "$failed"
