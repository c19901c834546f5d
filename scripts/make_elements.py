#!/usr/bin/env python3
"""Generates the atom tier: one datasheet per element, hydrogen to oganesson.

The numbers come from reference tables shipped in Python packages; every value
that two of them give is cross-checked, and the disagreements above 2 % are
listed with the value chosen and why in python/tessarine/data/SOURCES.md:

    pip install mendeleev==1.3.0 periodictable==2.1.0
    pip install --no-deps pymatgen-core==2026.10.16   # only its element table is read
    python scripts/make_elements.py            # writes atom/<Symbol>.json and SOURCES.md
    python scripts/make_elements.py --check    # exits 1 if a committed file differs

The hand-kept atoms of CURATED are never rewritten: they are cross-checked and
reported like the others. Elsewhere a property that no package gives, or that
is only an estimate (an element never made in bulk), is left out.
"""

from __future__ import annotations

import argparse
import gzip
import importlib.metadata as metadata
import json
import math
import sys
from dataclasses import dataclass, field
from decimal import Decimal
from pathlib import Path
from typing import TypeGuard

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "python" / "tessarine" / "data"
ATOMS = DATA / "active" / "atom"
PINNED = {"mendeleev": "1.3.0", "periodictable": "2.1.0", "pymatgen-core": "2026.10.16"}

CURATED = {"H", "C", "N", "O", "Al", "Si", "Ti", "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Mo", "Ag", "W", "Au"}
SPELLING = {"Aluminum": "Aluminium", "Cesium": "Caesium"}  # IUPAC names
EXTRA_ALIASES = {
    "Na": ["natrium"], "K": ["kalium"], "S": ["sulphur"], "Cs": ["cesium"], "Nb": ["columbium"],
    "Sn": ["stannum"], "Sb": ["stibium"], "Pb": ["plumbum"], "Hg": ["hydrargyrum", "quicksilver"],
}
DIATOMIC = {"H", "N", "O", "F", "Cl", "Br", "I"}  # molar values per mole of X2
METAL_SERIES = {"Alkali metals", "Alkaline earth metals", "Poor metals", "Transition metals", "Lanthanides", "Actinides"}
# Densities that mendeleev marks as theoretical estimates are left out.
DENSITY_ESTIMATED = {"At", "Fr", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn",
                     "Nh", "Fl", "Mc", "Lv", "Ts", "Og"}
# Melting points of elements never made in weighable amounts are predictions.
MELTING_ESTIMATED = {"At", "Fr", "Fm", "Md", "No", "Lr"}
# The allotrope whose density the reference gives, where it lists several.
ALLOTROPE = {"P": "white", "Se": "gray", "Sn": "white"}
ELEMENT_NOTES = {
    "He": "Helium does not solidify at 101.325 kPa, so no melting point is given.",
    "B": "beta-rhombohedral boron.",
    "P": "White phosphorus (P4); red phosphorus sublimes near 704 K instead.",
    "S": "Rhombic (alpha) sulfur, which turns monoclinic at 368.35 K; the monoclinic form melts at 388.36 K.",
    "Se": "Gray (trigonal) selenium.",
    "Sn": "White (beta) tin, stable above 286.35 K, where it turns into gray (alpha) tin.",
    "Sb": "Gray (metallic) antimony.",
    "As": "Gray arsenic sublimes at 101.325 kPa; it melts only under pressure, at its triple point (1090 K, 3.7 MPa).",
    "Bk": "alpha-berkelium.",
}
SOURCES = {
    "ciaaw": "standard atomic weights 2021, IUPAC CIAAW (Prohaska et al., Pure Appl. Chem. 94:573, 2022), "
             "via periodictable 2.1.0",
    "ciaaw-radio": "CIAAW table of radioactive elements (longest-lived isotope), via mendeleev 1.3.0",
    "mendeleev-weight": "IUPAC atomic weights (Meija et al., Pure Appl. Chem. 88:265, 2016), via mendeleev 1.3.0",
    "crc95": "CRC Handbook of Chemistry and Physics, 95th ed. (2014), via mendeleev 1.3.0",
    "crc97": "CRC Handbook of Chemistry and Physics, 97th ed. (2016), via mendeleev 1.3.0",
    "crc80": "CRC Handbook of Chemistry and Physics, 80th ed. (1999), via periodictable 2.1.0",
    "pt-radio": "periodictable 2.1.0 (the mass number of a long-lived isotope)",
    "mendeleev": "mendeleev 1.3.0 element table, which names no reference for it",
    "pymatgen": "pymatgen-core 2026.10.16 element table, which names no reference",
    "ideal-gas": "ideal-gas density at the stated conditions from the standard atomic weight",
    "cp-molar": "molar heat capacity over the atomic weight, CRC 95th ed. via mendeleev 1.3.0",
    "curated": "the hand-kept datasheet",
}
LABEL = {"ciaaw": "CIAAW 2021", "ciaaw-radio": "CIAAW radioactive", "mendeleev-weight": "IUPAC 2013",
         "crc95": "CRC 95th", "crc97": "CRC 97th", "crc80": "CRC 80th", "pt-radio": "periodictable", "mendeleev": "mendeleev",
         "pymatgen": "pymatgen", "ideal-gas": "ideal gas", "cp-molar": "molar cp / weight", "curated": "kept"}
