"""Module entry: registration as declared, doc strings, the version, warnings at import."""

from __future__ import annotations

import ast
import importlib.metadata
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import tessarine
import tessarine._tessarine_core as core
import tessarine._tessarine_ext as ext

sys.path.insert(0, str(Path(__file__).resolve().parent))
import exercise  # noqa: E402

STUB = exercise.stub()
FUNCTIONS = [name for name in core.__all__ if name != "__version__"] + [exercise.EXT + name for name in ext.__all__]
# The descriptions whose wording is easiest to get wrong: quotes, non-ASCII, indentation.
DOCS = {
    "py_get": "Rust-accelerated twin of `tessarine.get.Get`.\n\n`scope_str` is the optional tier name (e.g. "
              "`\"atom\"`, `\"alloy\"`) or\n`None` for cross-tier search. Returns a Python `dict`.",
    "py_kabsch_rmsd": "Compute Kabsch RMSD (\u00c5) between two Nx3 point sets.\n`a` and `b` are Python lists of "
                      "[x, y, z] triples.",
    "py_build_backbone": "Build a protein C\u03b1 backbone from phi/psi angles.\n`sequence` \u2014 1-letter amino "
                         "acid codes. `phi_psi_deg` \u2014 list of (phi, psi) in degrees.\nReturns list of dicts: "
                         "{name, res_idx, x, y, z}.",
    "py_ramachandran_region": 'Classify (phi_deg, psi_deg) into Ramachandran region.\nReturns a string: '
                              '"alpha_helix", "beta_sheet", "left_alpha", "polyproline_ii", or "other".',
    "py_optimize_alloy": "Rust-accelerated `tessarine.optimize.optimize_alloy`.\n\n`targets` \u2014 list of dicts "
                         "with keys: property (str), min_value (float|None),\n  max_value (float|None), weight "
                         "(float).\nReturns list of dicts: {composition, estimated_properties, score}.",
}
SIGNATURES = {
    "py_get": "(spec, scope_str=None)",
    "py_optimize_alloy": "(targets, base, alloying_pool=None, n_candidates=1000, top_k=5, seed=None)",
    "py_export_sdf_raw": '(name, out_path, bounds, voxel_size, scale_m=None, mode="phase")',
    "py_bake_fourier": "(entry_name, property, bounds, grid_size, truncate_threshold=0.01)",
    "py_export_glsl": "(name, include_density=True, include_ior=True, include_sss=True, include_caustic=True)",
}


def literal(node: ast.expr) -> str:
    """A default as the text signature shows it: str in double quotes, others as repr."""
    value = ast.literal_eval(node)
    return json.dumps(value) if isinstance(value, str) else repr(value)


def test_functions_follow_their_declarations() -> None:
    # The generated stubs of both modules carry the declarations: order, parameter names and defaults.
    assert FUNCTIONS == list(STUB) and core.__all__[-1] == "__version__"
    for module in (core, ext):
        tree = ast.parse(Path(module.__file__).with_name(module.__name__.split(".")[1] + ".pyi").read_text())
        for f in (node for node in tree.body if isinstance(node, ast.FunctionDef)):
            fn = getattr(module, f.name)
            defaults = [None] * (len(f.args.args) - len(f.args.defaults)) + f.args.defaults
            params = [a.arg if d is None else f"{a.arg}={literal(d)}" for a, d in zip(f.args.args, defaults)]
            assert fn.__text_signature__ == "(" + ", ".join(params) + ")", f.name
            assert fn.__module__ == module.__name__
            assert module is ext or getattr(tessarine, f.name) is fn
    for name, doc in DOCS.items():
        assert getattr(core, name).__doc__ == doc, name
    for name, signature in SIGNATURES.items():
        assert getattr(core, name).__text_signature__ == signature, name
    assert core.__doc__.startswith("`tessarine._tessarine_core` module entry point.\n\nOn import, resolves")
    assert (Path(tessarine.__file__).parent / "py.typed").exists()


def test_version_and_backend_sentinel() -> None:
    assert core.__version__ == core.version_rust() == tessarine.__version__ == importlib.metadata.version("tessarine")
    assert core.is_rust_backend() is True


# --- import-time behaviour, in fresh interpreters -------------------------------------------

@pytest.mark.parametrize("fault", ["root does not exist", "root is not a directory"])
def test_a_missing_data_root_is_one_warning_and_the_module_still_works(throwaway, fault) -> None:
    shutil.rmtree(throwaway.data)
    if fault == "root is not a directory":
        throwaway.data.write_text("not a directory")
    proc = throwaway.run(
        """
        import sys
        import tessarine._tessarine_core as core
        del sys.modules["tessarine._tessarine_core"]
        import tessarine._tessarine_core as again
        print(again is core, core.is_rust_backend(), core.version_rust(), len(core.py_list_tiers()))
        try:
            core.py_get("Fe")
        except KeyError as e:
            print(e.args[0])
        """
    )
    root = throwaway.data.resolve()
    assert proc.stderr == f"tessarine_core: data load warning: data_loader::load_all_tiers: {fault}: {root}\n"
    assert proc.stdout.splitlines() == [f"True True {core.__version__} 12", "unknown name: Fe"]


def test_module_imported_without_its_package(tmp_path) -> None:
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
