"""Helpers of the public modules: names and tiers, numbers and arrays, paths, errors.

numpy is imported only by the helpers that build arrays, so that calls with
plain Python values never import it.
"""

from __future__ import annotations

import math
import operator
import os
import stat
from collections.abc import Callable, Sequence
from typing import TYPE_CHECKING, Any

from tessarine import _tessarine_core as core
from tessarine import _tessarine_ext as ext
from tessarine._errors import ExportError, NotFoundError

if TYPE_CHECKING:
    import numpy as np
    from numpy.typing import NDArray

    from tessarine._types import Bounds, PathArg, Point, Tier

ALL_TIERS = 12
"""The scope that searches every tier."""

NAME_HINT = "an entry name, symbol or alias such as 'Steel', 'Fe' or 'copper' (tessarine.names() lists the entries)"


# ---- names and tiers -------------------------------------------------------


def text(value: object, what: str, hint: str) -> str:
    """`value` as a non-empty str, else TypeError or ValueError naming `what`."""
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    if not value:
        raise ValueError(f"{what} must be a non-empty str: {hint}")
    return value


def name_arg(value: object, what: str = "name") -> str:
    return text(value, what, NAME_HINT)


def property_arg(value: object, what: str = "property") -> str:
    return text(value, what, "the key of a numeric datasheet member, such as 'Density_kg_m3'")


def tier_of(tier: object, optional: bool = False) -> tuple[int, Tier]:
    """The scope index and canonical name of a tier word."""
    names: tuple[Tier, ...] = ext.tier_names()
    if not isinstance(tier, str):
        raise TypeError(f"tier must be a str{' or None' if optional else ''}, not {type(tier).__name__}")
    index = ext.tier_index(tier)
    if index >= ALL_TIERS:
        raise ValueError(
            f"unknown tier {tier!r}: expected one of {', '.join(names)} (in any letter case, with or without a "
            f"plural 's'){', or None for every tier' if optional else ''}"
        )
    return index, names[index]


def scope(tier: object) -> tuple[int, Tier | None]:
    """As tier_of, with None meaning every tier: (ALL_TIERS, None)."""
    if tier is None:
        return ALL_TIERS, None
    return tier_of(tier, optional=True)


def close_matches(word: str, candidates: Sequence[str]) -> tuple[str, ...]:
    """Up to three of `candidates` close to `word`, ignoring letter case, best first."""
    import difflib

    by_folded: dict[str, str] = {}
    for candidate in candidates:
        by_folded.setdefault(candidate.casefold(), candidate)
    hits = difflib.get_close_matches(word.casefold(), list(by_folded), n=3, cutoff=0.6)
    return tuple(by_folded[h] for h in hits)


def did_you_mean(suggestions: tuple[str, ...]) -> str:
    if not suggestions:
        return ""
    quoted = [repr(s) for s in suggestions]
    listed = quoted[0] if len(quoted) == 1 else ", ".join(quoted[:-1]) + " or " + quoted[-1]
    return f"; did you mean {listed}?"


def unknown_name(name: str, index: int, tier: Tier | None) -> NotFoundError:
    suggestions = close_matches(name, ext.lookup_keys(index))
    where = f" in tier {tier!r}" if tier else ""
    return NotFoundError(f"no datasheet named {name!r}{where}{did_you_mean(suggestions)}", name, tier, suggestions)


def resolve(name: object, tier: object = None, what: str = "name") -> tuple[Tier, str]:
    """(tier, entry name) that `name` designates by the lookup stages."""
    spec = name_arg(name, what)
    index, canonical = scope(tier)
    found: tuple[Tier, str] | None = ext.resolve(spec, index)
    if found is None:
        raise unknown_name(spec, index, canonical)
    return found


def entry(name: object, what: str = "name") -> str:
    """The entry name that `name` resolves to in any tier."""
    return resolve(name, None, what)[1]


# ---- properties ------------------------------------------------------------


def _numbers(members: object) -> set[str]:
    if not isinstance(members, dict):
        return set()
    return {k for k, v in members.items() if isinstance(v, (int, float)) and not isinstance(v, bool)}


