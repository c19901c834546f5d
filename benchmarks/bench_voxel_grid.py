"""The voxel grid as a numpy array against the raw volume writer of the same grid.

    .venv/bin/python benchmarks/bench_voxel_grid.py [edge]

tessarine.voxel_grid (the voxel phase map, handed over as one int32 buffer
and wrapped by numpy without a copy) against py_export_sdf_raw, which maps
the same voxels and writes them as a float32 file with its sidecar, for the
two-phase alloy on an edge**3 grid; and VoxelGrid.property against the VTK
writer with that one property. Both are checked to give the same numbers
first. The ratio is the writer's time over the array's: above 1 the array
is faster.
"""

from __future__ import annotations

import sys
import tempfile
from pathlib import Path

import numpy as np

import tessarine
import tessarine._tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, best_of, format_table, note  # noqa: E402

ALLOY = "DuplexSteel2205"
PROPERTY = "Density_kg_m3"


def measure(edge: int = 128) -> list[Row]:
    voxel = 0.0001
    bounds = ((0.0, 0.0, 0.0), (edge * voxel, edge * voxel, edge * voxel))
    with tempfile.TemporaryDirectory() as tmp:
        raw = str(Path(tmp) / "grid.raw")
        vtk = str(Path(tmp) / "grid.vtk")
        grid = tessarine.voxel_grid(ALLOY, bounds, voxel)
        core.py_export_sdf_raw(ALLOY, raw, bounds, voxel)
        assert np.array_equal(np.fromfile(raw, "<f4").reshape(grid.shape), grid.phase_ids), "grids differ"
        values = grid.property(PROPERTY)
        core.py_export_vtk_legacy(ALLOY, vtk, bounds, voxel, [PROPERTY])
        with open(vtk, encoding="utf-8") as f:
            lines = f.read().splitlines()
        start = lines.index(f"SCALARS {PROPERTY} float 1") + 2
        assert lines[start : start + 5] == [f"{v:.6f}" for v in values.ravel()[:5]], "property values differ"

        t_grid = best_of(lambda: tessarine.voxel_grid(ALLOY, bounds, voxel), 7)
        t_raw = best_of(lambda: core.py_export_sdf_raw(ALLOY, raw, bounds, voxel), 7)
        t_prop = best_of(lambda: grid.property(PROPERTY), 5)
        t_vtk = best_of(lambda: core.py_export_vtk_legacy(ALLOY, vtk, bounds, voxel, [PROPERTY]), 3)
    size = f"{edge}x{edge}x{edge} voxels"
    note(f"grid {grid.shape} of the two-phase {ALLOY}; the writers map the same voxels, then format and write")
    return [
        Row("voxel_grid, two phases", size, t_grid, "py_export_sdf_raw", t_raw),
        Row("VoxelGrid.property", size, t_prop, "py_export_vtk_legacy", t_vtk),
    ]


def main() -> None:
    print(format_table(measure(int(sys.argv[1]) if len(sys.argv) > 1 else 128)))


if __name__ == "__main__":
    main()
