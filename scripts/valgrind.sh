#!/usr/bin/env bash
# Runs every function of the native core once on each of its success and
# failure paths (tests/exercise.py) under valgrind memcheck, and fails on any
# invalid access, use of uninitialised memory or definite leak that the
# interpreter's own suppressions (scripts/valgrind.supp) do not cover.
# Reuses .venv from `scripts/dev.sh test` when it holds the package; otherwise
# builds it the same way first. About 15 s on top of an existing build.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/setup_lib.sh
require_debian_packages valgrind

if ! .venv/bin/python -c 'import tessarine._tessarine_core' 2>/dev/null; then
  bash scripts/dev.sh setup
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$SECONDS
status=0
PYTHONMALLOC=malloc valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
  --error-exitcode=1 --suppressions=scripts/valgrind.supp --num-callers=40 --log-file="$log" \
  .venv/bin/python tests/exercise.py 1 || status=$?
grep -E 'definitely lost:|indirectly lost:|possibly lost:|ERROR SUMMARY' "$log" | sed 's/^==[0-9]*== *//'
echo "valgrind run: $((SECONDS - start)) s"
if [ "$status" != 0 ]; then
  cat "$log"
  echo "valgrind: errors (see above)" >&2
fi
exit "$status"
