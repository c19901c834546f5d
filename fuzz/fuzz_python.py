"""Atheris harness: every function of tessarine._tessarine_core with random arguments.

Arguments are mostly of the kind each parameter takes (text, number, flag,
count, point, box, list) with edge values, and now and then of any other type;
positional and keyword passing, too many arguments and unknown keywords are
mixed in. Random datasheets are stored with py_save and read back through the
other functions; what py_get returns for a stored entry must equal the saved
document.

Reported failures (TypeError, ValueError, KeyError, RuntimeError,
OverflowError) are expected, and so is PanicException for the documented
internal failures (an empty name, a non-positive voxel size, a formula count
above 1000, point sets that are not N x 3). Any other exception, a crash, a
sanitizer report or a hang (libFuzzer's -timeout) is a failure.

Sizes are clamped so that each input stays fast: voxel grids of at most
about 2000 voxels (larger boxes get a coarser voxel size, except grids far
above the module's own limit, which must be refused quickly), Fourier grids of
at most 512 samples, at most 200 alloy candidates, short lists. Files are
written only below a temporary directory.

Run: python fuzz/fuzz_python.py [libFuzzer options] [corpus dir]
"""

from __future__ import annotations

import json
import math
import operator
import os
import re
import shutil
import sys
import tempfile

import atheris

import tessarine._tessarine_core as core

EXPECTED = (TypeError, ValueError, KeyError, RuntimeError, OverflowError)
DOCUMENTED_PANICS = re.compile(
    r".*(must be non-empty|voxel_size must be positive|implausibly large count|must be \(N, 3\))"
)

TRACE = bool(os.environ.get("TESSARINE_FUZZ_TRACE"))  # print each call (to replay a failing input)
WORK = tempfile.mkdtemp(prefix="tessarine-fuzz-")

TIERS = core.py_list_tiers()
SAVED_NAMES = [f"fz{i}" for i in range(6)]
NAMES = [
    "Fe", "Steel", "Iron", "fe", "STEEL", "Alanine", "316L", "Ti-6Al-4V", "Brass", "Glycine",
    "{Fe=2, Ni=1}", "{Fe=1000}", "{Fe=1001}", "{Fe=0}", "{}", "{Fe}", "{Fe=-1}", "{Fe=99999999999}",
    "", " ", "  Fe  ", "\u00a0", "e\u0301", "ΟΔΟΣ", "ὈΔΌΣ", "İ", "ß", "\ud800", "a\x00b", "\U0001f600",
    *SAVED_NAMES,
]
PROPERTIES = [
    "Density_kg_m3", "IOR", "RefractiveIndex", "refractive_index", "SSS_r", "SSS_g", "YoungsModulus_GPa",
    "density", "x", "", "Properties", "\ud800", "Σ", "phase",
]
MODES = ["phase", "density", "sdf", "", "PHASE", "\ud800"]
SPECIAL_FLOATS = [
    0.0, -0.0, 1.0, -1.0, 0.5, 1e-3, 1e-9, 1e308, -1e308, 5e-324, math.inf, -math.inf, math.nan, 2.0**53 + 1,
]
HUGE_INTS = [2**31, 2**32, 2**53 + 1, 2**63 - 1, 2**63, 2**64 - 1, 2**64, 2**100, -1, -(2**63), -(2**64)]
STRINGS = [
    "", " ", "\t\n", "ΟΔΟΣ", "e\u0301", "\ud800", "\udfff", "a\x00b", "{", "}", "{Fe=1}", "null", "[]", "{}",
    "\U0010ffff", "\ufeff", "ﬃ", "\u0130", "x" * 300,
]


