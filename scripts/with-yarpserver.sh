#!/usr/bin/env bash
# Runs one command against a private YARP name server that lives exactly as long as the
# command: ctest launches every suite of a tree built on an installed YARP through this.
#
#   with-yarpserver.sh [--yarpserver PROGRAM] [--library-dir DIR] [--data-dir DIR] -- COMMAND...
#
# The server and the command share a fresh YARP_CONFIG_HOME and YARP_DATA_HOME in a temporary
# directory (removed afterwards); --library-dir is put in front of LD_LIBRARY_PATH and
# --data-dir becomes YARP_DATA_DIRS (where YARP finds its carrier and device plugins).
# Exits with the command's status; the server's log is printed when the command failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=yarp-name-server.sh
source "$here/yarp-name-server.sh"

server=$(command -v yarpserver 2>/dev/null || true)
while [ $# -gt 0 ]; do
  case "$1" in
    --yarpserver) server=$2; shift 2 ;;
    --library-dir) [ -n "$2" ] && export LD_LIBRARY_PATH=$2${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}; shift 2 ;;
    --data-dir) [ -n "$2" ] && export YARP_DATA_DIRS=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "with-yarpserver: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "with-yarpserver: no command given" >&2; exit 2; }

state=$(mktemp -d "${TMPDIR:-/tmp}/ac-yarp-XXXXXX") || exit 1
child=
finish() {
  [ -n "$child" ] && kill -TERM "$child" 2>/dev/null && wait "$child" 2>/dev/null
  yarp_ns_stop
  rm -rf "$state"
}
trap 'finish; exit 143' TERM INT
trap finish EXIT

yarp_ns_start "$state" "$server" || exit 1
export YARP_COLORED_OUTPUT=0
"$@" &
child=$!
wait "$child"
status=$?
child=
if [ $status -ne 0 ]; then
  echo "with-yarpserver: the command ended with status $status; name server 127.0.0.1:$YARP_NS_PORT, its log:"
  tail -n 20 "$yarp_ns_log"
fi
exit $status
