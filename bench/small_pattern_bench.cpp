// A small real pattern folded as a held space bar folds it: forty steps from
// the flat sheet on each solver path. bench/busy_machine.sh runs it with the
// machine idle and with busy processes beside it; a path whose steps wait on
// threads that the busy processes keep from running shows there.
//
// BM_FoldSmallReal/P  forty steps (moments, Jacobian, projection, angle
//                     update, placement) of the square twist from flat,
//                     P = 1 dense, 2 sparse (the default). Time per forty
//                     steps; counters m, n.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "geometry/tessellate.h"
#include "input/pattern_file.h"
#include "sim/fold_step.h"

namespace {

constexpr int kSteps = 40;

void BM_FoldSmallReal(benchmark::State& state) {
  const std::string path = sharedPatternPath("opx/schamp_squaretwist_with_metadata.opx");
  ORI_manifold* om = oriManifoldNew();
  ORISIM_matrix* osm = nullptr;
  {
    QuietStdout quiet;
    if (!path.empty() && oriManifoldConstructFromFile(om, nullptr, path.c_str()) == kOriOpenOk) {
      if (!oriManifoldTriangulated(om)) oriManifoldTessFace(om);
      oriSimSetPathRequest(static_cast<int>(state.range(0)));
      if (oriManifoldPrepare(om, 0) == 0) osm = oriFoldPrepareSim(om);
      oriSimSetPathRequest(kOriSimPathAuto);
    }
  }
  if (osm == nullptr) {
    oriManifoldDelete(om);
    state.SkipWithError("the square twist is absent (set PLICATA_PATTERNS to the patterns folder)");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    oriSimClearCrease(om, osm);
    state.ResumeTiming();
    int frame_no = 0;
    for (int k = 0; k < kSteps; ++k) oriFoldStep(osm, om, kStep, "CG", &frame_no, nullptr, nullptr, nullptr);
  }
  state.counters["m"] = osm->m;
  state.counters["n"] = osm->n;
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

}  // namespace

BENCHMARK(BM_FoldSmallReal)
    ->Arg(kOriSimPathDense)
    ->Arg(kOriSimPathSparse)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
