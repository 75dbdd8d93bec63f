// Large patterns: loading, face placement and the full fold step on generated
// Miura-ori of N × N parallelograms up to 200 × 200, triangulated as the
// loaders do by default, and on the largest real pattern, on both solver
// paths where the dense one fits (up to 30 × 30).
//
// BM_LoadMiura/N      crease-pattern XML file → mesh → triangulation → fixed
//                     face, numbering, placement → simulation record. Counters:
//                     read_ms, tess_ms, prepare_ms, sim_ms (the phases).
// BM_PlaceMiura/N     oriManifoldUpdate from the fixed face, mid-fold.
// BM_StepMiura/N/P    one fold step as a held space bar takes it (moments,
//                     Jacobian, projection, angle update, placement) from the
//                     same mid-fold state, P = 1 dense, 2 sparse. Counters:
//                     solve_ms and place_ms (the two halves), cg_iterations,
//                     m, n, nnz, solver_MB (Jacobian and the projection's
//                     working arrays), peak_rss_MB (the process's peak so far).
// BM_FoldMiura/N/P/T/K  twenty steps from the flat sheet, as a held space
//                     bar takes them: the states the solver meets in use,
//                     whose residual makes the projection work harder than at
//                     the exact mid-fold state above; T = 0 keeps the facets
//                     whole, K = 1 runs the plain build of the sparse
//                     iteration. Counters: step_ms (mean per step), cg_mean
//                     (mean iterations), wide (the wide build ran).
// BM_StepReal/P       the same on the largest real pattern, triangulated,
//                     after ten steps from flat.
// BM_Sheet/N/S/C/T    ten consecutive fold steps (oriFoldStep: moments,
//                     Jacobian, projection, angles, placement) of the
//                     triangulated N × N Miura-ori on the default path,
//                     starting flat (S = 0) or mid-fold (S = 1), with the
//                     default iteration (C = 0) or the plain reference
//                     (C = 1), shared among every core (T = 0, the
//                     default) or on one thread (T = 1). Counters: step_ms
//                     and step_max_ms (mean and slowest of the ten),
//                     step_cpu_ms (processor time of the mean step, all
//                     threads), cg_mean (iterations), m, n, peak_rss_MB.
//                     bench/large_sheets.sh runs these and prints the
//                     table with the growth exponents.
// BM_SheetStep/N/D    ten consecutive fold steps from flat of the
//                     triangulated N × N Miura-ori, taken by oriFoldStep
//                     (D = 0) or by the sheet every front end drives
//                     (oriSheetStep with nothing recorded, D = 1; with the
//                     residual measured after every step as plicata-fold's
//                     progress asks, D = 2). On a busy machine run them with
//                     --benchmark_repetitions=5
//                     --benchmark_enable_random_interleaving=true, so that
//                     the load falls on all alike. Counters: step_ms (mean),
//                     step_cpu_ms, cg_mean.
// BM_Exact/N/E/K      twenty steps from flat of the triangulated N × N
//                     Miura-ori at fold step K (10 or 50), exact mode off
//                     (E = 0) or on (E = 1). Counters: step_ms (mean wall
//                     time per step), step_cpu_ms (processor time, all
//                     threads), newton_mean and newton_cg_mean (corrections
//                     and their iterations per step), factor_mean (numeric
//                     factorisations per step), substep_mean, halved_steps
//                     (steps that halved a substep) and halvings, kept
//                     (steps that kept the ordinary result), closure_max
//                     (largest vertex closure error of any frame, radians),
//                     edge_max (largest facet-side length error of any
//                     frame whose angles placement shows unclamped, over
//                     the paper's size) and peak_rss_MB (the process's peak
//                     so far). bench/exact_steps.sh runs these and prints
//                     the table.
// BM_ExactReal/F/E    the same, forty steps at fold step 10, on the real
//                     rigidly foldable patterns (F indexes them),
//                     triangulated.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "geometry/manifold.h"
#include "geometry/tessellate.h"
#include "input/line_list.h"
#include "input/opx_writer.h"
#include "input/pattern_file.h"
#include "input/pattern_gen.h"
#include "sheet/sheet.h"
#include "sim/fold_step.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/parallel_chunks.h"
#include "sim/sim_step.h"
#include "sim/sparse_cg.h"

