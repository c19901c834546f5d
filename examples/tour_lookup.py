"""Tour: looking datasheets up by name, symbol, alias and braced formula."""

from __future__ import annotations

import json
from pathlib import Path

from tessarine import _tessarine_core as core


def tour_lookup(out: Path) -> None:
    print(f"tiers: {', '.join(sorted(core.py_list_tiers()))}")

    # An element by its symbol in any case, and by its aliases.
    for spec, scope in [("Cu", None), ("cu", "atoms"), ("copper", None), ("Wolfram", None)]:
        entry = core.py_get(spec, scope)
        where = f" in {scope}" if scope else ""
        print(f"py_get({spec!r}{where}) -> {entry['Name']} ({entry['Symbol']}), Z = {entry['AtomicNumber']}")
    print(f"py_get('HA') -> {core.py_get('HA')['Name']} (an alias of a biomaterial)")

    # A braced formula: numeric members summed by count, the rest from the first constituent.
    mix = core.py_get("{Fe=3, C=1}")
    print(f"py_get('{{Fe=3, C=1}}') -> formula {mix['formula']}, summed AtomicNumber {mix['AtomicNumber']}, "
          f"Name from the first constituent: {mix['Name']}")

    # A compound by its formula: every constituent is an element, so the atomic masses add up to the molar mass.
    acid = core.py_get("{H=2, S=1, O=4}")
    print(f"py_get('{{H=2, S=1, O=4}}') -> formula {acid['formula']}, molar mass {acid['AtomicMass_u']:.3f} g/mol; "
          f"'S' is {core.py_get('S')['Name']}, and {core.py_get('S', 'amino_acid')['Name']} among the amino acids")

    # Save an entry (in memory only), find it loosely, replace it.
    entry = {"Name": "Tour bronze", "Symbol": "TBz", "Aliases": ["tour bronze"], "Density_kg_m3": 8800}
    previous = core.py_save("TourBronze", json.dumps(entry), "alloys")
    print(f"py_save('TourBronze', ..., 'alloys') -> {previous}")
    print(f"py_get('tour bronze') -> {core.py_get('tour bronze')}")
    print(f"py_get('tbz', 'alloy')['Density_kg_m3'] -> {core.py_get('tbz', 'alloy')['Density_kg_m3']}")
    entry["Density_kg_m3"] = 8850
    previous = core.py_save("TourBronze", json.dumps(entry), "alloy")
    print(f"saved again; displaced Density_kg_m3 = {previous['Density_kg_m3']}, "
          f"now {core.py_data_sheet('TourBronze')['Density_kg_m3']}")

    for call, text in [(lambda: core.py_get("unobtainium"), "py_get('unobtainium')"),
                       (lambda: core.py_get("{Fe=x}"), "py_get('{Fe=x}')"),
                       (lambda: core.py_save("X", "{oops}", "alloy"), "py_save('X', '{oops}', 'alloy')")]:
        try:
            call()
        except (KeyError, ValueError) as exc:
            print(f"{text} -> {type(exc).__name__}: {exc.args[0]}")

    out.mkdir(parents=True, exist_ok=True)
    path = out / "lookup_formula.json"
    path.write_text(json.dumps(mix, indent=2) + "\n", encoding="utf-8")
    print(f"wrote {path}")


if __name__ == "__main__":
    tour_lookup(Path("out"))
