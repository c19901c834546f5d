"""Alloy search: the native core against a pure-Python run of the same algorithm.

Draws 100,000 seeded candidates with both implementations in this process,
asserts that they return identical rankings, and prints the time of each and
the native figure as a ratio against the Python one.

    python benchmarks/bench_alloy.py [n_candidates]
"""

from __future__ import annotations

import json
import struct
import sys
import time
from pathlib import Path

import tessarine
from tessarine import _tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, format_table, note  # noqa: E402

MASK = (1 << 64) - 1
TIERS = (
    "subatomic", "atom", "molecule", "alloy", "ceramic", "composite",
    "amino_acid", "protein", "cell", "cell_component", "nucleic_acid", "biomaterial",
)
DEFAULT_POOL = ("Cr", "Ni", "Mn", "Si", "Cu", "Mo")


class Rng:
    """xoshiro256++ seeded through a PCG32 expansion of a 64-bit seed."""

    def __init__(self, seed: int) -> None:
        t = seed
        data = bytearray()
        for _ in range(8):
            t = (t * 6364136223846793005 + 11634580027462260723) & MASK
            x = (((t >> 18) ^ t) >> 27) & 0xFFFFFFFF
            r = t >> 59
            out = ((x >> r) | (x << ((32 - r) & 31))) & 0xFFFFFFFF
            data += out.to_bytes(4, "little")
        s = list(struct.unpack("<4Q", bytes(data)))
        if not any(s):
            s = [0xE220A8397B1DCDAF, 0x6E789E6AA1B965F4, 0x06C45D188009454F, 0xF88BB8A8724C81EC]
        self.s = s

    def next_u64(self) -> int:
        s0, s1, s2, s3 = self.s
        v = (s0 + s3) & MASK
        result = ((((v << 23) | (v >> 41)) & MASK) + s0) & MASK
        t = (s1 << 17) & MASK
        s2 ^= s0
        s3 ^= s1
        s1 ^= s2
        s0 ^= s3
        s2 ^= t
        s3 = ((s3 << 45) | (s3 >> 19)) & MASK
        self.s = [s0, s1, s2, s3]
        return result

    def uniform_below(self, n: int) -> int:
        zone = ((n << (64 - n.bit_length())) & MASK) - 1
        while True:
            p = self.next_u64() * n
            if p & MASK <= zone:
                return p >> 64

    def uniform_real(self, low: float, high: float) -> float:
        scale = high - low
        while True:
            m = struct.unpack("<d", struct.pack("<Q", 0x3FF0000000000000 | (self.next_u64() >> 12)))[0]
            r = (m - 1.0) * scale + low
            if r < high:
                return r


def load_store() -> dict[str, dict[str, object]]:
    root = Path(tessarine.__file__).parent / "data" / "active"
    store: dict[str, dict[str, object]] = {}
    for tier in TIERS:
        store[tier] = {
            p.stem: json.loads(p.read_text(encoding="utf-8"), object_pairs_hook=sorted_object)
            for p in sorted((root / tier).glob("*.json"))
        }
    return store


def sorted_object(pairs: list[tuple[str, object]]) -> dict[str, object]:
    """Objects keep their members in key order, as the native store does."""
    return dict(sorted(pairs))


def estimate(store, composition: dict[str, float]) -> dict[str, float]:
    acc: dict[str, list[float]] = {}
    for name, fraction in composition.items():
        value = next((t[name] for t in store.values() if name in t), None)
        if not isinstance(value, dict):
            continue
        sets = [value]
        props = value.get("Properties")
        if isinstance(props, dict):
            sets.append(props)
        for members in sets:
            for key, x in members.items():
                if not isinstance(x, (int, float)) or isinstance(x, bool):
                    continue
                x = float(x)
                a = acc.setdefault(key, [0.0, 0.0])
                a[0] = fraction * x + a[0]
                a[1] = fraction + a[1]
    return {k: w / f for k, (w, f) in sorted(acc.items()) if f > 0.0}


def optimize(store, targets, base, pool, n_candidates, top_k, seed):
    pool = list(pool) if pool else list(DEFAULT_POOL)
    g = Rng(seed)
    kept = []
    for _ in range(n_candidates):
        k = g.uniform_below(min(4, len(pool)) + 1)
        work = list(pool)
        chosen = [work.pop(g.uniform_below(len(work))) for _ in range(k)]
        w = [g.uniform_real(0.0005, 0.2) for _ in range(k)]
        s = -0.0
        for x in w:
            s = s + x
        if s > 0.5:
            factor = 0.5 / s
            w = [factor * x for x in w]
            s = -0.0
            for x in w:
                s = s + x
        composition = {base: max(1.0 - s, 0.0)}
        for name, x in zip(chosen, w):
            composition[name] = x
        est = estimate(store, composition)
        score = 0.0
        for t in targets:
            v = est.get(t["property"])
            if v is None:
                break
            lo, hi, weight = t.get("min_value"), t.get("max_value"), t.get("weight", 1.0)
            if lo is not None:
                if v < lo:
                    break
                score = score + (v - lo) * weight
            if hi is not None:
                if v > hi:
                    break
                score = score + (hi - v) * weight
        else:
            kept.append({"composition": composition, "estimated_properties": est, "score": score})
    kept.sort(key=lambda c: c["score"], reverse=True)  # stable; no NaN scores here
    return kept[:top_k]


def measure(n: int = 100_000) -> list[Row]:
    targets = [
        {"property": "Density_kg_m3", "max_value": 8000.0},
        {"property": "CorrosionResistance_index", "min_value": 3.5, "weight": 100.0},
        {"property": "YieldStrength_MPa", "min_value": 150.0, "max_value": 600.0, "weight": 0.5},
        {"property": "ThermalConductivity_W_mK", "max_value": 90.0, "weight": 0.1},
    ]
    args = (targets, "Fe", None, n, 10, 2024)
    store = load_store()

    core.py_optimize_alloy(*args[:3], 1000, 10, 1)  # warm up
    native_runs = []
    for _ in range(5):
        w0, c0 = time.perf_counter(), time.process_time()
        native = core.py_optimize_alloy(*args)
        native_runs.append((time.perf_counter() - w0, time.process_time() - c0))
    w0, c0 = time.perf_counter(), time.process_time()
    python = optimize(store, *args)
    python_run = (time.perf_counter() - w0, time.process_time() - c0)

    assert native == python, "rankings differ"
    assert all(list(a["composition"]) == list(b["composition"]) for a, b in zip(native, python))
    wall, cpu = min(r[0] for r in native_runs), min(r[1] for r in native_runs)
    note(f"alloy search, {n} seeded candidates, top {len(native)} identical; CPU time: native {cpu * 1e3:.1f} ms "
         f"({cpu / n * 1e9:.0f} ns per candidate), pure Python {python_run[1] * 1e3:.1f} ms")
    return [Row("py_optimize_alloy, seeded", f"{n:,} candidates", wall, "pure Python", python_run[0])]


def main() -> None:
    print(format_table(measure(int(sys.argv[1]) if len(sys.argv) > 1 else 100_000)))


if __name__ == "__main__":
    main()
