#!/usr/bin/env bash
# Start/stop cycles: one program started and stopped with SIGTERM again and again while its
# peer runs, to catch faults of the start-up and the shutdown that show once in many runs.
#
#   robot_sim:        the simulator started, served to a running controller until the
#                     controller has bound its head board, then stopped (the controller stays)
#   agent_controller: the controller started against a running simulator until it has bound
#                     the head board and receives images, then stopped
#
# Every stop must end with status 0 within 30 s. A core dump of a failed cycle is kept with a
# backtrace of every thread (gdb). Exit status 0 when every cycle ended cleanly.
set -uo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
Usage: scripts/cycles.sh --program robot_sim|agent_controller [--cycles N] [--hog]
                         [--build-dir DIR] [--out DIR] [--keep-going]

  --program P     the program to start and stop
  --cycles N      how many cycles (default 200)
  --hog           run two busy loops beside the cycles (CPU starvation, as on a loaded machine)
  --build-dir DIR build tree (default build); its YARP is read from its cache
  --out DIR       logs, cores and backtraces of failed cycles (default <build tree>/cycles)
  --keep-going    go on after a failed cycle (default: stop at the first)
EOF
}

program= cycles=200 hog=0 bin=build out= keep_going=0
while [ $# -gt 0 ]; do
  case "$1" in
    --program) program=${2:-}; shift ;;
    --cycles) cycles=${2:-}; shift ;;
    --hog) hog=1 ;;
    --build-dir) bin=${2:-}; shift ;;
    --out) out=${2:-}; shift ;;
    --keep-going) keep_going=1 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "cycles: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done
case "$program" in
  robot_sim|agent_controller) ;;
  *) echo "cycles: --program must be robot_sim or agent_controller" >&2; exit 2 ;;
esac
[[ "$cycles" =~ ^[0-9]+$ ]] && [ "$cycles" -ge 1 ] || { echo "cycles: --cycles needs a whole number >= 1" >&2; exit 2; }

cache=$bin/CMakeCache.txt
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$cache" 2>/dev/null | head -n 1; }
yarp_choice=BUNDLED
[ "$(cache_value AC_YARP_CHOICE)" = SYSTEM ] && yarp_choice=SYSTEM
sim=$(cd "$bin" && pwd)/sim/robot_sim
controller=$(cd "$bin" && pwd)/app/agent_controller
port_tool=$(cd "$bin" && pwd)/tools/port_tool/port_tool
for p in "$sim" "$controller"; do
  [ -x "$p" ] || { echo "cycles: $p is not built" >&2; exit 1; }
done
out=${out:-$bin/cycles/$program}
mkdir -p "$out" || exit 1
out=$(cd "$out" && pwd)
rm -rf "$out"/cycle-* "$out"/peer.log

export QT_QPA_PLATFORM=offscreen YARP_COLORED_OUTPUT=0
state=$(mktemp -d "${TMPDIR:-/tmp}/ac-cycles-XXXXXX") || exit 1
export AGENT_CONTROLLER_PORTS=$state/ports
ulimit -c unlimited 2>/dev/null || echo "cycles: core dumps are limited (ulimit -c $(ulimit -c))"
yarp_cmd=
if [ "$yarp_choice" = SYSTEM ]; then
  # shellcheck source=yarp-name-server.sh
  source scripts/yarp-name-server.sh
  yarp_cmd=$(cache_value AC_YARP_PROGRAM)
  prefix=$(cache_value AC_YARP_PREFIX)
  data=$(cache_value AC_YARP_DATA_DIR)
  [ -n "$prefix" ] && export LD_LIBRARY_PATH=$prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
  [ -n "$data" ] && export YARP_DATA_DIRS=$data
fi

port_exists() {
  if [ "$yarp_choice" = SYSTEM ]; then
    timeout -k 1 5 "$yarp_cmd" exists "$1" >/dev/null 2>&1
  else
    "$port_tool" exists "$1" >/dev/null 2>&1
  fi
}
wait_until() {  # wait_until <seconds> <command...>
  local tenths=$(($1 * 10)); shift
  until "$@"; do
    tenths=$((tenths - 1)); [ $tenths -gt 0 ] || return 1; sleep 0.1
  done
}
log_has() { grep -q -- "$2" "$1" 2>/dev/null; }

