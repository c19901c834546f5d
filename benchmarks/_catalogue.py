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
from dataclasses import dataclass
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


@dataclass(frozen=True)
class Row:
    """One line of the benchmark table: times in seconds, ratio = peer / ours."""

    operation: str
    size: str
    ours: float
    peer_name: str
    peer: float

    @property
    def ratio(self) -> float:
        return self.peer / self.ours


def format_time(seconds: float) -> str:
    if seconds < 1e-3:
        return f"{seconds * 1e6:.2f} us"
    if seconds < 1.0:
        return f"{seconds * 1e3:.1f} ms"
    return f"{seconds:.2f} s"


def format_table(rows: list[Row]) -> str:
    """The rows as a Markdown table: operation, size, this module, the peer, ratio."""
    header = ("operation", "size", "tessarine", "peer", "peer time", "ratio")
    cells = [header] + [
        (r.operation, r.size, format_time(r.ours), r.peer_name, format_time(r.peer), f"{r.ratio:.2f}x")
        for r in rows
    ]
    widths = [max(len(c[i]) for c in cells) for i in range(len(header))]
    right = {2, 4, 5}

    def line(c: tuple[str, ...]) -> str:
        return "| " + " | ".join(v.rjust(w) if i in right else v.ljust(w) for i, (v, w) in enumerate(zip(c, widths))) + " |"

    rule = "|" + "|".join(("-" * (w + 1) + ":") if i in right else ("-" * (w + 2)) for i, w in enumerate(widths)) + "|"
    return "\n".join([line(cells[0]), rule] + [line(c) for c in cells[1:]])


def note(message: str) -> None:
    """Details beside the table (checks, sizes) go to stderr."""
    print(message, file=sys.stderr, flush=True)


def best_of(fn, repeat: int) -> float:
    """The best wall-clock time of `repeat` calls of fn()."""
    best = math.inf
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best
