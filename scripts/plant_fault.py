#!/usr/bin/env python3
"""Applies one fault of scripts/faults.txt to a copy of the tree.

    plant_fault.py FAULTS --list          prints "id<TAB>file" per fault
    plant_fault.py FAULTS ID TREE         plants fault ID in TREE/<file>

Exits 1 when the fault's text is not found exactly once (a stale fault).
"""
import sys


def read_faults(path):
    blocks = open(path, encoding="utf-8").read().split("\n\n")
    faults = []
    for block in blocks:
        lines = [line for line in block.strip("\n").split("\n") if not line.startswith("#")]
        if not lines:
            continue
        if len(lines) != 4:
            sys.exit(f"malformed fault block: {lines[:1]}")
        fault_id, file, text, replacement = lines
        faults.append((fault_id, file, text.replace("\\n", "\n"), replacement.replace("\\n", "\n")))
    return faults


def main():
    faults = read_faults(sys.argv[1])
    if sys.argv[2] == "--list":
        for fault_id, file, _, _ in faults:
            print(f"{fault_id}\t{file}")
        return 0
    fault_id, tree = sys.argv[2], sys.argv[3]
    for fid, file, text, replacement in faults:
        if fid != fault_id:
            continue
        path = f"{tree}/{file}"
        source = open(path, encoding="utf-8").read()
        if source.count(text) != 1:
            return 1
        open(path, "w", encoding="utf-8").write(source.replace(text, replacement))
        return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
