#!/usr/bin/env bash
# Installs what is missing, builds Plicata and runs every test: the suite
# in an ordinary build, the same suite in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of each fuzz target.
set -uo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh || exit 1
jobs=$(nproc 2>/dev/null || echo 2)

passed=0
failed=0
skipped=0
# Runs ctest in a build directory (further arguments go to ctest) and adds
# its counts to the totals. CTest counts a skipped test (GTEST_SKIP, exit
# status 77, every pytest test of a file skipped) among those that did not
# fail and lists it as "(Skipped)": it is counted apart here.
run_suite() {
  local dir=$1 log
  shift
  log=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@" 2>&1 | tee "$log"
  local total fails skips
  total=$(grep -o 'tests failed out of [0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  fails=$(grep -o '[0-9]* tests failed out of' "$log" | grep -o '^[0-9]*' | tail -1)
  skips=$(grep -cE '^[[:space:]]*[0-9]+ - .* \((Skipped|Disabled)\)$' "$log")
  if [ -z "$total" ]; then
    echo "run-tests: no test summary from $dir"
    failed=$((failed + 1))
  else
    passed=$((passed + total - fails - skips))
    failed=$((failed + fails))
    skipped=$((skipped + skips))
  fi
  rm -f "$log"
}

echo "== build"
# The tests explicitly: a build folder made by the set-up command leaves them out.
# The benchmarks are left out: they are run by hand (bench/), and building
# them would cost the test command a minute.
# Optimised as ever but without debug information, which takes a third of
# the compiler's time (a failure is rerun in a build of one's own).
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DPLICATA_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" || exit 1
cmake --build build -j"$jobs" || exit 1
run_suite build

# The longest numerical comparisons (thousands of steps against the dense
# reference) run in the ordinary build only: under the sanitizers they
# would take a third of the whole run and walk no code the shorter step
# tests do not.
long_numerics='SparseStep.SameAngleChangesStepAfterStep|SimJacobian.MatchesFiniteDifferencesOnRealPatterns'
long_numerics+='|SparseStep.SameFramesOverFiftySteps|ParallelChunks.SameFoldOnOneThreadOnTwoAndBesideAnotherSheet'
long_numerics+='|FastIteration.FoldsAsThePlainReferenceOverFiftySteps'
echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
# The core and its tests: the drawing and the window are left out (their
# tests run in the ordinary build, and the fuzz run's dialogue target runs
# the window's loading code under the sanitizers). Optimised lightly and
# with line tables only: the sanitizers' reports keep their file and line,
# and the build takes markedly less time.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLICATA_SANITIZE=ON -DBUILD_TESTING=ON -DPLICATA_BENCH=OFF \
  -DPLICATA_DRAWING=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" || exit 1
cmake --build build-asan -j"$jobs" || exit 1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp \
  run_suite build-asan -E "$long_numerics"

echo "== fuzz targets, a few seconds each"
if bash tools/fuzz.sh 5; then
  passed=$((passed + 1))
else
  echo "run-tests: a fuzz target found a fault (see build-fuzz/*.log)"
  failed=$((failed + 1))
fi

echo "Plicata: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
