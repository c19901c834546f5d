"""Prints one SHA-256 per output of the tour and of the calls the benchmarks time.

    .venv/bin/python scripts/output_sums.py > before.txt
    ... change the core, rebuild ...
    .venv/bin/python scripts/output_sums.py | diff before.txt -

A refactoring of the core that keeps every output byte for byte keeps every
line. Files are written to a temporary directory and removed afterwards; a
returned value is summed as its JSON text (floats in their exact repr).
"""

from __future__ import annotations

import hashlib
import json
import random
import subprocess
import sys
import tempfile
from pathlib import Path

import tessarine._tessarine_core as core

ROOT = Path(__file__).resolve().parent.parent
MULTI = "DuplexSteel2205"  # two phases
SINGLE = "Steel"
N = 128
VOXEL = 0.001
BOX = ((0.0, 0.0, 0.0), (N * VOXEL,) * 3)
SURFACE_SCALE = 0.004


def sha(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


def value_sum(value: object) -> str:
    return sha(json.dumps(value, sort_keys=True).encode())


def tour(out: list[tuple[str, str]]) -> None:
    with tempfile.TemporaryDirectory() as tmp:
        proc = subprocess.run([sys.executable, str(ROOT / "examples" / "tour.py")], cwd=tmp, capture_output=True,
                              check=True)
        # The last line names the temporary directory.
        stdout = proc.stdout.replace(tmp.encode(), b"<tmp>")
        out.append(("tour stdout", sha(stdout)))
        for path in sorted((Path(tmp) / "out").rglob("*")):
            if path.is_file():
                out.append((f"tour {path.relative_to(tmp)}", sha(path.read_bytes())))


def exporters(out: list[tuple[str, str]]) -> None:
    with tempfile.TemporaryDirectory() as tmp:
        d = Path(tmp)
        calls = {
            "stl binary multi": lambda: core.py_export_stl(MULTI, str(d / "m.stl"), BOX, VOXEL, SURFACE_SCALE),
            "stl ascii multi": lambda: core.py_export_stl(MULTI, str(d / "ma.stl"), BOX, VOXEL, SURFACE_SCALE, False),
            "stl binary single": lambda: core.py_export_stl(SINGLE, str(d / "s.stl"), BOX, VOXEL),
            "obj multi": lambda: core.py_export_obj(MULTI, str(d / "m.obj"), BOX, VOXEL, SURFACE_SCALE),
            "obj single": lambda: core.py_export_obj(SINGLE, str(d / "s.obj"), BOX, VOXEL),
            "vtk multi fine": lambda: core.py_export_vtk_legacy(
                MULTI, str(d / "mf.vtk"), BOX, VOXEL, ["Density_kg_m3", "YoungsModulus_GPa", "Missing"]),
            "vtk multi coarse": lambda: core.py_export_vtk_legacy(
                MULTI, str(d / "mc.vtk"), BOX, VOXEL, ["Density_kg_m3"], 0.05),
            "vtk single": lambda: core.py_export_vtk_legacy(SINGLE, str(d / "s.vtk"), BOX, VOXEL, ["Density_kg_m3"]),
            "raw phase multi": lambda: core.py_export_sdf_raw(MULTI, str(d / "m.raw"), BOX, VOXEL),
            "raw occupancy multi": lambda: core.py_export_sdf_raw(MULTI, str(d / "mo.raw"), BOX, VOXEL, None,
                                                                  "occupancy"),
            "raw phase single": lambda: core.py_export_sdf_raw(SINGLE, str(d / "s.raw"), BOX, VOXEL),
            "hlsl": lambda: core.py_export_hlsl(MULTI, str(d / "m.hlsl")),
        }
        for label, call in calls.items():
            written = call()
            paths = written if isinstance(written, tuple) else (written,)
            if label.startswith("raw"):
                paths = (written, str(Path(written).with_suffix(".json")))
            for p in paths:
                out.append((f"{label} {Path(p).name}", sha(Path(p).read_bytes())))
                Path(p).unlink()
    out.append(("glsl", sha(core.py_export_glsl(MULTI).encode())))


def values(out: list[tuple[str, str]]) -> None:
    fine = ((0.0, 0.0, 0.0), (0.0016, 0.0016, 0.0016))
    out.append(("bake multi 16^3", value_sum(core.py_bake_fourier(MULTI, "YoungsModulus_GPa", fine, (16, 16, 16), 0.0))))
    out.append(("bake single 6x5x4", value_sum(core.py_bake_fourier(SINGLE, "Density_kg_m3", fine, (6, 5, 4)))))
    out.append(("bake multi coarse", value_sum(core.py_bake_fourier(MULTI, "Density_kg_m3", BOX, (5, 4, 3)))))
    points = [(0.0003 * i - 0.002, 0.0007 * i, -0.0011 * i) for i in range(200)]
    out.append(("sample points", value_sum([core.py_sample(MULTI, "YoungsModulus_GPa", p, s)
                                           for p in points for s in (None, 0.0005, 0.001, 0.01)])))
    targets = [{"property": "CorrosionResistance_index", "min_value": 4.0, "weight": 10.0},
               {"property": "Density_kg_m3", "max_value": 8100.0}]
    out.append(("alloy seeded", value_sum(core.py_optimize_alloy(targets, "Fe", None, 100_000, 10, 316))))
    rng = random.Random(7)
    sequence = "".join(rng.choice("ACDEFGHIKLMNPQRSTVWY") for _ in range(10_000))
    pairs = [(rng.uniform(-180, 180), rng.uniform(-180, 180)) for _ in sequence]
    out.append(("backbone", value_sum(core.py_build_backbone(sequence, pairs))))
    a = [[rng.gauss(0, 10) for _ in range(3)] for _ in range(100_000)]
    b = [[x + rng.gauss(0, 0.5) for x in row] for row in a]
    out.append(("kabsch", value_sum(core.py_kabsch_rmsd(a, b))))


def main() -> None:
    out: list[tuple[str, str]] = []
    tour(out)
    exporters(out)
    values(out)
    for label, digest in out:
        print(f"{digest}  {label}")


if __name__ == "__main__":
    main()
