#include "app/fold_readout.h"

#include <cstdio>
#include <vector>

#include "sim/fold_status.h"
#include "sim/sim_matrix.h"
#include "sim/sparse_jacobian.h"

AppReadout theReadout;

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

}  // namespace

void appReadoutReset() {
  const bool closure = theReadout.marks.closure;
  theReadout = AppReadout{};
  theReadout.marks.closure = closure;
}

void appReadoutChanged() { theReadout.stale = true; }

void appReadoutStep(const ORISIM_stepStats& stats, double ms) {
  ++theReadout.steps;
  theReadout.stepped = true;
  theReadout.last = stats;
  theReadout.last_ms = ms;
}

bool appReadoutRefresh(const ORISIM_matrix* osm, const ORI_manifold* om, bool closure) {
  AppReadout& r = theReadout;
  r.marks.closure = closure;
  if (!r.stale || om == nullptr) return false;
  r.stale = false;
  oriGLMarksCollisions(&r.marks, om);
  r.worst = oriGLMarksClosure(&r.marks, osm, om, &r.worst_vertex);
  r.farthest = oriGLMarksFarthestCrease(r.marks);
  r.progress = oriFoldProgress(om);
  r.residual = 0.0;
  r.exact_kept = 0;
  r.exact_halvings = 0;
  if (osm != nullptr) {
    std::vector<double> g;
    r.residual = oriSimSparseResidual(g, osm, om);
    r.exact_kept = osm->exact_unconverged;
    r.exact_halvings = osm->exact_halvings;
  }
  return true;
}

void appReadoutLines(const AppReadout& r, std::string lines[kAppReadoutLines]) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "steps: %ld", r.steps);
  lines[0] = buf;
  std::snprintf(buf, sizeof buf, "fold progress: %.1f %%", r.progress);
  lines[1] = buf;
  std::snprintf(buf, sizeof buf, "residual: %.2e", r.residual);
  lines[2] = buf;
  if (r.worst_vertex >= 0) {
    std::snprintf(buf, sizeof buf, "worst vertex: %.1e at #%d", r.worst, r.worst_vertex);
  } else {
    std::snprintf(buf, sizeof buf, "worst vertex: no inner vertex");
  }
  lines[3] = buf;
  std::snprintf(buf, sizeof buf, "farthest fold: %.1f deg to go", r.farthest * kDegreesPerRadian);
  lines[4] = buf;
  if (!r.stepped) {
    std::snprintf(buf, sizeof buf, "last step: none yet");
  } else if (r.last.newton_iterations > 0) {
    std::snprintf(buf, sizeof buf, "last step: CG %d + %d Newton, %.1f ms", r.last.cg_iterations,
                  r.last.newton_iterations, r.last_ms);
  } else {
    std::snprintf(buf, sizeof buf, "last step: CG %d, %.1f ms", r.last.cg_iterations, r.last_ms);
  }
  lines[5] = buf;
  std::snprintf(buf, sizeof buf, "intersecting pairs: %d", r.marks.pairs);
  lines[6] = buf;
  std::snprintf(buf, sizeof buf, "exact kept back: %ld, halved: %ld", r.exact_kept, r.exact_halvings);
  lines[7] = buf;
}
