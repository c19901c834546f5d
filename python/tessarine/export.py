"""Writing materials as files: surfaces, volumes and shaders.

The surface and volume exporters first cut the material into voxels over a
box, as :func:`tessarine.voxel_grid` does: each axis gets
ceil(extent / voxel_size) voxels starting at the box's minimum corner, each
labelled with the phase at its centre. Lengths are metres.

Each exporter creates or replaces its files whole. The text formats (ASCII
STL, OBJ, VTK values, shader constants) print six decimals: use binary STL
for sub-micrometre geometry. Every path argument takes a str or an
``os.PathLike``; written paths come back as :class:`pathlib.Path`.
"""

from __future__ import annotations

from pathlib import Path
from typing import TYPE_CHECKING, TypeVar

from tessarine import _common
from tessarine import _tessarine_core as core
from tessarine import _tessarine_ext as ext
from tessarine._controls import CancelEvent, Progress, controlled

if TYPE_CHECKING:
    from collections.abc import Callable, Sequence

    from numpy.typing import ArrayLike

    from tessarine._types import PathArg, RawMode

__all__ = ["export_glsl", "export_hlsl", "export_obj", "export_raw", "export_stl", "export_vtk"]

RAW_MODES = ("phase", "occupancy")

T = TypeVar("T")


def _writing(filename: str, call: Callable[[], T]) -> T:
    """`call()`, its RuntimeError raised as ExportError (for `filename`) or ValueError."""
    try:
        return call()
    except RuntimeError as exc:
        raise _common.export_failure(exc, filename) from None


def export_glsl(
    name: str,
    include_density: bool = True,
    include_ior: bool = True,
    include_sss: bool = True,
    include_caustic: bool = True,
) -> str:
    """GLSL source of a function returning four bulk constants of a material.

    The function ``vec4 SampleMaterial_<identifier>(vec3 worldPos, float scaleM)``
    returns (density in kg/m³, refractive index, sss_r, sss_g), read from the
    datasheet's "Density_kg_m3", "IOR" (or "RefractiveIndex",
    "refractive_index"), "SSS_r" and "SSS_g" members, with the defaults 1000, 1,
    0 and 0 for absent members and for channels switched off.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    include_density, include_ior, include_sss : bool, default True
        Read the channel from the datasheet; False writes its default.
    include_caustic : bool, default True
        Accepted for compatibility; the source has no caustic channel.

    Returns
    -------
    str

    Raises
    ------
    NotFoundError
        When no entry answers to `name`.
    ValueError
        For an empty name.
    TypeError
        For a flag that is not a bool.

    Examples
    --------
    >>> from tessarine.export import export_glsl
    >>> export_glsl("fused silica").splitlines()[-2].strip()
    'return vec4(2201.000000, 1.458500, 0.000000, 0.000000);'
    """
    entry_name = _common.entry(name)
    return core.py_export_glsl(entry_name, include_density, include_ior, include_sss, include_caustic)


def export_hlsl(name: str, out_path: PathArg, properties: Sequence[str] | None = None) -> Path:
    """Write an HLSL struct of a material's numeric properties and its constructor.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    out_path : str or os.PathLike
        The file to write; missing parent directories are created.
    properties : sequence of str, optional
        The fields, in order; None takes every numeric member of the datasheet
        (and of its "Properties" object), sorted.

    Returns
    -------
    pathlib.Path
        `out_path`.

    Raises
    ------
    NotFoundError
        When no entry answers to `name`, or it lacks one of `properties`.
    ExportError
        When the file cannot be written.
    ValueError
        For an empty name or property.

    Examples
    --------
    >>> import tempfile, pathlib
    >>> from tessarine.export import export_hlsl
    >>> out = pathlib.Path(tempfile.mkdtemp())
    >>> path = export_hlsl("316L", out / "steel.hlsl", ["Density_kg_m3"])
    >>> path.read_text().splitlines()[-4].strip()
    's.Density_kg_m3 = 8000.000000f;'
    """
    entry_name = _common.entry(name)
    target = _common.path(out_path, "out_path")
    props = _common.property_list(properties)
    if props is not None:
        _common.require_properties(entry_name, props, _common.shader_properties)
    return Path(_writing(target, lambda: core.py_export_hlsl(entry_name, target, props)))


