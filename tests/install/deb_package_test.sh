#!/usr/bin/env bash
# `cpack -G DEB` on the build tree makes one Debian package of the install; lists what it
# holds and checks the parts a user needs are there, under /usr.
#
#   deb_package_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d -t ac-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "deb_package_test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1) \
  || { tail -n 30 "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
shopt -s nullglob
debs=("$work"/*.deb)
[ "${#debs[@]}" -eq 1 ] || fail "expected one .deb, found ${#debs[@]}"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = agent-controller ] || fail "package name is not agent-controller"
dpkg-deb -c "$deb" | awk '{print $NF}' > "$work/contents"
for f in ./usr/bin/agent_controller ./usr/bin/agent_controller_basic ./usr/bin/robot_sim \
         ./usr/lib/cmake/AgentController/AgentControllerConfig.cmake \
         ./usr/include/agent_controller/core/agentspace.h \
         ./usr/share/agent_controller/yarpmanager/agent_controller.xml; do
  grep -qxF "$f" "$work/contents" || fail "the package lacks $f"
done
echo "deb_package_test: $(basename "$deb"), $(wc -l < "$work/contents") entries"
