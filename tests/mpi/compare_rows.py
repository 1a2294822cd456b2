#!/usr/bin/env python3
"""Compares the rows of two ccs CSV outputs: the same rows in the same order
with every field the same, the wall time (seconds) left out. Exit status 1
naming the first difference."""
import csv
import sys


def rows(path):
    with open(path, newline="") as f:
        out = []
        for r in csv.DictReader(f):
            r.pop("seconds", None)
            out.append(r)
        return out


a, b = rows(sys.argv[1]), rows(sys.argv[2])
if not a:
    sys.exit(f"{sys.argv[1]}: no rows")
if len(a) != len(b):
    sys.exit(f"{len(a)} rows in {sys.argv[1]}, {len(b)} in {sys.argv[2]}")
for i, (x, y) in enumerate(zip(a, b)):
    for k in x:
        if x[k] != y.get(k):
            sys.exit(f"row {i + 1} ({x['file']}#{x['conformer']} {x['method']}): {k} {x[k]!r} != {y.get(k)!r}")
