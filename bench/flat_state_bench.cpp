// The flat-folded state of real patterns and a large generated one, each
// part timed alone on the mesh plicata-fold builds (triangulated):
//
// BM_FlatCheck/P     Kawasaki and Maekawa at every inner vertex.
// BM_FoldedForm/P    the folded form (faces reflected from the fixed face).
// BM_LayerOrder/P/C  the layer order: overlaps and conditions, propagation,
//                    components, search; C = 0 counts the stackings up to
//                    the cap (kOriLayerStateCap), C = 1 stops at the first.
//
// P: 0 the bird base (ORIPA's crane base), 1 the crane, 2 the turkey,
// 3 the iso-area square pattern 8 (the largest flat-foldable pattern of the
// shared folder: 1083 lines), 4 a generated 32 × 32 Miura-ori (1024 facets).
// Counters: faces, facets, overlapping pairs, conditions, stackings.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_support.h"
#include "flat/flat_state.h"
#include "input/pattern_file.h"

namespace {

const char* const kPatterns[] = {"opx/oripa_crane_base_mitani.opx", "fold/rabbitear_crane.fold",
                                 "opx/flatfolder_turkey2015.opx", "opx/schamp_isoarea_square_8.opx", nullptr};

// The mesh of pattern p as plicata-fold builds it; null when absent.
ORI_manifold* load(int p) {
  QuietStdout quiet;
  if (kPatterns[p] == nullptr) {
    ORI_manifold* om = makeMiura(32, true);
    return om;
  }
  const std::string path = sharedPatternPath(kPatterns[p]);
  if (path.empty()) return nullptr;
  ORI_manifold* om = oriManifoldNew();
  ORISIM_matrix* osm = nullptr;
  if (oriManifoldConstructFromFile(om, nullptr, path.c_str()) != kOriOpenOk ||
      oriManifoldPrepareForFolding(om, 1, 0, &osm) != 0) {
    oriManifoldDelete(om);
    return nullptr;
  }
  oriSimDelete(osm);
  return om;
}

void BM_FlatCheck(benchmark::State& state) {
  ORI_manifold* om = load(static_cast<int>(state.range(0)));
  if (om == nullptr) return state.SkipWithError("pattern absent (set PLICATA_PATTERNS)");
  ORI_flatCheck check;
  for (auto _ : state) oriFlatCheckVertices(om, &check);
  state.counters["faces"] = om->n_face;
  state.counters["failing"] = check.n_fail;
  oriManifoldDelete(om);
}

void BM_FoldedForm(benchmark::State& state) {
  ORI_manifold* om = load(static_cast<int>(state.range(0)));
  if (om == nullptr) return state.SkipWithError("pattern absent (set PLICATA_PATTERNS)");
  ORI_foldedForm form;
  for (auto _ : state) oriFlatFoldedForm(om, &form);
  state.counters["faces"] = om->n_face;
  state.counters["facets"] = form.n_facet;
  oriManifoldDelete(om);
}

void BM_LayerOrder(benchmark::State& state) {
  ORI_manifold* om = load(static_cast<int>(state.range(0)));
  if (om == nullptr) return state.SkipWithError("pattern absent (set PLICATA_PATTERNS)");
  ORI_foldedForm form;
  oriFlatFoldedForm(om, &form);
  ORI_layerOptions opt;
  if (state.range(1) == 1) opt.state_cap = 1;
  ORI_layerOrder order;
  for (auto _ : state) {
    ORI_layerProblem* problem = oriLayerProblemNew(om, form, opt.time_limit);
    oriLayerSolve(problem, opt, &order);
    oriLayerProblemDelete(problem);
  }
  state.counters["faces"] = om->n_face;
  state.counters["facets"] = order.n_facets;
  state.counters["pairs"] = order.n_pairs;
  state.counters["conditions"] = order.n_taco_taco + order.n_taco_tortilla + order.n_transitivity;
  state.counters["stackings"] = static_cast<double>(order.n_states);
  if (order.status != kOriLayerFound) state.SkipWithError(order.reason.c_str());
  oriManifoldDelete(om);
}

}  // namespace

BENCHMARK(BM_FlatCheck)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FoldedForm)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerOrder)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMillisecond);
