"""The public API: names resolved everywhere, errors that help, arrays in and out."""

from __future__ import annotations

import doctest
import errno
import gc
import importlib
import json
import math
import os
import pickle
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import tessarine
from tessarine import _tessarine_core as core

HERE = Path(__file__).resolve().parent
BOX = ((0.0, 0.0, 0.0), (0.003, 0.002, 0.002))
DUPLEX = "DuplexSteel2205"


def _out(tmp: Path, suffix: str) -> Path:
    return tmp / f"x.{suffix}"


# Every public function that takes an entry name, called with that name.
NAMED = {
    "Get": lambda n, tmp: tessarine.Get(n),
    "resolve": lambda n, tmp: tessarine.resolve(n),
    "sample": lambda n, tmp: tessarine.sample.sample(n, "Density_kg_m3"),
    "data_sheet": lambda n, tmp: tessarine.data_sheet(n),
    "voxel_grid": lambda n, tmp: tessarine.voxel_grid(n, BOX, 0.001).phase_ids,
    "export_glsl": lambda n, tmp: tessarine.export_glsl(n),
    "export_hlsl": lambda n, tmp: tessarine.export_hlsl(n, _out(tmp, "hlsl")).read_text(),
    "export_obj": lambda n, tmp: tessarine.export_obj(n, _out(tmp, "obj"), BOX, 0.001)[0].read_text(),
    "export_stl": lambda n, tmp: tessarine.export_stl(n, _out(tmp, "stl"), BOX, 0.001).read_bytes(),
    "export_vtk": lambda n, tmp: tessarine.export_vtk(n, _out(tmp, "vtk"), BOX, 0.001).read_text(),
    "export_raw": lambda n, tmp: tessarine.export_raw(n, _out(tmp, "raw"), BOX, 0.001).read_bytes(),
    "bake": lambda n, tmp: tessarine.bake(n, "Density_kg_m3", BOX, (2, 2, 1)).to_dict(),
    "optimize_alloy base": lambda n, tmp: tessarine.optimize_alloy(
        [{"property": "Density_kg_m3"}], n, ["Ni"], n_candidates=20, seed=3),
    "optimize_alloy pool": lambda n, tmp: tessarine.optimize_alloy(
        [{"property": "Density_kg_m3"}], "Ni", [n], n_candidates=20, seed=3),
}  # fmt: skip


def _same(a: object, b: object) -> bool:
    if isinstance(a, np.ndarray):
        return bool(np.array_equal(a, b))  # type: ignore[arg-type]
    if isinstance(a, list) and a and isinstance(a[0], tessarine.AlloyCandidate):
        return [vars(c) for c in a] == [vars(c) for c in b]  # type: ignore[attr-defined]
    return a == b


@pytest.mark.parametrize("call", NAMED.values(), ids=NAMED.keys())
def test_names_resolve_suggest_and_are_checked(call, tmp_path: Path) -> None:
    # A loose name does what the exact entry name does.
    exact = call("Cu", tmp_path)
    assert _same(call("copper", tmp_path), exact)
    # A misspelt name: a NotFoundError (a KeyError and a TessarineError) naming close keys.
    with pytest.raises(tessarine.NotFoundError) as info:
        call("Coper", tmp_path)
    exc = info.value
    assert isinstance(exc, KeyError) and isinstance(exc, tessarine.TessarineError)
    assert exc.name == "Coper" and exc.tier is None and "copper" in exc.suggestions
    assert str(exc).startswith("no datasheet named 'Coper'; did you mean ") and str(exc).endswith("?")
    copy = pickle.loads(pickle.dumps(exc))  # as multiprocessing hands it back
    assert (str(copy), copy.name, copy.suggestions) == (str(exc), exc.name, exc.suggestions)
    # Empty and wrong-typed names are argument errors, not internal failures.
    with pytest.raises(ValueError, match="must be a non-empty str: an entry name, symbol or alias"):
        call("", tmp_path)
    with pytest.raises(TypeError, match="must be a str, not int"):
        call(3, tmp_path)


