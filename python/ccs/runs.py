"""Structures, parameter tables and one run of a method on one structure."""
from __future__ import annotations

import contextlib
import dataclasses
import json
import math
import os
import secrets
import sys
from pathlib import Path
from typing import Any, Callable, Iterable, Iterator, Optional, Sequence, Union

import numpy as np

from . import _core

Structure = _core.Structure
Gas = _core.Gas
PathLike = Union[str, "os.PathLike[str]"]
ProgressCallback = Callable[[int, int], None]
Progress = Union[bool, ProgressCallback, None]

#: Defaults of a run (the ccs program's).
DEFAULTS: dict = dict(_core.DEFAULTS)
CHARGE_SOURCES = ("file", "gasteiger", "mmff94", "eem", "none")


def methods() -> list[str]:
    """The methods built into the module: pa, ehss, tm, tm-fixed, lj."""
    return _core.methods()


def params_dir() -> str:
    """The folder of the parameter tables: $CCS_PARAMS_DIR when set, else the
    tables installed with the package, else the program's own."""
    env = os.environ.get("CCS_PARAMS_DIR")
    if env:
        return env
    packaged = Path(__file__).with_name("params")
    if (packaged / "gases.tsv").is_file():
        return str(packaged)
    return _core.params_dir()


def read(path: PathLike, charges: str = "file", equal_charge: float = 1.0) -> list[Structure]:
    """Every structure (conformer, model, frame, .mfj coordinate set) of a file.

    Reads what the ccs program reads: the formats of Open Babel (XYZ, PDB,
    mol2, SDF, mmCIF, ...), PQR and .mfj. `charges` chooses the partial
    charges: "file" (where the file has them), "gasteiger", "mmff94", "eem"
    (Open Babel's models) or "none"; `equal_charge` is the total spread over
    the atoms of an .mfj file whose charge mode is "equal".

    Raises FileNotFoundError for a missing file and ValueError naming the
    file (and line) for one that cannot be read.
    """
    if charges not in CHARGE_SOURCES:
        raise ValueError(f"charges must be one of {', '.join(CHARGE_SOURCES)}, not {charges!r}")
    return _core.read(os.fspath(path), charges, float(equal_charge))


def join_frames(structures: Sequence[Structure]) -> Structure:
    """One structure whose stored frames are `structures` in order (the same
    atoms in each): the input of the moving-atom trajectory method (tm)."""
    return _core.join_frames(list(structures))


@dataclasses.dataclass(frozen=True)
class Tables:
    """The gas and its parameter tables, as loaded for runs."""

    gas: Gas
    tables: Any  # _core.GasTables: hard_sphere and lennard_jones

    @property
    def sources(self) -> str:
        return self.tables.sources


def load_tables(
    gas: str = DEFAULTS["gas"], params: Sequence[PathLike] = (), polarizability: Optional[float] = None
) -> Tables:
    """The gas `gas` with its shipped parameter tables and the tables `params`
    (files in the format of data/params/) merged into the table of their
    type; `polarizability` (Å^3) replaces the gas table's value."""
    folder = params_dir()
    g = _core.find_gas(folder, gas)
    if polarizability is not None:
        if not (math.isfinite(polarizability) and polarizability >= 0):
            raise ValueError("polarizability must not be negative")
        g = Gas(g.name, g.mass_u, float(polarizability))
    return Tables(g, _core.load_gas_tables(folder, gas, [os.fspath(p) for p in params]))


@dataclasses.dataclass(frozen=True, eq=False)
class Result:
    """Cross section and mobility of one structure by one method.

    ccs and ccs_se (Å^2) are the mean and standard error of the finite
    non-zero per-orientation cross sections; K and K0 the mobility and the
    reduced mobility (cm^2/(V s)). `settings` holds everything the run used,
    seed included, so that it can be repeated.
    """

    file: str
    title: str
    conformer: int
    atoms: int
    method: str
    ccs: float
    ccs_se: float
    K: float
    K0: float
    charge: float
    mass: float
    orientations: int
    orientations_used: int
    trajectories: float
    seconds: float
    per_orientation: np.ndarray
    settings: dict
    warnings: list
    notes: list

    @property
    def label(self) -> str:
        return f"{os.path.basename(self.file)}#{self.conformer}"

    def to_dict(self) -> dict:
        """The result as a row of the ccs program's JSON output (with its
        per-orientation cross sections)."""
        return result_row(self)

    def __repr__(self) -> str:
        return (
            f"<ccs.Result {self.label} {self.method}: {self.ccs:.2f} ± {self.ccs_se:.2f} Å², "
            f"K0 = {self.K0:.5f} cm²/(V·s)>"
        )


