"""Ctrl-C during long calls: KeyboardInterrupt at once, old files untouched, nothing else changed.
The SIGINT comes from another process, as from a terminal, into a fresh interpreter."""

from __future__ import annotations

from pathlib import Path

from conftest import run_json

DELAY = 0.1  # seconds from the start of a call to its SIGINT
BOUND = 2.0  # seconds from the SIGINT to the KeyboardInterrupt, generous for slow machines

SCRIPT = r"""
import json, os, signal, subprocess, sys, time
import tessarine._tessarine_core as core

signal.signal(signal.SIGINT, signal.default_int_handler)
out, delay = sys.argv[1], float(sys.argv[2])
D = "DuplexSteel2205"

def box(n):
    return ((0.0, 0.0, 0.0), (n * 0.0005,) * 3)

def files():
    return {f: open(os.path.join(out, f)).read() for f in sorted(os.listdir(out))}

def interrupted(fn):
    killer = subprocess.Popen(["/bin/sh", "-c", f"sleep {delay}; kill -INT {os.getpid()}"])
    start = time.perf_counter()
    try:
        fn()
        outcome = "finished"
    except KeyboardInterrupt:
        outcome = "interrupted"
    elapsed = time.perf_counter() - start
    try:
        killer.wait()
    except KeyboardInterrupt:  # the call was done before the signal came
        killer.wait()
    return {"outcome": outcome, "elapsed": elapsed, "files": files()}

def snapshot():
    return {
        "get": [core.py_get(s) for s in ("Fe", "{Fe=2, ni=1}", "DuplexSteel2205")],
        "tiers": core.py_list_tiers(),
        "bake": core.py_bake_fourier(D, "Density_kg_m3", box(8), (4, 4, 4)),
        "alloy": core.py_optimize_alloy([{"property": "Density_kg_m3", "min_value": 7000}], "Fe", None, 2000, 3, 9),
        "stl": core.py_export_stl(D, os.path.join(out, "small.stl"), box(16), 0.0005),
    }

before = snapshot()
os.remove(os.path.join(out, "small.stl"))
for name in ("a.stl", "a.vtk"):  # what the interrupted exports would replace
    with open(os.path.join(out, name), "w") as f:
        f.write("old " + name)
spec = "{" + ", ".join(["fe=1"] * 1_000_000) + "}"
report = {
    "alloy": interrupted(lambda: core.py_optimize_alloy(
        [{"property": "Density_kg_m3", "min_value": 1e300}], "Fe", None, 10**12, 5, 1)),
    "bake": interrupted(lambda: core.py_bake_fourier(D, "Density_kg_m3", box(8), (40, 40, 40))),
    "formula": interrupted(lambda: core.py_get(spec)),
    "stl": interrupted(lambda: core.py_export_stl(D, os.path.join(out, "a.stl"), box(256), 0.0005, 0.002, False)),
    "vtk": interrupted(lambda: core.py_export_vtk_legacy(
        D, os.path.join(out, "a.vtk"), box(200), 0.0005, ["Density_kg_m3"])),
}
report["same_after"] = snapshot() == before
print(json.dumps(report))
"""


def test_long_calls_stop_promptly_and_leave_nothing_behind(tmp_path: Path):
    report = run_json(SCRIPT, str(tmp_path), str(DELAY))
    # The same answers, and working calls, after the interrupted ones.
    assert report.pop("same_after") is True
    for call, r in report.items():
        assert r["outcome"] == "interrupted", (call, r)
        assert r["elapsed"] < DELAY + BOUND, (call, r)
        assert r["files"] == {"a.stl": "old a.stl", "a.vtk": "old a.vtk"}, (call, r)
