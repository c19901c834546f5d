"""Repeated calls of every function, on success and failure paths, leave no memory or descriptors behind."""

from __future__ import annotations

import os
import textwrap
from pathlib import Path

import pytest

from conftest import run_json

TESTS = Path(__file__).resolve().parent
ROUNDS = 12
PASSES_PER_ROUND = 8

SCRIPT = textwrap.dedent(
    f"""
    import gc, json, os, sys, tempfile
    sys.path.insert(0, {str(TESTS)!r})
    import exercise

    def resident():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

    with tempfile.TemporaryDirectory() as tmp:
        cases = exercise.calls(tmp)
        exercise.run(cases, 3)  # warm-up: caches, interned names, the thread pool
        samples = []
        for r in range({ROUNDS}):
            exercise.run(cases, {PASSES_PER_ROUND})
            if r in ({ROUNDS // 2}, {ROUNDS - 1}):  # only here: reading the sizes allocates a little
                gc.collect()
                samples.append([sys.getallocatedblocks(), resident(), len(os.listdir("/proc/self/fd"))])
    print(json.dumps({{"calls": len(cases), "samples": samples}}))
    """
)


# Under AddressSanitizer freed memory waits in a quarantine and the
# interpreter allocates with malloc, so neither figure means anything there;
# LeakSanitizer checks that run instead.
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer run: LeakSanitizer checks it")
def test_no_growth_over_rounds() -> None:
    report = run_json(SCRIPT)
    samples = report["samples"]
    # Compare the second half of the rounds: by then every cache and free list has settled.
    # One block leaked by a single one of the calls adds PASSES_PER_ROUND blocks a round;
    # one leaked copy of a 4 KiB name or message adds 32 KiB a round to the resident size.
    first, last = samples
    blocks, resident, fds = (b - a for a, b in zip(first, last))
    assert report["calls"] * PASSES_PER_ROUND * ROUNDS > 10_000
    assert blocks < PASSES_PER_ROUND, samples
    assert resident < 1 << 20, samples
    assert fds == 0, samples
