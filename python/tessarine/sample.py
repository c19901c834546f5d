"""Reading properties: at a point, over a voxel grid, or the whole datasheet.

An entry with ``"phase_model": "voronoi"`` is a multi-phase material: space
is cut into cubic cells, each wholly one phase chosen by a hash of the cell's
index weighted by the phases' volume fractions, so the same point gives the
same phase in every run. Sampled at a point finer than 1 cm it gives the
property of the phase there; without a point, or at 1 cm or coarser, the
volume-weighted average. Every other entry is homogeneous.

The module itself is callable as its function :func:`sample`, so that
``tessarine.sample(...)`` and ``tessarine.sample.sample(...)`` do the same.
"""

from __future__ import annotations

import sys
import types
from dataclasses import dataclass, field
from typing import TYPE_CHECKING

from tessarine import _common
from tessarine import _tessarine_core as core
from tessarine import _tessarine_ext as ext
from tessarine._errors import DataError
from tessarine._controls import CancelEvent, Progress, controlled

if TYPE_CHECKING:
    import numpy as np
    from numpy.typing import ArrayLike, NDArray

    from tessarine._types import Bounds, Datasheet, Point

__all__ = ["VoxelGrid", "data_sheet", "sample", "voxel_grid"]


def sample(name: str, property: str, at: ArrayLike | None = None, scale_m: float | None = None) -> float:
    """The value of a numeric property of an entry, optionally at a point.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    property : str
        The property, a numeric member such as ``"Density_kg_m3"``.
    at : array_like of 3 floats, optional
        The point (x, y, z) in metres; None samples the whole material.
    scale_m : float, optional
        The length scale of the observation in metres, positive: for a
        multi-phase entry the edge of the phase cells below 0.01, the
        volume-weighted average at 0.01 or more. None means 0.001.

    Returns
    -------
    float

    Raises
    ------
    NotFoundError
        When no entry answers to `name`, or the entry has no numeric
        `property` (the message suggests close property names).
    DataError
        When a multi-phase entry lacks the property in the phase at `at`.
    ValueError
        For an empty name or property, an `at` not of shape (3,) or not
        finite, or a `scale_m` that is not positive.

    Examples
    --------
    >>> from tessarine.sample import sample
    >>> sample("steel", "Density_kg_m3")
    7870.0
    >>> sample("DuplexSteel2205", "YoungsModulus_GPa", at=(0.0005, 0.0002, 0.0002), scale_m=0.001)
    210.0
    >>> sample("steel", "density")
    Traceback (most recent call last):
    tessarine.NotFoundError: Steel has no numeric property 'density'; did you mean 'Density_kg_m3'?
    """
    entry_name = _common.entry(name)
    prop = _common.property_arg(property)
    point = None if at is None else _common.point(at, "at")
    scale = _common.optional_positive(scale_m, "scale_m")
    try:
        return core.py_sample(entry_name, prop, point, scale)
    except KeyError as exc:
        known = _common.sampled_properties(core.py_data_sheet(entry_name))
        if prop not in known:
            raise _common.missing_property(entry_name, prop, known) from None
        raise DataError(f"{entry_name}: {exc.args[0]}") from None


def data_sheet(name: str) -> Datasheet:
    """The whole datasheet of an entry.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).

    Returns
    -------
    dict
        A copy of the stored datasheet.

    Raises
    ------
    NotFoundError
        When no entry answers to `name`.
    ValueError
        For an empty name.

    Examples
    --------
    >>> from tessarine.sample import data_sheet
    >>> sheet = data_sheet("cu")
    >>> sheet["Name"], sheet["Density_kg_m3"]
    ('Copper', 8960)
    """
    sheet: Datasheet = core.py_data_sheet(_common.entry(name))
    return sheet


