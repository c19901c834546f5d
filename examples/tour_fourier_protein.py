"""Tour section: a property field baked into a Fourier series, and protein backbone geometry."""

from __future__ import annotations

import json
from collections import Counter
from pathlib import Path

import tessarine
from tessarine import _tessarine_core as core

PEPTIDES = ["PolyAlanineHelix", "PolyValineStrand", "PolyprolineII"]


def _bake(out: Path) -> None:
    name, prop = "DuplexSteel2205", "Density_kg_m3"
    bounds = ((0.0, 0.0, 0.0), (0.002, 0.002, 0.002))  # a 2 mm cube sampled on 0.25 mm cells
    baked = core.py_bake_fourier(name, prop, bounds, (8, 8, 8), 0.05)
    everything = core.py_bake_fourier(name, prop, bounds, (8, 8, 8), 0.0)["coefficients"]
    kept = baked["coefficients"]
    print(f"{name} {prop} over a 2 mm cube, 8 x 8 x 8 samples:")
    print(f"  base value {baked['base_value']:.2f}, {len(kept)} of {len(everything)} terms at >= 5% of the largest")
    for c in sorted(kept, key=lambda c: -c["amplitude"])[:5]:
        print(f"  ({c['n']:>2}, {c['m']:>2}, {c['l']:>2})  amplitude {c['amplitude']:10.4f}  phase {c['phase']:+.4f}")
    path = out / "fourier_DuplexSteel2205_density.json"
    path.write_text(json.dumps(baked, indent=2) + "\n", encoding="utf-8")
    print(f"  wrote {path.name}")


def _residues(name: str) -> list[dict]:
    path = Path(tessarine.__file__).parent / "data" / "active" / "protein" / f"{name}.json"
    return json.loads(path.read_text(encoding="utf-8"))["residues"]


def _ca_trace(atoms: list[dict]) -> list[tuple[float, float, float]]:
    return [(a["x"], a["y"], a["z"]) for a in atoms if a["name"] == "CA"]


def _backbones(out: Path) -> None:
    traces = {}
    for name in PEPTIDES:
        atoms = core.py_build_backbone_from_entry(name)
        ca = _ca_trace(atoms)
        traces[name] = ca
        span = sum((p - q) ** 2 for p, q in zip(ca[0], ca[-1])) ** 0.5
        rise = span / (len(ca) - 1)
        path = out / f"backbone_{name}.xyz"
        lines = [str(len(atoms)), f"{name} backbone (N, CA, C), angstrom"]
        lines += [f"{a['name'][0]} {a['x']:.4f} {a['y']:.4f} {a['z']:.4f}" for a in atoms]
        path.write_text("\n".join(lines) + "\n", encoding="utf-8")
        regions = Counter(core.py_ramachandran_region(r["phi"], r["psi"]) for r in _residues(name))
        print(f"{name:<17} {len(atoms):>3} atoms, CA end to end {span:5.1f} A ({rise:.2f} A per residue), "
              f"regions {dict(regions)}; wrote {path.name}")

    a, b = traces["PolyValineStrand"], traces["PolyprolineII"]
    print(f"Kabsch RMSD of the CA traces, PolyValineStrand vs PolyprolineII: {core.py_kabsch_rmsd(a, b):.3f} A")
    helix = traces["PolyAlanineHelix"][: len(a)]
    print(f"Kabsch RMSD of the CA traces, PolyAlanineHelix (first {len(a)}) vs PolyValineStrand: "
          f"{core.py_kabsch_rmsd(helix, a):.3f} A")
    moved = [(y + 4.0, -x, z - 1.0) for x, y, z in helix]  # a rigid motion of the helix
    print(f"Kabsch RMSD of the helix against a rotated, shifted copy of itself: {core.py_kabsch_rmsd(helix, moved):.1e} A")


def tour_fourier_protein(out: Path) -> None:
    _bake(out)
    _backbones(out)


if __name__ == "__main__":
    target = Path.cwd() / "out"
    target.mkdir(exist_ok=True)
    tour_fourier_protein(target)
