"""Volume writers against numpy-based writers of the same bytes.

    .venv/bin/python benchmarks/bench_export_volume.py [edge]

1. VTK legacy text (phase ids and one property) from the core, end to end
   (voxel map, sampling, formatting, writing), against numpy.savetxt writing
   the identical text from arrays already in hand.
2. Raw float32 volume and sidecar from the core, end to end, against
   numpy's astype + tofile (plus json.dump) from phase ids already in hand;
   once for the two-phase alloy and once for a single-phase entry, whose
   voxel map costs nothing per voxel, to show the writer's own cost.

Each figure is the peer's time divided by the core's time, each the best of
a few runs (nine for the raw volumes, whose 8 MB take a few milliseconds and
vary with the page cache and with other work on the machine); every timed
run, the core's and the peer's, replaces a file of the same size written
before.
"""

from __future__ import annotations

import json
import sys
import tempfile
from pathlib import Path

import numpy as np

import tessarine._tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, best_of, format_table, note  # noqa: E402

ALLOY = "DuplexSteel2205"
PROPERTY = "Density_kg_m3"


def measure(edge: int = 128) -> list[Row]:
    voxel = 0.0001
    bounds = ((0.0, 0.0, 0.0), (edge * voxel, edge * voxel, edge * voxel))
    with tempfile.TemporaryDirectory() as tmp:
        d = Path(tmp)
        # Arrays for the peers, taken from the core's own output.
        core.py_export_sdf_raw(ALLOY, str(d / "ref.raw"), bounds, voxel)
        side = json.loads((d / "ref.json").read_text())
        nx, ny, nz = side["shape_xyz"]
        phase = np.fromfile(d / "ref.raw", dtype="<f4").astype(np.int32)
        density = np.where(phase == 0, 7900.0, 7750.0)
        origin = " ".join("0" for _ in range(3))
        spacing = " ".join(repr(voxel) for _ in range(3))
        header = (
            f"# vtk DataFile Version 3.0\ntessarine {ALLOY}\nASCII\nDATASET STRUCTURED_POINTS\n"
            f"DIMENSIONS {nx} {ny} {nz}\nORIGIN {origin}\nSPACING {spacing}\nPOINT_DATA {phase.size}\n"
            "SCALARS phase_id int 1\nLOOKUP_TABLE default\n"
        )

        def vtk_core() -> None:
            core.py_export_vtk_legacy(ALLOY, str(d / "core.vtk"), bounds, voxel, [PROPERTY])

        def vtk_numpy() -> None:
            with open(d / "numpy.vtk", "w", encoding="utf-8", newline="\n") as f:
                f.write(header)
                np.savetxt(f, phase, fmt="%d")
                f.write(f"SCALARS {PROPERTY} float 1\nLOOKUP_TABLE default\n")
                np.savetxt(f, density, fmt="%.6f")

        def raw_core() -> None:
            core.py_export_sdf_raw(ALLOY, str(d / "core.raw"), bounds, voxel)

        def raw_core_single() -> None:  # one phase: no picking, the writer's own cost
            core.py_export_sdf_raw("Steel", str(d / "steel.raw"), bounds, voxel)

        def raw_numpy() -> None:
            phase.astype("<f4").tofile(d / "numpy.raw")
            with open(d / "numpy.json", "w", encoding="utf-8") as f:
                json.dump(side, f, indent=2)

        # Every timed run replaces a file of the same size, for each side.
        vtk_core()
        vtk_numpy()
        raw_core()
        raw_core_single()
        raw_numpy()
        assert (d / "core.vtk").read_bytes() == (d / "numpy.vtk").read_bytes(), "VTK texts differ"
        assert (d / "core.raw").read_bytes() == (d / "numpy.raw").read_bytes(), "raw volumes differ"

        t_vc, t_vn = best_of(vtk_core, 3), best_of(vtk_numpy, 3)
        t_rc, t_rs, t_rn = best_of(raw_core, 9), best_of(raw_core_single, 9), best_of(raw_numpy, 9)
        size = (d / "core.vtk").stat().st_size / 1e6
    note(f"grid {nx} x {ny} x {nz} = {phase.size} voxels, two-phase {ALLOY}; VTK text {size:.1f} MB; "
         "the core's times include the voxel map, the peers write arrays already in hand")
    grid = f"{nx}x{ny}x{nz} voxels"
    return [
        Row("py_export_vtk_legacy, two phases", grid, t_vc, "numpy.savetxt", t_vn),
        Row("py_export_sdf_raw, two phases", grid, t_rc, "numpy tofile", t_rn),
        Row("py_export_sdf_raw, one phase", grid, t_rs, "numpy tofile", t_rn),
    ]


def main() -> None:
    print(format_table(measure(int(sys.argv[1]) if len(sys.argv) > 1 else 128)))


if __name__ == "__main__":
    main()
