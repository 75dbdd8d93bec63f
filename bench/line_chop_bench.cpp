// Line chopping on a grid of R horizontal and R vertical lines across the
// paper: R² crossings, 2R(R + 1) pieces at the end.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/bench_support.h"
#include "input/line_chop.h"
#include "input/line_list.h"

namespace {

CreasePattern* gridPattern(int r) {
  CreasePattern* cp = CreasePatternNew();
  List* last = nullptr;
  for (int k = 0; k < r; ++k) {
    const double c = -200.0 + 400.0 * (k + 1) / (r + 1);
    last = listAdd(cp->lines, last, LineNew(-200.0, c, 200.0, c, 2));
    last = listAdd(cp->lines, last, LineNew(c, -200.0, c, 200.0, 3));
  }
  return cp;
}

void BM_LineChopGrid(benchmark::State& state) {
  const int r = static_cast<int>(state.range(0));
  QuietStdout quiet;
  int pieces = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CreasePattern* cp = gridPattern(r);
    state.ResumeTiming();
    LineChop(cp);
    state.PauseTiming();
    pieces = listCount(cp->lines);
    CreasePatternDestruct(cp);
    state.ResumeTiming();
  }
  state.counters["lines"] = 2 * r;
  state.counters["pieces"] = pieces;
}
BENCHMARK(BM_LineChopGrid)->Arg(10)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
