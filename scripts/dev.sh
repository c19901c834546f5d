#!/usr/bin/env bash
# Sets everything up on a fresh machine, then runs the tour or the tests.
#   scripts/dev.sh tour   - build and install, then run examples/tour.py
#   scripts/dev.sh test   - build and install, then run pytest and the C++ tests
#   scripts/dev.sh setup  - build and install only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
what=${1:-}
case "$what" in tour|test|setup) ;; *) echo "usage: scripts/dev.sh tour|test|setup" >&2; exit 2;; esac

# 1. Debian development packages (only as root, only what is missing).
source scripts/setup_lib.sh
require_debian_packages "${BUILD_PACKAGES[@]}"
if [ "$what" = test ]; then
  require_debian_packages "${TEST_TOOL_PACKAGES[@]}"
fi

# 2. Python 3.13, wherever it is installed.
find_python313

# 3. A virtual environment with the package and its test, tour and dev extras.
if ! .venv/bin/python -c 'import sys; assert sys.version_info[:2] == (3, 13)' 2>/dev/null; then
  rm -rf .venv
  "$py" -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q \
  -Cbuild-dir=build/py -Ccmake.define.TESSARINE_BUILD_TESTS=ON \
  ".[test,tour,dev]"

# 4. The job.
if [ "$what" = setup ]; then
  exit 0
fi
if [ "$what" = tour ]; then
  exec .venv/bin/python examples/tour.py
fi
.venv/bin/python -m pytest -q tests
.venv/bin/ctest --test-dir build/py --output-on-failure -j2