class Gen:
    def __init__(self, fdp: atheris.FuzzedDataProvider) -> None:
        self.fdp = fdp

    def pick(self, items):
        return items[self.fdp.ConsumeIntInRange(0, len(items) - 1)]

    def chance(self, percent: int) -> bool:
        return self.fdp.ConsumeIntInRange(0, 99) < percent

    # Values of every type.
    def any(self, depth: int = 0):
        kind = self.fdp.ConsumeIntInRange(0, 13 if depth < 3 else 8)
        if kind == 0:
            return None
        if kind == 1:
            return self.fdp.ConsumeBool()
        if kind == 2:
            return self.fdp.ConsumeIntInRange(-5, 300)
        if kind == 3:
            return self.pick(HUGE_INTS)
        if kind == 4:
            return self.number()
        if kind == 5:
            return self.text()
        if kind == 6:
            return self.fdp.ConsumeBytes(self.fdp.ConsumeIntInRange(0, 8))
        if kind == 7:
            return self.pick(NAMES)
        if kind == 8:
            return self.pick(PROPERTIES)
        if kind == 9:
            return [self.any(depth + 1) for _ in range(self.fdp.ConsumeIntInRange(0, 4))]
        if kind == 10:
            return tuple(self.any(depth + 1) for _ in range(self.fdp.ConsumeIntInRange(0, 4)))
        if kind == 11:
            return {self.text(): self.any(depth + 1) for _ in range(self.fdp.ConsumeIntInRange(0, 3))}
        if kind == 12:
            return self.point()
        return self.box()

    def text(self) -> str:
        if self.chance(50):
            return self.pick(STRINGS)
        return self.fdp.ConsumeUnicodeNoSurrogates(self.fdp.ConsumeIntInRange(0, 12)) if self.chance(70) else \
            self.fdp.ConsumeUnicode(self.fdp.ConsumeIntInRange(0, 12))

    def number(self):
        choice = self.fdp.ConsumeIntInRange(0, 3)
        if choice == 0:
            return self.pick(SPECIAL_FLOATS)
        if choice == 1:
            return self.fdp.ConsumeRegularFloat()
        if choice == 2:
            return self.fdp.ConsumeIntInRange(-3, 3)
        return self.fdp.ConsumeProbability() * self.pick([1e-3, 1e-2, 1.0, 10.0])

    def point(self):
        n = 3 if self.chance(85) else self.fdp.ConsumeIntInRange(0, 4)
        return tuple(self.number() for _ in range(n))

    def box(self):
        lo = tuple(self.fdp.ConsumeProbability() * 0.01 - 0.005 for _ in range(3))
        hi = tuple(v + self.fdp.ConsumeProbability() * 0.02 for v in lo)
        if self.chance(20):
            return (self.point(), self.point())
        if self.chance(5):
            return (lo, hi, lo) if self.chance(50) else [lo, hi]
        return (lo, hi)

    def out_path(self, suffix: str) -> str:
        choice = self.fdp.ConsumeIntInRange(0, 7)
        if choice == 0:
            return os.path.join(WORK, "sub", "deeper", "out" + suffix)
        if choice == 1:
            return WORK  # a directory
        if choice == 2:
            return ""
        if choice == 3:
            return os.path.join(WORK, "a\x00b" + suffix)
        if choice == 4:
            return "/proc/no/such/dir/out" + suffix
        if choice == 5:
            # Random text, kept inside the work directory.
            name = self.fdp.ConsumeUnicode(8).replace("/", "_").replace("..", "_") or "x"
            return os.path.join(WORK, name + suffix)
        return os.path.join(WORK, "out" + suffix)

    def sheet(self):
        """A random datasheet, mostly shaped like the ones the functions read."""
        doc: dict = {}
        props = {self.pick(PROPERTIES): self.number() for _ in range(self.fdp.ConsumeIntInRange(0, 4))}
        if self.chance(80):
            doc["Properties"] = props if self.chance(90) else self.any()
        if self.chance(40):
            phases = [self.pick(["ferrite", "austenite", "", "Σ", "α β"]) for _ in range(self.fdp.ConsumeIntInRange(0, 3))]
            doc["phase_model"] = self.pick(["voronoi", "homogeneous", "", 3])
            doc["phase_volume_fractions"] = {p: self.number() for p in phases}
            doc["phase_properties"] = {p: {self.pick(PROPERTIES): self.number()} for p in phases}
        if self.chance(30):
            doc["Residues" if self.chance(50) else "residues"] = [
                {"residue": self.pick(["ALA", "GLY", "", "X"]), "phi": self.number(), "psi": self.number()}
                for _ in range(self.fdp.ConsumeIntInRange(0, 5))
            ]
        if self.chance(30):
            doc["Composition"] = {self.pick(["Fe", "Ni", "Cr", "C", "Xx"]): self.number() for _ in range(3)}
        if self.chance(30):
            doc["Symbol"] = self.text()
        if self.chance(30):
            doc["Aliases"] = [self.text() for _ in range(2)]
        for _ in range(self.fdp.ConsumeIntInRange(0, 2)):
            doc[self.text()] = self.any(1)
        return doc if self.chance(95) else self.any()

    def count(self):
        return self.fdp.ConsumeIntInRange(0, 40) if self.chance(80) else self.pick(HUGE_INTS + [True, 1.0])

    def flag(self):
        return self.fdp.ConsumeBool() if self.chance(90) else self.any()

    def name(self):
        return self.pick(NAMES) if self.chance(90) else self.text()


