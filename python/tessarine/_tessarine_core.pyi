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
def is_rust_backend() -> bool: ...
def version_rust() -> str: ...
