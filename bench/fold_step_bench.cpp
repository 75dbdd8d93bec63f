// One full fold step (moments, Jacobian, projection, angle update, face
// placement) on generated Miura-ori of N × N parallelograms, taken from the
// same mid-fold state every iteration, on the dense path whatever the size
// (large_pattern_bench compares it with the sparse one).
//
// Counters: m (constraint rows), n (fold lines), cg_iterations of the
// projection, dense_MB (the m×m system and the m×n Jacobian), peak_rss_MB
// (the process's peak so far; sizes run in increasing order).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "geometry/manifold.h"
#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "sim/fold_step.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

namespace {

void BM_FoldStepMiura(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  MidFold mid;
  {
    QuietStdout quiet;  // the reader's and the record's messages would break up the table
    mid = midFoldAngles();
    om = makeMiura(size);
    oriSimSetPathRequest(kOriSimPathDense);
    if (om != nullptr) osm = oriFoldPrepareSim(om);
    oriSimSetPathRequest(kOriSimPathAuto);
  }
  if (osm == nullptr) {
    state.SkipWithError("the Miura-ori could not be built");
    return;
  }
  setMidFold(osm, om, mid);
  const std::vector<double> start = osm->angle_n;
  std::vector<double> g(osm->m, 0.0);
  const double residual_start = oriSimUpdateResidual(g, osm, om);

  ORISIM_stepStats stats{};
  double moved = 0;
  int frame_no = 0;
  for (auto _ : state) {
    oriFoldStep(osm, om, kStep, "CG", &frame_no, nullptr, &moved, &stats);
    benchmark::DoNotOptimize(moved);
    state.PauseTiming();
    osm->angle_n = start;
    oriSimUpdateCrease(om, start);
    state.ResumeTiming();
  }
  const double mb = 1.0 / (1024.0 * 1024.0);
  state.counters["m"] = osm->m;
  state.counters["n"] = osm->n;
  state.counters["cg_iterations"] = stats.cg_iterations;
  state.counters["residual_start"] = residual_start;
  state.counters["dense_MB"] = (double(osm->m) * osm->m + double(osm->m) * osm->n) * sizeof(double) * mb;
  state.counters["peak_rss_MB"] = peakRssMB();
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

}  // namespace

// 5, 10, 20, 30 and larger sheets; a step of 50 × 50 takes tens of seconds.
BENCHMARK(BM_FoldStepMiura)->Arg(5)->Arg(10)->Arg(20)->Arg(30)->Arg(40)->Arg(50)->Unit(benchmark::kMillisecond);
