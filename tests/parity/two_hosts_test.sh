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

# Two real hosts, as far as one machine can make them: network namespaces joined by a veth
# pair, with addresses that exist only inside them. Host A holds the name server, the
# simulator and the tour; host B the controller. Skipped, with the reason, when namespaces
# cannot be made (not root, no iproute2, no permission).
netns_reason=
suffix=$$
ns_a=ac-host-a-$suffix ns_b=ac-host-b-$suffix
if [ "$(id -u)" != 0 ]; then
  netns_reason="not root"
elif ! command -v ip >/dev/null; then
  netns_reason="no ip command (iproute2)"
elif ! ip netns add "$ns_a" 2>"$work/netns.err"; then
  netns_reason="ip netns add failed: $(head -n 1 "$work/netns.err")"
fi
if [ -z "$netns_reason" ]; then
  cleanup_netns() { ip netns pids "$ns_a" 2>/dev/null | xargs -r kill -KILL; ip netns pids "$ns_b" 2>/dev/null | xargs -r kill -KILL;
                    ip netns del "$ns_a" 2>/dev/null; ip netns del "$ns_b" 2>/dev/null; }
  trap 'cleanup_netns; finish' EXIT
  addr_a=10.213.$((suffix % 250)).1 addr_b=10.213.$((suffix % 250)).2
  ip netns add "$ns_b" && ip link add "va-$suffix" type veth peer name "vb-$suffix" \
    && ip link set "va-$suffix" netns "$ns_a" && ip link set "vb-$suffix" netns "$ns_b" \
    && ip -n "$ns_a" addr add "$addr_a/24" dev "va-$suffix" && ip -n "$ns_b" addr add "$addr_b/24" dev "vb-$suffix" \
    && ip -n "$ns_a" link set "va-$suffix" up && ip -n "$ns_b" link set "vb-$suffix" up \
    && ip -n "$ns_a" link set lo up && ip -n "$ns_b" link set lo up \
    || fail "could not join the namespaces with a veth pair"
  net_a=$work/net-a/config net_b=$work/net-b/config
  mkdir -p "$net_a" "$net_b"
  server=$(dirname "$yarp")/yarpserver
  ns_port=10000
  echo "$addr_a $ns_port yarp" >"$net_a/yarp.conf"
  YARP_CONFIG_HOME=$net_a ip netns exec "$ns_a" "$server" --ip "$addr_a" --socket "$ns_port" >"$work/net-yarpserver.log" 2>&1 &
  pids+=($!)
  YARP_CONFIG_HOME=$net_b ip netns exec "$ns_b" timeout -k 2 20 "$yarp" conf "$addr_a" "$ns_port" >/dev/null \
    || fail "yarp conf failed in host B's namespace"
  ns_wait() {  # ns_wait <namespace> <config home> <port>
    local tenths=600
    until YARP_CONFIG_HOME=$2 ip netns exec "$1" timeout -k 2 10 "$yarp" exists "$3" >/dev/null 2>&1; do
      tenths=$((tenths - 1)); [ $tenths -gt 0 ] || return 1; sleep 0.1
    done
  }
  YARP_CONFIG_HOME=$net_a ip netns exec "$ns_a" "$sim" --quiet >"$work/net-robot_sim.log" 2>&1 &
  pids+=($!)
  ns_wait "$ns_b" "$net_b" /icubSim/cam/left || fail "host B (namespace) never saw host A's simulator over the veth pair"
  YARP_CONFIG_HOME=$net_b QT_QPA_PLATFORM=offscreen ip netns exec "$ns_b" "$controller" >"$work/net-agent_controller.log" 2>&1 &
  pids+=($!)
  ns_wait "$ns_a" "$net_a" /left/image/in || fail "host A (namespace) never saw host B's controller"
  YARP_CONFIG_HOME=$net_a ip netns exec "$ns_a" "$tour" --stop -0.2 0.554 0.61 --timeout 90 --out "$work" \
      >"$work/net-ball_tour.log" 2>&1 \
    || fail "over the veth pair, the controller in host B did not centre the ball seen by host A's simulator"
  tail -n 2 "$work/net-ball_tour.log"
  echo "two_hosts_test: simulator at $addr_a and controller at $addr_b met over a veth pair between two network namespaces"
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  pids=()
  cleanup_netns
else
  echo "two_hosts_test: two network namespaces skipped: $netns_reason"
fi

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
