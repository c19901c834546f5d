"""Tour section: a two-phase alloy as a voxel grid of properties, a VTK volume, a raw
float32 volume with its JSON sidecar, and the GLSL constants of the material."""

from __future__ import annotations

import json
import sys
from pathlib import Path

import numpy as np

import tessarine

ALLOY = "DuplexSteel2205"
BOUNDS = ((0.0, 0.0, 0.0), (0.008, 0.008, 0.004))  # 8 x 8 x 4 mm
VOXEL = 0.0005  # 0.5 mm voxels, 16 x 16 x 8 of them
GRAIN = 0.001


def tour_export_volume(out: Path) -> None:
    grid = tessarine.voxel_grid(ALLOY, BOUNDS, VOXEL, scale_m=GRAIN)
    density = grid.property("Density_kg_m3")
    nz, ny, nx = grid.shape
    print(f"voxel grid of {nx} x {ny} x {nz}: phases {grid.phase_names}, "
          f"density {density.min():.0f} to {density.max():.0f} kg/m3, mean {density.mean():.1f}")

    vtk_path = tessarine.export_vtk(ALLOY, out / "duplex.vtk", BOUNDS, VOXEL,
                                    ["Density_kg_m3", "YoungsModulus_GPa"], scale_m=GRAIN)  # fmt: skip
    print(f"VTK structured points with phase_id, density and modulus: {vtk_path.name}")

    raw_path = tessarine.export_raw(ALLOY, out / "duplex.raw", BOUNDS, VOXEL, scale_m=GRAIN)
    sidecar = json.loads(raw_path.with_suffix(".json").read_text(encoding="utf-8"))
    volume = np.fromfile(raw_path, dtype="<f4").reshape(sidecar["shape_xyz"][::-1])
    print(f"raw float32 volume {raw_path.name}: shape {volume.shape}, phases {sidecar['phase_names']}, "
          f"the same as the grid: {bool((volume == grid.phase_ids).all())}")
    print(f"  ferrite share of the voxels: {(volume == 1).mean():.2f} (datasheet: 0.50)")

    print("GLSL:")
    print(tessarine.export_glsl(ALLOY))


if __name__ == "__main__":
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path("out")
    target.mkdir(exist_ok=True)
    tour_export_volume(target)
