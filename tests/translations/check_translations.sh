#!/usr/bin/env bash
# Every visible string under src/ has a finished translation in each shipped
# language, with the same placeholders: the sources go through lupdate into
# a copy of the .ts files, where a new string shows up unfinished.
#   check_translations.sh REPO LUPDATE
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$1"/translations/tessavo_*.ts "$scratch"
LUPDATE=$2 bash "$1/scripts/update-translations.sh" "$scratch"
python3 - "$scratch"/tessavo_*.ts <<'PY'
import re, sys, xml.etree.ElementTree as ET
bad = []
for path in sys.argv[1:]:
    for m in ET.parse(path).iter("message"):
        source, t = m.find("source").text, m.find("translation")
        texts = [f.text for f in t.findall("numerusform")] or [t.text]
        marks = lambda s: sorted(re.findall(r"%L?n|%\d+", s or ""))
        if t.get("type") or any(not (x or "").strip() or marks(x) != marks(source) for x in texts):
            bad.append(f"{path.rsplit('/', 1)[1]}: {source!r} -> {texts}")
print("\n".join(bad), file=sys.stderr)
sys.exit(1 if bad else 0)
PY
