#!/usr/bin/env bash
# Static checks of the native core and its stubs; exits non-zero on any finding.
#   1. clang-format-14 --dry-run --Werror over every C++ file (.clang-format)
#   2. clang-tidy-14 over src/ and tests/cpp/ (.clang-tidy; every finding is an error)
#   3. cppcheck over src/ (cppcheck-suppressions.txt)
#   4. mypy's stubtest of the stubs of the two native modules against the built modules
# Reuses .venv and build/py of `scripts/dev.sh test` when present, else builds them.
# Takes about 5 minutes on 2 cores, nearly all of it clang-tidy.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# Debian tools (only as root, only what is missing).
source scripts/setup_lib.sh
require_debian_packages clang-tidy-14 clang-format-14 cppcheck

# The built module, its compile commands and mypy.
if ! .venv/bin/python -c 'import tessarine._tessarine_core, mypy.stubtest' 2>/dev/null ||
   [ ! -f build/py/compile_commands.json ]; then
  bash scripts/dev.sh setup || exit 1
fi
py=.venv/bin/python
work=build/checks
mkdir -p "$work"

# The build's compile commands without the precompiled header (clang cannot
# read GCC's), for the sources of src/ and tests/cpp/.
"$py" - "$root" "$work" <<'EOF' || exit 1
import json, re, sys
root, work = sys.argv[1], sys.argv[2]
db = json.load(open(f"{root}/build/py/compile_commands.json"))
out = []
for entry in db:
    f = entry["file"]
    if not re.match(re.escape(root) + r"/(src|tests/cpp|fuzz)/.*\.cpp$", f):
        continue
    entry["command"] = re.sub(r" -Winvalid-pch| -include \S*cmake_pch\.hxx", "", entry["command"])
    out.append(entry)
json.dump(out, open(f"{work}/compile_commands.json", "w"), indent=1)
open(f"{work}/tidy_files.txt", "w").write("".join(sorted(e["file"] + "\n" for e in out)))
EOF

failed=()
report() {  # name, start time, status
  local took
  took=$(awk -v s="$2" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')
  if [ "$3" = 0 ]; then echo "== $1: clean (${took} s)"; else echo "== $1: FINDINGS (${took} s)"; failed+=("$1"); fi
}

# 1. Format.
t=$(date +%s.%N)
git ls-files -z '*.cpp' '*.h' '*.hpp' '*.cc' | xargs -0 -r clang-format-14 --dry-run --Werror
report clang-format "$t" $?

# 2. clang-tidy, two files at a time; the log of a file with findings is shown whole.
t=$(date +%s.%N)
logs=$work/tidy_logs
rm -rf "$logs"
mkdir -p "$logs"
tr '\n' '\0' <"$work/tidy_files.txt" |
  xargs -0 -r -P2 -I{} sh -c 'clang-tidy-14 -p "$1" --quiet "$2" >"$3/$(echo "$2" | tr / _).log" 2>&1 ||
                                echo "$2" >>"$3/failed"' _ "$work" {} "$logs"
status=0
if [ -f "$logs/failed" ]; then
  status=1
  while read -r f; do cat "$logs/$(echo "$f" | tr / _).log"; done <"$logs/failed"
fi
echo "clang-tidy: $(wc -l <"$work/tidy_files.txt") files"
report clang-tidy "$t" $status

# 3. cppcheck.
t=$(date +%s.%N)
mkdir -p "$work/cppcheck"
cppcheck --std=c++20 --language=c++ -I src --library=python -j2 -q \
  --enable=warning,performance,portability,style --inline-suppr \
  --suppressions-list=cppcheck-suppressions.txt --cppcheck-build-dir="$work/cppcheck" \
  --error-exitcode=1 src
report cppcheck "$t" $?

# 4. stubtest: the stubs in the source tree against the installed modules.
t=$(date +%s.%N)
MYPYPATH=python MYPY_CACHE_DIR=$work/mypy_cache "$py" -m mypy.stubtest tessarine._tessarine_core tessarine._tessarine_ext
report stubtest "$t" $?

if [ ${#failed[@]} -gt 0 ]; then
  echo "static checks failed: ${failed[*]}" >&2
  exit 1
fi
echo "static checks: all clean"
