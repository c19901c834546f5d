"""The catalogue of calls: every function of the two native modules on its success and failure paths.

Each call is paired with the outcome it must have: "ok", the name of the exception class, or
"Class: message" with the exception's single argument. A function of
tessarine._tessarine_ext is named with the prefix "ext.". The conventions test checks the outcomes
once, the leak test (tests/test_leaks.py) and the memcheck run (scripts/valgrind.sh) repeat them,
the bad-input test (tests/test_bad_input.py) and the fuzzer (fuzz/fuzz_python.py) start from them.
Failures come after conversions: every argument is converted, in order, before any check.

    python tests/exercise.py [ROUNDS]   runs every call ROUNDS times (default 1)
"""

from __future__ import annotations

import ast
import ctypes
import math
import os
import sys
import tempfile
from array import array
from collections import UserList, namedtuple
from pathlib import Path

import tessarine._tessarine_core as core
import tessarine._tessarine_ext as ext
from odd_objects import BadFloat, BadIndex, Broken, Failing, Index, Kw, Name, rows_of

BOX = ((0.0, 0.0, 0.0), (0.002, 0.001, 0.001))
HUGE_BOX = ((-1e300,) * 3, (1e300,) * 3)
DUPLEX = "DuplexSteel2205"
LONG = "x" * 4096  # a leaked copy of a message that holds it shows up in the resident size
PANIC = "PanicException"
DEEP_JSON = "[" * 200 + "]" * 200  # deeper than the parser accepts
Point = namedtuple("Point", "x y z")
EXT = "ext."  # the prefix of the functions of tessarine._tessarine_ext


# Every function of the two modules, by the name rows give it. (Looked up here once: a name made
# anew per call would stay in the interpreter's attribute cache and look like a leak.)
FUNCTIONS = {n: getattr(core, n) for n in core.__all__ if n != "__version__"} | {
    EXT + n: getattr(ext, n) for n in ext.__all__}


def function(name: str):
    """The function a row names."""
    return FUNCTIONS[name]


def function_names() -> set[str]:
    """Every function of the two modules, as rows name them."""
    return set(FUNCTIONS)


