"""Plots written as images and read back."""
import json
import subprocess
import sys

import numpy as np
import pytest
from matplotlib.image import imread

import ccs
import ccs.__main__
import ccs.plot
from conftest import EXAMPLES


def drawn(path, width, height):
    """The image at `path` has the given size and is not blank."""
    img = imread(str(path))
    assert img.shape[:2] == (height, width)
    ink = np.any(img[..., :3] < 0.9, axis=-1).mean()  # share of pixels that are not near white
    colours = len(np.unique(img[..., :3].reshape(-1, 3), axis=0))
    assert ink > 0.02 and colours > 20, (ink, colours)


def test_plot_of_the_programs_json(program, tmp_path, capsys):
    data = program("--method", "pa", "--orientations", 30, "--seed", 2, "--per-orientation",
                   EXAMPLES / "c60.xyz", EXAMPLES / "phenethylammonium.mol2")
    path = tmp_path / "result.json"
    path.write_text(json.dumps(data))
    out = tmp_path / "out.png"
    run = subprocess.run([sys.executable, "-m", "ccs", "plot", str(path), "-o", str(out), "--dpi", "50"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    drawn(out, 3 * 275, 210)  # three panels of 5.5 x 4.2 inches at 50 dpi
    # One result without per-orientation values has nothing to draw.
    data["results"] = data["results"][:1]
    del data["results"][0]["per_orientation_A2"]
    path.write_text(json.dumps(data))
    assert ccs.__main__.main(["plot", str(path), "-o", str(out)]) == 1
    assert "--per-orientation" in capsys.readouterr().err


def test_plots_of_python_results(tmp_path):
    [ion] = ccs.read(EXAMPLES / "phenethylammonium.mol2")
    r = ccs.compute(ion, "pa", orientations=80, seed=1)
    n, mean, se = ccs.plot.running_mean(r.per_orientation)
    assert len(n) == 80 and np.isnan(se[0])
    assert mean[-1] == pytest.approx(r.ccs, rel=1e-12) and se[-1] == pytest.approx(r.ccs_se, rel=1e-9)
    ccs.write_json([r, r], tmp_path / "r.json")
    ccs.plot.plot_json(tmp_path / "r.json", tmp_path / "r.png", dpi=40)
    drawn(tmp_path / "r.png", 3 * 220, 168)
    ax = ccs.plot.convergence(r)
    ax.figure.savefig(tmp_path / "c.png", dpi=40)
    drawn(tmp_path / "c.png", 240, 160)
