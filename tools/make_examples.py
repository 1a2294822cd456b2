#!/usr/bin/env python3
"""Writes the example structures in examples/ from known geometry; with
`globule N FILE [COPIES [JITTER]]`, a synthetic globule of N atoms (benchmarks
of large assemblies; COPIES jittered copies for batches of conformers).

c60.xyz: buckminsterfullerene, a truncated icosahedron whose vertices are the
even permutations of (0, +-1, +-3p), (+-1, +-(2+p), +-2p), (+-p, +-2, +-(2p+1))
with p the golden ratio (edge length 2), scaled to a C-C bond of 1.42 A.

phenethylammonium.mol2: the protonated 2-phenylethylamine ion C6H5-CH2-CH2-NH3+
(21 atoms, charge +1), built from standard bond lengths and angles (aromatic
ring C-C 1.39 A, C-H 1.08/1.09 A, C-C 1.51/1.53 A, C-N 1.49 A, N-H 1.03 A,
tetrahedral angles, the side chain perpendicular to the ring and anti), with
partial charges from partial equalisation of orbital electronegativity
(Gasteiger and Marsili, Tetrahedron 36 (1980) 3219): six damped charge-transfer
rounds starting from the formal charge, so the charges sum to +1 exactly.
"""
import itertools
import math
import os
import sys

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


def _sub(a, b):
    return [a[i] - b[i] for i in range(3)]


def _cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def _unit(a):
    n = math.sqrt(sum(c * c for c in a))
    return [c / n for c in a]


def place(a, b, c, bond, angle, dihedral):
    """Position of atom d with |cd| = bond, angle bcd and dihedral abcd (degrees)."""
    angle = math.radians(angle)
    dihedral = math.radians(dihedral)
    bc = _unit(_sub(c, b))
    n = _unit(_cross(_sub(b, a), bc))
    m = _cross(n, bc)
    d2 = [-bond * math.cos(angle),
          bond * math.sin(angle) * math.cos(dihedral),
          bond * math.sin(angle) * math.sin(dihedral)]
    return [c[i] + d2[0] * bc[i] + d2[1] * m[i] + d2[2] * n[i] for i in range(3)]


# Gasteiger-Marsili parameters (a, b, c) of chi = a + b q + c q^2.
PEOE = {"H": (7.17, 6.24, -0.56), "C.ar": (8.79, 9.32, 1.51), "C.3": (7.98, 9.18, 1.88),
        "N.4": (11.54, 10.82, 1.36)}


def peoe_charges(types, formal, bonds, rounds=6):
    q = list(formal)
    for k in range(1, rounds + 1):
        chi = []
        for t, qi in zip(types, q):
            a, b, c = PEOE[t]
            chi.append(a + b * qi + c * qi * qi)
        dq = [0.0] * len(q)
        for i, j in bonds:
            lo, hi = (i, j) if chi[i] < chi[j] else (j, i)
            if types[lo] == "H":
                chi_plus = 20.02  # the hydrogen cation
            else:
                a, b, c = PEOE[types[lo]]
                chi_plus = a + b + c
            t = (chi[hi] - chi[lo]) / chi_plus * 0.5 ** k
            dq[lo] += t
            dq[hi] -= t
        q = [qi + d for qi, d in zip(q, dq)]
    return q


def phenethylammonium():
    atoms = []  # (name, tripos type, position)
    bonds = []
    ring = []
    for k in range(6):
        ang = math.radians(60.0 * k)
        ring.append([1.39 * math.cos(ang), 1.39 * math.sin(ang), 0.0])
        atoms.append((f"C{k + 1}", "C.ar", ring[-1]))
    for k in range(6):
        bonds.append((k, (k + 1) % 6, "ar"))
    c7 = [1.39 + 1.51, 0.0, 0.0]
    atoms.append(("C7", "C.3", c7))
    bonds.append((0, 6, "1"))
    c8 = place(ring[1], ring[0], c7, 1.53, 112.0, 90.0)
    atoms.append(("C8", "C.3", c8))
    bonds.append((6, 7, "1"))
    n = place(ring[0], c7, c8, 1.49, 111.0, 180.0)
    atoms.append(("N1", "N.4", n))
    bonds.append((7, 8, "1"))
    hs = []
    for k in range(1, 6):  # ring hydrogens on C2..C6
        ang = math.radians(60.0 * k)
        hs.append(([2.47 * math.cos(ang), 2.47 * math.sin(ang), 0.0], k))
    for dih in (-30.0, 210.0):
        hs.append((place(ring[1], ring[0], c7, 1.09, 109.5, dih), 6))
    for dih in (60.0, 300.0):
        hs.append((place(ring[0], c7, c8, 1.09, 109.5, dih), 7))
    for dih in (60.0, 180.0, 300.0):
        hs.append((place(c7, c8, n, 1.03, 109.5, dih), 8))
    for k, (pos, parent) in enumerate(hs):
        atoms.append((f"H{k + 1}", "H", pos))
        bonds.append((parent, len(atoms) - 1, "1"))
    types = [t for _, t, _ in atoms]
    formal = [1.0 if t == "N.4" else 0.0 for t in types]
    q = peoe_charges(types, formal, [(i, j) for i, j, _ in bonds])
    return atoms, bonds, q


