"""Searching alloy compositions against property targets.

The search draws random compositions of a base element plus up to four
elements of a pool, each alloying fraction in [0.0005, 0.2) and all of them
together at most 0.5 (scaled down when they would exceed it), the base making
up the rest. It estimates each composition's properties as the fraction-
weighted mean of its elements' numeric datasheet members (an element without
a member does not dilute it), keeps the compositions whose estimates carry
every target's property within its bounds, and ranks them by score: the sum
over the targets of weight x (value - min_value) and weight x (max_value -
value) for the bounds the target gives. A target with both bounds adds the
same to every candidate, so it screens without ranking. Equal scores keep
the order of drawing; with a seed the same compositions are drawn every run.
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from typing import Any

from tessarine import _common
from tessarine import _tessarine_core as core
from tessarine._controls import CancelEvent, Progress, controlled

__all__ = ["DEFAULT_POOL", "AlloyCandidate", "Target", "optimize_alloy"]

DEFAULT_POOL = ("Cr", "Ni", "Mn", "Si", "Cu", "Mo")
"""The alloying elements drawn from when no pool is given."""

_TARGET_KEYS = ("property", "min_value", "max_value", "weight")


def _bound(value: object, what: str) -> float | None:
    return None if value is None else _common.real(value, what)


@dataclass(frozen=True)
class Target:
    """One property target of the alloy search.

    Parameters
    ----------
    property : str
        The estimated property, such as ``"Density_kg_m3"``. A candidate whose
        estimate lacks it is rejected.
    min_value, max_value : float, optional
        Inclusive bounds; a candidate outside them is rejected.
    weight : float, default 1.0
        Multiplies the target's margins in the score (may be negative).

    Raises
    ------
    ValueError
        For an empty property, a bound or weight that is not finite, or
        `min_value` above `max_value`.
    """

    property: str
    min_value: float | None = None
    max_value: float | None = None
    weight: float = 1.0

    def __post_init__(self) -> None:
        _common.property_arg(self.property, "Target.property")
        lo = _bound(self.min_value, "Target.min_value")
        hi = _bound(self.max_value, "Target.max_value")
        if lo is not None and hi is not None and lo > hi:
            raise ValueError(f"Target.min_value {lo} is above max_value {hi}: no candidate could pass")
        object.__setattr__(self, "min_value", lo)
        object.__setattr__(self, "max_value", hi)
        object.__setattr__(self, "weight", _common.real(self.weight, "Target.weight"))

    @classmethod
    def of(cls, value: Target | Mapping[str, Any]) -> Target:
        """A Target, or one made from a dict with the same keys."""
        if isinstance(value, Target):
            return value
        if not isinstance(value, Mapping):
            raise TypeError(f"a target must be a Target or a dict, not {type(value).__name__}")
        unknown = sorted(str(k) for k in value if k not in _TARGET_KEYS)
        if unknown:
            raise ValueError(f"unknown target keys {unknown}: a target takes {', '.join(_TARGET_KEYS)}")
        if "property" not in value:
            raise ValueError("a target needs a 'property'")
        return cls(**value)

    def as_dict(self) -> dict[str, Any]:
        return {"property": self.property, "min_value": self.min_value, "max_value": self.max_value,
                "weight": self.weight}  # fmt: skip


@dataclass(frozen=True)
class AlloyCandidate:
    """A composition that met every target.

    Attributes
    ----------
    composition : dict of str to float
        Element entry name to fraction: the base and each alloying element.
    estimated_properties : dict of str to float
        The fraction-weighted mean of each numeric member of the elements.
    score : float
        The sum of the targets' weighted margins; higher ranks first.
    """

    composition: dict[str, float]
    estimated_properties: dict[str, float]
    score: float


def optimize_alloy(
    targets: Sequence[Target | Mapping[str, Any]],
    base: str,
    alloying_pool: Sequence[str] | None = None,
    n_candidates: int = 1000,
    top_k: int = 5,
    seed: int | None = None,
    *,
    cancel: CancelEvent | None = None,
    progress: Progress = None,
) -> list[AlloyCandidate]:
    """The best-scoring of `n_candidates` random compositions meeting `targets`.

    Parameters
    ----------
    targets : sequence of Target or dict
        At least one; a dict takes the keys of :class:`Target`.
    base : str
        The base element: an entry name, symbol or alias (resolved as by
        :func:`tessarine.Get`).
    alloying_pool : sequence of str, optional
        The elements to draw from (names resolved the same way);
        None or empty means :data:`DEFAULT_POOL`.
    n_candidates : int, default 1000
        The number of compositions drawn.
    top_k : int, default 5
        The most candidates returned.
    seed : int, optional
        0 to 2**64 - 1: the same compositions on every run; None draws
        different ones each time.
    cancel : threading.Event or object with is_set(), optional
        Asked every few milliseconds while the call works; once set, the call
        stops and raises :class:`tessarine.Cancelled`.
    progress : bool or callable, optional
        A callable gets ``(done, total)`` in candidates drawn every few milliseconds and
        at the end, when `done` equals `total`; True shows a tqdm bar (the
        ``progress`` extra). None reports nothing.

    Returns
    -------
    list of AlloyCandidate
        Best first; empty when no candidate passed.

    Raises
    ------
    NotFoundError
        When no entry answers to `base` or to a pool element.
    ValueError
        For no targets, a bad target, or a count or seed out of range.

    Examples
    --------
    >>> from tessarine.optimize import Target, optimize_alloy
    >>> ranking = optimize_alloy([Target("CorrosionResistance_index", min_value=4.0, weight=10.0),
    ...                           {"property": "Density_kg_m3", "max_value": 8100.0}],
    ...                          "iron", n_candidates=20_000, seed=316)
    >>> len(ranking), ranking[0].score >= ranking[-1].score
    (5, True)
    >>> all(c.estimated_properties["Density_kg_m3"] <= 8100.0 for c in ranking)
    True
    """
    if isinstance(targets, (str, bytes, Mapping)) or not isinstance(targets, Sequence):
        raise TypeError(f"targets must be a sequence of Target or dict, not {type(targets).__name__}")
    if not targets:
        raise ValueError("targets must hold at least one Target or dict")
    wanted = [Target.of(t).as_dict() for t in targets]
    base_name = _common.entry(base, "base")
    pool = None
    if alloying_pool is not None:
        if isinstance(alloying_pool, (str, bytes)) or not isinstance(alloying_pool, Sequence):
            raise TypeError(f"alloying_pool must be a sequence of str or None, not {type(alloying_pool).__name__}")
        pool = [_common.entry(p, f"alloying_pool[{i}]") for i, p in enumerate(alloying_pool)]
    n = _common.count(n_candidates, "n_candidates")
    k = _common.count(top_k, "top_k")
    if seed is not None:
        seed = _common.count(seed, "seed")
    for what, value in (("n_candidates", n), ("top_k", k), ("seed", seed)):
        if value is not None and value >= 2**64:
            raise ValueError(f"{what} must be below 2**64, got {value}")
    with controlled(cancel, progress, "candidates", "optimize_alloy"):
        ranking = core.py_optimize_alloy(wanted, base_name, pool, n, k, seed)
    return [AlloyCandidate(c["composition"], c["estimated_properties"], c["score"]) for c in ranking]
