"""Calls every public function with the types a user would pass; checked by
``mypy --strict`` (tests/test_api.py) and run as a script.

``assert_type`` holds the precise result types in place.
"""

from __future__ import annotations

import sys
import tempfile
import threading
from pathlib import Path
from typing import Any, assert_type

import numpy as np
from numpy.typing import NDArray

import tessarine
from tessarine import _tessarine_core as core
from tessarine._types import Region, Tier
from tessarine.sample import sample


def main(out: Path) -> None:
    box = ((0.0, 0.0, 0.0), (0.002, 0.002, 0.001))
    assert_type(tessarine.Get("steel"), dict[str, Any])
    assert_type(tessarine.Get("S", tier="amino_acid"), dict[str, Any])
    assert_type(tessarine.Save("TypedAlloy", {"Density_kg_m3": 1}, "alloy"), dict[str, Any] | None)
    assert_type(tessarine.list_tiers(), list[Tier])
    assert_type(tessarine.resolve("copper"), tuple[Tier, str])
    assert_type(tessarine.names("atom"), list[str])

    assert_type(sample("copper", "Density_kg_m3", at=np.zeros(3), scale_m=0.001), float)
    assert_type(tessarine.sample.sample("copper", "Density_kg_m3"), float)
    assert_type(tessarine.data_sheet("Cu"), dict[str, Any])
    grid = tessarine.voxel_grid("DuplexSteel2205", np.array(box), 0.0005)
    assert_type(grid, tessarine.VoxelGrid)
    assert_type(grid.phase_ids, NDArray[np.int32])
    assert_type(grid.property("Density_kg_m3"), NDArray[np.float64])
    assert_type(grid.phase_names, tuple[str, ...])

    assert_type(tessarine.export_glsl("steel"), str)
    assert_type(tessarine.export_hlsl("steel", out / "s.hlsl", ["Density_kg_m3"]), Path)
    assert_type(tessarine.export_obj("steel", out / "s.obj", box, 0.001), tuple[Path, Path])
    assert_type(tessarine.export_stl("steel", str(out / "s.stl"), box, 0.001, binary=False), Path)
    assert_type(tessarine.export_vtk("steel", out / "s.vtk", box, 0.001, ["Density_kg_m3"]), Path)
    assert_type(tessarine.export_raw("steel", out / "s.raw", box, 0.001, mode="occupancy"), Path)
    counted: list[int] = []
    assert_type(tessarine.export_raw("steel", out / "s.raw", box, 0.001, cancel=threading.Event(),
                                     progress=lambda done, total: counted.append(done)), Path)  # fmt: skip

    ranking = tessarine.optimize_alloy(
        [tessarine.Target("Density_kg_m3", max_value=8100.0), {"property": "YieldStrength_MPa", "min_value": 100.0}],
        "Fe", alloying_pool=["Cr", "Ni"], n_candidates=200, top_k=2, seed=1,
    )  # fmt: skip
    assert_type(ranking, list[tessarine.AlloyCandidate])
    assert_type(ranking[0].composition, dict[str, float])

    backbone = tessarine.build_backbone("AAA", np.array([[-57.8, -47.0]] * 3))
    assert_type(backbone.xyz, NDArray[np.float64])
    assert_type(backbone.to_records()[0]["x"], float)
    assert_type(tessarine.build_backbone_from_entry("PolyAlanineHelix"), tessarine.Backbone)
    assert_type(tessarine.kabsch_rmsd(backbone.xyz, backbone.xyz + 1.0), float)
    assert_type(tessarine.ramachandran_region(-60.0, -45.0), Region)
    assert_type(tessarine.ramachandran_region(np.array([-60.0]), np.array([-45.0])), NDArray[np.str_])

    field = tessarine.bake("DuplexSteel2205", "Density_kg_m3", box, (4, 4, 2), truncate_threshold=0.0)
    assert_type(field, tessarine.FourierField)
    assert_type(field.evaluate(np.zeros((5, 3))), NDArray[np.float64])
    assert_type(field.coefficients, tuple[tessarine.FourierCoefficient, ...])

    assert_type(core.py_get("Fe"), Any)
    try:
        tessarine.Get("Steal")
    except tessarine.NotFoundError as exc:
        assert_type(exc.suggestions, tuple[str, ...])


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as tmp:
        main(Path(tmp))
    sys.exit(0)
