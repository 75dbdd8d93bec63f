// Mobility: what plicata-fold --mobility costs, and a step along a mode.
//
// BM_Mobility/N/T/S   one analysis (sim/mobility.h) with a fresh state, as
//                     --mobility makes it after the steps: closing the
//                     copy, the Jacobian, the singular values and the
//                     canonical modes, of the N × N Miura-ori with its facets
//                     whole (T = 0) or triangulated as the loaders do (T = 1),
//                     flat (S = 0) or after 20 ordinary steps from flat
//                     (S = 1: the state the user has, closed to first order
//                     only, a triangulated sheet's facets bent). Counters:
//                     dof, redundant, flat, closed, sure, sparse (the path),
//                     kept (the smallest singular value kept over σ₁),
//                     columns, rows.
// BM_ModeStep/N/T     one step along mode 1 from the folded state above,
//                     its state kept from step to step as a sheet keeps it
//                     (the structure analysed once): an analysis and a
//                     step. Counters: dof.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_support.h"
#include "sim/fold_step.h"
#include "sim/mobility.h"

namespace {

struct Folded {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  Folded(int size, bool triangulate, int steps) {
    QuietStdout quiet;
    om = makeMiura(size, triangulate);
    if (om == nullptr) return;
    osm = oriSimNew(om);
    oriSimInitMatrix(osm, om);
    int frame_no = 0;
    for (int k = 0; k < steps; ++k) oriFoldStep(osm, om, kStep, "CG", &frame_no, nullptr, nullptr, nullptr);
  }
  ~Folded() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
};

void BM_Mobility(benchmark::State& bs) {
  Folded sheet(static_cast<int>(bs.range(0)), bs.range(1) != 0, bs.range(2) != 0 ? 20 : 0);
  if (sheet.osm == nullptr) {
    bs.SkipWithError("no sheet");
    return;
  }
  ORISIM_mobility r;
  for (auto _ : bs) {
    ORISIM_mobilityState* state = oriSimMobilityNew();
    oriSimMobilityAnalyse(state, sheet.osm, sheet.om, &r);
    oriSimMobilityDelete(state);
  }
  if (r.status != kOriMobilityOk) bs.SkipWithError(r.reason.c_str());
  bs.counters["dof"] = r.dof;
  bs.counters["redundant"] = r.redundant;
  bs.counters["flat"] = r.flat;
  bs.counters["closed"] = r.closed;
  bs.counters["sure"] = r.sure;
  bs.counters["sparse"] = r.path == kOriMobilityPathSparse ? 1 : 0;
  bs.counters["kept"] = r.sigma_max > 0 ? r.sigma_kept / r.sigma_max : 0.0;
  bs.counters["columns"] = r.columns;
  bs.counters["rows"] = r.m;
}

void BM_ModeStep(benchmark::State& bs) {
  Folded sheet(static_cast<int>(bs.range(0)), bs.range(1) != 0, 20);
  if (sheet.osm == nullptr) {
    bs.SkipWithError("no sheet");
    return;
  }
  std::unique_ptr<ORISIM_mobilityState, void (*)(ORISIM_mobilityState*)> state(oriSimMobilityNew(),
                                                                                 oriSimMobilityDelete);
  ORISIM_mobility r;
  std::string reason;
  for (auto _ : bs) {
    if (oriSimMobilityStep(state.get(), sheet.osm, sheet.om, kStep, 1, nullptr, &r, &reason) < 0.0) {
      bs.SkipWithError(reason.c_str());
      break;
    }
    oriManifoldUpdatePlanned(sheet.om, &sheet.osm->placement);
  }
  bs.counters["dof"] = r.dof;
}

void mobilityArgs(benchmark::internal::Benchmark* b) {
  for (int size : {10, 30, 100}) {
    for (int triangulate : {0, 1}) {
      for (int folded : {0, 1}) b->Args({size, triangulate, folded});
    }
  }
}

}  // namespace

BENCHMARK(BM_Mobility)->Apply(mobilityArgs)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_ModeStep)->Args({10, 1})->Args({30, 1})->Args({100, 1})->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
