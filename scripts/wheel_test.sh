#!/usr/bin/env bash
# Installs the repaired wheel of dist/ (made by scripts/wheel.sh) with its test
# extra into a fresh virtual environment outside the source tree, and runs the
# whole pytest suite against it from a copy of tests/ in a temp directory, so
# that the tree's python/tessarine can never be imported. Fails unless the
# package comes from that environment and the ICU the extension resolves (ldd)
# and the test run maps is the one bundled in tessarine.libs/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
begin=$SECONDS

source scripts/setup_lib.sh
require_debian_packages "${TEST_TOOL_PACKAGES[@]}"
find_python313

shopt -s nullglob
wheels=(dist/tessarine-*-manylinux_*.whl)
if [ ${#wheels[@]} -ne 1 ]; then
  echo "wheel_test: expected one repaired wheel in dist/, found ${#wheels[@]} (run scripts/wheel.sh)" >&2
  exit 1
fi
wheel=$root/${wheels[0]}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$py" -m venv "$tmp/venv"
"$tmp/venv/bin/python" -m pip install -q "$wheel[test]"
mkdir "$tmp/run"
cp -r tests README.md "$tmp/run/"  # test_readme.py reads ../README.md
echo "wheel_test: $(basename "$wheel") installed with its test extra in $((SECONDS - begin)) s"

cat >"$tmp/run_installed.py" <<'EOF'
import re
import subprocess
import sys
from pathlib import Path

import pytest

import tessarine

venv = Path(sys.prefix).resolve()
package = Path(tessarine.__file__).resolve()
if not package.is_relative_to(venv):
    sys.exit(f"wheel_test: tessarine was imported from {package}, not from the fresh environment {venv}")
extension = Path(tessarine._tessarine_core.__file__).resolve()
bundled = extension.parent.parent / "tessarine.libs"


def icu_outside(paths: list[str]) -> list[str]:
    icu = [Path(p).resolve() for p in paths if "libicu" in Path(p).name]
    return [str(p) for p in icu if p.parent != bundled] if icu else ["no ICU at all"]


ldd = subprocess.run(["ldd", extension], capture_output=True, text=True, check=True).stdout
print(f"== ldd {extension}\n{ldd}", end="")
wrong = icu_outside(re.findall(r"=> (/\S+)", ldd))
if "not found" in ldd or wrong:
    sys.exit(f"wheel_test: the extension does not resolve ICU from {bundled} alone: {wrong or 'not found'}")

code = pytest.main(["-q", "-ra", "-p", "no:cacheprovider", "--rootdir", ".", "tests"])

if sys.modules["tessarine"].__file__ != tessarine.__file__:
    sys.exit("wheel_test: the test run imported another tessarine")
with open("/proc/self/maps", encoding="utf-8") as maps:
    wrong = icu_outside([line.split()[-1] for line in maps if "/" in line])
if wrong:
    sys.exit(f"wheel_test: the test run mapped an ICU other than the bundled one: {wrong}")
print(f"wheel_test: tessarine from {package.parent}; ICU from {bundled}")
sys.exit(code)
EOF
cd "$tmp/run"
env -u PYTHONPATH "$tmp/venv/bin/python" "$tmp/run_installed.py"
echo "wheel_test: the suite passed against the installed wheel in $((SECONDS - begin)) s"
