"""Runs through the public API: the program's numbers, array input, errors."""
import math

import numpy as np
import pytest

import ccs
from conftest import EXAMPLES

ION = EXAMPLES / "phenethylammonium.mol2"
C60 = EXAMPLES / "c60.xyz"


@pytest.mark.parametrize("method, gas, orientations, trajectories", [
    ("pa", "He", 40, None),
    ("ehss", "N2", 6, 40),
    ("tm", "He", 6, 30),
    ("tm-fixed", "N2", 4, 30),
    ("lj", "He", 4, 30),
])
def test_same_seed_gives_the_numbers_of_the_program(program, method, gas, orientations, trajectories):
    args = ["--method", method, "--gas", gas, "--seed", 4242, "--orientations", orientations,
            "--per-orientation", "--threads", 2, ION]
    if trajectories:
        args[:0] = ["--trajectories", trajectories]
    row = program(*args)["results"][0]
    r = ccs.compute(ccs.read(ION)[0], method, gas, seed=4242, orientations=orientations,
                    trajectories=trajectories, threads=1)
    assert (r.ccs, r.ccs_se, r.K, r.K0) == (row["ccs_A2"], row["ccs_se_A2"], row["mobility_cm2_Vs"],
                                            row["reduced_mobility_cm2_Vs"])
    assert r.per_orientation.tolist() == row["per_orientation_A2"]
    assert r.settings["seed"] == 4242 and r.settings["orientations"] == orientations
    assert r.to_dict()["settings"] == row["settings"]


def test_arrays_give_the_numbers_of_the_file():
    [ion] = ccs.read(ION)
    by_symbol = ccs.Structure(ion.coordinates, ion.elements, charges=ion.charges)
    by_number = ccs.Structure(ion.coordinates.tolist(), ion.atomic_numbers, charges=list(ion.charges))
    assert by_symbol.elements == by_number.elements == ion.elements
    np.testing.assert_array_equal(by_number.masses, ion.masses)
    for method in ("pa", "tm"):
        want = ccs.compute(ion, method, seed=9, orientations=4, trajectories=20)
        for s in (by_symbol, by_number):
            got = ccs.compute(s, method, seed=9, orientations=4, trajectories=20)
            np.testing.assert_array_equal(got.per_orientation, want.per_orientation)
            assert (got.ccs, got.K0, got.charge) == (want.ccs, want.K0, 1.0)
    # Without the charges the trajectory method sees another field.
    bare = ccs.compute(ccs.Structure(ion.coordinates, ion.elements), "tm", seed=9, orientations=4,
                       trajectories=20)
    assert bare.ccs != want.ccs


def test_result_is_the_mean_of_its_orientations_on_any_thread_count():
    [c60] = ccs.read(C60)
    calls = []
    one = ccs.compute(c60, "tm-fixed", seed=3, orientations=8, trajectories=20, threads=1,
                      progress=lambda done, total: calls.append((done, total)))
    two = ccs.compute(c60, "tm-fixed", seed=3, orientations=8, trajectories=20, threads=2)
    np.testing.assert_array_equal(one.per_orientation, two.per_orientation)
    v = one.per_orientation
    assert len(v) == 8 and one.orientations_used == 8
    assert one.ccs == pytest.approx(v.mean(), rel=1e-12)
    assert one.ccs_se == pytest.approx(v.std(ddof=1) / math.sqrt(8), rel=1e-9)
    assert calls[-1] == (8, 8) and calls == sorted(calls)


def test_a_failing_progress_callback_stops_the_run():
    def fail(done, total):
        raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        ccs.compute(ccs.read(C60)[0], "tm", orientations=100000, progress=fail)


def test_bad_input_raises_the_matching_exception(tmp_path):
    [c60] = ccs.read(C60)
    bad = tmp_path / "bad.xyz"
    bad.write_text("2\nt\nC 0 0 0\nC nan 0 0\n")
    neutral = ccs.Structure([[0, 0, 0], [1.2, 0, 0]], ["C", "O"], charges=[0.3, -0.3])
    uranium = ccs.Structure([[0, 0, 0]], ["U"])
    cases = [
        (FileNotFoundError, "missing.pdb: no such file", lambda: ccs.read(tmp_path / "missing.pdb")),
        (IsADirectoryError, "is a directory", lambda: ccs.read(tmp_path)),
        (ValueError, "bad.xyz:4: atom 2: coordinates are not finite", lambda: ccs.read(bad)),
        (ValueError, "N x 3 array", lambda: ccs.Structure(np.zeros((3, 2)), ["C"] * 3)),
        (ValueError, "elements: 2 given for 3 atoms", lambda: ccs.Structure(np.zeros((3, 3)), ["C"] * 2)),
        (ValueError, "atom 2: unknown element 'Xx'", lambda: ccs.Structure(np.zeros((2, 3)), ["C", "Xx"])),
        (ValueError, "atom 1: coordinates are not finite",
         lambda: ccs.Structure([[np.inf, 0, 0]], ["C"])),
        (ValueError, "element U has no hard-sphere radius for He", lambda: ccs.compute(uranium, "pa")),
        (ValueError, "partial charges sum to 0.000", lambda: ccs.compute(neutral, "pa")),
        (ValueError, "unknown method 'md'", lambda: ccs.compute(c60, "md")),
        (ValueError, "no gas 'Ar'", lambda: ccs.compute(c60, "pa", gas="Ar")),
        (ValueError, "temperature must be a positive", lambda: ccs.compute(c60, "pa", temperature=-1)),
        (ValueError, "orientations must be a whole number", lambda: ccs.compute(c60, "pa", orientations=0)),
        (ValueError, "three-site needs gas N2", lambda: ccs.compute(c60, "lj", n2_model="three-site")),
        (ValueError, "no axis-permutation mode", lambda: ccs.compute(c60, "pa", tensor=True)),
        (FileNotFoundError, "nope.tsv", lambda: ccs.compute(c60, "pa", params=[tmp_path / "nope.tsv"])),
        (TypeError, "expected a ccs.Structure", lambda: ccs.compute(str(C60), "pa")),
    ]
    for exception, message, call in cases:
        with pytest.raises(exception, match=message):
            call()


def test_parameter_tables_add_elements(tmp_path):
    table = tmp_path / "u.tsv"
    table.write_text("@type hs\nU 3.0\n")
    r = ccs.compute(ccs.Structure([[0, 0, 0]], ["U"]), "pa", params=[table], seed=1, orientations=50)
    # A lone atom's projection is the disc of its collision radius.
    assert abs(r.ccs - math.pi * 9.0) <= 3 * r.ccs_se
    assert str(table) in r.settings["params"]
