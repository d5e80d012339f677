#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, builds examples/ball_watch against that
# prefix alone (find_package(AgentController CONFIG)), and runs it against the installed
# robot_sim until its own agent sees the ball; then it must quit on SIGTERM with status 0.
#
#   install_test.sh BUILD_DIR SOURCE_DIR [YARP_DIR]
set -euo pipefail
build=$1 source=$2 yarp_dir=${3:-}
work=$(mktemp -d -t ac-install.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || fail "cmake --install failed (see above)"

for f in bin/agent_controller bin/agent_controller_basic bin/robot_sim bin/space_inspector \
         bin/ball_tour lib/cmake/AgentController/AgentControllerConfig.cmake \
         lib/cmake/AgentController/AgentControllerConfigVersion.cmake \
         lib/cmake/AgentController/AgentControllerTargets.cmake \
         include/agent_controller/core/agentspace.h \
         include/agent_controller/agents/robot/motor_agents.h \
         include/agent_controller/agents/behaviour/gaze_agents.h \
         include/agent_controller/app/wiring.h \
         share/agent_controller/yarpmanager/agent_controller.xml; do
  [ -e "$prefix/$f" ] || fail "the install lacks $f"
done
if [ -z "$yarp_dir" ]; then
  # The bundled layer installs beside the package, never where a real YARP's files go.
  [ -e "$prefix/include/agent_controller/bundled-yarp/yarp/os/Port.h" ] || fail "no bundled YARP headers"
  [ ! -e "$prefix/include/yarp" ] || fail "bundled YARP headers in include/yarp, where a real YARP's go"
  ! ls "$prefix/lib" | grep -q '^libYARP' || fail "a library named like a real YARP's"
fi

# The example sees nothing of this tree: only the prefix (and the installed YARP it needs).
configure=(cmake -S "$source/examples/ball_watch" -B "$work/example" -G Ninja
           -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ -n "$yarp_dir" ] && configure+=(-DYARP_DIR="$yarp_dir")
"${configure[@]}" > "$work/example-configure.log" 2>&1 \
  || { cat "$work/example-configure.log"; fail "the example does not configure against the install"; }
cmake --build "$work/example" > "$work/example-build.log" 2>&1 \
  || { cat "$work/example-build.log"; fail "the example does not build against the install"; }
"$work/example/ball_watch" --help | grep -q "BallWatchAgent" || fail "ball_watch --help says nothing of its agent"

"$prefix/bin/robot_sim" > "$work/sim.log" 2>&1 &
pids+=($!)
"$work/example/ball_watch" > "$work/watch.log" 2>&1 &
watch=$!
pids+=("$watch")
# The agents bind the simulator when it is up and search for the ball; the line comes once
# the ball finder has seen it.
if ! (set +o pipefail
       timeout 120 tail -n +1 -F "$work/watch.log" 2>/dev/null | grep -q -m1 "BallWatch: the ball is in view"); then
  tail -n 20 "$work/watch.log" >&2
  fail "ball_watch never saw the ball"
fi
kill -TERM "$watch"
status=0
timeout 30 tail --pid="$watch" -f /dev/null || fail "ball_watch did not end within 30 s of SIGTERM"
wait "$watch" || status=$?
[ "$status" -eq 0 ] || fail "ball_watch ended with status $status on SIGTERM"
echo "install_test: installed, built the example against the install alone, and it saw the ball"