# Deliberate choices where the references disagree: (symbol, key) -> (source, why).
CHOICES = {
    ("K", "Density_kg_m3"): ("crc80", "two of the three tables give 0.86 g/cm3, the metal at 20 °C; CRC 95th's 0.89 "
                             "is the outlier"),
    ("Ru", "Density_kg_m3"): ("pymatgen", "two of the three tables give 12.37-12.41 g/cm3, as does the X-ray density "
                              "of the hcp cell; CRC 95th's 12.1 is the outlier"),
    ("Tc", "Density_kg_m3"): ("crc80", "two of the three tables give 11.5 g/cm3, near the X-ray density of the hcp "
                              "cell (about 11.4); CRC 95th gives the round 11"),
    ("Ba", "Density_kg_m3"): ("crc95", "closest to the X-ray density of bcc barium (a = 5.02 Å in mendeleev: "
                              "3.61 g/cm3)"),
    ("S", "ThermalConductivity_W_mK"): ("mendeleev", "0.27 is crystalline sulfur; 0.205 is the amorphous form"),
    ("K", "ThermalConductivity_W_mK"): ("pymatgen", "potassium conducts about 100 W/(m K) near room temperature; "
                                        "mendeleev's 79 is the outlier"),
    ("Te", "ThermalConductivity_W_mK"): ("pymatgen", "tellurium conducts 1.5-3.4 W/(m K) depending on direction; "
                                         "mendeleev's 14.3 is out of that range"),
    ("Br", "ThermalConductivity_W_mK"): ("pymatgen", "bromine is liquid at 25 °C; mendeleev's 0.005 is the vapour's"),
}
CURATED_WHY = {
    ("C", "ThermalConductivity_W_mK"): "mendeleev's 1.59 W/(m K) is far below any graphite grade",
    ("C", "SublimationPoint_K"): "published sublimation points of graphite at 101.325 kPa range from 3900 to 4100 K",
    ("C", "Density_kg_m3"): "graphite is quoted from 1.9 to 2.3 g/cm3 by grade; 2267 is the crystal's",
    ("Mn", "Density_kg_m3"): "alpha-manganese is quoted from 7.21 to 7.47 g/cm3; the kept value is in that range",
    ("Cu", "YoungsModulus_GPa"): "polycrystalline copper spans 110-130 GPa with texture and temper",
    **{(s, "Density_kg_m3"): "the kept value is the gas at 0 °C; as an ideal gas at 25 °C it agrees within 0.1 %"
       for s in ("H", "N", "O")},
}
DEFAULT_WHY = {
    "AtomicMass_u": "the CIAAW entry; the other table uses another isotope for an element without a stable one",
    "Density_kg_m3": "the newest CRC edition; the others differ by allotrope, temperature or an older edition",
    "MeltingPoint_K": "CRC 97th, which gives its sources; pymatgen names none",
    "BoilingPoint_K": "CRC 97th, which gives its sources; pymatgen names none",
    "SublimationPoint_K": "CRC 97th, which gives its sources; pymatgen names none",
    "ThermalConductivity_W_mK": "values this close differ by temperature and purity; the primary table is kept",
    "SpecificHeat_J_kgK": "the specific heat as tabulated; the molar value belongs to another table of the same book",
}
KEYS = ["AtomicMass_u", "Density_kg_m3", "MeltingPoint_K", "BoilingPoint_K", "SublimationPoint_K",
        "ThermalConductivity_W_mK", "YoungsModulus_GPa", "ElectricalResistivity_Ohm_m", "SpecificHeat_J_kgK"]
