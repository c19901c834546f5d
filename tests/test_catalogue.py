"""The shipped catalogue: consistent layout, every element, lookups a chemist relies on."""

from __future__ import annotations

import json
import re
from pathlib import Path

import pytest

import tessarine
import tessarine._tessarine_core as core

HERE = Path(__file__).parent
CATALOGUE = Path(core.__file__).parent / "data" / "active"
ATOMS = {p.stem: json.loads(p.read_text(encoding="utf-8")) for p in sorted((CATALOGUE / "atom").glob("*.json"))}
PLAIN_FORMULA = re.compile(r"(?:[A-Z][a-z]?\d*)+")
# Braced formulas of common compounds and their molar masses (g/mol) from the standard atomic weights.
COMPOUNDS = {
    "{H=2, O=1}": 18.015, "{H=2, S=1, O=4}": 98.072, "{Na=1, Cl=1}": 58.440, "{K=1, Cl=1}": 74.548,
    "{Si=1, O=2}": 60.083, "{Al=2, O=3}": 101.960, "{Fe=2, O=3}": 159.687, "{C=1, O=2}": 44.009,
    "{N=1, H=3}": 17.031, "{Ca=1, C=1, O=3}": 100.086, "{Na=1, O=1, H=1}": 39.997, "{H=1, Cl=1}": 36.458,
    "{H=1, N=1, O=3}": 63.012, "{H=3, P=1, O=4}": 97.994, "{Cu=1, S=1, O=4}": 159.602, "{Ti=1, O=2}": 79.865,
    "{Mg=1, O=1}": 40.304, "{K=1, Mn=1, O=4}": 158.032, "{Ca=1, F=2}": 78.075, "{U=1, F=6}": 352.019,
    "{Ag=1, N=1, O=3}": 169.872, "{H=3, B=1, O=3}": 61.831, "{Zn=1, O=1}": 81.379, "{Pb=1, S=1}": 239.260,
    "{W=1, C=1}": 195.851, "{Y=2, O=3}": 225.810, "{I=1, F=5}": 221.896, "{V=2, O=5}": 181.878,
}
# What a user reaches for first, and the tier that holds it.
EVERYDAY = {
    "water": "molecule", "carbon dioxide": "molecule", "methane": "molecule", "ethanol": "molecule",
    "sodium chloride": "molecule", "alumina": "ceramic", "silica": "ceramic", "silicon carbide": "ceramic",
    "zirconia": "ceramic", "titanium dioxide": "ceramic",
}


def numbers(sheet: dict) -> dict[str, float]:
    return {k: v for k, v in sheet.items() if isinstance(v, (int, float)) and not isinstance(v, bool)}


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


def test_every_element_by_symbol_name_and_alias_in_any_case() -> None:
    assert sorted(sheet["AtomicNumber"] for sheet in ATOMS.values()) == list(range(1, 119))
    for symbol, sheet in ATOMS.items():
        assert sheet["Symbol"] == symbol and sheet["Name"].lower() in sheet["Aliases"], symbol
        for word in (symbol, sheet["Name"], *sheet["Aliases"]):
            for spelling in (word, word.lower(), word.upper()):
                assert core.py_get(spelling) == sheet, (symbol, spelling)


def test_formulas_of_compounds_sum_their_atoms() -> None:
    for spec, molar_mass in COMPOUNDS.items():
        parts = [(name.strip(), int(count)) for name, count in (p.split("=") for p in spec[1:-1].split(","))]
        expected: dict[str, float] = {}
        for name, count in parts:
            assert core.py_get(name) == core.py_get(name, "atom") == ATOMS[name], (spec, name)
            for key, value in sorted(numbers(ATOMS[name]).items()):
                expected[key] = float(value) * count + expected.get(key, 0.0)
        mix = core.py_get(spec)
        assert numbers(mix) == expected and mix["formula"] == "".join(f"{n}{c}" for n, c in parts), spec
        assert mix["AtomicMass_u"] == pytest.approx(molar_mass, abs=2e-3), spec
    for name, tier in EVERYDAY.items():
        assert core.py_get(name) == core.py_get(name, tier), name


def test_molar_masses_in_the_catalogue_match_their_formulas() -> None:
    checked = []
    for path in sorted(CATALOGUE.glob("*/*.json")):
        sheet = json.loads(path.read_text(encoding="utf-8"))
        formula = sheet.get("Formula", sheet.get("Symbol"))
        if "MolarMass_g_mol" not in sheet or not isinstance(formula, str) or not PLAIN_FORMULA.fullmatch(formula):
            continue
        parts = re.findall(r"([A-Z][a-z]?)(\d*)", formula)
        if all(symbol in ATOMS for symbol, _ in parts):
            spec = "{" + ", ".join(f"{symbol}={count or 1}" for symbol, count in parts) + "}"
            assert core.py_get(spec)["AtomicMass_u"] == pytest.approx(sheet["MolarMass_g_mol"], abs=0.006), path
            checked.append(path.stem)
    assert len(checked) >= 26, checked


def test_no_other_datasheet_takes_an_element_symbol() -> None:
    """Outside the atom tier, symbols and aliases that spell an element serve their own tier only."""
    symbols = {symbol.lower(): symbol for symbol in ATOMS}
    clashes = set()
    for path in sorted(CATALOGUE.glob("*/*.json")):
        sheet = json.loads(path.read_text(encoding="utf-8"))
        if path.parent.name == "atom":
            continue
        for word in (sheet.get("Symbol"), *sheet.get("Aliases", [])):
            if isinstance(word, str) and word.lower() in symbols:
                clashes.add((path.parent.name, path.stem, word))
                assert core.py_get(word) == ATOMS[symbols[word.lower()]], word
                assert core.py_get(word, path.parent.name) == core.py_data_sheet(path.stem), word
    one_letter_codes = {"C": "Cysteine", "H": "Histidine", "N": "Asparagine", "S": "Serine", "K": "Lysine",
                        "P": "Proline", "I": "Isoleucine", "F": "Phenylalanine", "V": "Valine", "Y": "Tyrosine",
                        "W": "Tryptophan"}
    assert clashes == {("amino_acid", name, code) for code, name in one_letter_codes.items()} | {
        ("subatomic", "Proton", "p"), ("subatomic", "Neutron", "n")}
