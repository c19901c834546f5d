"""Protein geometry against numpy: Kabsch RMSD of 100,000 points and a 10,000-residue backbone.

Run:  python benchmarks/bench_protein.py

The first rows start both sides from Python lists (the conversion is part of
the timing). The Kabsch peer is the same centring, covariance, SVD with
reflection guard and residual in numpy; the backbone peer is a NeRF loop
placing one atom at a time with numpy vectors. Then the public API
(`tessarine.kabsch_rmsd`, `tessarine.build_backbone`) with numpy arrays: the
Kabsch peer is numpy on the same arrays; the core's list of dicts is set
against Python building the same dicts from coordinates already in hand (the
floor of that result), and against the public API's arrays.
"""

from __future__ import annotations

import math
import sys
import random
from pathlib import Path

import numpy as np

import tessarine
import tessarine._tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, best_of, format_table, note  # noqa: E402


def numpy_kabsch(a_list, b_list) -> float:
    a = np.asarray(a_list, dtype=np.float64)
    b = np.asarray(b_list, dtype=np.float64)
    a = a - a.mean(axis=0)
    b = b - b.mean(axis=0)
    h = a.T @ b
    u, _, vt = np.linalg.svd(h)
    d = -1.0 if np.linalg.det(u @ vt) < 0 else 1.0
    r = u @ np.diag([1.0, 1.0, d]) @ vt
    diff = a - b @ r.T
    return float(np.sqrt(np.einsum("ij,ij->", diff, diff) / len(a)))


# The rows of calls of a few milliseconds take the best of many runs, each side alike: on a shared machine a
# run is often slowed by other work, and the best of seven was seen to move a ratio by a fifth.
REPEAT = 21

BONDS = {"N": (1.329, 116.2), "CA": (1.458, 121.7), "C": (1.525, 111.2)}


def numpy_nerf(sequence: str, pairs) -> list[dict]:
    rad = math.pi / 180
    n0 = np.zeros(3)
    ca0 = np.array([1.458, 0.0, 0.0])
    c0 = np.array([1.458 - 1.525 * math.cos(111.2 * rad), 1.525 * math.sin(111.2 * rad), 0.0])
    atoms = [n0, ca0, c0]

    def place(p3, p2, p1, name, tau):
        bond, angle = BONDS[name]
        bc = p1 - p2
        bc /= np.linalg.norm(bc)
        n = np.cross(p2 - p3, bc)
        n /= np.linalg.norm(n)
        m = np.cross(n, bc)
        theta = angle * rad
        return p1 - bond * math.cos(theta) * bc + bond * math.sin(theta) * (math.cos(tau) * m + math.sin(tau) * n)

    count = min(len(sequence), len(pairs))
    for i in range(1, count):
        atoms.append(place(atoms[-3], atoms[-2], atoms[-1], "N", pairs[i - 1][1] * rad))
        atoms.append(place(atoms[-3], atoms[-2], atoms[-1], "CA", math.pi))
        atoms.append(place(atoms[-3], atoms[-2], atoms[-1], "C", pairs[i][0] * rad))
    names = ("N", "CA", "C")
    return [
        {"name": names[k % 3], "res_idx": k // 3, "x": float(p[0]), "y": float(p[1]), "z": float(p[2])}
        for k, p in enumerate(atoms[: 3 * count])
    ]


def measure() -> list[Row]:
    rng = random.Random(11)
    a = [[rng.uniform(-50, 50) for _ in range(3)] for _ in range(100_000)]
    b = [[x + rng.gauss(0, 0.5) for x in row] for row in a]
    ours, peer = core.py_kabsch_rmsd(a, b), numpy_kabsch(a, b)
    note(f"Kabsch RMSD of 100,000 points: {ours:.12f}, numpy {peer:.12f}")
    rows = [Row("py_kabsch_rmsd (from lists)", "100,000 points", best_of(lambda: core.py_kabsch_rmsd(a, b), 7),
                "numpy SVD", best_of(lambda: numpy_kabsch(a, b), 7))]

    sequence = "A" * 10_000
    pairs = [(rng.uniform(-180, 180), rng.uniform(-180, 180)) for _ in range(10_000)]
    built, reference = core.py_build_backbone(sequence, pairs), numpy_nerf(sequence, pairs)
    worst = max(abs(p[k] - q[k]) for p, q in zip(built, reference) for k in ("x", "y", "z"))
    note(f"backbone of 10,000 residues: largest coordinate difference from numpy {worst:.2e} A")
    rows.append(Row("py_build_backbone", "10,000 residues", best_of(lambda: core.py_build_backbone(sequence, pairs), 5),
                    "numpy NeRF loop", best_of(lambda: numpy_nerf(sequence, pairs), 2)))

    arr_a, arr_b = np.asarray(a), np.asarray(b)
    public = tessarine.kabsch_rmsd(arr_a, arr_b)
    note(f"Kabsch RMSD through the public API from arrays: {public:.12f}")
    rows.append(Row("kabsch_rmsd (numpy arrays)", "100,000 points",
                    best_of(lambda: tessarine.kabsch_rmsd(arr_a, arr_b), REPEAT), "numpy SVD",
                    best_of(lambda: numpy_kabsch(arr_a, arr_b), REPEAT)))

    names = ("N", "CA", "C")
    coords = [(p["x"], p["y"], p["z"]) for p in built]

    def python_dicts() -> list[dict]:
        return [{"name": names[k % 3], "res_idx": k // 3, "x": x, "y": y, "z": z} for k, (x, y, z) in
                enumerate(coords)]

    assert python_dicts() == built
    dicts = best_of(lambda: core.py_build_backbone(sequence, pairs), REPEAT)
    rows.append(Row("py_build_backbone (list of dicts)", "10,000 residues", dicts, "Python dicts, coordinates ready",
                    best_of(python_dicts, REPEAT)))
    angles = np.asarray(pairs)
    backbone = tessarine.build_backbone(sequence, angles)
    assert np.array_equal(backbone.xyz, np.asarray(coords))
    rows.append(Row("build_backbone (arrays)", "10,000 residues",
                    best_of(lambda: tessarine.build_backbone(sequence, angles), REPEAT), "py_build_backbone dicts",
                    dicts))
    return rows


def main() -> None:
    print(format_table(measure()))


if __name__ == "__main__":
    main()
