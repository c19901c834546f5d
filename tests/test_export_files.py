"""What the exporters leave on disk when a target is hostile: a full disk, a FIFO, a dangling link."""

from __future__ import annotations

import json
import os
import stat
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import run_json

import tessarine._tessarine_core as core

DUPLEX = "DuplexSteel2205"
SMALL = ((0.0, 0.0, 0.0), (0.004, 0.003, 0.002))
BIG = ((0.0, 0.0, 0.0), (0.02, 0.02, 0.02))  # 40^3 voxels of 0.5 mm: every file well over 64 KiB
VOXEL = 0.0005

# Each export in a fresh interpreter (a FIFO that blocked would hang only
# the child) with a file size limit, so that write() fails midway as on a
# full disk: with SIGXFSZ ignored it reports EFBIG.
FULL_DISK = r"""
import json, os, resource, signal, sys
import tessarine._tessarine_core as core

out, limit = sys.argv[1], int(sys.argv[2])
if limit:
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))
box, voxel = tuple(map(tuple, json.loads(sys.argv[3]))), float(sys.argv[4])
at = lambda name: os.path.join(out, name)
D = "DuplexSteel2205"
calls = {
    "stl": lambda: core.py_export_stl(D, at("keep.stl"), box, voxel),
    "ascii": lambda: core.py_export_stl(D, at("keep.txt"), box, voxel, None, False),
    "obj": lambda: core.py_export_obj(D, at("keep.obj"), box, voxel),
    "vtk": lambda: core.py_export_vtk_legacy(D, at("keep.vtk"), box, voxel, ["Density_kg_m3"]),
    "raw": lambda: core.py_export_sdf_raw(D, at("keep.raw"), box, voxel),
    "hlsl": lambda: core.py_export_hlsl(D, at("keep.hlsl")),
}
report = {}
for name, call in calls.items():
    try:
        call()
        report[name] = "written"
    except RuntimeError as e:
        report[name] = str(e)
print(json.dumps(report))
"""

KEPT = ["keep.hlsl", "keep.json", "keep.mtl", "keep.obj", "keep.raw", "keep.stl", "keep.txt", "keep.vtk"]


def export_all(out: Path, limit: int = 0, box=BIG) -> dict[str, str]:
    return run_json(FULL_DISK, str(out), str(limit), json.dumps(box), str(VOXEL))


def test_a_full_disk_leaves_every_old_file_untouched(tmp_path: Path) -> None:
    for name in KEPT:
        (tmp_path / name).write_text("old " + name)
    got = export_all(tmp_path, 64 << 10)
    too_large = "File too large (os error 27)"
    assert got == {"stl": too_large, "ascii": too_large, "obj": too_large, "vtk": too_large, "raw": too_large,
                   "hlsl": "written"}
    # The MTL library fitted, but neither file of a pair replaces its old one alone.
    for name in KEPT:
        if name != "keep.hlsl":
            assert (tmp_path / name).read_text() == "old " + name, name
    assert sorted(os.listdir(tmp_path)) == KEPT  # no temporaries either


def test_a_fifo_target_fails_at_once_and_stays_a_fifo(tmp_path: Path) -> None:
    for name in ["keep.stl", "keep.txt", "keep.obj", "keep.vtk", "keep.raw", "keep.hlsl"]:
        os.mkfifo(tmp_path / name)
    got = export_all(tmp_path, box=SMALL)  # under the subprocess timeout
    assert set(got.values()) == {"No such device or address (os error 6)"}
    # The OBJ's library and the raw volume's sidecar are not left behind.
    assert sorted(os.listdir(tmp_path)) == ["keep.hlsl", "keep.obj", "keep.raw", "keep.stl", "keep.txt", "keep.vtk"]
    assert all(stat.S_ISFIFO(p.lstat().st_mode) for p in tmp_path.iterdir())

    # A pipe with its reader (/dev/stdout into a pipeline), more bytes than
    # the pipe holds at once, and /dev/stdout redirected to a file, which
    # stays the file the shell opened.
    box = ((0.0, 0.0, 0.0), (0.01, 0.01, 0.01))
    expected = Path(core.py_export_stl(DUPLEX, str(tmp_path / "ref.txt"), box, 0.001, None, False)).read_bytes()
    assert len(expected) > 1 << 18
    script = "import sys, tessarine._tessarine_core as c; sys.stdout.write('>'); sys.stdout.flush(); " \
             f"c.py_export_stl({DUPLEX!r}, '/dev/stdout', {box!r}, 0.001, None, False)"
    piped = subprocess.run([sys.executable, "-c", script], capture_output=True, timeout=60)
    assert piped.stdout == b">" + expected, piped.stderr
    with open(tmp_path / "redirected", "wb") as out:
        subprocess.run([sys.executable, "-c", script], stdout=out, timeout=60, check=True)
        assert os.fstat(out.fileno()).st_ino == (tmp_path / "redirected").stat().st_ino
    assert (tmp_path / "redirected").read_bytes() == expected  # truncated by the export, as an open does


def test_a_dangling_link_cannot_make_one_file_overwrite_its_pair(tmp_path: Path) -> None:
    (tmp_path / "v.json").symlink_to("v.raw")
    with pytest.raises(RuntimeError, match=r"^export_sdf_raw: sidecar path '.*v\.json' would overwrite the volume"):
        core.py_export_sdf_raw(DUPLEX, str(tmp_path / "v.raw"), SMALL, 0.001)
    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "x.mtl").symlink_to("../chain")
    (tmp_path / "chain").symlink_to("sub/x.obj")
    with pytest.raises(RuntimeError, match=r"^export_obj: obj_path '.*x\.obj' is also where its MTL library"):
        core.py_export_obj(DUPLEX, str(tmp_path / "sub" / "x.obj"), SMALL, 0.001)
    assert sorted(p.name for p in tmp_path.rglob("*")) == ["chain", "sub", "v.json", "x.mtl"]
