"""Tour section: a two-phase alloy exported as OBJ/MTL and STL, and a picture of it."""

from __future__ import annotations

from pathlib import Path

import tessarine._tessarine_core as core

ALLOY = "DuplexSteel2205"
BOX = ((0.0, 0.0, 0.0), (0.012, 0.012, 0.012))  # metres
VOXEL = 0.001
GRAIN = 0.002  # phase cells of 2 x 2 x 2 voxels


def read_obj(obj: Path, mtl: Path) -> list[tuple[str, tuple[float, float, float], list[list[tuple[float, ...]]]]]:
    """(phase, colour, quads) per group, colours from the MTL's Kd lines."""
    colours: dict[str, tuple[float, float, float]] = {}
    phase = ""
    for line in mtl.read_text().splitlines():
        if line.startswith("newmtl "):
            phase = line[7:]
        elif line.startswith("Kd "):
            r, g, b = (float(x) for x in line.split()[1:])
            colours[phase] = (r, g, b)
    vertices: list[tuple[float, ...]] = []
    groups: list[tuple[str, tuple[float, float, float], list[list[tuple[float, ...]]]]] = []
    for line in obj.read_text().splitlines():
        if line.startswith("v "):
            vertices.append(tuple(float(x) * 1000 for x in line.split()[1:]))  # in mm
        elif line.startswith("usemtl "):
            groups.append((line[7:], colours[line[7:]], []))
        elif line.startswith("f "):
            groups[-1][2].append([vertices[int(i) - 1] for i in line.split()[1:]])
    return groups


def tour_export_surface(out: Path) -> None:
    out.mkdir(parents=True, exist_ok=True)
    obj, mtl = core.py_export_obj(ALLOY, str(out / "duplex.obj"), BOX, VOXEL, GRAIN)
    stl = core.py_export_stl(ALLOY, str(out / "duplex.stl"), BOX, VOXEL, GRAIN)
    ascii_stl = core.py_export_stl(ALLOY, str(out / "duplex_ascii.stl"), BOX, VOXEL, GRAIN, binary=False)
    print(f"{ALLOY}: wrote {obj} + {mtl}, {stl} (binary) and {ascii_stl} (ASCII)")

    groups = read_obj(Path(obj), Path(mtl))
    for phase, colour, quads in groups:
        print(f"  {phase:<10} {len(quads):6d} faces, colour {colour}")

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch, Polygon
    from mpl_toolkits.mplot3d.art3d import Poly3DCollection

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

    # The bottom of the box: each face at z = 0 shows the phase below it.
    ax2 = fig.add_subplot(1, 2, 2)
    for _phase, colour, quads in groups:
        for q in quads:
            if all(abs(v[2]) < 1e-9 for v in q):
                ax2.add_patch(Polygon([(v[0], v[1]) for v in q], facecolor=colour, edgecolor="white", lw=0.3))
    ax2.set(xlim=(0, size), ylim=(0, size), xlabel="x (mm)", ylabel="y (mm)", aspect="equal")
    ax2.set_title("Phases on the face z = 0")
    ax2.legend(handles=[Patch(color=c, label=p) for p, c, _ in groups], loc="upper right", framealpha=0.9)
    fig.suptitle(f"{ALLOY}: voronoi phases, {GRAIN * 1000:g} mm cells, {VOXEL * 1000:g} mm voxels")
    fig.tight_layout()
    fig.savefig(out / "microstructure.png", dpi=120)
    plt.close(fig)
    print(f"  picture: {out / 'microstructure.png'}")


if __name__ == "__main__":
    tour_export_surface(Path("out"))
