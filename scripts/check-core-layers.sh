#!/usr/bin/env bash
# The conversion core is layered by format: each folder of src/conversion/core
# may include its own files and those of the folders before it in this list,
# never one after it; the pipeline at the top (the folder itself) may use all.
# Fails, naming each include that climbs.
#   bash scripts/check-core-layers.sh
set -euo pipefail
core=$(cd "$(dirname "$0")/../src/conversion/core" && pwd)
layers=(base memory output input jpeg heif metadata colour gainmap)
rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo "${#layers[@]}" # the pipeline
}
climbs=0
while IFS= read -r file; do
  relative=${file#"$core"/}
  [[ $relative == */* ]] && own=${relative%%/*} || own=.
  while IFS= read -r included; do
    [[ $included == */* ]] && theirs=${included%%/*} || theirs=.
    [ "$theirs" = "$own" ] && continue
    if (($(rank "$theirs") >= $(rank "$own"))); then
      echo "climbs: src/conversion/core/$relative includes conversion/core/$included"
      climbs=1
    fi
  done < <(sed -n 's|^#include "conversion/core/\(.*\)"|\1|p' "$file")
done < <(find "$core" -name '*.h' -o -name '*.cpp')
exit "$climbs"
