"""Long calls and other threads: what a second Python thread keeps of its speed, and two calls at once.

    python benchmarks/bench_threads.py

1. The loop rate of a second Python thread (iterations of a counting loop per
   second) while the main thread runs a long export, Fourier bake or alloy
   search, against its rate while the main thread sleeps. The native work
   runs without the interpreter lock, so the counting thread shares the
   processors only with the worker pool.
2. Exports of single-phase materials, each thread its own material: exports
   per second with one thread, and with two threads at once.
3. The same calls with and without a progress callable: what reporting costs.

Each figure is the best of a few runs; details go to stderr.
"""

from __future__ import annotations

import os
import sys
import tempfile
import threading
import time
from collections.abc import Callable
from pathlib import Path

import tessarine

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import note  # noqa: E402

D = "DuplexSteel2205"


def box(n: int) -> tuple[tuple[float, float, float], tuple[float, float, float]]:
    return ((0.0, 0.0, 0.0), (n * 0.0005, n * 0.0005, n * 0.0005))


def loop_rate_during(call: Callable[[], object]) -> tuple[float, float]:
    """(iterations per second of a counting thread while `call` runs on this thread, seconds `call` took)."""
    stop = threading.Event()
    started = threading.Event()
    count = [0]

    def counter() -> None:
        n = 0
        started.set()
        while not stop.is_set():
            n += 1
        count[0] = n

    t = threading.Thread(target=counter)
    t.start()
    started.wait()
    t0 = time.perf_counter()
    call()
    elapsed = time.perf_counter() - t0
    stop.set()
    t.join()
    return count[0] / elapsed, elapsed


def best(runs: int, measure: Callable[[], float]) -> float:
    return min(measure() for _ in range(runs))


def main() -> None:
    out = Path(tempfile.mkdtemp())
    calls = {
        "export_vtk, 160^3 voxels, one property": lambda: tessarine.export_vtk(
            D, out / "a.vtk", box(160), 0.0005, ["Density_kg_m3"]
        ),
        "bake, 16^3 grid": lambda: tessarine.bake(D, "Density_kg_m3", box(16), (16, 16, 16)),
        "optimize_alloy, 1,000,000 candidates": lambda: tessarine.optimize_alloy(
            [{"property": "Density_kg_m3", "max_value": 8000.0}], "Fe", n_candidates=1_000_000, seed=1
        ),
    }
    idle = max(loop_rate_during(lambda: time.sleep(0.5))[0] for _ in range(3))
    print(f"second thread's loop rate, main thread asleep: {idle / 1e6:.2f} M/s")
    print("| during | call time | second thread's loop rate | of idle |")
    print("|---|---:|---:|---:|")
    for name, call in calls.items():
        call()  # warm up
        runs = [loop_rate_during(call) for _ in range(3)]
        rate, elapsed = max(runs)
        print(f"| {name} | {elapsed * 1e3:.0f} ms | {rate / 1e6:.2f} M/s | {rate / idle:.0%} |")

    materials = ["Cu", "Fe", "Al", "Ni"]
    each = 4

    def exports(material: str, k: int) -> None:
        for i in range(each):
            tessarine.export_vtk(material, out / f"{material}{k}{i}.vtk", box(128), 0.0005, ["Density_kg_m3"])

    def one_thread() -> float:
        t0 = time.perf_counter()
        exports(materials[0], 0)
        exports(materials[1], 0)
        return time.perf_counter() - t0

    def two_threads() -> float:
        threads = [threading.Thread(target=exports, args=(m, 1)) for m in materials[:2]]
        t0 = time.perf_counter()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        return time.perf_counter() - t0

    n = 2 * each
    t1, t2 = best(3, one_thread), best(3, two_threads)
    print(f"\nexport_vtk of single-phase materials, 128^3 voxels, one property, {n} exports "
          f"({os.cpu_count()} processors):")
    print(f"  one thread:  {n / t1:.2f} exports/s ({t1 * 1e3:.0f} ms)")
    print(f"  two threads: {n / t2:.2f} exports/s ({t2 * 1e3:.0f} ms), {t1 / t2:.2f}x")

    print("\nthe same call without and with progress=(a callable):")
    for name, call in [
        ("optimize_alloy, 1,000,000 candidates", lambda **kw: tessarine.optimize_alloy(
            [{"property": "Density_kg_m3", "max_value": 8000.0}], "Fe", n_candidates=1_000_000, seed=1, **kw)),
        ("export_raw, 256^3 voxels", lambda **kw: tessarine.export_raw(D, out / "b.raw", box(256), 0.0005, **kw)),
        ("bake, 16^3 grid", lambda **kw: tessarine.bake(D, "Density_kg_m3", box(16), (16, 16, 16), **kw)),
    ]:
        def timed(**kw: object) -> float:
            t0 = time.perf_counter()
            call(**kw)
            return time.perf_counter() - t0

        reports = []
        plain = best(5, timed)
        with_progress = best(5, lambda: timed(progress=lambda d, t: reports.append(d)))
        print(f"  {name}: {plain * 1e3:.1f} ms without, {with_progress * 1e3:.1f} ms with "
              f"({with_progress / plain - 1:+.1%})")
    note(f"files in {out}")
    for f in out.iterdir():
        f.unlink()
    out.rmdir()


if __name__ == "__main__":
    main()