def _number_or_none(v: float) -> Optional[float]:
    return float(v) if math.isfinite(v) else None


def result_row(r: Result) -> dict:
    s = r.settings
    return {
        "file": r.file,
        "title": r.title,
        "conformer": r.conformer,
        "method": r.method,
        "atoms": r.atoms,
        "mass_u": r.mass,
        "charge": r.charge,
        "ccs_A2": _number_or_none(r.ccs),
        "ccs_se_A2": _number_or_none(r.ccs_se),
        "mobility_cm2_Vs": _number_or_none(r.K),
        "reduced_mobility_cm2_Vs": _number_or_none(r.K0),
        "orientations": r.orientations,
        "orientations_used": r.orientations_used,
        "trajectories": r.trajectories,
        "seconds": r.seconds,
        "tensor": s["tensor"],
        "settings": {k: s[k] for k in ("orientations", "trajectories_per_orientation", "deltatenhance",
                                       "multiplier", "boxdomain", "entry_radius_A")},
        "gas_model": s.get("gas_model"),
        "lj_model": s.get("lj_model"),
        "orientation_temperature_K": s.get("orientation_temperature_K"),
        "warnings": list(r.warnings),
        "notes": list(r.notes),
        "per_orientation_A2": [_number_or_none(v) for v in r.per_orientation],
    }


def write_json(results: Iterable[Result], path: PathLike) -> None:
    """Writes results in the layout of the ccs program's JSON output (with
    per-orientation cross sections), which `python3 -m ccs plot` draws."""
    rows = [r.to_dict() for r in results]
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"results": rows, "errors": []}, f, indent=2)
        f.write("\n")


# Ranges the ccs program accepts for its options.
_LIMITS = {
    "orientations": (1, 1e8),
    "trajectories": (1, 1e9),
    "multiplier": (1, 1e6),
    "threads": (1, 4096),
}


def _check_range(name: str, value: Optional[float], whole: bool = False) -> float:
    if value is None:
        return 0
    lo, hi = _LIMITS.get(name, (0, math.inf))
    ok = isinstance(value, (int, float, np.integer, np.floating)) and math.isfinite(value)
    if ok and whole:
        ok = float(value).is_integer()
    if not ok or not (value >= lo and value <= hi) or (lo == 0 and value <= 0):
        kind = "a whole number" if whole else "a number"
        bound = f"from {lo:g} to {hi:g}" if lo > 0 else "above 0"
        raise ValueError(f"{name} must be {kind} {bound}, not {value!r}")
    return value


