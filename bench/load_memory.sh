#!/usr/bin/env bash
# Loading and memory of the 200 × 200 triangulated Miura-ori through
# plicata-fold, the whole program as a user runs it:
#   - the XML file made by plicata-gen, loaded with --steps 0 (wall time,
#     median of RUNS runs, and peak memory);
#   - the same sheet as the FOLD file plicata-fold --fold-out writes, loaded
#     the same way;
#   - 40 fold steps of the XML file: peak memory and the median and mean
#     step milliseconds of its --report.
# The machine's load is printed beside every figure: wall times are only as
# quiet as the machine.
#
#   bash bench/load_memory.sh [BUILD_DIR] [RUNS]     (defaults: build, 5)
#
# LOAD_MEMORY_SIDE sets the sheet's side (default 200).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
side=${LOAD_MEMORY_SIDE:-200}
fold=$build/plicata-fold
gen=$build/plicata-gen
for tool in "$fold" "$gen"; do
  if [ ! -x "$tool" ]; then
    echo "load_memory: skipped: $tool is not built"
    exit 0
  fi
done
if [ ! -x /usr/bin/time ]; then
  echo "load_memory: skipped: no /usr/bin/time"
  exit 0
fi
# The sparse step never calls the linear-algebra library; its threads would
# only spin beside the steps measured.
export OPENBLAS_NUM_THREADS=1
dir=$(mktemp -d /tmp/plicata_load_memory.XXXXXX)
trap 'rm -rf "$dir"' EXIT
opx=$dir/miura.opx
foldfile=$dir/miura.fold
"$gen" miura --rows "$side" --cols "$side" -o "$opx" || { echo "load_memory: plicata-gen failed"; exit 1; }
"$fold" "$opx" --steps 0 --fold-out "$foldfile" > /dev/null || { echo "load_memory: --fold-out failed"; exit 1; }

load() { uptime | sed 's/.*load average: //; s/,.*//'; }

# Runs plicata-fold with the given arguments RUNS times; prints the median
# wall seconds, the median processor seconds (user and system: what the run
# costs whatever else the machine runs), the largest peak memory in MB and
# the load before the runs.
measure() {
  local before times=() cpus=() peaks=() t m u s
  before=$(load)
  for ((r = 0; r < runs; ++r)); do
    /usr/bin/time -f '%e %M %U %S' -o "$dir/time" "$fold" "$@" > /dev/null 2> "$dir/stderr" ||
      { echo "load_memory: plicata-fold $* failed: $(tail -1 "$dir/stderr")"; return 1; }
    read -r t m u s < <(tail -1 "$dir/time")
    times+=("$t")
    cpus+=("$(echo "$u + $s" | bc -l)")
    peaks+=("$m")
  done
  local median cpu peak
  median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
  cpu=$(printf '%s\n' "${cpus[@]}" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
  peak=$(printf '%s\n' "${peaks[@]}" | sort -g | tail -1)
  printf '%6.2f s wall, %5.2f s cpu (medians of %d; wall %s)  peak %4.0f MB  load %s\n' "$median" "$cpu" "$runs" \
    "${times[*]}" "$(echo "$peak / 1024" | bc -l)" "$before"
}

echo "load_memory: $side x $side triangulated Miura-ori, $(stat -c %s "$opx") bytes of XML, $(stat -c %s "$foldfile") of FOLD"
printf 'load .opx  (--steps 0):  '
measure "$opx" --steps 0
printf 'load .fold (--steps 0):  '
measure "$foldfile" --steps 0
printf 'fold 40 steps of .opx:   '
before=$(load)
/usr/bin/time -f '%e %M' -o "$dir/time" "$fold" "$opx" --steps 40 --report "$dir/report.json" > /dev/null 2>&1 ||
  { echo "failed"; exit 1; }
read -r t m < <(tail -1 "$dir/time")
steps=$(/usr/bin/python3 -c '
import json, statistics, sys
ms = [r["ms"] for r in json.load(open(sys.argv[1]))["records"]]
print("step median %.1f ms, mean %.1f ms" % (statistics.median(ms), statistics.fmean(ms)))' "$dir/report.json")
printf '%6.2f s  peak %4.0f MB  %s  load %s\n' "$t" "$(echo "$m / 1024" | bc -l)" "$steps" "$before"
