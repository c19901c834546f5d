"""The command line: ``tessarine`` or ``python -m tessarine``.

Exit status 0 on success; 1 with a one-line message on standard error for a
name not found, bad input or a failed write; 130 when interrupted (Ctrl-C).
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Callable, Sequence
from pathlib import Path
from typing import Any, NoReturn

import tessarine

__all__ = ["build_parser", "main"]

EXPORT_EXTENSIONS = {"obj": "obj", "stl": "stl", "vtk": "vtk", "raw": "raw", "hlsl": "hlsl", "glsl": "glsl"}


class _Parser(argparse.ArgumentParser):
    """Usage errors as one line and exit status 1, like every other failure."""

    def error(self, message: str) -> NoReturn:
        self.exit(1, f"{self.prog}: error: {message} (see '{self.prog} --help')\n")


def _print_json(value: object) -> None:
    print(json.dumps(value, indent=2, ensure_ascii=False))


def _box(values: Sequence[float] | None) -> tuple[tuple[float, ...], tuple[float, ...]]:
    if values is None:
        raise ValueError("--box X0 Y0 Z0 X1 Y1 Z1 is required for this format")
    return (tuple(values[:3]), tuple(values[3:]))


def _voxel(value: float | None) -> float:
    if value is None:
        raise ValueError("--voxel S is required for this format")
    return value


def _bar() -> bool:
    """Whether long work shows a progress bar: on a terminal, when tqdm is installed."""
    import importlib.util

    return sys.stderr.isatty() and importlib.util.find_spec("tqdm") is not None


def _cmd_get(a: argparse.Namespace) -> None:
    _print_json(tessarine.Get(a.spec, a.tier))


def _cmd_tiers(a: argparse.Namespace) -> None:
    print("\n".join(tessarine.list_tiers()))


def _cmd_names(a: argparse.Namespace) -> None:
    print("\n".join(tessarine.names(a.tier)))


def _cmd_sample(a: argparse.Namespace) -> None:
    print(repr(tessarine.sample.sample(a.name, a.property, a.at, a.scale)))


def _cmd_export(a: argparse.Namespace) -> None:
    fmt = a.format
    out = a.output or f"{tessarine.resolve(a.name)[1]}.{EXPORT_EXTENSIONS[fmt]}"
    if fmt == "glsl":
        source = tessarine.export_glsl(a.name)
        if a.output is None:
            sys.stdout.write(source)
            return
        try:
            Path(out).write_text(source, encoding="utf-8")
        except OSError as exc:
            raise tessarine.ExportError(exc.errno or 0, exc.strerror or str(exc), out) from None
        print(out)
        return
    if fmt == "hlsl":
        print(tessarine.export_hlsl(a.name, out, a.property))
        return
    box, voxel = _box(a.box), _voxel(a.voxel)
    written: Sequence[Path]
    if fmt == "obj":
        written = tessarine.export_obj(a.name, out, box, voxel, a.scale, progress=_bar())
    elif fmt == "stl":
        written = [tessarine.export_stl(a.name, out, box, voxel, a.scale, binary=not a.ascii, progress=_bar())]
    elif fmt == "vtk":
        written = [tessarine.export_vtk(a.name, out, box, voxel, a.property, a.scale, progress=_bar())]
    else:
        written = [tessarine.export_raw(a.name, out, box, voxel, a.scale, a.mode, progress=_bar())]
    print("\n".join(str(p) for p in written))


def _cmd_bake(a: argparse.Namespace) -> None:
    field = tessarine.bake(a.name, a.property, _box(a.box), a.grid, a.threshold, progress=_bar())
    _print_json(field.to_dict())


def _target(text: str) -> dict[str, Any]:
    """PROP[:MIN[:MAX[:WEIGHT]]], empty fields left out: "Density_kg_m3::8100"."""
    parts = text.split(":")
    if len(parts) > 4:
        raise ValueError(f"--target {text!r}: expected PROP[:MIN[:MAX[:WEIGHT]]]")
    target: dict[str, Any] = {"property": parts[0]}
    for key, value in zip(("min_value", "max_value", "weight"), parts[1:], strict=False):
        if value:
            try:
                target[key] = float(value)
            except ValueError:
                raise ValueError(f"--target {text!r}: {key} {value!r} is not a number") from None
    return target


def _cmd_alloy(a: argparse.Namespace) -> None:
    targets = [_target(t) for t in a.target]
    ranking = tessarine.optimize_alloy(targets, a.base, a.pool, a.candidates, a.top, a.seed, progress=_bar())
    _print_json([
        {"composition": c.composition, "estimated_properties": c.estimated_properties, "score": c.score}
        for c in ranking
    ])  # fmt: skip


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(prog="tessarine", description="Look up, sample and export tessarine's datasheets.")
    parser.add_argument("--version", action="version", version=f"tessarine {tessarine.__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND", parser_class=_Parser)

    def command(name: str, run: Callable[[argparse.Namespace], None], text: str) -> argparse.ArgumentParser:
        sub = commands.add_parser(name, help=text, description=text)
        sub.set_defaults(run=run)
        return sub

    tier_help = "search only this tier (any letter case, plural allowed)"
    p = command("get", _cmd_get, "print the datasheet a name, symbol, alias or braced formula designates, as JSON")
    p.add_argument("spec", help="an entry name, symbol or alias, or a formula such as '{Fe=3, C=1}'")
    p.add_argument("--tier", help=tier_help)
    command("tiers", _cmd_tiers, "list the tiers, in lookup order")
    p = command("names", _cmd_names, "list the entry names")
    p.add_argument("--tier", help="only this tier's entries")
    p = command("sample", _cmd_sample, "print a numeric property of an entry, optionally at a point")
    p.add_argument("name", help="an entry name, symbol or alias")
    p.add_argument("property", help="a numeric member, such as Density_kg_m3")
    p.add_argument("--at", nargs=3, type=float, metavar=("X", "Y", "Z"), help="the point in metres")
    p.add_argument("--scale", type=float, metavar="S", help="the observation scale in metres")

    p = command("export", _cmd_export, "write an entry as OBJ+MTL, STL, VTK, raw volume+JSON, HLSL or GLSL")
    p.add_argument("format", choices=sorted(EXPORT_EXTENSIONS), help="the file format")
    p.add_argument("name", help="an entry name, symbol or alias")
    p.add_argument("--box", nargs=6, type=float, metavar=("X0", "Y0", "Z0", "X1", "Y1", "Z1"),
                   help="the box in metres (obj, stl, vtk, raw)")  # fmt: skip
    p.add_argument("--voxel", type=float, metavar="S", help="the voxel edge in metres (obj, stl, vtk, raw)")
    p.add_argument("-o", "--output", metavar="PATH", help="the file to write (default: <entry>.<format>; glsl: stdout)")
    p.add_argument("--property", nargs="+", metavar="P", help="properties to write (vtk, hlsl)")
    p.add_argument("--scale", type=float, metavar="S", help="the phase cell edge in metres (default: the voxel)")
    p.add_argument("--ascii", action="store_true", help="ASCII STL instead of binary")
    p.add_argument("--mode", choices=("phase", "occupancy"), default="phase", help="what a raw volume stores")

    p = command("bake", _cmd_bake, "bake a property over a box into a Fourier series, printed as JSON")
    p.add_argument("name", help="an entry name, symbol or alias")
    p.add_argument("property", help="the property to bake")
    p.add_argument("--box", nargs=6, type=float, required=True, metavar=("X0", "Y0", "Z0", "X1", "Y1", "Z1"),
                   help="the box in metres")  # fmt: skip
    p.add_argument("--grid", nargs=3, type=int, required=True, metavar=("NX", "NY", "NZ"), help="samples per axis")
    p.add_argument("--threshold", type=float, default=0.01, help="keep terms of at least this fraction of the largest")

    p = command("alloy", _cmd_alloy, "search alloy compositions meeting property targets; prints the ranking as JSON")
    p.add_argument("--base", required=True, help="the base element, such as Fe")
    p.add_argument("--target", required=True, action="append", metavar="PROP[:MIN[:MAX[:WEIGHT]]]",
                   help="a target; repeat for several (empty fields are left out: Density_kg_m3::8100)")  # fmt: skip
    p.add_argument("--pool", nargs="+", metavar="ELEMENT", help="the alloying elements (default: Cr Ni Mn Si Cu Mo)")
    p.add_argument("--candidates", type=int, default=1000, metavar="N", help="compositions drawn (default 1000)")
    p.add_argument("--top", type=int, default=5, metavar="K", help="candidates shown (default 5)")
    p.add_argument("--seed", type=int, metavar="S", help="draw the same compositions on every run")
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Runs one command; returns the exit status."""
    try:
        args = build_parser().parse_args(argv)
        args.run(args)
        sys.stdout.flush()
    except KeyboardInterrupt:
        print("tessarine: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())  # no second failure at exit
        return 1
    except (tessarine.TessarineError, ValueError, TypeError, OSError) as exc:
        print(f"tessarine: error: {_one_line(exc)}", file=sys.stderr)
        return 1
    return 0


def _one_line(exc: BaseException) -> str:
    return " ".join(str(exc).split()) or type(exc).__name__


if __name__ == "__main__":
    sys.exit(main())
