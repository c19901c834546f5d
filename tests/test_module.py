"""Module entry: registration, doc strings, warnings at import, call conventions."""

from __future__ import annotations

import ast
import inspect
import json
import os
import sys
from pathlib import Path

import pytest

import tessarine
import tessarine._tessarine_core as core

# Registration order and the exact stored doc strings of every function.
DOCS = {
    "py_get": 'py_get(spec, scope_str=None)\n--\n\nRust-accelerated twin of `tessarine.get.Get`.\n\n`scope_str` is the optional tier name (e.g. `"atom"`, `"alloy"`) or\n`None` for cross-tier search. Returns a Python `dict`.',
    "py_save": 'py_save(name, data_json, tier_str)\n--\n\nRust-accelerated twin of `tessarine.get.Save`.\n\n`data_json` is a JSON-encoded string (the dict to store);\n`tier_str` is the tier name (e.g. `"alloy"`).\nReturns the previous entry dict if one was displaced, else `None`.',
    "py_sample": "py_sample(name, property, at=None, scale_m=None)\n--\n\nRust-accelerated twin of `tessarine.sample.sample`.\n\n`at` is `(x, y, z)` or `None`; `scale_m` is a float or `None`.",
    "py_data_sheet": "py_data_sheet(name)\n--\n\nRust-accelerated twin of `tessarine.sample.data_sheet`.\n\nReturns the bulk Properties dict for the named entry.",
    "py_list_tiers": "py_list_tiers()\n--\n\nRust-accelerated twin of `tessarine.get.list_tiers`.",
    "py_export_glsl": "py_export_glsl(name, include_density=True, include_ior=True, include_sss=True, include_caustic=True)\n--\n\nRust-accelerated twin of `tessarine.export.export_glsl`.\n\nReturns a GLSL 450+ source string for the named material.",
    "py_kabsch_rmsd": "py_kabsch_rmsd(a, b)\n--\n\nCompute Kabsch RMSD (Å) between two Nx3 point sets.\n`a` and `b` are Python lists of [x, y, z] triples.",
    "py_build_backbone": "py_build_backbone(sequence, phi_psi_deg)\n--\n\nBuild a protein Cα backbone from phi/psi angles.\n`sequence` — 1-letter amino acid codes. `phi_psi_deg` — list of (phi, psi) in degrees.\nReturns list of dicts: {name, res_idx, x, y, z}.",
    "py_build_backbone_from_entry": "py_build_backbone_from_entry(entry_name)\n--\n\nBuild backbone from a tessarine protein datasheet entry name.",
    "py_ramachandran_region": 'py_ramachandran_region(phi_deg, psi_deg)\n--\n\nClassify (phi_deg, psi_deg) into Ramachandran region.\nReturns a string: "alpha_helix", "beta_sheet", "left_alpha", "polyproline_ii", or "other".',
    "py_optimize_alloy": "py_optimize_alloy(targets, base, alloying_pool=None, n_candidates=1000, top_k=5, seed=None)\n--\n\nRust-accelerated `tessarine.optimize.optimize_alloy`.\n\n`targets` — list of dicts with keys: property (str), min_value (float|None),\n  max_value (float|None), weight (float).\nReturns list of dicts: {composition, estimated_properties, score}.",
    "py_export_hlsl": "py_export_hlsl(name, out_path, properties=None)\n--\n\nWrite an HLSL shader file for the named material. Returns the output path.",
    "py_export_sdf_raw": 'py_export_sdf_raw(name, out_path, bounds, voxel_size, scale_m=None, mode="phase")\n--\n\nWrite a raw float32 SDF voxel volume + JSON sidecar. Returns output path.',
    "py_export_vtk_legacy": "py_export_vtk_legacy(name, out_path, bounds, voxel_size, properties=None, scale_m=None)\n--\n\nWrite an ASCII VTK STRUCTURED_POINTS file. Returns output path.",
    "py_export_stl": "py_export_stl(name, out_path, bounds, voxel_size, scale_m=None, binary=True)\n--\n\nWrite a binary or ASCII STL surface mesh. Returns output path.",
    "py_export_obj": "py_export_obj(name, obj_path, bounds, voxel_size, scale_m=None)\n--\n\nWrite OBJ + MTL files. Returns (obj_path, mtl_path).",
    "py_bake_fourier": "py_bake_fourier(entry_name, property, bounds, grid_size, truncate_threshold=0.01)\n--\n\nBake a material property into a Fourier expansion.\nReturns a dict: {property_name, base_value, domain_size_m, coefficients, boundary_condition}\nwhere coefficients is a list of {n, m, l, amplitude, phase}.",
    "is_rust_backend": "is_rust_backend()\n--\n\nSentinel that the Python facade can probe to confirm the Rust backend\nloaded successfully.",
    "version_rust": "version_rust()\n--\n\nReturns the underlying Rust crate version.",
}
ORDER = list(DOCS)
REGISTERED = [name for name in core.__all__ if name != "__version__"]