def to_json(doc, ensure_ascii: bool = True) -> str:
    """JSON text of `doc`; bytes and other odd values as their repr, NaN and infinity as Python writes them."""
    return json.dumps(doc, ensure_ascii=ensure_ascii, default=repr)


def axis_count(lo, hi, step):
    q = math.ceil((hi - lo) / step) if math.isfinite((hi - lo) / step) else math.inf
    return 1 if not q > 0 else q


def clamp_voxels(bounds, voxel_size):
    """A voxel size that keeps the grid small, unless the grid is far too large anyway."""
    try:
        (x0, y0, z0), (x1, y1, z1) = bounds
        lo, hi, step = (float(x0), float(y0), float(z0)), (float(x1), float(y1), float(z1)), float(voxel_size)
    except (TypeError, ValueError, OverflowError):
        return voxel_size
    if not step > 0:
        return voxel_size
    try:
        total = math.prod(axis_count(a, b, step) for a, b in zip(lo, hi))
    except (OverflowError, ValueError):
        return voxel_size
    if total <= 2000 or total > 2**34:
        return voxel_size
    extent = max(b - a for a, b in zip(lo, hi))
    return extent / 12 if math.isfinite(extent) and extent > 0 else voxel_size


def clamp_grid(grid):
    try:
        dims = [operator.index(d) for d in grid]
    except TypeError:
        return grid
    if len(dims) != 3 or any(d < 0 for d in dims) or math.prod(dims) <= 512 or max(dims) >= 2**62:
        return grid
    return tuple(min(d, 8) for d in dims)


def clamp_sizes(fn: str, args: list) -> None:
    """Keeps the work of one call small (see the module doc string)."""
    if fn == "py_optimize_alloy":
        n = args[3]
        if isinstance(n, int) and 200 < n < 2**64:
            args[3] = 200
    elif fn == "py_bake_fourier":
        args[3] = clamp_grid(args[3])
    elif fn in ("py_export_sdf_raw", "py_export_vtk_legacy", "py_export_stl", "py_export_obj"):
        args[3] = clamp_voxels(args[2], args[3])


