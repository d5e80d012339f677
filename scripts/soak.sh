#!/usr/bin/env bash
# Soak run: robot_sim and agent_controller built with a sanitizer run together for a while
# (10 minutes by default) while the ball is moved every few seconds; afterwards both are
# stopped with SIGTERM. Reports every sanitizer finding, the exit statuses, and the resident
# size of both programs at the start and the end. Not part of ./test.sh (too long).
#
# Exit status 0 when there was no sanitizer report, both programs exited cleanly and
# neither grew by more than the allowed margin.
set -uo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
Usage: scripts/soak.sh --sanitizer address|thread|none [--minutes M] [--interval S] [--out DIR]
                       [--build-dir DIR] [--no-build] [--leak-check]

  --sanitizer S   address (AddressSanitizer + UBSan), thread (ThreadSanitizer), or none
                  (the plain build, a baseline for the resident size)
  --minutes M     how long to run (default 10)
  --interval S    seconds between ball moves (default 3)
  --out DIR       logs, sanitizer reports, RSS samples and the summary
                  (default <build tree>/soak)
  --build-dir DIR build tree (default build-e2e-asan, build-e2e-tsan or build-e2e-plain)
  --no-build      use the programs already built there
  --leak-check    address only: no quarantine (the resident size then shows live memory
                  from the start) and LeakSanitizer's report of unreachable memory at exit

Run it with nice (nice -n 10 scripts/soak.sh ...) on a shared machine.
EOF
}

sanitizer=
minutes=10
interval=3
out=
bin=
build=1
leak_check=0
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitizer) sanitizer=${2:-}; shift ;;
    --minutes) minutes=${2:-}; shift ;;
    --interval) interval=${2:-}; shift ;;
    --out) out=${2:-}; shift ;;
    --build-dir) bin=${2:-}; shift ;;
    --no-build) build=0 ;;
    --leak-check) leak_check=1 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "soak: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done
case "$sanitizer" in
  address) short=asan ;;
  thread) short=tsan ;;
  none) short=plain; sanitizer= ;;
  *) echo "soak: --sanitizer must be address, thread or none" >&2; exit 2 ;;
esac
[[ "$minutes" =~ ^[0-9]+$ ]] && [ "$minutes" -ge 1 ] || { echo "soak: --minutes needs a whole number >= 1" >&2; exit 2; }
[[ "$interval" =~ ^[0-9]+$ ]] && [ "$interval" -ge 1 ] || { echo "soak: --interval needs a whole number >= 1" >&2; exit 2; }
[ "$leak_check" = 0 ] || [ "$short" = asan ] || { echo "soak: --leak-check needs --sanitizer address" >&2; exit 2; }
bin=${bin:-build-e2e-$short}
out=${out:-$bin/soak}
mkdir -p "$out" || exit 1
out=$(cd "$out" && pwd)
rm -f "$out"/sanitizer.* "$out"/rss.csv "$out"/summary.txt

if [ "$build" = 1 ]; then
  scripts/install-deps.sh || exit 1
  cmake -S . -B "$bin" -G Ninja -DAC_SANITIZE="$sanitizer" -DAC_BUILD_TESTS=OFF -DAC_BUILD_BENCH=OFF \
    >"$out/configure.log" 2>&1 || { cat "$out/configure.log"; exit 1; }
  cmake --build "$bin" -j 2 --target robot_sim agent_controller port_tool >"$out/build.log" 2>&1 \
    || { tail -n 30 "$out/build.log"; exit 1; }
fi
sim=$bin/sim/robot_sim
controller=$bin/app/agent_controller
port_tool=$bin/tools/port_tool/port_tool
for p in "$sim" "$controller" "$port_tool"; do
  [ -x "$p" ] || { echo "soak: $p is not built" >&2; exit 1; }
done

# A registry of its own, so the soak runs beside anything else.
export AGENT_CONTROLLER_PORTS=$(mktemp -d /tmp/ac-soak-XXXXXX)
export QT_QPA_PLATFORM=offscreen
# Reports go to files (one per process); the run goes on after a report so that every
# finding of the whole run is collected. Leak checking is off: the agents are never deleted
# by design (they live until the process ends), so every run would "leak" them; growth is
# watched through the resident size instead. AddressSanitizer keeps freed memory in a
# quarantine (256 MB by default) to catch late uses; a program that allocates and frees all
# the time grows until that quarantine is full, which says nothing about leaks. A 16 MB
# quarantine fills within the warm-up, so the resident size after it shows live memory.
# --leak-check turns both around: no quarantine at all, and LeakSanitizer at exit (memory that
# is still reachable, such as the agents, is not reported; only memory nothing points to).
if [ "$leak_check" = 1 ]; then
  asan_memory="detect_leaks=1 quarantine_size_mb=0"
else
  asan_memory="detect_leaks=0 quarantine_size_mb=16"
fi
export ASAN_OPTIONS="$asan_memory log_path=$out/sanitizer abort_on_error=0 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 log_path=$out/sanitizer ${UBSAN_OPTIONS:-}"
export TSAN_OPTIONS="second_deadlock_stack=1 log_path=$out/sanitizer halt_on_error=0 ${TSAN_OPTIONS:-}"

sim_pid=
controller_pid=
cleanup() {
  [ -n "$controller_pid" ] && kill -TERM "$controller_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$AGENT_CONTROLLER_PORTS"
}
trap 'cleanup; exit 130' INT TERM

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

wait_for_port() {  # wait_for_port <port> <seconds>
  local tenths=$(($2 * 10))
  until "$port_tool" exists "$1" >/dev/null 2>&1; do
    tenths=$((tenths - 1))
    [ $tenths -gt 0 ] || return 1
    sleep 0.1
  done
}

