#!/usr/bin/env bash
# Regenerates the window pictures in docs/ (head-window.png, arm-window.png,
# world-window.png), rendered offscreen, and the Space inspector's two pictures
# (space-inspector.png while the controller tracks the ball, ball-move-trace.png from a
# recorded trace) with robot_sim, agent_controller and ball_tour running on the bundled layer.
# Usage: scripts/screenshots.sh [build directory]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target window_screenshots robot_sim agent_controller ball_tour space_inspector port_tool
# A private port registry, so that a running controller's ports are left alone.
registry=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$registry"
}
trap cleanup EXIT
export AGENT_CONTROLLER_PORTS="$registry" QT_QPA_PLATFORM=offscreen
"$build/gui/window_screenshots" docs

# The inspector while the tour moves the ball: three stops, the window grabbed after 14 s.
"$build/sim/robot_sim" --quiet >"$registry/robot_sim.log" 2>&1 &
pids+=($!)
tries=300
until "$build/tools/port_tool/port_tool" exists /icubSim/cam/left >/dev/null 2>&1 || [ $tries -eq 0 ]; do
  sleep 0.1; tries=$((tries - 1))
done
"$build/app/agent_controller" >"$registry/agent_controller.log" 2>&1 &
pids+=($!)
tries=300
until "$build/tools/port_tool/port_tool" exists /agent_controller/space/rpc >/dev/null 2>&1 || [ $tries -eq 0 ]; do
  sleep 0.1; tries=$((tries - 1))
done
"$build/tools/ball_tour/ball_tour" --stop 0.15 0.554 0.61 --stop -0.2 0.554 0.61 \
    --stop 0.30 0.554 0.58 --out "$registry/tour" --trace "$registry/tour/traces" >"$registry/tour.log" 2>&1 &
tour=$!
sleep 2  # the tour's first stop is under way when the window starts its 30 s
"$build/tools/space_inspector/space_inspector" --screenshot docs/space-inspector.png --after 14
wait "$tour"
"$build/tools/space_inspector/space_inspector" --plot "$registry"/tour/traces/02-*.jsonl \
    --out docs/ball-move-trace.png
