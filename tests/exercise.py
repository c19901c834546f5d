"""Every function of the native core on its success and failure paths.

Shared by the leak test (tests/test_leaks.py) and the memcheck run
(scripts/valgrind.sh). Each call is paired with the outcome it must have: "ok"
or the name of the exception class, so a call that stops taking the path it is
meant to exercise is noticed.

    python tests/exercise.py [ROUNDS]   runs every call ROUNDS times (default 1)
"""

from __future__ import annotations

import math
import os
import sys
import tempfile
from collections import UserList
from collections.abc import Callable, Sequence

import tessarine._tessarine_core as core

BOX = ((0.0, 0.0, 0.0), (0.002, 0.001, 0.001))
HUGE_BOX = ((-1e300,) * 3, (1e300,) * 3)
DUPLEX = "DuplexSteel2205"
LONG = "x" * 4096  # a leaked copy of a message that holds it shows up in the resident size
PANIC = "PanicException"
DEEP_JSON = "[" * 200 + "]" * 200  # deeper than the parser accepts


class RaisingSequence(Sequence):
    """A sequence whose iteration fails part-way."""

    def __len__(self) -> int:
        return 2

    def __getitem__(self, i: int) -> object:
        if i == 0:
            return {"property": "Density_kg_m3"}
        raise RuntimeError("broken sequence")


class BadFloat:
    def __float__(self) -> float:
        raise ZeroDivisionError("no float")


class BadIndex:
    def __index__(self) -> int:
        raise ArithmeticError("no index")


