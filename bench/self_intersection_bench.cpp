// The self-intersection check of the folded sheet.
//
// BM_IntersectMiura/N/S  the check on a triangulated Miura-ori of N × N
//                     parallelograms (2N² triangles) folded as S steps from
//                     flat fold a small one (20: mid-fold, 120: nearly flat,
//                     its layers stacked close). Counters: faces, pairs.
// BM_StepCrane        a fold step of the crane of the real patterns
//                     (triangulated, after ten steps from flat) and the check
//                     after it, timed apart. Counters: step_ms, check_ms and
//                     check_percent (what the check adds to a step).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "geometry/self_intersection.h"
#include "input/pattern_file.h"
#include "sim/fold_step.h"

namespace {

double msSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void BM_IntersectMiura(benchmark::State& state) {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  {
    QuietStdout quiet;
    om = makeMiura(static_cast<int>(state.range(0)), true);
    if (om != nullptr) osm = oriSimNew(om);
  }
  if (osm == nullptr) {
    state.SkipWithError("the Miura-ori could not be built");
    oriManifoldDelete(om);
    return;
  }
  setMidFold(osm, om, midFoldAngles(static_cast<int>(state.range(1))));
  std::vector<std::pair<int, int>> pairs;
  int found = 0;
  for (auto _ : state) {
    found = oriManifoldSelfIntersections(om, &pairs);
    benchmark::DoNotOptimize(found);
  }
  state.counters["faces"] = om->n_face;
  state.counters["pairs"] = found;
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

void BM_StepCrane(benchmark::State& state) {
  const std::string path = sharedPatternPath("fold/rabbitear_crane.fold");
  ORI_manifold* om = oriManifoldNew();
  ORISIM_matrix* osm = nullptr;
  {
    QuietStdout quiet;
    if (oriManifoldConstructFromFile(om, nullptr, path.c_str()) == kOriOpenOk) {
      oriManifoldPrepareForFolding(om, 1, 0, &osm);
    }
  }
  if (osm == nullptr) {
    state.SkipWithError("the crane is absent (set PLICATA_PATTERNS to the patterns folder)");
    oriManifoldDelete(om);
    return;
  }
  int frame_no = 0;
  for (int k = 0; k < 10; ++k) oriFoldStep(osm, om, kStep, "CG", &frame_no, nullptr, nullptr, nullptr);
  const std::vector<double> start = osm->angle_n;
  std::vector<std::pair<int, int>> pairs;
  double step_ms = 0, check_ms = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    oriFoldStep(osm, om, kStep, "CG", &frame_no, nullptr, nullptr, nullptr);
    step_ms += msSince(t0);
    t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(oriManifoldSelfIntersections(om, &pairs));
    check_ms += msSince(t0);
    state.PauseTiming();
    osm->angle_n = start;
    oriSimUpdateCrease(om, start);
    state.ResumeTiming();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["faces"] = om->n_face;
  state.counters["step_ms"] = step_ms / runs;
  state.counters["check_ms"] = check_ms / runs;
  state.counters["check_percent"] = step_ms > 0 ? 100.0 * check_ms / step_ms : 0.0;
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

}  // namespace

BENCHMARK(BM_IntersectMiura)->Args({20, 20})->Args({100, 20})->Args({100, 120})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepCrane)->Unit(benchmark::kMillisecond)->UseRealTime();
