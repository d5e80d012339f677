#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite on the bundled YARP layer; then
# runs the concurrency suites under ThreadSanitizer and the port and agent suites under
# AddressSanitizer. When CMake finds an installed YARP (YARP_DIR, CMAKE_PREFIX_PATH or a
# standard prefix), or build-yarp/ was configured with one before, every suite also runs on it
# in build-yarp/, each against a private name server. Exits non-zero on any failure.
# AC_SKIP_SYSTEM_YARP=1 leaves the installed YARP out.
set -uo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

scripts/install-deps.sh || exit 1

status=0
summaries=()
counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
scripts/ccache-report.sh snapshot "$counts"

run_tree() {   # run_tree <dir> <YARP> <sanitizer> <build target> <ctest label or ''>
  local dir=$1 yarp=$2 sanitize=$3 target=$4 label=$5
  echo "=== $dir: configure and build ($target)"
  mkdir -p "$dir"
  cmake -S . -B "$dir" -G Ninja -DAGENT_CONTROLLER_YARP="$yarp" -DAC_SANITIZE="$sanitize" \
      >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  grep -E '^-- YARP:' "$dir.configure.log" || true
  cmake --build "$dir" --target "$target" -j "$jobs" || return 1
  echo "=== $dir: ctest ${label:+-L $label}"
  local log="$dir/ctest.log"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" ${label:+-L "$label"}) 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  summaries+=("[$dir] $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
  return "$rc"
}

run_tree build BUNDLED "" all "" || status=1
# TSan needs a fixed memory layout on kernels with high mmap randomisation.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=0 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"
run_tree build-tsan BUNDLED thread concurrency_tests concurrency || status=1
run_tree build-asan BUNDLED address asan_tests asan || status=1

# The installed YARP, when there is one. Its libraries are not built with the sanitizers, so
# only the plain tree runs there.
if [ "${AC_SKIP_SYSTEM_YARP:-0}" = 1 ]; then
  echo "=== build-yarp: skipped (AC_SKIP_SYSTEM_YARP=1)"
  summaries+=("[build-yarp] skipped: AC_SKIP_SYSTEM_YARP=1")
elif grep -qs '^AC_YARP_CHOICE:INTERNAL=SYSTEM' build-yarp/CMakeCache.txt || found=$(scripts/find-yarp.sh); then
  [ -n "${found:-}" ] && echo "=== build-yarp: CMake finds YARP ${found}"
  unset TSAN_OPTIONS ASAN_OPTIONS UBSAN_OPTIONS
  if run_tree build-yarp SYSTEM "" all ""; then :; else status=1; fi
  if [ -s build-yarp/bundled-only-suites.txt ]; then
    echo "=== build-yarp: suites that check the bundled layer itself, skipped here:"
    sed 's/^/    /' build-yarp/bundled-only-suites.txt
  fi
else
  echo "=== build-yarp: skipped: CMake finds no installed YARP (to test against one, make it"
  echo "    findable with YARP_DIR=<prefix>/lib/cmake/YARP or CMAKE_PREFIX_PATH=<prefix>)"
  summaries+=("[build-yarp] skipped: no installed YARP found")
fi

echo
echo "=== Summary"
for s in "${summaries[@]}"; do echo "$s"; done
scripts/ccache-report.sh report "$counts"
exit $status
