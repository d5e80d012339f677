#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# apt-get update runs at most once per machine boot cycle of this script.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qtbase5-dev libqt5charts5-dev libgtest-dev libgmock-dev libbenchmark-dev
          ccache libxml2-utils)   # xmllint checks the yarpmanager application files
# Optional extras: clang's libFuzzer for the fuzz targets.
if [ "${AC_WITH_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and neither root nor sudo available" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
