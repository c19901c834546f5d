"""Type aliases shared by the public modules."""

from __future__ import annotations

import os
from typing import Any, Literal, TypeAlias

Tier: TypeAlias = Literal[
    "subatomic", "atom", "molecule", "alloy", "ceramic", "composite",
    "amino_acid", "protein", "cell", "cell_component", "nucleic_acid", "biomaterial",
]  # fmt: skip
"""The 12 tier names; tier arguments also take loose spellings such as ``"Alloys"``."""

Region: TypeAlias = Literal["alpha_helix", "beta_sheet", "left_alpha", "polyproline_ii", "other"]
"""The Ramachandran regions."""

RawMode: TypeAlias = Literal["phase", "occupancy"]
"""What a raw volume stores per voxel."""

Datasheet: TypeAlias = dict[str, Any]
"""A datasheet: a JSON object whose members depend on the entry."""

PathArg: TypeAlias = str | os.PathLike[str]
"""A file path: a str or any path-like object."""

Point: TypeAlias = tuple[float, float, float]
"""A point (x, y, z) in metres."""

Bounds: TypeAlias = tuple[Point, Point]
"""A box ((xmin, ymin, zmin), (xmax, ymax, zmax)) in metres."""
