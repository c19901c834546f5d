"""The shipped catalogue: consistent layout, every element, lookups a chemist relies on."""

from __future__ import annotations

import json
from pathlib import Path

import tessarine

HERE = Path(__file__).parent


def test_tour_alloy_ranking_is_unchanged() -> None:
    """The tour's search, recorded before the datasheets were rearranged, bit for bit."""
    targets = [
        {"property": "CorrosionResistance_index", "min_value": 4.0, "weight": 10.0},
        {"property": "YieldStrength_MPa", "min_value": 150.0, "max_value": 500.0},
        {"property": "Density_kg_m3", "max_value": 8100.0, "weight": 0.001},
    ]
    ranking = tessarine.py_optimize_alloy(
        targets, "Fe", alloying_pool=["Cr", "Ni", "Mn", "Si", "Cu", "Mo"], n_candidates=20_000, top_k=5, seed=316
    )
    expected = json.loads((HERE / "data" / "tour_alloy_ranking.json").read_text(encoding="utf-8"))
    assert [c["composition"] for c in ranking] == [c["composition"] for c in expected]
    assert [c["score"] for c in ranking] == [c["score"] for c in expected]
    assert [c["estimated_properties"] for c in ranking] == [c["estimated_properties"] for c in expected]