def arguments(g: Gen, fn: str):
    """Positional arguments of the kinds `fn` takes (all of them, optional ones included)."""
    if fn == "py_get":
        return [g.name(), g.pick([None, *TIERS, "ALLOY", " atom ", "", "nope"])]
    if fn == "py_save":
        return [g.pick(SAVED_NAMES) if g.chance(80) else g.name(), to_json(g.sheet()), g.pick([*TIERS, "", "x"])]
    if fn == "py_sample":
        return [g.name(), g.pick(PROPERTIES), g.point() if g.chance(70) else None, g.number() if g.chance(50) else None]
    if fn == "py_data_sheet":
        return [g.name()]
    if fn in ("py_list_tiers", "is_rust_backend", "version_rust"):
        return []
    if fn == "py_export_glsl":
        return [g.name(), g.flag(), g.flag(), g.flag(), g.flag()]
    if fn == "py_kabsch_rmsd":
        n = g.fdp.ConsumeIntInRange(0, 5)
        return [[list(g.point()) for _ in range(n)], [list(g.point()) for _ in range(n + (g.chance(10)))]]
    if fn == "py_build_backbone":
        seq = g.pick(["A", "GAV", "", "ACDEFGHIKLMNPQRSTVWY", "x"]) if g.chance(70) else g.text()
        return [seq, [(g.number(), g.number()) for _ in range(g.fdp.ConsumeIntInRange(0, 5))]]
    if fn == "py_build_backbone_from_entry":
        return [g.name()]
    if fn == "py_ramachandran_region":
        return [g.number(), g.number()]
    if fn == "py_optimize_alloy":
        targets = [{"property": g.pick(PROPERTIES), "value": g.number(), "weight": g.number()} for _ in range(2)]
        pool = [g.name() for _ in range(g.fdp.ConsumeIntInRange(0, 3))] if g.chance(60) else None
        return [targets, g.name(), pool, g.count(), g.count(), g.count() if g.chance(70) else None]
    if fn == "py_export_hlsl":
        props = [g.pick(PROPERTIES) for _ in range(2)] if g.chance(60) else None
        return [g.name(), g.out_path(".hlsl"), props]
    box, voxel = g.box(), g.number()
    scale = g.number() if g.chance(40) else None
    if fn == "py_export_sdf_raw":
        return [g.name(), g.out_path(".raw"), box, voxel, scale, g.pick(MODES)]
    if fn == "py_export_vtk_legacy":
        props = [g.pick(PROPERTIES) for _ in range(2)] if g.chance(60) else None
        return [g.name(), g.out_path(".vtk"), box, voxel, props, scale]
    if fn == "py_export_stl":
        return [g.name(), g.out_path(".stl"), box, voxel, scale, g.flag()]
    if fn == "py_export_obj":
        return [g.name(), g.out_path(".obj"), box, voxel, scale]
    if fn == "py_bake_fourier":
        grid = tuple(g.fdp.ConsumeIntInRange(0, 10) for _ in range(3)) if g.chance(85) else g.any()
        return [g.name(), g.pick(PROPERTIES), box, grid, g.number()]
    raise AssertionError(fn)


PARAMS = {
    "py_get": ["spec", "scope_str"],
    "py_save": ["name", "data_json", "tier_str"],
    "py_sample": ["name", "property", "at", "scale_m"],
    "py_data_sheet": ["name"],
    "py_list_tiers": [],
    "py_export_glsl": ["name", "include_density", "include_ior", "include_sss", "include_caustic"],
    "py_kabsch_rmsd": ["a", "b"],
    "py_build_backbone": ["sequence", "phi_psi_deg"],
    "py_build_backbone_from_entry": ["entry_name"],
    "py_ramachandran_region": ["phi_deg", "psi_deg"],
    "py_optimize_alloy": ["targets", "base", "alloying_pool", "n_candidates", "top_k", "seed"],
    "py_export_hlsl": ["name", "out_path", "properties"],
    "py_export_sdf_raw": ["name", "out_path", "bounds", "voxel_size", "scale_m", "mode"],
    "py_export_vtk_legacy": ["name", "out_path", "bounds", "voxel_size", "properties", "scale_m"],
    "py_export_stl": ["name", "out_path", "bounds", "voxel_size", "scale_m", "binary"],
    "py_export_obj": ["name", "obj_path", "bounds", "voxel_size", "scale_m"],
    "py_bake_fourier": ["entry_name", "property", "bounds", "grid_size", "truncate_threshold"],
    "is_rust_backend": [],
    "version_rust": [],
}
FUNCTIONS = sorted(PARAMS)
assert sorted(n for n in core.__all__ if n != "__version__") == FUNCTIONS, core.__all__


