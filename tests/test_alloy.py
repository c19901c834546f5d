"""py_optimize_alloy against a small data set of its own."""

from __future__ import annotations

import os
import subprocess
import sys

import pytest

from conftest import ThrowawayPackage

POOL = ("Cr", "Ni", "Mn", "Si", "Cu", "Mo")
D = {"Fe": 7.0, "Cr": 9.0, "Ni": 8.0, "Mn": 3.0, "Si": 5.0, "Cu": 6.0, "Mo": 4.0}

SCRIPT = r'''
import json
from tessarine import _tessarine_core as core

opt = core.py_optimize_alloy
X = [{"property": "x"}]
out = {}

def outcome(f):
    try:
        return ["ok", f()]
    except BaseException as e:
        return [type(e).__name__, str(e)]

class Boom:
    def __float__(self):
        raise ValueError("boom")

class Three:
    def __index__(self):
        return 3

class Sub(dict):
    pass

first = opt(X, "Fe", top_k=3, seed=0)
out["first"] = [list(c["composition"].items()) for c in first]
out["first_x"] = [c["estimated_properties"]["x"] for c in first]
out["first_scores"] = [c["score"] for c in first]
out["repeat"] = opt(X, "Fe", top_k=3, seed=0) == first
out["empty_pool"] = opt(X, "Fe", [], 50, 50, 7) == opt(X, "Fe", None, 50, 50, 7)
unseeded = [[c["composition"] for c in opt(X, "Fe", None, 40, 40)] for _ in range(2)]
out["unseeded_differ"] = unseeded[0] != unseeded[1] and len(unseeded[0]) == 40

out["none"] = opt(X, "Fe", n_candidates=0) + opt(X, "Fe", top_k=0, seed=1)
out["extreme_seeds"] = [len(opt(X, "Fe", n_candidates=20, top_k=20, seed=s)) for s in (0, 2**64 - 1)]

# Junk inside target dicts falls back to the defaults without a report.
ranked = opt([{"property": "d", "min_value": 0, "weight": 2}], "Fe", None, 300, 300, 3)
junk = [
    {"property": "d", "min_value": "junk", "max_value": Boom(), "weight": [1], "other": 1},
    {"property": "d", "min_value": None, "max_value": None, "weight": None},
]
out["junk_same"] = [c["score"] for c in opt(junk, "Fe", None, 300, 300, 3)] == [0.0] * 300
out["ranked"] = [[c["score"], c["estimated_properties"]["d"]] for c in ranked]
out["index_bound"] = [c["estimated_properties"]["d"] >= 3 for c in opt(
    [{"property": "d", "min_value": Three(), "weight": -1.0}], "Fe", None, 200, 200, 3)]
out["minus_one"] = len(opt([{"property": "d", "min_value": -1, "max_value": -1.0}], "Fe", None, 30, 30, 3))
out["no_property"] = [len(opt([t], "Fe", None, 30, 30, 3)) for t in (
    {"property": 5}, {"min_value": 1}, {"property": "\ud800"}, Sub(property="x"))]
out["min_above_max"] = len(opt([{"property": "d", "min_value": 8, "max_value": 7}], "Fe", None, 100, 100, 3))

# Only ordinary failures of reading a target count as an absent value.
class Raises:
    def __init__(self, exc):
        self.exc = exc
    def __float__(self):
        raise self.exc

class SameHashAs:  # a dict key that is compared with the key looked up
    def __init__(self, key, exc):
        self.key, self.exc = key, exc
    def __hash__(self):
        return hash(self.key)
    def __eq__(self, other):
        raise self.exc

class BadText(TypeError):
    def __str__(self):
        raise KeyboardInterrupt

class NoMemory(MemoryError):
    pass

D0 = {"property": "d"}
out["reading"] = [outcome(lambda t=t: len(opt([t], "Fe", None, 50, 50, 3)))[0] for t in (
    {**D0, "min_value": Raises(KeyboardInterrupt)},
    {**D0, "max_value": Raises(SystemExit(3))},
    {**D0, "weight": Raises(MemoryError)},
    {**D0, "weight": Raises(NoMemory)},
    {**D0, "min_value": Raises(BadText)},
    {**D0, SameHashAs("max_value", KeyboardInterrupt): 1},
    {**D0, "min_value": Raises(ArithmeticError), "max_value": Raises(TypeError), "weight": Raises(LookupError)},
    {**D0, SameHashAs("weight", ValueError): 1},
)]

# Pools are taken as given: empty names, duplicates and the base itself.
odd = opt(X, "Fe", ["", "Fe", "Fe"], 200, 200, 11)
out["odd_pool"] = [list(c["composition"].items()) for c in odd]
print(json.dumps(out))
'''