def test_tiers_and_formulas() -> None:
    assert tessarine.list_tiers()[:4] == ["subatomic", "atom", "molecule", "alloy"]
    assert tessarine.Get("s", "Amino_Acids")["Name"] == "Serine"
    assert tessarine.resolve("S", "amino_acid") == ("amino_acid", "Serine")
    with pytest.raises(ValueError, match=r"unknown tier 'metals': expected one of subatomic, atom, .*biomaterial"):
        tessarine.Get("Fe", "metals")
    with pytest.raises(tessarine.NotFoundError, match=r"^no datasheet named 'Fe' in tier 'alloy'$") as info:
        tessarine.Get("Fe", "alloys")
    assert info.value.tier == "alloy"
    assert "Steel" in tessarine.names("alloy") and len(tessarine.names()) == len(set(tessarine.names()))
    assert tessarine.Get("{Fe=1000}")["formula"] == "Fe1000"
    with pytest.raises(ValueError, match="formula count 1001 of 'Fe' is above 1000"):
        tessarine.Get("{Fe=1001}")  # the core would abandon the call with a PanicException
    with pytest.raises(tessarine.NotFoundError, match="no datasheet named 'Nix'; did you mean 'Ni'") as info:
        tessarine.Get("{Fe=2, Nix=1}")
    assert info.value.name == "Nix"
    with pytest.raises(ValueError, match=r"^invalid formula: \{Fe\}: write a formula"):
        tessarine.Get("{Fe}")
    with pytest.raises(ValueError, match="braced formula"):
        tessarine.resolve("{Fe=1}")


def test_save() -> None:
    assert tessarine.Save("ApiSaved", {"Symbol": "ApS", "Density_kg_m3": 1.5}, "Alloys") is None
    assert tessarine.Save("ApiSaved", '{"Density_kg_m3": 2}', "alloy") == {"Density_kg_m3": 1.5, "Symbol": "ApS"}
    assert tessarine.sample.sample("ApiSaved", "Density_kg_m3") == 2.0
    with pytest.raises(tessarine.DataError, match="^data_json is not valid JSON: "):
        tessarine.Save("ApiBad", "{oops}", "alloy")
    with pytest.raises(tessarine.DataError, match="cannot be encoded as JSON"):
        tessarine.Save("ApiBad", {"x": math.nan}, "alloy")
    with pytest.raises(ValueError, match="unknown tier 'metal'"):
        tessarine.Save("ApiBad", {}, "metal")
    with pytest.raises(TypeError, match="tier must be a str, not NoneType"):
        tessarine.Save("ApiBad", {}, None)  # type: ignore[arg-type]
    with pytest.raises(tessarine.NotFoundError):
        tessarine.Get("ApiBad")


