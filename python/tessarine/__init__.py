"""tessarine: a catalogue of material and biochemical datasheets.

Look datasheets up by name, symbol, alias or braced formula (:func:`Get`),
sample their properties at points or over voxel grids (:func:`sample.sample`,
:func:`voxel_grid`), write them as surfaces, volumes and shaders
(``export_*``), bake property fields into Fourier series (:func:`bake`),
build protein backbones (:func:`build_backbone`) and search alloy
compositions (:func:`optimize_alloy`). The modules ``tessarine.get``,
``.sample``, ``.export``, ``.optimize``, ``.protein`` and ``.fourier`` hold
them by subject; everything is also here.

The native core ``tessarine._tessarine_core`` loads every datasheet under
``tessarine/data/active/`` when tessarine is imported; its functions
(``py_get``, ``py_sample``, ...) stay importable from here for those who
need its exact low-level behaviour. The public functions and modules are
imported on first use, and numpy only by the functions that return arrays.
"""

from tessarine import _tessarine_core
from tessarine._tessarine_core import *  # noqa: F403
from tessarine._tessarine_core import __version__

TYPE_CHECKING = False
if TYPE_CHECKING:
    from tessarine._errors import Cancelled as Cancelled
    from tessarine._errors import DataError as DataError
    from tessarine._errors import ExportError as ExportError
    from tessarine._errors import NotFoundError as NotFoundError
    from tessarine._errors import TessarineError as TessarineError
    from tessarine import export as export
    from tessarine import fourier as fourier
    from tessarine import get as get
    from tessarine import optimize as optimize
    from tessarine import protein as protein
    from tessarine import sample as sample
    from tessarine.export import export_glsl as export_glsl
    from tessarine.export import export_hlsl as export_hlsl
    from tessarine.export import export_obj as export_obj
    from tessarine.export import export_raw as export_raw
    from tessarine.export import export_stl as export_stl
    from tessarine.export import export_vtk as export_vtk
    from tessarine.fourier import FourierCoefficient as FourierCoefficient
    from tessarine.fourier import FourierField as FourierField
    from tessarine.fourier import bake as bake
    from tessarine.get import Get as Get
    from tessarine.get import Save as Save
    from tessarine.get import list_tiers as list_tiers
    from tessarine.get import names as names
    from tessarine.get import resolve as resolve
    from tessarine.optimize import AlloyCandidate as AlloyCandidate
    from tessarine.optimize import Target as Target
    from tessarine.optimize import optimize_alloy as optimize_alloy
    from tessarine.protein import Backbone as Backbone
    from tessarine.protein import build_backbone as build_backbone
    from tessarine.protein import build_backbone_from_entry as build_backbone_from_entry
    from tessarine.protein import kabsch_rmsd as kabsch_rmsd
    from tessarine.protein import ramachandran_region as ramachandran_region
    from tessarine.sample import VoxelGrid as VoxelGrid
    from tessarine.sample import data_sheet as data_sheet
    from tessarine.sample import voxel_grid as voxel_grid

# Public name -> the module that defines it (a module's own name: the module).
_LAZY = {
    "get": "get", "Get": "get", "Save": "get", "list_tiers": "get", "resolve": "get", "names": "get",
    "sample": "sample", "data_sheet": "sample", "voxel_grid": "sample", "VoxelGrid": "sample",
    "export": "export", "export_glsl": "export", "export_hlsl": "export", "export_obj": "export",
    "export_stl": "export", "export_vtk": "export", "export_raw": "export",
    "optimize": "optimize", "optimize_alloy": "optimize", "Target": "optimize", "AlloyCandidate": "optimize",
    "protein": "protein", "build_backbone": "protein", "build_backbone_from_entry": "protein",
    "kabsch_rmsd": "protein", "ramachandran_region": "protein", "Backbone": "protein",
    "fourier": "fourier", "bake": "fourier", "FourierField": "fourier", "FourierCoefficient": "fourier",
    "TessarineError": "_errors", "NotFoundError": "_errors", "DataError": "_errors", "ExportError": "_errors",
    "Cancelled": "_errors",
}  # fmt: skip

__all__ = [*_LAZY, *_tessarine_core.__all__]


def __getattr__(name: str) -> object:
    module_name = _LAZY.get(name)
    if module_name is None:
        raise AttributeError(f"module 'tessarine' has no attribute {name!r}")
    import importlib

    module = importlib.import_module(f"tessarine.{module_name}")
    value = module if name == module_name else getattr(module, name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted({*globals(), *__all__})