WHAT = {"AtomicMass_u": "atomic weight", "Density_kg_m3": "density", "MeltingPoint_K": "melting point",
        "BoilingPoint_K": "boiling point", "SublimationPoint_K": "sublimation point",
        "ThermalConductivity_W_mK": "thermal conductivity", "YoungsModulus_GPa": "Young's modulus",
        "ElectricalResistivity_Ohm_m": "electrical resistivity", "SpecificHeat_J_kgK": "specific heat"}


def dec(x: float) -> Decimal:
    """The decimal a table meant: 12 significant digits drop the noise of its unit conversions."""
    return Decimal(f"{x:.12g}")


def tidy(value: Decimal) -> int | float:
    """An integral value as an int (as the datasheets write 7874), else the nearest double."""
    return int(value) if value == value.to_integral_value() else float(value)


def known(x: object) -> TypeGuard[float]:
    return isinstance(x, (int, float)) and not isinstance(x, bool) and math.isfinite(x)


@dataclass
class Element:
    z: int
    symbol: str
    name: str
    state: str = ""
    values: dict[str, int | float] = field(default_factory=dict)
    chosen: dict[str, str] = field(default_factory=dict)  # key -> source
    seen: dict[str, dict[str, float]] = field(default_factory=dict)  # key -> source -> value


class References:
    """The three packages' element tables, read once."""

    def __init__(self) -> None:
        for package, version in PINNED.items():
            if metadata.version(package) != version:
                sys.exit(f"make_elements: needs {package}=={version}, found {metadata.version(package)}")
        import periodictable  # noqa: PLC0415 - only the generator needs these packages
        from mendeleev.db import get_engine  # noqa: PLC0415
        from mendeleev.fetch import fetch_table  # noqa: PLC0415
        from sqlalchemy import text  # noqa: PLC0415

        self.pt = periodictable.elements
        self.men = fetch_table("elements").set_index("atomic_number")
        series = fetch_table("series").set_index("id")["name"]
        self.series = {z: series.get(s) for z, s in self.men["series_id"].items()}
        with get_engine().connect() as db:
            self.phases: dict[int, list[dict]] = {}
            for row in db.execute(text("SELECT * FROM phasetransitions ORDER BY id")):
                self.phases.setdefault(row.atomic_number, []).append(dict(row._mapping))
            self.natural = {r[0] for r in db.execute(text("SELECT atomic_number FROM isotopes WHERE abundance > 0"))}
        table = next(p for p in metadata.files("pymatgen-core") or [] if p.name == "periodic_table.json.gz")
        with gzip.open(table.locate()) as f:
            self.pmg = json.load(f)

    def men_value(self, z: int, column: str) -> float | None:
        x = self.men.loc[z, column]
        return float(x) if known(x) else None

    def pmg_value(self, symbol: str, key: str) -> float | None:
        x = self.pmg.get(symbol, {}).get(key)
        return float(x) if known(x) else None