def calls(tmp: str) -> list[tuple[str, Callable[[], object]]]:
    """The calls, each with its expected outcome. `tmp` is an existing, writable directory."""
    out = os.path.join(tmp, "out")
    missing = os.path.join(tmp, "missing", "deeper")
    below_file = os.path.join(tmp, "plain", "x")
    with open(os.path.join(tmp, "plain"), "w"):
        pass
    full = "/dev/full"  # only for single-file exports: nothing may be made beside it in /dev
    fifo = os.path.join(tmp, "pipe.obj")  # no reader: refused at once
    if not os.path.exists(fifo):
        os.mkfifo(fifo)
    dangling = os.path.join(tmp, "d.json")  # the sidecar would be written over the volume
    if not os.path.lexists(dangling):
        os.symlink("d.raw", dangling)
    big_rows = [[float(i), float(i) * 2, float(i) * 3] for i in range(64)]
    moved = [[y + 1.0 for y in row] for row in big_rows]
    return [
        # py_get
        ("ok", lambda: core.py_get("Fe")),
        ("ok", lambda: core.py_get("iron", "atom")),
        ("ok", lambda: core.py_get("{Fe=2, Ni=1}")),
        ("KeyError", lambda: core.py_get(LONG)),
        ("KeyError", lambda: core.py_get("{Fe=" + LONG + "}")),  # wraps the count's parse failure
        ("KeyError", lambda: core.py_get("{Fe=1, " + LONG + "=1}")),  # wraps the unknown name
        ("KeyError", lambda: core.py_get("{ ,Fe=1}")),
        (PANIC, lambda: core.py_get("")),
        (PANIC, lambda: core.py_get("{Fe=1001}")),
        ("TypeError", lambda: core.py_get(3)),
        ("TypeError", lambda: core.py_get("Fe", 3.5)),
        ("TypeError", lambda: core.py_get()),
        ("TypeError", lambda: core.py_get("Fe", "atom", 3)),
        ("TypeError", lambda: core.py_get("Fe", tier=LONG)),
        ("TypeError", lambda: core.py_get("Fe", spec="Fe")),
        ("TypeError", lambda: core.py_get(spec="Fe", **{"\ud800": 1})),
        ("UnicodeEncodeError", lambda: core.py_get("Fe\ud800")),
        # py_save: the same name each time, so a successful call displaces the previous one
        ("ok", lambda: core.py_save("LeakProbe", '{"a": [1, 2.5, "' + LONG + '", null, {"b": true}]}', "alloy")),
        ("ValueError", lambda: core.py_save("LeakProbe", '{"a": ' + LONG, "alloy")),
        ("ValueError", lambda: core.py_save("LeakProbe", '{"a": 1} trailing', "alloy")),
        ("ValueError", lambda: core.py_save("LeakProbe", DEEP_JSON, "alloy")),
        ("ValueError", lambda: core.py_save("LeakProbe", "\ufeff{}", "alloy")),
        ("ValueError", lambda: core.py_save("LeakProbe", "{}", LONG)),
        (PANIC, lambda: core.py_save("", "{}", "alloy")),
        (PANIC, lambda: core.py_save("LeakProbe", "{}", "")),
        ("TypeError", lambda: core.py_save("LeakProbe", b"{}", "alloy")),
        # py_sample
        ("ok", lambda: core.py_sample(DUPLEX, "Density_kg_m3")),
        ("ok", lambda: core.py_sample(DUPLEX, "Density_kg_m3", (0.001, 0.002, 0.003), 0.0005)),
        ("ok", lambda: core.py_sample(DUPLEX, "Density_kg_m3", None, 0.05)),
        ("KeyError", lambda: core.py_sample(LONG, "Density_kg_m3")),
        ("KeyError", lambda: core.py_sample("Fe", LONG)),
        ("KeyError", lambda: core.py_sample(DUPLEX, LONG, (0.0, 0.0, 0.0))),
        (PANIC, lambda: core.py_sample("", "Density_kg_m3")),
        (PANIC, lambda: core.py_sample("Fe", "")),
        ("TypeError", lambda: core.py_sample("Fe", "Density_kg_m3", [0, 0, 0])),
        ("TypeError", lambda: core.py_sample("Fe", "Density_kg_m3", (0, 0))),
        ("TypeError", lambda: core.py_sample("Fe", "Density_kg_m3", (0, "x", 0))),
        ("ZeroDivisionError", lambda: core.py_sample("Fe", "Density_kg_m3", (0, BadFloat(), 0))),
        ("TypeError", lambda: core.py_sample("Fe", "Density_kg_m3", None, "1")),
        # py_data_sheet, py_list_tiers
        ("ok", lambda: core.py_data_sheet(DUPLEX)),
        ("ok", lambda: core.py_data_sheet("LeakProbe")),
        ("KeyError", lambda: core.py_data_sheet(LONG)),
        (PANIC, lambda: core.py_data_sheet("")),
        ("TypeError", lambda: core.py_data_sheet(None)),
        ("ok", core.py_list_tiers),
        ("TypeError", lambda: core.py_list_tiers(1)),
        # py_export_glsl
        ("ok", lambda: core.py_export_glsl(DUPLEX)),
        ("ok", lambda: core.py_export_glsl("Fe", False, True, False, True)),
        ("ValueError", lambda: core.py_export_glsl(LONG)),
        (PANIC, lambda: core.py_export_glsl("")),
        ("TypeError", lambda: core.py_export_glsl("Fe", include_sss=1)),
        # py_kabsch_rmsd
        ("ok", lambda: core.py_kabsch_rmsd(big_rows, moved)),
        ("ok", lambda: core.py_kabsch_rmsd([UserList(r) for r in big_rows[:5]], tuple(moved[:5]))),
        ("TypeError", lambda: core.py_kabsch_rmsd(r for r in big_rows)),
        ("ok", lambda: core.py_kabsch_rmsd([], [])),
        ("ValueError", lambda: core.py_kabsch_rmsd(big_rows, moved[:5])),
        ("ValueError", lambda: core.py_kabsch_rmsd([[1, 2]] * 3, [[1, 2, 3]] * 3)),
        ("ValueError", lambda: core.py_kabsch_rmsd([[1, 2, 3]], [])),
        ("TypeError", lambda: core.py_kabsch_rmsd("abc", [])),
        ("TypeError", lambda: core.py_kabsch_rmsd(big_rows, [[1, 2, "x"]] * 64)),
        ("TypeError", lambda: core.py_kabsch_rmsd(big_rows, [UserList([1, 2, None])] * 64)),
        ("ZeroDivisionError", lambda: core.py_kabsch_rmsd(big_rows, [[1, BadFloat(), 3]] * 64)),
        ("TypeError", lambda: core.py_kabsch_rmsd(big_rows, 5)),
        # py_build_backbone, py_build_backbone_from_entry, py_ramachandran_region
        ("ok", lambda: core.py_build_backbone("ACDEFG" * 4, [(-57.0, -47.0)] * 24)),
        ("ok", lambda: core.py_build_backbone("AX", [])),
        (PANIC, lambda: core.py_build_backbone("", [(-57, -47)])),
        ("TypeError", lambda: core.py_build_backbone("AA", [(-57, -47), (-57,)])),
        ("TypeError", lambda: core.py_build_backbone("AA", [(-57, -47), [-57, -47]])),
        ("TypeError", lambda: core.py_build_backbone("AA", "ab")),
        ("ok", lambda: core.py_build_backbone_from_entry("PolyAlanineHelix")),
        ("KeyError", lambda: core.py_build_backbone_from_entry(LONG)),
        ("KeyError", lambda: core.py_build_backbone_from_entry("Fe")),
        (PANIC, lambda: core.py_build_backbone_from_entry("")),
        ("ok", lambda: core.py_ramachandran_region(-57.0, -47.0)),
        ("ok", lambda: core.py_ramachandran_region(math.nan, math.inf)),
        ("TypeError", lambda: core.py_ramachandran_region("x", 1)),
        ("ZeroDivisionError", lambda: core.py_ramachandran_region(1, BadFloat())),
        # py_optimize_alloy
        ("ok", lambda: core.py_optimize_alloy(
            [{"property": "Density_kg_m3", "min_value": 7000, "max_value": None, "weight": "bad"}],
            "Fe", ["Ni", "Cr", "Mo"], 40, 3, 7)),
        ("ok", lambda: core.py_optimize_alloy([{"property": "\ud800", "min_value": BadFloat()}], "Fe", None, 8, 2, 1)),
        ("ValueError", lambda: core.py_optimize_alloy([], "Fe")),
        ("ok", lambda: core.py_optimize_alloy([{"property": "Density_kg_m3"}], LONG, [LONG + "y"], 4, 1, 1)),
        ("ValueError", lambda: core.py_optimize_alloy([{"property": "Density_kg_m3"}], "", None, 4, 1, 1)),
        ("TypeError", lambda: core.py_optimize_alloy([{}, 1], "Fe")),
        ("TypeError", lambda: core.py_optimize_alloy([{}], "Fe", ["Ni", 2])),
        ("RuntimeError", lambda: core.py_optimize_alloy(RaisingSequence(), "Fe")),
        ("OverflowError", lambda: core.py_optimize_alloy([{}], "Fe", seed=-1)),
        ("OverflowError", lambda: core.py_optimize_alloy([{}], "Fe", top_k=1 << 70)),
        ("ArithmeticError", lambda: core.py_optimize_alloy([{}], "Fe", n_candidates=BadIndex())),
        # py_export_hlsl
        ("ok", lambda: core.py_export_hlsl(DUPLEX, os.path.join(out, "a.hlsl"))),
        ("ok", lambda: core.py_export_hlsl("Fe", os.path.join(out, "b.hlsl"), ("Density_kg_m3", LONG))),
        ("RuntimeError", lambda: core.py_export_hlsl(DUPLEX, full)),
        ("RuntimeError", lambda: core.py_export_hlsl(DUPLEX, os.path.join(below_file, "s.hlsl"))),
        ("RuntimeError", lambda: core.py_export_hlsl(LONG, os.path.join(out, "c.hlsl"))),
        ("TypeError", lambda: core.py_export_hlsl(DUPLEX, os.path.join(out, "d.hlsl"), {"a": 1})),
        # py_export_sdf_raw
        ("ok", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "v.raw"), BOX, 0.0005)),
        ("ok", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "w.raw"), BOX, math.inf, None, "occupancy")),
        ("RuntimeError", lambda: core.py_export_sdf_raw(DUPLEX, full, BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(missing, "v.raw"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "v.raw"), HUGE_BOX, 5e-324)),
        ("RuntimeError", lambda: core.py_export_sdf_raw(LONG, os.path.join(out, "v.raw"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "v.raw"), BOX, -1.0)),
        ("RuntimeError", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "v.json"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(tmp, "d.raw"), BOX, 0.0005)),
        (PANIC, lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "v.raw"), BOX, math.nan)),
        ("TypeError", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "v.raw"), BOX, 0.0005, None, None)),
        ("TypeError", lambda: core.py_export_sdf_raw(DUPLEX, os.path.join(out, "v.raw"), list(BOX), 0.0005)),
        # py_export_vtk_legacy
        ("ok", lambda: core.py_export_vtk_legacy(DUPLEX, os.path.join(out, "v.vtk"), BOX, 0.0005, ["Density_kg_m3"])),
        ("RuntimeError", lambda: core.py_export_vtk_legacy(DUPLEX, full, BOX, 0.0005, ["Density_kg_m3"])),
        ("RuntimeError", lambda: core.py_export_vtk_legacy(DUPLEX, os.path.join(below_file, "v.vtk"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_vtk_legacy(DUPLEX, os.path.join(out, "v.vtk"), HUGE_BOX, 5e-324)),
        ("ok", lambda: core.py_export_vtk_legacy(
            DUPLEX, os.path.join(out, "v.vtk"), BOX, 0.0005, ["Density_kg_m3", LONG])),
        (PANIC, lambda: core.py_export_vtk_legacy(DUPLEX, os.path.join(out, "v.vtk"), BOX, 0.0005, ["ok", ""])),
        ("TypeError", lambda: core.py_export_vtk_legacy(DUPLEX, os.path.join(out, "v.vtk"), BOX, 0.0005, "Density")),
        # py_export_stl
        ("ok", lambda: core.py_export_stl(DUPLEX, os.path.join(out, "s.stl"), BOX, 0.0005)),
        ("ok", lambda: core.py_export_stl(DUPLEX, os.path.join(out, "t.stl"), BOX, 0.0005, None, False)),
        ("RuntimeError", lambda: core.py_export_stl(DUPLEX, full, BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_stl(DUPLEX, full, BOX, 0.0005, None, False)),
        ("RuntimeError", lambda: core.py_export_stl(DUPLEX, os.path.join(below_file, "s.stl"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_stl(LONG, os.path.join(out, "s.stl"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_stl(DUPLEX, os.path.join(out, "s.stl"), HUGE_BOX, 5e-324)),
        (PANIC, lambda: core.py_export_stl(DUPLEX, os.path.join(out, "s.stl"), BOX, math.nan)),
        ("TypeError", lambda: core.py_export_stl(DUPLEX, os.path.join(out, "s.stl"), BOX, 0.0005, None, 1)),
        # py_export_obj
        ("ok", lambda: core.py_export_obj(DUPLEX, os.path.join(out, "m.obj"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_obj(DUPLEX, fifo, BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_obj(DUPLEX, os.path.join(below_file, "m.obj"), BOX, 0.0005)),
        ("RuntimeError", lambda: core.py_export_obj(DUPLEX, os.path.join(out, "m.obj"), BOX, 0.0)),
        ("RuntimeError", lambda: core.py_export_obj(LONG, os.path.join(out, "m.obj"), BOX, 0.0005)),
        ("TypeError", lambda: core.py_export_obj(DUPLEX, os.path.join(out, "m.obj"), (BOX[0], (1, 1)), 0.0005)),
        # py_bake_fourier
        ("ok", lambda: core.py_bake_fourier(DUPLEX, "Density_kg_m3", BOX, (4, 3, 2))),
        ("ok", lambda: core.py_bake_fourier("Fe", "Density_kg_m3", BOX, (2, 1, 1), 0.0)),
        ("ValueError", lambda: core.py_bake_fourier(DUPLEX, "Density_kg_m3", BOX, (4, 3, 2), math.nan)),
        ("ValueError", lambda: core.py_bake_fourier(DUPLEX, "Density_kg_m3", BOX, (0, 3, 2))),
        ("ValueError", lambda: core.py_bake_fourier(DUPLEX, "Density_kg_m3", BOX, (1 << 40, 1 << 20, 1 << 3))),
        ("ValueError", lambda: core.py_bake_fourier("", "Density_kg_m3", BOX, (2, 2, 2))),
        ("ValueError", lambda: core.py_bake_fourier(LONG, LONG, BOX, (2, 2, 2))),
        ("ok", lambda: core.py_bake_fourier(DUPLEX, LONG, BOX, (2, 2, 2))),
        ("TypeError", lambda: core.py_bake_fourier(DUPLEX, "Density_kg_m3", BOX, (2, 2.0, 2))),
        ("OverflowError", lambda: core.py_bake_fourier(DUPLEX, "Density_kg_m3", BOX, (2, -2, 2))),
        # is_rust_backend, version_rust
        ("ok", core.is_rust_backend),
        ("ok", core.version_rust),
        ("TypeError", lambda: core.is_rust_backend(1)),
        ("TypeError", lambda: core.version_rust(x=1)),
    ]


def outcome(call: Callable[[], object]) -> str:
    try:
        call()
    except BaseException as e:  # noqa: BLE001 - PanicException derives from BaseException
        if isinstance(e, (KeyboardInterrupt, SystemExit)):
            raise
        return type(e).__name__
    return "ok"


def run(cases: list[tuple[str, Callable[[], object]]], rounds: int = 1) -> None:
    """Runs every call `rounds` times; raises AssertionError on an unexpected outcome."""
    for _ in range(rounds):
        for i, (expected, call) in enumerate(cases):
            got = outcome(call)
            if got != expected:
                raise AssertionError(f"call #{i}: expected {expected}, got {got}")


def prepare(tmp: str) -> list[tuple[str, Callable[[], object]]]:
    os.makedirs(os.path.join(tmp, "out"), exist_ok=True)
    return calls(tmp)


def covered() -> set[str]:
    """Names of the module functions that the calls reach (for the completeness check)."""
    import dis

    names: set[str] = set()
    with tempfile.TemporaryDirectory() as tmp:
        for _, call in prepare(tmp):
            code = getattr(call, "__code__", None)
            if code is None:
                names.add(call.__name__)
                continue
            names.update(ins.argval for ins in dis.get_instructions(code) if ins.opname == "LOAD_ATTR")
    return names & set(core.__all__)


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as tmp_dir:
        run(prepare(tmp_dir), int(sys.argv[1]) if len(sys.argv) > 1 else 1)
    print("ok")
