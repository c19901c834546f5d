"""The store loads once per process: behaviour that depends on the data set or on import runs
in a fresh interpreter against a throw-away package (the built extension and the test's datasheets)."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import tessarine._tessarine_core as core

EXTENSION = Path(core.__file__)
# The libraries a wheel bundles beside the package, found through $ORIGIN/../tessarine.libs.
BUNDLED = EXTENSION.parent.parent / "tessarine.libs"


def copy_extension(directory: Path) -> None:
    """Copies the extension into `directory`, where it still finds the libraries bundled with it."""
    shutil.copy2(EXTENSION, directory / EXTENSION.name)
    if BUNDLED.is_dir() and not (directory.parent / BUNDLED.name).exists():
        (directory.parent / BUNDLED.name).symlink_to(BUNDLED)


class ThrowawayPackage:
    """A `tessarine` package in a temp dir, run in fresh interpreters."""

    def __init__(self, base: Path) -> None:
        self.base = base
        self.package = base / "tessarine"
        self.package.mkdir(parents=True)
        (self.package / "__init__.py").write_text("")
        copy_extension(self.package)
        self.data = self.package / "data" / "active"
        self.data.mkdir(parents=True)

    def write(self, tier: str, name: str, content: object | str | bytes) -> Path:
        """Writes ``data/active/<tier>/<name>.json``: JSON-encodes anything but str/bytes."""
        path = self.data / tier / f"{name}.json"
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, bytes):
            path.write_bytes(content)
        elif isinstance(content, str):
            path.write_text(content, encoding="utf-8")
        else:
            path.write_text(json.dumps(content), encoding="utf-8")
        return path

    def run(self, script: str, check: bool = True) -> subprocess.CompletedProcess[str]:
        """Runs `script` in a fresh interpreter that imports this package."""
        env = dict(os.environ, PYTHONPATH=str(self.base), PYTHONDONTWRITEBYTECODE="1")
        proc = subprocess.run(
            [sys.executable, "-c", textwrap.dedent(script)],
            cwd=self.base,
            env=env,
            capture_output=True,
            text=True,
            timeout=120,
        )
        if check and proc.returncode != 0:
            raise AssertionError(f"script failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}")
        return proc

    def run_json(self, script: str) -> object:
        """Runs `script`, which must print one JSON document last, and decodes it."""
        out = self.run(script).stdout.strip().splitlines()
        return json.loads(out[-1])


def run_json(script: str, *args: str, timeout: float = 120) -> object:
    """Runs `script` with `args` in a fresh interpreter, which must succeed and print one JSON document last."""
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(script), *args],
                          capture_output=True, text=True, timeout=timeout)  # fmt: skip
    assert proc.returncode == 0, proc.stderr
    return json.loads(proc.stdout.strip().splitlines()[-1])


@pytest.fixture
def throwaway(tmp_path: Path) -> ThrowawayPackage:
    return ThrowawayPackage(tmp_path / "pkg")
