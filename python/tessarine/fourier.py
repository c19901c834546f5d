"""Property fields baked into truncated Fourier series.

:func:`bake` samples a property at the centres of an (Nx, Ny, Nz) grid of
cells over a box, removes the mean, and keeps the terms of the discrete
Fourier transform over one half of the frequencies whose amplitude is at
least `truncate_threshold` times the largest.

The convention of the series: with the box's minimum corner ``origin``, the
cell sizes ``d = domain_size_m / grid_size`` and the sample index
``t = (p - origin) / d - 0.5`` of a point p (so the centre of cell (i, j, k)
has t = (i, j, k)), the field is ::

    f(p) = base_value + sum over the terms of
           w * amplitude * cos(2 pi (n t_x / Nx + m t_y / Ny + l t_z / Nz) + phase)

with amplitude = 2 |X| / N and phase = arg X of the transform
X = sum f exp(-2 pi i (...)) over the N = Nx Ny Nz samples. The weight w is 1
for an ordinary term. The half space keeps, on an axis of even length, both
frequencies +N/2 and -N/2, which are one frequency, and terms that are their
own conjugates; w makes each conjugate class count once: w = 1 / (number of
kept terms of the class), halved for a self-conjugate class. With
``truncate_threshold=0`` every term is kept and :meth:`FourierField.evaluate`
gives back the samples at the cell centres; between them it interpolates,
and the series repeats with the period of the box.
"""

from __future__ import annotations

import math
from dataclasses import dataclass
from functools import cached_property
from typing import TYPE_CHECKING, Any, Literal

from tessarine import _common
from tessarine import _tessarine_core as core
from tessarine._controls import CancelEvent, Progress, controlled

if TYPE_CHECKING:
    import numpy as np
    from numpy.typing import ArrayLike, NDArray

    from tessarine._types import Point

__all__ = ["FourierCoefficient", "FourierField", "bake"]

_CHUNK = 1 << 20  # points x terms evaluated at once


@dataclass(frozen=True)
class FourierCoefficient:
    """One kept term: frequency indices (n >= 0, m, l), amplitude 2|X|/N and phase arg X."""

    n: int
    m: int
    l: int  # noqa: E741 - the conventional name of the third index
    amplitude: float
    phase: float