# Bad arguments the core would turn into PanicException or a bare RuntimeError,
# or accept silently.
BAD = [
    (lambda: tessarine.sample.sample("Steel", ""), ValueError, "property must be a non-empty str"),
    (lambda: tessarine.sample.sample("Steel", "density"), tessarine.NotFoundError,
     "Steel has no numeric property 'density'; did you mean 'Density_kg_m3'?"),
    (lambda: tessarine.sample.sample("Steel", "Density_kg_m3", scale_m=0), ValueError, "scale_m must be positive"),
    (lambda: tessarine.voxel_grid("Steel", BOX, math.nan), ValueError, "voxel_size must be finite"),
    (lambda: tessarine.voxel_grid("Steel", BOX, -1), ValueError, "voxel_size must be positive"),
    (lambda: tessarine.voxel_grid("Steel", BOX, 1e-9), ValueError, "voxel_phase_map: a grid of"),
    (lambda: tessarine.voxel_grid("Steel", (BOX[1], BOX[0]), 0.001), ValueError, "max >= min on every axis"),
    (lambda: tessarine.voxel_grid("Steel", BOX, 0.001).property("Nope"), tessarine.NotFoundError, "no numeric"),
    (lambda: tessarine.export_raw("Steel", "x.raw", BOX, 0.001, mode="Phase"), ValueError,
     "mode must be 'phase' or 'occupancy', got 'Phase'"),
    (lambda: tessarine.export_vtk("Steel", "x.vtk", BOX, 0.001, [""]), ValueError, r"properties\[0\] must be"),
    (lambda: tessarine.export_vtk("Steel", "x.vtk", BOX, 0.001, ["Density"]), tessarine.NotFoundError,
     "did you mean 'Density_kg_m3'"),
    (lambda: tessarine.export_hlsl("Steel", "x.hlsl", "Density_kg_m3"), TypeError, "sequence of str"),
    (lambda: tessarine.export_stl("Steel", b"x.stl", BOX, 0.001), TypeError, "not a bytes path"),
    (lambda: tessarine.bake("Steel", "Density_kg_m3", BOX, (0, 1, 1)), ValueError, "grid_size must be at least 1"),
    (lambda: tessarine.bake("Steel", "Density_kg_m3", BOX, (2.5, 1, 1)), ValueError, "must hold whole numbers"),
    (lambda: tessarine.bake("Steel", "Density_kg_m3", BOX, ("2", 1, 1)), TypeError, "grid_size must be an int"),
    (lambda: tessarine.bake("Steel", "Density_kg_m3", BOX, (2, 1, 1), -0.1), ValueError, "must not be negative"),
    (lambda: tessarine.bake("Steel", "Density", BOX, (2, 1, 1)), tessarine.NotFoundError, "no numeric property"),
    (lambda: tessarine.build_backbone("", [(0, 0)]), ValueError, "sequence must be a non-empty str"),
    (lambda: tessarine.build_backbone_from_entry("Steel"), tessarine.DataError, "has no 'residues' array"),
    (lambda: tessarine.optimize_alloy([], "Fe"), ValueError, "at least one"),
    (lambda: tessarine.optimize_alloy([{"prop": "x"}], "Fe"), ValueError, r"unknown target keys \['prop'\]"),
    (lambda: tessarine.optimize_alloy([{"property": ""}], "Fe"), ValueError, "Target.property must be a non-empty"),
    (lambda: tessarine.optimize_alloy([{"property": "x", "min_value": 2, "max_value": 1}], "Fe"), ValueError,
     "no candidate could pass"),
    (lambda: tessarine.optimize_alloy([{"property": "x", "weight": math.nan}], "Fe"), ValueError, "finite"),
    (lambda: tessarine.optimize_alloy([{"property": "x"}], "Fe", seed=-1), ValueError, "seed must be at least 0"),
    (lambda: tessarine.optimize_alloy([{"property": "x"}], "Fe", seed=2**64), ValueError, "below 2\\*\\*64"),
    (lambda: tessarine.optimize_alloy([{"property": "x"}], "Fe", n_candidates=True), TypeError, "not bool"),
]  # fmt: skip


@pytest.mark.parametrize("call, cls, message", BAD)
def test_bad_arguments_raise_ordinary_exceptions(call, cls, message, tmp_path: Path, monkeypatch) -> None:
    monkeypatch.chdir(tmp_path)
    with pytest.raises(cls, match=message) as info:
        call()
    assert type(info.value) is not RuntimeError
    assert not os.listdir(tmp_path)  # nothing written


ARRAYS = {
    "list": lambda v: v,
    "tuple": lambda v: tuple(tuple(r) if isinstance(r, list) else r for r in v),
    "float32 array": lambda v: np.asarray(v, dtype=np.float32),
    "int array": lambda v: np.asarray(v, dtype=np.int64),
    "Fortran-ordered array": lambda v: np.asfortranarray(np.asarray(v, dtype=np.float64)),
}


