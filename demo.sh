#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the simulator (robot_sim, the stand-in, or
# with --icub-sim the real iCub simulator), waits for its ports, starts agent_controller and a
# camera view. With a display the windows show and the demo runs until Ctrl-C or until the
# controller's windows are closed. With --headless, or when there is no display, it runs a
# scripted ball tour instead and exits with the tour's status. On an installed YARP it uses the
# name server that answers, or starts a private one when none does. Every program it started
# is stopped on the way out.
set -uo pipefail
cd "$(dirname "$0")"
# shellcheck source=scripts/yarp-name-server.sh
source scripts/yarp-name-server.sh

usage() {
  cat <<'USAGE'
Usage: ./demo.sh [--headless] [--out DIR] [--no-build] [--build-dir DIR]
                 [--yarp auto|system|bundled] [--icub-sim]

Builds the project, starts robot_sim (the simulator stand-in), waits until its ports are up,
then starts agent_controller and image_viewer on the left camera.

  (default)    with a display: the head control window, the world window and the camera
               view show; place the ball with the world window's sliders and watch the head
               follow it. Ctrl-C stops everything.
  --headless   no windows (also chosen when there is no display): runs ball_tour, which
               places the ball at a sequence of positions, prints for each how long the
               robot took to centre it and the remaining pixel error, and saves camera
               snapshots and a trace of the controller's Space writes per position
               (traces/NN-*.jsonl; draw one with space_inspector --plot); exits 0 when every
               position ended as expected.
  --out DIR    folder for the logs and snapshots (default demo-output)
  --no-build   use the programs already built
  --yarp Y     the YARP to run on: system (an installed YARP; build tree build-yarp/),
               bundled (the bundled layer; build tree build/) or auto (default: system when
               build-yarp/ was configured with one or CMake finds one, else bundled)
  --build-dir DIR  build tree to build and run from (default: build-yarp or build, as above);
               a tree configured before keeps the YARP it was configured with
  --icub-sim   run the real iCub simulator (iCub_SIM, found on PATH) instead of robot_sim;
               needs an installed YARP. Without a display it gets a private Xvfb.
  -h, --help   this text

On an installed YARP the demo uses the name server that answers (`yarp where`), or starts a
private one (its own YARP_CONFIG_HOME under DIR/yarp, a free port) and stops it at the end.
The programs' output goes to DIR/robot_sim.log (DIR/iCub_SIM.log), DIR/agent_controller.log
and DIR/image_viewer.log. On the bundled layer, set AGENT_CONTROLLER_PORTS to run the demo in
a port registry of its own.
USAGE
}

headless=0
out=demo-output
build=1
bin=
yarp_choice=auto
icub_sim=0
while [ $# -gt 0 ]; do
  case "$1" in
    --headless) headless=1 ;;
    --out) [ $# -ge 2 ] || { echo "demo: --out needs a folder" >&2; exit 2; }; out=$2; shift ;;
    --no-build) build=0 ;;
    --build-dir) [ $# -ge 2 ] || { echo "demo: --build-dir needs a folder" >&2; exit 2; }; bin=$2; shift ;;
    --yarp)
      [ $# -ge 2 ] || { echo "demo: --yarp needs auto, system or bundled" >&2; exit 2; }
      case "$2" in
        auto|system|bundled) yarp_choice=$2 ;;
        *) echo "demo: --yarp must be auto, system or bundled, not '$2'" >&2; exit 2 ;;
      esac
      shift ;;
    --icub-sim) icub_sim=1 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done

cached() {  # cached <tree> <variable>: a value from the tree's CMake cache
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" 2>/dev/null | head -n 1
}

# Which YARP, and which tree. A tree configured before keeps the YARP it was configured with.
tree_choice=
[ -n "$bin" ] && tree_choice=$(cached "$bin" AC_YARP_CHOICE)
if [ -n "$tree_choice" ]; then
  if [ "$yarp_choice" != auto ] && [ "${tree_choice,,}" != "$yarp_choice" ]; then
    echo "demo: $bin was configured with the ${tree_choice,,} YARP, not $yarp_choice; choose another --build-dir" >&2
    exit 2
  fi
  yarp_choice=${tree_choice,,}
elif [ "$yarp_choice" = auto ]; then
  if [ "$(cached build-yarp AC_YARP_CHOICE)" = SYSTEM ]; then
    yarp_choice=system
  elif found=$(scripts/find-yarp.sh); then
    echo "demo: CMake finds YARP $found"
    yarp_choice=system
  else
    yarp_choice=bundled
  fi
