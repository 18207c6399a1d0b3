#!/usr/bin/env python3
"""Writes vantis-pack/names/UpperCaseTable.inc: Unicode's simple upper-case mapping of the Basic
Multilingual Plane, the plane that every code page 936 character lies in, as runs of
code points that share one offset to their upper case.

Windows compares file names by upper-casing both, one UTF-16 unit at a time, so a
one-character upper case is what counts; a character whose upper case is longer (German
sharp s) keeps its own. Run it again with a newer Python for a newer Unicode version.
"""
import sys
import unicodedata
from pathlib import Path

pairs = []
for code in range(0x10000):
    if 0xD800 <= code <= 0xDFFF:
        continue
    upper = chr(code).upper()
    if len(upper) == 1 and ord(upper) != code:
        pairs.append((code, ord(upper) - code))

# A run: first, last, stride (1 for a block of lower-case letters, 2 for alternating upper
# and lower case), offset.
runs = []
for code, offset in pairs:
    if runs:
        first, last, stride, run_offset = runs[-1]
        step = code - last
        if run_offset == offset and (step == stride or (stride == 0 and step in (1, 2))):
            runs[-1] = (first, code, step, offset)
            continue
    runs.append((code, code, 0, offset))

lines = [
    "// Written by scripts/make-case-table.py from Unicode "
    f"{unicodedata.unidata_version}; do not edit.",
    "// {first, last, stride, offset}: every stride-th code point from first to last has its",
    "// upper case at code point + offset.",
]
for first, last, stride, offset in runs:
    lines.append(f"{{0x{first:04X}, 0x{last:04X}, {max(stride, 1)}, {offset}}},")
out = Path(__file__).resolve().parent.parent / "vantis-pack" / "UpperCaseTable.inc"
out.write_text("\n".join(lines) + "\n")
print(f"{out}: {len(runs)} runs, {len(pairs)} code points", file=sys.stderr)