def phase_row(ref: References, el: Element) -> dict | None:
    """The melting/boiling row of the reference allotrope, not a solid-solid transition."""
    rows = [r for r in ref.phases.get(el.z, []) if not r["is_transition"]]
    if len(rows) > 1:
        rows = [r for r in rows if r["allotrope"] == ALLOTROPE[el.symbol]]
    return rows[0] if rows else None


def observe(ref: References, el: Element) -> dict[str, list[tuple[str, float]]]:
    """Every candidate value per key, primary first, as (source, value) in datasheet units."""
    z, s = el.z, el.symbol
    cand: dict[str, list[tuple[str, float | None]]] = {k: [] for k in KEYS}
    weight, pt_mass = ref.men_value(z, "atomic_weight"), float(ref.pt[z].mass)
    if z in ref.natural:
        cand["AtomicMass_u"] += [("ciaaw", pt_mass), ("mendeleev-weight", weight)]
    else:
        cand["AtomicMass_u"] += [("ciaaw-radio", weight), ("pt-radio", pt_mass)]
    row = phase_row(ref, el)
    mp = row["melting_point"] if row else None
    bp = row["boiling_point"] if row else None
    sublimes = bool(row and row["is_sublimation_point"])
    if known(bp) and bp < 298.15:
        el.state = "gas"
    elif known(mp) and mp < 298.15:
        el.state = "liquid"
    elif known(mp) or sublimes:
        el.state = "solid"
    rho = ref.men_value(z, "density")
    if s not in DENSITY_ESTIMATED and rho is not None:
        cand["Density_kg_m3"].append(("crc95", tidy(dec(rho) * 1000)))
        if el.state == "gas":  # the other tables give the liquid at its boiling point
            molar = (2 if s in DIATOMIC else 1) * pt_mass * 1e-3
            cand["Density_kg_m3"].append(("ideal-gas", 101325.0 * molar / (8.314462618 * 298.15)))
        else:
            pt_rho = ref.pt[z].density
            cand["Density_kg_m3"].append(("crc80", pt_rho * 1000 if known(pt_rho) else None))
            if el.state == "solid":
                cand["Density_kg_m3"].append(("pymatgen", ref.pmg_value(s, "Density of solid")))
    hot = "SublimationPoint_K" if sublimes else "BoilingPoint_K"
    if known(mp) and not sublimes and s not in MELTING_ESTIMATED:
        cand["MeltingPoint_K"] += [("crc97", tidy(dec(mp).quantize(Decimal("0.001")))),
                                   ("pymatgen", ref.pmg_value(s, "Melting point"))]
    if known(bp):
        cand[hot] += [("crc97", tidy(dec(bp).quantize(Decimal("0.001")))),
                      ("pymatgen", ref.pmg_value(s, "Boiling point"))]
    # pymatgen cites nothing: it fills gaps only for elements found in nature in bulk.
    trusted = z in ref.natural
    tc = ref.men_value(z, "thermal_conductivity")
    cand["ThermalConductivity_W_mK"] += [("mendeleev", tc), ("pymatgen", ref.pmg_value(s, "Thermal conductivity"))]
    if tc is None and not trusted:
        cand["ThermalConductivity_W_mK"] = []
    if trusted and ref.series[z] in METAL_SERIES:
        cand["YoungsModulus_GPa"].append(("pymatgen", ref.pmg_value(s, "Youngs modulus")))
        cand["ElectricalResistivity_Ohm_m"].append(("pymatgen", ref.pmg_value(s, "Electrical resistivity")))
    cp, cp_molar = ref.men_value(z, "specific_heat_capacity"), ref.men_value(z, "molar_heat_capacity")
    if cp is not None:
        per_mass = cp_molar / ((2 if s in DIATOMIC else 1) * weight) * 1000 if cp_molar is not None and weight else None
        cand["SpecificHeat_J_kgK"] += [("crc95", tidy(dec(cp) * 1000)), ("cp-molar", per_mass)]
    return {k: [(src, v) for src, v in c if v is not None] for k, c in cand.items()}


