#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS seconds,
# seeded from the bundled examples and, when present, ../shared/patterns.
# Prints the executions and findings per target; exits non-zero on a finding.
#   tools/fuzz.sh SECONDS [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz.sh SECONDS [TARGET...]}
shift
build=build-fuzz
# FUZZ_NO_BUILD=1 runs the targets as built, so that several runs can share
# one build.
if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  # Optimised lightly, with line tables for the sanitizers' reports: the
  # build takes markedly less time, and a run of a few seconds loses little.
  CC=clang CXX=clang++ cmake -S . -B "$build" -DPLICATA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" >/dev/null || exit 1
  # The fuzz targets alone: the programs and the window are not fuzzed.
  fuzz_targets=()
  for src in fuzz/fuzz_*.cpp; do fuzz_targets+=("$(basename "$src" .cpp)"); done
  cmake --build "$build" -j"$(nproc)" --target "${fuzz_targets[@]}" >/dev/null || exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$build"/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi

shared=../shared/patterns
seed_dirs() {  # the seeds of a target: files of the formats it reads
  case "$1" in
    fuzz_opx) echo "examples/*.opx examples/*.xml $shared/opx/*.opx tests/fuzz_regressions/opx/*" ;;
    fuzz_dxf) echo "examples/*.dxf $shared/dxf/*.dxf tests/fuzz_regressions/dxf/*" ;;
    fuzz_fold) echo "$shared/fold/*.fold tests/fuzz_regressions/fold/*" ;;
    fuzz_cp) echo "$shared/cp/*.cp tests/fuzz_regressions/cp/*" ;;
    fuzz_svg) echo "$shared/svg/*.svg tests/fuzz_regressions/svg/*" ;;
    fuzz_bmp) echo "tests/fuzz_regressions/bmp/*" ;;
    fuzz_paper_color) echo "tests/fuzz_regressions/paper_color/*" ;;
    *) echo "tests/fuzz_regressions/${1#fuzz_}/*" ;;
  esac
}

status=0
printf '%-22s %12s %10s\n' target execs findings
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  seeds="$build/seeds/$t"
  mkdir -p "$corpus" "$seeds" "$build/artifacts/$t"
  for f in $(seed_dirs "$t"); do [ -f "$f" ] && cp "$f" "$seeds/" 2>/dev/null; done
  log="$build/$t.log"
  "$build/fuzz/$t" "$corpus" "$seeds" -max_total_time="$seconds" -max_len=65536 -timeout=25 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/" >"$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  findings=$(find "$build/artifacts/$t" -type f ! -name 'slow-unit-*' | wc -l)
  printf '%-22s %12s %10s\n' "$t" "${execs:-0}" "$findings"
  if [ $rc -ne 0 ] || [ "$findings" -ne 0 ]; then
    status=1
    grep -m3 -E 'ERROR|SUMMARY|abort|invalid' "$log" | sed 's/^/    /'
  fi
done
exit $status
