#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the simulator stand-in (robot_sim), waits
# for its ports, starts agent_controller and a camera view. With a display the windows show
# and the demo runs until Ctrl-C or until the controller's windows are closed. With
# --headless, or when there is no display, it runs a scripted ball tour instead and exits
# with the tour's status. Every program it started is stopped on the way out.
set -uo pipefail
cd "$(dirname "$0")"

usage() {
  cat <<'EOF'
Usage: ./demo.sh [--headless] [--out DIR] [--no-build] [--build-dir DIR]

Builds the project (into build/), starts robot_sim (the simulator stand-in), waits until its
ports are up, then starts agent_controller and image_viewer on the left camera.

  (default)    with a display: the head control window, the world window and the camera
               view show; place the ball with the world window's sliders and watch the head
               follow it. Ctrl-C stops everything.
  --headless   no windows (also chosen when there is no display): runs ball_tour, which
               places the ball at a sequence of positions, prints for each how long the
               robot took to centre it and the remaining pixel error, and saves camera
               snapshots; exits 0 when every position ended as expected.
  --out DIR    folder for the logs and snapshots (default demo-output)
  --no-build   use the programs already built
  --build-dir DIR  build tree to build and run from (default build)
  -h, --help   this text

The programs' output goes to DIR/robot_sim.log and DIR/agent_controller.log. Set
AGENT_CONTROLLER_PORTS to run the demo in a port registry of its own.
EOF
}

headless=0
out=demo-output
build=1
bin=build
while [ $# -gt 0 ]; do
  case "$1" in
    --headless) headless=1 ;;
    --out) [ $# -ge 2 ] || { echo "demo: --out needs a folder" >&2; exit 2; }; out=$2; shift ;;
    --no-build) build=0 ;;
    --build-dir) [ $# -ge 2 ] || { echo "demo: --build-dir needs a folder" >&2; exit 2; }; bin=$2; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done

sim=$bin/sim/robot_sim
controller=$bin/app/agent_controller
viewer=$bin/tools/image_viewer/image_viewer
tour=$bin/tools/ball_tour/ball_tour
port_tool=$bin/tools/port_tool/port_tool

if [ "$build" = 1 ]; then
  scripts/install-deps.sh || exit 1
  mkdir -p "$out" || exit 1
  cmake -S . -B "$bin" -G Ninja >"$out/configure.log" 2>&1 || { cat "$out/configure.log"; exit 1; }
  cmake --build "$bin" -j "$(nproc 2>/dev/null || echo 2)" \
    --target robot_sim agent_controller image_viewer ball_tour port_tool || exit 1
fi
for program in "$sim" "$controller" "$viewer" "$tour" "$port_tool"; do
  [ -x "$program" ] || { echo "demo: $program is not built (run without --no-build)" >&2; exit 1; }
done

if [ "$headless" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display (DISPLAY is not set): the windows run offscreen and the scripted tour runs instead"
  headless=1
fi
if [ "$headless" = 1 ]; then
  export QT_QPA_PLATFORM=offscreen
fi
mkdir -p "$out" || exit 1

for port in /icubSim/world /left/image/in; do
  if "$port_tool" exists "$port" >/dev/null 2>&1; then
    echo "demo: $port is already open: another simulator or controller is running in this port registry." >&2
    echo "      Stop it, or set AGENT_CONTROLLER_PORTS to a directory of your own." >&2
    exit 1
  fi
done

# Programs started, in start order; stopped in reverse order.
pids=()
names=()
stopping=0

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
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[$i]}" 2>/dev/null
  done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[$i]}
    waited=0
    while kill -0 "$pid" 2>/dev/null && [ $waited -lt 100 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "demo: ${names[$i]} did not stop within 10 s of SIGTERM; killing it"
      kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
  done
  local left
  left=$("$port_tool" list 2>/dev/null | grep -E '^/(icubSim|left/|test/|move_ball|image_viewer|ball_tour)' || true)
  if [ -n "$left" ]; then
    echo "demo: ports still open after the stop:"
    echo "$left"
  else
    echo "demo: everything stopped, no port left open"
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
  while ! "$port_tool" exists "$port" >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null; then
      return 1
    fi
    tenths=$((tenths - 1))
    [ $tenths -gt 0 ] || return 1
    sleep 0.1
  done
}

echo "demo: starting robot_sim (log: $out/robot_sim.log)"
start robot_sim "$out/robot_sim.log" "$sim"
for port in /icubSim/world /icubSim/cam/left; do
  if ! wait_for_port "$port" 30 "${pids[0]}"; then
    echo "demo: robot_sim did not open $port; its log:" >&2
    tail -n 20 "$out/robot_sim.log" >&2
    exit 1
  fi
done

echo "demo: starting agent_controller (log: $out/agent_controller.log)"
start agent_controller "$out/agent_controller.log" "$controller"
if ! wait_for_port /left/image/in 30 "${pids[1]}"; then
  echo "demo: agent_controller did not come up; its log:" >&2
  tail -n 20 "$out/agent_controller.log" >&2
  exit 1
fi

if [ "$headless" = 1 ]; then
  echo "demo: running the ball tour (snapshots in $out/)"
  start ball_tour "" "$tour" --out "$out"
  wait "${pids[2]}"
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
      does too).
EOF
wait "${pids[1]}"
echo "demo: agent_controller ended"
stop_all
exit 0
