#!/usr/bin/env bash
# Regenerates the window pictures in docs/ (head-window.png, arm-window.png,
# world-window.png), rendered offscreen. Usage: scripts/screenshots.sh [build directory]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target window_screenshots
# A private port registry, so that a running controller's /move_ball is left alone.
registry=$(mktemp -d)
trap 'rm -rf "$registry"' EXIT
AGENT_CONTROLLER_PORTS="$registry" QT_QPA_PLATFORM=offscreen \
  "$build/gui/window_screenshots" docs
