#!/usr/bin/env bash
# Exact mode against the ordinary step: twenty steps from flat of the
# triangulated Miura-ori at 10, 30, 100 and 200 per side (plicata-gen's
# pattern, as large_pattern_bench's BM_Exact makes it), at fold step 10
# with exact mode off and on, and at fold step 50 with it on. The runs are
# repeated and the table gives each figure's median, with the machine's load
# before and after: wall time is only as quiet as the machine; cpu_ms, the
# processor time of a step (all its threads), is what it costs whatever else
# runs beside it.
#
#   bash bench/exact_steps.sh [BUILD_DIR] [REPEATS]   (default: build 3)
#
# EXACT_STEPS_SIDES narrows the sheets measured (default "10|30|100|200").
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
repeats=${2:-3}
bench=$build/bench/large_pattern_bench
if [ ! -x "$bench" ]; then
  echo "exact_steps: skipped: $bench is not built"
  exit 0
fi
# Neither step calls the linear-algebra library's threads (the factorisation
# holds it at one): made when the library loads, they would only spin.
export OPENBLAS_NUM_THREADS=1
filter="BM_Exact/(${EXACT_STEPS_SIDES:-10|30|100|200})/(0/10|1/10|1/50)/"
echo "exact_steps: load before: $(uptime | sed 's/.*load average: //')"
csv=""
for ((r = 1; r <= repeats; ++r)); do
  csv+=$("$bench" --benchmark_filter="$filter" --benchmark_format=csv 2>/dev/null)$'\n'
  echo "exact_steps: run $r of $repeats done, load $(uptime | sed 's/.*load average: //')"
done
echo "exact_steps: load after:  $(uptime | sed 's/.*load average: //')"
echo "$csv" | awk -F, '
  function median(list,    n, v, i, j, t) {
    n = split(list, v, " ")
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  function add(key, name, value) { figures[key, name] = figures[key, name] " " value }
  $1 == "name" { delete col; for (i = 1; i <= NF; ++i) { gsub(/"/, "", $i); col[$i] = i }; next }
  $1 ~ /BM_Exact\// {
    split($1, a, "/")
    side = a[2]; key = side "/" a[3] "/" a[4]; sides[side] = 1
    add(key, "ms", $col["step_ms"]); add(key, "cpu", $col["step_cpu_ms"])
    n = split("newton_mean factor_mean substep_mean halved_steps halvings kept closure_max peak_rss_MB", names, " ")
    for (i = 1; i <= n; ++i) add(key, names[i], $col[names[i]])
  }
  END {
    printf "%5s | %9s %9s %6s | %9s %9s %6s | %7s %7s %7s | %13s %9s %6s | %10s %8s\n", "side", "ord_ms", "exact_ms", "x", "ord_cpu", "exact_cpu", "x",
           "newton", "factor", "substep", "fs50_halved", "fs50_ms", "kept", "closure", "peak_MB"
    for (side = 1; side <= 1000; ++side) {
      if (!(side in sides)) continue
      o = side "/0/10"; e = side "/1/10"; f = side "/1/50"
      om = median(figures[o, "ms"]); em = median(figures[e, "ms"]); oc = median(figures[o, "cpu"]); ec = median(figures[e, "cpu"])
      wall_x = 0; if (om > 0) wall_x = em / om
      cpu_x = 0; if (oc > 0) cpu_x = ec / oc
      closure = median(figures[e, "closure_max"]); if (median(figures[f, "closure_max"]) > closure) closure = median(figures[f, "closure_max"])
      printf "%5d | %9.2f %9.2f %6.1f | %9.2f %9.2f %6.1f | %7.2f %7.2f %7.2f | %6d of 20 %9.2f %6d | %10.1e %8.0f\n", side, om, em, wall_x,
             oc, ec, cpu_x, median(figures[e, "newton_mean"]), median(figures[e, "factor_mean"]),
             median(figures[e, "substep_mean"]), median(figures[f, "halved_steps"]), median(figures[f, "ms"]),
             median(figures[e, "kept"]) + median(figures[f, "kept"]), closure, median(figures[f, "peak_rss_MB"])
    }
    print ""
    print "ord/exact_ms: mean wall time of a step at fold step 10, exact mode off/on; x: exact over ordinary;"
    print "cpu: processor time of a step, all threads; newton: corrections per exact step (chord and fresh);"
    print "factor: numeric factorisations per exact step; substep: substeps per step; fs50_halved: of the"
    print "20 steps at fold step 50, those that halved a substep; fs50_ms: their mean step; kept: steps kept"
    print "back (fold steps 10 and 50); closure: the largest vertex closure error of any exact frame (radians);"
    print "peak_MB: peak memory of the process after the exact runs of that sheet."
  }'