@pytest.mark.parametrize("convert", ARRAYS.values(), ids=ARRAYS.keys())
def test_array_likes_in(convert) -> None:
    a = [[0, 0, 0], [1, 0, 0], [0, 2, 0], [0, 0, 3]]
    b = [[5, 0, 0], [5, 1, 0], [3, 0, 0], [5, 0, 3]]  # a turned and moved
    assert tessarine.kabsch_rmsd(convert(a), convert(b)) == pytest.approx(0.0, abs=1e-12)
    angles = [[-60, -45], [-60, -45], [-120, 130]]
    expected = core.py_build_backbone("AAG", [(-60.0, -45.0), (-60.0, -45.0), (-120.0, 130.0)])
    assert tessarine.build_backbone("AAG", convert(angles)).to_records() == expected
    at = [0, 0, 0] if not isinstance(convert([1]), tuple) else (0, 0, 0)
    assert tessarine.sample.sample(DUPLEX, "Density_kg_m3", convert(at), 0.001) in (7750.0, 7900.0)
    box = [[0, 0, 0], [2, 2, 1]]
    grid = tessarine.voxel_grid(DUPLEX, convert(box), 0.5, 0.001)
    assert grid.shape == (2, 4, 4)
    field = tessarine.bake(DUPLEX, "Density_kg_m3", convert(box), convert([2, 2, 1]))
    assert field.grid_size == (2, 2, 1)
    assert tessarine.ramachandran_region(convert([-60, 60]), convert([-45, 45])).tolist() == ["alpha_helix",
                                                                                              "left_alpha"]


@pytest.mark.parametrize("call, message", [
    (lambda: tessarine.kabsch_rmsd(np.zeros((5, 2)), np.zeros((5, 2))), r"a must have shape \(N, 3\), got \(5, 2\)"),
    (lambda: tessarine.kabsch_rmsd(np.zeros((5, 3)), np.zeros((4, 3))), "same number of points, got 5 and 4"),
    (lambda: tessarine.kabsch_rmsd([[0, 0, math.inf]], [[0, 0, 0]]), "a must hold finite numbers"),
    (lambda: tessarine.kabsch_rmsd(np.ones((2, 3)), [[0, 0, 0], [math.nan, 0, 0]]), "b must hold finite numbers"),
    (lambda: tessarine.kabsch_rmsd([[0, 0, 0], [1, 2]], [[0, 0, 0]] * 2), r"a must be numbers of shape \(N, 3\)"),
    (lambda: tessarine.build_backbone("AA", [(0, 0, 0)]), r"phi_psi_deg must have shape \(N, 2\), got \(1, 3\)"),
    (lambda: tessarine.sample.sample("Steel", "Density_kg_m3", [0, 0]), r"at must have shape \(3,\), got \(2,\)"),
    (lambda: tessarine.voxel_grid("Steel", [0, 0, 0, 1, 1, 1], 0.1), r"bounds must have shape \(2, 3\), got \(6,\)"),
    (lambda: tessarine.bake("Steel", "Density_kg_m3", BOX, (2, 2)), "grid_size must hold three positive ints"),
    (lambda: tessarine.bake(DUPLEX, "Density_kg_m3", BOX, (2, 1, 1)).evaluate([1, 2]), r"\(\.\.\., 3\)"),
])  # fmt: skip
def test_shapes_are_checked(call, message) -> None:
    with pytest.raises(ValueError, match=message):
        call()