def export_obj(
    name: str,
    obj_path: PathArg,
    bounds: ArrayLike,
    voxel_size: float,
    scale_m: float | None = None,
    *,
    cancel: CancelEvent | None = None,
    progress: Progress = None,
) -> tuple[Path, Path]:
    """Write the phase-boundary surface of a voxelised material as OBJ with an MTL library.

    One material per phase, its colour from a hash of the phase name; one
    group per phase with faces. A face between two phases is written once, in
    the phase on its +x, +y or +z side, so only a single-phase material is a
    closed solid.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    obj_path : str or os.PathLike
        The OBJ file; the MTL library goes beside it with the extension
        ".mtl". Missing parent directories are created.
    bounds : array_like, shape (2, 3)
        The box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres.
    voxel_size : float
        The voxel edge in metres, positive.
    scale_m : float, optional
        The edge of the phase cells in metres; None means the voxel size.
    cancel : threading.Event or object with is_set(), optional
        Asked every few milliseconds while the call works; once set, the call
        stops, leaving no file behind (an existing one as it was), and raises :class:`tessarine.Cancelled`.
    progress : bool or callable, optional
        A callable gets ``(done, total)`` in voxels every few milliseconds and
        at the end, when `done` equals `total`; True shows a tqdm bar (the
        ``progress`` extra). None reports nothing.

    Returns
    -------
    (obj_path, mtl_path) : tuple of pathlib.Path

    Raises
    ------
    NotFoundError
        When no entry answers to `name`.
    ExportError
        When a file cannot be written; its ``filename`` is the one that failed.
        Neither file is replaced unless both were written whole.
    ValueError
        For bad `bounds`, `voxel_size` or `scale_m`, a grid too large, or an
        `obj_path` whose MTL path would be itself.

    Examples
    --------
    >>> import tempfile, pathlib
    >>> from tessarine.export import export_obj
    >>> out = pathlib.Path(tempfile.mkdtemp())
    >>> obj, mtl = export_obj("copper", out / "cube.obj", ((0, 0, 0), (0.001, 0.001, 0.001)), 0.001)
    >>> mtl.name, obj.read_text().count("\\nf ")
    ('cube.mtl', 6)
    """
    entry_name = _common.entry(name)
    target = _common.path(obj_path, "obj_path")
    box = _common.bounds(bounds)
    size = _common.positive(voxel_size, "voxel_size")
    scale = _common.optional_positive(scale_m, "scale_m")
    mtl = ext.mtl_path(target)
    try:
        with controlled(cancel, progress, "voxels", "export_obj"):
            written, written_mtl = core.py_export_obj(entry_name, target, box, size, scale)
    except RuntimeError as exc:
        raise _common.export_failure(exc, _common.failed_of_two(mtl, target, target)) from None
    return Path(written), Path(written_mtl)


