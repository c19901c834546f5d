"""Tour section: a two-phase alloy exported as OBJ/MTL and STL, and a picture of it."""

from __future__ import annotations

from pathlib import Path

import tessarine

ALLOY = "DuplexSteel2205"
BOX = ((0.0, 0.0, 0.0), (0.012, 0.012, 0.012))  # metres
VOXEL = 0.001
GRAIN = 0.002  # phase cells of 2 x 2 x 2 voxels

Quad = list[tuple[float, ...]]
Colour = tuple[float, float, float]


def read_obj(obj: Path, mtl: Path) -> list[tuple[str, Colour, list[Quad]]]:
    """(phase, colour, quads in mm) per group, colours from the MTL's Kd lines."""
    colours: dict[str, Colour] = {}
    phase = ""
    for line in mtl.read_text().splitlines():
        if line.startswith("newmtl "):
            phase = line[7:]
        elif line.startswith("Kd "):
            r, g, b = (float(x) for x in line.split()[1:])
            colours[phase] = (r, g, b)
    vertices: list[tuple[float, ...]] = []
    groups: list[tuple[str, Colour, list[Quad]]] = []
    for line in obj.read_text().splitlines():
        if line.startswith("v "):
            vertices.append(tuple(float(x) * 1000 for x in line.split()[1:]))
        elif line.startswith("usemtl "):
            groups.append((line[7:], colours[line[7:]], []))
        elif line.startswith("f "):
            groups[-1][2].append([vertices[int(i) - 1] for i in line.split()[1:]])
    return groups


def tour_export_surface(out: Path) -> None:
    obj, mtl = tessarine.export_obj(ALLOY, out / "duplex.obj", BOX, VOXEL, scale_m=GRAIN)
    stl = tessarine.export_stl(ALLOY, out / "duplex.stl", BOX, VOXEL, scale_m=GRAIN)
    ascii_stl = tessarine.export_stl(ALLOY, out / "duplex_ascii.stl", BOX, VOXEL, scale_m=GRAIN, binary=False)
    print(f"{ALLOY}: wrote {obj.name} + {mtl.name}, {stl.name} (binary) and {ascii_stl.name} (ASCII)")

    groups = read_obj(obj, mtl)
    for phase, colour, quads in groups:
        print(f"  {phase:<10} {len(quads):6d} faces, colour {colour}")

    # The same voxels as an array: the phase of every voxel, [iz, iy, ix].
    grid = tessarine.voxel_grid(ALLOY, BOX, VOXEL, scale_m=GRAIN)
    shares = {name: float((grid.phase_ids == i).mean()) for i, name in enumerate(grid.phase_names)}
    print(f"  voxel grid {grid.shape}: shares {', '.join(f'{n} {s:.2f}' for n, s in shares.items())}")

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.colors import ListedColormap
    from matplotlib.patches import Patch
    from mpl_toolkits.mplot3d.art3d import Poly3DCollection  # type: ignore[import-untyped]

    fig = plt.figure(figsize=(11, 5.2))
    ax3 = fig.add_subplot(1, 2, 1, projection="3d")
    # One collection, so that faces of both phases are depth-sorted together.
    faces = [q for _, _, quads in groups for q in quads]
    colours = [c for _, c, quads in groups for _ in quads]
    ax3.add_collection3d(Poly3DCollection(faces, facecolors=colours, edgecolors=(0, 0, 0, 0.25), linewidths=0.2))
    size = BOX[1][0] * 1000
    ax3.set(xlim=(0, size), ylim=(0, size), zlim=(0, size), xlabel="x (mm)", ylabel="y (mm)", zlabel="z (mm)")
    ax3.set_box_aspect((1, 1, 1))
    ax3.view_init(elev=25, azim=-55)
    ax3.set_title("Phase-boundary surface (OBJ groups)")

    # The bottom layer of voxels, from the grid.
    colour_of = dict((phase, colour) for phase, colour, _ in groups)
    ax2 = fig.add_subplot(1, 2, 2)
    ax2.imshow(grid.phase_ids[0], origin="lower", extent=(0, size, 0, size),
               cmap=ListedColormap([colour_of[p] for p in grid.phase_names]))  # fmt: skip
    ax2.set(xlabel="x (mm)", ylabel="y (mm)")
    ax2.set_title("Phases of the voxels at z = 0")
    ax2.legend(handles=[Patch(color=c, label=p) for p, c in colour_of.items()], loc="upper right", framealpha=0.9)
    fig.suptitle(f"{ALLOY}: voronoi phases, {GRAIN * 1000:g} mm cells, {VOXEL * 1000:g} mm voxels")
    fig.tight_layout()
    fig.savefig(out / "microstructure.png", dpi=120)
    plt.close(fig)
    print(f"  picture: {out / 'microstructure.png'}")


if __name__ == "__main__":
    target = Path("out")
    target.mkdir(exist_ok=True)
    tour_export_surface(target)
