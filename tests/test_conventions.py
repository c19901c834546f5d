"""Call conventions shared by every function: conversions by parameter kind, the order of the
checks, the exception class of each function and the shapes of the results."""

from __future__ import annotations

import math
from collections.abc import Sequence

import pytest

import tessarine._tessarine_core as core

BOX = ((0, 0, 0), (0.002, 0.001, 0.001))
PANIC = "PanicException"


class RaisingSequence(Sequence):
    def __len__(self) -> int:
        return 1

    def __getitem__(self, i: int) -> object:
        raise TypeError("no items")

    def __iter__(self):
        raise TypeError("no items")


def outcome(call) -> tuple[str, str]:
    try:
        call()
    except BaseException as e:  # noqa: BLE001 - PanicException derives from BaseException
        return type(e).__name__, str(e.args[0]) if e.args else ""
    pytest.fail("the call succeeded")


# Each case: the call and (exception class, its single argument). Argument conversions come
# first, in parameter order, then the emptiness assertions, then the operation.
CASES = {
    "keyword with lone surrogate": (
        lambda: core.py_get("Fe", **{"\ud800": 1}),
        ("TypeError", "py_get() got an unexpected keyword argument '\ud800'"),
    ),
    "surrogate in a later text": (lambda: core.py_get("", "\ud800"), ("UnicodeEncodeError", "utf-8")),
    "str for a list": (lambda: core.py_kabsch_rmsd("abc", []), ("TypeError", "argument 'a': Can't extract `str` to `Vec`")),
    "str for a row": (lambda: core.py_kabsch_rmsd([[1, 2, 3]], ["abc"]), ("TypeError", "argument 'b': Can't extract `str` to `Vec`")),
    "not a sequence": (lambda: core.py_export_hlsl("", "x", {"a": 1}), ("TypeError", "argument 'properties': 'dict' object cannot be converted to 'Sequence'")),
    "iteration TypeError is prefixed": (
        lambda: core.py_optimize_alloy(RaisingSequence(), ""),
        ("TypeError", "argument 'targets': no items"),
    ),
    "target that is not a dict": (lambda: core.py_optimize_alloy([{}, 1], ""), ("TypeError", "argument 'targets': 'int' object cannot be converted to 'PyDict'")),
    "float count": (lambda: core.py_optimize_alloy([], "", None, 1.0), ("TypeError", "argument 'n_candidates': 'float' object cannot be interpreted as an integer")),
    "negative seed": (lambda: core.py_optimize_alloy([], "", seed=-1), ("OverflowError", "can't convert negative int to unsigned")),
    "alloy checks after conversion": (lambda: core.py_optimize_alloy([], ""), ("ValueError", "alloy::optimize_alloy: at least one target is required")),
    "int for a flag": (lambda: core.py_export_glsl("", 1), ("TypeError", "argument 'include_density': 'int' object cannot be converted to 'PyBool'")),
    "glsl panics after conversion": (lambda: core.py_export_glsl("", include_caustic=False), (PANIC, "py_export_glsl: name must be non-empty")),
    "None for mode": (lambda: core.py_export_sdf_raw("", "x", BOX, 1.0, None, None), ("TypeError", "argument 'mode': 'NoneType' object cannot be converted to 'PyString'")),
    "None for binary": (lambda: core.py_export_stl("", "x", BOX, 1.0, None, None), ("TypeError", "argument 'binary': 'NoneType' object cannot be converted to 'PyBool'")),
    "list for bounds": (lambda: core.py_export_obj("", "x", list(BOX), 1.0), ("TypeError", "argument 'bounds': 'list' object cannot be converted to 'PyTuple'")),
    "short corner": (lambda: core.py_export_vtk_legacy("", "x", ((0, 0, 0), (1, 1)), 1.0), ("TypeError", "argument 'bounds': expected tuple of length 3, but got tuple of length 2")),
    "list grid": (lambda: core.py_bake_fourier("", "", BOX, [1, 1, 1]), ("TypeError", "argument 'grid_size': 'list' object cannot be converted to 'PyTuple'")),
    "None threshold": (lambda: core.py_bake_fourier("", "", BOX, (1, 1, 1), None), ("TypeError", "argument 'truncate_threshold': must be real number, not NoneType")),
    "pair of three": (lambda: core.py_build_backbone("", [(1, 2, 3)]), ("TypeError", "argument 'phi_psi_deg': expected tuple of length 2, but got tuple of length 3")),
    "backbone panics after conversion": (lambda: core.py_build_backbone("", []), (PANIC, "build_backbone: sequence must be non-empty")),
    "save: name before tier": (lambda: core.py_save("", "not json", ""), (PANIC, "py_save: name must be non-empty")),
    "get: KeyError": (lambda: core.py_get("no such thing"), ("KeyError", "unknown name: no such thing")),
    "data sheet: KeyError": (lambda: core.py_data_sheet("fe"), ("KeyError", "sample::lookup_entry: no datasheet found for 'fe'")),
    "from entry: KeyError": (lambda: core.py_build_backbone_from_entry("nope"), ("KeyError", "build_backbone_from_entry: entry 'nope' not found")),
    "glsl: ValueError": (lambda: core.py_export_glsl("nope"), ("ValueError", "export: entry 'nope' not found in tessarine registry")),
    "hlsl: RuntimeError": (lambda: core.py_export_hlsl("", "x"), ("RuntimeError", "export_hlsl: material name must not be empty")),
    "sdf: RuntimeError": (lambda: core.py_export_sdf_raw("", "x", BOX, 1.0), ("RuntimeError", "export_sdf_raw: name required")),
    "stl: NaN voxel size panics": (lambda: core.py_export_stl("Fe", "x", BOX, math.nan), (PANIC, "voxel_phase_map: voxel_size must be positive")),
    "bake: ValueError": (lambda: core.py_bake_fourier("", "p", BOX, (1, 1, 1)), ("ValueError", "entry_name must not be empty")),
    "kabsch: ValueError": (lambda: core.py_kabsch_rmsd([[1, 2]], [[1, 2, 3]]), ("ValueError", "each row must have 3 elements")),
    "takes exactly": (lambda: core.py_ramachandran_region(1, 2, 3), ("TypeError", "py_ramachandran_region() takes 2 positional arguments but 3 were given")),
}


