#!/usr/bin/env bash
# The layers of docs/architecture.md hold: no folder includes a header of a folder it may not
# use. Reads the include lines of the tree; prints every one that crosses a line it may not.
#
#   layers_test.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 2
bad=0
# forbid FOLDER PATTERN WHY [ALLOWED]: no source under FOLDER may include a header matching
# PATTERN, but for the headers matching ALLOWED.
forbid() {
  local folder=$1 pattern=$2 why=$3 allowed=${4:-^$} hits
  hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($pattern)" "$folder" \
           --include='*.h' --include='*.cpp' 2>/dev/null | grep -vE "$allowed")
  if [ -n "$hits" ]; then
    echo "$folder: $why"
    echo "$hits" | sed 's/^/  /'
    bad=1
  fi
}
forbid core 'yarp/|Q[A-Za-z]|agents/|app/|gui/|sim/|tools/' "the core uses the standard library and POSIX only"
forbid agents/robot 'agents/behaviour/|Q[A-Za-z]|app/|gui/|sim/|tools/' "robot agents use the core and YARP only"
forbid agents/behaviour 'agents/robot/|yarp/dev/|yarp/os/(Port|BufferedPort|RpcClient)|Q[A-Za-z]|app/|gui/|sim/|tools/' \
  "behaviour agents read and write the Space only"
forbid gui 'agents/|app/|sim/|tools/' "windows use the core and YARP only"
forbid app 'sim/|tools/' "the programs never include the stand-in or the tools"
forbid sim 'core/|agents/|app/|gui/|tools/|tests/' "the stand-in is built without the controller's folders" \
  'core/(shutdown_deadline|registration_walk)\.h'   # header-only: robot_sim bounds its shutdown and
                                                   # registers its canary as the controllers do
forbid sim/model 'yarp/|sim/(render|simulation|serve)/' "the model knows nothing of ports or the layers above it"
forbid sim/render 'yarp/|sim/(simulation|serve)/' "the renderer knows nothing of ports or the layers above it"
forbid sim/simulation 'yarp/|sim/serve/' "the simulation is free of any transport"
forbid compat/include 'core/|agents/|app/|gui/|sim/|tools/' "the bundled YARP knows nothing of the project"
[ "$bad" -eq 0 ] && echo "layers_test: every include stays within its layer"
exit "$bad"
