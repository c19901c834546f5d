"""Tour section: searching an alloy composition against property targets."""

from __future__ import annotations

import dataclasses
import json
from pathlib import Path

import tessarine
from tessarine import Target

# A stainless-steel-like brief: corrosion resistance as high as possible,
# strength in a workable window (a two-sided target screens but does not
# rank), and no denser than common steels, lighter ranking slightly higher.
TARGETS = [
    Target("CorrosionResistance_index", min_value=4.0, weight=10.0),
    Target("YieldStrength_MPa", min_value=150.0, max_value=500.0),
    Target("Density_kg_m3", max_value=8100.0, weight=0.001),
]
SHOWN = ("CorrosionResistance_index", "YieldStrength_MPa", "Density_kg_m3", "MeltingPoint_K",
         "ThermalConductivity_W_mK", "YoungsModulus_GPa")  # fmt: skip


def tour_alloy(out: Path) -> None:
    """Ranks 20,000 seeded Fe-based compositions from the default pool."""
    ranking = tessarine.optimize_alloy(TARGETS, "iron", n_candidates=20_000, top_k=5, seed=316)
    print("alloy search: Fe base, pool Cr Ni Mn Si Cu Mo, 20000 candidates, seed 316")
    for rank, candidate in enumerate(ranking, start=1):
        composition = ", ".join(
            f"{name} {fraction * 100:.1f}%"
            for name, fraction in sorted(candidate.composition.items(), key=lambda item: -item[1])
        )
        print(f"  #{rank}  score {candidate.score:8.3f}  {composition}")
        est = candidate.estimated_properties
        print("       " + "  ".join(f"{key.split('_')[0]} {est[key]:.4g}" for key in SHOWN))
    path = out / "alloy_ranking.json"
    path.write_text(json.dumps([dataclasses.asdict(c) for c in ranking], indent=2) + "\n", encoding="utf-8")
    print(f"  ranking written to {path}")


if __name__ == "__main__":
    target = Path("out")
    target.mkdir(exist_ok=True)
    tour_alloy(target)
