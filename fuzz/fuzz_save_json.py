"""Atheris harness: py_save against Python's json module held to the loader's rules (no BOM,
nesting at most 128, no NaN/Infinity/overflow, valid Unicode, integers as u64/i64 when in range,
last repeated key wins, keys in UTF-8 byte order). Half the inputs are the fuzzer's bytes as UTF-8,
half JSON-like text built from tokens where the rules and library defaults part.

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


def _check_strings(value: object) -> None:
    """Refuses lone surrogates; objects were checked by _object as they were built."""
    if isinstance(value, str):
        if any("\ud800" <= c <= "\udfff" for c in value):
            raise Refused("lone surrogate")
    elif isinstance(value, list):
        for item in value:
            _check_strings(item)


def _key(item: tuple[str, object]) -> bytes:
    return item[0].encode("utf-8", "surrogatepass")


def _object(pairs: list[tuple[str, object]]) -> dict:
    for key, value in pairs:  # every member, also those a repeated key drops
        _check_strings(key)
        _check_strings(value)
    return dict(sorted(dict(pairs).items(), key=_key))


def _nesting(text: str) -> int:
    """The text's deepest nesting (a repeated key may drop a deep member from the value)."""
    deepest = depth = 0
    in_string = escaped = False
    for c in text:
        if in_string:
            if escaped:
                escaped = False
            elif c == "\\":
                escaped = True
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
        elif c in "[{":
            depth += 1
            deepest = max(deepest, depth)
        elif c in "]}":
            depth -= 1
    return deepest


def oracle(text: str) -> object:
    """The value the loader's rules give `text`; Refused when they refuse it."""
    try:
        value = json.loads(text, parse_int=_int, parse_float=_float, parse_constant=_constant,
                           object_pairs_hook=_object)
    except (ValueError, RecursionError) as e:  # JSONDecodeError is a ValueError
        raise Refused(str(e)) from e
    if _nesting(text) > MAX_DEPTH:
        raise Refused("too deep")
    _check_strings(value)
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


NUMBERS = [
    "0", "-0", "-0.0", "1", "-1", "0.1", "1.5E+3", "2e-3", "18446744073709551615", "18446744073709551616",
    "-9223372036854775808", "-9223372036854775809", "123456789012345678901234567890", "1" + "0" * 309,
    "1.7976931348623157e308", "1.8e308", "1E400", "-1e400", "1e-400", "4.9e-324", "2.4703282292062327e-324",
    "01", "1.", ".5", "+1", "-", "1e", "1e+", "NaN", "Infinity", "-Infinity", "0x10",
]
STRINGS = [
    '""', '"a"', '"\\u0000"', '"\\ud800"', '"\\udc00"', '"\\ud83d\\ude00"', '"\\ud800\\u0041"', '"\\uDBFF\\uDFFF"',
    '"\\ud800\\ud800"', '"\\x"', '"\\u12"', '"\\/\\b\\f\\n\\r\\t\\"\\\\"', '"é"', '"\ufeff"', '"\t"', '"a\x00b"',
    '"\U0001f600"', '"\u2028"', '"abc',
]
LITERALS = ["true", "false", "null", "tru", "nul", "True", "None"]
WHITE = ["", "", " ", "\t", "\n", "\r", "\r\n", "\f", "\v", "\u00a0", "\u3000", "\x00", "\ufeff"]
TAILS = ["", "", "", "\x00", "\x00garbage", " x", "{}", ",", "\n\x00\n"]


class Text:
    """JSON-like text built from the fuzzer's bytes."""

    def __init__(self, fdp: atheris.FuzzedDataProvider) -> None:
        self.fdp = fdp

    def pick(self, items: list[str]) -> str:
        return items[self.fdp.ConsumeIntInRange(0, len(items) - 1)]

    def ws(self) -> str:
        return self.pick(WHITE) if self.fdp.ConsumeIntInRange(0, 9) == 0 else self.pick([" ", ""])

    def value(self, depth: int) -> str:
        kind = self.fdp.ConsumeIntInRange(0, 9 if depth < 6 else 4)
        if kind <= 1:
            return self.pick(NUMBERS)
        if kind == 2:
            return self.pick(STRINGS) if self.fdp.ConsumeBool() else json.dumps(self.fdp.ConsumeUnicode(6))
        if kind == 3:
            return self.pick(LITERALS)
        if kind == 4:
            return str(self.fdp.ConsumeInt(9)) if self.fdp.ConsumeBool() else repr(self.fdp.ConsumeRegularFloat())
        if kind == 9:  # nesting around the limit
            levels = self.fdp.ConsumeIntInRange(126, 130)
            if self.fdp.ConsumeBool():
                return "[" * levels + self.value(6) + "]" * levels
            return '{"d":' * levels + self.value(6) + "}" * levels
        items = [self.value(depth + 1) for _ in range(self.fdp.ConsumeIntInRange(0, 4))]
        if kind <= 6:
            body = ("," + self.ws()).join(items)
            return "[" + self.ws() + body + ("," if self.fdp.ConsumeIntInRange(0, 15) == 0 else "") + "]"
        keys = ['"k"', '"K"', '"\\u006b"', '"é"', '"e\u0301"', '"\U0001f600"', '""', "k", '"\\ud800"']
        members = [self.pick(keys) + self.ws() + (":" if self.fdp.ConsumeIntInRange(0, 15) else "") + self.ws() + v
                   for v in items]
        return "{" + self.ws() + ("," + self.ws()).join(members) + "}"

    def document(self) -> str:
        return self.ws() + self.value(0) + self.ws() + self.pick(TAILS)


def one_input(data: bytes) -> None:
    if data[:1] and data[0] & 1:
        check(Text(atheris.FuzzedDataProvider(data[1:])).document())
    else:
        check(data.decode("utf-8", "replace"))


def main() -> None:
    atheris.instrument_all()
    atheris.Setup(sys.argv, one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
