#!/usr/bin/env bash
# One line on the compiler cache for a script's run.
#   scripts/ccache-report.sh snapshot FILE   records ccache's counters in FILE
#   scripts/ccache-report.sh report FILE     prints the hits and misses since the snapshot
# The counters are ccache's own (shared by every build on the machine), so a build running
# beside this one at the same time is counted too.
set -uo pipefail
mode=${1:-}; file=${2:-}
if [ -z "$mode" ] || [ -z "$file" ]; then
  echo "usage: $0 snapshot|report FILE" >&2; exit 2
fi

counts() {   # prints "<hits> <misses>"
  ccache --print-stats 2>/dev/null | awk '
    $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits += $2 }
    $1 == "cache_miss" { misses += $2 }
    END { print hits + 0, misses + 0 }'
}

if ! command -v ccache >/dev/null 2>&1; then
  [ "$mode" = report ] && echo "ccache: not installed, compiled without a cache"
  exit 0
fi
case $mode in
  snapshot) counts >"$file" ;;
  report)
    read -r hits0 misses0 <"$file" 2>/dev/null || { hits0=0; misses0=0; }
    read -r hits misses < <(counts)
    h=$((hits - hits0)); m=$((misses - misses0)); n=$((h + m))
    if [ "$n" -eq 0 ]; then
      echo "ccache: used, nothing needed compiling"
    else
      echo "ccache: used, $h of $n compilations from the cache ($((100 * h / n)) % hit rate)"
    fi ;;
  *) echo "usage: $0 snapshot|report FILE" >&2; exit 2 ;;
esac
