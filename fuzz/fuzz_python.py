"""Atheris harness: every function of the native modules and of the public API with random arguments.

Each call starts from a row of the catalogue (tests/exercise.py) and replaces some arguments with
values of the kind their stub annotation names, mostly edge values, now and then any value; argument
passing is varied too. Random datasheets saved with py_save must come back equal from py_get. Only
reported failures, the catalogue's own exceptions and its PanicException messages may come out of
the native functions; only TessarineError, ValueError, TypeError, KeyError and OSError out of the
public API (tessarine.*). Sizes are clamped to keep each input fast; files go below temp dirs.

Run: python fuzz/fuzz_python.py [libFuzzer options] [corpus dir]
"""

from __future__ import annotations

import ctypes
import inspect
import json
import math
import operator
import os
import shutil
import sys
import threading
import tempfile

import atheris

import tessarine
import tessarine._tessarine_core as core

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import exercise  # noqa: E402

TRACE = bool(os.environ.get("TESSARINE_FUZZ_TRACE"))  # print each call (to replay a failing input)
WORK = tempfile.mkdtemp(prefix="tessarine-fuzz-")  # emptied after each input
FIXTURES = tempfile.mkdtemp(prefix="tessarine-fuzz-calls-")  # the catalogue's directory

ROWS = [exercise.split(row) for row in exercise.calls(FIXTURES)]
STUB = exercise.stub()
FUNCTIONS = sorted(STUB)
assert set(FUNCTIONS) == exercise.function_names(), FUNCTIONS
# Per function: the parameters with their annotations, and the catalogue's calls as bases.
PARAMS = {fn: STUB[fn][0] for fn in FUNCTIONS}
assert all([n for n, _ in PARAMS[fn]] == list(inspect.signature(exercise.function(fn)).parameters) for fn in FUNCTIONS)
BASES = {fn: [(args, kwargs) for _, f, args, kwargs in ROWS if f == fn] for fn in FUNCTIONS}
PANICS = {e.split(": ", 1)[1] for e, _, _, _ in ROWS if e.startswith("PanicException: ")}
EXPECTED = (TypeError, ValueError, KeyError, RuntimeError, OverflowError, ArithmeticError, BufferError, exercise.Broken)

