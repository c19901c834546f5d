"""Type stubs of the native core ``tessarine._tessarine_core``."""

from typing import Any

__version__: str
__all__: list[str]

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
def py_export_hlsl(
    name: str,
    out_path: str,
    properties: list[str] | tuple[str, ...] | None = None,
) -> str: ...
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
    properties: list[str] | tuple[str, ...] | None = None,
    scale_m: float | None = None,
) -> str: ...
def is_rust_backend() -> bool: ...
def version_rust() -> str: ...
