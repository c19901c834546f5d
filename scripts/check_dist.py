"""Checks what a built sdist and a repaired wheel carry (run by scripts/wheel.sh).

    python scripts/check_dist.py dist/tessarine-X.tar.gz dist/tessarine-X-cp313-...whl

Both must hold the licence file of the source tree and declare it in their
metadata (a licence expression, metadata 2.4 or later); the wheel must hold
every datasheet of the sdist byte for byte, the extension with its stub and
py.typed, and ICU among the libraries bundled under tessarine.libs/. Prints
what it found; exits 1 with every fault found.
"""

from __future__ import annotations

import sys
import tarfile
import zipfile
from email.parser import BytesHeaderParser
from pathlib import Path, PurePosixPath

DATA = PurePosixPath("tessarine/data/active")


def metadata_faults(where: str, raw: bytes) -> list[str]:
    meta = BytesHeaderParser().parsebytes(raw)
    faults = []
    version = tuple(int(p) for p in str(meta.get("Metadata-Version", "0")).split("."))
    if version < (2, 4):
        faults.append(f"{where}: Metadata-Version {meta.get('Metadata-Version')} is older than 2.4")
    if meta.get("License-Expression") != "MIT":
        faults.append(f"{where}: License-Expression is {meta.get('License-Expression')!r}, not 'MIT'")
    if meta.get_all("License-File") != ["LICENSE"]:
        faults.append(f"{where}: License-File is {meta.get_all('License-File')!r}, not ['LICENSE']")
    return faults


def main(sdist_path: str, wheel_path: str) -> int:
    licence = Path("LICENSE").read_bytes()
    faults: list[str] = []

    with tarfile.open(sdist_path) as sdist:
        files = {PurePosixPath(m.name): m for m in sdist.getmembers() if m.isfile()}
        top = PurePosixPath(Path(sdist_path).name.removesuffix(".tar.gz"))

        def read(rel: str) -> bytes | None:
            member = files.get(top / rel)
            return sdist.extractfile(member).read() if member else None  # type: ignore[union-attr]

        if read("LICENSE") != licence:
            faults.append("sdist: LICENSE is missing or differs from the tree's")
        faults += metadata_faults("sdist PKG-INFO", read("PKG-INFO") or b"")
        sheets = {
            p.relative_to(top / "python"): read(str(p.relative_to(top)))
            for p in files
            if p.is_relative_to(top / "python" / DATA) and p.suffix == ".json"
        }

    with zipfile.ZipFile(wheel_path) as wheel:
        names = set(wheel.namelist())
        info = next(n.split("/")[0] for n in names if n.split("/")[0].endswith(".dist-info"))
        if f"{info}/licenses/LICENSE" not in names or wheel.read(f"{info}/licenses/LICENSE") != licence:
            faults.append("wheel: the licence file is missing from .dist-info/licenses/ or differs from the tree's")
        faults += metadata_faults("wheel METADATA", wheel.read(f"{info}/METADATA"))
        tags = BytesHeaderParser().parsebytes(wheel.read(f"{info}/WHEEL")).get_all("Tag") or []
        if not tags or not all(t.startswith("cp313-cp313-manylinux_") for t in tags):
            faults.append(f"wheel: tags {tags} are not all cp313-cp313-manylinux_*")
        shipped = {PurePosixPath(n): n for n in names if PurePosixPath(n).is_relative_to(DATA) and n.endswith(".json")}
        if set(shipped) != set(sheets):
            faults.append(f"wheel: datasheets differ from the sdist's: {sorted(map(str, set(shipped) ^ set(sheets)))[:10]}")
        faults += [f"wheel: {p} differs from the sdist's" for p in shipped if p in sheets and wheel.read(shipped[p]) != sheets[p]]
        for needed in ("tessarine/__init__.py", "tessarine/_tessarine_core.pyi", "tessarine/py.typed"):
            if needed not in names:
                faults.append(f"wheel: {needed} is missing")
        if not any(n.startswith("tessarine/_tessarine_core.cpython-313") and n.endswith(".so") for n in names):
            faults.append("wheel: the extension module is missing")
        bundled = sorted(n.split("/", 1)[1] for n in names if n.startswith("tessarine.libs/") and not n.endswith("/"))
        if not any(b.startswith("libicuuc") for b in bundled) or not any(b.startswith("libicudata") for b in bundled):
            faults.append(f"wheel: ICU is not among the bundled libraries {bundled}")

    print(f"dist check: {len(sheets)} datasheets in the sdist and the wheel; licence and metadata in both; "
          f"tags {', '.join(tags)}; bundled: {', '.join(bundled) or 'nothing'}")
    for fault in faults:
        print(f"dist check: {fault}", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