def calls(tmp: str) -> list[tuple]:
    """The rows (expected, function name, *arguments[, Kw]). `tmp` is an existing, writable directory."""
    out = os.path.join(tmp, "out")
    os.makedirs(out, exist_ok=True)
    missing = os.path.join(tmp, "missing", "deeper")
    below_file = os.path.join(tmp, "plain", "x")
    with open(os.path.join(tmp, "plain"), "w"):
        pass
    nul = os.path.join(tmp, "nul\x00dir", "x.out")  # nothing may be made at the part before the NUL
    full = "/dev/full"  # only for single-file exports: nothing may be made beside it in /dev
    fifo = os.path.join(tmp, "pipe.obj")  # no reader: refused at once
    if not os.path.exists(fifo):
        os.mkfifo(fifo)
    dangling = os.path.join(tmp, "d.json")  # the sidecar would be written over the volume
    if not os.path.lexists(dangling):
        os.symlink("d.raw", dangling)
    scratch = os.path.join(tmp, "scratch")  # for calls that fail before writing
    big_rows = [[float(i), float(i) * 2, float(i) * 3] for i in range(64)]
    moved = [[y + 1.0 for y in row] for row in big_rows]
    nul_refused = "RuntimeError: Invalid argument (os error 22)"
    no_svd = "ValueError: kabsch_rmsd: SVD did not produce U"
    huge_grid = (f"RuntimeError: voxel_phase_map: a grid of {' x '.join([str(2**64 - 1)] * 3)} voxels is too large to "
                 "allocate; use a larger voxel_size or a smaller box")
    return [
        # py_get
        ("ok", "py_get", "Fe"),
        ("ok", "py_get", "iron", "atom"),
        ("ok", "py_get", "{Fe=2, Ni=1}"),
        ("KeyError: unknown name: no such thing", "py_get", "no such thing"),
        ("KeyError", "py_get", LONG),
        ("KeyError", "py_get", "{Fe=" + LONG + "}"),  # wraps the count's parse failure
        ("KeyError", "py_get", "{Fe=1, " + LONG + "=1}"),  # wraps the unknown name
        ("KeyError", "py_get", "{ ,Fe=1}"),
        ("KeyError: unknown name:   ", "py_get", "  "),  # names are not trimmed
        ("KeyError: unknown name:  Fe", "py_get", " Fe"),
        ("KeyError: invalid formula: { }", "py_get", "{ }"),
        ("KeyError: formula constituent 'Nope' not found", "py_get", "{Nope=1, Fe=1001}"),
        (f"{PANIC}: py_get: spec must be non-empty", "py_get", ""),
        (f"{PANIC}: resolve_formula: implausibly large count", "py_get", "{Fe=1001}"),
        ("TypeError: argument 'spec': 'int' object cannot be converted to 'PyString'", "py_get", 3),
        ("TypeError: py_get() missing 1 required positional argument: 'spec'", "py_get"),
        ("TypeError: py_get() takes from 1 to 2 positional arguments but 3 were given", "py_get", "Fe", "atom", 3),
        ("TypeError: py_get() got an unexpected keyword argument 'tier'", "py_get", Kw(spec="Fe", tier=LONG)),
        ("TypeError: py_get() got multiple values for argument 'spec'", "py_get", "Fe", Kw(spec="Fe")),
        ("TypeError: py_get() got an unexpected keyword argument '\ud800'", "py_get", Kw({"spec": "Fe", "\ud800": 1})),
        ("UnicodeEncodeError: utf-8", "py_get", "Fe\ud800"),
        ("UnicodeEncodeError: utf-8", "py_get", "", "\ud800"),  # converted before the emptiness check
        # py_save: the same name each time, so a successful call displaces the previous one
        ("ok", "py_save", "LeakProbe", '{"a": [1, 2.5, "' + LONG + '", null, {"b": true}]}', "alloy"),
        ("ValueError", "py_save", "LeakProbe", '{"a": ' + LONG, "alloy"),
        ("ValueError", "py_save", "LeakProbe", '{"a": 1} trailing', "alloy"),
        ("ValueError", "py_save", "LeakProbe", DEEP_JSON, "alloy"),
        ("ValueError", "py_save", "LeakProbe", "\ufeff{}", "alloy"),
        (f"ValueError: unknown tier: {LONG}", "py_save", "LeakProbe", "{}", LONG),
        (f"{PANIC}: py_save: name must be non-empty", "py_save", "", "not json", ""),
        (f"{PANIC}: py_save: tier_str must be non-empty", "py_save", "LeakProbe", "{", ""),
        ("TypeError: py_save() missing 1 required positional argument: 'tier_str'", "py_save", "a", "{}"),
        # py_sample
        ("ok", "py_sample", DUPLEX, "Density_kg_m3"),
        ("ok", "py_sample", DUPLEX, "Density_kg_m3", (0.001, 0.002, 0.003), 0.0005),
        ("ok", "py_sample", DUPLEX, "Density_kg_m3", None, 0.05),
        ("ok", "py_sample", Name("Steel"), Kw(property="Density_kg_m3", at=Point(0, Index(), 1.5), scale_m=Index())),
        ("KeyError: sample::lookup_entry: no datasheet found for 'fe'", "py_sample", "fe", "AtomicNumber"),
        ("KeyError: sample: property 'Name' missing or non-numeric", "py_sample", "Fe", "Name"),
        ("KeyError", "py_sample", LONG, "Density_kg_m3"),
        ("KeyError", "py_sample", "Fe", LONG),
        ("KeyError", "py_sample", DUPLEX, LONG, (0.0, 0.0, 0.0)),
        (f"{PANIC}: py_sample: name must be non-empty", "py_sample", "", "Density_kg_m3"),
        (f"{PANIC}: py_sample: property must be non-empty", "py_sample", "Fe", ""),
        ("TypeError: py_sample() missing 2 required positional arguments: 'name' and 'property'", "py_sample"),
        ("TypeError: py_sample() takes from 2 to 4 positional arguments but 5 were given",
         "py_sample", "a", "b", None, None, 5),
        ("TypeError: argument 'property': 'bytes' object cannot be converted to 'PyString'", "py_sample", "a", b"b"),
        ("TypeError: argument 'at': 'list' object cannot be converted to 'PyTuple'", "py_sample", "Fe", "d", [0, 0, 0]),
        ("TypeError: argument 'at': expected tuple of length 3, but got tuple of length 2", "py_sample", "Fe", "d", (0, 0)),
        ("TypeError: argument 'at': must be real number, not str", "py_sample", "Fe", "d", (0, "x", 0)),
        ("TypeError: argument 'scale_m': must be real number, not str", "py_sample", "Fe", "d", None, "1"),
        ("ZeroDivisionError", "py_sample", "Fe", "Density_kg_m3", (0, BadFloat(), 0)),
        ("ValueError: no float for you", "py_sample", "", "x", None, BadFloat(ValueError, "no float for you")),
        ("OverflowError", "py_sample", "Fe", "Density_kg_m3", None, 10**400),
        # py_data_sheet, py_list_tiers
        ("ok", "py_data_sheet", DUPLEX),
        ("ok", "py_data_sheet", "LeakProbe"),
        ("KeyError: sample::lookup_entry: no datasheet found for 'fe'", "py_data_sheet", "fe"),
        ("KeyError", "py_data_sheet", LONG),
        (f"{PANIC}: py_data_sheet: name must be non-empty", "py_data_sheet", ""),
        ("ok", "py_list_tiers"),
        ("TypeError", "py_list_tiers", 1),
        # py_export_glsl
        ("ok", "py_export_glsl", DUPLEX),
        ("ok", "py_export_glsl", "Fe", False, True, False, True),
        ("ValueError: export: entry 'nope' not found in tessarine registry", "py_export_glsl", "nope"),
        ("ValueError", "py_export_glsl", LONG),
        (f"{PANIC}: py_export_glsl: name must be non-empty", "py_export_glsl", "", Kw(include_caustic=False)),
        ("TypeError: argument 'include_density': 'int' object cannot be converted to 'PyBool'",
         "py_export_glsl", "", 1),
        # py_kabsch_rmsd
        ("ok", "py_kabsch_rmsd", big_rows, moved),
        ("ok", "py_kabsch_rmsd", [UserList(r) for r in big_rows[:5]], tuple(moved[:5])),
        ("ok", "py_kabsch_rmsd", [], []),
        ("TypeError", "py_kabsch_rmsd", big_rows),
        ("ValueError: a and b must have same length", "py_kabsch_rmsd", big_rows, moved[:5]),
        ("ValueError: each row must have 3 elements", "py_kabsch_rmsd", [[1, 2]] * 3, [[1, 2, 3]] * 3),
        ("ValueError: a and b must have same length", "py_kabsch_rmsd", [], [[1, 2, 3]]),  # one empty set
        (no_svd, "py_kabsch_rmsd", [[0, 0, 0], [1, 2, math.nan]], [[0] * 3] * 2),
        (no_svd, "py_kabsch_rmsd", [[0] * 3] * 2, [[0, 0, 0], [1, 1, math.inf]]),
        ("TypeError: argument 'a': Can't extract `str` to `Vec`", "py_kabsch_rmsd", "abc", []),
        ("TypeError: argument 'b': Can't extract `str` to `Vec`", "py_kabsch_rmsd", [[1, 2, 3]], ["abc"]),
        ("TypeError", "py_kabsch_rmsd", big_rows, [[1, 2, "x"]] * 64),
        ("TypeError", "py_kabsch_rmsd", big_rows, [UserList([1, 2, None])] * 64),
        ("ZeroDivisionError", "py_kabsch_rmsd", big_rows, [[1, BadFloat(), 3]] * 64),
        ("TypeError: argument 'b': 'int' object cannot be converted to 'Sequence'", "py_kabsch_rmsd", big_rows, 5),
        # py_build_backbone, py_build_backbone_from_entry, py_ramachandran_region
        ("ok", "py_build_backbone", "ACDEFG" * 4, [(-57.0, -47.0)] * 24),
        ("ok", "py_build_backbone", "AX", []),
        (f"{PANIC}: build_backbone: sequence must be non-empty", "py_build_backbone", "", []),
        ("TypeError: argument 'phi_psi_deg': expected tuple of length 2, but got tuple of length 3",
         "py_build_backbone", "", [(1, 2, 3)]),
        ("TypeError", "py_build_backbone", "AA", [(-57, -47), [-57, -47]]),
        ("TypeError", "py_build_backbone", "AA", "ab"),
        ("ok", "py_build_backbone_from_entry", "PolyAlanineHelix"),
        ("KeyError: build_backbone_from_entry: entry 'nope' not found", "py_build_backbone_from_entry", "nope"),
        ("KeyError", "py_build_backbone_from_entry", LONG),
        ("KeyError: build_backbone_from_entry: entry 'Fe' has no 'residues' array",
         "py_build_backbone_from_entry", "Fe"),
        (f"{PANIC}: build_backbone_from_entry: name must be non-empty", "py_build_backbone_from_entry", ""),
        ("ok", "py_ramachandran_region", -57.0, -47.0),
        ("ok", "py_ramachandran_region", math.nan, math.inf),
        ("TypeError", "py_ramachandran_region", "x", 1),
        ("TypeError: py_ramachandran_region() takes 2 positional arguments but 3 were given",
         "py_ramachandran_region", 1, 2, 3),
        ("ZeroDivisionError", "py_ramachandran_region", 1, BadFloat()),
        # py_optimize_alloy
        ("ok", "py_optimize_alloy", [{"property": "Density_kg_m3", "min_value": 7000, "max_value": None,
                                       "weight": "bad"}], "Fe", ["Ni", "Cr", "Mo"], 40, 3, 7),
        ("ok", "py_optimize_alloy", [{"property": "\ud800", "min_value": BadFloat()}], "Fe", None, 8, 2, 1),
        ("ok", "py_optimize_alloy", [{"property": "Density_kg_m3"}], LONG, [LONG + "y"], 4, 1, 1),
        ("ValueError: alloy::optimize_alloy: at least one target is required", "py_optimize_alloy", [], ""),
        ("ValueError: alloy::optimize_alloy: base element name required",
         "py_optimize_alloy", [{"property": "Density_kg_m3"}], "", None, 4, 1, 1),
        ("OverflowError: int too big to convert", "py_optimize_alloy", [{}], "Fe", Kw(seed=2**64)),
        ("TypeError: argument 'alloying_pool': Can't extract `str` to `Vec`", "py_optimize_alloy", [{}], "Fe", "Cr"),
        ("TypeError: argument 'targets': 'int' object cannot be converted to 'PyDict'",
         "py_optimize_alloy", [{}, 1], ""),
        ("TypeError", "py_optimize_alloy", [{}], "Fe", ["Ni", 2]),
        ("TypeError: argument 'targets': no items", "py_optimize_alloy", Failing(TypeError, "no items"), ""),
        ("Broken", "py_optimize_alloy", Failing(Broken, "broken sequence"), "Fe"),
        ("TypeError: argument 'n_candidates': 'float' object cannot be interpreted as an integer",
         "py_optimize_alloy", [], "", None, 1.0),
        ("OverflowError: can't convert negative int to unsigned", "py_optimize_alloy", [{}], "", Kw(seed=-1)),
        ("OverflowError", "py_optimize_alloy", [{}], "Fe", Kw(top_k=1 << 70)),
        ("ArithmeticError", "py_optimize_alloy", [{}], "Fe", Kw(n_candidates=BadIndex())),
        # py_export_hlsl
        ("ok", "py_export_hlsl", DUPLEX, os.path.join(out, "a.hlsl")),
        ("ok", "py_export_hlsl", "Fe", os.path.join(out, "b.hlsl"), ("Density_kg_m3", LONG)),
        ("RuntimeError: export_hlsl: material name must not be empty", "py_export_hlsl", "", scratch),
        ("RuntimeError", "py_export_hlsl", DUPLEX, full),
        ("RuntimeError", "py_export_hlsl", DUPLEX, os.path.join(below_file, "s.hlsl")),
        (f"RuntimeError: export: entry '{LONG}' not found in tessarine registry",
         "py_export_hlsl", LONG, os.path.join(out, "c.hlsl")),
        (nul_refused, "py_export_hlsl", DUPLEX, nul),
        ("TypeError: argument 'properties': 'dict' object cannot be converted to 'Sequence'",
         "py_export_hlsl", "", scratch, {"a": 1}),
        # py_export_sdf_raw
        ("ok", "py_export_sdf_raw", DUPLEX, os.path.join(out, "v.raw"), BOX, 0.0005),
        ("ok", "py_export_sdf_raw", DUPLEX, os.path.join(out, "w.raw"), BOX, math.inf, None, "occupancy"),
        ("RuntimeError: export_sdf_raw: name required", "py_export_sdf_raw", "", scratch, BOX, 1.0),
        ("RuntimeError", "py_export_sdf_raw", DUPLEX, full, BOX, 0.0005),
        ("RuntimeError: No such file or directory (os error 2)",
         "py_export_sdf_raw", DUPLEX, os.path.join(missing, "v.raw"), BOX, 0.0005),
        ("RuntimeError: Is a directory (os error 21)", "py_export_sdf_raw", DUPLEX, out, BOX, 0.0005),
        (huge_grid, "py_export_sdf_raw", DUPLEX, os.path.join(out, "v.raw"), HUGE_BOX, 5e-324),
        ("RuntimeError", "py_export_sdf_raw", LONG, os.path.join(out, "v.raw"), BOX, 0.0005),
        ("RuntimeError: export_sdf_raw: voxel_size must be positive",
         "py_export_sdf_raw", DUPLEX, os.path.join(out, "v.raw"), BOX, -1.0),
        ("RuntimeError", "py_export_sdf_raw", DUPLEX, os.path.join(out, "v.json"), BOX, 0.0005),
        ("RuntimeError", "py_export_sdf_raw", DUPLEX, os.path.join(tmp, "d.raw"), BOX, 0.0005),
        (nul_refused, "py_export_sdf_raw", DUPLEX, nul, BOX, 0.0005),
        (f"{PANIC}: voxel_phase_map: voxel_size must be positive",
         "py_export_sdf_raw", DUPLEX, os.path.join(out, "v.raw"), BOX, math.nan),
        ("TypeError: argument 'mode': 'NoneType' object cannot be converted to 'PyString'",
         "py_export_sdf_raw", "", scratch, BOX, 1.0, None, None),
        # py_export_vtk_legacy
        ("ok", "py_export_vtk_legacy", DUPLEX, os.path.join(out, "v.vtk"), BOX, 0.0005, ["Density_kg_m3"]),
        ("ok", "py_export_vtk_legacy", DUPLEX, os.path.join(out, "v.vtk"), BOX, 0.0005, ["Density_kg_m3", LONG]),
        ("RuntimeError", "py_export_vtk_legacy", DUPLEX, full, BOX, 0.0005, ["Density_kg_m3"]),
        ("RuntimeError: export_vtk_legacy: name required", "py_export_vtk_legacy", "", scratch, BOX, 1.0),
        ("RuntimeError: export_vtk_legacy: voxel_size must be positive",
         "py_export_vtk_legacy", DUPLEX, scratch, BOX, -1.0),
        ("RuntimeError: Is a directory (os error 21)", "py_export_vtk_legacy", DUPLEX, out, BOX, 0.0005),
        ("RuntimeError", "py_export_vtk_legacy", DUPLEX, os.path.join(below_file, "v.vtk"), BOX, 0.0005),
        (huge_grid, "py_export_vtk_legacy", DUPLEX, os.path.join(out, "v.vtk"), HUGE_BOX, 5e-324),
        (nul_refused, "py_export_vtk_legacy", DUPLEX, nul, BOX, 0.0005),
        (f"{PANIC}: voxel_sample: property must be non-empty",
         "py_export_vtk_legacy", DUPLEX, os.path.join(out, "v.vtk"), BOX, 0.0005, ["ok", ""]),
        ("TypeError: argument 'bounds': expected tuple of length 3, but got tuple of length 2",
         "py_export_vtk_legacy", "", scratch, ((0, 0, 0), (1, 1)), 1.0),
        # py_export_stl
        ("ok", "py_export_stl", DUPLEX, os.path.join(out, "s.stl"), BOX, 0.0005),
        ("ok", "py_export_stl", DUPLEX, os.path.join(out, "t.stl"), BOX, 0.0005, None, False),
        ("RuntimeError", "py_export_stl", DUPLEX, full, BOX, 0.0005),
        ("RuntimeError", "py_export_stl", DUPLEX, full, BOX, 0.0005, None, False),
        ("RuntimeError: export_stl: name required", "py_export_stl", "", scratch, BOX, 1.0),
        ("RuntimeError: export_stl: voxel_size must be positive", "py_export_stl", DUPLEX, scratch, BOX, 0.0),
        ("RuntimeError: No such file or directory (os error 2)",
         "py_export_stl", DUPLEX, os.path.join(missing, "s.stl"), BOX, 0.0005),
        ("RuntimeError: Is a directory (os error 21)", "py_export_stl", DUPLEX, out, BOX, 0.0005, None, False),
        ("RuntimeError", "py_export_stl", DUPLEX, os.path.join(below_file, "s.stl"), BOX, 0.0005),
        ("RuntimeError", "py_export_stl", LONG, os.path.join(out, "s.stl"), BOX, 0.0005),
        (huge_grid, "py_export_stl", DUPLEX, os.path.join(out, "s.stl"), HUGE_BOX, 5e-324),
        (nul_refused, "py_export_stl", DUPLEX, nul, BOX, 0.0005),
        (nul_refused, "py_export_stl", DUPLEX, nul, BOX, 0.0005, None, False),
        (f"{PANIC}: voxel_phase_map: voxel_size must be positive",
         "py_export_stl", "Fe", os.path.join(out, "s.stl"), BOX, math.nan),
        ("TypeError: py_export_stl() missing 4 required positional arguments: 'name', 'out_path', 'bounds', and "
         "'voxel_size'", "py_export_stl"),
        ("TypeError: argument 'binary': 'NoneType' object cannot be converted to 'PyBool'",
         "py_export_stl", "", scratch, BOX, 1.0, None, None),
        # py_export_obj
        ("ok", "py_export_obj", DUPLEX, os.path.join(out, "m.obj"), BOX, 0.0005),
        ("RuntimeError", "py_export_obj", DUPLEX, fifo, BOX, 0.0005),
        ("RuntimeError", "py_export_obj", DUPLEX, os.path.join(out, "m.mtl"), BOX, 0.0005),  # its own MTL
        ("RuntimeError", "py_export_obj", DUPLEX, os.path.join(below_file, "m.obj"), BOX, 0.0005),
        ("RuntimeError: export_obj: voxel_size must be positive",
         "py_export_obj", DUPLEX, os.path.join(out, "m.obj"), BOX, 0.0),
        ("RuntimeError: export_obj: name required", "py_export_obj", "", scratch, BOX, 1.0),
        ("RuntimeError", "py_export_obj", LONG, os.path.join(out, "m.obj"), BOX, 0.0005),
        (nul_refused, "py_export_obj", DUPLEX, nul, BOX, 0.0005),
        ("TypeError: argument 'bounds': 'list' object cannot be converted to 'PyTuple'",
         "py_export_obj", "", scratch, list(BOX), 1.0),
        # py_bake_fourier
        ("ok", "py_bake_fourier", DUPLEX, "Density_kg_m3", BOX, (4, 3, 2)),
        ("ok", "py_bake_fourier", "Fe", "Density_kg_m3", BOX, (2, 1, 1), 0.0),
        ("ok", "py_bake_fourier", DUPLEX, LONG, BOX, (2, 2, 2)),
        ("ValueError: entry_name must not be empty", "py_bake_fourier", "", "p", BOX, (0, 1, 1), math.nan),
        ("ValueError: truncate_threshold must be a non-negative finite value",
         "py_bake_fourier", DUPLEX, "Density_kg_m3", BOX, (4, 3, 2), math.nan),
        ("ValueError: truncate_threshold must be a non-negative finite value",
         "py_bake_fourier", "Fe", "d", BOX, (1, 1, 1), -1e-9),
        ("ok", "py_bake_fourier", "Fe", "d", BOX, (1, 1, 1), -0.0),
        ("ValueError: grid_size must be non-zero in all dimensions",
         "py_bake_fourier", DUPLEX, "Density_kg_m3", BOX, (0, 3, 2), -1),
        ("ValueError: property must not be empty", "py_bake_fourier", "NoSuchEntry", "", BOX, (0, 1, 1)),
        ("ValueError: sample::lookup_entry: no datasheet found for 'NoSuchEntry'",
         "py_bake_fourier", "NoSuchEntry", "d", BOX, (1, 1, 1)),
        ("ValueError", "py_bake_fourier", DUPLEX, "Density_kg_m3", BOX, (1 << 40, 1 << 20, 1 << 3)),
        ("ValueError: grid_size (1000000000, 1000000000, 1000000000) is too large to allocate",
         "py_bake_fourier", "Fe", "d", BOX, (10**9, 10**9, 10**9)),
        ("ValueError: grid_size (18446744073709551615, 2, 1) is too large to allocate",
         "py_bake_fourier", "Fe", "d", BOX, (2**64 - 1, 2, 1)),
        ("ValueError", "py_bake_fourier", LONG, LONG, BOX, (2, 2, 2)),
        ("TypeError: argument 'grid_size': 'list' object cannot be converted to 'PyTuple'",
         "py_bake_fourier", "", "", BOX, [1, 1, 1]),
        ("TypeError: argument 'truncate_threshold': must be real number, not NoneType",
         "py_bake_fourier", "", "", BOX, (1, 1, 1), None),
        ("TypeError: argument 'grid_size': 'float' object cannot be interpreted as an integer",
         "py_bake_fourier", DUPLEX, "Density_kg_m3", BOX, (2, 2.0, 2)),
        ("OverflowError: can't convert negative int to unsigned",
         "py_bake_fourier", DUPLEX, "Density_kg_m3", BOX, (2, -2, 2)),
        # tessarine._tessarine_ext: names
        ("ok", "ext.tier_names"),
        ("TypeError", "ext.tier_names", 1),
        ("ok", "ext.tier_index", "Alloys"),
        ("ok", "ext.tier_index", LONG),
        ("TypeError: argument 'word': 'int' object cannot be converted to 'PyString'", "ext.tier_index", 3),
        ("UnicodeEncodeError: utf-8", "ext.tier_index", "\ud800"),
        ("ok", "ext.resolve", "Fe", 12),
        ("ok", "ext.resolve", "iron", Index()),
        ("ok", "ext.resolve", LONG, 255),
        ("OverflowError: can't convert negative int to unsigned", "ext.resolve", "Fe", -1),
        ("TypeError: argument 'scope': 'float' object cannot be interpreted as an integer", "ext.resolve", "Fe", 1.0),
        ("ArithmeticError", "ext.resolve", "Fe", BadIndex()),
        ("ok", "ext.entry_names", 3),
        ("ok", "ext.entry_names", 12),
        ("OverflowError", "ext.entry_names", 1 << 70),
        ("ok", "ext.lookup_keys", 12),
        ("TypeError", "ext.lookup_keys", "atom"),
        ("ok", "ext.parse_formula", "{Fe=2, Ni=1}"),
        ("ok", "ext.parse_formula", "Fe"),
        ("ValueError: invalid formula: { ,Fe=1}", "ext.parse_formula", "{ ,Fe=1}"),
        ("ValueError", "ext.parse_formula", "{Fe=" + LONG + "}"),
        ("ok", "ext.mtl_path", os.path.join(out, "m.obj")),
        ("ok", "ext.sidecar_path", LONG + ".raw"),
        ("TypeError: argument 'raw_path': 'bytes' object cannot be converted to 'PyString'", "ext.sidecar_path", b"x"),
        # tessarine._tessarine_ext: grids and coordinates as buffers
        ("ok", "ext.voxel_grid", DUPLEX, BOX, 0.0005),
        ("ok", "ext.voxel_grid", "Fe", BOX, 0.0005, 0.001),
        ("ValueError: sample::lookup_entry: no datasheet found for 'nope'", "ext.voxel_grid", "nope", BOX, 0.0005),
        ("ValueError", "ext.voxel_grid", LONG, BOX, 0.0005),
        ("ValueError", "ext.voxel_grid", DUPLEX, HUGE_BOX, 5e-324),
        (f"{PANIC}: voxel_phase_map: voxel_size must be positive", "ext.voxel_grid", DUPLEX, BOX, math.nan),
        ("TypeError: argument 'bounds': 'list' object cannot be converted to 'PyTuple'",
         "ext.voxel_grid", "", list(BOX), 1.0),
        ("ok", "ext.property_grid", DUPLEX, "Density_kg_m3", BOX, 0.0005, (4, 2, 2)),
        ("ok", "ext.property_grid", LONG, LONG, BOX, 0.0005, (2, 1, 1), 0.001),
        (f"{PANIC}: voxel_sample: name must be non-empty", "ext.property_grid", "", "d", BOX, 0.0005, (1, 1, 1)),
        (f"{PANIC}: voxel_sample: property must be non-empty", "ext.property_grid", "Fe", "", BOX, 0.0005, (1, 1, 1)),
        (f"{PANIC}: voxel_sample: counts out of range", "ext.property_grid", "Fe", "d", BOX, 0.0005, (1 << 40, 1 << 20, 8)),
        (f"{PANIC}: voxel_sample: voxel_size must be positive", "ext.property_grid", "Fe", "d", BOX, math.nan, (1, 1, 1)),
        ("OverflowError", "ext.property_grid", "Fe", "d", BOX, 0.0005, (1, -1, 1)),
        ("ok", "ext.build_backbone", "ACDEFG" * 4, rows_of([-57.0, -47.0] * 24, 2)),
        ("ok", "ext.build_backbone", "AX", rows_of([], 2)),
        (f"{PANIC}: build_backbone: sequence must be non-empty", "ext.build_backbone", "", rows_of([], 2)),
        ("TypeError: argument 'phi_psi_deg': expected a C-contiguous float64 buffer of shape (n, 2)",
         "ext.build_backbone", "AA", rows_of([0.0] * 6, 3)),
        ("TypeError", "ext.build_backbone", "AA", rows_of([0.0] * 4, 2, ctypes.c_float)),
        ("TypeError", "ext.build_backbone", "AA", memoryview(array("d", [0.0] * 4))),
        ("TypeError: argument 'phi_psi_deg': a bytes-like object is required, not 'list'",
         "ext.build_backbone", "AA", [[1.0, 2.0]]),
        ("BufferError", "ext.build_backbone", "AA", memoryview(array("d", [0.0] * 8))[::2]),
        ("ok", "ext.build_backbone_from_entry", "PolyAlanineHelix"),
        ("KeyError: build_backbone_from_entry: entry 'nope' not found", "ext.build_backbone_from_entry", "nope"),
        ("KeyError", "ext.build_backbone_from_entry", LONG),
        ("ValueError: build_backbone_from_entry: entry 'Fe' has no 'residues' array",
         "ext.build_backbone_from_entry", "Fe"),
        (f"{PANIC}: build_backbone_from_entry: name must be non-empty", "ext.build_backbone_from_entry", ""),
        ("ok", "ext.kabsch_rmsd", rows_of(sum(big_rows, []), 3), rows_of(sum(moved, []), 3)),
        ("ValueError: kabsch_rmsd: shape mismatch ([64, 3] vs [5, 3])",
         "ext.kabsch_rmsd", rows_of(sum(big_rows, []), 3), rows_of(sum(moved[:5], []), 3)),
        ("ValueError: kabsch_rmsd: empty input", "ext.kabsch_rmsd", rows_of([], 3), rows_of([], 3)),
        ("TypeError: argument 'b': a bytes-like object is required, not 'list'",
         "ext.kabsch_rmsd", rows_of([0.0] * 3, 3), [[0.0] * 3]),
        ("TypeError", "ext.kabsch_rmsd", rows_of([0.0] * 6, 2), rows_of([0.0] * 6, 3)),
        ("ok", "ext.set_poll_hook", lambda done, total, final: None),
        ("ok", "ext.set_poll_hook"),
        ("TypeError", "ext.set_poll_hook", 5),
        # is_rust_backend, version_rust
        ("ok", "is_rust_backend"),
        ("ok", "version_rust"),
        ("TypeError", "is_rust_backend", 1),
        ("TypeError", "version_rust", Kw(x=1)),
    ]


