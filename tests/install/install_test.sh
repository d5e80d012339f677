#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, builds examples/ball_watch against that
# prefix alone (find_package(AgentController CONFIG)), and runs it against the installed
# robot_sim until its own agent sees the ball; then it must quit on SIGTERM with status 0.
#
# On an installed YARP with yarprun and yarpmanager-console beside it, yarpmanager then starts
# the installed stand-in application file through yarprun: the controller must come up and
# find the ball, the camera view must be connected.
#
#   install_test.sh BUILD_DIR SOURCE_DIR [YARP_DIR [YARP_BIN_DIR]]
set -euo pipefail
build=$1 source=$2 yarp_dir=${3:-} yarp_bin=${4:-}
work=$(mktemp -d -t ac-install.XXXXXX)
pids=()
# The programs the install's files started, ours or yarprun's children: found by their
# executable, which lies under the temporary prefix.
installed_programs() {
  local exe
  for proc in /proc/[0-9]*; do
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    case "$exe" in "$work"/*) echo "${proc#/proc/}" ;; esac
  done
}
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  local left
  left=$(installed_programs)
  if [ -n "$left" ]; then
    kill -TERM $left 2>/dev/null || true
    for _ in $(seq 150); do [ -z "$(installed_programs)" ] && break; sleep 0.2; done
    left=$(installed_programs)
    [ -n "$left" ] && kill -KILL $left 2>/dev/null
  fi
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
kill -TERM "${pids[0]}"
wait "${pids[0]}" || true
pids=()
echo "install_test: installed, built the example against the install alone, and it saw the ball"

[ -n "$yarp_bin" ] && [ -x "$yarp_bin/yarprun" ] && [ -x "$yarp_bin/yarpmanager-console" ] || exit 0
# Polls `what` (a command) for up to `seconds`.
await() {
  local seconds=$1; shift
  local until=$((SECONDS + seconds))
  until "$@" > /dev/null 2>&1; do
    [ "$SECONDS" -lt "$until" ] || return 1
    sleep 0.2
  done
}
yarp=$yarp_bin/yarp
export PATH="$prefix/bin:$yarp_bin:$PATH" QT_QPA_PLATFORM=offscreen
yarprun --server /localhost > "$work/yarprun.log" 2>&1 &
pids+=($!)
await 30 "$yarp" exists /localhost || fail "yarprun did not come up"
apps=$prefix/share/agent_controller/yarpmanager
manage() { (cd "$apps" && timeout 60 yarpmanager-console --application agent_controller_stand_in.xml "$@" --exit); }
manage --run --connect > "$work/manager.log" 2>&1 || { cat "$work/manager.log"; fail "yarpmanager could not run the application"; }
ball_found() { echo "get ballPos" | "$yarp" rpc /agent_controller/space/rpc 2>/dev/null | grep -qE ',1\]|,1\.0*\]'; }
await 120 ball_found || { manage --stop > /dev/null 2>&1 || true; fail "the controller started by yarpmanager never found the ball"; }
await 30 "$yarp" exists /agent_controller/view/left || fail "the camera view started by yarpmanager is not up"
manage --stop > "$work/manager-stop.log" 2>&1 || true
echo "install_test: yarpmanager started the stand-in, the controller and the camera view from the installed application file; the controller found the ball"
