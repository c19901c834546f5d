"""py_bake_fourier: its result form and argument rules."""

from __future__ import annotations

import math
import time

import pytest

import tessarine._tessarine_core as core


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
