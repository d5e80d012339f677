#!/usr/bin/env bash
# Fault campaign: agent_controller tracks the ball in robot_sim while the simulator is killed
# (SIGKILL) and started again, frozen (SIGSTOP for 3 to 8 s) and resumed, and, on an installed
# YARP, while the name server is killed and started again. After every fault the ball is placed
# again and must be centred again; the controller must never die, must quit on SIGTERM with
# status 0 and leave the head still, and its resident size, threads and open descriptors must
# stay flat. A last phase quits a fresh controller while the simulator is frozen: the event
# loop and the release must not hang on a frozen peer.
#
# A restarted name server knows none of the ports still open: the controller and the simulator
# notice it and register their ports again, and the ball placed after it must be centred again
# like after any other fault.
#
# Seeded (the same seed gives the same faults at the same moments), bounded in time, and every
# process it started is stopped on the way out. Exit status 0 when every check held.
set -uo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
Usage: scripts/chaos.sh [--seed N] [--kills N] [--freezes N] [--name-server-kills N]
                        [--short] [--build-dir DIR] [--out DIR] [--no-build] [--max-minutes M]

  --seed N               seed of the fault order and timing (default: from the clock, printed)
  --kills N              simulator SIGKILL and restart rounds (default 10)
  --freezes N            simulator SIGSTOP (3-8 s) and SIGCONT rounds (default 3)
  --name-server-kills N  name-server SIGKILL and restart rounds (installed YARP only; default
                         3, with --short 1; the bundled layer has no name server: 0)
  --short                2 kills, 1 freeze and (installed YARP) 1 name-server kill: the
                         ctest case
  --build-dir DIR        build tree with robot_sim, agent_controller, ball_tour (and port_tool
                         on the bundled layer); its YARP is read from its cache (default build)
  --out DIR              logs and summary (default <build tree>/chaos)
  --no-build             use the programs already built
  --max-minutes M        the whole campaign gives up after M minutes (default 30)

Run it with nice (nice -n 10 scripts/chaos.sh ...) on a shared machine.
EOF
}

seed=$(( $(date +%s) % 100000 ))
kills=10 freezes=3 ns_kills= ns_default=3 ns_asked=0 bin=build out= build=1 max_minutes=30
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed=${2:-}; shift ;;
    --kills) kills=${2:-}; shift ;;
    --freezes) freezes=${2:-}; shift ;;
    --name-server-kills) ns_kills=${2:-}; ns_asked=1; shift ;;
    --short) kills=2 freezes=1 ns_default=1 ;;
    --build-dir) bin=${2:-}; shift ;;
    --out) out=${2:-}; shift ;;
    --no-build) build=0 ;;
    --max-minutes) max_minutes=${2:-}; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "chaos: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done
for v in seed kills freezes max_minutes; do
  [[ "${!v}" =~ ^[0-9]+$ ]] || { echo "chaos: --${v//_/-} needs a whole number" >&2; exit 2; }
done
[ "$max_minutes" -ge 1 ] || { echo "chaos: --max-minutes needs at least 1" >&2; exit 2; }

cache=$bin/CMakeCache.txt
yarp_choice=BUNDLED
if [ -f "$cache" ] && grep -q '^AC_YARP_CHOICE:INTERNAL=SYSTEM' "$cache"; then yarp_choice=SYSTEM; fi
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$cache" 2>/dev/null | head -n 1; }
if [ "$yarp_choice" = SYSTEM ]; then
  ns_kills=${ns_kills:-$ns_default}
else
  if [ "$ns_asked" = 1 ] && [ "$ns_kills" != 0 ]; then
    echo "chaos: the bundled layer has no name server to kill" >&2; exit 2
  fi
  ns_kills=0
fi
[[ "$ns_kills" =~ ^[0-9]+$ ]] || { echo "chaos: --name-server-kills needs a whole number" >&2; exit 2; }

if [ "$build" = 1 ]; then
  targets="robot_sim agent_controller ball_tour"
  [ "$yarp_choice" = BUNDLED ] && targets="$targets port_tool"
  if [ ! -f "$cache" ]; then
    cmake -S . -B "$bin" -G Ninja -DAC_BUILD_TESTS=OFF -DAC_BUILD_BENCH=OFF >/dev/null || exit 1
  fi
  # shellcheck disable=SC2086
  cmake --build "$bin" -j 2 --target $targets >/dev/null || { echo "chaos: build failed" >&2; exit 1; }
