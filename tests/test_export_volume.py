"""The VTK legacy writer, the raw volume with its sidecar and the HLSL file."""

from __future__ import annotations

import json
from pathlib import Path

import numpy as np
import pytest

import tessarine._tessarine_core as core

DUPLEX = "DuplexSteel2205"
BOX = ((0.0, 0.0, 0.0), (0.004, 0.003, 0.002))  # 4 x 3 x 2 voxels of 1 mm


def read_vtk(path: Path):
    vtk = pytest.importorskip("vtk")
    from vtk.util.numpy_support import vtk_to_numpy

    reader = vtk.vtkStructuredPointsReader()
    reader.SetFileName(str(path))
    reader.ReadAllScalarsOn()
    reader.Update()
    data = reader.GetOutput()
    pd = data.GetPointData()
    arrays = {pd.GetArrayName(i): vtk_to_numpy(pd.GetArray(i)) for i in range(pd.GetNumberOfArrays())}
    return data.GetDimensions(), data.GetOrigin(), data.GetSpacing(), arrays


def test_two_phase_alloy_read_back_by_vtk_and_numpy(tmp_path: Path):
    vtk_path = tmp_path / "new" / "dir" / "d.vtk"
    assert core.py_export_vtk_legacy(DUPLEX, str(vtk_path), BOX, 0.001, ["Density_kg_m3", "Nope"]) == str(vtk_path)
    dims, origin, spacing, arrays = read_vtk(vtk_path)
    assert (dims, origin, spacing) == ((4, 3, 2), (0.0, 0.0, 0.0), (0.001, 0.001, 0.001))
    phase = arrays["phase_id"]
    assert set(np.unique(phase)) == {0, 1}
    # Phase 0 is austenite (7900), 1 ferrite (7750): sampling and the map pick the same cells.
    np.testing.assert_array_equal(arrays["Density_kg_m3"], np.where(phase == 0, 7900.0, 7750.0))
    np.testing.assert_array_equal(arrays["Nope"], np.zeros(24))

    raw_path = tmp_path / "d.raw"
    assert core.py_export_sdf_raw(DUPLEX, str(raw_path), BOX, 0.001) == str(raw_path)
    text = (tmp_path / "d.json").read_text(encoding="utf-8")
    side = json.loads(text)
    assert not text.endswith("\n")
    assert side["phase_names"] == ["austenite", "ferrite"] and side["layout"] == "x-fastest"
    assert side["bounds"] == [[0.0, 0.0, 0.0], [0.004, 0.003, 0.002]] and side["voxel_size_m"] == 0.001
    nx, ny, nz = side["shape_xyz"]
    vol = np.fromfile(raw_path, dtype=side["dtype"]).reshape(nz, ny, nx)
    np.testing.assert_array_equal(vol.ravel(), phase.astype(np.float32))

    core.py_export_sdf_raw(DUPLEX, str(raw_path), BOX, 0.001, None, "occupancy")
    assert raw_path.read_bytes() == b"\x00\x00\x80\x3f" * 24

    # At coarse scale every property value is the volume-weighted average
    # while the phases still follow the cell hash.
    core.py_export_vtk_legacy(DUPLEX, str(vtk_path), ((0, 0, 0), (0.03, 0.03, 0.01)), 0.001, ("Density_kg_m3",), 0.01)
    _, _, _, arrays = read_vtk(vtk_path)
    assert set(np.unique(arrays["phase_id"])) == {0, 1}
    assert set(np.unique(arrays["Density_kg_m3"])) == {7825.0}


def test_own_datasheets(throwaway):
    throwaway.write("alloy", "Steel", {"density": 7850})
    throwaway.write("protein", "Iron", {"Density_kg_m3": 7874, "Properties": {"Density_kg_m3": 7870, "IOR": 2.9}})
    got = throwaway.run_json(
        """
        import json, os
        import tessarine._tessarine_core as core
        box = ((0, 0, 0), (0.002, 0.001, 0.001))
        out = {"vtk": open(core.py_export_vtk_legacy("Steel", "s.vtk", box, 0.001, ["density"])).read()}
        core.py_export_vtk_legacy("Steel", "none.vtk", box, 0.001, None)
        core.py_export_vtk_legacy("Steel", "empty.vtk", box, 0.001, [])
        out["same"] = open("none.vtk").read() == open("empty.vtk").read()
        core.py_export_sdf_raw("Steel", "s", box, float("inf"))
        out["raw"] = open("s", "rb").read().hex()
        out["sidecar"] = json.load(open("s.json"))
        out["hlsl"] = open(core.py_export_hlsl("Iron", "sh/a/iron.hlsl")).read()
        for args in (("Fe", "never/x.hlsl"), ("", "never/x.hlsl")):
            try:
                core.py_export_hlsl(*args)
            except RuntimeError as e:
                out.setdefault("hlsl_errors", []).append(str(e))
        out["never"] = os.path.exists("never")
        print(json.dumps(out))
        """
    )
    assert got["vtk"] == (
        "# vtk DataFile Version 3.0\ntessarine Steel\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 2 1 1\n"
        "ORIGIN 0 0 0\nSPACING 0.001 0.001 0.001\nPOINT_DATA 2\nSCALARS phase_id int 1\nLOOKUP_TABLE default\n"
        "0\n0\nSCALARS density float 1\nLOOKUP_TABLE default\n7850.000000\n7850.000000\n"
    )
    assert got["same"]
    assert got["raw"] == "00" * 4  # an infinite voxel size gives one voxel
    assert got["sidecar"]["shape_xyz"] == [1, 1, 1] and got["sidecar"]["voxel_size_m"] is None
    assert got["sidecar"]["phase_names"] == ["Steel"]
    assert "\ts.Density_kg_m3 = 7870.000000f;\n\ts.IOR = 2.900000f;\n\ts.PhaseId = -1;\n" in got["hlsl"]
    assert got["hlsl_errors"] == [
        "export: entry 'Fe' not found in tessarine registry",
        "export_hlsl: material name must not be empty",
    ]
    assert not got["never"]
