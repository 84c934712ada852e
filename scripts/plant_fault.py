#!/usr/bin/env python3
"""plant_fault.py FAULTS --list     prints "id<TAB>file" per fault of FAULTS (scripts/faults.txt)
plant_fault.py FAULTS ID TREE    plants fault ID in TREE/<file>; exits 1 when its text is not there exactly once"""
import sys

faults = {}
for block in open(sys.argv[1], encoding="utf-8").read().split("\n\n"):
    lines = [line.replace("\\n", "\n") for line in block.strip("\n").split("\n") if not line.startswith("#")]
    if lines and len(lines) != 4:
        sys.exit(f"malformed fault block: {lines[:1]}")
    if lines:
        faults.setdefault(lines[0], lines[1:])
if sys.argv[2] == "--list":
    print("\n".join(f"{fault_id}\t{fault[0]}" for fault_id, fault in faults.items()))
    sys.exit(0)
file, text, replacement = faults.get(sys.argv[2], ("", "", ""))
path = f"{sys.argv[3]}/{file}"
source = open(path, encoding="utf-8").read() if file else ""
if not file or source.count(text) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(source.replace(text, replacement))
