"""Every function against odd arguments and odd datasheets, in a fresh interpreter: only the
documented exception classes come out, internal failures only with their documented messages,
results keep their types, no crash or hang, and a failing call leaves the store as it was."""

from __future__ import annotations

import builtins
import collections.abc
import inspect
import json
import math
import os
import subprocess
import sys
from pathlib import Path

TESTS = Path(__file__).resolve().parent
sys.path.insert(0, str(TESTS))
import exercise  # noqa: E402

DUPLEX = exercise.DUPLEX
PARSING = {"TypeError", "OverflowError", "UnicodeEncodeError"}
REPORTED = {"KeyError", "ValueError", "RuntimeError"}


def functions(tmp: str) -> tuple[dict[str, tuple[tuple, set[str], type]], set[str]]:
    """From the catalogue and the generated stubs, per function: its first valid call with every
    parameter given (defaults filled in), the class of its reported failures and the type of its
    result; and the messages of the documented internal failures."""
    rows = [exercise.split(row) for row in exercise.calls(tmp)]
    stub = exercise.stub()
    table = {}
    for fn in stub:
        args, kwargs = next((a, k) for expected, f, a, k in rows if f == fn and expected == "ok")
        bound = inspect.signature(exercise.function(fn)).bind(*args, **kwargs)
        bound.apply_defaults()
        reported = {e.split(":")[0] for e, f, _, _ in rows if f == fn} & REPORTED
        table[fn] = (tuple(bound.arguments.values()), reported, result_types(stub[fn][1]))
    panics = {e.split(": ", 1)[1] for e, _, _, _ in rows if e.startswith("PanicException: ")}
    return table, panics


def result_types(annotation: str) -> tuple[type, ...]:
    """The classes of the results a return annotation of the stubs allows ("list[str] | None")."""
    names = [a.split("[")[0] for a in annotation.split(" | ")]
    known = {"Any": object, "None": type(None), "Buffer": collections.abc.Buffer}
    return tuple(known[n] if n in known else getattr(builtins, n) for n in names)


ODD = {
    "None": None, "True": True, "0": 0, "-1": -1, "2**64": 1 << 64, "10**400": 10**400, "nan": math.nan,
    "inf": math.inf, "-inf": -math.inf, "-0.0": -0.0, "5e-324": 5e-324, "1.8e308": 1.7976931348623157e308,
    "1j": 1j, "empty str": "", "1 MiB str": "x" * (1 << 20), "surrogate": "\ud800", "combining": "e\u0301",
    "capital sigma": "\u039f\u0394\u039f\u03a3", "final sigma": "\u03c2", "NUL": "a\x00b", "bytes": b"Fe",
    "[]": [], "()": (), "dict": {"a": 1}, "set": {1}, "object": object(), "str list": ["Density_kg_m3"],
    "triple": (1.0, 2.0, 3.0), "int triple": (1, 1, 1), "big box": ((0, 0, 0), (1, 1, 1)),
    "nan box": ((math.nan,) * 3, (math.inf,) * 3), "str subclass": exercise.Name("Probe"), "range": range(3),
}

# Datasheets written through py_save: (JSON text, what py_data_sheet must give back; ... = as json.loads).
SHEETS = [
    ("[1, 2.5, \"x\", null, true]", ...), ("42", ...), ("-0.0", ...), ("\"text\"", ...), ("null", ...),
    ("{}", ...), ("{\"Properties\": \"x\"}", ...), ("{\"Properties\": [1, {\"a\": null}]}", ...),
    ("{\"Properties\": null, \"Density_kg_m3\": \"7\"}", ...), ("{\"a\": 1, \"a\": 2}", {"a": 2}),
    ("[5e-324, 1.7976931348623157e308, 2.2250738585072014e-308, 0.1]", ...),
    ("18446744073709551616", 18446744073709551616.0), ("-9223372036854775809", -9223372036854775809.0),
    ("18446744073709551615", ...), ("{\"\\u03a3\": 1, \"\\u03c2\": 2, \"e\\u0301\": \"\\u0000\"}", ...),
    ("[" * 128 + "]" * 128, ...), ("{\"d\":" * 127 + "1" + "}" * 127, ...),
    ("{\"phase_model\": \"voronoi\", \"phase_volume_fractions\": [1, 2]}", ...),
    ("{\"phase_model\": \"voronoi\", \"phase_volume_fractions\": {\"a\": -1, \"b\": 1e308, \"c\": 1e308},"
     " \"phase_properties\": {\"a\": 5, \"b\": {\"Density_kg_m3\": 1e308}}}", ...),
    ("{\"phase_model\": 7, \"residues\": \"AAA\", \"Composition\": {\"Fe\": -1, \"Ni\": 1e308}}", ...),
    ("{\"residues\": [1, {\"phi\": \"x\"}, null], \"Density_kg_m3\": 1e308}", ...),
]
BAD_SHEETS = ["", " ", "1e400", "[1,]", "{\"a\" 1}", "\"\\ud800\"", "\ufeff{}", "{} {}", "[" * 129 + "]" * 129,
              "{\"a\": 1} trailing", "nan", "'a'"]