fi
if [ -z "$bin" ]; then
  if [ "$yarp_choice" = system ]; then bin=build-yarp; else bin=build; fi
fi
if [ "$icub_sim" = 1 ] && [ "$yarp_choice" != system ]; then
  echo "demo: --icub-sim needs an installed YARP (the real simulator runs on it) and CMake finds none;" >&2
  echo "      make it findable with YARP_DIR or CMAKE_PREFIX_PATH" >&2
  exit 2
fi
echo "demo: running on the $yarp_choice YARP, build tree $bin/"

sim=$bin/sim/robot_sim
controller=$bin/app/agent_controller
viewer=$bin/tools/image_viewer/image_viewer
tour=$bin/tools/ball_tour/ball_tour
port_tool=$bin/tools/port_tool/port_tool

programs=("$controller" "$viewer" "$tour")
targets=(agent_controller image_viewer ball_tour space_inspector)
if [ "$icub_sim" = 0 ]; then programs+=("$sim"); targets+=(robot_sim); fi
if [ "$yarp_choice" = bundled ]; then programs+=("$port_tool"); targets+=(port_tool); fi

if [ "$build" = 1 ]; then
  scripts/install-deps.sh || exit 1
  mkdir -p "$out" || exit 1
  cmake -S . -B "$bin" -G Ninja -DAGENT_CONTROLLER_YARP="${yarp_choice^^}" >"$out/configure.log" 2>&1 \
    || { cat "$out/configure.log"; exit 1; }
  grep -E '^-- YARP:' "$out/configure.log"
  scripts/ccache-report.sh snapshot "$out/ccache.counts"
  cmake --build "$bin" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}" || exit 1
  echo "demo: $(scripts/ccache-report.sh report "$out/ccache.counts")"
fi
for program in "${programs[@]}"; do
  [ -x "$program" ] || { echo "demo: $program is not built (run without --no-build)" >&2; exit 1; }
done

# On an installed YARP: its commands, libraries and plugins as the build tree recorded them,
# so the demo needs no environment script sourced.
yarp_program=
yarpserver_program=
if [ "$yarp_choice" = system ]; then
  yarp_prefix=$(cached "$bin" AC_YARP_PREFIX)
  yarpserver_program=$(cached "$bin" AC_YARPSERVER_PROGRAM)
  yarp_program=$(cached "$bin" AC_YARP_PROGRAM)
  [ -x "$yarp_program" ] || yarp_program=$(command -v yarp || true)
  [ -x "$yarpserver_program" ] || yarpserver_program=$(command -v yarpserver || true)
  [ -x "$yarp_program" ] || { echo "demo: the 'yarp' command of the installed YARP is missing" >&2; exit 1; }
  if [ -d "$yarp_prefix/lib" ]; then
    export LD_LIBRARY_PATH=$yarp_prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
  fi
  if [ -z "${YARP_DATA_DIRS:-}" ] && [ -n "$(cached "$bin" AC_YARP_DATA_DIR)" ]; then
    YARP_DATA_DIRS=$(cached "$bin" AC_YARP_DATA_DIR)
    export YARP_DATA_DIRS
  fi
fi

yarp_cmd() {  # the yarp command, never left hanging
  timeout -k 2 10 "$yarp_program" "$@"
}
port_exists() {
  if [ "$yarp_choice" = system ]; then
    yarp_cmd exists "$1" >/dev/null 2>&1
  else
    "$port_tool" exists "$1" >/dev/null 2>&1
  fi
}
port_list() {
  if [ "$yarp_choice" = system ]; then
    yarp_cmd name list 2>/dev/null | sed -n 's/^registration name \([^ ]*\) .*/\1/p'
  else
    "$port_tool" list 2>/dev/null
  fi
}

