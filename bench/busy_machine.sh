#!/usr/bin/env bash
# Fold steps of a small real pattern on both solver paths, and of a 200 ×
# 200 triangulated Miura-ori with its step shared among every core and on
# one thread, first with the machine as it is, then with two busy processes
# beside them (started and stopped here, by their process ids), and the
# ratio busy / idle of each. The default path should stay within 2x of idle:
# a path that waits on threads the busy processes keep from running falls
# far behind. The shared step should not fall behind the one thread's.
#
#   bash bench/busy_machine.sh [BUILD_DIR]     (default: build)
#
# Needs the built small_pattern_bench and the square twist of
# ../shared/patterns (or PLICATA_PATTERNS), and large_pattern_bench; skips
# a part with a message when it is missing.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench=$build/bench/small_pattern_bench
large=$build/bench/large_pattern_bench
patterns=${PLICATA_PATTERNS:-../shared/patterns}
small_part=1
if [ ! -x "$bench" ]; then
  echo "busy_machine: small pattern skipped: $bench is not built"
  small_part=0
elif [ ! -f "$patterns/opx/schamp_squaretwist_with_metadata.opx" ]; then
  echo "busy_machine: small pattern skipped: no square twist in $patterns"
  small_part=0
fi
large_part=1
if [ ! -x "$large" ]; then
  echo "busy_machine: large sheet skipped: $large is not built"
  large_part=0
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
  [ "$small_part" = 1 ] || return 0
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

# Prints "start_threads step_ms max_ms cpu_ms" for ten steps of the 200 × 200
# sheet from flat and from mid-fold, shared among every core and on one
# thread: medians of three repetitions (the slowest step: the largest). The
# linear-algebra library, which the sparse step never calls, is kept from
# making threads that would spin beside it.
measure_large() {
  [ "$large_part" = 1 ] || return 0
  OPENBLAS_NUM_THREADS=1 "$large" --benchmark_filter='BM_Sheet/200/[01]/0/[01]/' --benchmark_repetitions=3 --benchmark_format=csv 2>/dev/null |
    awk -F, '
      $1 == "name" { for (i = 1; i <= NF; ++i) { gsub(/"/, "", $i); col[$i] = i }; next }
      $1 ~ /BM_Sheet\/200\// {
        split($1, a, "/")
        key = (a[3] == 0 ? "flat" : "mid") "_" (a[5] == 0 ? "all" : "one")
        if ($1 ~ /real_time_median"$/) { ms[key] = $col["step_ms"]; cpu[key] = $col["step_cpu_ms"] }
        if ($1 ~ /real_time"$/ && $col["step_max_ms"] + 0 > worst[key] + 0) worst[key] = $col["step_max_ms"]
      }
      END { for (key in ms) printf "%s %.2f %.2f %.2f\n", key, ms[key], worst[key], cpu[key] }' | sort
}

echo "busy_machine: load before: $(uptime | sed 's/.*load average: //')"
idle=$(measure)
idle_large=$(measure_large)
for _ in 1 2; do
  bash -c 'while :; do :; done' &
  busy_pids+=($!)
done
sleep 1
echo "busy_machine: load with two busy processes: $(uptime | sed 's/.*load average: //')"
busy=$(measure)
busy_large=$(measure_large)
stop_busy

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
if [ "$small_part" = 1 ]; then
  echo
  echo "forty steps of the square twist from flat, ms: median and worst of five, and processor time;"
  echo "sparse is the default, dense the reference"
  printf "%-7s %9s %9s %9s %9s %9s %9s %8s %8s %8s\n" path idle idle_max idle_cpu busy busy_max busy_cpu ratio r_max r_cpu
  join <(echo "$idle") <(echo "$busy") | while read -r path im iw ic bm bw bc; do
    printf "%-7s %9s %9s %9s %9s %9s %9s %8s %8s %8s\n" "$path" "$im" "$iw" "$ic" "$bm" "$bw" "$bc" \
      "$(ratio "$bm" "$im")" "$(ratio "$bw" "$iw")" "$(ratio "$bc" "$ic")"
  done
fi
if [ "$large_part" = 1 ]; then
  echo
  echo "a step of the 200 x 200 triangulated Miura-ori, ms: median of three runs of ten steps, the slowest"
  echo "step, and processor time (all threads); shared among every core (all) or on one thread (one)"
  printf "%-10s %9s %9s %9s %9s %9s %9s %8s %8s\n" start idle idle_max idle_cpu busy busy_max busy_cpu ratio r_max
  join <(echo "$idle_large") <(echo "$busy_large") | while read -r key im iw ic bm bw bc; do
    printf "%-10s %9s %9s %9s %9s %9s %9s %8s %8s\n" "$key" "$im" "$iw" "$ic" "$bm" "$bw" "$bc" \
      "$(ratio "$bm" "$im")" "$(ratio "$bw" "$iw")"
  done
fi
