"""Type stubs of the native core ``tessarine._tessarine_core``."""

from typing import Any

__version__: str
__all__: list[str]

def py_sample(
    name: str,
    property: str,
    at: tuple[float, float, float] | None = None,
    scale_m: float | None = None,
) -> float: ...
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
def is_rust_backend() -> bool: ...
def version_rust() -> str: ...
