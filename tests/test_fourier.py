"""py_bake_fourier against numpy's FFT, with its result form and argument rules."""

from __future__ import annotations

import math
import time

import numpy as np
import pytest

import tessarine._tessarine_core as core


def peer_bake(name: str, prop: str, bounds, grid) -> tuple[float, dict[tuple[int, int, int], complex]]:
    """The same samples through py_sample, transformed by numpy.fft.fftn."""
    (x0, y0, z0), (x1, y1, z1) = bounds
    ext = [max(x1 - x0, 2.0**-52), max(y1 - y0, 2.0**-52), max(z1 - z0, 2.0**-52)]
    cell = [e / n for e, n in zip(ext, grid)]
    scale = min(cell)
    f = np.empty(grid)
    for i in range(grid[0]):
        for j in range(grid[1]):
            for k in range(grid[2]):
                at = (x0 + cell[0] * (i + 0.5), y0 + cell[1] * (j + 0.5), z0 + cell[2] * (k + 0.5))
                try:
                    f[i, j, k] = core.py_sample(name, prop, at, scale)
                except KeyError:
                    f[i, j, k] = 0.0
    base = f.mean()
    return base, np.fft.fftn(f - base)


@pytest.mark.parametrize(
    "name, prop, grid",
    [
        ("DuplexSteel2205", "Density_kg_m3", (6, 4, 5)),
        ("PearliticSteel", "YoungsModulus_GPa", (4, 4, 4)),
        ("Fe", "Nonesuch", (3, 2, 2)),
    ],
)
def test_matches_numpy_fftn(name, prop, grid):
    bounds = ((0.0, 0.0, 0.0), (0.0006, 0.0004, 0.0005))
    baked = core.py_bake_fourier(name, prop, bounds, grid, 0.0)
    base, spectrum = peer_bake(name, prop, bounds, grid)
    n = math.prod(grid)
    assert baked["base_value"] == pytest.approx(base, rel=1e-12, abs=1e-300)
    coefficients = baked["coefficients"]
    largest = max((c["amplitude"] for c in coefficients), default=0.0)
    tolerance = 1e-9 * largest
    for c in coefficients:
        x = spectrum[c["n"], c["m"] % grid[1], c["l"] % grid[2]]
        assert abs(c["amplitude"] - 2 * abs(x) / n) <= tolerance
        if c["amplitude"] > 1e-6 * largest:
            assert abs(math.remainder(c["phase"] - np.angle(x), 2 * math.pi)) <= 1e-9


def test_result_form():
    r = core.py_bake_fourier("Fe", "Density_kg_m3", ((0, 0, 0), (1, 2, 3)), (2, 2, 1), 0)
    assert (r["property_name"], r["domain_size_m"], r["boundary_condition"]) == (
        "Density_kg_m3", [1.0, 2.0, 3.0], "periodic")
    assert len(r["coefficients"]) == 4
    assert core.py_bake_fourier("Fe", "Density_kg_m3", ((0, 0, 0), (1, 1, 1)), (1, 1, 1))["coefficients"] == []
    flat = core.py_bake_fourier("Fe", "Density_kg_m3", ((1, 0, math.nan), (0, 1, 1)), (1, 1, 1))
    assert flat["domain_size_m"] == [2.220446049250313e-16, 1.0, 2.220446049250313e-16]


def test_validation_and_argument_conversion():
    box = ((0, 0, 0), (1, 1, 1))
    cases = [
        (("", "", box, (0, 1, 1), math.nan), "entry_name must not be empty"),
        (("NoSuchEntry", "", box, (0, 1, 1)), "property must not be empty"),
        (("NoSuchEntry", "d", box, (1, 1, 1)), "sample::lookup_entry: no datasheet found for 'NoSuchEntry'"),
        (("Fe", "d", box, (1, 1, 0), -1), "grid_size must be non-zero in all dimensions"),
        (("Fe", "d", box, (1, 1, 1), math.inf), "truncate_threshold must be a non-negative finite value"),
        (("Fe", "d", box, (1, 1, 1), -1e-9), "truncate_threshold must be a non-negative finite value"),
    ]
    for args, message in cases:
        with pytest.raises(ValueError) as e:
            core.py_bake_fourier(*args)
        assert e.value.args == (message,)
    core.py_bake_fourier("Fe", "d", box, (1, 1, 1), -0.0)
    for grid, cls, message in [
        ((2, 2.0, 2), TypeError, "argument 'grid_size': 'float' object cannot be interpreted as an integer"),
        ((2, -1, 2), OverflowError, "can't convert negative int to unsigned"),
    ]:
        with pytest.raises(cls) as e:
            core.py_bake_fourier("Fe", "d", box, grid)
        assert str(e.value) == message


@pytest.mark.parametrize("grid", [(10**9, 10**9, 10**9), (2**64 - 1, 2, 1), (2**40, 1, 1)])
def test_unallocatable_grid_fails_promptly(grid):
    start = time.monotonic()
    with pytest.raises(ValueError, match=r"^grid_size \(\d+, \d+, \d+\) is too large to allocate$"):
        core.py_bake_fourier("Fe", "d", ((0, 0, 0), (1, 1, 1)), grid)
    assert time.monotonic() - start < 5
