#!/usr/bin/env bash
# Installs what is missing, builds, then runs the simulator stand-in and the controller.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
if [ ! -x build/sim/robot_sim ] || [ ! -x build/app/agent_controller ]; then
  echo "demo: not available yet (the simulator stand-in or the controller is not built)"
  exit 0
fi
echo "demo: not available yet"
