"""Odd entry, phase and property names in every written file, read back by the
tools people open the files with; the shader source of every shipped datasheet
compiles with glslang."""

from __future__ import annotations

import os
import re
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest
import trimesh
from stl import mesh as stl_mesh

import tessarine._tessarine_core as core
from test_export_volume import read_vtk

PACKAGES = {"glslangValidator": "glslang-tools", "assimp": "assimp-utils", "admesh": "admesh"}

# Controls, a live preprocessor line, line separators and a final backslash.
HOMOGENEOUS = "Odd\n#error injected\r\u2028x\u0085\tY \\"
MULTI = "two phase # \x00\\"
PROPS = {"Density kg/m3": 7850.0, "a.b": 1.5, "2x": 2.0, "ρ x": 3.0, 'q"%\t': 4.0, "float": 5.0,
         "PhaseId": 6.0, "b": 7.0, "b_2": 8.0, "": 9.0, "Y" * 300: 10.0}
PHASES = ["a b", "a_b", "#", "", "é\u00a0\u2028", "ferrite"]
BOX = ((0.0, 0.0, 0.0), (0.008, 0.008, 0.004))


def tool(name: str) -> str:
    path = shutil.which(name)
    if path is None:
        pytest.fail(f"{name} is missing: install the Debian package {PACKAGES[name]} (scripts/dev.sh test does)")
    return path


def run(*args: str) -> str:
    # The tools are not built with the sanitizers a test run may preload.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    proc = subprocess.run(args, capture_output=True, text=True, timeout=120, env=env)
    assert proc.returncode == 0, f"{args[0]} failed:\n{proc.stdout}\n{proc.stderr}"
    return proc.stdout


def glslang_glsl(tmp: Path, functions: list[str], calls: list[str]) -> None:
    """Compiles GLSL functions inside a #version 450 fragment shader that calls each."""
    body = "".join(f"\tacc += {c}(vec3(0.0), 1.0);\n" for c in calls)
    src = tmp / "all.frag"
    src.write_text("#version 450\n" + "".join(functions) + f"\nvoid main() {{\n\tvec4 acc = vec4(0.0);\n{body}}}\n")
    run(tool("glslangValidator"), "-V", str(src), "-o", str(tmp / "frag.spv"))


def glslang_hlsl(tmp: Path, sources: list[str], types: list[str]) -> None:
    """Compiles HLSL sources with glslang's HLSL front end and a main calling each Sample<ident>At."""
    body = "".join(f"\t{{ {t} s = {t}At(pos.xyz, 1.0); acc += s.PhaseId; }}\n" for t in types)
    src = tmp / "all.hlsl"
    src.write_text("".join(sources) + "\nfloat4 main(float4 pos : SV_Position) : SV_Target {\n\tfloat acc = 0.0;\n"
                   + body + "\treturn float4(acc, 0.0, 0.0, 1.0);\n}\n")
    run(tool("glslangValidator"), "-D", "-V", "-S", "frag", "-e", "main", str(src), "-o", str(tmp / "hlsl.spv"))


def ident(name: str) -> str:
    out = re.sub(r"[^A-Za-z0-9]", "_", name)
    return "_" + out if out[0].isdigit() else out


def assimp_info(path: Path) -> dict[str, object]:
    out = run(tool("assimp"), "info", str(path))
    counts = {k: int(v) for k, v in re.findall(r"^(Meshes|Materials|Faces):\s+(\d+)$", out, re.M)}
    named = out.split("Named Materials:")[1].split("Node hierarchy:")[0]
    return counts | {"materials": re.findall(r"^    '(.*)' \(prop\)", named, re.M)}


def test_shipped_datasheets_shaders_compile(tmp_path: Path) -> None:
    data = Path(core.__file__).parent / "data" / "active"
    names = sorted({p.stem for p in data.glob("*/*.json")})
    assert names
    # One translation unit per kind; an identifier shared by two names goes to another.
    batches: list[dict[str, str]] = []
    for name in names:
        batch = next((b for b in batches if ident(name) not in b), None)
        if batch is None:
            batches.append(batch := {})
        batch[ident(name)] = name
    for i, batch in enumerate(batches):
        (tmp := tmp_path / str(i)).mkdir()
        glslang_glsl(tmp, [core.py_export_glsl(n) for n in batch.values()],
                     [f"SampleMaterial_{k}" for k in batch])
        hlsl = [Path(core.py_export_hlsl(n, str(tmp / f"{k}.hlsl"))).read_text() for k, n in batch.items()]
        glslang_hlsl(tmp, hlsl, [f"Sample{k}" for k in batch])