@pytest.fixture(scope="module")
def package(tmp_path_factory: pytest.TempPathFactory) -> ThrowawayPackage:
    pkg = ThrowawayPackage(tmp_path_factory.mktemp("alloy") / "pkg")
    for number, name in enumerate(("Fe", *POOL), start=20):
        pkg.write("atom", name, {"AtomicNumber": number, "Symbol": name, "Properties": {"x": 1.0, "d": D[name]}})
    pkg.write("alloy", "Steelish", {"Properties": {"x": 2.0}})
    return pkg


@pytest.fixture(scope="module")
def results(package: ThrowawayPackage) -> dict:
    return package.run_json(SCRIPT)


def test_seed_zero_draws(results: dict) -> None:
    # Every candidate scores 0: the first three drawn, in drawing order.
    assert results["first"][0] == [["Fe", 0.6319142437066485], ["Mn", 0.17946726494484508],
                                   ["Si", 0.18861849134850647]]
    assert [name for name, _ in results["first"][1]] == ["Fe", "Mn", "Mo"]
    assert [name for name, _ in results["first"][2]] == ["Fe", "Cr", "Mo", "Mn"]
    assert results["first_x"] == [1.0] * 3 and results["first_scores"] == [0.0] * 3
    assert results["repeat"] and results["empty_pool"] and results["unseeded_differ"]
    assert results["extreme_seeds"] == [20, 20] and results["none"] == []


def test_target_conversion_and_scoring(results: dict) -> None:
    assert results["junk_same"]
    scores = [s for s, _ in results["ranked"]]
    assert scores == sorted(scores, reverse=True) and len(scores) == 300
    assert all(s == pytest.approx(2 * d) for s, d in results["ranked"])
    assert all(results["index_bound"]) and len(results["index_bound"]) > 0
    assert results["minus_one"] == 0  # -1 is a real bound, not a failed conversion
    # A missing, non-str or unencodable property is the empty key: nothing passes.
    assert results["no_property"] == [0, 0, 0, 30]
    assert results["min_above_max"] == 0


def test_only_ordinary_failures_of_a_target_are_dropped(results: dict) -> None:
    assert results["reading"] == ["KeyboardInterrupt", "SystemExit", "MemoryError", "NoMemory",
                                  "KeyboardInterrupt", "KeyboardInterrupt", "ok", "ok"]


def test_pool_taken_as_given(results: dict) -> None:
    compositions = results["odd_pool"]
    assert len(compositions) == 200
    fe = [dict(c)["Fe"] for c in compositions]
    # The base drawn from the pool takes the drawn fraction in place of its own.
    assert any(f < 0.2 for f in fe) and any(f == 1.0 for f in fe)
    assert any("" in dict(c) for c in compositions)
    assert all(list(dict(c))[0] == "Fe" for c in compositions)


def test_huge_candidate_count_runs(tmp_path) -> None:
    # The up-front reservation is capped: a huge count starts searching (stopped by the time-out).
    code = ("import tessarine; tessarine.py_optimize_alloy([{'property': 'no such key'}], 'Fe', "
            "n_candidates=2**64 - 1, seed=1)")
    with pytest.raises(subprocess.TimeoutExpired):
        subprocess.run([sys.executable, "-c", code], timeout=3, capture_output=True, cwd=tmp_path)


def test_memory_stays_flat_in_the_candidate_count(package: ThrowawayPackage) -> None:
    growth = package.run_json(
        """
        import resource
        from tessarine import _tessarine_core as core

        def peak_kib():
            return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss

        core.py_optimize_alloy([{"property": "x"}], "Fe", None, 200_000, 5, 1)
        small = peak_kib()
        best = core.py_optimize_alloy([{"property": "x"}], "Fe", None, 2_000_000, 5, 1)
        print(peak_kib() - small if len(best) == 5 else -1)
        """
    )
    assert 0 <= growth < 8 * 1024


# AddressSanitizer maps terabytes of shadow memory and aborts when an allocation fails.
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer cannot run capped")
def test_running_out_of_memory_is_a_memory_error_with_a_message(package: ThrowawayPackage) -> None:
    # A top_k as large as the draws under a capped address space: MemoryError, not a crash.
    proc = package.run(
        """
        import resource
        from tessarine import _tessarine_core as core

        with open("/proc/self/statm") as f:
            size = int(f.read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (size + (192 << 20), resource.RLIM_INFINITY))
        try:
            core.py_optimize_alloy([{"property": "x"}], "Fe", None, 10**8, 10**8, 1)
        except MemoryError as e:
            print(repr(e))
        """
    )
    assert proc.stdout == "MemoryError('py_optimize_alloy: out of memory')\n"
