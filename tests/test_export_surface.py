"""STL and OBJ/MTL export, checked with the readers people use."""

from __future__ import annotations

import hashlib
from pathlib import Path

import numpy as np
import pytest
import trimesh
from stl import mesh as stl_mesh

import tessarine._tessarine_core as core

TWO_PHASE = "DuplexSteel2205"
SINGLE = "Fe"  # no phase fractions: one phase
BOX = ((0.0, 0.0, 0.0), (0.004, 0.003, 0.002))
VOXEL = 0.001
BOX_VOLUME = 0.004 * 0.003 * 0.002


def load(path: Path, **kw) -> trimesh.Trimesh:
    return trimesh.load(str(path), force="mesh", process=True, **kw)


@pytest.mark.parametrize("binary", [True, False])
def test_single_phase_box_is_a_closed_outward_solid(tmp_path: Path, binary: bool) -> None:
    out = tmp_path / ("box.stl" if binary else "ascii/box.stl")
    assert core.py_export_stl(SINGLE, str(out), BOX, VOXEL, binary=binary) == str(out)
    quads = 2 * (4 * 3 + 4 * 2 + 3 * 2)  # the box's outer faces, in voxels
    m = load(out)
    assert len(m.faces) == 2 * quads
    assert len(m.vertices) == 5 * 4 * 3 - 3 * 2 * 1  # lattice points minus the interior ones
    assert m.is_watertight and m.is_winding_consistent
    assert m.volume == pytest.approx(BOX_VOLUME, rel=1e-5)
    # Every stored normal agrees with the winding of its triangle.
    ns = stl_mesh.Mesh.from_file(str(out))
    assert np.all(np.einsum("ij,ij->i", ns.normals, ns.get_unit_normals()) > 0)


def test_obj_closes_the_single_phase_box(tmp_path: Path) -> None:
    obj, mtl = core.py_export_obj(SINGLE, str(tmp_path / "out" / "box.obj"), BOX, VOXEL)
    assert mtl == str(tmp_path / "out" / "box.mtl")
    text = Path(obj).read_text()
    assert text.startswith("mtllib box.mtl\n")
    assert Path(mtl).read_text().startswith("newmtl Fe\nKd ")
    m = load(Path(obj))
    assert len(m.faces) == 2 * 2 * (4 * 3 + 4 * 2 + 3 * 2)
    assert m.is_watertight and m.is_winding_consistent
    assert m.volume == pytest.approx(BOX_VOLUME, rel=1e-9)


def test_two_phase_surface_matches_between_formats(tmp_path: Path) -> None:
    a = core.py_export_stl(TWO_PHASE, str(tmp_path / "b.stl"), BOX, VOXEL, 0.002)
    b = core.py_export_stl(TWO_PHASE, str(tmp_path / "a.stl"), BOX, VOXEL, 0.002, False)
    vb, va = stl_mesh.Mesh.from_file(a).vectors, stl_mesh.Mesh.from_file(b).vectors
    assert va.shape == vb.shape
    np.testing.assert_allclose(va, vb, atol=1e-9)


def test_inverted_and_flat_boxes_give_one_voxel(tmp_path: Path) -> None:
    out = core.py_export_stl(SINGLE, str(tmp_path / "f.stl"), ((1, 1, 1), (0, 1, 1)), 0.5)
    m = load(Path(out))
    assert len(m.faces) == 12 and m.is_watertight
    assert m.volume == pytest.approx(0.125)
    assert np.allclose(m.bounds, [[1, 1, 1], [1.5, 1.5, 1.5]])


@pytest.mark.parametrize(
    "kind, digest",
    [
        ("obj", "732268c020590253479fc7884b3bbdc36a04d9562cdf1c6e79b2bea2e8020885"),
        ("stl", "dde86c87ab2e229470195804a8e6bc384dcef03fa7bce122d049991f902f4c5c"),
        ("vtk", "95853d69e8b5c5dbec90248b548f2c5a18ebcb662733cae0966f92d49f15959a"),
        ("raw", "52665a7abacc9a7ee8c8c83d5fe1250146fe97a6f94426d779b59660e1e2116f"),
    ],
)
def test_files_made_in_many_pieces_keep_their_bytes(tmp_path: Path, kind: str, digest: str) -> None:
    # 70^3 voxels, 66,200 faces: the writers make these files in several
    # pieces on the pool. The sums hold the bytes fixed whatever the size of
    # the pieces or the number of threads.
    box, out = ((0.0, 0.0, 0.0), (0.07, 0.07, 0.07)), tmp_path / f"s.{kind}"
    if kind == "obj":
        core.py_export_obj(TWO_PHASE, str(out), box, VOXEL, 0.01)
    elif kind == "stl":
        core.py_export_stl(TWO_PHASE, str(out), box, VOXEL, 0.01, False)
    elif kind == "vtk":
        core.py_export_vtk_legacy(TWO_PHASE, str(out), box, VOXEL, ["Density_kg_m3"], 0.01)
    else:
        core.py_export_sdf_raw(TWO_PHASE, str(out), box, VOXEL, 0.01)
    assert hashlib.sha256(out.read_bytes()).hexdigest() == digest
