#!/usr/bin/env bash
# Fold steps of large triangulated Miura-ori (50, 100, 150 and 200 per side)
# from flat and from mid-fold, with the default iteration on every core
# (threads "all") and on one, and the plain reference in the same run, then
# loading the 200 × 200 sheet: one table, the growth exponent of the step
# time in the number of fold lines, and the machine's load before and after.
# Wall time is only as quiet as the machine; cpu_ms, the processor time of a
# step (all its threads), is what it costs whatever else runs beside it.
#
#   bash bench/large_sheets.sh [BUILD_DIR]     (default: build)
#
# LARGE_SHEETS_FILTER narrows the steps measured (default BM_Sheet/, all
# of them; BM_Sheet/200/ for the largest sheet alone).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench=$build/bench/large_pattern_bench
if [ ! -x "$bench" ]; then
  echo "large_sheets: skipped: $bench is not built"
  exit 0
fi
# The sparse step never calls the linear-algebra library: its threads, made
# when the library loads, would only spin for a while beside the first steps.
export OPENBLAS_NUM_THREADS=1
echo "large_sheets: load before: $(uptime | sed 's/.*load average: //')"
# Two runs: the table's columns are the first benchmark's counters.
csv=$("$bench" --benchmark_filter="${LARGE_SHEETS_FILTER:-BM_Sheet/}" --benchmark_format=csv 2>/dev/null)
load_csv=$("$bench" --benchmark_filter='BM_LoadMiura/200' --benchmark_format=csv 2>/dev/null)
echo "large_sheets: load after:  $(uptime | sed 's/.*load average: //')"
{ echo "$csv"; echo "$load_csv"; } | awk -F, '
  $1 == "name" { delete col; for (i = 1; i <= NF; ++i) { gsub(/"/, "", $i); col[$i] = i }; next }
  $1 ~ /BM_Sheet\// {
    split($1, a, "/")
    side = a[2]; start = a[3] == 0 ? "flat" : "mid"; cg = a[4] == 0 ? "fast" : "plain"; threads = a[5] == 0 ? "all" : a[5]
    ms = $col["step_ms"]; key = start " " cg " threads " threads
    printf "%5d %-5s %-6s %7s %9.2f %9.2f %9.2f %8.1f %8d %8d %8.0f\n", side, start, cg, threads, ms, $col["step_max_ms"], $col["step_cpu_ms"], $col["cg_mean"], $col["m"], $col["n"], $col["peak_rss_MB"]
    if (side == 50) { ms50[key] = ms; n50[key] = $col["n"] }
    if (side == 200) { ms200[key] = ms; n200[key] = $col["n"] }
  }
  $1 ~ /BM_LoadMiura\/200/ {
    load = sprintf("loading 200 x 200: %.0f ms (read %.0f, triangulate %.0f, prepare %.0f, record %.0f), peak %.0f MB",
                   $3, $col["read_ms"], $col["tess_ms"], $col["prepare_ms"], $col["sim_ms"], $col["peak_rss_MB"])
  }
  BEGIN { printf "%5s %-5s %-6s %7s %9s %9s %9s %8s %8s %8s %8s\n", "side", "start", "cg", "threads", "step_ms", "max_ms", "cpu_ms", "cg_iter", "m", "n", "peak_MB" }
  END {
    print ""
    for (key in ms200) if (key in ms50 && ms50[key] > 0)
      printf "growth exponent (%s): %.2f  (step time ~ n^k, 50 to 200 per side)\n", key, log(ms200[key] / ms50[key]) / log(n200[key] / n50[key])
    if (load != "") print load
  }'