peer_pid= hog_pids=() child=
cleanup() {
  local pid
  for pid in $child $peer_pid "${hog_pids[@]}"; do kill -CONT "$pid" 2>/dev/null; kill -TERM "$pid" 2>/dev/null; done
  for pid in $child $peer_pid "${hog_pids[@]}"; do wait "$pid" 2>/dev/null; done
  [ "$yarp_choice" = SYSTEM ] && yarp_ns_stop
  rm -rf "$state"
}
trap 'cleanup; exit 130' INT TERM
trap cleanup EXIT

if [ "$yarp_choice" = SYSTEM ]; then
  yarp_ns_start "$state/ns" "$(cache_value AC_YARPSERVER_PROGRAM)" || exit 1
fi
if [ "$hog" = 1 ]; then
  for _ in 1 2; do nice -n 19 yes >/dev/null & hog_pids+=($!); done
fi
# The peer: the controller for robot_sim's cycles, the simulator for the controller's.
if [ "$program" = robot_sim ]; then
  "$controller" >"$out/peer.log" 2>&1 &
else
  "$sim" --quiet >"$out/peer.log" 2>&1 &
  wait_until 60 port_exists /icubSim/cam/left || { echo "cycles: robot_sim did not come up" >&2; exit 1; }
fi
peer_pid=$!

failed=0 done_cycles=0 slowest=0
for ((c = 1; c <= cycles; c++)); do
  dir=$out/cycle-$c
  mkdir -p "$dir"
  log=$dir/$program.log
  started=$(date +%s)
  if [ "$program" = robot_sim ]; then
    (cd "$dir" && exec "$sim" --quiet) >"$log" 2>&1 &
    child=$!
    # Served until the controller has bound the board and connected its camera again.
    bound=$(grep -c "bound the board at /icubSim/head" "$out/peer.log")
    lost=$(grep -c "lost the board at /icubSim/head" "$out/peer.log")
    wait_until 60 eval '[ "$(grep -c "bound the board at /icubSim/head" "$out/peer.log")" -gt "$bound" ]' \
      || echo "cycles: cycle $c: the controller did not bind the board"
  else
    (cd "$dir" && exec "$controller") >"$log" 2>&1 &
    child=$!
    # A velocity command sent to the board ("read: ...") and an encoder reading used.
    wait_until 60 log_has "$log" "^read: " \
      || echo "cycles: cycle $c: the controller sent nothing to the board"
    wait_until 30 log_has "$log" "encoder4:" || echo "cycles: cycle $c: no encoder reading"
  fi
  # A random moment of the running program, up to half a second.
  sleep "0.$((RANDOM % 5))"
  kill -TERM "$child"
  tenths=300
  while kill -0 "$child" 2>/dev/null && [ $tenths -gt 0 ]; do sleep 0.1; tenths=$((tenths - 1)); done
  if kill -0 "$child" 2>/dev/null; then
    kill -ABRT "$child"   # a core of the hang
    wait "$child"; status="hung after SIGTERM (core requested)"
  else
    wait "$child"; status=$?
  fi
  child=
  if [ "$program" = robot_sim ]; then
    # The next simulator comes once the controller has seen this one go, so that every cycle
    # is a full loss and a fresh bind.
    wait_until 20 eval '[ "$(grep -c "lost the board at /icubSim/head" "$out/peer.log")" -gt "$lost" ]' \
      || echo "cycles: cycle $c: the controller did not notice the simulator going"
  fi
  took=$(( $(date +%s) - started ))
  [ "$took" -gt "$slowest" ] && slowest=$took
  done_cycles=$c
  if [ "$status" != 0 ]; then
    failed=$((failed + 1))
    [[ "$status" =~ ^[0-9]+$ ]] && [ "$status" -gt 128 ] && status="signal $((status - 128)) (status $status)"
    echo "cycles: cycle $c: $program ended with $status"
    core=$(ls "$dir"/core* 2>/dev/null | head -n 1)
    if [ -n "$core" ] && command -v gdb >/dev/null; then
      exe=$sim; [ "$program" = agent_controller ] && exe=$controller
      gdb -batch -ex "thread apply all bt" "$exe" "$core" >"$dir/backtrace.txt" 2>&1
      echo "cycles: backtrace in $dir/backtrace.txt"
    fi
    [ "$keep_going" = 1 ] || break
  else
    rm -rf "$dir"
  fi
  if ! kill -0 "$peer_pid" 2>/dev/null; then
    echo "cycles: the peer ended during cycle $c"; failed=$((failed + 1)); break
  fi
done
echo "cycles: $program on YARP $yarp_choice: $done_cycles cycles, $failed failed," \
     "hog $([ $hog = 1 ] && echo on || echo off), slowest cycle $slowest s"
[ "$failed" -eq 0 ]