@dataclasses.dataclass(frozen=True)
class _Request:
    """The checked options of runs, shared by every structure."""

    method: str
    temperature: float
    pressure: float
    charge: float
    numerics: Any
    tensor: bool
    accommodation: float
    reemission: str
    maxwell: bool
    n2_model: Optional[str]
    seed: int
    threads: int

    @staticmethod
    def make(tables: Tables, method: str, temperature: float, pressure: float, charge, orientations,
             trajectories, deltatenhance, multiplier, boxdomain, tensor, accommodation, reemission,
             maxwell, n2_model, seed, threads) -> "_Request":
        if method not in methods():
            raise ValueError(f"unknown method {method!r} (this module has: {', '.join(methods())})")
        if not (math.isfinite(temperature) and temperature > 0):
            raise ValueError("temperature must be a positive number of kelvin")
        if not (math.isfinite(pressure) and pressure > 0):
            raise ValueError("pressure must be a positive number of pascal")
        if charge is not None and not (math.isfinite(charge) and charge != 0):
            raise ValueError("charge must be a non-zero number (an ion has a charge)")
        if not 0.0 <= accommodation <= 1.0:
            raise ValueError("accommodation must be between 0 and 1")
        if reemission not in ("cosine", "specular"):
            raise ValueError(f"reemission must be 'cosine' or 'specular', not {reemission!r}")
        if n2_model not in (None, "atom", "three-site"):
            raise ValueError(f"n2_model must be 'atom' or 'three-site', not {n2_model!r}")
        if n2_model == "three-site" and tables.gas.name != "N2":
            raise ValueError("n2_model three-site needs gas N2")
        if n2_model == "three-site" and method != "lj":
            raise ValueError("n2_model three-site is a model of the lj method")
        if n2_model is None:
            n2_model = _core.default_n2_model(tables.gas.name)
        if tensor and method == "pa":
            raise ValueError("tensor: the projection approximation has no axis-permutation mode")
        if seed is None:
            seed = secrets.randbits(32)
        if not (isinstance(seed, (int, np.integer)) and 0 <= seed < 2**32):
            raise ValueError(f"seed must be a whole number from 0 to 4294967295, not {seed!r}")
        n = _core.Numerics()
        n.orientations = int(_check_range("orientations", orientations, whole=True))
        n.trajectories = float(_check_range("trajectories", trajectories))
        n.deltatenhance = float(_check_range("deltatenhance", deltatenhance))
        n.multiplier = float(_check_range("multiplier", multiplier))
        n.boxdomain = float(_check_range("boxdomain", boxdomain))
        return _Request(method, float(temperature), float(pressure), 0.0 if charge is None else float(charge),
                        n, bool(tensor), float(accommodation), reemission, bool(maxwell), n2_model,
                        int(seed), int(_check_range("threads", threads, whole=True)))

    def run(self, structure: Structure, tables: Tables, progress: Optional[ProgressCallback]) -> Result:
        if not isinstance(structure, Structure):
            raise TypeError(f"expected a ccs.Structure (from ccs.read or ccs.Structure(...)), "
                            f"not {type(structure).__name__}")
        raw = _core.run(structure, self.method, tables.gas, tables.tables, self.temperature, self.pressure,
                        self.charge, self.numerics, self.tensor, self.accommodation,
                        self.reemission == "cosine", self.maxwell, self.n2_model == "three-site", self.seed,
                        self.threads, progress)
        settings = {
            "method": self.method,
            "gas": tables.gas.name,
            "gas_mass_u": tables.gas.mass_u,
            "gas_polarizability_A3": tables.gas.polarizability_A3,
            "temperature_K": self.temperature,
            "pressure_Pa": self.pressure,
            "charge": None if self.charge == 0 else self.charge,
            "seed": self.seed,
            "threads": self.threads or None,
            "tensor": self.tensor,
            "accommodation": self.accommodation,
            "reemission": self.reemission,
            "maxwell": self.maxwell,
            "n2_model": self.n2_model,
            "params": tables.sources,
            **raw["numerics"],
            "gas_model": raw["gas_model"],
            "lj_model": raw["lj_model"],
            "orientation_temperature_K": raw["orientation_temperature_K"],
        }
        return Result(
            file=structure.file, title=structure.title, conformer=structure.conformer, atoms=len(structure),
            method=self.method, ccs=raw["ccs"], ccs_se=raw["ccs_se"], K=raw["K"], K0=raw["K0"],
            charge=raw["charge"], mass=raw["mass"], orientations=raw["orientations"],
            orientations_used=raw["orientations_used"], trajectories=raw["trajectories"],
            seconds=raw["seconds"], per_orientation=raw["per_orientation"], settings=settings,
            warnings=list(raw["warnings"]), notes=list(raw["notes"]))


@contextlib.contextmanager
def progress_reporter(progress: Progress, description: str, unit: str) -> Iterator[Optional[ProgressCallback]]:
    """A callback(done, total) for `progress`: the callable itself; for True a
    tqdm bar when tqdm is installed, else a line on standard error; None for
    False or None."""
    if progress is None or progress is False:
        yield None
        return
    if callable(progress):
        yield progress
        return
    try:
        from tqdm.auto import tqdm
    except ImportError:
        def line(done: int, total: int) -> None:
            print(f"\r{description}: {done}/{total} {unit}", end="", file=sys.stderr, flush=True)
        try:
            yield line
        finally:
            print(file=sys.stderr)
        return
    bars = []  # made at the first report, which knows the total

    def update(done: int, total: int) -> None:
        if not bars:
            bars.append(tqdm(desc=description, unit=unit, total=total))
        bars[0].update(done - bars[0].n)

    try:
        yield update
    finally:
        for bar in bars:
            bar.close()


