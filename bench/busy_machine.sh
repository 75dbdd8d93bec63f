#!/usr/bin/env bash
# Fold steps of a small real pattern on both solver paths, first with the
# machine as it is, then with two busy processes beside them (started and
# stopped here, by their process ids), and the ratio busy / idle of each
# path. The default path should stay within 2x of idle: a path that waits
# on threads the busy processes keep from running falls far behind.
#
#   bash bench/busy_machine.sh [BUILD_DIR]     (default: build)
#
# Needs the built small_pattern_bench and the square twist of
# ../shared/patterns (or PLICATA_PATTERNS); skips with a message otherwise.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench=$build/bench/small_pattern_bench
patterns=${PLICATA_PATTERNS:-../shared/patterns}
if [ ! -x "$bench" ]; then
  echo "busy_machine: skipped: $bench is not built"
  exit 0
fi
if [ ! -f "$patterns/opx/schamp_squaretwist_with_metadata.opx" ]; then
  echo "busy_machine: skipped: no square twist in $patterns"
  exit 0
fi
export PLICATA_PATTERNS=$patterns

busy_pids=()
stop_busy() {
  for pid in "${busy_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  busy_pids=()
}
trap stop_busy EXIT

# Prints "path median worst cpu_median" per path (ms of forty steps from
# flat; five repetitions of five runs each). The processor time tells a
# process that waits on its own threads (it grows) from one that only
# shares the cores (it does not).
measure() {
  "$bench" --benchmark_filter=BM_FoldSmallReal --benchmark_repetitions=5 --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /^"BM_FoldSmallReal\/[12]\/iterations:[0-9]+\/real_time"$/ {
      path = ($1 ~ /Real\/1\//) ? "dense" : "sparse"
      t[path] = t[path] " " $3
      c[path] = c[path] " " $4
    }
    function sorted(list, v,   n, i, j, x) {
      n = split(substr(list, 2), v, " ")
      for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (v[j] + 0 < v[i] + 0) { x = v[i]; v[i] = v[j]; v[j] = x }
      return n
    }
    END {
      for (path in t) {
        n = sorted(t[path], v)
        sorted(c[path], w)
        printf "%s %.3f %.3f %.3f\n", path, v[int((n + 1) / 2)], v[n], w[int((n + 1) / 2)]
      }
    }' | sort
}

echo "busy_machine: load before: $(uptime | sed 's/.*load average: //')"
idle=$(measure)
for _ in 1 2; do
  bash -c 'while :; do :; done' &
  busy_pids+=($!)
done
sleep 1
echo "busy_machine: load with two busy processes: $(uptime | sed 's/.*load average: //')"
busy=$(measure)
stop_busy

echo
echo "forty steps of the square twist from flat, ms: median and worst of five, and processor time;"
echo "sparse is the default, dense the reference"
printf "%-7s %9s %9s %9s %9s %9s %9s %8s %8s %8s\n" path idle idle_max idle_cpu busy busy_max busy_cpu ratio r_max r_cpu
join <(echo "$idle") <(echo "$busy") | while read -r path im iw ic bm bw bc; do
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
  printf "%-7s %9s %9s %9s %9s %9s %9s %8s %8s %8s\n" "$path" "$im" "$iw" "$ic" "$bm" "$bw" "$bc" \
    "$(ratio "$bm" "$im")" "$(ratio "$bw" "$iw")" "$(ratio "$bc" "$ic")"
done
