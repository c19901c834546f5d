# Generated from src/pyfacade/ext_functions.h by `cmake --build build/py --target stub`; do not edit.
"""Type stubs of ``tessarine._tessarine_ext``, the native support of the public API."""

from collections.abc import Buffer, Callable

from tessarine._types import Tier

__all__ = [
    "tier_names",
    "tier_index",
    "resolve",
    "entry_names",
    "lookup_keys",
    "parse_formula",
    "mtl_path",
    "sidecar_path",
    "voxel_grid",
    "property_grid",
    "build_backbone",
    "build_backbone_from_entry",
    "kabsch_rmsd",
    "set_poll_hook",
]

def tier_names() -> tuple[Tier, ...]: ...
def tier_index(word: str) -> int: ...
def resolve(name: str, scope: int) -> tuple[Tier, str] | None: ...
def entry_names(scope: int) -> list[tuple[Tier, str]]: ...
def lookup_keys(scope: int) -> list[str]: ...
def parse_formula(spec: str) -> list[tuple[str, int]] | None: ...
def mtl_path(obj_path: str) -> str: ...
def sidecar_path(raw_path: str) -> str: ...
def voxel_grid(
    name: str,
    bounds: tuple[tuple[float, float, float], tuple[float, float, float]],
    voxel_size: float,
    scale_m: float | None = None,
) -> tuple[Buffer, list[str], tuple[int, int, int]]: ...
def property_grid(
    name: str,
    property: str,
    bounds: tuple[tuple[float, float, float], tuple[float, float, float]],
    voxel_size: float,
    counts: tuple[int, int, int],
    scale_m: float | None = None,
) -> Buffer: ...
def build_backbone(sequence: str, phi_psi_deg: Buffer) -> tuple[Buffer, str]: ...
def build_backbone_from_entry(entry_name: str) -> tuple[Buffer, str]: ...
def kabsch_rmsd(a: Buffer, b: Buffer) -> float: ...
def set_poll_hook(hook: Callable[[int, int, bool], object] | None = None) -> bool: ...