namespace {

double msSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time of the process (the step's helper threads included), in
// milliseconds: what a step costs whatever else the machine runs (wall
// time also counts the waits).
double processCpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

// A generated Miura-ori written as a crease-pattern XML file in the
// temporary directory, removed when the holder goes.
class MiuraFile {
 public:
  explicit MiuraFile(int size) {
    char name[] = "/tmp/plicata_bench_miura_XXXXXX.opx";
    const int fd = mkstemps(name, 4);
    if (fd < 0) return;
    FILE* fp = fdopen(fd, "w");
    OriMiuraParams params;
    params.rows = size;
    params.cols = size;
    CreasePattern* cp = CreasePatternNew();
    const bool made = oriPatternMakeMiura(cp, params, nullptr, 0) == 0 && LineToOpx(cp, fp) == 0;
    CreasePatternDestruct(cp);
    if (std::fclose(fp) == 0 && made) path_ = name;
    if (path_.empty()) std::remove(name);
  }
  ~MiuraFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A loaded pattern, triangulated and prepared flat, with its record.
struct Loaded {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  double read_ms = 0, tess_ms = 0, prepare_ms = 0, sim_ms = 0;
  ~Loaded() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
};

// Loads path as the window program does with the answer "yes, triangulate"
// (or "no"), the record on the given path; false when the file cannot be read.
bool load(const std::string& path, int solver_path, Loaded* out, bool triangulate = true) {
  QuietStdout quiet;
  auto t0 = std::chrono::steady_clock::now();
  out->om = oriManifoldNew();
  if (oriManifoldConstructFromFile(out->om, nullptr, path.c_str()) != kOriOpenOk) return false;
  out->read_ms = msSince(t0);
  t0 = std::chrono::steady_clock::now();
  if (triangulate && !oriManifoldTriangulated(out->om)) oriManifoldTessFace(out->om);
  out->tess_ms = msSince(t0);
  t0 = std::chrono::steady_clock::now();
  if (oriManifoldPrepare(out->om, 0) != 0) return false;
  out->prepare_ms = msSince(t0);
  t0 = std::chrono::steady_clock::now();
  oriSimSetPathRequest(solver_path);
  out->osm = oriFoldPrepareSim(out->om);
  oriSimSetPathRequest(kOriSimPathAuto);
  out->sim_ms = msSince(t0);
  return true;
}

// Bytes the solver holds for its Jacobian, plus the projection's working
// arrays of one step.
double solverMB(const ORISIM_matrix* osm) {
  const double m = osm->m, n = osm->n;
  double bytes;
  if (osm->path == kOriSimPathSparse) {
    const ORISIM_sparse& J = osm->C_sparse;
    bytes = static_cast<double>((J.val.size() + J.pair_val.size() + J.residual.size()) * sizeof(double) +
                                (J.vert_start.size() + J.col.size() + J.owner_start.size() + J.other.size()) *
                                    sizeof(int));
    // r, x and b, the iteration's four padded vectors, and its reach of each vertex.
    bytes += (3 * m + 4 * (4 * m / 3 + 4)) * sizeof(double) + (m / 3) * sizeof(int);
  } else {
    bytes = (m * n + m * m + 6 * m + n) * sizeof(double);
  }
  return bytes / (1024.0 * 1024.0);
}

// Takes fold steps from the state start, restored after each (outside the
// timing), and fills the step counters.
void timeSteps(benchmark::State& state, Loaded& p) {
  const std::vector<double> start = p.osm->angle_n;
  ORISIM_stepStats stats{};
  double solve_ms = 0, place_ms = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    const double moved = oriSimUpdateStateCG(p.osm, p.om, kStep, &stats);
    solve_ms += msSince(t0);
    t0 = std::chrono::steady_clock::now();
    oriManifoldUpdate(p.om, p.om->center_face);
    place_ms += msSince(t0);
    benchmark::DoNotOptimize(moved);
    state.PauseTiming();
    p.osm->angle_n = start;
    oriSimUpdateCrease(p.om, start);
    state.ResumeTiming();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["solve_ms"] = solve_ms / runs;
  state.counters["place_ms"] = place_ms / runs;
  state.counters["m"] = p.osm->m;
  state.counters["n"] = p.osm->n;
  state.counters["nnz"] =
      static_cast<double>(p.osm->path == kOriSimPathSparse ? oriSimSparseCount(p.osm->C_sparse) : 0);
  state.counters["cg_iterations"] = stats.cg_iterations;
  state.counters["solver_MB"] = solverMB(p.osm);
  state.counters["peak_rss_MB"] = peakRssMB();
}

void BM_LoadMiura(benchmark::State& state) {
  const MiuraFile file(static_cast<int>(state.range(0)));
  if (file.path().empty()) {
    state.SkipWithError("the Miura-ori file could not be written");
    return;
  }
  double read_ms = 0, tess_ms = 0, prepare_ms = 0, sim_ms = 0;
  int m = 0, n = 0;
  for (auto _ : state) {
    auto p = std::make_unique<Loaded>();
    if (!load(file.path(), kOriSimPathAuto, p.get())) {
      state.SkipWithError("the Miura-ori could not be loaded");
      return;
    }
    read_ms += p->read_ms;
    tess_ms += p->tess_ms;
    prepare_ms += p->prepare_ms;
    sim_ms += p->sim_ms;
    m = p->osm->m;
    n = p->osm->n;
    state.PauseTiming();  // freeing the mesh is not part of loading
    p.reset();
    state.ResumeTiming();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["read_ms"] = read_ms / runs;
  state.counters["tess_ms"] = tess_ms / runs;
  state.counters["prepare_ms"] = prepare_ms / runs;
  state.counters["sim_ms"] = sim_ms / runs;
  state.counters["m"] = m;
  state.counters["n"] = n;
  state.counters["peak_rss_MB"] = peakRssMB();
}

void BM_PlaceMiura(benchmark::State& state) {
  const MiuraFile file(static_cast<int>(state.range(0)));
  Loaded p;
  if (file.path().empty() || !load(file.path(), kOriSimPathSparse, &p)) {
    state.SkipWithError("the Miura-ori could not be loaded");
    return;
  }
  setMidFold(p.osm, p.om, midFoldAngles());
  for (auto _ : state) {
    oriManifoldUpdate(p.om, p.om->center_face);
    benchmark::ClobberMemory();
  }
  state.counters["faces"] = p.om->n_face;
}

void BM_StepMiura(benchmark::State& state) {
  const MiuraFile file(static_cast<int>(state.range(0)));
  Loaded p;
  if (file.path().empty() || !load(file.path(), static_cast<int>(state.range(1)), &p)) {
    state.SkipWithError("the Miura-ori could not be loaded");
    return;
  }
  setMidFold(p.osm, p.om, midFoldAngles());
  timeSteps(state, p);
}

void BM_FoldMiura(benchmark::State& state) {
  constexpr int kSteps = 20;
  const MiuraFile file(static_cast<int>(state.range(0)));
  if (file.path().empty()) {
    state.SkipWithError("the Miura-ori file could not be written");
    return;
  }
  double step_ms = 0;
  long iterations = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto p = std::make_unique<Loaded>();
    if (!load(file.path(), static_cast<int>(state.range(1)), p.get(), state.range(2) != 0)) {
      state.SkipWithError("the Miura-ori could not be loaded");
      return;
    }
    state.ResumeTiming();
    ORISIM_stepStats stats{};
    int frame_no = 0;
    oriSimSetKernelRequest(state.range(3) != 0 ? kOriSimKernelPlain : kOriSimKernelAuto);
    for (int k = 0; k < kSteps; ++k) {
      const auto t0 = std::chrono::steady_clock::now();
      oriFoldStep(p->osm, p->om, kStep, "CG", &frame_no, nullptr, nullptr, &stats);
      step_ms += msSince(t0);
      iterations += stats.cg_iterations;
      ++steps;
    }
    oriSimSetKernelRequest(kOriSimKernelAuto);
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
  state.counters["wide"] = state.range(3) == 0 && oriSimKernelWide();
  state.counters["step_ms"] = steps > 0 ? step_ms / steps : 0.0;
  state.counters["cg_mean"] = steps > 0 ? static_cast<double>(iterations) / steps : 0.0;
  state.counters["peak_rss_MB"] = peakRssMB();
}

void BM_StepReal(benchmark::State& state) {
  // The largest real pattern of the shared folder (515 vertices, 1 340 fold
  // lines once triangulated).
  const std::string path = sharedPatternPath("opx/schamp_isoarea_square_8.opx");
  Loaded p;
  if (path.empty() || !load(path, static_cast<int>(state.range(0)), &p)) {
    state.SkipWithError("the real pattern is absent (set PLICATA_PATTERNS to the patterns folder)");
    return;
  }
  for (int k = 0; k < 10; ++k) {
    oriSimUpdateStateCG(p.osm, p.om, kStep);
    oriManifoldUpdate(p.om, p.om->center_face);
  }
  timeSteps(state, p);
}

void BM_Sheet(benchmark::State& state) {
  constexpr int kSteps = 10;
  const MiuraFile file(static_cast<int>(state.range(0)));
  Loaded p;
  oriSimSetCGRequest(static_cast<int>(state.range(2)));
  const bool loaded = !file.path().empty() && load(file.path(), kOriSimPathAuto, &p);
  oriSimSetCGRequest(kOriSimCGFast);
  if (!loaded) {
    state.SkipWithError("the Miura-ori could not be loaded");
    return;
  }
  const MidFold mid = midFoldAngles();
  oriSimSetThreads(static_cast<int>(state.range(3)));
  double step_ms = 0, step_max_ms = 0, step_cpu_ms = 0;
  long iterations = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (state.range(1) == 0) {
      oriSimClearCrease(p.om, p.osm);
    } else {
      setMidFold(p.osm, p.om, mid);
      p.osm->cg_start.clear();
    }
    state.ResumeTiming();
    ORISIM_stepStats stats{};
    int frame_no = 0;
    for (int k = 0; k < kSteps; ++k) {
      const auto t0 = std::chrono::steady_clock::now();
      const double cpu0 = processCpuMs();
      oriFoldStep(p.osm, p.om, kStep, "CG", &frame_no, nullptr, nullptr, &stats);
      step_cpu_ms += processCpuMs() - cpu0;
      const double ms = msSince(t0);
      step_ms += ms;
      step_max_ms = std::max(step_max_ms, ms);
      iterations += stats.cg_iterations;
      ++steps;
    }
  }
  oriSimSetThreads(0);
  state.counters["step_ms"] = step_ms / steps;
  state.counters["step_max_ms"] = step_max_ms;
  state.counters["step_cpu_ms"] = step_cpu_ms / steps;
  state.counters["cg_mean"] = static_cast<double>(iterations) / steps;
  state.counters["m"] = p.osm->m;
  state.counters["n"] = p.osm->n;
  state.counters["peak_rss_MB"] = peakRssMB();
}

void BM_SheetStep(benchmark::State& state) {
  constexpr int kSteps = 10;
  const MiuraFile file(static_cast<int>(state.range(0)));
  const int driver = static_cast<int>(state.range(1));
  Loaded p;
  ORI_sheet* sheet = oriSheetNew(nullptr);
  bool loaded = false;
  if (!file.path().empty()) {
    QuietStdout quiet;
    loaded = driver == 0 ? load(file.path(), kOriSimPathAuto, &p)
                         : !oriFailed(oriSheetLoad(sheet, file.path().c_str(), ORI_loadOptions()));
  }
  if (!loaded) {
    oriSheetDelete(sheet);
    state.SkipWithError("the Miura-ori could not be loaded");
    return;
  }
  ORI_recordOptions rec;
  rec.residual = driver == 2;
  oriSheetSetRecording(sheet, rec);
  ORI_foldOptions options;
  options.fold_step = static_cast<int>(std::lround(kStep / kOriFoldStepRadians));
  oriSheetSetOptions(sheet, options);
  double step_ms = 0, step_cpu_ms = 0;
  long iterations = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (driver == 0) {
      oriSimClearCrease(p.om, p.osm);
    } else {
      oriSheetClear(sheet);
    }
    state.ResumeTiming();
    ORISIM_stepStats stats{};
    ORI_sheetStep taken;
    int frame_no = 0;
    for (int k = 0; k < kSteps; ++k) {
      const auto t0 = std::chrono::steady_clock::now();
      const double cpu0 = processCpuMs();
      if (driver == 0) {
        oriFoldStep(p.osm, p.om, kStep, "CG", &frame_no, nullptr, nullptr, &stats);
      } else {
        oriSheetStep(sheet, &taken);
        stats = taken.stats;
      }
      step_cpu_ms += processCpuMs() - cpu0;
      step_ms += msSince(t0);
      iterations += stats.cg_iterations;
      ++steps;
    }
  }
  state.counters["step_ms"] = step_ms / steps;
  state.counters["step_cpu_ms"] = step_cpu_ms / steps;
  state.counters["cg_mean"] = static_cast<double>(iterations) / steps;
  oriSheetDelete(sheet);
}

// The largest difference between a facet side's folded and flat lengths,
// over the paper's size.
double edgeError(const ORI_manifold* om) {
  double worst = 0.0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    const double flat = std::hypot(e->x1 - e->x0, e->y1 - e->y0);
    const vector3d a = e->vert->pos, b = e->pair->vert->pos;
    const double folded = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
    worst = std::max(worst, std::fabs(folded - flat));
  }
  return worst / om->paper_size;
}

bool withinClamp(const ORISIM_matrix* osm) {
  for (double a : osm->angle_n) {
    if (std::fabs(a) > kOriFoldAngleLimit) return false;
  }
  return true;
}

// Folds p from flat with exact mode as asked and fills the counters.
void exactRun(benchmark::State& state, Loaded& p, int steps, bool exact, double step = kStep) {
  double step_ms = 0, cpu_ms = 0, closure_max = 0, edge_max = 0;
  long newton = 0, newton_cg = 0, factorisations = 0, substeps = 0, halved_steps = 0, runs = 0;
  std::vector<double> closure;
  for (auto _ : state) {
    state.PauseTiming();
    oriSimClearCrease(p.om, p.osm);
    p.osm->exact = exact ? 1 : 0;
    p.osm->exact_unconverged = 0;
    p.osm->exact_halvings = 0;
    state.ResumeTiming();
    int frame_no = 0;
    for (int k = 0; k < steps; ++k) {
      ORISIM_stepStats stats{};
      const double cpu0 = processCpuMs();
      const auto t0 = std::chrono::steady_clock::now();
      oriFoldStep(p.osm, p.om, step, "CG", &frame_no, nullptr, nullptr, &stats);
      step_ms += msSince(t0);
      cpu_ms += processCpuMs() - cpu0;
      newton += stats.newton_iterations;
      newton_cg += stats.newton_cg_iterations;
      factorisations += stats.exact_factorisations;
      substeps += stats.exact_substeps;
      if (stats.exact_halved > 0) ++halved_steps;
      ++runs;
      state.PauseTiming();
      closure_max = std::max(closure_max, oriSimVertexClosure(closure, p.osm, p.om, nullptr));
      if (withinClamp(p.osm)) edge_max = std::max(edge_max, edgeError(p.om));
      state.ResumeTiming();
    }
  }
  state.counters["step_ms"] = step_ms / runs;
  state.counters["step_cpu_ms"] = cpu_ms / runs;
  state.counters["newton_mean"] = static_cast<double>(newton) / runs;
  state.counters["newton_cg_mean"] = static_cast<double>(newton_cg) / runs;
  state.counters["factor_mean"] = static_cast<double>(factorisations) / runs;
  state.counters["substep_mean"] = static_cast<double>(substeps) / runs;
  state.counters["halved_steps"] = static_cast<double>(halved_steps);
  state.counters["halvings"] = p.osm->exact_halvings;
  state.counters["kept"] = p.osm->exact_unconverged;
  state.counters["closure_max"] = closure_max;
  state.counters["edge_max"] = edge_max;
  state.counters["peak_rss_MB"] = peakRssMB();
}

void BM_Exact(benchmark::State& state) {
  const MiuraFile file(static_cast<int>(state.range(0)));
  Loaded p;
  if (file.path().empty() || !load(file.path(), kOriSimPathAuto, &p)) {
    state.SkipWithError("the Miura-ori could not be loaded");
    return;
  }
  exactRun(state, p, 20, state.range(1) != 0, oriFoldHeldStep(static_cast<int>(state.range(2)), 0));
}

// Real patterns that fold rigidly as they stand.
const char* const kRigidReal[] = {"oripa_miura-ori.opx", "schamp_single_vertex_degree4_VVMV.opx",
                                  "schamp_single_vertex_degree8_VMMVMVMM.opx", "oripa_radial.opx"};

void BM_ExactReal(benchmark::State& state) {
  const std::string path = sharedPatternPath(std::string("opx/") + kRigidReal[state.range(0)]);
  Loaded p;
  if (path.empty() || !load(path, kOriSimPathAuto, &p)) {
    state.SkipWithError("the real pattern is absent (set PLICATA_PATTERNS to the patterns folder)");
    return;
  }
  state.SetLabel(kRigidReal[state.range(0)]);
  exactRun(state, p, 40, state.range(1) != 0);
}

}  // namespace

