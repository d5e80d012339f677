#!/usr/bin/env bash
# Builds the benchmarks and prints every figure of the project as one Markdown table: each
# Google Benchmark program under <build>/bench/ (name, time, CPU time, iterations, user
# counters), then the end-to-end figures measured by ball_tour --measure against a running
# robot_sim and agent_controller. The machine's description comes first. When an installed
# YARP is found (or build-yarp/ was configured with one), the port benchmarks also run on it,
# against a private name server, and a second table puts both YARPs side by side.
set -uo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
Usage: bench/run.sh [--build-dir DIR] [--yarp-build-dir DIR] [--no-build] [--no-e2e]
                    [--no-yarp] [--moves N] [--out FILE]

  --build-dir DIR  build tree on the bundled layer (default build)
  --yarp-build-dir DIR  build tree on the installed YARP for the side-by-side port figures
                   (default build-yarp; configured when CMake finds an installed YARP)
  --no-build       use the programs already built
  --no-e2e         only the benchmark programs
  --no-yarp        no side-by-side figures on the installed YARP
  --moves N        ball moves of the end-to-end measurement (default 20)
  --out FILE       also write the table to FILE (e.g. docs/figures.md)
EOF
}

bin=build
yarp_bin=build-yarp
build=1
e2e=1
side_by_side=1
moves=20
out_file=
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) bin=${2:-}; shift ;;
    --yarp-build-dir) yarp_bin=${2:-}; shift ;;
    --no-yarp) side_by_side=0 ;;
    --no-build) build=0 ;;
    --no-e2e) e2e=0 ;;
    --moves) moves=${2:-}; shift ;;
    --out) out_file=${2:-}; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "bench: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done
[[ "$moves" =~ ^[0-9]+$ ]] && [ "$moves" -ge 1 ] || { echo "bench: --moves needs a whole number >= 1" >&2; exit 2; }

cached() {  # cached <tree> <variable>: a value from the tree's CMake cache
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" 2>/dev/null | head -n 1
}
if [ "$side_by_side" = 1 ] && [ "$(cached "$yarp_bin" AC_YARP_CHOICE)" != SYSTEM ]; then
  if [ "$build" = 1 ] && [ -z "$(cached "$yarp_bin" AC_YARP_CHOICE)" ] && found=$(scripts/find-yarp.sh); then
    echo "bench: CMake finds YARP $found: the port benchmarks also run on it ($yarp_bin)" >&2
  else
    echo "bench: no installed YARP ($yarp_bin is not configured with one and CMake finds none): bundled figures only" >&2
    side_by_side=0
  fi
fi

if [ "$build" = 1 ]; then
  scripts/install-deps.sh || exit 1
  if [ "$side_by_side" = 1 ]; then
    cmake -S . -B "$yarp_bin" -G Ninja -DAGENT_CONTROLLER_YARP=SYSTEM >/dev/null || exit 1
    cmake --build "$yarp_bin" -j "$(nproc 2>/dev/null || echo 2)" --target compat_ports_bench >&2 || exit 1
  fi
  cmake -S . -B "$bin" -G Ninja >/dev/null || exit 1
  targets=(benchmarks)
  [ "$e2e" = 1 ] && targets+=(robot_sim agent_controller ball_tour port_tool)
  cmake --build "$bin" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}" >&2 || exit 1
fi