def choose(el: Element, cand: dict[str, list[tuple[str, float]]], curated: dict | None) -> None:
    for key in KEYS:
        options = dict(cand[key])
        if curated is not None:
            if key not in curated:
                continue
            options = {"curated": curated[key], **options}
        if not options:
            continue
        pick = CHOICES.get((el.symbol, key), (next(iter(options)), ""))[0]
        el.values[key], el.chosen[key], el.seen[key] = tidy(dec(options[pick])), pick, options


def disagreements(el: Element) -> list[tuple[str, str, str, str]]:
    """(key, values by source, chosen, why) for each key whose sources differ by more than 2 %."""
    out = []
    for key, options in el.seen.items():
        chosen = el.values[key]
        worst = max(abs(v - chosen) / max(abs(v), abs(chosen)) for v in options.values())
        if worst <= 0.02:
            continue
        why = CHOICES.get((el.symbol, key), ("", ""))[1] or CURATED_WHY.get((el.symbol, key), "")
        agree = [LABEL[s] for s, v in options.items() if s != el.chosen[key] and abs(v - chosen) <= 0.02 * abs(v)]
        if not why and agree:
            why = f"{' and '.join(agree)} agree{'s' if len(agree) == 1 else ''} within 2 %"
        if not why:
            why = "the hand-kept value is kept" if el.chosen[key] == "curated" else DEFAULT_WHY.get(key, "")
        values = "; ".join(f"{LABEL[src]} {v:.6g}" for src, v in options.items())
        out.append((key, values, f"{chosen:.6g} ({LABEL[el.chosen[key]]})", why))
    return out


def datasheet(el: Element) -> dict:
    sheet: dict = {"Name": el.name, "Symbol": el.symbol,
                   "Aliases": [el.name.lower(), *EXTRA_ALIASES.get(el.symbol, [])], "AtomicNumber": el.z}
    by_source: dict[str, list[str]] = {}
    for key in KEYS:
        if key in el.values:
            by_source.setdefault(el.chosen[key], []).append(WHAT[key])
    sheet["Source"] = "; ".join(f"{', '.join(what)}: {SOURCES[src]}" for src, what in by_source.items())
    notes = []
    if el.symbol in ELEMENT_NOTES:
        notes.append(ELEMENT_NOTES[el.symbol])
    if el.chosen.get("AtomicMass_u") == "ciaaw-radio":
        notes.append("No stable isotope: AtomicMass_u is that of the longest-lived isotope, not a standard "
                     "atomic weight.")
    if "Density_kg_m3" in el.values:
        notes.append({"gas": "Density of the gas at 25 °C and 101.325 kPa (ideal gas).",
                      "liquid": "Density of the liquid near room temperature.",
                      "solid": "Density of the solid near room temperature."}[el.state])
    elif len(el.values) <= 1:
        notes.append("Never made in weighable amounts: no bulk property is known.")
    heat = [WHAT[k] for k in ("ThermalConductivity_W_mK", "SpecificHeat_J_kgK") if k in el.values]
    if heat:
        fluid = f", of the {el.state}" if el.state in ("gas", "liquid") else ""
        notes.append(f"{' and '.join(heat).capitalize()} near 25 °C{fluid}.")
    metal = [WHAT[k] for k in ("YoungsModulus_GPa", "ElectricalResistivity_Ohm_m") if k in el.values]
    if metal:
        form = "liquid" if el.state == "liquid" else "polycrystalline"
        notes.append(f"{' and '.join(metal).capitalize()} of the {form} metal at room temperature.")
    if notes:
        sheet["Notes"] = " ".join(notes)
    sheet.update({key: el.values[key] for key in KEYS if key in el.values})
    return sheet


