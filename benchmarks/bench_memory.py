"""Peak memory of each exporter against the size of what it writes.

    .venv/bin/python benchmarks/bench_memory.py [--n 256] [--only stl obj ...] [--dir DIR]

Every exporter runs in a fresh interpreter on a grid of n x n x n voxels of a
two-phase alloy (1 mm voxels, the core's functions). The child reads its peak
resident size (ru_maxrss) after loading the module and again after the call;
the difference is the call's peak growth. Files go to a temporary directory
on disk (--dir, by default beside the system's temporary files: choose a
disk, not a tmpfs, since a tmpfs counts the file itself as memory). Not part
of run_all.py: at 256^3 the ASCII STL alone writes about 12 GB.
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

ALLOY = "DuplexSteel2205"
VOXEL = 0.001

CALLS = {
    "stl": "core.py_export_stl(ALLOY, str(d / 'x.stl'), BOX, VOXEL)",
    "stl_ascii": "core.py_export_stl(ALLOY, str(d / 'x.stl'), BOX, VOXEL, None, False)",
    "obj": "core.py_export_obj(ALLOY, str(d / 'x.obj'), BOX, VOXEL)",
    "vtk": "core.py_export_vtk_legacy(ALLOY, str(d / 'x.vtk'), BOX, VOXEL, ['Density_kg_m3'])",
    "raw": "core.py_export_sdf_raw(ALLOY, str(d / 'x.raw'), BOX, VOXEL)",
}

CHILD = """
import json, resource, sys, time
from pathlib import Path
import tessarine._tessarine_core as core
ALLOY, VOXEL, n, d = {alloy!r}, {voxel!r}, {n}, Path({dir!r})
BOX = ((0.0, 0.0, 0.0), (n * VOXEL,) * 3)
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
{call}
seconds = time.perf_counter() - start
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
size = sum(p.stat().st_size for p in d.iterdir())
print(json.dumps({{"growth": (after - before) * 1024, "bytes": size, "seconds": seconds}}))
"""


def measure(name: str, n: int, base: Path) -> dict:
    with tempfile.TemporaryDirectory(dir=base, prefix="tessarine-memory-") as tmp:
        code = CHILD.format(alloy=ALLOY, voxel=VOXEL, n=n, dir=tmp, call=CALLS[name])
        proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
        return json.loads(proc.stdout)


def filesystem_of(path: Path) -> str:
    best = ("", "?")
    for line in Path("/proc/mounts").read_text().splitlines():
        fields = line.split()
        mount, kind = fields[1], fields[2]
        if str(path.resolve()).startswith(mount) and len(mount) > len(best[0]):
            best = (mount, kind)
    return best[1]


def megabytes(size: float) -> str:
    return f"{size / 1e6:,.0f} MB"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--n", type=int, default=256, help="voxels per axis")
    parser.add_argument("--only", nargs="+", choices=list(CALLS), help="run only these exporters")
    parser.add_argument("--dir", type=Path, default=Path(tempfile.gettempdir()), help="where files are written")
    args = parser.parse_args()
    kind = filesystem_of(args.dir)
    if kind == "tmpfs":
        print(f"warning: {args.dir} is a tmpfs; pass --dir on a disk", file=sys.stderr)
    print(f"{args.n}^3 voxels of {ALLOY}, 1 mm; files in {args.dir} ({kind})\n")
    print("| exporter | file size | peak growth | growth / size | time |")
    print("|---|---:|---:|---:|---:|")
    for name in args.only or list(CALLS):
        r = measure(name, args.n, args.dir)
        print(f"| {name} | {megabytes(r['bytes'])} | {megabytes(r['growth'])} | {r['growth'] / r['bytes']:.3f} | "
              f"{r['seconds']:.2f} s |", flush=True)


if __name__ == "__main__":
    main()
