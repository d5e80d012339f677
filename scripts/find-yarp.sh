#!/usr/bin/env bash
# Does CMake find an installed YARP (>= 3.8) with this environment (YARP_DIR,
# CMAKE_PREFIX_PATH, the standard prefixes)? Prints "<version> <YARP_DIR>" and exits 0 when it
# does, exits 1 otherwise. Configures a probe project in a temporary directory (about a second).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
probe=$(mktemp -d "${TMPDIR:-/tmp}/ac-probe-yarp-XXXXXX") || exit 1
trap 'rm -rf "$probe"' EXIT
extra=()
[ -n "${YARP_DIR:-}" ] && extra+=("-DYARP_DIR=$YARP_DIR")
if cmake -S "$here/cmake/probe-yarp" -B "$probe" "${extra[@]}" >"$probe.log" 2>&1; then
  sed -n 's/^-- AC_PROBE_YARP //p' "$probe.log"
  rm -f "$probe.log"
  exit 0
fi
rm -f "$probe.log"
exit 1
