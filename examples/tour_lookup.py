"""Tour: looking datasheets up by name, symbol, alias and braced formula."""

from __future__ import annotations

import json
from pathlib import Path

import tessarine


def tour_lookup(out: Path) -> None:
    print(f"tiers: {', '.join(tessarine.list_tiers())}")

    # An element by its symbol in any case, and by its aliases; resolve() names the entry.
    for spec, tier in [("Cu", None), ("cu", "atoms"), ("copper", None), ("Wolfram", None)]:
        entry = tessarine.Get(spec, tier)
        where = f" in {tier}" if tier else ""
        found_tier, entry_name = tessarine.resolve(spec, tier)
        print(f"Get({spec!r}{where}) -> {entry['Name']} ({entry['Symbol']}), Z = {entry['AtomicNumber']}, "
              f"the entry {found_tier}/{entry_name}")
    print(f"Get('HA') -> {tessarine.Get('HA')['Name']} (an alias of a biomaterial)")

    # A braced formula: numeric members summed by count, the rest from the first constituent.
    mix = tessarine.Get("{Fe=3, C=1}")
    print(f"Get('{{Fe=3, C=1}}') -> formula {mix['formula']}, summed AtomicNumber {mix['AtomicNumber']}, "
          f"Name from the first constituent: {mix['Name']}")

    # A compound by its formula: every constituent is an element, so the atomic masses add up to the molar mass.
    acid = tessarine.Get("{H=2, S=1, O=4}")
    print(f"Get('{{H=2, S=1, O=4}}') -> formula {acid['formula']}, molar mass {acid['AtomicMass_u']:.3f} g/mol; "
          f"'S' is {tessarine.Get('S')['Name']}, and {tessarine.Get('S', 'amino_acid')['Name']} among the amino acids")

    # Save an entry (in memory only), find it loosely, replace it.
    entry = {"Name": "Tour bronze", "Symbol": "TBz", "Aliases": ["tour bronze"], "Density_kg_m3": 8800}
    previous = tessarine.Save("TourBronze", entry, "alloys")
    print(f"Save('TourBronze', ..., 'alloys') -> {previous}")
    print(f"Get('tour bronze') -> {tessarine.Get('tour bronze')}")
    print(f"Get('tbz', 'alloy')['Density_kg_m3'] -> {tessarine.Get('tbz', 'alloy')['Density_kg_m3']}")
    entry["Density_kg_m3"] = 8850
    displaced = tessarine.Save("TourBronze", entry, "alloy")
    assert displaced is not None
    print(f"saved again; displaced Density_kg_m3 = {displaced['Density_kg_m3']}, "
          f"now {tessarine.data_sheet('TourBronze')['Density_kg_m3']}")

    # Failures say what went wrong and what would have worked.
    for spec, tier in [("unobtainium", None), ("Steal", None), ("Fe", "alloys"), ("{Fe=x}", None), ("Fe", "metals")]:
        try:
            tessarine.Get(spec, tier)
        except (tessarine.NotFoundError, ValueError) as exc:
            print(f"Get({spec!r}{f', {tier!r}' if tier else ''}) -> {type(exc).__name__}: {exc}")

    out.mkdir(parents=True, exist_ok=True)
    path = out / "lookup_formula.json"
    path.write_text(json.dumps(mix, indent=2) + "\n", encoding="utf-8")
    print(f"wrote {path}")


if __name__ == "__main__":
    tour_lookup(Path("out"))