TIERS = core.py_list_tiers()
SAVED_NAMES = [f"fz{i}" for i in range(6)]
NAMES = [
    "Fe", "Steel", "Iron", "fe", "STEEL", "Alanine", "316L", "Ti-6Al-4V", "Brass", "Glycine", "DuplexSteel2205",
    "{Fe=2, Ni=1}", "{Fe=1000}", "{Fe=1001}", "{Fe=0}", "{}", "{Fe}", "{Fe=-1}", "{Fe=99999999999}",
    "", " ", "  Fe  ", "\u00a0", "e\u0301", "ΟΔΟΣ", "ὈΔΌΣ", "İ", "ß", "\ud800", "a\x00b", "\U0001f600",
    *SAVED_NAMES,
]
PROPERTIES = [
    "Density_kg_m3", "IOR", "RefractiveIndex", "refractive_index", "SSS_r", "SSS_g", "YoungsModulus_GPa",
    "density", "x", "", "Properties", "\ud800", "Σ", "phase",
]
MODES = ["phase", "density", "sdf", "occupancy", "", "PHASE", "\ud800"]
SEQUENCES = ["A", "GAV", "", "ACDEFGHIKLMNPQRSTVWY", "x"]
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
        self.rows = 3  # the length of the point sets of one call

    def pick(self, items):
        return items[self.fdp.ConsumeIntInRange(0, len(items) - 1)]

    def chance(self, percent: int) -> bool:
        return self.fdp.ConsumeIntInRange(0, 99) < percent

    def size(self, most: int) -> int:
        return self.fdp.ConsumeIntInRange(0, most)

    def any(self, depth: int = 0):
        """A value of any type."""
        kind = self.fdp.ConsumeIntInRange(0, 13 if depth < 3 else 10)
        if kind == 11:
            return [self.any(depth + 1) for _ in range(self.size(4))]
        if kind == 12:
            return tuple(self.any(depth + 1) for _ in range(self.size(4)))
        if kind == 13:
            return {self.text(): self.any(depth + 1) for _ in range(self.size(3))}
        return [lambda: None, self.fdp.ConsumeBool, lambda: self.fdp.ConsumeIntInRange(-5, 300),
                lambda: self.pick(HUGE_INTS), self.number, self.text, lambda: self.fdp.ConsumeBytes(self.size(8)),
                self.name, lambda: self.pick(PROPERTIES), self.point, self.box][kind]()

    def text(self) -> str:
        if self.chance(50):
            return self.pick(STRINGS)
        n = self.size(12)
        return self.fdp.ConsumeUnicodeNoSurrogates(n) if self.chance(70) else self.fdp.ConsumeUnicode(n)

    def name(self) -> str:
        return self.pick(NAMES) if self.chance(90) else self.text()

    def number(self):
        choice = self.fdp.ConsumeIntInRange(0, 3)
        if choice == 0:
            return self.pick(SPECIAL_FLOATS)
        if choice == 1:
            return self.fdp.ConsumeRegularFloat()
        if choice == 2:
            return self.fdp.ConsumeIntInRange(-3, 3)
        return self.fdp.ConsumeProbability() * self.pick([1e-3, 1e-2, 1.0, 10.0])

    def count(self):
        return self.size(40) if self.chance(80) else self.pick(HUGE_INTS + [True, 1.0])

    def flag(self):
        return self.fdp.ConsumeBool() if self.chance(90) else self.any()

    def point(self, n: int = 3):
        return tuple(self.number() for _ in range(n if self.chance(85) else self.size(4)))

    def box(self):
        lo = tuple(self.fdp.ConsumeProbability() * 0.01 - 0.005 for _ in range(3))
        hi = tuple(v + self.fdp.ConsumeProbability() * 0.02 for v in lo)
        if self.chance(20):
            return (self.point(), self.point())
        if self.chance(5):
            return (lo, hi, lo) if self.chance(50) else [lo, hi]
        return (lo, hi)

    def grid(self):
        return tuple(self.size(10) for _ in range(3)) if self.chance(85) else self.any()

    def out_path(self, suffix: str) -> str:
        if self.chance(12):  # random text, kept inside the work directory
            name = self.fdp.ConsumeUnicode(8).replace("/", "_").replace("..", "_") or "x"
            return os.path.join(WORK, name + suffix)
        return self.pick([os.path.join(WORK, "sub", "deeper", "out" + suffix), WORK, "", "/proc/no/such/dir/out",
                          os.path.join(WORK, "a\x00b" + suffix), os.path.join(WORK, "out" + suffix)])

    def sheet(self):
        """A random datasheet, mostly shaped like the ones the functions read."""
        doc: dict = {}
        if self.chance(80):
            doc["Properties"] = {self.pick(PROPERTIES): self.number() for _ in range(self.size(4))} \
                if self.chance(90) else self.any()
        if self.chance(40):
            phases = [self.pick(["ferrite", "austenite", "", "Σ", "α β"]) for _ in range(self.size(3))]
            doc["phase_model"] = self.pick(["voronoi", "homogeneous", "", 3])
            doc["phase_volume_fractions"] = {p: self.number() for p in phases}
            doc["phase_properties"] = {p: {self.pick(PROPERTIES): self.number()} for p in phases}
        if self.chance(30):
            doc["Residues" if self.chance(50) else "residues"] = [
                {"residue": self.pick(["ALA", "GLY", "", "X"]), "phi": self.number(), "psi": self.number()}
                for _ in range(self.size(5))
            ]
        if self.chance(30):
            doc["Composition"] = {self.pick(["Fe", "Ni", "Cr", "C", "Xx"]): self.number() for _ in range(3)}
        if self.chance(30):
            doc["Symbol"] = self.text()
        if self.chance(30):
            doc["Aliases"] = [self.text() for _ in range(2)]
        for _ in range(self.size(2)):
            doc[self.text()] = self.any(1)
        return doc if self.chance(95) else self.any()

    def value(self, fn: str, name: str, kind: str):
        """A value for parameter `name` of `fn`, of its annotated kind; its name says what it means."""
        if kind.endswith(" | None"):
            return None if self.chance(30) else self.value(fn, name, kind[: -len(" | None")])
        if kind == "str":
            if name.endswith("_path"):
                return self.out_path("." + (name.split("_")[0] if fn.startswith(exercise.EXT) else fn.split("_")[2]))
            return {"property": lambda: self.pick(PROPERTIES), "mode": lambda: self.pick(MODES),
                    "data_json": lambda: to_json(self.sheet()), "sequence": lambda: self.pick(SEQUENCES),
                    "scope_str": lambda: self.pick([*TIERS, "ALLOY", " atom ", "", "nope"]),
                    "tier_str": lambda: self.pick([*TIERS, "", "x"])}.get(name, self.name)()
        if kind == "Sequence[str]":
            return [self.pick(PROPERTIES) if name == "properties" else self.name() for _ in range(self.size(3))]
        if kind == "Sequence[dict[str, Any]]":
            return [{"property": self.pick(PROPERTIES), "min_value": self.number(), "max_value": self.number(),
                     "weight": self.number()} for _ in range(self.size(2))]
        if kind == "Sequence[Sequence[float]]":
            return [list(self.point()) for _ in range(self.rows + (self.chance(10)))]
        if kind == "Sequence[tuple[float, float]]":
            return [self.point(2) for _ in range(self.size(5))]
        if kind == "Buffer":  # rows of 2 or 3 numbers, now and then of another width or item type
            k = (2 if name == "phi_psi_deg" else 3) if self.chance(90) else self.size(4) or 1
            item = ctypes.c_double if self.chance(95) else ctypes.c_float
            return exercise.rows_of([self.number() for _ in range(self.rows * k)], k, item)
        return {"float": self.number, "bool": self.flag, "int": self.count, "tuple[int, int, int]": self.grid,
                "tuple[float, float, float]": self.point,
                "tuple[tuple[float, float, float], tuple[float, float, float]]": self.box}[kind]()


