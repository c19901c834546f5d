"""Lookup calls: py_get, py_save, py_data_sheet, py_list_tiers."""

from __future__ import annotations

import re

import tessarine._tessarine_core as core

TIERS = {
    "subatomic", "atom", "molecule", "alloy", "ceramic", "composite",
    "amino_acid", "protein", "cell", "cell_component", "nucleic_acid", "biomaterial",
}


def failure(call) -> tuple[str, str]:
    try:
        call()
    except BaseException as exc:  # noqa: BLE001 - PanicException derives from BaseException
        return type(exc).__name__, exc.args[0]
    raise AssertionError("no exception")


# --- against the shipped catalogue (no call here changes the store) ---------


def test_get_resolves_loosely_and_data_sheet_exactly() -> None:
    iron = core.py_data_sheet("Fe")
    assert core.py_get("fe") == core.py_get("FE") == core.py_get("ferrum") == iron
    assert core.py_get("Fe", "atoms") == core.py_get("Fe", "metals") == iron
    assert failure(lambda: core.py_get("Fe", "Alloys")) == ("KeyError", "unknown name: Fe")
    assert set(core.py_list_tiers()) == TIERS


def test_formula_ignores_scope() -> None:
    fe = core.py_data_sheet("Fe")
    mix = core.py_get("{Fe=2, Ni=1}")
    assert mix == core.py_get(" { Fe = 2 ,Ni=+1 } ", "ceramic")
    assert isinstance(mix["AtomicNumber"], float)
    assert (mix["Name"], mix["Aliases"]) == (fe["Name"], fe["Aliases"])  # non-numeric members: first wins


def test_hostile_input_never_crashes() -> None:
    big = "É" * 500_000
    assert failure(lambda: core.py_get(big)) == ("KeyError", "unknown name: " + big)
    assert failure(lambda: core.py_get("{" + big + "=1}")) == ("KeyError", f"formula constituent '{big}' not found")
    for text in ["{", " \u3000 ", '{"a": 1} trailing', "\ufeff{}"]:
        kind, message = failure(lambda: core.py_save("X", text, "metal"))  # JSON is checked before the tier
        assert kind == "ValueError"
        assert re.fullmatch(r"data_json is not valid JSON: .+ at line 1 column \d+", message), message
    many = "{" + ", ".join(["Fe=1"] * 100_000) + "}"
    assert core.py_get(many)["AtomicNumber"] == 26 * 100_000
    assert failure(lambda: core.py_get(many[:-1] + ", }"))[1] == "invalid formula: " + many[:-1] + ", }"


# --- own data sets, one fresh interpreter each ------------------------------


def test_full_unicode_case_mapping(throwaway) -> None:
    for tier, name in [("ceramic", "éclair"), ("cell", "ΟΔΟΣ"), ("protein", "Pİ")]:
        throwaway.write(tier, name, {"id": name})
    got = throwaway.run_json("""
        import json
        from tessarine._tessarine_core import py_get
        out = []
        for spec in ["ÉCLAIR", "οδος", "οδοσ", "pi\u0307"]:
            try:
                out.append(py_get(spec)["id"])
            except KeyError as e:
                out.append(e.args[0])
        print(json.dumps(out))
    """)
    # Final sigma from the full mapping; U+0130 lower-cases to i + combining dot above.
    assert got == ["éclair", "ΟΔΟΣ", "unknown name: οδοσ", "Pİ"]


def test_save_get_round_trips(throwaway) -> None:
    throwaway.write("atom", "Fe", {"Symbol": "Fe", "density": 7874})
    got = throwaway.run_json("""
        import json
        from tessarine._tessarine_core import py_get, py_save, py_data_sheet
        out = [py_save("X", '{"b": 1, "a": 2.5, "Symbol": "Qq", "Aliases": ["Quux"]}', "Alloys")]
        out.append(list(py_get("x").items()))
        out.append([py_get("qQ")["b"], py_get("QUUX")["b"]])
        # Replacing the entry replaces its symbol and aliases.
        out.append(py_save("X", '{"Symbol": "Rr"}', "alloy"))
        for spec in ["qq", "quux", "RR"]:
            try:
                out.append(py_get(spec))
            except KeyError as e:
                out.append(e.args[0])
        # Failing calls change nothing.
        for args in [("X", "[1,", "alloy"), ("X", "2", "metal"), ("Fe", "{}", "")]:
            try:
                py_save(*args)
            except BaseException as e:
                out.append(type(e).__name__)
        out.append(py_data_sheet("X"))
        out.append(py_save("Y", "1", "alloys"))
        out.append([py_data_sheet("Y"), py_get("y", "alloy")])
        out.append(py_get("{fe=2, Fe=1}"))
        out.append(py_save("Fe", "null", "atom"))
        out.append(py_get("{Fe=3}"))
        print(json.dumps(out))
    """)
    assert got == [
        None, [["Aliases", ["Quux"]], ["Symbol", "Qq"], ["a", 2.5], ["b", 1]], [1, 1],
        {"Aliases": ["Quux"], "Symbol": "Qq", "a": 2.5, "b": 1}, "unknown name: qq", "unknown name: quux",
        {"Symbol": "Rr"}, "ValueError", "ValueError", "PanicException", {"Symbol": "Rr"}, None, [1, 1],
        {"Symbol": "Fe", "density": 23622.0, "formula": "fe2Fe1"}, {"Symbol": "Fe", "density": 7874}, {"formula": "Fe3"},
    ]  # fmt: skip
