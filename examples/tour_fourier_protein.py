"""Tour section: a property field baked into a Fourier series, and protein backbone geometry."""

from __future__ import annotations

import json
from collections import Counter
from pathlib import Path

import numpy as np

import tessarine

PEPTIDES = ["PolyAlanineHelix", "PolyValineStrand", "PolyprolineII"]


def _bake(out: Path) -> None:
    name, prop = "DuplexSteel2205", "Density_kg_m3"
    bounds = ((0.0, 0.0, 0.0), (0.002, 0.002, 0.002))  # a 2 mm cube sampled on 0.25 mm cells
    baked = tessarine.bake(name, prop, bounds, (8, 8, 8), truncate_threshold=0.05)
    everything = tessarine.bake(name, prop, bounds, (8, 8, 8), truncate_threshold=0.0)
    kept = baked.coefficients
    print(f"{name} {prop} over a 2 mm cube, 8 x 8 x 8 samples:")
    print(f"  base value {baked.base_value:.2f}, {len(kept)} of {len(everything.coefficients)} terms "
          "at >= 5% of the largest")
    for c in sorted(kept, key=lambda c: -c.amplitude)[:5]:
        print(f"  ({c.n:>2}, {c.m:>2}, {c.l:>2})  amplitude {c.amplitude:10.4f}  phase {c.phase:+.4f}")

    # The full series gives the samples back at the cell centres; the truncated one approximates them.
    centres = (np.stack(np.meshgrid(*[np.arange(8)] * 3, indexing="ij"), axis=-1) + 0.5) * 0.00025
    exact = everything.evaluate(centres)
    approx = baked.evaluate(centres)
    print(f"  at the 512 cell centres: the full series spans {exact.min():.1f} to {exact.max():.1f} kg/m3, "
          f"the truncated one is off by {np.abs(approx - exact).max():.1f} at most")
    path = out / "fourier_DuplexSteel2205_density.json"
    path.write_text(json.dumps(baked.to_dict(), indent=2) + "\n", encoding="utf-8")
    print(f"  wrote {path.name}")


def _backbones(out: Path) -> None:
    traces = {}
    for name in PEPTIDES:
        backbone = tessarine.build_backbone_from_entry(name)
        ca = backbone.xyz[backbone.names == "CA"]
        traces[name] = ca
        span = float(np.linalg.norm(ca[-1] - ca[0]))
        path = out / f"backbone_{name}.xyz"
        lines = [str(len(backbone.xyz)), f"{name} backbone (N, CA, C), angstrom"]
        lines += [f"{n[0]} {x:.4f} {y:.4f} {z:.4f}" for n, (x, y, z) in zip(backbone.names, backbone.xyz, strict=True)]
        path.write_text("\n".join(lines) + "\n", encoding="utf-8")
        residues = tessarine.Get(name)["residues"]
        regions = Counter(
            tessarine.ramachandran_region([r["phi"] for r in residues], [r["psi"] for r in residues]).tolist()
        )
        print(f"{name:<17} {len(backbone.xyz):>3} atoms, CA end to end {span:5.1f} A "
              f"({span / (len(ca) - 1):.2f} A per residue), regions {dict(regions)}; wrote {path.name}")

    a, b = traces["PolyValineStrand"], traces["PolyprolineII"]
    print(f"Kabsch RMSD of the CA traces, PolyValineStrand vs PolyprolineII: {tessarine.kabsch_rmsd(a, b):.3f} A")
    helix = traces["PolyAlanineHelix"][: len(a)]
    print(f"Kabsch RMSD of the CA traces, PolyAlanineHelix (first {len(a)}) vs PolyValineStrand: "
          f"{tessarine.kabsch_rmsd(helix, a):.3f} A")
    moved = helix[:, [1, 0, 2]] * [1.0, -1.0, 1.0] + [4.0, 0.0, -1.0]  # a rigid motion of the helix
    print(f"Kabsch RMSD of the helix against a rotated, shifted copy of itself: "
          f"{tessarine.kabsch_rmsd(helix, moved):.1e} A")


def tour_fourier_protein(out: Path) -> None:
    _bake(out)
    _backbones(out)


if __name__ == "__main__":
    target = Path.cwd() / "out"
    target.mkdir(exist_ok=True)
    tour_fourier_protein(target)
