"""Runs every benchmark and prints one table: operation, size, this module, the peer, ratio.

    .venv/bin/python benchmarks/run_all.py [--only NAME ...]

Each benchmark measures this module and a named peer in the same run, on the
same input, after checking that both produce the same result. The ratio is
the peer's time divided by this module's: above 1 this module is faster.
Details of each run (sizes, checks) go to stderr; the table to stdout.
"""

from __future__ import annotations

import argparse
import importlib
import os
import platform
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import format_table, note  # noqa: E402

BENCHMARKS = ["load", "lookup", "export", "export_volume", "voxel_grid", "fourier", "protein", "alloy"]


def machine() -> str:
    cpu = platform.processor() or platform.machine()
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{cpu}, {os.cpu_count()} logical CPUs, {platform.system()} {platform.release()}, Python {platform.python_version()}"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", nargs="+", choices=BENCHMARKS, help="run only these benchmarks")
    names = parser.parse_args().only or BENCHMARKS
    rows = []
    for name in names:
        note(f"== bench_{name}")
        rows += importlib.import_module(f"bench_{name}").measure()
    print(f"Machine: {machine()}\n")
    print(format_table(rows))


if __name__ == "__main__":
    main()