@dataclass(frozen=True, eq=False)
class FourierField:
    """A baked property field: the core's result plus the grid it was sampled on.

    Attributes
    ----------
    property_name : str
    base_value : float
        The mean of the samples.
    domain_size_m : tuple of 3 floats
        The box's extents (each at least 2**-52).
    coefficients : tuple of FourierCoefficient
        The kept terms, in the order of the transform.
    boundary_condition : "periodic"
    origin : tuple of 3 floats
        The box's minimum corner.
    grid_size : tuple of 3 ints
        (Nx, Ny, Nz).
    """

    property_name: str
    base_value: float
    domain_size_m: Point
    coefficients: tuple[FourierCoefficient, ...]
    boundary_condition: Literal["periodic"]
    origin: Point
    grid_size: tuple[int, int, int]

    @cached_property
    def weights(self) -> NDArray[np.float64]:
        """The weight w of each coefficient (see the module doc)."""
        import numpy as np
        if not self.coefficients:
            return np.zeros(0)
        sizes = np.array(self.grid_size, dtype=np.int64)
        nml = np.array([(c.n, c.m, c.l) for c in self.coefficients], dtype=np.int64)
        own, conjugate = nml % sizes, (-nml) % sizes

        def code(k: NDArray[np.int64]) -> NDArray[np.int64]:
            result: NDArray[np.int64] = (k[:, 0] * sizes[1] + k[:, 1]) * sizes[2] + k[:, 2]
            return result

        a, b = code(own), code(conjugate)
        _, inverse, counts = np.unique(np.minimum(a, b), return_inverse=True, return_counts=True)
        w: NDArray[np.float64] = np.where(a == b, 0.5, 1.0) / counts[inverse]
        return w

    def evaluate(self, points: ArrayLike) -> NDArray[np.float64]:
        """The series summed at any points.

        Parameters
        ----------
        points : array_like, shape (..., 3)
            Points in metres.

        Returns
        -------
        numpy.ndarray of float64, shape (...)

        Raises
        ------
        ValueError
            When the last axis of `points` is not of length 3.

        Examples
        --------
        >>> from tessarine.fourier import bake
        >>> field = bake("DuplexSteel2205", "YoungsModulus_GPa", ((0, 0, 0), (0.0004, 0.0003, 0.0002)),
        ...              (4, 3, 2), truncate_threshold=0)
        >>> field.evaluate([(0.00005, 0.00005, 0.00005), (0.00015, 0.00005, 0.00005)]).round(9)
        array([210., 195.])
        """
        import numpy as np
        try:
            p = np.asarray(points, dtype=np.float64)
        except (TypeError, ValueError) as exc:
            raise ValueError(f"points must be numbers of shape (..., 3): {exc}") from None
        if p.ndim == 0 or p.shape[-1] != 3:
            raise ValueError(f"points must have shape (..., 3), got {p.shape}")
        flat = p.reshape(-1, 3)
        sizes = np.array(self.grid_size, dtype=np.float64)
        t = (flat - np.array(self.origin)) / (np.array(self.domain_size_m) / sizes) - 0.5
        out = np.full(len(flat), self.base_value)
        if self.coefficients:
            frequencies = np.array([(c.n, c.m, c.l) for c in self.coefficients], dtype=np.float64) / sizes
            amplitudes = self.weights * np.array([c.amplitude for c in self.coefficients])
            phases = np.array([c.phase for c in self.coefficients])
            step = max(1, _CHUNK // len(self.coefficients))
            for start in range(0, len(flat), step):
                theta = (2 * math.pi) * (t[start : start + step] @ frequencies.T) + phases
                out[start : start + step] += np.cos(theta) @ amplitudes
        result: NDArray[np.float64] = out.reshape(p.shape[:-1])
        return result

    def to_dict(self) -> dict[str, Any]:
        """The core's form: "property_name", "base_value", "domain_size_m",
        "coefficients" (dicts of n, m, l, amplitude, phase), "boundary_condition"."""
        return {
            "property_name": self.property_name,
            "base_value": self.base_value,
            "domain_size_m": list(self.domain_size_m),
            "coefficients": [
                {"n": c.n, "m": c.m, "l": c.l, "amplitude": c.amplitude, "phase": c.phase} for c in self.coefficients
            ],
            "boundary_condition": self.boundary_condition,
        }


def bake(
    name: str,
    property: str,
    bounds: ArrayLike,
    grid_size: ArrayLike,
    truncate_threshold: float = 0.01,
    *,
    cancel: CancelEvent | None = None,
    progress: Progress = None,
) -> FourierField:
    """Bake a property over a box into a truncated Fourier series.

    Each cell centre is sampled as :func:`tessarine.sample.sample` does, at the
    scale of the smallest cell edge.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    property : str
        The property to bake.
    bounds : array_like, shape (2, 3)
        The box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres.
    grid_size : array_like of 3 ints
        The samples (Nx, Ny, Nz), each at least 1. The transform costs about
        (Nx Ny Nz)**2 / 2 sines and cosines.
    truncate_threshold : float, default 0.01
        Keep the terms whose amplitude is at least this fraction of the
        largest; 0 keeps all.
    cancel : threading.Event or object with is_set(), optional
        Asked every few milliseconds while the call works; once set, the call
        stops and raises :class:`tessarine.Cancelled`.
    progress : bool or callable, optional
        A callable gets ``(done, total)`` in terms (frequencies transformed) every few milliseconds and
        at the end, when `done` equals `total`; True shows a tqdm bar (the
        ``progress`` extra). None reports nothing.

    Returns
    -------
    FourierField

    Raises
    ------
    NotFoundError
        When no entry answers to `name`, or it has no numeric `property`.
    ValueError
        For bad `bounds`, `grid_size` or `truncate_threshold`, or a grid too
        large to hold.

    Examples
    --------
    >>> from tessarine.fourier import bake
    >>> field = bake("DuplexSteel2205", "Density_kg_m3", ((0, 0, 0), (0.002, 0.002, 0.002)), (8, 8, 8), 0.05)
    >>> round(field.base_value, 2), len(field.coefficients)
    (7824.71, 152)
    """
    entry_name = _common.entry(name)
    prop = _common.property_arg(property)
    box = _common.bounds(bounds)
    sizes = _common.grid_size(grid_size)
    threshold = _common.real(truncate_threshold, "truncate_threshold")
    if threshold < 0:
        raise ValueError(f"truncate_threshold must not be negative, got {threshold}")
    _common.require_properties(entry_name, [prop])
    with controlled(cancel, progress, "terms", "bake"):
        baked = core.py_bake_fourier(entry_name, prop, box, sizes, threshold)
    lx, ly, lz = baked["domain_size_m"]
    return FourierField(
        baked["property_name"],
        baked["base_value"],
        (lx, ly, lz),
        tuple(FourierCoefficient(c["n"], c["m"], c["l"], c["amplitude"], c["phase"]) for c in baked["coefficients"]),
        "periodic",
        box[0],
        sizes,
    )
