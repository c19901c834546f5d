"""Export speed against numpy-based peers, each figure a ratio measured in one run.

    python benchmarks/bench_export.py

Needs numpy and numpy-stl (the test extras). Peers are given their input
ready-made (untimed) and must produce the same grid, bytes or text; each
figure is checked for that before it is printed. Both sides write to a
temporary directory and, in the timed runs of the voxel map and the binary
STL, replace a file they wrote before (the usual case of exporting again),
each taking the best of REPEAT runs.
"""

from __future__ import annotations

import sys
import tempfile
from pathlib import Path

import numpy as np
from stl import mesh as stl_mesh
from stl.stl import Mode

import tessarine
import tessarine._tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, best_of, format_table  # noqa: E402

ENTRY = "DuplexSteel2205"
N = 128
VOXEL = 0.001
BOX = ((0.0, 0.0, 0.0), (N * VOXEL,) * 3)
SURFACE_SCALE = 0.004  # cells of 4 voxels: a surface of ~0.8M faces
# Timed runs of the voxel map and the binary STL, each side's best taken:
# writing tens of megabytes is at the mercy of the page cache and of other
# work on the machine, so a few runs are needed to find a quiet one.
REPEAT = 7


GRID = f"{N}x{N}x{N} voxels"


# --- voxel map -------------------------------------------------------------

FNV_BASIS = np.uint64(0xCBF29CE484222325)
FNV_PRIME = np.uint64(0x100000001B3)


def fnv_feed(h: np.ndarray, v: np.ndarray) -> np.ndarray:
    u = v.astype(np.int64).view(np.uint64)
    for b in range(8):
        h = (h ^ ((u >> np.uint64(8 * b)) & np.uint64(0xFF))) * FNV_PRIME
    return h


def numpy_voxel_map(fractions: dict[str, float], n: int, s: float, cell: float) -> np.ndarray:
    """The same hash, vectorised: prefix states per axis, then per voxel."""
    names = sorted(fractions)
    running = np.cumsum([float(fractions[k]) for k in names])
    centres = 0.0 + (np.arange(n, dtype=np.float64) + 0.5) * s
    idx = np.floor(centres / cell).astype(np.int64)
    hi = fnv_feed(np.full(n, FNV_BASIS), idx)  # by ix
    hij = fnv_feed(hi[None, :], idx[:, None])  # by (iy, ix)
    h = fnv_feed(hij[None, :, :], idx[:, None, None])  # by (iz, iy, ix): x-fastest
    u = np.minimum(h.astype(np.float64) * 2.0**-64, 1.0)
    target = running[-1] * u
    return np.minimum(np.searchsorted(running, target, side="left"), len(names) - 1).astype(np.int32)


def bench_voxel_map(tmp: Path) -> Row:
    import json

    sheet = json.loads((Path(tessarine.__file__).parent / "data/active/alloy" / f"{ENTRY}.json").read_text())
    fractions = sheet["phase_volume_fractions"]
    props = sheet["phase_properties"]
    # The peer's phases agree with the native point sampler.
    small = numpy_voxel_map(fractions, 8, VOXEL, VOXEL)
    names = sorted(fractions)
    for iz, iy, ix in [(0, 0, 0), (1, 2, 3), (7, 7, 7), (5, 0, 6)]:
        centre = tuple((i + 0.5) * VOXEL for i in (ix, iy, iz))
        got = core.py_sample(ENTRY, "Density_kg_m3", centre, VOXEL)
        assert got == props[names[small[iz, iy, ix]]]["Density_kg_m3"]
    # The raw volume writer is the voxel map plus a float32 copy of it; the
    # peer writes the same file.
    raw = tmp / "map.raw"

    def ours_run() -> None:
        core.py_export_sdf_raw(ENTRY, str(raw), BOX, VOXEL)

    ours_run()  # every timed run, ours and the peer's, replaces a file of the same size
    ours = best_of(ours_run, REPEAT)

    def peer_run() -> None:
        numpy_voxel_map(fractions, N, VOXEL, VOXEL).astype("<f4").tofile(tmp / "peer.raw")

    peer_run()
    peer = best_of(peer_run, REPEAT)
    assert (tmp / "peer.raw").read_bytes() == raw.read_bytes()
    return Row("voxel map as a raw float32 volume", GRID, ours, "numpy hash + tofile", peer)


# --- surfaces --------------------------------------------------------------


