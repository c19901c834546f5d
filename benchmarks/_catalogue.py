"""Shared helpers of the benchmarks: a generated catalogue in a throw-away package."""

from __future__ import annotations

import json
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import tessarine._tessarine_core as core

TIERS = [
    "subatomic", "atom", "molecule", "alloy", "ceramic", "composite",
    "amino_acid", "protein", "cell", "cell_component", "nucleic_acid", "biomaterial",
]


def make_entry(rng: random.Random, tier: str, i: int) -> dict:
    """An entry of about 1 KB with names, aliases, numbers and text."""
    props = {f"Prop{k:02d}_unit": rng.uniform(0, 1e4) for k in range(24)}
    return {
        "Name": f"{tier}-{i}",
        "Symbol": f"S{tier[:2]}{i}",
        "Aliases": [f"alias-{tier}-{i}", f"ALT {i}"],
        "Source": "generated for benchmarking",
        "Density_kg_m3": rng.uniform(500, 20000),
        "Count": i,
        "Properties": props,
    }


def build_package(entries_per_tier: int, base: Path | None = None, seed: int = 7) -> Path:
    """A `tessarine` package with the built extension and a generated catalogue; returns its parent."""
    base = Path(base or tempfile.mkdtemp(prefix="tessarine-bench-"))
    package = base / "tessarine"
    data = package / "data" / "active"
    package.mkdir(parents=True, exist_ok=True)
    (package / "__init__.py").write_text("")
    shutil.copy2(core.__file__, package / Path(core.__file__).name)
    rng = random.Random(seed)
    for tier in TIERS:
        (data / tier).mkdir(parents=True, exist_ok=True)
        for i in range(entries_per_tier):
            (data / tier / f"Entry{i:05d}.json").write_text(json.dumps(make_entry(rng, tier, i), indent=1))
    return base


def run_python(code: str, base: Path) -> str:
    """Runs `code` in a fresh interpreter with `base` first on the path; returns its stdout."""
    env = dict(os.environ, PYTHONPATH=str(base), PYTHONDONTWRITEBYTECODE="1")
    proc = subprocess.run([sys.executable, "-c", code], env=env, cwd=base, capture_output=True, text=True, check=True)
    return proc.stdout


def ratio_line(label: str, ours: float, peer: float, peer_name: str, unit: str = "ms") -> str:
    scale = 1e3 if unit == "ms" else 1e6
    return (f"{label:<44} tessarine {ours * scale:10.3f} {unit}   {peer_name} {peer * scale:10.3f} {unit}"
            f"   ratio {peer / ours:7.2f}x")


def best_of(fn, repeat: int) -> float:
    """The best wall-clock time of `repeat` calls of fn()."""
    best = math.inf
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best
