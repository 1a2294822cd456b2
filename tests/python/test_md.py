"""Cross sections along an MD trajectory written with MDAnalysis."""
import numpy as np
import pytest

import MDAnalysis as mda

import ccs
from conftest import EXAMPLES

ION = EXAMPLES / "phenethylammonium.mol2"


@pytest.fixture(scope="module")
def frames(tmp_path_factory):
    """A four-frame DCD over the mol2 topology: the ion, rotated, shifted,
    and rotated and shifted."""
    u = mda.Universe(str(ION))
    x = u.atoms.positions.astype(float)
    c = x.mean(axis=0)
    a, b = np.radians(40), np.radians(75)
    turn = np.array([[np.cos(a), -np.sin(a), 0], [np.sin(a), np.cos(a), 0], [0, 0, 1]]) @ np.array(
        [[np.cos(b), 0, np.sin(b)], [0, 1, 0], [-np.sin(b), 0, np.cos(b)]])
    rotated = (x - c) @ turn.T + c
    shift = np.array([7.0, -3.0, 12.0])
    path = str(tmp_path_factory.mktemp("md") / "ion.dcd")
    with mda.Writer(path, n_atoms=u.atoms.n_atoms) as w:
        for xyz in (x, rotated, x + shift, rotated + shift):
            u.atoms.positions = xyz
            w.write(u.atoms)
    return path


def test_one_row_per_frame_and_rigid_body_invariance(frames):
    res = ccs.trajectory((ION, frames), selection="all", method="pa", orientations=150, seed=5)
    assert len(res) == 4
    np.testing.assert_array_equal(res.frame, [0, 1, 2, 3])
    assert [r.title for r in res.results] == [f"frame {i}" for i in range(4)]
    for i in (1, 2, 3):
        tolerance = 3 * np.hypot(res.ccs_se[0], res.ccs_se[i])
        assert abs(res.ccs[i] - res.ccs[0]) <= tolerance, (i, res.ccs, res.ccs_se)
    df = res.to_dataframe()
    assert list(df["frame"]) == [0, 1, 2, 3] and np.allclose(df["ccs_A2"], res.ccs)
    # Each frame is the run of its structure with the trajectory's seed.
    u = mda.Universe(str(ION), frames)
    u.trajectory[2]
    again = ccs.compute(ccs.structure_from_atoms(u.atoms), "pa", orientations=150, seed=5)
    assert again.ccs == res.ccs[2]


def test_charges_and_elements_come_from_the_topology(frames):
    u = mda.Universe(str(ION), frames)
    s = ccs.structure_from_atoms(u.atoms)
    [ion] = ccs.read(ION)
    assert s.elements == ion.elements
    np.testing.assert_allclose(s.charges, ion.charges, atol=1e-6)
    every_other = ccs.trajectory(u, "all", step=2, method="tm", orientations=3, trajectories=10, seed=1)
    assert list(every_other.frame) == [0, 2]
    assert [r.charge for r in every_other.results] == [1.0, 1.0]
    # A topology without elements: they are guessed from the atom names.
    names = mda.Universe.empty(3, trajectory=True)
    names.add_TopologyAttr("names", ["CA", "N1", "HB2"])
    names.atoms.positions = [[0, 0, 0], [1.4, 0, 0], [0, 1.1, 0]]
    assert ccs.structure_from_atoms(names.atoms).elements == ["C", "N", "H"]


def test_bad_selections_and_paths_raise(frames, tmp_path):
    with pytest.raises(ValueError, match="matches no atoms"):
        ccs.trajectory((ION, frames), selection="protein", method="pa")
    with pytest.raises(FileNotFoundError, match="none.dcd"):
        ccs.trajectory((ION, tmp_path / "none.dcd"), selection="all", method="pa")
    with pytest.raises(TypeError, match="unexpected options: orientation"):
        ccs.trajectory((ION, frames), selection="all", method="pa", orientation=3)


def test_an_interrupted_trajectory_keeps_the_frames_it_finished(frames):
    def stop_after_two(done, total):
        if done == 2:
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt) as stopped:
        ccs.trajectory((ION, frames), "all", method="pa", orientations=5, seed=2, progress=stop_after_two)
    assert list(stopped.value.partial.frame) == [0, 1] and len(stopped.value.partial.results) == 2
