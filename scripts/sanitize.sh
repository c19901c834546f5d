#!/usr/bin/env bash
# Builds the extension and the C++ tests with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang-14, build dir build/asan, environment
# .venv-asan) and runs the pytest suite and the GoogleTest binary under them.
# Any sanitizer report fails the run; so does a leak of the module's own heap.
set -euo pipefail
begin=$SECONDS
source "$(dirname "$0")/asan_env.sh"
require_debian_packages "${TEST_TOOL_PACKAGES[@]}"
start=$SECONDS

# Subprocess interpreters of the tests inherit this environment, so they run
# instrumented too.
LD_PRELOAD=$TESSARINE_ASAN_RUNTIME PYTHONMALLOC=malloc nice "$TESSARINE_ASAN_PYTHON" -m pytest -q -p no:cacheprovider tests
nice build/asan/tessarine_core_tests --gtest_brief=1
echo "sanitize: pytest and GoogleTest clean under ASan+UBSan in $((SECONDS - start)) s, $((SECONDS - begin)) s with the build"
