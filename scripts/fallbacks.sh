#!/usr/bin/env bash
# Builds the extension and the C++ tests with clang-14 and none of the
# optional system interfaces (TESSARINE_FALLBACKS_ONLY: /dev/urandom instead of
# getrandom and getentropy, std::filesystem listings instead of openat, no
# blocks allocated ahead of writes, strerror instead of strerror_r, /proc told
# by its path, physical memory unknown), into build/fallbacks and .venv-fallbacks,
# then runs the pytest suite and the GoogleTests against that build: the
# portable paths other systems take, run here.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
begin=$SECONDS

source scripts/setup_lib.sh
require_debian_packages "${BUILD_PACKAGES[@]}" "${TEST_TOOL_PACKAGES[@]}" clang-14
find_python313

venv=$root/.venv-fallbacks
stamp=build/fallbacks/.installed
if ! "$venv/bin/python" -c 'import sys; assert sys.version_info[:2] == (3, 13)' 2>/dev/null; then
  rm -rf "$venv"
  "$py" -m venv "$venv"
  "$venv/bin/python" -m pip install -q --upgrade pip
  rm -f "$stamp"
fi
# A reinstall through pip reconfigures and rebuilds everything, so it is
# skipped while nothing it builds from has changed since the last one.
if [ ! -f "$stamp" ] || [ -n "$(find src python tests/cpp CMakeLists.txt pyproject.toml -newer "$stamp" -print -quit)" ]; then
  CC=clang-14 CXX=clang++-14 CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2} nice \
    "$venv/bin/python" -m pip install -q \
    -Cbuild-dir=build/fallbacks -Ccmake.define.TESSARINE_FALLBACKS_ONLY=ON \
    -Ccmake.define.TESSARINE_BUILD_TESTS=ON ".[test,dev]"
  touch "$stamp"
fi
if grep -o 'TESSARINE_HAVE_[A-Z_]*=1' build/fallbacks/compile_commands.json | grep -qv 'UNISTD_H\|SYS_RANDOM_H'; then
  echo "fallbacks: an optional interface is still on" >&2
  exit 1
fi

start=$SECONDS
nice "$venv/bin/python" -m pytest -q -p no:cacheprovider tests
nice build/fallbacks/tessarine_core_tests --gtest_brief=1
echo "fallbacks: pytest and GoogleTest pass in $((SECONDS - start)) s, $((SECONDS - begin)) s with the build"