def export_stl(
    name: str,
    out_path: PathArg,
    bounds: ArrayLike,
    voxel_size: float,
    scale_m: float | None = None,
    binary: bool = True,
    *,
    cancel: CancelEvent | None = None,
    progress: Progress = None,
) -> Path:
    """Write the phase-boundary surface of a voxelised material as an STL mesh.

    Each boundary face becomes two triangles; all phases go into one solid.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    out_path : str or os.PathLike
        The file to write. Binary output needs its directory to exist; ASCII
        output creates missing parent directories.
    bounds : array_like, shape (2, 3)
        The box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres.
    voxel_size : float
        The voxel edge in metres, positive.
    scale_m : float, optional
        The edge of the phase cells in metres; None means the voxel size.
    binary : bool, default True
        Binary STL (float32 coordinates), else ASCII (six decimals).
    cancel : threading.Event or object with is_set(), optional
        Asked every few milliseconds while the call works; once set, the call
        stops, leaving no file behind (an existing one as it was), and raises :class:`tessarine.Cancelled`.
    progress : bool or callable, optional
        A callable gets ``(done, total)`` in voxels every few milliseconds and
        at the end, when `done` equals `total`; True shows a tqdm bar (the
        ``progress`` extra). None reports nothing.

    Returns
    -------
    pathlib.Path
        `out_path`.

    Raises
    ------
    NotFoundError
        When no entry answers to `name`.
    ExportError
        When the file cannot be written.
    ValueError
        For bad `bounds`, `voxel_size` or `scale_m`, or a grid too large.

    Examples
    --------
    >>> import tempfile, pathlib
    >>> from tessarine.export import export_stl
    >>> out = pathlib.Path(tempfile.mkdtemp())
    >>> path = export_stl("Steel", out / "plate.stl", ((0, 0, 0), (0.003, 0.002, 0.001)), 0.001)
    >>> path.stat().st_size  # 84 bytes of header, 50 per triangle: 22 faces of 2 triangles
    2284
    """
    entry_name = _common.entry(name)
    target = _common.path(out_path, "out_path")
    box = _common.bounds(bounds)
    size = _common.positive(voxel_size, "voxel_size")
    scale = _common.optional_positive(scale_m, "scale_m")
    with controlled(cancel, progress, "voxels", "export_stl"):
        return Path(_writing(target, lambda: core.py_export_stl(entry_name, target, box, size, scale, binary)))


def export_vtk(
    name: str,
    out_path: PathArg,
    bounds: ArrayLike,
    voxel_size: float,
    properties: Sequence[str] | None = None,
    scale_m: float | None = None,
    *,
    cancel: CancelEvent | None = None,
    progress: Progress = None,
) -> Path:
    """Write a voxelised material as a legacy ASCII VTK file of structured points.

    The file holds the phase index of every voxel ("phase_id") and one section
    per property, each value sampled at its voxel's centre (the values of
    :meth:`tessarine.VoxelGrid.property`) and printed with six decimals. ORIGIN
    is the box's minimum corner while the values sit at the voxel centres, so
    readers show the volume half a voxel towards the minimum corner.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    out_path : str or os.PathLike
        The file to write; missing parent directories are created.
    bounds : array_like, shape (2, 3)
        The box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres.
    voxel_size : float
        The voxel edge in metres, positive.
    properties : sequence of str, optional
        The properties to write after the phases, in order.
    scale_m : float, optional
        The edge of the phase cells in metres; None means the voxel size.
    cancel : threading.Event or object with is_set(), optional
        Asked every few milliseconds while the call works; once set, the call
        stops, leaving no file behind (an existing one as it was), and raises :class:`tessarine.Cancelled`.
    progress : bool or callable, optional
        A callable gets ``(done, total)`` in voxels every few milliseconds and
        at the end, when `done` equals `total`; True shows a tqdm bar (the
        ``progress`` extra). None reports nothing.

    Returns
    -------
    pathlib.Path
        `out_path`.

    Raises
    ------
    NotFoundError
        When no entry answers to `name`, or none of its phases has one of
        `properties`.
    ExportError
        When the file cannot be written.
    ValueError
        For bad `bounds`, `voxel_size`, `scale_m` or property names, or a grid
        too large.

    Examples
    --------
    >>> import tempfile, pathlib
    >>> from tessarine.export import export_vtk
    >>> out = pathlib.Path(tempfile.mkdtemp())
    >>> path = export_vtk("Steel", out / "steel.vtk", ((0, 0, 0), (0.002, 0.001, 0.001)), 0.001,
    ...                   ["Density_kg_m3"])
    >>> path.read_text().splitlines()[4:8]
    ['DIMENSIONS 2 1 1', 'ORIGIN 0 0 0', 'SPACING 0.001 0.001 0.001', 'POINT_DATA 2']
    """
    entry_name = _common.entry(name)
    target = _common.path(out_path, "out_path")
    box = _common.bounds(bounds)
    size = _common.positive(voxel_size, "voxel_size")
    props = _common.property_list(properties)
    scale = _common.optional_positive(scale_m, "scale_m")
    if props:
        _common.require_properties(entry_name, props)
    with controlled(cancel, progress, "voxels", "export_vtk"):
        return Path(_writing(target, lambda: core.py_export_vtk_legacy(entry_name, target, box, size, props, scale)))


