"""A tour of tessarine on the shipped datasheets.

Run it with the README's tour command (``bash scripts/dev.sh tour``); it writes its files into ./out/.
"""

from __future__ import annotations

import importlib
import sys
from pathlib import Path

import tessarine
from tessarine.sample import sample

HERE = Path(__file__).resolve().parent
OUT = Path.cwd() / "out"

# Sections of the tour, one per subject, in the order they are shown.
SECTIONS = [
    ("tour_lookup", "Names, symbols, aliases and formulas"),
    ("tour_export_surface", "Microstructure surfaces: OBJ/MTL and STL"),
    ("tour_export_volume", "Voxel grids, volumes and shaders: VTK, raw volume, GLSL"),
    ("tour_fourier_protein", "Fourier bake and protein geometry"),
    ("tour_alloy", "Alloy search"),
]


def heading(text: str) -> None:
    print(f"\n== {text} " + "=" * max(0, 70 - len(text)))


def tour_catalogue() -> None:
    heading("The catalogue")
    print(f"tessarine {tessarine.__version__}")
    total = 0
    for tier in tessarine.list_tiers():
        count = len(tessarine.names(tier))
        total += count
        print(f"  {tier:<15} {count:>3} datasheets")
    print(f"  {'total':<15} {total:>3}")

    heading("Sampling properties")
    for name, prop in [
        ("steel", "Density_kg_m3"),
        ("316L", "YoungsModulus_GPa"),
        ("iron", "AtomicNumber"),
        ("duplex stainless steel", "Density_kg_m3"),
    ]:
        print(f"  {name:<23} {prop:<20} {sample(name, prop):>10.1f}")
    print("  DuplexSteel2205 YoungsModulus_GPa along x through 1 mm grains (austenite 195, ferrite 210):")
    for i in range(-3, 3):
        at = (0.001 * i + 0.0005, 0.0002, 0.0002)
        value = sample("DuplexSteel2205", "YoungsModulus_GPa", at, scale_m=0.001)
        print(f"    x = {at[0] * 1000:+.1f} mm: {value:.1f}")
    coarse = sample("DuplexSteel2205", "YoungsModulus_GPa", (0.0, 0.0, 0.0), scale_m=0.05)
    print(f"  ... and observed at 5 cm, the volume-weighted average: {coarse:.1f}")
    try:
        sample("stainless", "density")
    except tessarine.NotFoundError as exc:
        print(f"  a name that is not there: {exc}")


def main() -> None:
    OUT.mkdir(exist_ok=True)
    tour_catalogue()
    sys.path.insert(0, str(HERE))
    for module_name, title in SECTIONS:
        heading(title)
        getattr(importlib.import_module(module_name), module_name)(OUT)
    print(f"\nFiles written to {OUT}")


if __name__ == "__main__":
    main()