def test_functions_are_registered_in_table_order_with_exact_doc_strings() -> None:
    assert REGISTERED == [name for name in ORDER if name in REGISTERED]
    assert core.__all__[-1] == "__version__"
    for name in REGISTERED:
        fn = getattr(core, name)
        signature, _, description = DOCS[name].partition("\n--\n\n")
        assert fn.__text_signature__ == signature[len(name):], name
        assert fn.__doc__ == description, name
        assert fn.__module__ == "tessarine._tessarine_core"
        assert getattr(tessarine, name) is fn
    assert core.__doc__.startswith("`tessarine._tessarine_core` module entry point.\n\nOn import, resolves")


def test_stubs_follow_the_registered_functions() -> None:
    stub = Path(tessarine.__file__).with_name("_tessarine_core.pyi")
    tree = ast.parse(stub.read_text())
    stubbed = [node for node in tree.body if isinstance(node, ast.FunctionDef)]
    assert [f.name for f in stubbed] == REGISTERED
    assert (Path(tessarine.__file__).parent / "py.typed").exists()
    for f in stubbed:
        params = inspect.signature(getattr(core, f.name)).parameters
        assert [a.arg for a in f.args.args] == list(params), f.name
        defaults = [None] * (len(f.args.args) - len(f.args.defaults)) + f.args.defaults
        for (name, param), default in zip(params.items(), defaults):
            if param.default is inspect.Parameter.empty:
                assert default is None, (f.name, name)
            else:
                assert ast.literal_eval(default) == param.default, (f.name, name)
        assert f.returns is not None, f.name


def test_version_and_backend_sentinel() -> None:
    assert core.__version__ == "2.0.2" == core.version_rust() == tessarine.__version__
    assert core.is_rust_backend() is True
    with pytest.raises(TypeError, match=r"takes no arguments \(1 given\)"):
        core.version_rust(1)  # type: ignore[call-arg]


def test_argument_parsing_messages() -> None:
    cases = [
        ((), {}, "py_sample() missing 2 required positional arguments: 'name' and 'property'"),
        (("a",), {}, "py_sample() missing 1 required positional argument: 'property'"),
        (("a", "b", None, None, 5), {}, "py_sample() takes from 2 to 4 positional arguments but 5 were given"),
        (("a", "b"), {"tier": 1}, "py_sample() got an unexpected keyword argument 'tier'"),
        (("a", "b"), {"name": "c"}, "py_sample() got multiple values for argument 'name'"),
        ((3, "b"), {}, "argument 'name': 'int' object cannot be converted to 'PyString'"),
        (("a", b"b"), {}, "argument 'property': 'bytes' object cannot be converted to 'PyString'"),
        (("a", "b", [1, 2, 3]), {}, "argument 'at': 'list' object cannot be converted to 'PyTuple'"),
        (("a", "b", (1, 2)), {}, "argument 'at': expected tuple of length 3, but got tuple of length 2"),
        (("a", "b", (1, "x", 3)), {}, "argument 'at': must be real number, not str"),
        (("a", "b", None, "x"), {}, "argument 'scale_m': must be real number, not str"),
    ]
    for args, kwargs, message in cases:
        with pytest.raises(TypeError) as info:
            core.py_sample(*args, **kwargs)
        assert str(info.value) == message


def test_interpreter_conversion_errors_pass_unchanged() -> None:
    class BadFloat:
        def __float__(self) -> float:
            raise ValueError("no float for you")

    with pytest.raises(ValueError, match="^no float for you$"):
        core.py_sample("Steel", "Density_kg_m3", None, BadFloat())
    with pytest.raises(OverflowError):
        core.py_sample("Steel", "Density_kg_m3", None, 10**400)
    with pytest.raises(UnicodeEncodeError):
        core.py_sample("\ud800", "x")


def test_accepted_argument_types() -> None:
    class Name(str):
        pass

    class Index:
        def __index__(self) -> int:
            return 2

    from collections import namedtuple

    P = namedtuple("P", "x y z")
    value = core.py_sample(Name("Steel"), property="Density_kg_m3", at=P(0, Index(), 1.5), scale_m=Index())
    assert value == core.py_sample("Steel", "Density_kg_m3")


