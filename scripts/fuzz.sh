#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ (clang-14, ASan+UBSan) and the
# instrumented extension (scripts/asan_env.sh), then runs each harness (three
# C++, two atheris) for FUZZ_SECONDS (default 60) from its committed corpus,
# two at a time. Fails on any crash, sanitizer report, leak or hang, and
# prints how many inputs each run executed.
set -euo pipefail
begin=$SECONDS
source "$(dirname "$0")/asan_env.sh"
echo "fuzz: instrumented extension ready after $((SECONDS - begin)) s" >&2
seconds=${FUZZ_SECONDS:-60}
venv=$root/.venv-asan
"$venv/bin/python" -m pip install -q atheris==3.1.0 ninja

# 1. The C++ harnesses.
nice "$venv/bin/cmake" -S . -B build/fuzz -G Ninja -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Release -DTESSARINE_FUZZ=ON \
  -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
harnesses=(fuzz_json fuzz_formula fuzz_numfmt)
nice "$venv/bin/cmake" --build build/fuzz -j "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" --target "${harnesses[@]}"
echo "fuzz: harnesses built after $((SECONDS - begin)) s" >&2

# 2. For the Python harness: the sanitizer runtime and libFuzzer in one
# preloadable library, so that atheris drives the fuzzer that the runtime's
# coverage callbacks feed (atheris then uses the preloaded libFuzzer).
rt=$(dirname "$TESSARINE_ASAN_RUNTIME")
preload=$root/build/fuzz/asan_with_fuzzer.so
if [ ! -f "$preload" ]; then
  objs=$(mktemp -d)
  (cd "$objs" && ar x "$rt/libclang_rt.asan-x86_64.a" && rm -f asan_preinit.cpp.o && ar rcs asan.a ./*.o)
  clang++-14 -shared -o "$preload" -Wl,--whole-archive "$objs/asan.a" "$rt/libclang_rt.asan_cxx-x86_64.a" \
    "$rt/libclang_rt.fuzzer_no_main-x86_64.a" -Wl,--no-whole-archive -lpthread -ldl -lrt -lm -lstdc++
  rm -rf "$objs"
fi

# 3. The runs, two at a time (one per core). New inputs go to
# build/fuzz/corpus/<harness>; the committed corpus is only read. Crash inputs
# land in build/fuzz/artifacts.
mkdir -p build/fuzz/artifacts
summary=()
failed=0
start() {  # name, command...: runs in the background
  local name=$1
  shift
  mkdir -p "build/fuzz/corpus/$name"
  echo "fuzz: $name for ${seconds} s" >&2
  (
    status=0
    "$@" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/artifacts/$name-" "build/fuzz/corpus/$name" "fuzz/corpus/$name" \
      >"build/fuzz/$name.log" 2>&1 || status=$?
    echo "$status" >"build/fuzz/$name.status"
  ) &
}
finish() {  # name: after `wait`, reports the run
  local name=$1 log=build/fuzz/$1.log status execs
  status=$(cat "build/fuzz/$name.status")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" != 0 ]; then
    tail -60 "$log" >&2
    echo "fuzz: $name FAILED (exit $status); the input is in build/fuzz/artifacts, the log in $log" >&2
    failed=1
  else
    summary+=("$name: ${execs:-?} inputs in ${seconds} s, clean")
  fi
}
export UBSAN_OPTIONS ASAN_OPTIONS LSAN_OPTIONS
cxx() {  # harness: its command line
  local dict=()
  [ -f "fuzz/$1.dict" ] && dict=(-dict="fuzz/$1.dict")
  start "$1" nice "build/fuzz/fuzz/$1" "${dict[@]}"
}
cxx fuzz_json
cxx fuzz_formula
wait
finish fuzz_json
finish fuzz_formula
cxx fuzz_numfmt
# Leak checking stays with scripts/sanitize.sh for the interpreter: per-input
# leak checks cannot tell the interpreter's caches from leaks.
python_harness() {  # harness: runs fuzz/<harness>.py under the instrumented extension
  local dict=()
  [ -n "${2:-}" ] && dict=(-dict="$2")
  start "$1" env ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" LD_PRELOAD="$preload" PYTHONMALLOC=malloc \
    nice "$venv/bin/python" "fuzz/$1.py" "${dict[@]}"
}
python_harness fuzz_python
wait
finish fuzz_numfmt
finish fuzz_python
python_harness fuzz_save_json fuzz/fuzz_json.dict
wait
finish fuzz_save_json
if [ "$failed" != 0 ]; then exit 1; fi
printf 'fuzz: %s\n' "${summary[@]}"
echo "fuzz: done in $((SECONDS - begin)) s"
