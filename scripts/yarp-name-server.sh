# shellcheck shell=bash
# A private YARP name server for one run (the suites, the demo, the benchmarks). Source this
# file, then:
#
#   yarp_ns_start <state dir> <yarpserver program>   start one; exports YARP_CONFIG_HOME,
#                                                    YARP_DATA_HOME and YARP_NS_PORT
#   yarp_ns_stop                                     stop the one this shell started
#
# The server gets its own YARP_CONFIG_HOME (the name-server address lives there, so a user's
# own configuration and name server are never touched) and a port block of its own:
# yarpserver hands out the ports above its socket (socket+2, +3, ... one per registration),
# so the socket is the start of a block of YARP_NS_BLOCK ports in which nothing listens. Blocks
# lie between YARP_NS_FIRST and YARP_NS_LAST, below the kernel's ephemeral range, and are
# tried in random order; two servers racing for one block are told apart by the bind itself.

YARP_NS_FIRST=${YARP_NS_FIRST:-20000}
YARP_NS_LAST=${YARP_NS_LAST:-32399}
YARP_NS_BLOCK=${YARP_NS_BLOCK:-400}
yarp_ns_pid=
yarp_ns_log=

# Prints the TCP ports in LISTEN state (decimal), one per line.
yarp_ns_listening_ports() {
  local hex
  for hex in $(awk 'FNR > 1 && $4 == "0A" { split($2, a, ":"); print a[2] }' \
      /proc/net/tcp /proc/net/tcp6 2>/dev/null); do
    echo $((16#$hex))
  done
}

# Prints a block start with no listener inside [start, start + block), or nothing.
yarp_ns_free_block() {
  local blocks=$(((YARP_NS_LAST + 1 - YARP_NS_FIRST) / YARP_NS_BLOCK))
  local busy start i
  busy=$(yarp_ns_listening_ports)
  for ((i = 0; i < 8; i++)); do
    start=$((YARP_NS_FIRST + (RANDOM % blocks) * YARP_NS_BLOCK))
    if ! awk -v lo="$start" -v hi=$((start + YARP_NS_BLOCK)) \
        '$1 >= lo && $1 < hi { found = 1 } END { exit !found }' <<<"$busy"; then
      echo "$start"
      return 0
    fi
  done
  return 1
}

yarp_ns_start() {  # yarp_ns_start <state dir> <yarpserver>
  local state=$1 server=$2 attempt port tenths line_buffered=
  command -v stdbuf >/dev/null && line_buffered="stdbuf -oL -eL"
  if [ ! -x "$server" ]; then
    echo "yarp-name-server: '$server' is not an executable yarpserver" >&2
    return 1
  fi
  mkdir -p "$state/config" "$state/data" || return 1
  export YARP_CONFIG_HOME=$state/config
  export YARP_DATA_HOME=$state/data
  unset YARP_NAMESPACE
  yarp_ns_log=$state/yarpserver.log
  for attempt in 1 2 3 4 5 6; do
    port=$(yarp_ns_free_block) || continue
    # The address every client of this configuration home looks up first.
    echo "127.0.0.1 $port yarp" >"$YARP_CONFIG_HOME/yarp.conf"
    # Line-buffered, so its "Ok. Ready!" reaches the log when it is printed.
    $line_buffered "$server" --read --ip 127.0.0.1 --socket "$port" >"$yarp_ns_log" 2>&1 </dev/null &
    yarp_ns_pid=$!
    tenths=300
    while [ $tenths -gt 0 ]; do
      if grep -q 'Ok. Ready!' "$yarp_ns_log" 2>/dev/null; then
        export YARP_NS_PORT=$port
        return 0
      fi
      kill -0 "$yarp_ns_pid" 2>/dev/null || break
      sleep 0.05
      tenths=$((tenths - 1))
    done
    # Did not come up (its socket was taken meanwhile, or it hangs): try another block.
    yarp_ns_stop
    echo "yarp-name-server: yarpserver on port $port did not come up (attempt $attempt); its log:" >&2
    tail -n 5 "$yarp_ns_log" >&2
  done
  echo "yarp-name-server: no private name server could be started" >&2
  return 1
}

yarp_ns_stop() {
  [ -n "$yarp_ns_pid" ] || return 0
  local waited=0
  kill -TERM "$yarp_ns_pid" 2>/dev/null
  while kill -0 "$yarp_ns_pid" 2>/dev/null && [ $waited -lt 50 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL "$yarp_ns_pid" 2>/dev/null
  wait "$yarp_ns_pid" 2>/dev/null
  yarp_ns_pid=
}
