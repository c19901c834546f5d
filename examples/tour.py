"""A tour of tessarine's native core on the shipped datasheets.

Run it with the README's tour command; it writes its files into ./out/.
"""

from __future__ import annotations

import importlib
import sys
from collections import Counter
from pathlib import Path

import tessarine
from tessarine import _tessarine_core as core

HERE = Path(__file__).resolve().parent
OUT = Path.cwd() / "out"

# Sections of the tour, one per subsystem, in the order they are shown.
SECTIONS = [
    ("tour_lookup", "Names, symbols, aliases and formulas"),
    ("tour_export_surface", "Microstructure surfaces: OBJ/MTL and STL"),
    ("tour_export_volume", "Volumes and shaders: VTK, raw volume, GLSL"),
    ("tour_fourier_protein", "Fourier bake and protein geometry"),
    ("tour_alloy", "Alloy search"),
]


def heading(text: str) -> None:
    print(f"\n== {text} " + "=" * max(0, 70 - len(text)))


def tour_catalogue() -> None:
    heading("The catalogue")
    data = Path(tessarine.__file__).parent / "data" / "active"
    counts = Counter(path.parent.name for path in data.glob("*/*.json"))
    tiers = core.py_list_tiers() if hasattr(core, "py_list_tiers") else sorted(counts)
    print(f"tessarine {tessarine.__version__}, native core loaded: {core.is_rust_backend()}")
    for tier in sorted(tiers):
        print(f"  {tier:<15} {counts.get(tier, 0):>3} datasheets")
    print(f"  {'total':<15} {sum(counts.values()):>3}")

    heading("Sampling properties")
    for name, prop in [
        ("Steel", "Density_kg_m3"),
        ("316L", "YoungsModulus_GPa"),
        ("Fe", "AtomicNumber"),
        ("DuplexSteel2205", "Density_kg_m3"),
    ]:
        print(f"  {name:<16} {prop:<20} {core.py_sample(name, prop):>10.1f}")
    print("  DuplexSteel2205 YoungsModulus_GPa along x through 1 mm grains (austenite 195, ferrite 210):")
    for i in range(-3, 3):
        at = (0.001 * i + 0.0005, 0.0002, 0.0002)
        value = core.py_sample("DuplexSteel2205", "YoungsModulus_GPa", at, 0.001)
        print(f"    x = {at[0] * 1000:+.1f} mm: {value:.1f}")
    coarse = core.py_sample("DuplexSteel2205", "YoungsModulus_GPa", (0.0, 0.0, 0.0), 0.05)
    print(f"  ... and observed at 5 cm, the volume-weighted average: {coarse:.1f}")


def main() -> None:
    OUT.mkdir(exist_ok=True)
    tour_catalogue()
    sys.path.insert(0, str(HERE))
    for module_name, title in SECTIONS:
        if not (HERE / f"{module_name}.py").exists():
            continue
        heading(title)
        getattr(importlib.import_module(module_name), module_name)(OUT)
    print(f"\nFiles written to {OUT}")


if __name__ == "__main__":
    main()