def sampled_properties(sheet: object) -> set[str]:
    """The properties that sampling can find in a datasheet: its numeric members,
    and for a multi-phase entry those of its phases."""
    known = _numbers(sheet)
    if isinstance(sheet, dict) and sheet.get("phase_model") == "voronoi":
        phases = sheet.get("phase_properties")
        if isinstance(phases, dict):
            for members in phases.values():
                known |= _numbers(members)
    return known


def shader_properties(sheet: object) -> set[str]:
    """The numbers the shader generators read: top-level and "Properties" members."""
    known = _numbers(sheet)
    if isinstance(sheet, dict):
        known |= _numbers(sheet.get("Properties"))
    return known


def missing_property(entry_name: str, prop: str, known: set[str]) -> NotFoundError:
    suggestions = close_matches(prop, sorted(known))
    return NotFoundError(
        f"{entry_name} has no numeric property {prop!r}{did_you_mean(suggestions)}", prop, None, suggestions
    )


def require_properties(
    entry_name: str, props: Sequence[str], known_of: Callable[[object], set[str]] = sampled_properties
) -> None:
    """NotFoundError for the first of `props` that the entry does not carry."""
    if not props:
        return
    known = known_of(core.py_data_sheet(entry_name))
    for prop in props:
        if prop not in known:
            raise missing_property(entry_name, prop, known)


def property_list(value: object, what: str = "properties") -> list[str] | None:
    if value is None:
        return None
    if isinstance(value, (str, bytes)) or not isinstance(value, Sequence):
        raise TypeError(f"{what} must be a sequence of str or None, not {type(value).__name__}")
    return [property_arg(p, f"{what}[{i}]") for i, p in enumerate(value)]


# ---- numbers and arrays ----------------------------------------------------


def real(value: object, what: str) -> float:
    """A finite float."""
    if isinstance(value, (str, bytes, bytearray, bool)):
        raise TypeError(f"{what} must be a real number, not {type(value).__name__}")
    try:
        x = float(value)  # type: ignore[arg-type]
    except (TypeError, ValueError):
        raise TypeError(f"{what} must be a real number, not {type(value).__name__}") from None
    if not math.isfinite(x):
        raise ValueError(f"{what} must be finite, got {x}")
    return x


def positive(value: object, what: str) -> float:
    x = real(value, what)
    if x <= 0:
        raise ValueError(f"{what} must be positive, got {x}")
    return x


def optional_positive(value: object, what: str) -> float | None:
    return None if value is None else positive(value, what)


def count(value: object, what: str, least: int = 0) -> int:
    """An int of at least `least` (bool refused)."""
    if isinstance(value, bool):
        raise TypeError(f"{what} must be an int, not bool")
    try:
        n = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{what} must be an int, not {type(value).__name__}") from None
    if n < least:
        raise ValueError(f"{what} must be at least {least}, got {n}")
    return n


def _shape_text(shape: tuple[int | None, ...]) -> str:
    dims = ["N" if d is None else str(d) for d in shape]
    return "(" + ", ".join(dims) + ("," if len(dims) == 1 else "") + ")"


def array(value: object, shape: tuple[int | None, ...], what: str, finite: bool = True) -> NDArray[np.float64]:
    """`value` as a C-contiguous float64 array of `shape` (None: any length)
    with finite values (checked unless `finite` is false: see `require_finite`);
    an empty value counts as (0, ...) when N is free."""
    import numpy as np

    try:
        arr = np.asarray(value, dtype=np.float64)
    except (TypeError, ValueError) as exc:
        raise ValueError(f"{what} must be numbers of shape {_shape_text(shape)}: {exc}") from None
    if arr.size == 0 and shape[0] is None:
        arr = arr.reshape([0] + [d or 0 for d in shape[1:]])
    if arr.ndim != len(shape) or any(w is not None and w != d for w, d in zip(shape, arr.shape, strict=True)):
        raise ValueError(f"{what} must have shape {_shape_text(shape)}, got {arr.shape}")
    if finite:
        require_finite(arr, what)
    result: NDArray[np.float64] = np.ascontiguousarray(arr)
    return result


def require_finite(arr: NDArray[np.float64], what: str) -> None:
    """Raises ValueError unless every value of `arr` is finite. A pass over a
    temporary of the array's size: calls whose native work fails anyway on a
    NaN or an infinity skip it and look only after such a failure."""
    import numpy as np

    if not np.isfinite(arr).all():
        raise ValueError(f"{what} must hold finite numbers")


