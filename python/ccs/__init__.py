"""Collision cross sections (CCS) and mobilities of molecular ions in a buffer
gas, computed by the C++ core of the ccs program.

    import ccs
    ion = ccs.read("examples/phenethylammonium.mol2")[0]
    r = ccs.compute(ion, gas="N2", seed=1)
    print(r.ccs, r.ccs_se, r.K0, r.per_orientation)

ccs.read reads structure files, ccs.Structure makes a structure from arrays,
ccs.compute runs a method, ccs.trajectory runs every frame of an MD
trajectory (MDAnalysis), ccs.plot draws results.
"""
from . import plot
from .md import FrameResults, structure_from_atoms, trajectory
from .runs import (
    DEFAULTS,
    Gas,
    Result,
    Structure,
    Tables,
    ccs_from_mobility,
    compute,
    join_frames,
    load_tables,
    methods,
    mobility_from_ccs,
    params_dir,
    read,
    reduced_mobility,
    write_json,
)

__version__ = "0.1.0"

__all__ = [
    "DEFAULTS", "FrameResults", "Gas", "Result", "Structure", "Tables", "ccs_from_mobility", "compute",
    "join_frames", "load_tables", "methods", "mobility_from_ccs", "params_dir", "read", "reduced_mobility",
    "structure_from_atoms", "trajectory", "write_json",
]
