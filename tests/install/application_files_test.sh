#!/usr/bin/env bash
# The yarpmanager application files are valid against the schema of the application format
# they use; where yarpmanager-console is installed, it loads each one and lists its modules.
#
#   application_files_test.sh SOURCE_DIR [YARPMANAGER_CONSOLE]
set -euo pipefail
source=$1 manager=${2:-}
dir=$source/app/yarpmanager
fail() { echo "application_files_test: $*" >&2; exit 1; }

shopt -s nullglob
files=("$dir"/*.xml)
[ "${#files[@]}" -ge 2 ] || fail "no application files in $dir"
xmllint --noout --schema "$dir/application.xsd" "${files[@]}" || fail "an application file is not valid"

if [ -n "$manager" ] && [ -x "$manager" ]; then
  for f in "${files[@]}"; do
    out=$(cd "$(dirname "$f")" && printf 'exit\n' | timeout 30 "$manager" --application "$(basename "$f")" 2>&1) \
      || fail "$manager does not load $f"
    for module in agent_controller image_viewer; do
      grep -q "$module" <<<"$out" || fail "$manager lists no module $module for $f"
    done
  done
  echo "application_files_test: valid, and yarpmanager-console loads every file"
else
  echo "application_files_test: valid (no yarpmanager-console here to load them)"
fi