def exact(values: np.ndarray) -> np.ndarray:
    """Lattice coordinates as the exporter computes them, from rounded ones."""
    return 0.0 + np.rint(values / VOXEL) * VOXEL


def bench_binary_stl(tmp: Path) -> tuple[Row, np.ndarray]:
    out = tmp / "ours.stl"

    def ours_write() -> None:
        core.py_export_stl(ENTRY, str(out), BOX, VOXEL, SURFACE_SCALE)

    ours_write()  # every timed run, ours and the peer's, replaces a file of the same size
    ours = best_of(ours_write, REPEAT)
    ref = stl_mesh.Mesh.from_file(str(out), calculate_normals=False)
    peer_mesh = stl_mesh.Mesh(ref.data.copy(), calculate_normals=False)
    peer_path = tmp / "peer.stl"

    def peer_write() -> None:
        peer_mesh.save(str(peer_path), mode=Mode.BINARY, update_normals=False)

    peer_write()
    peer = best_of(peer_write, REPEAT)
    assert peer_path.read_bytes()[80:] == out.read_bytes()[80:]
    # Ours voxelises and extracts the surface too; the peer only writes.
    row = Row("py_export_stl, binary (voxelising included)", f"{len(ref.vectors):,} triangles", ours,
              "numpy-stl save", peer)
    return row, np.concatenate(
        [ref.normals.astype(np.float64), exact(ref.vectors.reshape(-1, 9).astype(np.float64))], 1)


def bench_ascii_stl(tmp: Path, rows: np.ndarray) -> Row:
    out = tmp / "ours_ascii.stl"
    ours = best_of(lambda: core.py_export_stl(ENTRY, str(out), BOX, VOXEL, SURFACE_SCALE, False), 2)
    facet = (
        "  facet normal %.6f %.6f %.6f\n    outer loop\n"
        + "\t  vertex %.6f %.6f %.6f\n" * 3
        + "    endloop\n  endfacet\n"
    )
    peer_path = tmp / "peer_ascii.stl"

    def peer_write() -> None:
        with open(peer_path, "w") as f:
            np.savetxt(f, rows, fmt=facet, newline="", header=f"solid {ENTRY}\n", footer=f"endsolid {ENTRY}\n",
                       comments="", delimiter="")

    peer = best_of(peer_write, 1)
    assert peer_path.read_bytes() == out.read_bytes()
    return Row("py_export_stl, ASCII", f"{len(rows):,} facets", ours, "numpy.savetxt", peer)


def bench_obj(tmp: Path) -> Row:
    out = tmp / "ours.obj"
    ours = best_of(lambda: core.py_export_obj(ENTRY, str(out), BOX, VOXEL, SURFACE_SCALE), 2)
    # The peer gets the vertices and the faces of each group ready-made.
    lines = out.read_text().splitlines()
    mtllib = lines[0]
    verts = exact(np.array([ln[2:].split() for ln in lines if ln.startswith("v ")], dtype=np.float64))
    groups: list[tuple[str, str, list[list[int]]]] = []
    for i, ln in enumerate(lines):
        if ln.startswith("o "):
            groups.append((ln, lines[i + 1], []))
        elif ln.startswith("f "):
            groups[-1][2].append([int(x) for x in ln[2:].split()])
    faces = [(o, u, np.array(f, dtype=np.int64)) for o, u, f in groups]
    peer_path = tmp / "peer.obj"

    def peer_write() -> None:
        with open(peer_path, "w") as f:
            f.write(mtllib + "\n")
            np.savetxt(f, verts, fmt="v %.6f %.6f %.6f")
            for o, u, fs in faces:
                f.write(f"{o}\n{u}\n")
                np.savetxt(f, fs, fmt="f %d %d %d %d")

    peer = best_of(peer_write, 1)
    assert peer_path.read_bytes() == out.read_bytes()
    return Row("py_export_obj", f"{sum(len(f) for *_, f in faces):,} faces", ours, "numpy.savetxt", peer)


def measure() -> list[Row]:
    with tempfile.TemporaryDirectory() as d:
        tmp = Path(d)
        voxel_map = bench_voxel_map(tmp)
        binary, rows = bench_binary_stl(tmp)
        return [voxel_map, binary, bench_ascii_stl(tmp, rows), bench_obj(tmp)]


def main() -> None:
    print(format_table(measure()))


if __name__ == "__main__":
    main()