work=$(mktemp -d /tmp/ac-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
table=$work/table.md

# --- the machine ---------------------------------------------------------------------------
cpu=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
cores=$(nproc 2>/dev/null || echo '?')
memory=$(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
os=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-}")
commit=$(git rev-parse --short HEAD 2>/dev/null || echo '?')
load=$(cut -d' ' -f1-3 /proc/loadavg)
{
  echo "# Figures"
  echo
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') at commit $commit by \`bench/run.sh\`."
  echo
  echo "- CPU: ${cpu:-unknown}, $cores cores"
  echo "- Memory: $memory"
  echo "- Kernel: $(uname -sr)${os:+ ($os)}"
  echo "- Load average before the run: $load"
  echo
  echo "| Program | Benchmark | Time | CPU | Iterations | Counters |"
  echo "|---|---|---:|---:|---:|---|"
} >"$table"

# --- Google Benchmark programs ---------------------------------------------------------------
# Turns one program's JSON output into table rows. Google Benchmark writes one key per line;
# every numeric key that is not one of its own is a user counter.
json_rows() {  # json_rows <program name> <json file>
  awk -v program="$1" '
    function human(v,   a) {
      a = (v < 0) ? -v : v
      if (a >= 1e9) return sprintf("%.3gG", v / 1e9)
      if (a >= 1e6) return sprintf("%.3gM", v / 1e6)
      if (a >= 1e5) return sprintf("%.3gk", v / 1e3)
      if (a >= 100) return sprintf("%.0f", v)
      return sprintf("%.3g", v)
    }
    function duration(v, unit) {
      if (unit == "ns" && v >= 1e6) { v /= 1e6; unit = "ms" }
      else if (unit == "ns" && v >= 1e3) { v /= 1e3; unit = "us" }
      else if (unit == "us" && v >= 1e3) { v /= 1e3; unit = "ms" }
      else if (unit == "ms" && v >= 1e3) { v /= 1e3; unit = "s" }
      return sprintf("%.3g %s", v, unit)
    }
    function flush() {
      if (name == "") return
      if (error != "") { counters = "error: " error }
      if (aggregate_unit == "percentage") {
        # coefficient of variation: every figure of the row is a ratio
        printf "| %s | %s | %.1f %% | %.1f %% | %s | %s |\n", program, name, real * 100, cpu * 100, iterations, percent_counters
        name = ""; counters = ""; percent_counters = ""; error = ""; aggregate_unit = ""
        return
      }
      printf "| %s | %s | %s | %s | %s | %s |\n", program, name, duration(real, unit), duration(cpu, unit), iterations, counters
      name = ""; counters = ""; percent_counters = ""; error = ""; aggregate_unit = ""; real = 0; cpu = 0; iterations = ""; unit = "ns"
    }
    BEGIN { inside = 0; unit = "ns" }
    /"benchmarks": \[/ { inside = 1; next }
    !inside { next }
    /^ *\{ *$/ { flush(); next }
    /^ *\}/ { flush(); next }
    {
      line = $0
      sub(/^ *"/, "", line)
      key = line; sub(/".*/, "", key)
      value = line; sub(/^[^:]*: */, "", value); sub(/,$/, "", value)
      if (key == "name") { gsub(/"/, "", value); name = value }
      else if (key == "real_time") real = value + 0
      else if (key == "cpu_time") cpu = value + 0
      else if (key == "time_unit") { gsub(/"/, "", value); unit = value }
      else if (key == "iterations") iterations = value
      else if (key == "error_message") { gsub(/"/, "", value); error = value }
      else if (key == "aggregate_unit") { gsub(/"/, "", value); aggregate_unit = value }
      else if (key ~ /^(family_index|per_family_instance_index|run_name|run_type|repetitions|repetition_index|threads|label|error_occurred|aggregate_name)$/) { }
      else if (value ~ /^-?[0-9.eE+-]+$/) {
        counters = counters (counters == "" ? "" : ", ") key "=" human(value + 0)
        percent_counters = percent_counters (percent_counters == "" ? "" : ", ") key "=" sprintf("%.1f %%", value * 100)
      }
    }
    END { flush() }
  ' "$2"
}

mapfile -t programs < <(ninja -C "$bin" -t query benchmarks 2>/dev/null | awk '/^ +input:/ {on = 1; next} /^ +outputs:/ {on = 0} on {print $1}')
if [ ${#programs[@]} -eq 0 ]; then
  echo "bench: no benchmark programs in $bin (build the 'benchmarks' target)" >&2
fi
status=0
for rel in "${programs[@]}"; do
  program=$bin/$rel
  name=$(basename "$rel")
  [ -x "$program" ] || { echo "bench: $program is missing" >&2; status=1; continue; }
  echo "bench: running $name" >&2
  # Each program gets a port registry of its own (some start processes and open ports).
  if ! AGENT_CONTROLLER_PORTS=$(mktemp -d "$work/ports-XXXXXX") QT_QPA_PLATFORM=offscreen \
      "$program" --benchmark_out="$work/$name.json" --benchmark_out_format=json >"$work/$name.log" 2>&1; then
    echo "bench: $name failed; its output:" >&2
    tail -n 20 "$work/$name.log" >&2
    echo "| $name | (failed) | | | | see the run's output |" >>"$table"
    status=1
    continue
  fi
  json_rows "$name" "$work/$name.json" >>"$table"
done

# --- end to end ------------------------------------------------------------------------------
if [ "$e2e" = 1 ]; then
  echo "bench: end-to-end figures ($moves ball moves)" >&2
  export AGENT_CONTROLLER_PORTS=$work/e2e-ports
  mkdir -m 700 "$AGENT_CONTROLLER_PORTS"
  "$bin/sim/robot_sim" --quiet >"$work/robot_sim.log" 2>&1 &
  sim_pid=$!
  tries=300
  until "$bin/tools/port_tool/port_tool" exists /icubSim/cam/left >/dev/null 2>&1 || [ $tries -eq 0 ]; do
    sleep 0.1; tries=$((tries - 1))
  done
  QT_QPA_PLATFORM=offscreen "$bin/app/agent_controller" >"$work/agent_controller.log" 2>&1 &
  controller_pid=$!
  "$bin/tools/ball_tour/ball_tour" --measure "$moves" --controller-pid "$controller_pid" \
      --json "$work/e2e.json" --out "$work" >"$work/e2e.log" 2>&1
  e2e_status=$?
  kill -TERM "$controller_pid" "$sim_pid" 2>/dev/null
  wait "$controller_pid" "$sim_pid" 2>/dev/null
  if [ $e2e_status -ne 0 ] || [ ! -s "$work/e2e.json" ]; then
    echo "bench: the end-to-end measurement failed; its output:" >&2
    tail -n 20 "$work/e2e.log" >&2
    echo "| ball_tour --measure | (failed) | | | | see the run's output |" >>"$table"
    status=1
  else
    awk '
      /"median"/ {
        key = $0; sub(/^ *"/, "", key); sub(/".*/, "", key)
        n = split($0, f, /[:,}]/)
        for (i = 1; i <= n; i++) {
          if (f[i] ~ /"median"/) median = f[i + 1] + 0
          if (f[i] ~ /"p90"/) p90 = f[i + 1] + 0
          if (f[i] ~ /"min"/) lo = f[i + 1] + 0
          if (f[i] ~ /"max"/) hi = f[i + 1] + 0
          if (f[i] ~ /"n"/) count = f[i + 1] + 0
        }
        label = key; gsub(/_/, " ", label)
        printf "| ball_tour --measure | %s (median of %d) | %.3f s | | | p90 %.3f s, min %.3f s, max %.3f s |\n", label, count, median, p90, lo, hi
      }
      /controller_cpu_tracking_percent/ { v = $0; sub(/.*: */, "", v); sub(/,.*/, "", v); tracking = v }
      /controller_cpu_idle_percent/ { v = $0; sub(/.*: */, "", v); sub(/,.*/, "", v); idle = v }
      END {
        printf "| ball_tour --measure | agent_controller CPU while tracking | | %s %% | | of one core, ball moved every ~2 s |\n", tracking
        printf "| ball_tour --measure | agent_controller CPU with nothing to track | | %s %% | | of one core, ball out of reach, search running |\n", idle
      }
    ' "$work/e2e.json" >>"$table"
  fi
fi

# --- the port transport on both YARPs -------------------------------------------------------
if [ "$side_by_side" = 1 ]; then
  yarp_program=$yarp_bin/bench/compat/ports/compat_ports_bench
  yarp_version="YARP $(cached "$yarp_bin" AC_YARP_VERSION)"
  if [ ! -x "$yarp_program" ]; then
    echo "bench: $yarp_program is missing (build it, or run without --no-build)" >&2
    status=1
  elif [ ! -s "$work/compat_ports_bench.json" ]; then
    echo "bench: no bundled port figures to compare with" >&2
    status=1
  else
    echo "bench: running compat_ports_bench on the installed YARP" >&2
    if scripts/with-yarpserver.sh --yarpserver "$(cached "$yarp_bin" AC_YARPSERVER_PROGRAM)" \
        --library-dir "$(cached "$yarp_bin" AC_YARP_PREFIX)/lib" --data-dir "$(cached "$yarp_bin" AC_YARP_DATA_DIR)" -- \
        "$yarp_program" --benchmark_out="$work/yarp_ports.json" --benchmark_out_format=json \
        >"$work/yarp_ports.log" 2>&1; then
      json_rows bundled "$work/compat_ports_bench.json" >"$work/ports-bundled.rows"
      json_rows yarp "$work/yarp_ports.json" >"$work/ports-yarp.rows"
      {
        echo
        echo "## Port transport: bundled layer and $yarp_version side by side"
        echo
        echo "The same benchmark program (\`compat_ports_bench\`) built in \`$bin/\` (bundled) and in"
        echo "\`$yarp_bin/\` (installed YARP, run against a private name server), in one run of this script."
        echo "On YARP, \`getEncoders\` of a \`remote_controlboard\` returns the last state the board"
        echo "streamed (no round trip), while the bundled client asks the board each time."
        echo
        echo "| Benchmark | Time, bundled | Time, YARP | Counters, bundled | Counters, YARP |"
        echo "|---|---:|---:|---|---|"
        awk -F' [|] ' '
          FNR == NR { time[$2] = $3; counters[$2] = $6; sub(/ [|]$/, "", counters[$2]); next }
          {
            c = $6; sub(/ [|]$/, "", c)
            printf "| %s | %s | %s | %s | %s |\n", $2, $3, ($2 in time) ? time[$2] : "-", c, ($2 in counters) ? counters[$2] : "-"
          }
        ' "$work/ports-yarp.rows" "$work/ports-bundled.rows"
      } >"$work/side-by-side.md"
    else
      echo "bench: compat_ports_bench failed on the installed YARP; its output:" >&2
      tail -n 20 "$work/yarp_ports.log" >&2
      status=1
    fi
  fi
fi

{
  echo
  echo "Times are wall-clock per iteration as Google Benchmark reports them (CPU: the"
  echo "measuring thread's CPU time). The ball_tour rows are measured from outside the"
  echo "controller: a ball move through the world port, the neck's first step on the board (its"
  echo "encoder speeds, sampled every 5 ms; the board steps every 10 ms), and the centroid of the"
  echo "ball in the camera stream within 10 px of the centre, held for 1.5 s."
} >>"$table"

[ -s "$work/side-by-side.md" ] && cat "$work/side-by-side.md" >>"$table"
cat "$table"
if [ -n "$out_file" ]; then
  cp "$table" "$out_file" && echo "bench: table written to $out_file" >&2
fi
exit $status
