"""py_bake_fourier: its result form and grids too large to allocate."""

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


@pytest.mark.parametrize("grid", [(10**9, 10**9, 10**9), (2**64 - 1, 2, 1), (2**40, 1, 1)])
def test_unallocatable_grid_fails_promptly(grid):
    start = time.monotonic()
    with pytest.raises(ValueError, match=r"^grid_size \(\d+, \d+, \d+\) is too large to allocate$"):
        core.py_bake_fourier("Fe", "d", ((0, 0, 0), (1, 1, 1)), grid)
    assert time.monotonic() - start < 5