def compute(
    structure: Structure,
    method: str = DEFAULTS["method"],
    gas: str = DEFAULTS["gas"],
    temperature: float = DEFAULTS["temperature"],
    pressure: float = DEFAULTS["pressure"],
    *,
    charge: Optional[float] = None,
    orientations: Optional[int] = None,
    trajectories: Optional[float] = None,
    seed: Optional[int] = None,
    threads: Optional[int] = None,
    tensor: bool = False,
    accommodation: float = DEFAULTS["accommodation"],
    reemission: str = DEFAULTS["reemission"],
    maxwell: bool = DEFAULTS["maxwell"],
    n2_model: Optional[str] = DEFAULTS["n2_model"],
    deltatenhance: Optional[float] = None,
    multiplier: Optional[float] = None,
    boxdomain: Optional[float] = None,
    polarizability: Optional[float] = None,
    params: Sequence[PathLike] = (),
    progress: Progress = False,
) -> Result:
    """Collision cross section and mobility of `structure` in a buffer gas.

    The same computation as the ccs program with the same options: the same
    seed gives the same numbers (on any number of threads).

    method: "pa" (projection approximation), "ehss" (exact hard-sphere
        scattering), "tm" (trajectory method, hard spheres; with a structure
        from join_frames the atoms move along its frames), "tm-fixed" (fixed
        atoms) or "lj" (trajectory method in a Lennard-Jones field).
    gas, temperature (K), pressure (Pa): the buffer gas and its conditions.
    charge: the ion charge (default: the partial charges' sum rounded, else 1).
    orientations, trajectories (per orientation), deltatenhance, multiplier,
        boxdomain (Å): statistics and step settings; None selects the
        method's default.
    seed: 0 to 2**32 - 1; drawn (and kept in result.settings) when None.
    threads: OpenMP threads of the run (default: all processors).
    tensor: three fixed orientations and the mobility tensor.
    accommodation, reemission, maxwell: diffuse collisions (ehss, tm, tm-fixed).
    n2_model: nitrogen in lj: "three-site" (the default in N2: a linear N2
        with its quadrupole; without partial charges the ion charge is spread
        evenly over the atoms) or "atom" (per-atom pair parameters).
    polarizability: gas polarizability volume (Å^3) replacing the table's.
    params: parameter tables adding to or replacing the shipped ones.
    progress: a callable progress(done, total) over orientations, or True
        for a progress bar.

    The run releases the GIL; Ctrl-C stops it within a fraction of a second
    with KeyboardInterrupt. Bad input raises ValueError with the program's
    message (naming the element, file or option), a missing parameter file
    FileNotFoundError.
    """
    tables = load_tables(gas, params, polarizability)
    request = _Request.make(tables, method, temperature, pressure, charge, orientations, trajectories,
                            deltatenhance, multiplier, boxdomain, tensor, accommodation, reemission, maxwell,
                            n2_model, seed, threads)
    label = f"{os.path.basename(getattr(structure, 'file', ''))}#{getattr(structure, 'conformer', '')} {method}"
    with progress_reporter(progress, label, "orientation") as callback:
        return request.run(structure, tables, callback)


def mobility_from_ccs(ccs: float, charge: float, mass: float, gas: str = DEFAULTS["gas"],
                      temperature: float = DEFAULTS["temperature"],
                      pressure: float = DEFAULTS["pressure"]) -> float:
    """Mobility K (cm^2/(V s)) of an ion of charge `charge`, mass `mass` (u)
    and cross section `ccs` (Å^2), by the Mason-Schamp relation."""
    return _core.mobility_from_ccs(ccs, charge, mass, load_tables(gas).gas, temperature, pressure)


def ccs_from_mobility(K: float, charge: float, mass: float, gas: str = DEFAULTS["gas"],
                      temperature: float = DEFAULTS["temperature"],
                      pressure: float = DEFAULTS["pressure"]) -> float:
    """Cross section (Å^2) from a mobility K (cm^2/(V s)), by the Mason-Schamp relation."""
    return _core.ccs_from_mobility(K, charge, mass, load_tables(gas).gas, temperature, pressure)


def reduced_mobility(K: float, temperature: float = DEFAULTS["temperature"],
                     pressure: float = DEFAULTS["pressure"]) -> float:
    """K0 = K (p / 101325 Pa) (273.15 K / T)."""
    return _core.reduced_mobility(K, temperature, pressure)