def split(row: tuple) -> tuple[str, str, tuple, dict]:
    """A row as (expected, function name, positional arguments, keyword arguments)."""
    expected, fn, *args = row
    kwargs = args.pop() if args and isinstance(args[-1], Kw) else {}
    return expected, fn, tuple(args), dict(kwargs)


def outcome(fn: str, args: tuple, kwargs: dict) -> tuple[str, str]:
    """("ok", "") or the exception's class name and single argument."""
    try:
        function(fn)(*args, **kwargs)
    except BaseException as e:  # noqa: BLE001 - PanicException derives from BaseException
        if isinstance(e, (KeyboardInterrupt, SystemExit)):
            raise
        return type(e).__name__, str(e.args[0]) if e.args else ""
    return "ok", ""


def mismatch(row: tuple) -> str | None:
    """How the call of `row` went otherwise than expected, or None."""
    expected, fn, args, kwargs = split(row)
    cls, message = outcome(fn, args, kwargs)
    got = f"{cls}: {message}" if ": " in expected else cls
    return None if got == expected else f"{fn}{args!r:.200} {kwargs!r:.100}: expected {expected!r:.300}, got {got!r:.300}"


def run(rows: list[tuple], rounds: int = 1) -> None:
    """Runs every call `rounds` times; raises AssertionError on an unexpected outcome."""
    for _ in range(rounds):
        for row in rows:
            if (wrong := mismatch(row)) is not None:
                raise AssertionError(wrong)


def stub() -> dict[str, tuple[list[tuple[str, str]], str]]:
    """Per function of the generated stubs, as rows name them: its (parameter, annotation) pairs and its
    return annotation."""
    found = {}
    for module, prefix in ((core, ""), (ext, EXT)):
        tree = ast.parse(Path(module.__file__).with_name(module.__name__.rpartition(".")[2] + ".pyi").read_text())
        found |= {prefix + f.name: ([(a.arg, ast.unparse(a.annotation)) for a in f.args.args], ast.unparse(f.returns))
                  for f in tree.body if isinstance(f, ast.FunctionDef)}
    return found


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as tmp_dir:
        run(calls(tmp_dir), int(sys.argv[1]) if len(sys.argv) > 1 else 1)
    print("ok")