if [ "$headless" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display (DISPLAY is not set): the windows run offscreen and the scripted tour runs instead"
  headless=1
fi
mkdir -p "$out" || exit 1
out_abs=$(cd "$out" && pwd)

# Programs started, in start order; stopped in reverse order.
pids=()
names=()
stopping=0

# A name server: the one that answers, else a private one for this run.
if [ "$yarp_choice" = system ]; then
  if yarp_cmd name list >/dev/null 2>&1; then
    echo "demo: using the YARP name server that answers ($(yarp_cmd where 2>&1 | grep -m1 -io 'name server .*' || echo 'see yarp where'))"
  else
    rm -rf "$out/yarp"
    if ! yarp_ns_start "$out_abs/yarp" "$yarpserver_program"; then
      echo "demo: no YARP name server answers and none could be started" >&2
      exit 1
    fi
    echo "demo: no YARP name server answered; started a private one on 127.0.0.1:$YARP_NS_PORT (config: $out/yarp/config)"
  fi
fi

for port in /icubSim/world /left/image/in; do
  if port_exists "$port"; then
    echo "demo: $port is already open: another simulator or controller is running." >&2
    if [ "$yarp_choice" = system ]; then
      echo "      Stop it, or point this shell at another name server (YARP_CONFIG_HOME, yarp conf)." >&2
    else
      echo "      Stop it, or set AGENT_CONTROLLER_PORTS to a directory of your own." >&2
    fi
    yarp_ns_stop
    exit 1
  fi
done

if [ "$headless" = 1 ]; then
  export QT_QPA_PLATFORM=offscreen
fi

start() {  # start <name> <log file or ''> <command...>
  local name=$1 log=$2
  shift 2
  if [ -n "$log" ]; then
    "$@" >"$log" 2>&1 &
  else
    "$@" &
  fi
  pids+=($!)
  names+=("$name")
}

stop_all() {
  [ "$stopping" = 1 ] && return
  stopping=1
  local i pid waited
  # One at a time, the last started first: the controller releases the joints while the
  # simulator still runs, and the simulator is gone before its X display goes.
  # iCub_SIM's own shutdown takes 2-7 s, more on a loaded machine, and now and then hangs
  # for good in "Stopping SDL and ODE threads".
  local patience
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[$i]}
    patience=10
    [ "${names[$i]}" = iCub_SIM ] && patience=20
    kill -TERM "$pid" 2>/dev/null
    waited=0
    while kill -0 "$pid" 2>/dev/null && [ $waited -lt $((patience * 10)) ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "demo: ${names[$i]} did not stop within $patience s of SIGTERM; killing it"
      kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
  done
  local left name live=() stale=()
  left=$(port_list | grep -E '^/(icubSim|left/|test/|move_ball|image_viewer|ball_tour)' || true)
  for name in $left; do
    if [ "$yarp_choice" = bundled ] || port_exists "$name"; then live+=("$name"); else stale+=("$name"); fi
  done
  if [ ${#live[@]} -gt 0 ]; then
    echo "demo: ports still open after the stop:"
    printf '%s\n' "${live[@]}"
  else
    echo "demo: everything stopped, no port left open"
  fi
  if [ ${#stale[@]} -gt 0 ]; then
    echo "demo: ${#stale[@]} registrations left on the name server by a program that did not close its ports (e.g. ${stale[0]}); 'yarp clean' removes them"
  fi
  if [ -n "$yarp_ns_pid" ]; then
    yarp_ns_stop
    echo "demo: private name server stopped"
  fi
}

on_signal() {
  echo
  echo "demo: stopping"
  stop_all
  exit 130
}
trap on_signal INT TERM
trap stop_all EXIT

wait_for_port() {  # wait_for_port <port> <seconds> <pid of the program that opens it>
  local port=$1 tenths=$(($2 * 10)) pid=$3
  while ! port_exists "$port"; do
    if ! kill -0 "$pid" 2>/dev/null; then
      return 1
    fi
    tenths=$((tenths - 1))
    [ $tenths -gt 0 ] || return 1
    sleep 0.1
  done
}

# The real iCub simulator needs an X display (a private Xvfb when there is none) and the world
# objects (table and ball) on in its simConfig context; when the installed context has them
# off, it runs on a copy with them on (DIR/icub-data, found first through YARP_DATA_HOME).
start_icub_sim() {
  local icub=${ICUB_SIM:-$(command -v iCub_SIM || true)}
  if [ -z "$icub" ]; then
    echo "demo: --icub-sim: iCub_SIM is not on PATH" >&2
    return 1
  fi
  local activation data_home=${YARP_DATA_HOME:-}
  # `yarp resource` ends with the file it found, quoted (its search log comes before).
  activation=$(cd / && yarp_cmd resource --context simConfig --from iCub_parts_activation.ini 2>/dev/null \
    | sed -n 's|^"\(/.*iCub_parts_activation.ini\)"$|\1|p' | tail -n 1)
  if [ -z "$activation" ] || [ ! -f "$activation" ]; then
    echo "demo: --icub-sim: iCub_SIM's simConfig context is not found (is its share/iCub in YARP_DATA_DIRS?)" >&2
    return 1
  fi
  if ! grep -q '^[[:space:]]*objects[[:space:]]\{1,\}on' "$activation"; then
    data_home=$out_abs/icub-data
    rm -rf "$data_home/contexts/simConfig"
    mkdir -p "$data_home/contexts" || return 1
    cp -r "$(dirname "$activation")" "$data_home/contexts/simConfig" || return 1
    sed -i 's/^\([[:space:]]*objects[[:space:]]\{1,\}\)off/\1on/' \
      "$data_home/contexts/simConfig/iCub_parts_activation.ini"
    echo "demo: iCub_SIM runs with the world objects on (a copy of its simConfig in $out/icub-data)"
  fi
  local display=${DISPLAY:-}
  if [ "$headless" = 1 ] || [ -z "$display" ]; then
    command -v Xvfb >/dev/null || { echo "demo: --icub-sim without a display needs Xvfb" >&2; return 1; }
    # -noreset: the simulator's SDL opens and closes a probe connection first, after which a
    # resetting server may refuse the next one. -displayfd picks a free display number.
    rm -f "$out/xvfb.display"
    start Xvfb "$out/xvfb.log" Xvfb -screen 0 1024x768x24 -noreset -nolisten tcp -displayfd 3 \
      3>"$out/xvfb.display"
    local tenths=100
    until [ -s "$out/xvfb.display" ]; do
      tenths=$((tenths - 1))
      if [ $tenths -le 0 ] || ! kill -0 "${pids[${#pids[@]} - 1]}" 2>/dev/null; then
        echo "demo: Xvfb did not start; its log:" >&2
        tail -n 5 "$out/xvfb.log" >&2
        return 1
      fi
      sleep 0.1
    done
    display=:$(head -n 1 "$out/xvfb.display")
    echo "demo: private X display $display (Xvfb) for iCub_SIM"
  fi
  echo "demo: starting iCub_SIM (log: $out/iCub_SIM.log; it keeps about two cores busy)"
  start iCub_SIM "$out/iCub_SIM.log" env DISPLAY="$display" ${data_home:+YARP_DATA_HOME="$data_home"} "$icub"
}

if [ "$icub_sim" = 1 ]; then
  start_icub_sim || exit 1
  sim_name=iCub_SIM
  sim_wait=120
else
  echo "demo: starting robot_sim (log: $out/robot_sim.log)"
  start robot_sim "$out/robot_sim.log" "$sim"
  sim_name=robot_sim
  sim_wait=30
fi
sim_pid=${pids[${#pids[@]} - 1]}
for port in /icubSim/world /icubSim/cam/left; do
  if ! wait_for_port "$port" "$sim_wait" "$sim_pid"; then
    echo "demo: $sim_name did not open $port; its log:" >&2
    tail -n 20 "$out/$sim_name.log" >&2
    exit 1
  fi
done

echo "demo: starting agent_controller (log: $out/agent_controller.log)"
start agent_controller "$out/agent_controller.log" "$controller"
controller_pid=${pids[${#pids[@]} - 1]}
if ! wait_for_port /left/image/in 30 "$controller_pid"; then
  echo "demo: agent_controller did not come up; its log:" >&2
  tail -n 20 "$out/agent_controller.log" >&2
  exit 1
fi

if [ "$headless" = 1 ]; then
  echo "demo: running the ball tour (snapshots in $out/, Space traces in $out/traces/)"
  start ball_tour "" "$tour" --out "$out" --trace "$out/traces"
  wait "${pids[${#pids[@]} - 1]}"
  status=$?
  stop_all
  exit $status
fi

echo "demo: starting the camera view"
start image_viewer "$out/image_viewer.log" "$viewer" /icubSim/cam/left
cat <<EOF
demo: running. The head control window moves the head joints; the world window places the
      ball (the head turns toward it and the eyes search when it is out of view); the camera
      view shows the left eye. Ctrl-C stops everything (closing the controller's windows
      does too). To see why the head moves, run $bin/tools/space_inspector/space_inspector
      in another terminal.
EOF
wait "$controller_pid"
echo "demo: agent_controller ended"
stop_all
exit 0
