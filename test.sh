#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite; then runs the concurrency
# suites under ThreadSanitizer and the port and agent suites under AddressSanitizer.
# Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

scripts/install-deps.sh || exit 1

status=0
summaries=()

run_tree() {   # run_tree <dir> <sanitizer> <build target> <ctest label or ''>
  local dir=$1 sanitize=$2 target=$3 label=$4
  echo "=== $dir: configure and build ($target)"
  cmake -S . -B "$dir" -G Ninja -DAC_SANITIZE="$sanitize" >"$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  grep -E '^-- YARP:' "$dir.configure.log" || true
  cmake --build "$dir" --target "$target" -j "$jobs" || return 1
  echo "=== $dir: ctest ${label:+-L $label}"
  local log="$dir/ctest.log"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" ${label:+-L "$label"}) 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  summaries+=("[$dir] $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
  return "$rc"
}

mkdir -p build build-tsan build-asan
run_tree build "" all "" || status=1
# TSan needs a fixed memory layout on kernels with high mmap randomisation.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=0 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
run_tree build-tsan thread concurrency_tests concurrency || status=1
run_tree build-asan address asan_tests asan || status=1

echo
echo "=== Summary"
for s in "${summaries[@]}"; do echo "$s"; done
exit $status
