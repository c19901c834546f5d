# Sourced by scripts/sanitize.sh and scripts/fuzz.sh: installs what they need
# on a fresh machine, builds the extension with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang-14) into .venv-asan (build dir
# build/asan), and exports the environment that runs Python under them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

# 1. Debian packages (only as root, only what is missing).
source scripts/setup_lib.sh
require_debian_packages "${BUILD_PACKAGES[@]}" clang-14 libclang-rt-14-dev

# 2. Python 3.13, wherever it is installed.
find_python313

# 3. The instrumented extension in its own environment.
venv=$root/.venv-asan
if ! "$venv/bin/python" -c 'import sys; assert sys.version_info[:2] == (3, 13)' 2>/dev/null; then
  rm -rf "$venv"
  "$py" -m venv "$venv"
  "$venv/bin/python" -m pip install -q --upgrade pip
  rm -f build/asan/.installed
fi
# A reinstall through pip reconfigures and rebuilds everything, so it is
# skipped while nothing it builds from has changed since the last one.
stamp=build/asan/.installed
if [ ! -f "$stamp" ] || [ -n "$(find src python tests/cpp CMakeLists.txt pyproject.toml -newer "$stamp" -print -quit)" ]; then
  CC=clang-14 CXX=clang++-14 CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2} nice \
    "$venv/bin/python" -m pip install -q \
    -Cbuild-dir=build/asan -Ccmake.build-type=Release \
    -Ccmake.define.TESSARINE_SANITIZE=ON -Ccmake.define.TESSARINE_BUILD_TESTS=ON \
    ".[test,dev]"
  touch "$stamp"
fi

# 4. The environment of an instrumented run. The interpreter is not
# instrumented, so the runtime is preloaded; the Python allocator is the
# system's so that every object goes through the sanitizer.
asan_runtime=$(clang++-14 -print-file-name=libclang_rt.asan-x86_64.so)
[ -f "$asan_runtime" ] || { echo "no ASan runtime at $asan_runtime" >&2; exit 1; }
export TESSARINE_ASAN_RUNTIME=$asan_runtime
export TESSARINE_ASAN_PYTHON=$venv/bin/python
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0:strict_init_order=1:check_initialization_order=1:detect_odr_violation=0"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
