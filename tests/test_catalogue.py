"""The shipped catalogue: consistent layout, every element, lookups a chemist relies on."""

from __future__ import annotations

import json
from pathlib import Path

import tessarine
import tessarine._tessarine_core as core

HERE = Path(__file__).parent
CATALOGUE = Path(core.__file__).parent / "data" / "active"


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


def numbers(sheet: dict) -> dict[str, float]:
    return {k: v for k, v in sheet.items() if isinstance(v, (int, float)) and not isinstance(v, bool)}


def test_every_bulk_number_is_at_the_top_level_and_can_be_sampled(tmp_path: Path) -> None:
    names: dict[str, Path] = {}
    for path in sorted(CATALOGUE.glob("*/*.json")):
        text = path.read_text(encoding="utf-8")
        sheet = json.loads(text)
        assert text == json.dumps(sheet, indent=2, ensure_ascii=False) + "\n", path
        assert "Properties" not in sheet and isinstance(sheet.get("Source"), str) and sheet["Source"], path
        assert names.setdefault(path.stem, path) == path, f"{path} and {names[path.stem]} share a name"
        if sheet.get("phase_model") != "voronoi":
            for key, value in numbers(sheet).items():
                assert core.py_sample(path.stem, key) == float(value), (path, key)
    vtk = core.py_export_vtk_legacy("Cu", str(tmp_path / "cu.vtk"), ((0, 0, 0), (0.002, 0.001, 0.001)), 0.001,
                                    ["Density_kg_m3"])
    assert Path(vtk).read_text(encoding="ascii").splitlines()[-2:] == ["8960.000000"] * 2