def to_json(doc, ensure_ascii: bool = True) -> str:
    """JSON text of `doc`; bytes and other odd values as their repr, NaN and infinity as Python writes them."""
    return json.dumps(doc, ensure_ascii=ensure_ascii, default=repr)


def axis_count(lo, hi, step):
    """Voxels along one axis: an empty or reversed extent, and one with an infinite end, give one."""
    q = (hi - lo) / step
    return math.ceil(q) if math.isfinite(q) and q > 0 else math.inf if q == math.inf and math.isfinite(lo) else 1


def clamp_voxels(bounds, voxel_size):
    """A voxel size that keeps the grid small, unless the grid is far too large anyway."""
    try:
        (x0, y0, z0), (x1, y1, z1) = bounds
        lo, hi, step = (float(x0), float(y0), float(z0)), (float(x1), float(y1), float(z1)), float(voxel_size)
    except (TypeError, ValueError, OverflowError, ArithmeticError):
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
    except (TypeError, ArithmeticError):
        return grid
    if len(dims) != 3 or any(d < 0 for d in dims) or math.prod(dims) <= 512 or max(dims) >= 2**62:
        return grid
    return tuple(min(d, 8) for d in dims)


def clamp_sizes(values: dict) -> None:
    """Keeps the work of one call small (see the module doc string)."""
    n = values.get("n_candidates")
    if isinstance(n, int) and 200 < n < 2**64:
        values["n_candidates"] = 200
    for grid in ("grid_size", "counts"):
        if grid in values:
            values[grid] = clamp_grid(values[grid])
    if "voxel_size" in values and "bounds" in values:
        values["voxel_size"] = clamp_voxels(values["bounds"], values["voxel_size"])


def call(g: Gen, fn: str):
    params = PARAMS[fn]
    names = [name for name, _ in params]
    args, kwargs = g.pick(BASES[fn])
    values = dict(zip(names, args)) | {k: v for k, v in kwargs.items() if k in names}
    g.rows = g.size(5)
    for name, kind in params:
        if g.chance(40):
            values[name] = g.value(fn, name, kind)
    changeable = [n for n in values if not n.endswith("_path")]  # paths stay inside the temporary directories
    if changeable and g.chance(15):
        values[g.pick(changeable)] = g.any()
    clamp_sizes(values)
    given = [n for n in names if n in values]
    prefix = next((i for i, n in enumerate(names) if n not in values), len(names))  # given without a gap
    style = g.fdp.ConsumeIntInRange(0, 9)
    k = prefix if style > 3 else g.fdp.ConsumeIntInRange(0, prefix)
    positional, keywords = [values[n] for n in names[:k]], {n: values[n] for n in given if n not in names[:k]}
    if style == 0:  # fewer arguments
        keywords = {}
    elif style == 1 and not keywords:  # one too many
        positional.append(None)
    elif style == 2:  # an unknown or repeated keyword
        keywords[g.pick([*names, "tier", "bogus"])] = None
    if TRACE:
        print(f"{fn}(*{positional!r}, **{keywords!r})", file=sys.stderr, flush=True)
    return exercise.function(fn)(*positional, **keywords)