def test_odd_names_in_every_file(throwaway, tmp_path: Path) -> None:
    throwaway.run(
        f"""
        import json
        import tessarine._tessarine_core as core
        props, phases = {PROPS!r}, {PHASES!r}
        core.py_save({HOMOGENEOUS!r}, json.dumps(props), "alloy")
        core.py_save({MULTI!r}, json.dumps({{
            "phase_model": "voronoi",
            "phase_volume_fractions": {{p: 1 for p in phases}},
            "phase_properties": {{p: {{"x": 1}} for p in phases}}}}), "alloy")
        box, v = {BOX!r}, 0.001
        open("out.glsl", "w").write(core.py_export_glsl({HOMOGENEOUS!r}))
        core.py_export_hlsl({HOMOGENEOUS!r}, "out.hlsl")
        core.py_save("rState", "{{}}", "alloy")  # Sample + rState is a type of HLSL
        core.py_export_hlsl("rState", "r.hlsl")
        core.py_export_hlsl({HOMOGENEOUS!r}, "listed.hlsl", ["b", "b", "b_2", "return", "PhaseId", "a.b"])
        core.py_export_vtk_legacy({HOMOGENEOUS!r}, "out.vtk", box, v, [p for p in props if p])
        for tag, name in (("one", {HOMOGENEOUS!r}), ("two", {MULTI!r})):
            core.py_export_obj(name, tag + ".obj", box, v, 0.002)
            core.py_export_stl(name, tag + ".stl", box, v, 0.002)
            core.py_export_stl(name, tag + "_ascii.stl", box, v, 0.002, False)
        """
    )
    out = throwaway.base

    # Shaders: no injected line, no comment running into the next line.
    glsl = (out / "out.glsl").read_text()
    assert "\n#error" not in glsl and glsl.splitlines()[0].endswith("Y \\ ")
    glslang_glsl(tmp_path, [glsl], [f"SampleMaterial_{ident(HOMOGENEOUS)}"])
    for i, f in enumerate(["out.hlsl", "listed.hlsl"]):
        (tmp := tmp_path / f"hlsl{i}").mkdir()
        hlsl = [(out / f).read_text(), (out / "r.hlsl").read_text()]
        glslang_hlsl(tmp, hlsl, [f"Sample{ident(HOMOGENEOUS)}", "SamplerState_2"])
    listed = (out / "listed.hlsl").read_text()
    assert "\tfloat b;\n\tfloat b_2;\n\tfloat b_2_2;\n\tfloat return_2;\n\tfloat PhaseId_2;\n\tfloat a_b;\n" in listed

    # VTK: the title stays one line; vtk decodes each array name back.
    blanked = re.sub("[\x00-\x1f\x7f-\x9f\u2028\u2029]", " ", HOMOGENEOUS)
    lines = (out / "out.vtk").read_bytes().split(b"\n")
    assert lines[1].decode() == "tessarine " + blanked and lines[2] == b"ASCII"
    _, _, _, arrays = read_vtk(out / "out.vtk")
    expected = {(p if len(p) < 256 else p[:255]): v for p, v in PROPS.items() if p}
    assert set(arrays) == {"phase_id"} | set(expected)
    for p, v in expected.items():
        np.testing.assert_array_equal(arrays[p], np.full(64 * 4, v, dtype=np.float32))

    for tag, name, phases in (("one", HOMOGENEOUS, [HOMOGENEOUS]), ("two", MULTI, PHASES)):
        facets = len(stl_mesh.Mesh.from_file(str(out / f"{tag}.stl")).vectors)
        # ASCII STL: one solid line each way; numpy-stl and admesh count every facet.
        ascii_stl = out / f"{tag}_ascii.stl"
        text = ascii_stl.read_text()
        solid = re.sub("[\x00-\x1f\x7f-\x9f\u2028\u2029]", " ", name)
        assert text.startswith(f"solid {solid}\n  facet") and text.endswith(f"\nendsolid {solid}\n")
        assert len(stl_mesh.Mesh.from_file(str(ascii_stl)).vectors) == facets
        assert re.search(rf"^Number of facets\s+:\s+{facets}\s", run(tool("admesh"), str(ascii_stl)), re.M)

        # OBJ/MTL: one material per phase for trimesh and assimp alike.
        obj_text = (out / f"{tag}.obj").read_text()
        used = re.findall(r"^usemtl (.*)$", obj_text, re.M)
        mtl = trimesh.exchange.obj.parse_mtl((out / f"{tag}.mtl").read_bytes())
        assert len(mtl) == len(phases) and set(used) <= set(mtl) and len(set(used)) == len(used)
        scene = trimesh.load(str(out / f"{tag}.obj"), process=False, force="scene")
        assert sorted(g.visual.material.name for g in scene.geometry.values()) == sorted(used)
        assert sum(len(g.faces) for g in scene.geometry.values()) == facets
        info = assimp_info(out / f"{tag}.obj")
        assert info["Materials"] == len(phases) and sorted(info["materials"]) == sorted(mtl)
        assert info["Meshes"] == len(used) and info["Faces"] == facets
    assert "ferrite" in mtl and len(used) > 3  # safe names unchanged; most phases own faces
