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
need=()
for pkg in nlohmann-json3-dev libeigen3-dev libicu-dev libgtest-dev g++; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "installing ${need[*]}" >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
  else
    echo "missing Debian packages: ${need[*]} (run as root or install them)" >&2
    exit 1
  fi
fi

# 2. Python 3.13, wherever it is installed.
py=""
for cand in "${TESSARINE_PYTHON:-}" "$(command -v python3.13 2>/dev/null || true)" \
            "$HOME"/.pyenv/versions/3.13*/bin/python3.13 /usr/local/bin/python3.13 /usr/bin/python3.13; do
  if [ -n "$cand" ] && [ -x "$cand" ] && "$cand" -c 'import sys; assert sys.version_info[:2] == (3, 13)' 2>/dev/null; then
    py=$cand
    break
  fi
done
if [ -z "$py" ]; then echo "Python 3.13 not found" >&2; exit 1; fi

# 3. A virtual environment with the package and its test and tour extras.
if ! .venv/bin/python -c 'import sys; assert sys.version_info[:2] == (3, 13)' 2>/dev/null; then
  rm -rf .venv
  "$py" -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q \
  -Cbuild-dir=build/py -Ccmake.define.TESSARINE_BUILD_TESTS=ON \
  ".[test,tour]"

# 4. The job.
if [ "$what" = setup ]; then
  exit 0
fi
if [ "$what" = tour ]; then
  exec .venv/bin/python examples/tour.py
fi
.venv/bin/python -m pytest -q tests
.venv/bin/ctest --test-dir build/py --output-on-failure -j2
