"""Atheris harness: the JSON that py_save accepts, against Python's json module.

fuzz/fuzz_json.cpp compares the parser with the JSON library it is built on,
so a default of that library that breaks the loader's rules passes it (a NUL
byte ended the text there). Here the oracle is independent: Python's json
module held to the loader's rules, which are

- one value with only JSON white space (space, tab, line feed, carriage
  return) around it, no byte-order mark;
- arrays and objects nested at most 128 deep;
- no NaN or Infinity literals, no number that overflows a double;
- strings of valid Unicode: no lone surrogate, escaped or not;
- integers: unsigned 64-bit when non-negative and in range, signed 64-bit
  when negative and in range, else the nearest double of the literal;
- a repeated key keeps its last value; objects come back in ascending byte
  order of their UTF-8 keys.

For each input, read as UTF-8 (ill-formed bytes as U+FFFD, since py_save
takes a str), py_save must accept exactly what the oracle accepts, refusals
must be the ValueError "data_json is not valid JSON: <what> at line L column
C" with L within the text, and py_data_sheet must give back the oracle's value
with the same types, float bits and key order.

Run: python fuzz/fuzz_save_json.py [libFuzzer options] [corpus dir]
"""

from __future__ import annotations

import json
import math
import re
import struct
import sys

import atheris

import tessarine._tessarine_core as core

MAX_DEPTH = 128
REFUSAL = re.compile(r"data_json is not valid JSON: .+ at line ([1-9][0-9]*) column [0-9]+", re.DOTALL)


class Refused(Exception):
    pass


def _float(text: str) -> float:
    value = float(text)
    if not math.isfinite(value):
        raise Refused(f"number overflow: {text[:40]}")
    return value


def _int(text: str) -> int | float:
    if len(text) <= 20:  # longer literals are out of range (and int() has a digit limit)
        value = int(text)
        if -(2**63) <= value < 2**64:
            return value
    return _float(text)


def _constant(text: str) -> None:
    raise Refused(text)


def _key(item: tuple[str, object]) -> bytes:
    return item[0].encode("utf-8", "surrogatepass")


def _object(pairs: list[tuple[str, object]]) -> dict:
    return dict(sorted(dict(pairs).items(), key=_key))


def _check(value: object, depth: int) -> None:
    """Refuses excess nesting and strings that are not valid Unicode."""
    if isinstance(value, str):
        if any("\ud800" <= c <= "\udfff" for c in value):
            raise Refused("lone surrogate")
    elif isinstance(value, (list, dict)):
        if depth + 1 > MAX_DEPTH:
            raise Refused("too deep")
        for key, item in value.items() if isinstance(value, dict) else enumerate(value):
            _check(key, depth + 1)
            _check(item, depth + 1)


def oracle(text: str) -> object:
    """The value the loader's rules give `text`; Refused when they refuse it."""
    try:
        value = json.loads(text, parse_int=_int, parse_float=_float, parse_constant=_constant,
                           object_pairs_hook=_object)
    except (ValueError, RecursionError) as e:  # JSONDecodeError is a ValueError
        raise Refused(str(e)) from e
    _check(value, 0)
    return value


def same(a: object, b: object) -> bool:
    """Equal types and values; floats bit for bit; objects in the same key order."""
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return struct.pack("<d", a) == struct.pack("<d", b)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    return a == b


def check(text: str) -> None:
    try:
        expected, refused = oracle(text), None
    except Refused as e:
        expected, refused = None, e
    try:
        core.py_save("fuzzed", text, "alloy")
    except ValueError as e:
        message = str(e.args[0])
        place = REFUSAL.fullmatch(message)
        if place is None or int(place.group(1)) > text.count("\n") + 1:
            raise AssertionError(f"refusal {message!r} for {text!r}") from e
        if refused is None:
            raise AssertionError(f"refused {text!r} ({message}); the rules give {expected!r}") from e
        return
    if refused is not None:
        raise AssertionError(f"accepted {text!r}; the rules refuse it ({refused})")
    got = core.py_data_sheet("fuzzed")
    if not same(got, expected):
        raise AssertionError(f"{text!r} reads back as {got!r}; the rules give {expected!r}")


def one_input(data: bytes) -> None:
    check(data.decode("utf-8", "replace"))


def main() -> None:
    atheris.instrument_all()
    atheris.Setup(sys.argv, one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
