"""Tour section: a two-phase alloy as a VTK volume, a raw float32 volume with
its JSON sidecar, and the GLSL constants of the material."""

from __future__ import annotations

import json
import sys
from pathlib import Path

import tessarine._tessarine_core as core

ALLOY = "DuplexSteel2205"
BOUNDS = ((0.0, 0.0, 0.0), (0.008, 0.008, 0.004))  # 8 x 8 x 4 mm
VOXEL = 0.0005  # 0.5 mm voxels, 16 x 16 x 8 of them


def tour_export_volume(out: Path) -> None:
    out.mkdir(parents=True, exist_ok=True)

    vtk_path = core.py_export_vtk_legacy(
        ALLOY, str(out / "duplex.vtk"), BOUNDS, VOXEL, ["Density_kg_m3", "YoungsModulus_GPa"], 0.001
    )
    print(f"VTK structured points with phase_id, density and modulus: {vtk_path}")

    raw_path = core.py_export_sdf_raw(ALLOY, str(out / "duplex.raw"), BOUNDS, VOXEL, 0.001)
    sidecar = json.loads(Path(raw_path).with_suffix(".json").read_text(encoding="utf-8"))
    nx, ny, nz = sidecar["shape_xyz"]
    print(f"raw float32 volume {raw_path}: {nx} x {ny} x {nz} voxels, phases {sidecar['phase_names']}")
    data = Path(raw_path).read_bytes()
    ferrite = sum(1 for i in range(0, len(data), 4) if data[i : i + 4] == b"\x00\x00\x80\x3f")
    print(f"  ferrite share of the voxels: {ferrite / (nx * ny * nz):.2f} (datasheet: 0.50)")

    print("GLSL:")
    print(core.py_export_glsl(ALLOY))


if __name__ == "__main__":
    tour_export_volume(Path(sys.argv[1]) if len(sys.argv) > 1 else Path("out"))