def export_raw(
    name: str,
    out_path: PathArg,
    bounds: ArrayLike,
    voxel_size: float,
    scale_m: float | None = None,
    mode: RawMode = "phase",
    *,
    cancel: CancelEvent | None = None,
    progress: Progress = None,
) -> Path:
    """Write a voxelised material as a raw float32 volume with a JSON sidecar.

    The volume holds one little-endian float32 per voxel, x-fastest, with no
    header; the sidecar beside it (extension ".json") gives "shape_xyz",
    "voxel_size_m", "bounds", "phase_names", "dtype", "layout", "mode" and
    "name". Read it back with
    ``numpy.fromfile(path, "<f4").reshape(nz, ny, nx)``.

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).
    out_path : str or os.PathLike
        The volume file; its directory must exist.
    bounds : array_like, shape (2, 3)
        The box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres.
    voxel_size : float
        The voxel edge in metres, positive.
    scale_m : float, optional
        The edge of the phase cells in metres; None means the voxel size.
    mode : {"phase", "occupancy"}, default "phase"
        Store each voxel's phase index, or 1.0 for every voxel with material.
    cancel : threading.Event or object with is_set(), optional
        Asked every few milliseconds while the call works; once set, the call
        stops, leaving no file behind (an existing one as it was), and raises :class:`tessarine.Cancelled`.
    progress : bool or callable, optional
        A callable gets ``(done, total)`` in voxels every few milliseconds and
        at the end, when `done` equals `total`; True shows a tqdm bar (the
        ``progress`` extra). None reports nothing.

    Returns
    -------
    pathlib.Path
        `out_path`.

    Raises
    ------
    NotFoundError
        When no entry answers to `name`.
    ExportError
        When a file cannot be written; its ``filename`` is the one that failed.
        Neither file is replaced unless both were written whole.
    ValueError
        For bad `bounds`, `voxel_size` or `scale_m`, an unknown `mode`, a grid
        too large, or an `out_path` whose sidecar path would be itself.

    Examples
    --------
    >>> import json, tempfile, pathlib
    >>> from tessarine.export import export_raw
    >>> out = pathlib.Path(tempfile.mkdtemp())
    >>> path = export_raw("DuplexSteel2205", out / "duplex.raw", ((0, 0, 0), (0.004, 0.003, 0.002)), 0.001)
    >>> json.loads(path.with_suffix(".json").read_text())["shape_xyz"], path.stat().st_size
    ([4, 3, 2], 96)
    """
    entry_name = _common.entry(name)
    target = _common.path(out_path, "out_path")
    box = _common.bounds(bounds)
    size = _common.positive(voxel_size, "voxel_size")
    scale = _common.optional_positive(scale_m, "scale_m")
    if mode not in RAW_MODES:
        raise ValueError(f"mode must be 'phase' or 'occupancy', got {mode!r}")
    try:
        with controlled(cancel, progress, "voxels", "export_raw"):
            core.py_export_sdf_raw(entry_name, target, box, size, scale, mode)
    except RuntimeError as exc:
        sidecar = ext.sidecar_path(target)
        raise _common.export_failure(exc, _common.failed_of_two(target, sidecar, target)) from None
    return Path(target)