def test_sampling_the_shipped_catalogue() -> None:
    assert core.py_sample("Steel", "Density_kg_m3") == 7870.0
    assert isinstance(core.py_sample("Fe", "AtomicNumber"), float)
    assert core.py_sample("Fe", "Density_kg_m3") == 7874.0
    with pytest.raises(KeyError) as info:
        core.py_sample("Fe", "Name")
    assert info.value.args == ("sample: property 'Name' missing or non-numeric",)
    with pytest.raises(KeyError) as info:
        core.py_sample("fe", "AtomicNumber")
    assert info.value.args == ("sample::lookup_entry: no datasheet found for 'fe'",)


def test_internal_failures_are_panic_exceptions() -> None:
    with pytest.raises(BaseException) as info:
        try:
            core.py_sample("", "x")
        except Exception:  # noqa: BLE001 - must not catch it
            pytest.fail("PanicException must not derive from Exception")
    first = type(info.value)
    assert first.__name__ == "PanicException" and first.__bases__ == (BaseException,)
    assert info.value.args == ("py_sample: name must be non-empty",)
    with pytest.raises(first, match="^py_sample: property must be non-empty$"):
        core.py_sample("x", "")
    assert core.py_sample("Steel", "Density_kg_m3") == 7870.0  # later calls work


# --- import-time behaviour, in fresh interpreters -------------------------------------------

def test_missing_data_root_warns_once_and_the_module_still_works(throwaway) -> None:
    import shutil

    shutil.rmtree(throwaway.data.parent)
    proc = throwaway.run(
        """
        import sys
        import tessarine._tessarine_core as core
        del sys.modules["tessarine._tessarine_core"]
        import tessarine._tessarine_core as again
        print(again is core, core.is_rust_backend(), core.version_rust())
        try:
            core.py_sample("Fe", "x")
        except KeyError as e:
            print(e.args[0])
        """
    )
    root = throwaway.data.resolve()
    assert proc.stderr == f"tessarine_core: data load warning: data_loader::load_all_tiers: root does not exist: {root}\n"
    assert proc.stdout.splitlines() == ["True True 2.0.2", "sample::lookup_entry: no datasheet found for 'Fe'"]


def test_data_root_that_is_a_file(throwaway) -> None:
    import shutil

    shutil.rmtree(throwaway.data)
    throwaway.data.write_text("not a directory")
    proc = throwaway.run("import tessarine._tessarine_core")
    assert proc.stderr == (
        f"tessarine_core: data load warning: data_loader::load_all_tiers: root is not a directory: "
        f"{throwaway.data.resolve()}\n"
    )


def test_module_imported_without_its_package(tmp_path) -> None:
    import subprocess

    from conftest import copy_extension

    lonely = tmp_path / "lonely"
    lonely.mkdir()
    copy_extension(lonely)
    proc = subprocess.run(
        [sys.executable, "-S", "-I", "-c",
         f"import sys; sys.path.insert(0, {str(lonely)!r}); import _tessarine_core as c; print(c.is_rust_backend())"],
        capture_output=True, text=True, timeout=60,
    )
    assert proc.returncode == 0, proc.stderr
    assert proc.stderr == "tessarine_core: init warning: ModuleNotFoundError: No module named 'tessarine'\n"
    assert proc.stdout == "True\n"


def test_only_ordinary_failures_to_find_the_package_become_the_warning(throwaway) -> None:
    # The package's __file__ is read through a module __getattr__ that raises;
    # Odd is an exception whose str() raises in turn.
    source = "class Odd(Exception):\n    def __str__(self):\n        raise {}\n" \
             "del __file__\ndef __getattr__(name):\n    raise {}\n"
    for str_raises, getattr_raises, code, stderr_end in [
        ("ValueError", "LookupError(name)", 0, "tessarine_core: init warning: LookupError: __file__"),
        ("ValueError", "Odd()", 0, "tessarine_core: init warning: Odd: <exception str() failed>"),
        ("ValueError", "KeyboardInterrupt(name)", -2, "KeyboardInterrupt: __file__"),  # killed by SIGINT
        ("KeyboardInterrupt", "Odd()", -2, "KeyboardInterrupt"),
        ("ValueError", "SystemExit(7)", 7, ""),
    ]:
        (throwaway.package / "__init__.py").write_text(source.format(str_raises, getattr_raises))
        proc = throwaway.run("import tessarine._tessarine_core as c; print(c.is_rust_backend())", check=False)
        assert (proc.returncode, proc.stdout) == (code, "True\n" if code == 0 else ""), proc.stderr
        assert proc.stderr.rstrip().endswith(stderr_end), proc.stderr
        assert ("init warning" in proc.stderr) == (code == 0)


