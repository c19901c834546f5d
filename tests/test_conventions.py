"""Call conventions shared by every function: the outcomes of the catalogue of calls
(tests/exercise.py: conversions by parameter kind, their messages, the order of the checks, the
exception class of each function), internal failures and the shapes of the results."""

from __future__ import annotations

import math
import sys
from pathlib import Path

import pytest

import tessarine._tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
import exercise  # noqa: E402

BOX = exercise.BOX


def test_every_call_of_the_catalogue_ends_as_expected(tmp_path) -> None:
    rows = exercise.calls(str(tmp_path))
    assert {exercise.split(row)[1] for row in rows} == exercise.function_names()
    assert [wrong for wrong in map(exercise.mismatch, rows) if wrong is not None] == []
    assert not (tmp_path / "nul").exists()  # a path holding a NUL made nothing at the part before it


def test_internal_failures_are_panic_exceptions() -> None:
    with pytest.raises(BaseException) as info:
        try:
            core.py_sample("", "x")
        except Exception:  # noqa: BLE001 - must not catch it
            pytest.fail("PanicException must not derive from Exception")
    panic = type(info.value)
    assert (panic.__qualname__, panic.__bases__) == ("PanicException", (BaseException,))
    assert info.value.args == ("py_sample: name must be non-empty",)
    assert core.py_sample("Steel", "Density_kg_m3") == 7870.0  # later calls work


def test_result_shapes(tmp_path) -> None:
    assert type(core.py_kabsch_rmsd([], [])) is float
    assert core.py_ramachandran_region(True, -45) == "other"  # a bool is a number
    atoms = core.py_build_backbone("AA", ((-57, -47), (-57, -47)))
    assert [list(a) for a in atoms] == [["name", "res_idx", "x", "y", "z"]] * 6
    assert [(a["name"], type(a["res_idx"])) for a in atoms[:3]] == [("N", int), ("CA", int), ("C", int)]
    baked = core.py_bake_fourier("Fe", "AtomicNumber", ((0, 0, 0), (1, 2, 3)), (2, 2, 1), 0)
    assert list(baked) == ["property_name", "base_value", "domain_size_m", "coefficients", "boundary_condition"]
    assert (baked["property_name"], baked["domain_size_m"], baked["boundary_condition"]) == (
        "AtomicNumber", [1.0, 2.0, 3.0], "periodic")
    assert [list(c) for c in baked["coefficients"]] == [["n", "m", "l", "amplitude", "phase"]] * 4
    assert [type(v) for v in baked["coefficients"][0].values()] == [int, int, int, float, float]
    assert core.py_bake_fourier("Fe", "Density_kg_m3", ((0, 0, 0), (1, 1, 1)), (1, 1, 1))["coefficients"] == []
    flat = core.py_bake_fourier("Fe", "Density_kg_m3", ((1, 0, math.nan), (0, 1, 1)), (1, 1, 1))
    assert flat["domain_size_m"] == [2.220446049250313e-16, 1.0, 2.220446049250313e-16]
    found = core.py_optimize_alloy([{"property": "AtomicNumber"}], "Fe", None, 20, 2, 0)
    assert all(list(c) == ["composition", "estimated_properties", "score"] for c in found)
    assert all(type(v) is float for c in found for v in [*c["composition"].values(), c["score"]])
    obj = str(tmp_path / "m.obj")
    assert core.py_export_obj("DuplexSteel2205", obj, BOX, 0.001) == (obj, str(tmp_path / "m.mtl"))
    raw = str(tmp_path / "v.raw")
    assert core.py_export_sdf_raw("DuplexSteel2205", raw, BOX, 0.001, mode="occupancy") == raw
    core.py_save("Shapes", '{"b": 1, "a": 2.5}', "alloy")
    sheet = core.py_data_sheet("Shapes")
    assert list(sheet.items()) == [("a", 2.5), ("b", 1)] and type(sheet["b"]) is int
    assert core.py_save("Shapes", "{}", "alloy") == {"a": 2.5, "b": 1}
