// One full fold step (moments, Jacobian, projection, angle update, face
// placement) on generated Miura-ori of N × N parallelograms, taken from the
// same mid-fold state every iteration, on the dense path whatever the size
// (large_pattern_bench compares it with the sparse one).
//
// Counters: m (constraint rows), n (fold lines), cg_iterations of the
// projection, dense_MB (the m×m system and the m×n Jacobian), peak_rss_MB
// (the process's peak so far; sizes run in increasing order).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "geometry/manifold.h"
#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "sim/fold_step.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

namespace {

// The default fold step (10) times 0.05 radians.
constexpr double kStep = 0.5;

ORI_manifold* makeMiura(int size) {
  OriMiuraParams params;
  params.rows = size;
  params.cols = size;
  CreasePattern* cp = CreasePatternNew();
  ORI_manifold* om = nullptr;
  if (oriPatternMakeMiura(cp, params, nullptr, 0) == 0) {
    om = oriManifoldNew();
    if (oriManifoldConstructFromPattern(om, cp) != 0 || oriManifoldPrepare(om, 0) != 0) {
      oriManifoldDelete(om);
      om = nullptr;
    }
  }
  CreasePatternDestruct(cp);
  return om;
}

// Every Miura-ori of one sector angle folds uniformly: all zig-zag creases by
// one angle, all straight creases by another. A small one folded by the
// solver gives both, so a large one starts mid-fold without paying for the
// steps that lead there.
struct MidFold {
  double zigzag = 0, straight = 0;
};

MidFold midFoldAngles() {
  MidFold mid;
  ORI_manifold* om = makeMiura(3);
  if (om == nullptr) return mid;
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimInitMatrix(osm, om);
  for (int k = 0; k < 20; ++k) oriSimUpdateStateCG(osm, om, kStep);
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->crease_index < 0) continue;
    double& slot = std::fabs(e->y1 - e->y0) < 1e-12 ? mid.straight : mid.zigzag;
    slot = std::max(slot, std::fabs(e->angle));
  }
  oriSimDelete(osm);
  oriManifoldDelete(om);
  return mid;
}

void setMidFold(ORISIM_matrix* osm, ORI_manifold* om, const MidFold& mid) {
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->crease_index < 0) continue;
    const double size = std::fabs(e->y1 - e->y0) < 1e-12 ? mid.straight : mid.zigzag;
    osm->angle_n[e->crease_index] = std::copysign(size, e->target_angle);
  }
  oriSimUpdateCrease(om, osm->angle_n);
  oriManifoldUpdate(om, om->center_face);
}

// Sends standard output to /dev/null while it lives.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      dup2(null_fd, STDOUT_FILENO);
      close(null_fd);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }

 private:
  int saved_ = -1;
};

double peakRssMB() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024.0;  // kilobytes on Linux
}

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
