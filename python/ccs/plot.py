"""Plots of results with matplotlib: cross section per frame or structure
with error bars, the distribution of the per-orientation cross sections, and
the convergence of their mean with the number of orientations.

The functions draw on the Axes `ax` when given, else on a new Figure of
their own (no pyplot state, no display needed); they return the Axes.
Results are ccs.Result objects or rows of the ccs program's JSON output
(`ccs --json --per-orientation`).
"""
from __future__ import annotations

import json
import math
import os
from typing import Any, Mapping, Optional, Sequence, Union

import numpy as np

from .md import FrameResults
from .runs import PathLike, Result

Row = Union[Result, Mapping[str, Any]]


def _axes(ax: Any, size=(6.0, 4.0)) -> Any:
    if ax is not None:
        return ax
    from matplotlib.figure import Figure

    return Figure(figsize=size, layout="constrained").add_subplot()


def _row(r: Row) -> dict:
    return r.to_dict() if isinstance(r, Result) else dict(r)


def _label(row: Mapping[str, Any]) -> str:
    return f"{os.path.basename(row.get('file', ''))}#{row.get('conformer', 1)} {row.get('method', '')}".strip()


def _per_orientation(row: Mapping[str, Any]) -> np.ndarray:
    """The finite non-zero per-orientation cross sections (those the mean is over)."""
    v = np.array([np.nan if x is None else x for x in row.get("per_orientation_A2") or []], dtype=float)
    return v[np.isfinite(v) & (v != 0)]


def running_mean(values: Sequence[float]) -> tuple:
    """(n, mean, standard error) of the first n values, for n = 1, 2, ...
    (standard error NaN for n = 1)."""
    v = np.asarray(values, dtype=float)
    n = np.arange(1, len(v) + 1)
    mean = np.cumsum(v) / n
    sq = np.cumsum(v * v)
    with np.errstate(invalid="ignore", divide="ignore"):
        var = np.maximum(sq - n * mean * mean, 0.0) / (n - 1)
        se = np.sqrt(var / n)
    se[0] = np.nan
    return n, mean, se


def frames(results: Union[FrameResults, Sequence[Row]], ax: Any = None) -> Any:
    """Cross section per frame (FrameResults) or per result, with error bars
    of one standard error."""
    ax = _axes(ax)
    if isinstance(results, FrameResults):
        x, y, e = results.frame, results.ccs, results.ccs_se
        fmt = "o-"
        ax.set_xlabel("frame")
    else:
        rows = [_row(r) for r in results]
        x = np.arange(len(rows))
        y = np.array([np.nan if r.get("ccs_A2") is None else r["ccs_A2"] for r in rows], dtype=float)
        e = np.array([np.nan if r.get("ccs_se_A2") is None else r["ccs_se_A2"] for r in rows], dtype=float)
        fmt = "o"  # separate structures: no line between them
        tilt = len(rows) > 3
        ax.set_xticks(x, [_label(r) for r in rows], rotation=30 if tilt else 0, ha="right" if tilt else "center")
        ax.set_xlim(-0.5, len(rows) - 0.5)
    ax.errorbar(x, y, yerr=np.nan_to_num(e), fmt=fmt, ms=4, capsize=3)
    ax.set_ylabel("CCS (Å²)")
    ax.set_title("Cross section ± standard error")
    ax.grid(alpha=0.3)
    return ax


def distribution(result: Row, ax: Any = None, bins: Any = "auto") -> Any:
    """Histogram of the per-orientation cross sections with their mean."""
    ax = _axes(ax)
    row = _row(result)
    v = _per_orientation(row)
    if len(v) == 0:
        raise ValueError(f"{_label(row)}: no per-orientation cross sections")
    mean, se = float(v.mean()), float(v.std(ddof=1) / math.sqrt(len(v))) if len(v) > 1 else math.nan
    _, _, patches = ax.hist(v, bins=bins, alpha=0.6, label=f"{_label(row)} ({len(v)} orientations)")
    ax.axvline(mean, color=patches[0].get_facecolor()[:3], lw=1.2, label=f"mean {mean:.2f} ± {se:.2f} Å²")
    ax.set_xlabel("CCS of one orientation (Å²)")
    ax.set_ylabel("orientations")
    ax.set_title("Per-orientation cross sections")
    ax.legend(fontsize="small")
    return ax


def convergence(result: Row, ax: Any = None) -> Any:
    """Mean of the first n orientations against n, with a band of one
    standard error."""
    ax = _axes(ax)
    row = _row(result)
    v = _per_orientation(row)
    if len(v) == 0:
        raise ValueError(f"{_label(row)}: no per-orientation cross sections")
    n, mean, se = running_mean(v)
    line, = ax.plot(n, mean, lw=1.2, label=_label(row))
    ax.fill_between(n, mean - se, mean + se, color=line.get_color(), alpha=0.25, lw=0)
    ax.axhline(mean[-1], color=line.get_color(), lw=0.8, ls="--")
    ax.set_xlabel("orientations")
    ax.set_ylabel("running mean CCS (Å²)")
    ax.set_title("Convergence with the number of orientations")
    ax.legend(fontsize="small")
    ax.grid(alpha=0.3)
    return ax


def overview(results: Sequence[Row], dpi: float = 100) -> Any:
    """A Figure with the panels the results allow: cross section per result
    (several results), distribution and convergence (results with
    per-orientation cross sections, each result in its own colour)."""
    from matplotlib.figure import Figure

    rows = [_row(r) for r in results]
    detailed = [r for r in rows if len(_per_orientation(r)) > 0]
    panels = (1 if len(rows) > 1 else 0) + (2 if detailed else 0)
    if panels == 0:
        raise ValueError("nothing to plot: one result without per-orientation cross sections "
                         "(run ccs with --json --per-orientation)")
    fig = Figure(figsize=(5.5 * panels, 4.2), dpi=dpi, layout="constrained")
    axes = list(fig.subplots(1, panels, squeeze=False)[0])
    if len(rows) > 1:
        frames(rows, ax=axes.pop(0))
    if detailed:
        for r in detailed:
            distribution(r, ax=axes[0])
            convergence(r, ax=axes[1])
    return fig


def plot_json(path: PathLike, output: PathLike, dpi: float = 100) -> None:
    """Draws the results of a JSON file (the ccs program's --json output, or
    ccs.write_json) into an image file (PNG, SVG, PDF by its extension)."""
    with open(path, encoding="utf-8") as f:
        try:
            data = json.load(f)
        except json.JSONDecodeError as e:
            raise ValueError(f"{path}: not JSON: {e}") from None
    if not isinstance(data, dict) or not isinstance(data.get("results"), list):
        raise ValueError(f"{path}: no 'results' list (expected the output of ccs --json)")
    if not data["results"]:
        raise ValueError(f"{path}: no results to plot")
    overview(data["results"], dpi=dpi).savefig(output)