def test_arrays_out_match_the_files(tmp_path: Path) -> None:
    box, voxel, scale = ((-0.0021, 0.0003, 0.0), (0.0019, 0.0034, 0.0012)), 0.0002, 0.0005
    grid = tessarine.voxel_grid(DUPLEX, box, voxel, scale)
    nz, ny, nx = grid.shape
    assert grid.phase_ids.dtype == np.int32 and grid.phase_ids.flags.writeable
    raw = tessarine.export_raw(DUPLEX, tmp_path / "g.raw", box, voxel, scale)
    side = json.loads(raw.with_suffix(".json").read_text())
    assert side["shape_xyz"] == [nx, ny, nz] and tuple(side["phase_names"]) == grid.phase_names
    assert np.array_equal(np.fromfile(raw, "<f4").reshape(nz, ny, nx), grid.phase_ids)
    # property() holds the values the VTK writer prints, in its order.
    props = ["Density_kg_m3", "ThermalConductivity_W_mK"]
    lines = tessarine.export_vtk(DUPLEX, tmp_path / "g.vtk", box, voxel, props, scale).read_text().splitlines()
    for prop in props:
        start = lines.index(f"SCALARS {prop} float 1") + 2
        values = grid.property(prop)
        assert values.shape == grid.shape and len(set(values.flat)) == 2
        assert lines[start : start + values.size] == [f"{v:.6f}" for v in values.ravel()]
    # A long backbone: coordinates as one array, the same numbers as the core's dicts.
    rng = np.random.default_rng(5)
    angles = rng.uniform(-180, 180, size=(10_000, 2))
    backbone = tessarine.build_backbone("ACDEFGHIKL" * 1000, angles)
    assert backbone.xyz.shape == (30_000, 3) and backbone.res_idx[-1] == 9_999
    records = core.py_build_backbone("ACDEFGHIKL" * 1000, [tuple(p) for p in angles.tolist()])
    assert backbone.to_records() == records
    # The arrays hold the core's numbers in place: they outlive their result and are the caller's to write.
    xyz = tessarine.build_backbone("ACDEFGHIKL" * 1000, angles).xyz
    gc.collect()
    xyz[0] += 1.0
    assert np.array_equal(xyz[1:], backbone.xyz[1:]) and xyz[0, 0] == backbone.xyz[0, 0] + 1.0
    assert tessarine.build_backbone_from_entry("polyproline ii").sequence == "".join(
        r["residue"][0] for r in tessarine.Get("PolyprolineII")["residues"])  # fmt: skip


@pytest.mark.parametrize("grid", [(3, 5, 3), (4, 4, 2), (6, 1, 1), (1, 1, 1)])
def test_fourier_series_gives_back_the_samples(grid) -> None:
    box = ((0.001, -0.002, 0.0), (0.0016, -0.0015, 0.0004))
    field = tessarine.bake(DUPLEX, "YoungsModulus_GPa", box, grid, truncate_threshold=0)
    cell = np.array(field.domain_size_m) / grid
    index = np.stack(np.meshgrid(*[np.arange(n) for n in grid], indexing="ij"), axis=-1).reshape(-1, 3)
    centres = np.array(box[0]) + cell * (index + 0.5)
    sampled = np.array([tessarine.sample.sample(DUPLEX, "YoungsModulus_GPa", c, min(cell)) for c in centres])
    spread = np.ptp(sampled)
    assert spread > 0 or grid == (1, 1, 1)
    assert np.abs(field.evaluate(centres) - sampled).max() <= 1e-9 * max(spread, 1.0)
    assert field.evaluate(centres.reshape(*grid, 3)).shape == grid
    # The series is periodic over the box.
    assert field.evaluate(centres + field.domain_size_m) == pytest.approx(sampled, abs=1e-9 * max(spread, 1.0))


