"""Lookup speed on a generated catalogue of 24,000 entries.

Writes 2,000 datasheets into each of the 12 tiers of a throw-away copy of the
package, then, in a fresh interpreter, times py_get against a pure-Python
implementation of the same resolution stages over the same datasheets:

  miss      a name that matches nothing (every stage scans every tier)
  alias     an exact alias of an entry in the last tier (stage 5)
  formula   a braced formula of five constituents named by symbol

Lookups are timed in CPU time of the calling thread (best of several rounds),
so that other work on a shared machine does not distort them; the load at
import, which runs on the thread pool, in wall-clock time.

Run:  .venv/bin/python benchmarks/bench_lookup.py
"""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
from pathlib import Path

import tessarine._tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, format_table, note  # noqa: E402

TIERS = [
    "subatomic", "atom", "molecule", "alloy", "ceramic", "composite",
    "amino_acid", "protein", "cell", "cell_component", "nucleic_acid", "biomaterial",
]
PER_TIER = 2_000


def write_catalogue(data: Path) -> None:
    for t, tier in enumerate(TIERS):
        (data / tier).mkdir(parents=True)
        for i in range(PER_TIER):
            name = f"{tier.title()}Sample{i:04d}" if i % 10 else f"Échantillon{t:02d}_{i:04d}"
            entry = {
                "Name": name,
                "Symbol": f"Q{t}x{i}",
                "Aliases": [f"alias {tier} {i}", f"ALT-{t}-{i}"],
                "Density_kg_m3": 1000.0 + i,
                "MeltingPoint_K": 300 + t,
                "Properties": {"YoungsModulus_GPa": 10.0 + i / 7, "Notes": "generated"},
            }
            (data / tier / f"{name}.json").write_text(json.dumps(entry), encoding="utf-8")


RUNNER = r'''
import copy, json, os, sys, time
from pathlib import Path

data = Path(sys.argv[1])
t0 = time.perf_counter()
import tessarine._tessarine_core as core
native_load = time.perf_counter() - t0
t0 = time.perf_counter()
TIERS = TIERS_LIST
STORE = {t: {} for t in TIERS}
for t in TIERS:
    for f in os.listdir(data / t):
        STORE[t][f[:-5]] = json.loads((data / t / f).read_text(encoding="utf-8"))
python_load = time.perf_counter() - t0
assert sum(len(m) for m in STORE.values()) == 24_000


def keyed(v, a, b):
    if not isinstance(v, dict):
        return None
    return v[a] if a in v else v.get(b)


def resolve_named(name, scope=None):
    tiers = TIERS if scope is None else [TIERS[scope]]
    lower = name.lower()
    for t in tiers:
        if name in STORE[t]:
            return copy.deepcopy(STORE[t][name])
    def symbol(v):
        s = keyed(v, "Symbol", "symbol")
        return s if isinstance(s, str) else None
    def aliases(v):
        a = keyed(v, "Aliases", "aliases")
        return [x for x in a if isinstance(x, str)] if isinstance(a, list) else []
    stages = [
        lambda n, v: n.lower() == lower,
        lambda n, v: symbol(v) == name,
        lambda n, v: (s := symbol(v)) is not None and s.lower() == lower,
        lambda n, v: name in aliases(v),
        lambda n, v: any(a.lower() == lower for a in aliases(v)),
    ]
    for stage in stages:
        for t in tiers:
            for n, v in STORE[t].items():
                if stage(n, v):
                    return copy.deepcopy(v)
    raise KeyError(f"unknown name: {name}")


def resolve_formula(spec):
    parts = []
    for piece in spec.strip()[1:-1].split(","):
        n, c = piece.split("=", 1)
        parts.append((n.strip(), int(c.strip())))
    props = {}
    for n, c in parts:
        e = resolve_named(n)
        for k in sorted(e):
            v = e[k]
            if isinstance(v, (int, float)) and not isinstance(v, bool):
                prev = props.get(k)
                prev = prev if isinstance(prev, (int, float)) and not isinstance(prev, bool) else 0.0
                props[k] = float(v) * c + prev
            elif k not in props:
                props[k] = v
    props["formula"] = "".join(f"{n}{c}" for n, c in parts)
    return dict(sorted(props.items()))


def best_of(fn, rounds, calls):
    best = float("inf")
    for _ in range(rounds):
        t0 = time.thread_time()
        for _ in range(calls):
            try:
                fn()
            except KeyError:
                pass
        best = min(best, (time.thread_time() - t0) / calls)
    return best


cases = {
    "miss": "no such entry anywhere",
    "alias": "alias biomaterial 1999",
    "formula": "{Q1x3=1, Q4x500=2, Q7x1000=3, Q9x1500=4, Q11x1999=5}",
}
for spec in cases.values():  # both sides agree before anything is timed
    try:
        a = core.py_get(spec)
    except KeyError as e:
        a = e.args[0]
    try:
        b = resolve_formula(spec) if spec.startswith("{") else resolve_named(spec)
    except KeyError as e:
        b = e.args[0]
    assert a == b, (spec, a, b)

results = {"load": (native_load, python_load)}
for label, spec in cases.items():
    py = (lambda s=spec: resolve_formula(s)) if spec.startswith("{") else (lambda s=spec: resolve_named(s))
    results[label] = (best_of(lambda s=spec: core.py_get(s), 5, 40), best_of(py, 3, 3))
print(json.dumps(results))
'''


def measure() -> list[Row]:
    with tempfile.TemporaryDirectory() as tmp:
        base = Path(tmp)
        package = base / "tessarine"
        package.mkdir()
        (package / "__init__.py").write_text("")
        extension = Path(core.__file__)
        shutil.copy2(extension, package / extension.name)
        data = package / "data" / "active"
        write_catalogue(data)
        env = dict(os.environ, PYTHONPATH=str(base), PYTHONDONTWRITEBYTECODE="1")
        script = textwrap.dedent(RUNNER).replace("TIERS_LIST", repr(TIERS))
        proc = subprocess.run(
            [sys.executable, "-c", script, str(data)], cwd=base, env=env, capture_output=True, text=True, timeout=600
        )
        if proc.returncode != 0:
            sys.exit(proc.stderr)
        results = json.loads(proc.stdout.strip().splitlines()[-1])

    size = f"{PER_TIER * len(TIERS):,} entries"
    native, python = results["load"]
    note(f"load of {size}: import {native * 1e3:.1f} ms, json.load of every file {python * 1e3:.1f} ms")
    labels = {
        "miss": ("py_get, a miss (CPU time)", "pure-Python stages"),
        "alias": ("py_get, alias in the last tier (CPU time)", "pure-Python stages"),
        "formula": ("py_get, formula of 5 symbols (CPU time)", "pure-Python stages"),
    }
    return [Row(label, size, results[key][0], peer, results[key][1]) for key, (label, peer) in labels.items()]


def main() -> None:
    print(format_table(measure()))


if __name__ == "__main__":
    main()