def test_loading_a_custom_catalogue(throwaway) -> None:
    throwaway.write("alloy", "A", {"d": 1})
    throwaway.write("alloy", "N", {"big": 18446744073709551615, "neg": -5})
    throwaway.write("ceramic", "A", {"d": 2})
    throwaway.write("atom", "Junk", b"\x00\xff binary junk")
    throwaway.write("atom", "Nul", b'{"d": 1}\x00{"d": 2}')
    throwaway.write("atom", "Deep", "[" * 10000 + "]" * 10000)
    throwaway.write("atom", "Huge", "[1e999]")
    (throwaway.data / "atom" / "Dir.json").mkdir()
    (throwaway.data / "atom" / "Dangling.json").symlink_to(throwaway.data / "nowhere")
    throwaway.write("no_such_tier", "B", {"d": 3})
    proc = throwaway.run(
        """
        import tessarine._tessarine_core as core
        print(core.py_sample("A", "d") in (1.0, 2.0), core.py_sample("N", "big"), core.py_sample("N", "neg"))
        for name in ["Junk", "Nul", "Deep", "Huge", "Dir", "Dangling", "B"]:
            try:
                core.py_sample(name, "d")
            except KeyError as e:
                print(e.args[0])
        """
    )
    assert proc.stderr == ""
    lines = proc.stdout.splitlines()
    assert lines[0] == "True 1.8446744073709552e+19 -5.0"
    assert lines[1:] == [f"sample::lookup_entry: no datasheet found for '{n}'" for n in
                         ["Junk", "Nul", "Deep", "Huge", "Dir", "Dangling", "B"]]


# Runs in the child: the address-space growth of the import, or (with a
# headroom) the import under a limit of that growth plus the headroom.
UNDER_LIMIT = """
    import json, resource, sys

    def vm_size():
        with open("/proc/self/status") as f:
            return next(int(l.split()[1]) * 1024 for l in f if l.startswith("VmSize:"))

    growth, headroom = {growth}, {headroom}
    before = vm_size()
    if headroom:
        limit = before + growth + headroom
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    import tessarine._tessarine_core as core
    print(json.dumps([vm_size() - before, core.py_data_sheet("Kept")]))
"""


def test_import_survives_sheets_too_large_for_memory(throwaway) -> None:
    throwaway.write("alloy", "Kept", {"a": 1})
    huge = throwaway.write("ceramic", "Sparse", b"")
    try:
        os.truncate(huge, 1 << 40)
    except OSError:
        pytest.skip("the file system refuses a sparse 1 TB file")
    if os.stat(huge).st_blocks * 512 > 1 << 20:
        huge.unlink()
        pytest.skip("the file system does not keep the file sparse")
    proc = throwaway.run("import tessarine._tessarine_core as core; print(core.py_data_sheet('Kept'))")
    assert proc.stdout == "{'a': 1}\n"
    assert proc.stderr == (f"tessarine_core: data load warning: data_loader::load_tier: cannot load {huge}: "
                           "the datasheet is too large to allocate\n")


# AddressSanitizer reserves its heap and shadow address space up front and
# aborts when an allocation fails, so a limit on the address space says
# nothing there.
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer run")
@pytest.mark.parametrize("headroom_mb", [40, 400])  # the read fails; the parse fails midway
def test_import_survives_a_100_mb_sheet_under_a_memory_limit(throwaway, headroom_mb) -> None:
    throwaway.write("alloy", "Kept", {"a": 1})
    growth, kept = throwaway.run_json(UNDER_LIMIT.format(growth=0, headroom=0))
    assert kept == {"a": 1}
    big = throwaway.data / "ceramic" / "Big.json"
    big.parent.mkdir()
    with open(big, "w") as f:  # 100 MB of small objects: a DOM of several times that
        f.write("[" + ",".join(['{"k": 1.5}'] * 9_999_999) + "]")
    proc = throwaway.run(UNDER_LIMIT.format(growth=growth, headroom=headroom_mb << 20))
    assert json.loads(proc.stdout.splitlines()[-1])[1] == {"a": 1}
    assert proc.stderr == (f"tessarine_core: data load warning: data_loader::load_tier: cannot load {big}: "
                           "the datasheet is too large to allocate\n")
