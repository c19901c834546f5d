"""Protein geometry: Cα backbones from torsion angles, Kabsch RMSD, Ramachandran regions.

Coordinates are in ångström, angles in degrees.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Literal, TypedDict, cast, overload

from tessarine import _common
from tessarine import _tessarine_core as core
from tessarine import _tessarine_ext as ext
from tessarine._errors import DataError

if TYPE_CHECKING:
    from collections.abc import Buffer

    import numpy as np
    from numpy.typing import ArrayLike, NDArray

    from tessarine._types import Region

__all__ = ["ATOM_NAMES", "Backbone", "BackboneRecord", "build_backbone", "build_backbone_from_entry",
           "kabsch_rmsd", "ramachandran_region"]  # fmt: skip

ATOM_NAMES = ("N", "CA", "C")
"""The backbone atoms placed per residue, in order."""


class BackboneRecord(TypedDict):
    """One atom as the core's list of dicts gives it."""

    name: Literal["N", "CA", "C"]
    res_idx: int
    x: float
    y: float
    z: float


@dataclass(frozen=True, eq=False)
class Backbone:
    """The N, CA and C atoms of each residue, residue by residue.

    Attributes
    ----------
    sequence : str
        The residues placed, one character each.
    names : numpy.ndarray of str, shape (3 * n,)
        "N", "CA", "C", repeated per residue.
    res_idx : numpy.ndarray of int64, shape (3 * n,)
        The residue index of each atom, from 0.
    xyz : numpy.ndarray of float64, shape (3 * n, 3)
        The positions in ångström.
    """

    sequence: str
    names: NDArray[np.str_] = field(repr=False)
    res_idx: NDArray[np.int64] = field(repr=False)
    xyz: NDArray[np.float64] = field(repr=False)

    @classmethod
    def _of(cls, coordinates: Buffer, sequence: str) -> Backbone:
        import numpy as np
        xyz = np.frombuffer(coordinates, dtype=np.float64).reshape(-1, 3)
        n = len(xyz) // 3
        return cls(sequence, np.tile(np.array(ATOM_NAMES), n), np.repeat(np.arange(n, dtype=np.int64), 3), xyz)

    def to_records(self) -> list[BackboneRecord]:
        """The atoms as dicts with "name", "res_idx", "x", "y" and "z", as the core returns them.

        Examples
        --------
        >>> from tessarine.protein import build_backbone
        >>> build_backbone("G", [(-60, -45)]).to_records()[1]
        {'name': 'CA', 'res_idx': 0, 'x': 1.458, 'y': 0.0, 'z': 0.0}
        """
        names: list[Literal["N", "CA", "C"]] = ["N", "CA", "C"]
        return [
            {"name": names[i % 3], "res_idx": i // 3, "x": x, "y": y, "z": z}
            for i, (x, y, z) in enumerate(self.xyz.tolist())
        ]


def build_backbone(sequence: str, phi_psi_deg: ArrayLike) -> Backbone:
    """Place the backbone of a peptide from its torsion angles.

    Ideal bond lengths (C-N 1.329, N-CA 1.458, CA-C 1.525 Å) and angles
    (116.2°, 121.7°, 111.2°) with a planar trans peptide bond. The first
    residue lies in the xy-plane with N at the origin and CA on +x; it uses no
    angle, and the φ of the first pair and the ψ of the last are never used.

    Parameters
    ----------
    sequence : str
        One-letter residue codes.
    phi_psi_deg : array_like, shape (n, 2)
        (φ, ψ) per residue in degrees. The backbone has min(n, len(sequence))
        residues: extra angles or residues are ignored.

    Returns
    -------
    Backbone

    Raises
    ------
    ValueError
        For an empty sequence, or angles not of shape (n, 2) or not finite.

    Examples
    --------
    >>> from tessarine.protein import build_backbone
    >>> helix = build_backbone("AAAA", [(-57.8, -47.0)] * 4)
    >>> helix.xyz.shape, helix.names[:3].tolist(), helix.res_idx[-1]
    ((12, 3), ['N', 'CA', 'C'], np.int64(3))
    """
    residues = _common.text(sequence, "sequence", "one-letter residue codes such as 'ACDE'")
    angles = _common.array(phi_psi_deg, (None, 2), "phi_psi_deg")
    return Backbone._of(*ext.build_backbone(residues, angles))


def build_backbone_from_entry(name: str) -> Backbone:
    """The backbone of a protein datasheet, from its "residues" array.

    Each element of "residues" gives a residue code in "residue" ("X" when
    missing) and its torsions in "phi" and "psi" (0 when missing).

    Parameters
    ----------
    name : str
        An entry name, symbol or alias (resolved as by :func:`tessarine.Get`).

    Returns
    -------
    Backbone

    Raises
    ------
    NotFoundError
        When no entry answers to `name`.
    DataError
        When the datasheet has no "residues" array.
    ValueError
        For an empty name.

    Examples
    --------
    >>> from tessarine.protein import build_backbone_from_entry
    >>> helix = build_backbone_from_entry("PolyAlanineHelix")
    >>> helix.sequence[:5], helix.xyz.shape
    ('AAAAA', (36, 3))
    """
    entry_name = _common.entry(name)
    try:
        return Backbone._of(*ext.build_backbone_from_entry(entry_name))
    except ValueError as exc:
        raise DataError(str(exc)) from None


def kabsch_rmsd(a: ArrayLike, b: ArrayLike) -> float:
    """The RMSD of two paired point sets after the best rigid superposition.

    Both sets are moved to their centroids and `b` is turned by the proper
    rotation (no reflection) that best maps it onto `a`.

    Parameters
    ----------
    a, b : array_like, shape (n, 3)
        Points i of `a` and `b` are paired. Two empty sets give 0.0.

    Returns
    -------
    float
        In the units of the points.

    Raises
    ------
    ValueError
        When a set is not of shape (n, 3) or not finite, or the sets differ
        in length.

    Examples
    --------
    >>> from tessarine.protein import kabsch_rmsd
    >>> kabsch_rmsd([(0, 0, 0), (1, 0, 0)], [(0, 0, 0), (2, 0, 0)])
    0.5
    >>> import numpy as np
    >>> square = np.array([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)])
    >>> round(kabsch_rmsd(square, square[:, [1, 0, 2]] * [-1, 1, 1] + 5), 12)  # turned and moved
    0.0
    """
    pa = _common.array(a, (None, 3), "a", finite=False)
    pb = _common.array(b, (None, 3), "b", finite=False)
    if len(pa) != len(pb):
        raise ValueError(f"a and b must hold the same number of points, got {len(pa)} and {len(pb)}")
    if len(pa) == 0:
        return 0.0
    try:
        return ext.kabsch_rmsd(pa, pb)
    except ValueError:
        # A NaN or an infinity in either set makes the centroid, and so the
        # covariance, non-finite: the native call fails on it. Only then is it
        # worth the pass that names the set.
        _common.require_finite(pa, "a")
        _common.require_finite(pb, "b")
        raise


@overload
def ramachandran_region(phi: float, psi: float) -> Region: ...
@overload
def ramachandran_region(phi: ArrayLike, psi: ArrayLike) -> NDArray[np.str_]: ...


def ramachandran_region(phi: ArrayLike, psi: ArrayLike) -> Region | NDArray[np.str_]:
    """The Ramachandran region of backbone torsions (φ, ψ) in degrees.

    The first region whose closed intervals hold the pair: "alpha_helix" (φ
    -100..-30, ψ -80..-10), "beta_sheet" (φ -180..-90, ψ 90..180),
    "left_alpha" (φ 30..90, ψ 0..90), "polyproline_ii" (φ -90..-30, ψ
    110..180), else "other". Angles are not wrapped.

    Parameters
    ----------
    phi, psi : float or array_like
        Numbers, or arrays broadcast together.

    Returns
    -------
    str or numpy.ndarray of str
        A str for two numbers, else an array of the broadcast shape.

    Examples
    --------
    >>> from tessarine.protein import ramachandran_region
    >>> ramachandran_region(-60, -45)
    'alpha_helix'
    >>> ramachandran_region([-120, 60, 0], [130, 45, 0]).tolist()
    ['beta_sheet', 'left_alpha', 'other']
    """
    if isinstance(phi, (int, float)) and isinstance(psi, (int, float)):
        return cast("Region", core.py_ramachandran_region(phi, psi))
    import numpy as np
    try:
        phis, psis = np.broadcast_arrays(np.asarray(phi, dtype=np.float64), np.asarray(psi, dtype=np.float64))
    except (TypeError, ValueError) as exc:
        raise ValueError(f"phi and psi must be numbers or arrays of numbers of one shape: {exc}") from None
    classify = np.frompyfunc(core.py_ramachandran_region, 2, 1)
    with np.errstate(invalid="ignore"):  # a NaN compared in the core is "other", not a fault
        names = classify(phis, psis)
    regions: NDArray[np.str_] = np.asarray(names, dtype=str).reshape(phis.shape)
    return regions
