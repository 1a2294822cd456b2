#!/usr/bin/env python3
"""Writes the example structures in examples/ from known geometry.

c60.xyz: buckminsterfullerene, a truncated icosahedron whose vertices are the
even permutations of (0, +-1, +-3p), (+-1, +-(2+p), +-2p), (+-p, +-2, +-(2p+1))
with p the golden ratio (edge length 2), scaled to a C-C bond of 1.42 A.
"""
import itertools
import math
import os

PHI = (1 + 5 ** 0.5) / 2


def even_permutations(v):
    x, y, z = v
    return [(x, y, z), (y, z, x), (z, x, y)]


def c60():
    base = [(0, 1, 3 * PHI), (1, 2 + PHI, 2 * PHI), (PHI, 2, 2 * PHI + 1)]
    pts = set()
    for b in base:
        for signs in itertools.product((1, -1), repeat=3):
            s = tuple(c * g for c, g in zip(b, signs))
            for p in even_permutations(s):
                pts.add(tuple(round(c, 12) for c in p))
    pts = sorted(pts)
    assert len(pts) == 60
    scale = 1.42 / 2.0
    return [(x * scale, y * scale, z * scale) for x, y, z in pts]


def write_xyz(path, title, atoms):
    with open(path, "w") as f:
        f.write(f"{len(atoms)}\n{title}\n")
        for el, (x, y, z) in atoms:
            f.write(f"{el:2s} {x:12.6f} {y:12.6f} {z:12.6f}\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, "..", "examples")
    os.makedirs(out, exist_ok=True)
    write_xyz(os.path.join(out, "c60.xyz"), "C60 fullerene (truncated icosahedron, C-C 1.42 A)",
              [("C", p) for p in c60()])


if __name__ == "__main__":
    main()