# The public API: its functions, and values by parameter name (anything else: a value of any type).
PUBLIC = {n: f for n in tessarine.__all__ if inspect.isfunction(f := getattr(tessarine, n))}
PUBLIC_ERRORS = (tessarine.TessarineError, ValueError, TypeError, KeyError, OSError)
PUBLIC_PATHS = {"out_path": None, "obj_path": ".obj"}


def public_value(g: Gen, fn: str, name: str):
    if name in PUBLIC_PATHS:
        return g.out_path(PUBLIC_PATHS[name] or "." + fn.split("_")[-1])
    maybe_none = {"tier": lambda: g.pick([*TIERS, "ALLOY", " atom ", "", "nope", "Alloys"]),
                  "at": g.point, "scale_m": g.number, "seed": g.count,
                  "properties": lambda: [g.pick(PROPERTIES) for _ in range(g.size(3))],
                  "alloying_pool": lambda: [g.name() for _ in range(g.size(3))]}
    if name in maybe_none:
        return None if g.chance(30) else maybe_none[name]()
    if name == "name" and fn == "Save":
        return g.pick(SAVED_NAMES)
    return {"spec": g.name, "name": g.name, "base": g.name, "data": lambda: g.sheet() if g.chance(50) else to_json(g.sheet()),
            "property": lambda: g.pick(PROPERTIES), "bounds": g.box, "voxel_size": g.number, "grid_size": g.grid,
            "truncate_threshold": g.number, "binary": g.flag, "mode": lambda: g.pick(MODES),
            "targets": lambda: [{"property": g.pick(PROPERTIES), "min_value": g.number(), "weight": g.number()}
                                for _ in range(g.size(2))],
            "n_candidates": g.count, "top_k": g.count, "sequence": lambda: g.pick(SEQUENCES),
            "phi_psi_deg": lambda: [g.point(2) for _ in range(g.size(5))],
            "a": lambda: [g.point() for _ in range(g.rows)], "b": lambda: [g.point() for _ in range(g.rows)],
            "phi": g.number, "psi": g.number,
            "progress": lambda: g.pick([None, False, lambda done, total: None]),
            "cancel": lambda: g.pick([None, threading.Event()])}.get(name, g.flag if name.startswith("include_") else g.any)()


def call_public(g: Gen) -> None:
    fn = g.pick(sorted(PUBLIC))
    names = list(inspect.signature(PUBLIC[fn]).parameters)
    g.rows = g.size(5)
    values = {n: public_value(g, fn, n) for n in names[: g.size(len(names)) if g.chance(10) else len(names)]}
    changeable = [n for n in values if n not in PUBLIC_PATHS]
    if changeable and g.chance(15):
        values[g.pick(changeable)] = g.any()
    clamp_sizes(values)
    if TRACE:
        print(f"tessarine.{fn}(**{values!r})", file=sys.stderr, flush=True)
    try:
        PUBLIC[fn](**values)
    except PUBLIC_ERRORS:
        pass
    except ImportError as e:  # documented: progress=True without tqdm
        if "tessarine[progress]" not in str(e):
            raise


def check_round_trip(g: Gen) -> None:
    """A datasheet saved with py_save comes back equal from py_get and py_data_sheet."""
    name, tier = g.pick(SAVED_NAMES), g.pick(TIERS)
    text = to_json(g.sheet(), ensure_ascii=g.fdp.ConsumeBool())
    try:
        core.py_save(name, text, tier)
    except ValueError:
        return  # NaN or infinity, or a surrogate: not valid JSON for the loader
    expected = json.loads(text)
    if not representable(expected):
        return
    got = core.py_get(name, tier)
    if got != expected and json.dumps(got, sort_keys=True) != json.dumps(expected, sort_keys=True):  # NaN
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


def one_input(data: bytes) -> None:
    g = Gen(atheris.FuzzedDataProvider(data))
    for _ in range(g.fdp.ConsumeIntInRange(1, 4)):
        if g.chance(25):
            check_round_trip(g)
            continue
        if g.chance(25):
            call_public(g)
            continue
        try:
            call(g, g.pick(FUNCTIONS))
        except EXPECTED:
            pass
        except BaseException as e:  # noqa: BLE001 - PanicException derives from BaseException
            if type(e).__name__ == "PanicException" and e.args and e.args[0] in PANICS:
                continue
            raise
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
        shutil.rmtree(FIXTURES, ignore_errors=True)


if __name__ == "__main__":
    main()
