"""Looking datasheets up: by name, symbol, alias or braced formula; storing new ones.

A name is tried in this order, each stage over the tiers in the order of
:func:`list_tiers`: the exact entry name, the name in any letter case, the
exact "Symbol", the symbol in any case, an exact "Aliases" element, an alias
in any case. Every function of tessarine that takes an entry name resolves it
this way first, so ``"copper"``, ``"Cu"`` and ``"cu"`` all name the atom Cu.
"""

from __future__ import annotations

import json
from collections.abc import Mapping
from typing import TYPE_CHECKING, Any

from tessarine import _common
from tessarine import _tessarine_core as core
from tessarine import _tessarine_ext as ext
from tessarine._errors import DataError

if TYPE_CHECKING:
    from tessarine._types import Datasheet, Tier

__all__ = ["MAX_FORMULA_COUNT", "Get", "Save", "list_tiers", "names", "resolve"]

MAX_FORMULA_COUNT = 1000
"""The largest count a braced formula may give a constituent."""


def _formula(spec: str) -> list[tuple[str, int]] | None:
    """The parts of a braced formula (None for a plain name), counts checked."""
    try:
        parts = ext.parse_formula(spec)
    except ValueError as exc:
        raise ValueError(f"{exc}: write a formula as constituents with counts, such as '{{Fe=2, Ni=1}}'") from None
    for name, n in parts or ():
        if n > MAX_FORMULA_COUNT:
            raise ValueError(f"formula count {n} of {name!r} is above {MAX_FORMULA_COUNT}")
    return parts


def Get(spec: str, tier: str | None = None) -> Datasheet:
    """The datasheet that a name, symbol, alias or braced formula designates.

    Parameters
    ----------
    spec : str
        An entry name, symbol or alias in any letter case (see the module
        doc for the order of the stages), or a braced formula such as
        ``"{Fe=3, C=1}"``: a synthetic datasheet whose numeric members are the
        constituents' summed by count (constituents are always looked up in
        every tier), its other members those of the first constituent that
        has them, plus "formula".
    tier : str, optional
        Search only this tier (a tier name in any letter case, a plural "s"
        allowed: ``"Alloys"``); None searches every tier.

    Returns
    -------
    dict
        A copy of the datasheet; changing it does not change the catalogue.

    Raises
    ------
    NotFoundError
        When nothing answers to `spec` (or to a constituent of a formula);
        its message suggests close names.
    ValueError
        For an empty `spec`, an unknown tier word, a malformed formula or a
        count above :data:`MAX_FORMULA_COUNT`.

    Examples
    --------
    >>> from tessarine.get import Get
    >>> Get("mild steel")["Name"]
    'Steel'
    >>> Get("S")["Name"], Get("S", tier="amino_acids")["Name"]
    ('Sulfur', 'Serine')
    >>> cementite = Get("{Fe=3, C=1}")
    >>> cementite["formula"], cementite["AtomicNumber"]
    ('Fe3C1', 84.0)
    >>> Get("Steal")
    Traceback (most recent call last):
    tessarine.NotFoundError: no datasheet named 'Steal'; did you mean 'Steel'?
    """
    text = _common.name_arg(spec, "spec")
    index, canonical = _common.scope(tier)
    parts = _formula(text)
    if parts is not None:
        for name, _ in parts:
            if ext.resolve(name, _common.ALL_TIERS) is None:
                raise _common.unknown_name(name, _common.ALL_TIERS, None)
    try:
        sheet: Datasheet = core.py_get(text, canonical)
    except KeyError:
        raise _common.unknown_name(text, index, canonical) from None
    return sheet


def Save(name: str, data: Mapping[str, Any] | str, tier: str) -> Datasheet | None:
    """Store a datasheet in memory under `name` in `tier`.

    Nothing is written to disk: the entry lives until the process ends and
    every later lookup, sample or export finds it.

    Parameters
    ----------
    name : str
        The entry name, kept exactly as given.
    data : mapping or str
        The datasheet: a mapping that the standard ``json`` module can encode
        (finite numbers only), or its JSON text.
    tier : str
        The tier to store it in (any letter case, a plural "s" allowed).

    Returns
    -------
    dict or None
        The datasheet this one replaced, or None.

    Raises
    ------
    DataError
        When `data` is not valid JSON or cannot be encoded as JSON.
    ValueError
        For an empty `name` or an unknown tier word.

    Examples
    --------
    >>> from tessarine.get import Get, Save
    >>> Save("DocAlloy", {"Symbol": "DA", "Density_kg_m3": 8000}, "alloys") is None
    True
    >>> Get("da")["Density_kg_m3"]
    8000
    >>> Save("DocAlloy", '{"Density_kg_m3": 8100}', "alloy")
    {'Density_kg_m3': 8000, 'Symbol': 'DA'}
    """
    entry_name = _common.text(name, "name", "the entry name to store the datasheet under")
    _, canonical = _common.tier_of(tier)
    if isinstance(data, str):
        text = data
    elif isinstance(data, Mapping):
        try:
            text = json.dumps(dict(data), allow_nan=False)
        except (TypeError, ValueError) as exc:
            raise DataError(f"data cannot be encoded as JSON: {exc}") from None
    else:
        raise TypeError(f"data must be a mapping or JSON text, not {type(data).__name__}")
    try:
        previous: Datasheet | None = core.py_save(entry_name, text, canonical)
    except ValueError as exc:
        raise DataError(str(exc)) from None
    return previous


def list_tiers() -> list[Tier]:
    """The 12 tier names, in the order lookups visit them.

    Returns
    -------
    list of str

    Examples
    --------
    >>> from tessarine.get import list_tiers
    >>> list_tiers()[:4]
    ['subatomic', 'atom', 'molecule', 'alloy']
    """
    return list(ext.tier_names())


def resolve(spec: str, tier: str | None = None) -> tuple[Tier, str]:
    """The tier and entry name that a name, symbol or alias designates.

    Parameters
    ----------
    spec : str
        An entry name, symbol or alias in any letter case.
    tier : str, optional
        Search only this tier; None searches every tier.

    Returns
    -------
    (tier, entry_name) : tuple of str

    Raises
    ------
    NotFoundError
        When nothing answers to `spec`.
    ValueError
        For an empty `spec`, a braced formula (it designates no stored entry:
        use :func:`Get`) or an unknown tier word.

    Examples
    --------
    >>> from tessarine.get import resolve
    >>> resolve("copper")
    ('atom', 'Cu')
    >>> resolve("s", "amino_acid")
    ('amino_acid', 'Serine')
    """
    text = _common.name_arg(spec, "spec")
    if _formula(text) is not None:
        raise ValueError(f"{text!r} is a braced formula, which designates no stored entry; Get() combines it")
    return _common.resolve(text, tier, "spec")


def names(tier: str | None = None) -> list[str]:
    """Every entry name, sorted.

    Parameters
    ----------
    tier : str, optional
        Only the entries of this tier; None lists every tier's (a name stored
        in several tiers once).

    Returns
    -------
    list of str

    Raises
    ------
    ValueError
        For an unknown tier word.

    Examples
    --------
    >>> from tessarine.get import names
    >>> names("subatomic")
    ['Electron', 'Neutron', 'Proton']
    >>> len(names("atom"))
    118
    """
    index, _ = _common.scope(tier)
    return sorted({name for _, name in ext.entry_names(index)})
