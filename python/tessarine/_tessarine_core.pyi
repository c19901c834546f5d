"""Type stubs of the native core ``tessarine._tessarine_core``."""

from collections.abc import Sequence
from typing import Any

__version__: str
__all__: list[str]

def py_sample(
    name: str,
    property: str,
    at: tuple[float, float, float] | None = None,
    scale_m: float | None = None,
) -> float: ...
def py_optimize_alloy(
    targets: Sequence[dict[str, Any]],
    base: str,
    alloying_pool: Sequence[str] | None = None,
    n_candidates: int = 1000,
    top_k: int = 5,
    seed: int | None = None,
) -> list[dict[str, Any]]: ...
def is_rust_backend() -> bool: ...
def version_rust() -> str: ...
