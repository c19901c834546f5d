# Generated from src/pyfacade/functions.h by `cmake --build build/py --target stub`; do not edit.
"""Type stubs of the native core ``tessarine._tessarine_core``."""

from collections.abc import Sequence
from typing import Any

__version__: str
__all__ = [
    "py_get",
    "py_save",
    "py_sample",
    "py_data_sheet",
    "py_list_tiers",
    "py_export_glsl",
    "py_kabsch_rmsd",
    "py_build_backbone",
    "py_build_backbone_from_entry",
    "py_ramachandran_region",
    "py_optimize_alloy",
    "py_export_hlsl",
    "py_export_sdf_raw",
    "py_export_vtk_legacy",
    "py_export_stl",
    "py_export_obj",
    "py_bake_fourier",
    "is_rust_backend",
    "version_rust",
    "__version__",
]

def py_get(spec: str, scope_str: str | None = None) -> Any: ...
def py_save(name: str, data_json: str, tier_str: str) -> Any: ...
def py_sample(
    name: str,
    property: str,
    at: tuple[float, float, float] | None = None,
    scale_m: float | None = None,
) -> float: ...
def py_data_sheet(name: str) -> Any: ...
def py_list_tiers() -> list[str]: ...
def py_export_glsl(
    name: str,
    include_density: bool = True,
    include_ior: bool = True,
    include_sss: bool = True,
    include_caustic: bool = True,
) -> str: ...
def py_kabsch_rmsd(a: Sequence[Sequence[float]], b: Sequence[Sequence[float]]) -> float: ...
def py_build_backbone(sequence: str, phi_psi_deg: Sequence[tuple[float, float]]) -> list[dict[str, Any]]: ...
def py_build_backbone_from_entry(entry_name: str) -> list[dict[str, Any]]: ...
def py_ramachandran_region(phi_deg: float, psi_deg: float) -> str: ...
def py_optimize_alloy(
    targets: Sequence[dict[str, Any]],
    base: str,
    alloying_pool: Sequence[str] | None = None,
    n_candidates: int = 1000,
    top_k: int = 5,
    seed: int | None = None,
) -> list[dict[str, Any]]: ...
def py_export_hlsl(name: str, out_path: str, properties: Sequence[str] | None = None) -> str: ...
def py_export_sdf_raw(
    name: str,
    out_path: str,
    bounds: tuple[tuple[float, float, float], tuple[float, float, float]],
    voxel_size: float,
    scale_m: float | None = None,
    mode: str = "phase",
) -> str: ...
def py_export_vtk_legacy(
    name: str,
    out_path: str,
    bounds: tuple[tuple[float, float, float], tuple[float, float, float]],
    voxel_size: float,
    properties: Sequence[str] | None = None,
    scale_m: float | None = None,
) -> str: ...
def py_export_stl(
    name: str,
    out_path: str,
    bounds: tuple[tuple[float, float, float], tuple[float, float, float]],
    voxel_size: float,
    scale_m: float | None = None,
    binary: bool = True,
) -> str: ...
def py_export_obj(
    name: str,
    obj_path: str,
    bounds: tuple[tuple[float, float, float], tuple[float, float, float]],
    voxel_size: float,
    scale_m: float | None = None,
) -> tuple[str, str]: ...
def py_bake_fourier(
    entry_name: str,
    property: str,
    bounds: tuple[tuple[float, float, float], tuple[float, float, float]],
    grid_size: tuple[int, int, int],
    truncate_threshold: float = 0.01,
) -> dict[str, Any]: ...
def is_rust_backend() -> bool: ...
def version_rust() -> str: ...
