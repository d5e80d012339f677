#!/usr/bin/env bash
# Simulator on one host, controller on another, one YARP name server: two name-server clients
# on this machine, each with a configuration home of its own (what a second computer has),
# both told where the name server is with `yarp conf`. robot_sim runs as host A, the
# controller as host B, and ball_tour (host A) checks that the controller centres the ball.
#
#   two_hosts_test.sh <yarp> <robot_sim> <agent_controller> <ball_tour>
#
# Runs under scripts/with-yarpserver.sh: YARP_CONFIG_HOME already names the private name
# server (host A's configuration) and YARP_NS_PORT is its port.
set -uo pipefail
yarp=$1 sim=$2 controller=$3 tour=$4
: "${YARP_NS_PORT:?run under scripts/with-yarpserver.sh}"

work=$(mktemp -d "${TMPDIR:-/tmp}/ac-two-hosts-XXXXXX") || exit 1
pids=()
finish() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap finish EXIT
fail() { echo "two_hosts_test: $*"; for f in "$work"/*.log; do echo "--- $f"; tail -n 15 "$f"; done; exit 1; }

host_a=$YARP_CONFIG_HOME
host_b=$work/host-b/config
mkdir -p "$host_b"
on_b() { YARP_CONFIG_HOME=$host_b "$@"; }

# Host B knows nothing yet; `yarp conf` records where the name server is.
on_b timeout -k 2 20 "$yarp" conf 127.0.0.1 "$YARP_NS_PORT" >/dev/null || fail "yarp conf failed"
grep -q "$YARP_NS_PORT" "$host_b/yarp.conf" || fail "yarp conf did not write $host_b/yarp.conf"
on_b timeout -k 2 20 "$yarp" where >"$work/where.log" 2>&1 || fail "host B does not reach the name server"
grep -q "$YARP_NS_PORT" "$work/where.log" || fail "host B's yarp where names another name server"

wait_on() {  # wait_on <config home> <port>: until that host sees the port (60 s)
  local tenths=600
  until YARP_CONFIG_HOME=$1 timeout -k 2 10 "$yarp" exists "$2" >/dev/null 2>&1; do
    tenths=$((tenths - 1))
    [ $tenths -gt 0 ] || return 1
    sleep 0.1
  done
}

YARP_CONFIG_HOME=$host_a "$sim" --quiet >"$work/robot_sim.log" 2>&1 &
pids+=($!)
wait_on "$host_b" /icubSim/cam/left || fail "host B never saw host A's simulator"

# Started directly (not through a function) so that $! is the controller itself.
YARP_CONFIG_HOME=$host_b QT_QPA_PLATFORM=offscreen "$controller" >"$work/agent_controller.log" 2>&1 &
pids+=($!)
wait_on "$host_a" /left/image/in || fail "host A never saw host B's controller"

# A ball at the back of the table, within the neck's reach: the controller finds and centres it.
YARP_CONFIG_HOME=$host_a "$tour" --stop -0.2 0.554 0.61 --timeout 90 --out "$work" >"$work/ball_tour.log" 2>&1 \
  || fail "the controller on host B did not centre the ball seen by host A's simulator"
tail -n 3 "$work/ball_tour.log"
echo "two_hosts_test: simulator (config $host_a) and controller (config $host_b) met on 127.0.0.1:$YARP_NS_PORT"