def test_export_paths_and_failures(tmp_path: Path) -> None:
    obj, mtl = tessarine.export_obj("Steel", tmp_path / "a" / "s.obj", BOX, 0.001)
    assert (obj, mtl) == (tmp_path / "a" / "s.obj", tmp_path / "a" / "s.mtl") and obj.is_file()
    # A missing directory (the raw volume creates none): the file, its errno and the system's words.
    with pytest.raises(tessarine.ExportError) as info:
        tessarine.export_raw("Steel", tmp_path / "missing" / "v.raw", BOX, 0.001)
    exc = info.value
    assert isinstance(exc, OSError) and exc.errno == errno.ENOENT
    assert exc.filename == str(tmp_path / "missing" / "v.raw") and exc.strerror == "No such file or directory"
    assert not (tmp_path / "missing").exists()
    # One file of a pair fails: the error names it, and neither target is written.
    (tmp_path / "v.json").mkdir()
    (tmp_path / "v.raw").write_bytes(b"old")
    with pytest.raises(tessarine.ExportError) as info:
        tessarine.export_raw("Steel", tmp_path / "v.raw", BOX, 0.001)
    assert info.value.filename == str(tmp_path / "v.json") and (tmp_path / "v.raw").read_bytes() == b"old"
    (tmp_path / "o.obj").mkdir()
    with pytest.raises(tessarine.ExportError) as info:
        tessarine.export_obj("Steel", tmp_path / "o.obj", BOX, 0.001)
    assert info.value.filename == str(tmp_path / "o.obj") and not (tmp_path / "o.mtl").exists()
    (tmp_path / "m.mtl").mkdir()
    with pytest.raises(tessarine.ExportError) as info:
        tessarine.export_obj("Steel", tmp_path / "m.obj", BOX, 0.001)
    assert info.value.filename == str(tmp_path / "m.mtl") and not (tmp_path / "m.obj").exists()
    with pytest.raises(ValueError, match="is also where its MTL library would go"):
        tessarine.export_obj("Steel", tmp_path / "same.mtl", BOX, 0.001)


def test_alloy_search_is_the_cores() -> None:
    targets = [{"property": "CorrosionResistance_index", "min_value": 4.0, "weight": 10.0},
               {"property": "Density_kg_m3", "max_value": 8100.0}]  # fmt: skip
    expected = core.py_optimize_alloy(targets, "Fe", None, 3000, 3, 316)
    typed = [tessarine.Target("CorrosionResistance_index", 4.0, None, 10.0), targets[1]]
    ranking = tessarine.optimize_alloy(typed, "iron", n_candidates=3000, top_k=3, seed=316)
    assert [vars(c) for c in ranking] == expected


def test_modules_import_lazily_and_export_everything() -> None:
    script = (
        "import sys, tessarine\n"
        "assert 'numpy' not in sys.modules and 'tessarine.get' not in sys.modules\n"
        "tessarine.Get('steel'); tessarine.sample('steel', 'Density_kg_m3', (0, 0, 0))\n"
        "assert 'numpy' not in sys.modules\n"
        "missing = [n for n in tessarine.__all__ if not hasattr(tessarine, n)]\n"
        "assert not missing, missing\n"
        "from tessarine import py_get\n"
        "import re\n"  # the public functions that the core's doc strings name exist
        "named = re.findall(r'`(tessarine\\.\\w+\\.\\w+)`', ''.join(f.__doc__ for f in vars(tessarine._tessarine_core).values() if callable(f)))\n"
        "assert len(named) == 7, named\n"
        "for path in named:\n"
        "    module, name = path.rsplit('.', 1)\n"
        "    assert callable(getattr(__import__(module, fromlist=[name]), name)), path\n"
    )
    subprocess.run([sys.executable, "-c", script], check=True, timeout=60)


@pytest.mark.parametrize("module", ["get", "sample", "export", "optimize", "protein", "fourier"])
def test_doc_examples(module: str, tmp_path: Path, monkeypatch) -> None:
    monkeypatch.chdir(tmp_path)
    mod = importlib.import_module(f"tessarine.{module}")
    result = doctest.testmod(mod, optionflags=doctest.ELLIPSIS)
    assert result.attempted > 0 and result.failed == 0
    for name in mod.__all__:
        obj = getattr(mod, name)
        if callable(obj) and not isinstance(obj, type):
            for section in ("Returns", "Examples"):
                assert section in (obj.__doc__ or ""), f"{module}.{name}: no {section}"


def test_mypy_strict_on_the_examples_and_every_public_function(tmp_path: Path) -> None:
    files = [str(p) for p in sorted((HERE.parent / "examples").glob("*.py"))] + [str(HERE / "api_typed.py")]
    proc = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), *files],
        capture_output=True, text=True, timeout=120,
    )  # fmt: skip
    assert proc.returncode == 0, proc.stdout + proc.stderr
    subprocess.run([sys.executable, str(HERE / "api_typed.py")], check=True, timeout=120)