def point(value: object, what: str = "at") -> Point:
    """Three finite numbers from a tuple, list or array of shape (3,)."""
    if isinstance(value, (list, tuple)) and len(value) == 3:
        x, y, z = (real(v, what) for v in value)
        return (x, y, z)
    x, y, z = (float(v) for v in array(value, (3,), what))
    return (x, y, z)


def bounds(value: object, what: str = "bounds") -> Bounds:
    """A box from nested tuples or lists, or an array of shape (2, 3):
    finite, its maximum corner nowhere below its minimum corner."""
    if isinstance(value, (list, tuple)) and len(value) == 2 and all(isinstance(c, (list, tuple)) for c in value):
        lo, hi = point(value[0], what), point(value[1], what)
    else:
        arr = array(value, (2, 3), what)
        lo = (float(arr[0, 0]), float(arr[0, 1]), float(arr[0, 2]))
        hi = (float(arr[1, 0]), float(arr[1, 1]), float(arr[1, 2]))
    if any(h < l for l, h in zip(lo, hi, strict=True)):
        raise ValueError(f"{what} must be (min corner, max corner) with max >= min on every axis, got {(lo, hi)}")
    return (lo, hi)


def grid_size(value: object, what: str = "grid_size") -> tuple[int, int, int]:
    """Three positive ints from a tuple, list or array (whole floats accepted)."""
    if isinstance(value, (str, bytes)) or not hasattr(value, "__iter__"):
        raise TypeError(f"{what} must be three positive ints, not {type(value).__name__}")
    items = list(value)
    if len(items) != 3:
        raise ValueError(f"{what} must hold three positive ints, got {len(items)} items")
    nx, ny, nz = (count(_whole(v, what), what, 1) for v in items)
    return (nx, ny, nz)


def _whole(value: object, what: str) -> object:
    """An integral float (from a float array, say) as an int; anything else as it is."""
    if isinstance(value, bool) or not hasattr(value, "is_integer") or hasattr(value, "__index__"):
        return value
    x = real(value, what)
    if not x.is_integer():
        raise ValueError(f"{what} must hold whole numbers, got {x}")
    return int(x)


def path(value: object, what: str) -> str:
    """A file path as a str, from a str or an os.PathLike[str]."""
    try:
        p = os.fspath(value)  # type: ignore[call-overload]
    except TypeError:
        raise TypeError(f"{what} must be a str or os.PathLike[str], not {type(value).__name__}") from None
    if not isinstance(p, str):
        raise TypeError(f"{what} must be a str or os.PathLike[str], not a bytes path")
    return p


# ---- failures of the core --------------------------------------------------


def _blocked(p: str) -> bool:
    """True when `p` cannot take a new file: a directory, a FIFO nobody
    reads, a missing or closed directory, or a read-only file in one."""
    try:
        st = os.stat(p)
    except OSError:
        st = None
    if st is not None and (stat.S_ISDIR(st.st_mode) or stat.S_ISFIFO(st.st_mode)):
        return True
    parent = os.path.dirname(os.path.abspath(p))
    if not os.path.isdir(parent):
        return True
    if os.access(parent, os.W_OK | os.X_OK):
        return False
    return st is None or not os.access(p, os.W_OK)


def failed_of_two(first: str, second: str, likely: str) -> str:
    """Which file of a pair stopped an export. Both are complete before
    either replaces its target, so a failure leaves both targets as they
    were: name the one whose place cannot take a file, else `likely` (the
    larger of the two, where a full disk shows first)."""
    if _blocked(first):
        return first
    if _blocked(second):
        return second
    return likely


def export_failure(exc: RuntimeError, filename: str) -> Exception:
    """The public exception for an exporter's RuntimeError: ExportError for an
    operating-system failure, else ValueError (a grid too large, clashing paths)."""
    message = str(exc)
    head, sep, tail = message.rpartition(" (os error ")
    if sep and tail.endswith(")") and tail[:-1].isdigit():
        return ExportError(int(tail[:-1]), head, filename)
    return ValueError(message)