def write_mol2(path, title, atoms, bonds, charges):
    with open(path, "w") as f:
        f.write(f"@<TRIPOS>MOLECULE\n{title}\n{len(atoms)} {len(bonds)} 1 0 0\nSMALL\n"
                "GASTEIGER\n\n@<TRIPOS>ATOM\n")
        for k, ((name, t, (x, y, z)), q) in enumerate(zip(atoms, charges)):
            f.write(f"{k + 1:7d} {name:<4s} {x:10.4f}{y:10.4f}{z:10.4f} {t:<5s} 1 PEA1 {q:9.4f}\n")
        f.write("@<TRIPOS>BOND\n")
        for k, (i, j, order) in enumerate(bonds):
            f.write(f"{k + 1:6d}{i + 1:6d}{j + 1:6d} {order}\n")


def write_xyz(path, title, atoms):
    with open(path, "w") as f:
        f.write(f"{len(atoms)}\n{title}\n")
        for el, (x, y, z) in atoms:
            f.write(f"{el:2s} {x:12.6f} {y:12.6f} {z:12.6f}\n")


def globule(n_atoms, seed=1):
    """A synthetic globular assembly of n_atoms atoms: the points of a cubic
    lattice (2.1 A, about a protein's atom density with hydrogens) nearest
    the centre, each moved by up to 0.3 A, elements in a protein's
    proportions (H 50 %, C 32 %, N 8.5 %, O 9 %, S 0.5 %). Deterministic for a seed."""
    import random
    rng = random.Random(seed)
    a = 2.1
    r = (3 * n_atoms / (4 * math.pi)) ** (1 / 3) + 2
    m = int(r) + 1
    pts = [(i * i + j * j + k * k, i, j, k) for i in range(-m, m + 1) for j in range(-m, m + 1)
           for k in range(-m, m + 1) if i * i + j * j + k * k <= r * r]
    pts.sort()
    elements = ["H"] * 100 + ["C"] * 64 + ["N"] * 17 + ["O"] * 18 + ["S"]
    for _, i, j, k in pts[:n_atoms]:
        yield (rng.choice(elements),
               (a * i + rng.uniform(-0.3, 0.3), a * j + rng.uniform(-0.3, 0.3), a * k + rng.uniform(-0.3, 0.3)))


def write_globule(path, n_atoms, copies=1, jitter=0.0, seed=1):
    """The globule as xyz; with copies > 1, that many structures (conformers)
    whose atoms are moved by up to `jitter` A each."""
    import random
    atoms = list(globule(n_atoms, seed))
    rng = random.Random(seed + 1)
    with open(path, "w") as f:
        for c in range(copies):
            f.write(f"{len(atoms)}\nglobule of {n_atoms} atoms, copy {c + 1}\n")
            for el, (x, y, z) in atoms:
                d = [rng.uniform(-jitter, jitter) for _ in range(3)] if c > 0 else [0.0] * 3
                f.write(f"{el} {x + d[0]:.3f} {y + d[1]:.3f} {z + d[2]:.3f}\n")


def main():
    # make_examples.py globule N OUT.xyz [COPIES [JITTER]]: a synthetic globule
    # (benchmarks; not kept in examples/).
    if len(sys.argv) > 1 and sys.argv[1] == "globule":
        copies = int(sys.argv[4]) if len(sys.argv) > 4 else 1
        jitter = float(sys.argv[5]) if len(sys.argv) > 5 else 0.0
        write_globule(sys.argv[3], int(sys.argv[2]), copies, jitter)
        return
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, "..", "examples")
    os.makedirs(out, exist_ok=True)
    write_xyz(os.path.join(out, "c60.xyz"), "C60 fullerene (truncated icosahedron, C-C 1.42 A)",
              [("C", p) for p in c60()])
    atoms, bonds, q = phenethylammonium()
    # Round to the written precision and put the rounding remainder on the
    # nitrogen, so the file's charges still sum to +1.
    q = [round(c, 4) for c in q]
    q[8] = round(q[8] + 1.0 - sum(q), 4)
    write_mol2(os.path.join(out, "phenethylammonium.mol2"),
               "phenethylammonium (protonated 2-phenylethylamine), Gasteiger-Marsili charges",
               atoms, bonds, q)


if __name__ == "__main__":
    main()
