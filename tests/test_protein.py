"""Backbones, Kabsch RMSD (against scipy) and Ramachandran regions."""

from __future__ import annotations

import json
import math
import warnings
from pathlib import Path

import numpy as np
import pytest
from scipy.spatial.transform import Rotation

import tessarine
import tessarine._tessarine_core as core


def test_backbone_records_and_counting():
    atoms = core.py_build_backbone("AG", [(-60.0, -45.0), (10, 20)])
    assert [(a["name"], a["res_idx"]) for a in atoms] == [
        ("N", 0), ("CA", 0), ("C", 0), ("N", 1), ("CA", 1), ("C", 1)]
    assert (atoms[2]["x"], atoms[2]["y"], atoms[2]["z"]) == (2.0094774693751907, 1.421793796853656, 0.0)
    assert [len(core.py_build_backbone(s, [(0, 0)] * n)) for s, n in [("ABC", 5), ("ABCDE", 2), ("éé", 2)]] == [9, 6, 6]
    assert core.py_build_backbone("A", []) == []
    assert len(core.py_build_backbone("A" * 10**6, [(1, 2)] * 3)) == 9
    many = core.py_build_backbone("A" * 20000, [(-57, -47)] * 20000)
    assert len(many) == 60000 and all(math.isfinite(a["x"]) for a in many[-3:])
    bad = core.py_build_backbone("AA", [(math.nan, math.inf), (0, 0)])
    assert math.isnan(bad[3]["x"])


def test_backbone_from_shipped_entries():
    for name in ["PolyAlanineHelix", "PolyValineStrand", "PolyprolineII"]:
        path = Path(tessarine.__file__).parent / "data" / "active" / "protein" / f"{name}.json"
        residues = json.loads(path.read_text(encoding="utf-8"))["residues"]
        seq = "".join(r["residue"][0] for r in residues)
        pairs = [(r["phi"], r["psi"]) for r in residues]
        assert core.py_build_backbone_from_entry(name) == core.py_build_backbone(seq, pairs)


def peer_rmsd(a: np.ndarray, b: np.ndarray) -> float:
    a = a - a.mean(axis=0)
    b = b - b.mean(axis=0)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        rot, _ = Rotation.align_vectors(a, b)
    return float(np.sqrt(np.mean(np.sum((a - rot.apply(b)) ** 2, axis=1))))


def point_sets():
    rng = np.random.default_rng(7)
    for n in (3, 4, 10, 500):
        a = rng.normal(size=(n, 3)) * 5
        yield "random", a, rng.normal(size=(n, 3)) * 5
        rot = Rotation.random(random_state=n).as_matrix()
        yield "rotated+noise", a, a @ rot.T + rng.normal(size=(n, 3)) * 0.1 + 3
        yield "mirrored", a, a * [1, 1, -1]
    t = np.linspace(-3, 3, 12)[:, None]
    line = t * [1.0, 2.0, -0.5]
    yield "collinear", line, line @ Rotation.from_euler("xyz", [10, 20, 30], degrees=True).as_matrix().T
    yield "collinear-noisy", line, line[::-1] + rng.normal(size=line.shape) * 1e-6
    plane = np.c_[rng.normal(size=(12, 2)), np.zeros(12)]
    yield "coplanar", plane, plane @ Rotation.random(random_state=1).as_matrix().T
    yield "coplanar-mirrored", plane, plane * [1, -1, 1]


@pytest.mark.parametrize("kind, a, b", list(point_sets()))
def test_kabsch_matches_scipy(kind, a, b):
    got = core.py_kabsch_rmsd(a.tolist(), b.tolist())
    assert got == pytest.approx(peer_rmsd(a, b), rel=1e-9, abs=1e-9)


def test_kabsch_edge_cases():
    assert core.py_kabsch_rmsd([(1, 2, 3)], [(4, 5, 6)]) == 0.0
    assert core.py_kabsch_rmsd([], []) == 0.0
    assert core.py_kabsch_rmsd([(0, 0, 0), (1, 0, 0)], [(0, 0, 0), (2, 0, 0)]) == pytest.approx(0.5)
    assert core.py_kabsch_rmsd([[1, 2, 3, 4], [0, 0, 0]], [(1, 2, 3), (0, 0, 0)]) == pytest.approx(0.0, abs=1e-12)


def test_ramachandran_regions():
    cases = {
        (-60, -45): "alpha_helix", (-100, -80): "alpha_helix", (-30, -10): "alpha_helix",
        (-120, 130): "beta_sheet", (-90, 120): "beta_sheet", (-180, 180): "beta_sheet",
        (-75, 145): "polyproline_ii", (60, 45): "left_alpha", (30, 0): "left_alpha",
        (-29.999, -45): "other", (-60, 100): "other", (180, 180): "other", (200, 120): "other",
        (math.nan, -45): "other", (-60, math.nan): "other",
    }
    assert {k: core.py_ramachandran_region(*k) for k in cases} == cases