echo "soak (${sanitizer:-no sanitizer}): $minutes min, ball moved every $interval s; output in $out"
"$sim" --quiet >"$out/robot_sim.log" 2>&1 &
sim_pid=$!
if ! wait_for_port /icubSim/world 120 || ! wait_for_port /icubSim/cam/left 60; then
  echo "soak: robot_sim did not come up" >&2; cleanup; exit 1
fi
"$controller" >"$out/agent_controller.log" 2>&1 &
controller_pid=$!
if ! wait_for_port /left/image/in 120; then
  echo "soak: agent_controller did not come up" >&2; cleanup; exit 1
fi

# Places on the table in view, the default ball, one out of view that needs the search, and
# out of reach behind the robot (the search and rest agents run).
places=("0.15 0.554 0.61" "0.0 0.554 0.62" "-0.2 0.554 0.61" "-0.15 0.554 0.35"
        "0.30 0.554 0.58" "0.0 0.04 -2.0" "0.05 0.554 0.60" "-0.08 0.554 0.60")
echo "seconds,controller_rss_kb,robot_sim_rss_kb" >"$out/rss.csv"
start=$(date +%s)
end=$((start + minutes * 60))
next_sample=$start
moves=0
failed_moves=0
while [ "$(date +%s)" -lt "$end" ]; do
  now=$(date +%s)
  if ! kill -0 "$controller_pid" 2>/dev/null || ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "soak: a program ended early" >&2
    break
  fi
  if [ "$now" -ge "$next_sample" ]; then
    echo "$((now - start)),$(rss_kb "$controller_pid"),$(rss_kb "$sim_pid")" >>"$out/rss.csv"
    next_sample=$((now + 30))
  fi
  place=${places[$((moves % ${#places[@]}))]}
  # shellcheck disable=SC2086
  if ! "$port_tool" send --timeout 10 /icubSim/world world set ball $place >/dev/null 2>&1; then
    failed_moves=$((failed_moves + 1))
  fi
  moves=$((moves + 1))
  sleep "$interval"
done
now=$(date +%s)
echo "$((now - start)),$(rss_kb "$controller_pid"),$(rss_kb "$sim_pid")" >>"$out/rss.csv"

stop_result=
stop_program() {  # stop_program <pid>: SIGTERM, wait up to 60 s; sets stop_result
  local pid=$1 tenths=600
  kill -TERM "$pid" 2>/dev/null
  while kill -0 "$pid" 2>/dev/null && [ $tenths -gt 0 ]; do sleep 0.1; tenths=$((tenths - 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    stop_result="hung after SIGTERM (killed)"
    return
  fi
  wait "$pid"
  stop_result="exit $?"
}
stop_program "$controller_pid"
controller_exit=$stop_result
controller_pid=
stop_program "$sim_pid"
sim_exit=$stop_result
sim_pid=
left=$("$port_tool" list 2>/dev/null | grep -v '^no open ports' || true)
rm -rf "$AGENT_CONTROLLER_PORTS"

# Resident size: at 30 s, half-way and at the end. The sanitizers' allocators fill their
# caches and quarantine over the first minutes (the plain build is flat from the start), so
# flat memory is judged on the second half of the run.
half_time=$((minutes * 30))
first=$(awk -F, 'NR>1 && $1>=30 {print; exit}' "$out/rss.csv")
half=$(awk -F, -v t="$half_time" 'NR>1 && $1>=t {print; exit}' "$out/rss.csv")
last=$(tail -n 1 "$out/rss.csv")
c0=$(echo "$first" | cut -d, -f2); ch=$(echo "$half" | cut -d, -f2); c1=$(echo "$last" | cut -d, -f2)
s0=$(echo "$first" | cut -d, -f3); sh=$(echo "$half" | cut -d, -f3); s1=$(echo "$last" | cut -d, -f3)
reports=$(ls "$out"/sanitizer.* 2>/dev/null | wc -l)
status=0
{
  echo "soak with ${sanitizer:-no} sanitizer: $minutes min, $moves ball moves ($failed_moves without reply)"
  echo "agent_controller: $controller_exit; RSS ${c0:-?} kB at 30 s, ${ch:-?} kB at ${half_time} s, ${c1:-?} kB at the end"
  echo "robot_sim:        $sim_exit; RSS ${s0:-?} kB at 30 s, ${sh:-?} kB at ${half_time} s, ${s1:-?} kB at the end"
  if [ "$reports" -gt 0 ]; then
    echo "sanitizer reports: $reports file(s):"
    for f in "$out"/sanitizer.*; do
      echo "  $f: $(grep -m1 -E 'ERROR|WARNING|runtime error' "$f")"
    done
  else
    echo "sanitizer reports: none"
  fi
  [ -n "$left" ] && echo "ports still open: $left"
} | tee "$out/summary.txt"
[ "$reports" -eq 0 ] || status=1
[ "$controller_exit" = "exit 0" ] && [ "$sim_exit" = "exit 0" ] || status=1
[ -z "$left" ] || status=1
[ "$failed_moves" -eq 0 ] || status=1
# Flat memory: no more than 10 % (and 8 MB) growth over the second half.
for pair in "${ch:-0} ${c1:-0}" "${sh:-0} ${s1:-0}"; do
  read -r a b <<<"$pair"
  if [ "$a" -gt 0 ] && [ $((b - a)) -gt $((a / 10)) ] && [ $((b - a)) -gt 8192 ]; then
    echo "soak: resident size grew from $a kB to $b kB" | tee -a "$out/summary.txt"
    status=1
  fi
done
exit $status