@pytest.mark.parametrize("call, expected", CASES.values(), ids=CASES.keys())
def test_failures(call, expected) -> None:
    assert outcome(call) == expected


def test_result_shapes(tmp_path) -> None:
    assert core.is_rust_backend() is True
    assert type(core.py_kabsch_rmsd([], [])) is float
    assert core.py_ramachandran_region(True, -45) == "other"  # a bool is a number
    tiers = core.py_list_tiers()
    assert type(tiers) is list and len(tiers) == 12 and all(type(t) is str for t in tiers)
    atoms = core.py_build_backbone("AA", ((-57, -47), (-57, -47)))
    assert [list(a) for a in atoms] == [["name", "res_idx", "x", "y", "z"]] * 6
    assert [type(a["res_idx"]) for a in atoms] == [int] * 6
    baked = core.py_bake_fourier("Fe", "AtomicNumber", BOX, (2, 1, 1))
    assert list(baked) == ["property_name", "base_value", "domain_size_m", "coefficients", "boundary_condition"]
    assert type(baked["domain_size_m"]) is list and len(baked["domain_size_m"]) == 3
    assert [list(c) for c in baked["coefficients"]] == [["n", "m", "l", "amplitude", "phase"]]
    assert [type(v) for v in baked["coefficients"][0].values()] == [int, int, int, float, float]
    found = core.py_optimize_alloy([{"property": "AtomicNumber"}], "Fe", None, 20, 2, 0)
    assert all(list(c) == ["composition", "estimated_properties", "score"] for c in found)
    obj = str(tmp_path / "m.obj")
    assert core.py_export_obj("DuplexSteel2205", obj, BOX, 0.001) == (obj, str(tmp_path / "m.mtl"))
    raw = str(tmp_path / "v.raw")
    assert core.py_export_sdf_raw("DuplexSteel2205", raw, BOX, 0.001, mode="occupancy") == raw
