"""Import-time loading and point sampling against pure-Python peers.

Generates 12 tiers x 2,000 entries of about 1 KB, then measures in one run:
  (a) a fresh interpreter importing the native module on that catalogue, against
  (b) a fresh interpreter loading the same files with stdlib json on a ThreadPoolExecutor;
and the per-call time of py_sample against a plain dict lookup in Python.

    python benchmarks/bench_load.py [entries_per_tier]
"""

from __future__ import annotations

import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, build_package, format_table, note, run_python  # noqa: E402

NATIVE = """
import time
t0 = time.perf_counter()
import tessarine._tessarine_core
print(time.perf_counter() - t0)
"""

PURE_PYTHON = """
import json, os, time
from concurrent.futures import ThreadPoolExecutor
TIERS = ["subatomic", "atom", "molecule", "alloy", "ceramic", "composite", "amino_acid", "protein",
         "cell", "cell_component", "nucleic_acid", "biomaterial"]
t0 = time.perf_counter()
root = os.path.join(os.path.dirname(os.path.abspath("tessarine/__init__.py")), "data", "active")
store = {t: {} for t in TIERS}
def load_tier(tier):
    d = os.path.join(root, tier)
    if not os.path.isdir(d):
        return
    for name in os.listdir(d):
        stem, dot, ext = name.rpartition(".")
        if ext != "json" or not stem:
            continue
        try:
            with open(os.path.join(d, name), "rb") as f:
                store[tier][stem] = json.loads(f.read())
        except (OSError, ValueError):
            pass
with ThreadPoolExecutor(max_workers=os.cpu_count()) as pool:
    list(pool.map(load_tier, TIERS))
print(time.perf_counter() - t0)
"""


def best_of(code: str, base: Path, runs: int) -> tuple[float, float]:
    """(best in-process seconds, best whole-process seconds) over `runs` fresh interpreters."""
    import time

    inner, outer = [], []
    for _ in range(runs):
        t0 = time.perf_counter()
        inner.append(float(run_python(code, base).strip()))
        outer.append(time.perf_counter() - t0)
    return min(inner), min(outer)


def measure(per_tier: int = 2000) -> list[Row]:
    base = build_package(per_tier)
    try:
        files = 12 * per_tier
        size = sum(p.stat().st_size for p in (base / "tessarine" / "data" / "active").glob("*/*.json"))
        note(f"catalogue: {files} files, {size / 1e6:.1f} MB, in {base}")
        run_python(NATIVE, base)  # warm the page cache
        native_in, native_out = best_of(NATIVE, base, 5)
        python_in, python_out = best_of(PURE_PYTHON, base, 5)

        sample_code = """
import timeit, json
import tessarine._tessarine_core as core
store = {"alloy": {"Entry01999": {"Density_kg_m3": 1.0}}}
n = 200000
ours = min(timeit.repeat(lambda: core.py_sample("Entry01999", "Density_kg_m3"), number=n, repeat=5)) / n
peer = min(timeit.repeat(lambda: store["alloy"]["Entry01999"]["Density_kg_m3"], number=n, repeat=5)) / n
print(ours, peer)
"""
        ours, peer = map(float, run_python(sample_code, base).split())
    finally:
        shutil.rmtree(base, ignore_errors=True)
    catalogue = f"{files:,} files, {size / 1e6:.0f} MB"
    return [
        Row("load at import", catalogue, native_in, "json + ThreadPoolExecutor", python_in),
        Row("load, whole fresh interpreter", catalogue, native_out, "json + ThreadPoolExecutor", python_out),
        Row("py_sample, per call", "1 entry", ours, "dict lookup", peer),
    ]


def main() -> None:
    print(format_table(measure(int(sys.argv[1]) if len(sys.argv) > 1 else 2000)))


if __name__ == "__main__":
    main()