def call(g: Gen, fn: str):
    args = arguments(g, fn)
    names = PARAMS[fn]
    if args and g.chance(15):  # one argument of any type
        i = g.fdp.ConsumeIntInRange(0, len(args) - 1)
        if not (fn in ("py_export_hlsl", "py_export_sdf_raw", "py_export_vtk_legacy", "py_export_stl",
                       "py_export_obj") and i == 1):  # paths stay inside WORK
            args[i] = g.any()
    clamp_sizes(fn, args)
    n = len(args)
    style = g.fdp.ConsumeIntInRange(0, 9)
    positional, keywords = args, {}
    if style == 0:  # fewer arguments
        positional = args[: g.fdp.ConsumeIntInRange(0, n)]
    elif style == 1:  # one too many
        positional = [*args, None]
    elif style in (2, 3) and n:  # a tail by keyword
        k = g.fdp.ConsumeIntInRange(0, n)
        positional, keywords = args[:k], dict(zip(names[k:], args[k:]))
        if style == 3:
            keywords[g.pick([*names, "tier", "bogus"])] = None
    if TRACE:
        print(f"{fn}(*{positional!r}, **{keywords!r})", file=sys.stderr, flush=True)
    return getattr(core, fn)(*positional, **keywords)


def check_round_trip(g: Gen) -> None:
    """A datasheet saved with py_save comes back equal from py_get and py_data_sheet."""
    name, tier = g.pick(SAVED_NAMES), g.pick(TIERS)
    doc = g.sheet()
    text = to_json(doc, ensure_ascii=g.fdp.ConsumeBool())
    try:
        core.py_save(name, text, tier)
    except ValueError:
        return  # NaN or infinity, or a surrogate: not valid JSON for the loader
    expected = json.loads(text)
    if not representable(expected):
        return
    got = core.py_get(name, tier)
    if got != expected and not nan_equal(got, expected):
        raise AssertionError(f"py_get({name!r}, {tier!r}) = {got!r}, saved {text!r}")
    core.py_data_sheet(name)


def representable(v) -> bool:
    """Whether the module keeps `v` exactly (integers within 64 bits)."""
    if isinstance(v, bool) or v is None or isinstance(v, (float, str)):
        return True
    if isinstance(v, int):
        return -(2**63) <= v < 2**64
    if isinstance(v, list):
        return all(representable(x) for x in v)
    return all(representable(x) for x in v.values())


def nan_equal(a, b) -> bool:
    return json.dumps(a, sort_keys=True) == json.dumps(b, sort_keys=True)


def one_input(data: bytes) -> None:
    g = Gen(atheris.FuzzedDataProvider(data))
    for _ in range(g.fdp.ConsumeIntInRange(1, 4)):
        if g.chance(25):
            check_round_trip(g)
            continue
        fn = g.pick(FUNCTIONS)
        try:
            call(g, fn)
        except EXPECTED:
            pass
        except BaseException as e:  # noqa: BLE001 - PanicException derives from BaseException
            if type(e).__name__ == "PanicException" and DOCUMENTED_PANICS.fullmatch(str(e.args[0])):
                continue
            raise
    if os.listdir(WORK):
        for entry in os.listdir(WORK):
            path = os.path.join(WORK, entry)
            shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.unlink(path)


def main() -> None:
    atheris.instrument_all()
    atheris.Setup(sys.argv, one_input)
    try:
        atheris.Fuzz()
    finally:
        shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