fi
sim=$bin/sim/robot_sim
controller=$bin/app/agent_controller
tour=$bin/tools/ball_tour/ball_tour
port_tool=$bin/tools/port_tool/port_tool
for p in "$sim" "$controller" "$tour"; do
  [ -x "$p" ] || { echo "chaos: $p is not built" >&2; exit 1; }
done

out=${out:-$bin/chaos}
mkdir -p "$out" || exit 1
out=$(cd "$out" && pwd)
rm -f "$out"/*.log "$out"/recovery.csv "$out"/summary.txt
export QT_QPA_PLATFORM=offscreen
export YARP_COLORED_OUTPUT=0
state=$(mktemp -d "${TMPDIR:-/tmp}/ac-chaos-XXXXXX") || exit 1
export AGENT_CONTROLLER_PORTS=$state/ports

# --- the name server (installed YARP) -------------------------------------------------------
yarpserver= yarp_cmd=
if [ "$yarp_choice" = SYSTEM ]; then
  # shellcheck source=yarp-name-server.sh
  source scripts/yarp-name-server.sh
  yarpserver=$(cache_value AC_YARPSERVER_PROGRAM)
  yarp_cmd=$(cache_value AC_YARP_PROGRAM)
  prefix=$(cache_value AC_YARP_PREFIX)
  data=$(cache_value AC_YARP_DATA_DIR)
  [ -n "$prefix" ] && export LD_LIBRARY_PATH=$prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
  [ -n "$data" ] && export YARP_DATA_DIRS=$data
fi

port_exists() {  # port_exists <port>: the port answers
  if [ "$yarp_choice" = SYSTEM ]; then
    timeout -k 1 5 "$yarp_cmd" exists "$1" >/dev/null 2>&1
  else
    "$port_tool" exists "$1" >/dev/null 2>&1
  fi
}
wait_for_port() {  # wait_for_port <port> <seconds>
  local tenths=$(($2 * 10))
  until port_exists "$1"; do
    tenths=$((tenths - 1))
    [ $tenths -gt 0 ] || return 1
    sleep 0.1
  done
}

# --- processes ---------------------------------------------------------------------------
sim_pid= controller_pid= ns_restarts=0 sim_starts=0
stopped=
stop_pid() {  # stop_pid <pid> <seconds>: SIGTERM, then SIGKILL; sets stopped to "exit N" or "hung"
  local pid=$1 tenths=$(($2 * 10))
  kill -CONT "$pid" 2>/dev/null
  kill -TERM "$pid" 2>/dev/null
  while kill -0 "$pid" 2>/dev/null && [ $tenths -gt 0 ]; do sleep 0.1; tenths=$((tenths - 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; stopped="hung after SIGTERM (killed)"; return
  fi
  wait "$pid"; stopped="exit $?"
}
cleanup() {
  [ -n "$controller_pid" ] && stop_pid "$controller_pid" 10
  [ -n "$sim_pid" ] && stop_pid "$sim_pid" 10
  controller_pid= sim_pid=
  [ "$yarp_choice" = SYSTEM ] && yarp_ns_stop
  rm -rf "$state"
}
trap 'cleanup; exit 130' INT TERM
trap cleanup EXIT

start_sim() {
  sim_starts=$((sim_starts + 1))
  "$sim" >>"$out/robot_sim.log" 2>&1 &
  sim_pid=$!
  wait_for_port /icubSim/world 60 && wait_for_port /icubSim/cam/left 30
}
start_controller() {  # start_controller <log>
  "$controller" >>"$1" 2>&1 &
  controller_pid=$!
  wait_for_port /left/image/in 60
}
restart_name_server() {  # the same socket, a fresh server: every registration is gone
  "$yarpserver" --read --ip 127.0.0.1 --socket "$YARP_NS_PORT" >>"$yarp_ns_log" 2>&1 </dev/null &
  yarp_ns_pid=$!
  local tenths=300
  until timeout -k 1 5 "$yarp_cmd" where >/dev/null 2>&1; do
    tenths=$((tenths - 1)); [ $tenths -gt 0 ] || return 1; sleep 0.1
  done
}

proc_figures() {  # proc_figures <pid>: "rss_kB threads fds"
  local rss threads fds
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null)
  threads=$(awk '/^Threads:/ {print $2}' "/proc/$1/status" 2>/dev/null)
  fds=$(ls "/proc/$1/fd" 2>/dev/null | wc -l)
  echo "${rss:-0} ${threads:-0} $fds"
}

# Head positions from the simulator's status lines, "--" when there is none.
head_line() { grep '^head ' "$out/robot_sim.log" | tail -n 1 | cut -d'|' -f1; }
head_still() {  # two status lines 1.5 s apart agree to 0.5 degrees
  local a b
  a=$(head_line); sleep 1.5; b=$(head_line)
  [ -n "$a" ] && [ -n "$b" ] && awk -v a="$a" -v b="$b" 'BEGIN {
    n = split(a, x, " "); split(b, y, " ")
    for (i = 2; i <= n; i++) { d = x[i] - y[i]; if (d > 0.5 || d < -0.5) exit 1 }
  }'
}

# Two places at the back of the table that the controller centres; every fault moves the ball
# from one to the other, so "centred again" means the controller followed a new placement.
places=("-0.2 0.554 0.61" "0.15 0.554 0.61")
place_index=0
tour_log=$out/ball_tour.log
centre_ball() {  # centre_ball: place the ball, wait until centred; prints seconds to centred
  local place=${places[$((place_index % ${#places[@]}))]} t0 t1
  place_index=$((place_index + 1))
  t0=$(date +%s.%N)
  # shellcheck disable=SC2086
  if ! "$tour" --stop $place --timeout 60 --wait 60 --out "$state/tour" >>"$tour_log" 2>&1; then
    return 1
  fi
  t1=$(date +%s.%N)
  # ball_tour ends a position after the ball has stayed centred for 1.5 s.
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a - 1.5 }'
}

deadline=$(( $(date +%s) + max_minutes * 60 ))
failures=()
fail() { failures+=("$*"); echo "chaos: FAILED: $*"; }

# --- warm-up ----------------------------------------------------------------------------
RANDOM=$seed
echo "chaos: seed $seed, $kills simulator kills, $freezes freezes, $ns_kills name-server kills," \
     "YARP $yarp_choice, output in $out"
mkdir -p "$state/tour"
if [ "$yarp_choice" = SYSTEM ]; then
  yarp_ns_start "$state/ns" "$yarpserver" || { echo "chaos: no name server" >&2; exit 1; }
fi
start_sim || { echo "chaos: robot_sim did not come up" >&2; exit 1; }
start_controller "$out/agent_controller.log" || { echo "chaos: agent_controller did not come up" >&2; exit 1; }
centre_ball >/dev/null || { echo "chaos: the ball was not centred before any fault" >&2; exit 1; }
read -r rss0 threads0 fds0 <<<"$(proc_figures "$controller_pid")"

# --- the faults, in a seeded order ----------------------------------------------------------
faults=()
for ((i = 0; i < kills; i++)); do faults+=(kill); done
for ((i = 0; i < freezes; i++)); do faults+=(freeze); done
for ((i = 0; i < ns_kills; i++)); do faults+=(name-server); done
for ((i = ${#faults[@]} - 1; i > 0; i--)); do
  j=$((RANDOM % (i + 1))); tmp=${faults[$i]}; faults[$i]=${faults[$j]}; faults[$j]=$tmp
done
echo "round,fault,detail,recovery_s" >"$out/recovery.csv"
round=0
for fault in "${faults[@]}"; do
  round=$((round + 1))
  if [ "$(date +%s)" -ge "$deadline" ]; then fail "out of time after $((round - 1)) rounds"; break; fi
  # A random moment while the controller tracks: up to 3 s after the ball was centred.
  sleep "$((RANDOM % 30 / 10)).$((RANDOM % 10))"
  case "$fault" in
    kill)
      kill -KILL "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=
      down=$((RANDOM % 3))
      detail="down ${down} s"
      sleep "$down"
      start_sim || { fail "round $round: robot_sim did not come back"; break; }
      ;;
    freeze)
      frozen=$((3 + RANDOM % 6))
      detail="frozen ${frozen} s"
      kill -STOP "$sim_pid"
      before=$(wc -l <"$out/agent_controller.log")
      sleep "$frozen"
      # The agents that do not wait on the simulator keep working meanwhile.
      after=$(wc -l <"$out/agent_controller.log")
      [ "$after" -gt "$before" ] || fail "round $round: the controller printed nothing while the simulator was frozen"
      kill -CONT "$sim_pid"
      ;;
    name-server)
      kill -KILL "$yarp_ns_pid"; wait "$yarp_ns_pid" 2>/dev/null; yarp_ns_pid=
      down=$((1 + RANDOM % 3))
      detail="down ${down} s"
      sleep "$down"
      restart_name_server || { fail "round $round: the name server did not come back"; break; }
      ns_restarts=$((ns_restarts + 1))
      ;;
  esac
  if ! kill -0 "$controller_pid" 2>/dev/null; then
    wait "$controller_pid"; fail "round $round ($fault): agent_controller died (status $?)"; controller_pid=; break
  fi
  if seconds=$(centre_ball); then
    echo "$round,$fault,$detail,$seconds" >>"$out/recovery.csv"
    echo "chaos: round $round: $fault ($detail): ball centred again after $seconds s"
  else
    echo "$round,$fault,$detail,failed" >>"$out/recovery.csv"
    fail "round $round: $fault ($detail): the ball was not centred again"
  fi
done

# --- after the faults -------------------------------------------------------------------
if [ -n "$controller_pid" ]; then
  read -r rss1 threads1 fds1 <<<"$(proc_figures "$controller_pid")"
  stop_pid "$controller_pid" 30; controller_exit=$stopped; controller_pid=
  [ "$controller_exit" = "exit 0" ] || fail "agent_controller on SIGTERM: $controller_exit"
  sleep 0.5
  head_still || fail "the head moved after the controller quit"
fi

# A frozen simulator while the controller quits: the event loop must take the signal and the
# release must give up on the frozen boards within its bounds.
hung_quit=
if [ -n "$sim_pid" ] && start_controller "$out/agent_controller-quit.log"; then
  sleep 2
  kill -STOP "$sim_pid"
  t0=$(date +%s.%N)
  stop_pid "$controller_pid" 60; hung_exit=$stopped; controller_pid=
  t1=$(date +%s.%N)
  kill -CONT "$sim_pid"
  hung_quit=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  [ "$hung_exit" = "exit 0" ] || fail "agent_controller quitting beside a frozen simulator: $hung_exit"
fi
stop_pid "$sim_pid" 30; sim_exit=$stopped; sim_pid=
[ "$sim_exit" = "exit 0" ] || fail "robot_sim on SIGTERM: $sim_exit"

# --- figures ----------------------------------------------------------------------------
percentiles() {  # percentiles <fault>: "n p50 max" of the recovery times of that fault
  awk -F, -v f="$1" '$2 == f && $4 != "failed" { v[n++] = $4 } END {
    if (n == 0) { print "0 - -"; exit }
    for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    printf "%d %.2f %.2f\n", n, (n % 2 ? v[(n - 1) / 2] : (v[n / 2 - 1] + v[n / 2]) / 2), v[n - 1]
  }' "$out/recovery.csv"
}
{
  echo "chaos: seed $seed, YARP $yarp_choice, $round rounds, simulator started $sim_starts times," \
       "name server restarted $ns_restarts times"
  for f in kill freeze name-server; do
    read -r n p50 max <<<"$(percentiles "$f")"
    [ "$n" -gt 0 ] && echo "recovery after $f: $n rounds, p50 $p50 s, max $max s (fault over to ball centred)"
  done
  echo "agent_controller before the faults: RSS ${rss0} kB, ${threads0} threads, ${fds0} descriptors"
  [ -n "${rss1:-}" ] && echo "agent_controller after the faults:  RSS ${rss1} kB, ${threads1} threads, ${fds1} descriptors"
  echo "agent_controller on SIGTERM: ${controller_exit:-died}; robot_sim on SIGTERM: $sim_exit"
  [ -n "$hung_quit" ] && echo "agent_controller quit beside a frozen simulator: $hung_exit after $hung_quit s"
} | tee "$out/summary.txt"
if [ -n "${rss1:-}" ]; then
  # Flat: at most 10 % (and 8 MB) more memory, 2 more threads, 4 more descriptors.
  [ $((rss1 - rss0)) -le $((rss0 / 10)) ] || [ $((rss1 - rss0)) -le 8192 ] \
    || fail "resident size grew from $rss0 to $rss1 kB"
  [ $((threads1 - threads0)) -le 2 ] || fail "threads grew from $threads0 to $threads1"
  [ $((fds1 - fds0)) -le 4 ] || fail "descriptors grew from $fds0 to $fds1"
fi
if [ ${#failures[@]} -gt 0 ]; then
  printf 'chaos: FAILED: %s\n' "${failures[@]}" | tee -a "$out/summary.txt"
  exit 1
fi
echo "chaos: every fault ridden out" | tee -a "$out/summary.txt"