def sources_md(elements: list[Element], rows: list[tuple[str, str, str, str, str]]) -> str:
    curated = ", ".join(e.symbol for e in elements if e.symbol in CURATED)
    metals = sum(1 for e in elements if e.symbol in CURATED and "pymatgen" in e.seen.get("YoungsModulus_GPa", {}))
    lines = [
        "# Sources of the atom tier",
        "",
        "Generated by `scripts/make_elements.py` (do not edit by hand). The atom tier holds one datasheet per",
        "element, hydrogen to oganesson, named by its symbol. The hand-kept datasheets of",
        f"{curated} are not rewritten; the others are built from these tables:",
        "",
        "| property | taken from | cross-checked against |",
        "|---|---|---|",
        "| AtomicMass_u | " + SOURCES["ciaaw"] + "; without a stable isotope: " + SOURCES["ciaaw-radio"]
        + " | " + SOURCES["mendeleev-weight"] + "; " + SOURCES["pt-radio"] + " |",
        "| Density_kg_m3 | " + SOURCES["crc95"] + " (near room temperature; gases as ideal gases at 25 °C) | "
        + SOURCES["crc80"] + "; " + SOURCES["pymatgen"] + "; gases: " + SOURCES["ideal-gas"] + " |",
        "| MeltingPoint_K, BoilingPoint_K, SublimationPoint_K | " + SOURCES["crc97"] + " | " + SOURCES["pymatgen"]
        + " |",
        "| ThermalConductivity_W_mK | " + SOURCES["mendeleev"] + " | " + SOURCES["pymatgen"] + " |",
        "| SpecificHeat_J_kgK | " + SOURCES["crc95"] + " | " + SOURCES["cp-molar"] + " |",
        "| YoungsModulus_GPa, ElectricalResistivity_Ohm_m (metals) | " + SOURCES["pymatgen"]
        + f" | none; it agrees within 2 % with the {metals} hand-kept metals that carry them, except where listed"
        " below |",
        "",
        "Units: densities in g/cm3 and specific heats in J/(g K) are multiplied by 1000; melting and boiling",
        "points, given in °C plus 273.15, are rounded to 0.001 K. pymatgen cites no reference, so it fills a gap",
        "of the primary table only for elements found in nature in bulk. Left out: densities and melting points",
        "that the references mark as estimates (elements never made in weighable amounts), yield strengths (no",
        "package tabulates them), and resistivity and Young's modulus of non-metals, which depend on purity.",
        "",
        "## Disagreements above 2 %",
        "",
        "| element | property | values | chosen | why |",
        "|---|---|---|---|---|",
    ]
    lines += [f"| {s} | {k} | {v} | {c} | {w} |" for s, k, v, c, w in rows]
    return "\n".join(lines) + "\n"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the committed files, write nothing")
    check = parser.parse_args().check
    ref = References()
    elements, files, rows = [], {}, []
    for z in range(1, 119):
        symbol = str(ref.men.loc[z, "symbol"])
        name = str(ref.men.loc[z, "name"])
        el = Element(z, symbol, SPELLING.get(name, name))
        curated = None
        if symbol in CURATED:
            curated = json.loads((ATOMS / f"{symbol}.json").read_text(encoding="utf-8"))
        choose(el, observe(ref, el), curated)
        elements.append(el)
        rows += [(symbol, *row) for row in disagreements(el)]
        if curated is None:
            files[ATOMS / f"{symbol}.json"] = json.dumps(datasheet(el), indent=2, ensure_ascii=False) + "\n"
    files[DATA / "SOURCES.md"] = sources_md(elements, rows)
    stale = [p for p, text in files.items() if not p.exists() or p.read_text(encoding="utf-8") != text]
    if check:
        for p in stale:
            print(f"differs: {p.relative_to(ROOT)}")
        return 1 if stale else 0
    for p in stale:
        p.write_text(files[p], encoding="utf-8")
    print(f"{len(stale)} of {len(files)} files written; {len(rows)} disagreements listed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