def drive() -> None:
    """Runs in the child: one JSON line per call, flushed, so a crash shows the last call."""
    import tempfile

    import tessarine._tessarine_core as core

    out_dir = tempfile.mkdtemp()
    os.chdir(out_dir)  # odd output paths are relative ones
    table, _ = functions(out_dir)

    def call(fn: str, args: tuple) -> None:
        try:
            result = exercise.function(fn)(*args)
            row = {"class": "ok", "type_ok": isinstance(result, table[fn][2])}
        except BaseException as e:  # noqa: BLE001 - PanicException derives from BaseException
            row = {"class": type(e).__name__, "message": str(e.args[0])[:300] if e.args else ""}
        print(json.dumps({"fn": fn, **row}), flush=True)

    def watched() -> object:
        def sheet(name: str) -> object:
            try:
                return core.py_data_sheet(name)
            except KeyError:
                return "<missing>"
        return sorted(core.py_list_tiers()), {n: repr(sheet(n)) for n in ("Fe", DUPLEX, "Probe", "PolyAlanineHelix")}

    catalogue = Path(core.__file__).parent / "data" / "active"
    names = sorted(p.stem for p in catalogue.glob("*/*.json"))
    shipped = {n: core.py_data_sheet(n) for n in names}
    core.py_save("Probe", '{"kept": true}', "alloy")

    for fn, (args, _, _) in table.items():
        for i in range(len(args)):
            for value in ODD.values():
                before = watched()
                call(fn, args[:i] + (value,) + args[i + 1:])
                if fn != "py_save":
                    print(json.dumps({"fn": fn, "store_kept": watched() == before}), flush=True)
        if not args:
            call(fn, (None,))
    # Saves that fail leave an existing entry as it was.
    for bad in BAD_SHEETS:
        before = watched()
        call("py_save", ("Probe", bad, "alloy"))
        print(json.dumps({"fn": "py_save", "store_kept": watched() == before}), flush=True)
    # Every shape of datasheet comes back as written and can be handed to every function.
    for k, (text, expected) in enumerate(SHEETS):
        name = f"Sheet{k}"
        core.py_save(name, text, "alloy")
        same = core.py_data_sheet(name) == (json.loads(text) if expected is ... else expected)
        print(json.dumps({"fn": "py_data_sheet", "round_trip": same, "sheet": text[:60]}), flush=True)
        for fn, (args, _, _) in table.items():
            if args and isinstance(args[0], str) and fn not in ("py_save", "py_build_backbone"):
                call(fn, (name,) + args[1:])
        call("py_get", ("{%s=3, Fe=1}" % name,))
        call("py_optimize_alloy", ([{"property": "Density_kg_m3"}], name, [name, "Ni"], 10, 2, 1))
    print(json.dumps({"fn": "-", "shipped_kept": {n: core.py_data_sheet(n) for n in names} == shipped}))


def test_odd_arguments_and_datasheets(tmp_path) -> None:
    table, panics = functions(str(tmp_path))
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(TESTS), os.environ.get("PYTHONPATH", "")]))
    proc = subprocess.run([sys.executable, "-c", "import test_bad_input; test_bad_input.drive()"],
                          capture_output=True, text=True, timeout=240, env=env)
    rows = [json.loads(line) for line in proc.stdout.splitlines()]
    assert proc.returncode == 0, f"stopped after {rows[-1] if rows else None}:\n{proc.stderr[-3000:]}"
    assert rows[-1] == {"fn": "-", "shipped_kept": True}
    calls = [r for r in rows if "class" in r]
    assert len(calls) > 2000
    wrong = []
    for r in calls:
        reported = table[r["fn"]][1]
        if r["class"] == "ok":
            ok = r["type_ok"]
        elif r["class"] == "PanicException":
            ok = r["message"] in panics
        else:
            ok = r["class"] in PARSING | reported
        if not ok:
            wrong.append(r)
    assert wrong == []
    assert [r for r in rows if r.get("store_kept") is False] == []
    assert [r for r in rows if r.get("round_trip") is False] == []