BENCHMARK(BM_Exact)
    ->ArgsProduct({{10, 30, 100, 200}, {0, 1}, {10, 50}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_ExactReal)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
// The default iteration on every core and on one, the reference on every core.
BENCHMARK(BM_Sheet)
    ->ArgsProduct({{50, 100, 150, 200}, {0, 1}, {kOriSimCGFast}, {0, 1}})
    ->ArgsProduct({{50, 100, 150, 200}, {0, 1}, {kOriSimCGPlain}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
// The sheet's step against the solver's.
BENCHMARK(BM_SheetStep)
    ->ArgsProduct({{100, 200}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_LoadMiura)->Arg(20)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlaceMiura)->Arg(20)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
// Dense up to 30 × 30 (a 40 × 40 step takes seconds and hundreds of megabytes).
BENCHMARK(BM_StepMiura)
    ->Args({10, kOriSimPathDense})
    ->Args({20, kOriSimPathDense})
    ->Args({30, kOriSimPathDense})
    ->Args({10, kOriSimPathSparse})
    ->Args({20, kOriSimPathSparse})
    ->Args({30, kOriSimPathSparse})
    ->Args({50, kOriSimPathSparse})
    ->Args({70, kOriSimPathSparse})
    ->Args({100, kOriSimPathSparse})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Third argument: 1 triangulated, 0 facets kept whole; fourth: 1 forces the
// plain build of the sparse iteration (the build every processor has).
BENCHMARK(BM_FoldMiura)
    ->Args({10, kOriSimPathDense, 1, 0})
    ->Args({20, kOriSimPathDense, 1, 0})
    ->Args({10, kOriSimPathSparse, 1, 0})
    ->Args({20, kOriSimPathSparse, 1, 0})
    ->Args({50, kOriSimPathSparse, 1, 0})
    ->Args({100, kOriSimPathSparse, 1, 0})
    ->Args({100, kOriSimPathSparse, 1, 1})
    ->Args({100, kOriSimPathSparse, 0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_StepReal)->Arg(kOriSimPathDense)->Arg(kOriSimPathSparse)->Unit(benchmark::kMillisecond)->UseRealTime();
