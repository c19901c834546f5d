"""Odd objects the catalogue of calls (exercise.py) passes: buffers of rows, keyword arguments, and
objects whose conversions fail."""

from __future__ import annotations

import ctypes
from collections.abc import Sequence


def rows_of(values: list[float], k: int, item: type = ctypes.c_double) -> ctypes.Array:
    """A C-contiguous buffer of shape (len(values) // k, k), empty ones too."""
    rows = (item * k * (len(values) // k))()
    for i, v in enumerate(values):
        rows[i // k][i % k] = v
    return rows


class Kw(dict):
    """Keyword arguments of a call, given last in its row."""


class Broken(Exception):
    pass


class Failing(Sequence):
    """A sequence whose iteration raises `error` (a new one each time) after its first item."""

    def __init__(self, error: type[BaseException], message: str) -> None:
        self.error, self.message = error, message

    def __len__(self) -> int:
        return 2

    def __getitem__(self, i: int) -> object:
        if i == 0:
            return {"property": "Density_kg_m3"}
        raise self.error(self.message)


class BadFloat:
    def __init__(self, error: type[BaseException] = ZeroDivisionError, message: str = "no float") -> None:
        self.error, self.message = error, message

    def __float__(self) -> float:
        raise self.error(self.message)


class BadIndex:
    def __index__(self) -> int:
        raise ArithmeticError("no index")


class Index:
    def __index__(self) -> int:
        return 2


class Name(str):
    pass
