// The compliant solver: milliseconds and Newton iterations per step, and the
// strain that patterns without a rigid folding take on.
//
// BM_CompliantMiura/N/K/M  K compliant steps (the default fold step, 0.5
//                     radians of the rest angles a step) of the triangulated
//                     N × N Miura-ori with the default stiffness, from flat
//                     (M = 0) or from the rigid solver's mid-fold shape
//                     (M = 1: three steps of the rigid solver in exact mode
//                     from flat, closed to rounding, so that the shape is a
//                     true rigid folding a third of the way; the steps a
//                     fold under way takes; the first
//                     step from flat, where the sheet must choose how to
//                     leave the plane, takes several times as many
//                     iterations). Counters: step_ms and newton (medians per
//                     step), step_max_ms and newton_max, kept (steps that did
//                     not converge), halvings (moves split after a failed
//                     iteration), analyse_ms (the state: elements, pattern,
//                     ordering), max_strain (largest relative change of a
//                     bar's length at the end).
// BM_CompliantStrain/P   pattern P folded to 90 % (P = 0: the pleated
//                     hyperbolic paraboloid of 8 squares, generated; P = 1:
//                     Ray Schamp's corrugated square twist from the shared
//                     patterns, skipped when absent) until the rest angles
//                     reach it, plus two steps to settle. Counters:
//                     max_strain and max_bending (largest over the whole
//                     fold: relative change of a bar's length; a facet's
//                     bend, radians), progress (percent of the targets the
//                     fold lines reached), steps, newton (median), kept.
//
// PLICATA_BENCH_VERBOSE=1 prints every step on standard error;
// PLICATA_BENCH_STIFFNESS=FOLD,FACET,AXIAL folds BM_CompliantStrain's
// patterns with other constants.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "input/pattern_file.h"
#include "sim/compliant.h"
#include "sim/fold_status.h"
#include "sim/fold_step.h"

namespace {

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

bool verbose() {
  const char* v = std::getenv("PLICATA_BENCH_VERBOSE");
  return v != nullptr && *v != '\0' && *v != '0';
}

struct Run {
  std::vector<double> ms, newton;
  long kept = 0, halvings = 0;
  double max_strain = 0.0, max_bending = 0.0;
};

// Takes steps compliant steps of om (prepared), recording each.
Run fold(ORISIM_compliant* cs, ORI_manifold* om, int steps) {
  Run run;
  for (int k = 0; k < steps; ++k) {
    ORISIM_compliantStats st;
    const auto t0 = std::chrono::steady_clock::now();
    oriSimCompliantStep(cs, om, nullptr, kStep, &st);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    run.ms.push_back(ms);
    run.newton.push_back(st.newton_iterations);
    run.kept += st.status != kOriCompliantConverged;
    run.halvings += st.halvings;
    run.max_strain = std::max(run.max_strain, st.max_strain);
    run.max_bending = std::max(run.max_bending, st.max_bending);
    if (verbose()) {
      std::fprintf(stderr, "step %d: %.1f ms, %d iterations (%d shifted, %d halvings), %s, strain %.2e, bend %.3f\n",
                   k + 1, ms, st.newton_iterations, st.shifted, st.halvings, oriSimCompliantStatusName(st.status),
                   st.max_strain, st.max_bending);
    }
  }
  return run;
}

void BM_CompliantMiura(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const int steps = static_cast<int>(state.range(1));
  const bool mid = state.range(2) != 0;
  for (auto _ : state) {
    ORI_manifold* om = nullptr;
    {
      QuietStdout quiet;
      om = makeMiura(size, true);
      if (om != nullptr && mid) {
        ORISIM_matrix* osm = oriSimNew(om);
        oriSimInitMatrix(osm, om);
        osm->exact = 1;
        for (int k = 0; k < 3; ++k) oriFoldStep(osm, om, kStep, "CG", nullptr, nullptr, nullptr, nullptr);
        oriSimDelete(osm);
      }
    }
    if (om == nullptr) {
      state.SkipWithError("the Miura-ori could not be built");
      return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    std::string why;
    ORISIM_compliant* cs = oriSimCompliantNew(om, ORISIM_compliantOptions{}, &why);
    const double analyse = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (cs == nullptr) {
      oriManifoldDelete(om);
      state.SkipWithError(why.c_str());
      return;
    }
    const Run run = fold(cs, om, steps);
    state.counters["step_ms"] = median(run.ms);
    state.counters["step_max_ms"] = *std::max_element(run.ms.begin(), run.ms.end());
    state.counters["newton"] = median(run.newton);
    state.counters["newton_max"] = *std::max_element(run.newton.begin(), run.newton.end());
    state.counters["kept"] = static_cast<double>(run.kept);
    state.counters["halvings"] = static_cast<double>(run.halvings);
    state.counters["analyse_ms"] = analyse;
    state.counters["max_strain"] = cs->last.max_strain;
    oriSimCompliantDelete(cs);
    oriManifoldDelete(om);
  }
}
BENCHMARK(BM_CompliantMiura)
    ->Args({30, 8, 0})
    ->Args({30, 4, 1})
    ->Args({100, 2, 1})
    ->Args({200, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_CompliantStrain(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  for (auto _ : state) {
    ORI_manifold* om = oriManifoldNew();
    int built = -1;
    {
      QuietStdout quiet;
      if (which == 0) {
        CreasePattern* cp = CreasePatternNew();
        OriHyparParams hp;
        if (oriPatternMakeHypar(cp, hp, nullptr, 0) == 0) built = oriManifoldConstructFromPattern(om, cp);
        CreasePatternDestruct(cp);
      } else {
        const std::string path = sharedPatternPath("opx/schamp_squaretwist_with_metadata.opx");
        if (path.empty()) {
          oriManifoldDelete(om);
          state.SkipWithError("the shared patterns are absent");
          return;
        }
        built = oriManifoldConstructFromFile(om, nullptr, path.c_str()) == kOriOpenOk ? 0 : -1;
      }
      if (built == 0) {
        oriSimSetFoldTo(om, 0.9);
        ORISIM_matrix* osm = nullptr;
        built = oriManifoldPrepareForFolding(om, 1, 0, &osm);
        oriSimDelete(osm);
      }
    }
    std::string why;
    ORISIM_compliantOptions options;
    if (const char* k = std::getenv("PLICATA_BENCH_STIFFNESS")) {
      std::sscanf(k, "%lf,%lf,%lf", &options.stiffness.fold, &options.stiffness.facet, &options.stiffness.axial);
    }
    ORISIM_compliant* cs = built == 0 ? oriSimCompliantNew(om, options, &why) : nullptr;
    if (cs == nullptr) {
      oriManifoldDelete(om);
      state.SkipWithError(built == 0 ? why.c_str() : "the pattern could not be built");
      return;
    }
    // 0.9 × (π − 0.01) in steps of 0.5, then two more at the goal.
    const int steps = 8;
    const Run run = fold(cs, om, steps);
    state.counters["max_strain"] = run.max_strain;
    state.counters["max_bending"] = run.max_bending;
    state.counters["progress"] = oriFoldProgress(om);
    state.counters["steps"] = steps;
    state.counters["newton"] = median(run.newton);
    state.counters["kept"] = static_cast<double>(run.kept);
    oriSimCompliantDelete(cs);
    oriManifoldDelete(om);
  }
}
BENCHMARK(BM_CompliantStrain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
