"""Entries with many phases: the cost of one call as the phase count grows.

Writes an entry with n Voronoi phases into a throw-away package and, in a
fresh interpreter, times one py_sample at a fine scale, one (2, 2, 2) bake and
one binary STL of a box of 4 x 4 x 4 voxels (best of a few runs each). Every
call picks phases from the whole table, so its time shows how the phase
picker's set-up grows with n; the results are checked against a pure-Python
walk over the running sums. There is no peer to compare with, so this
benchmark is not part of run_all.py.

    python benchmarks/bench_phases.py [n ...]      # default: 1000 8000
"""

from __future__ import annotations

import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import build_package, format_time  # noqa: E402

NAME = "ManyPhases"

SCRIPT = r"""
import json, math, os, struct, sys, tempfile, time
import tessarine._tessarine_core as core

NAME, n = sys.argv[1], int(sys.argv[2])

def best_of(fn, repeat):
    best = math.inf
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best

def reference_phase(point, cell):
    # The model's own arithmetic: FNV-1a of the cell index, u, target, walk.
    h = 0xCBF29CE484222325
    for c in point:
        for b in struct.pack("<q", math.floor(c / cell)):
            h = ((h ^ b) * 0x100000001B3) & ((1 << 64) - 1)
    fractions = core.py_data_sheet(NAME)["phase_volume_fractions"]
    names = sorted(fractions, key=lambda s: s.encode())
    running, s = [], 0.0
    for name in names:
        s += fractions[name]
        running.append(s)
    target = s * min(float(h) * 2.0**-64, 1.0)
    return next((p for p, r in zip(names, running) if target <= r), names[-1])

point = (0.0031, 0.0017, 0.0009)
value = core.py_sample(NAME, "Density_kg_m3", point, 0.001)
phase = reference_phase(point, 0.001)
assert value == core.py_data_sheet(NAME)["phase_properties"][phase]["Density_kg_m3"], (value, phase)

box = ((0.0, 0.0, 0.0), (0.002, 0.002, 0.002))
out = os.path.join(tempfile.mkdtemp(), "many.stl")
times = {
    "py_sample": best_of(lambda: core.py_sample(NAME, "Density_kg_m3", point, 0.001), 3),
    "py_bake_fourier (2, 2, 2)": best_of(lambda: core.py_bake_fourier(NAME, "Density_kg_m3", box, (2, 2, 2)), 3),
    "py_export_stl 4 x 4 x 4": best_of(lambda: core.py_export_stl(NAME, out, box, 0.0005), 3),
}
print(json.dumps(times))
"""


def entry(n: int) -> dict:
    names = [f"p{i:05d}" for i in range(n)]
    return {
        "phase_model": "voronoi",
        "phase_volume_fractions": {p: 1.0 + (i % 7) for i, p in enumerate(names)},
        "phase_properties": {p: {"Density_kg_m3": 1000.0 + i} for i, p in enumerate(names)},
        "Density_kg_m3": 5000.0,
    }


def main() -> None:
    counts = [int(a) for a in sys.argv[1:]] or [1000, 8000]
    base = build_package(0, Path(tempfile.mkdtemp(prefix="tessarine-phases-")))
    tier = base / "tessarine" / "data" / "active" / "composite"
    for n in counts:
        (tier / f"{NAME}.json").write_text(json.dumps(entry(n)))
        times = json.loads(run(base, n).strip().splitlines()[-1])
        for call, t in times.items():
            print(f"{n:>7,} phases  {call:<28} {format_time(t):>10}")


def run(base: Path, n: int) -> str:
    """Runs SCRIPT for n phases in a fresh interpreter; returns its stdout."""
    env = dict(os.environ, PYTHONPATH=str(base), PYTHONDONTWRITEBYTECODE="1")
    proc = subprocess.run(
        [sys.executable, "-c", SCRIPT, NAME, str(n)], env=env, cwd=base, capture_output=True, text=True, check=True
    )
    return proc.stdout


if __name__ == "__main__":
    main()
