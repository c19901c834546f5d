"""The command line: output, exit status and one-line errors."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

SCRIPT = Path(sys.executable).with_name("tessarine")
BOX = ["--box", "0", "0", "0", "0.003", "0.002", "0.001", "--voxel", "0.001"]


def run(args: list[str], cwd: Path, module: bool = True) -> subprocess.CompletedProcess[str]:
    command = [sys.executable, "-m", "tessarine"] if module else [str(SCRIPT)]
    return subprocess.run(command + args, cwd=cwd, capture_output=True, text=True, timeout=120)


CASES = [
    (["get", "copper"], 0, lambda out: json.loads(out)["Name"] == "Copper"),
    (["get", "s", "--tier", "amino_acids"], 0, lambda out: json.loads(out)["Name"] == "Serine"),
    (["tiers"], 0, lambda out: out.split()[:2] == ["subatomic", "atom"]),
    (["names", "--tier", "subatomic"], 0, lambda out: out.split() == ["Electron", "Neutron", "Proton"]),
    (["sample", "DuplexSteel2205", "YoungsModulus_GPa", "--at", "0.0005", "0.0002", "0.0002", "--scale", "0.001"], 0,
     lambda out: out == "210.0\n"),
    (["export", "obj", "steel", *BOX], 0, lambda out: out.split() == ["Steel.obj", "Steel.mtl"]),
    (["export", "stl", "steel", *BOX, "--ascii", "-o", "d/s.stl"], 0, lambda out: out == "d/s.stl\n"),
    (["export", "vtk", "steel", *BOX, "--property", "Density_kg_m3"], 0, lambda out: out == "Steel.vtk\n"),
    (["export", "raw", "duplex stainless steel", *BOX, "--mode", "occupancy"], 0,
     lambda out: out == "DuplexSteel2205.raw\n"),
    (["export", "glsl", "steel"], 0, lambda out: "SampleMaterial_Steel" in out),
    (["export", "hlsl", "steel", "--property", "Density_kg_m3"], 0, lambda out: out == "Steel.hlsl\n"),
    (["bake", "DuplexSteel2205", "Density_kg_m3", "--box", "0", "0", "0", "0.002", "0.002", "0.001",
      "--grid", "2", "2", "1", "--threshold", "0"], 0, lambda out: len(json.loads(out)["coefficients"]) == 4),
    (["alloy", "--base", "iron", "--target", "CorrosionResistance_index:4::10", "--target", "Density_kg_m3::8100",
      "--candidates", "2000", "--top", "2", "--seed", "1"], 0, lambda out: len(json.loads(out)) == 2),
    (["get", "Steal"], 1, "no datasheet named 'Steal'; did you mean 'Steel'?"),
    (["sample", "steel", "density"], 1, "Steel has no numeric property 'density'; did you mean 'Density_kg_m3'?"),
    (["get", "Fe", "--tier", "metals"], 1, "unknown tier 'metals'"),
    (["export", "raw", "steel", *BOX[:-1], "-1"], 1, "voxel_size must be positive"),
    (["export", "stl", "steel"], 1, "--box X0 Y0 Z0 X1 Y1 Z1 is required"),
    (["export", "raw", "steel", *BOX, "-o", "missing/v.raw"], 1,
     "[Errno 2] No such file or directory: 'missing/v.raw'"),
    (["alloy", "--base", "Fe", "--target", "Density_kg_m3:x"], 1, "min_value 'x' is not a number"),
    (["export", "stl", "steel", "--voxel", "fine"], 1, "argument --voxel: invalid float value: 'fine'"),
    ([], 1, "the following arguments are required: COMMAND"),
]  # fmt: skip


@pytest.mark.parametrize("args, status, expect", CASES, ids=[" ".join(c[0])[:50] for c in CASES])
def test_commands(args, status, expect, tmp_path: Path) -> None:
    proc = run(args, tmp_path)
    assert proc.returncode == status, proc.stderr
    if status == 0:
        assert expect(proc.stdout), proc.stdout
        assert proc.stderr == ""
        for written in proc.stdout.split() if args[0] == "export" and args[1] != "glsl" else []:
            assert (tmp_path / written).stat().st_size > 0
    else:
        assert proc.stdout == ""
        assert proc.stderr.count("\n") == 1 and "Traceback" not in proc.stderr, proc.stderr
        assert expect in proc.stderr


def test_help_of_every_command_and_the_console_script(tmp_path: Path) -> None:
    for command in ["", "get", "tiers", "names", "sample", "export", "bake", "alloy"]:
        proc = run([command, "--help"] if command else ["--help"], tmp_path)
        assert proc.returncode == 0 and "usage: tessarine" in proc.stdout, proc.stderr
    proc = run(["get", "cu"], tmp_path, module=False)
    assert proc.returncode == 0 and json.loads(proc.stdout)["Symbol"] == "Cu"


def test_ctrl_c_exits_130(tmp_path: Path) -> None:
    command = [sys.executable, "-m", "tessarine", "alloy", "--base", "Fe", "--target", "Density_kg_m3",
               "--candidates", "1000000000"]  # fmt: skip
    # As from a terminal, even when this run's SIGINT is ignored (a background job).
    proc = subprocess.Popen(command, cwd=tmp_path, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    # Wait until it is well into the search: a second of CPU time (the import takes a fraction).
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        fields = Path(f"/proc/{proc.pid}/stat").read_text().rsplit(")", 1)[1].split()
        if (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK") >= 1.0:
            break
        time.sleep(0.05)
    proc.send_signal(signal.SIGINT)
    out, err = proc.communicate(timeout=60)
    assert proc.returncode == 130 and out == "" and err == "tessarine: interrupted\n"