@dataclass(frozen=True, eq=False)
class VoxelGrid:
    """A material cut into cubic voxels, each labelled with the phase at its centre.

    Arrays are indexed ``[iz, iy, ix]``, so their flat order is x-fastest, as in
    the VTK and raw volume files. Voxel ``(ix, iy, iz)`` is centred at
    ``origin + voxel_size * (ix + 0.5, iy + 0.5, iz + 0.5)``; the grid starts at
    the box's minimum corner and may reach beyond its maximum corner by less
    than one voxel.

    Attributes
    ----------
    name : str
        The entry name.
    phase_ids : numpy.ndarray of int32, shape (nz, ny, nx)
        The index into `phase_names` of each voxel's phase.
    phase_names : tuple of str
        The phases in index order: the names of the entry's volume fractions,
        or the entry name alone for a single-phase material.
    origin : tuple of 3 floats
        The minimum corner of the box, in metres.
    voxel_size : float
        The voxel edge, in metres.
    bounds : tuple
        The box the grid was made for.
    scale_m : float or None
        The phase cell edge asked for (None: the voxel size).
    """

    name: str
    phase_ids: NDArray[np.int32] = field(repr=False)
    phase_names: tuple[str, ...]
    origin: Point
    voxel_size: float
    bounds: Bounds
    scale_m: float | None = None

    @property
    def shape(self) -> tuple[int, int, int]:
        """(nz, ny, nx), the shape of the arrays."""
        nz, ny, nx = self.phase_ids.shape
        return (nz, ny, nx)

    def property(self, name: str) -> NDArray[np.float64]:
        """A numeric property sampled at every voxel centre.

        The values are those :func:`tessarine.export.export_vtk` writes for the
        same grid, before they are printed: the property of each voxel's phase
        (at `scale_m`, else the voxel size, as the phase cell edge), 0.0 where a
        phase lacks it.

        Parameters
        ----------
        name : str
            The property, such as ``"Density_kg_m3"``.

        Returns
        -------
        numpy.ndarray of float64, shape (nz, ny, nx)

        Raises
        ------
        NotFoundError
            When no phase of the entry (nor the entry itself) has the property.
        ValueError
            For an empty name.

        Examples
        --------
        >>> from tessarine.sample import voxel_grid
        >>> grid = voxel_grid("DuplexSteel2205", ((0, 0, 0), (0.004, 0.004, 0.001)), 0.001)
        >>> modulus = grid.property("YoungsModulus_GPa")
        >>> import numpy as np
        >>> modulus.shape, np.unique(modulus).tolist()
        ((1, 4, 4), [195.0, 210.0])
        """
        prop = _common.property_arg(name, "name")
        _common.require_properties(self.name, [prop])
        import numpy as np

        nz, ny, nx = self.shape
        values = ext.property_grid(self.name, prop, self.bounds, self.voxel_size, (nx, ny, nz), self.scale_m)
        result: NDArray[np.float64] = np.frombuffer(values, dtype=np.float64).reshape(self.shape)
        return result


def voxel_grid(
    name: str,
    bounds: ArrayLike,
    voxel_size: float,
    scale_m: float | None = None,
    *,
    cancel: CancelEvent | None = None,
    progress: Progress = None,
) -> VoxelGrid:
    """Cut a material into cubic voxels and label each with its phase.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    bounds : array_like, shape (2, 3)
        The box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres.
    voxel_size : float
        The voxel edge in metres, positive. Each axis gets
        ceil(extent / voxel_size) voxels, at least one.
    scale_m : float, optional
        The edge of the phase cells in metres, positive; None means the voxel size.
    cancel : threading.Event or object with is_set(), optional
        Asked every few milliseconds while the call works; once set, the call
        stops and raises :class:`tessarine.Cancelled`.
    progress : bool or callable, optional
        A callable gets ``(done, total)`` in voxels every few milliseconds and
        at the end, when `done` equals `total`; True shows a tqdm bar (the
        ``progress`` extra). None reports nothing.

    Returns
    -------
    VoxelGrid

    Raises
    ------
    NotFoundError
        When no entry answers to `name`.
    ValueError
        For an empty name, `bounds` not of shape (2, 3) or not finite or with
        its maximum below its minimum, a `voxel_size` or `scale_m` that is not
        positive, or a grid of more than 2**30 voxels.

    Examples
    --------
    >>> from tessarine.sample import voxel_grid
    >>> grid = voxel_grid("DuplexSteel2205", ((0, 0, 0), (0.004, 0.003, 0.002)), 0.001)
    >>> grid.phase_names, grid.shape
    (('austenite', 'ferrite'), (2, 3, 4))
    >>> grid.phase_ids[0]
    array([[1, 0, 1, 1],
           [0, 1, 1, 1],
           [0, 1, 0, 0]], dtype=int32)
    """
    entry_name = _common.entry(name)
    box = _common.bounds(bounds)
    size = _common.positive(voxel_size, "voxel_size")
    scale = _common.optional_positive(scale_m, "scale_m")
    with controlled(cancel, progress, "voxels", "voxel_grid"):
        ids, phase_names, (nx, ny, nz) = ext.voxel_grid(entry_name, box, size, scale)
    import numpy as np
    phase_ids = np.frombuffer(ids, dtype=np.int32).reshape((nz, ny, nx))
    return VoxelGrid(entry_name, phase_ids, tuple(phase_names), box[0], size, box, scale)


class _CallableModule(types.ModuleType):
    """This module, callable as its function `sample`."""

    def __call__(
        self, name: str, property: str, at: ArrayLike | None = None, scale_m: float | None = None
    ) -> float:
        return sample(name, property, at, scale_m)


sys.modules[__name__].__class__ = _CallableModule
