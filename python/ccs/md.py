"""Cross sections along molecular-dynamics trajectories read by MDAnalysis."""
from __future__ import annotations

import dataclasses
import os
from typing import Any, Optional, Sequence, Union

import numpy as np

from .runs import DEFAULTS, PathLike, Progress, Result, Structure, _Request, load_tables, progress_reporter


def _elements(atoms: Any) -> list:
    """Element symbols of an AtomGroup: the topology's, guessed from the atom
    names where it has none."""
    from MDAnalysis.topology.guessers import guess_types

    given = list(atoms.elements) if hasattr(atoms, "elements") else [""] * len(atoms)
    missing = [i for i, e in enumerate(given) if not str(e).strip()]
    if missing:
        guessed = guess_types(atoms.names[missing])
        for i, e in zip(missing, guessed):
            given[i] = e
    return [str(e).strip() for e in given]


def structure_from_atoms(atoms: Any, charges: bool = True, title: str = "", file: str = "") -> Structure:
    """A structure from an MDAnalysis AtomGroup at its current frame.

    Elements come from the topology (guessed from the atom names where it
    has none), masses are the standard atomic weights (as for files), and the
    partial charges come from the topology when it has them (PSF, TPR, mol2,
    PQR, ...) and `charges` is true.
    """
    if len(atoms) == 0:
        raise ValueError("the atom selection is empty")
    q = None
    if charges and hasattr(atoms, "charges"):
        q = np.asarray(atoms.charges, dtype=float)
    if not file:
        file = os.path.basename(getattr(atoms.universe.trajectory, "filename", None) or "universe")
    return Structure(np.asarray(atoms.positions, dtype=float), _elements(atoms), charges=q, title=title,
                     file=file)


@dataclasses.dataclass(frozen=True, eq=False)
class FrameResults:
    """One cross section per frame: arrays indexed like the frames run."""

    frame: np.ndarray  # frame index in the trajectory
    time: np.ndarray  # ps
    ccs: np.ndarray  # Å^2
    ccs_se: np.ndarray
    K: np.ndarray  # cm^2/(V s)
    K0: np.ndarray
    results: list[Result]  # the Result of every frame

    def __len__(self) -> int:
        return len(self.frame)

    @staticmethod
    def collect(results: Sequence[Result], frames: Sequence[int], times: Sequence[float]) -> "FrameResults":
        def column(name: str) -> np.ndarray:
            return np.array([getattr(r, name) for r in results], dtype=float)

        return FrameResults(np.array(frames, dtype=int), np.array(times, dtype=float), column("ccs"),
                            column("ccs_se"), column("K"), column("K0"), list(results))

    def to_dataframe(self) -> Any:
        """A pandas DataFrame with one row per frame (needs pandas)."""
        import pandas as pd

        return pd.DataFrame({
            "frame": self.frame, "time_ps": self.time, "ccs_A2": self.ccs, "ccs_se_A2": self.ccs_se,
            "K_cm2_Vs": self.K, "K0_cm2_Vs": self.K0,
            "orientations_used": [r.orientations_used for r in self.results],
            "seconds": [r.seconds for r in self.results],
        })


def _universe(source: Any) -> Any:
    import MDAnalysis as mda

    if isinstance(source, mda.Universe):
        return source
    if isinstance(source, (str, os.PathLike)):
        source = [source]
    paths = [os.fspath(p) for p in source]
    if not paths:
        raise ValueError("no topology or trajectory files given")
    for p in paths:
        if not os.path.exists(p):
            raise FileNotFoundError(f"{p}: no such file")
    return mda.Universe(paths[0], *paths[1:])


def trajectory(
    universe_or_paths: Union[Any, PathLike, Sequence[PathLike]],
    selection: str = "protein",
    *,
    start: Optional[int] = None,
    stop: Optional[int] = None,
    step: Optional[int] = None,
    method: str = DEFAULTS["method"],
    gas: str = DEFAULTS["gas"],
    temperature: float = DEFAULTS["temperature"],
    pressure: float = DEFAULTS["pressure"],
    charge: Optional[float] = None,
    charges: bool = True,
    seed: Optional[int] = None,
    progress: Progress = False,
    params: Sequence[PathLike] = (),
    polarizability: Optional[float] = None,
    **options: Any,
) -> FrameResults:
    """The cross section of the atoms `selection` in every `step`-th frame
    from `start` to `stop` of a trajectory MDAnalysis reads.

    universe_or_paths: an MDAnalysis Universe, or the topology file followed
        by trajectory files (XTC, DCD, TRR, NetCDF, ...).
    selection: an MDAnalysis selection ("protein", "all", "resname LIG", ...).
    charges: take the partial charges from the topology when it has them.
    charge: the ion charge (default: the partial charges' sum rounded, else
        1; a selection whose charges sum to 0 needs it).
    seed: every frame runs with this seed (drawn once when None), so a frame
        gives the same numbers as ccs.compute on it with that seed.
    progress: a callable progress(done, total) over frames, or True for a bar.
    options: further options of ccs.compute (orientations, trajectories,
        threads, n2_model, ...).

    On Ctrl-C the KeyboardInterrupt carries the frames finished so far as
    its attribute `partial` (a FrameResults).
    """
    u = _universe(universe_or_paths)
    atoms = u.select_atoms(selection)
    if len(atoms) == 0:
        raise ValueError(f"the selection {selection!r} matches no atoms")
    tables = load_tables(gas, params, polarizability)
    opts = {k: None for k in ("orientations", "trajectories", "deltatenhance", "multiplier", "boxdomain",
                              "threads")}
    opts.update(tensor=False, accommodation=DEFAULTS["accommodation"], reemission=DEFAULTS["reemission"],
                maxwell=DEFAULTS["maxwell"], n2_model=DEFAULTS["n2_model"])
    unknown = set(options) - set(opts)
    if unknown:
        raise TypeError(f"trajectory() got unexpected options: {', '.join(sorted(unknown))}")
    opts.update(options)
    request = _Request.make(tables, method, temperature, pressure, charge, seed=seed, **opts)
    sliced = u.trajectory[start:stop:step]
    template: Optional[Structure] = None
    results, frames, times = [], [], []
    with progress_reporter(progress, f"{selection} {method}", "frame") as callback:
        try:
            for ts in sliced:
                if template is None:
                    template = structure_from_atoms(atoms, charges=charges)
                s = template.with_coordinates(np.asarray(atoms.positions, dtype=float),
                                              title=f"frame {ts.frame}", conformer=ts.frame + 1)
                results.append(request.run(s, tables, None))
                frames.append(ts.frame)
                times.append(ts.time)
                if callback is not None:
                    callback(len(results), len(sliced))
        except KeyboardInterrupt as e:
            e.partial = FrameResults.collect(results, frames, times)
            raise
    return FrameResults.collect(results, frames, times)
