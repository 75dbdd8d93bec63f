// Mobility: the counts of patterns whose motions are known by hand, the
// dense and sparse paths against each other, and folding along a mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/tessellate.h"
#include "input/pattern_gen.h"
#include "sim/fold_step.h"
#include "sim/mobility.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "sim/sparse_jacobian.h"
#include "tests/support/fixtures.h"

namespace {

// A prepared pattern, its record and a mobility state; triangulated on
// request, as the loader does by default.
struct Sheet {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  ORISIM_mobilityState* state = oriSimMobilityNew();
  Sheet(ORI_manifold* mesh, bool triangulate) : om(mesh) {
    testing::internal::CaptureStdout();
    if (om != nullptr && triangulate && !oriManifoldTriangulated(om)) {
      oriManifoldTessFace(om);
      oriManifoldPrepare(om, 0);
    }
    if (om != nullptr) osm = oriFoldPrepareSim(om);
    testing::internal::GetCapturedStdout();
  }
  ~Sheet() {
    oriSimMobilityDelete(state);
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  void fold(int steps, double step = 0.5) {
    int frame_no = 0;
    for (int k = 0; k < steps; ++k) oriFoldStep(osm, om, step, "CG", &frame_no, nullptr, nullptr, nullptr);
  }
  ORISIM_mobility analyse(int diagonals = kOriMobilityDiagonalsHeld, int path = kOriMobilityPathAuto) {
    state->diagonals = diagonals;
    state->path = path;
    ORISIM_mobility r;
    EXPECT_EQ(oriSimMobilityAnalyse(state, osm, om, &r), kOriMobilityOk) << r.reason;
    return r;
  }
};

// The generators' meshes, their reader's progress kept off the log.
ORI_manifold* miura(int rows, int cols) {
  OriMiuraParams p;
  p.rows = rows;
  p.cols = cols;
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadGeneratedMiura(p);
  testing::internal::GetCapturedStdout();
  return om;
}

ORI_manifold* vertex() {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadGeneratedVertex(OriVertexParams());
  testing::internal::GetCapturedStdout();
  return om;
}

// The largest entry of C·mode over the modes of r, at the present angles.
double largestClosureRate(Sheet& s, const ORISIM_mobility& r) {
  ORISIM_sparse J;
  oriSimSparseUpdate(&J, s.osm, s.om);
  std::vector<double> y(s.osm->m);
  double worst = 0.0;
  for (int k = 0; k < r.dof; ++k) {
    oriSimSparseMultiply(J, 1.0, &r.modes[static_cast<size_t>(k) * r.n], 0.0, y.data());
    for (double v : y) worst = std::max(worst, std::fabs(v));
  }
  return worst;
}

}  // namespace

TEST(Mobility, Degree4VertexHasTwoFirstOrderModesFlatAndOneMotionFolded) {
  // Triangulated: the sectors' diagonals are held, as the pattern is drawn.
  Sheet s(vertex(), true);
  ASSERT_NE(s.osm, nullptr);
  ORISIM_mobility flat = s.analyse();
  EXPECT_EQ(flat.flat, 1);
  EXPECT_EQ(flat.dof, 2);
  EXPECT_EQ(flat.redundant, 1);  // the vanishing out-of-plane row
  EXPECT_EQ(flat.sure, 1);
  s.fold(6);
  ORISIM_mobility folded = s.analyse();
  EXPECT_EQ(folded.flat, 0);
  EXPECT_EQ(folded.closed, 1);
  EXPECT_EQ(folded.dof, 1);
  EXPECT_EQ(folded.redundant, 0);
  EXPECT_EQ(folded.sure, 1);
  ASSERT_EQ(folded.modes.size(), static_cast<size_t>(s.osm->n));
  // The mode holds the diagonals still, moves its leader forwards and keeps
  // the vertex closed to first order (up to the step's closure error).
  double length = 0.0;
  for (int c = 0; c < s.osm->n; ++c) {
    if (s.osm->crease_edge[c]->is_diagonal) {
      EXPECT_EQ(folded.modes[c], 0.0);
    }
    length += folded.modes[c] * folded.modes[c];
  }
  EXPECT_NEAR(length, 1.0, 1e-12);
  EXPECT_GT(folded.modes[folded.lead[0]], 0.0);
  EXPECT_LT(largestClosureRate(s, folded), 1e-2);
  // Counted as hinges, every diagonal adds a way to move.
  int diagonals = 0;
  for (const ORI_edge* e : s.osm->crease_edge) diagonals += e->is_diagonal ? 1 : 0;
  EXPECT_EQ(s.analyse(kOriMobilityDiagonalsHinge).dof, 1 + diagonals);
}

TEST(Mobility, MiuraOriOfQuadsFoldsWithOneMotionAndKnownRedundancy) {
  for (int size : {3, 5}) {
    Sheet s(miura(size, size), false);
    ASSERT_NE(s.osm, nullptr);
    s.fold(12);
    const ORISIM_mobility r = s.analyse();
    // A Miura-ori of n × n quads: one motion, (n − 2)² implied equations.
    EXPECT_EQ(r.dof, 1) << size;
    EXPECT_EQ(r.redundant, (size - 2) * (size - 2)) << size;
    EXPECT_EQ(r.sure, 1) << size;
    EXPECT_EQ(r.flat, 0);
  }
}

TEST(Mobility, SparsePathCountsAndOrdersAsTheDenseOne) {
  Sheet s(miura(12, 12), false);
  ASSERT_NE(s.osm, nullptr);
  for (int steps : {0, 10}) {
    s.fold(steps);
    const ORISIM_mobility dense = s.analyse(kOriMobilityDiagonalsHeld, kOriMobilityPathDense);
    const ORISIM_mobility sparse = s.analyse(kOriMobilityDiagonalsHeld, kOriMobilityPathSparse);
    ASSERT_EQ(dense.path, kOriMobilityPathDense);
    ASSERT_EQ(sparse.path, kOriMobilityPathSparse);
    EXPECT_EQ(sparse.rank, dense.rank) << steps;
    EXPECT_EQ(sparse.dof, dense.dof) << steps;
    EXPECT_EQ(sparse.redundant, dense.redundant) << steps;
    EXPECT_EQ(sparse.flat, dense.flat);
    EXPECT_EQ(sparse.sure, 1);
    EXPECT_NEAR(sparse.sigma_kept / dense.sigma_kept, 1.0, 1e-2);
    // The canonical basis is the same whatever rotation each path found.
    ASSERT_EQ(sparse.modes.size(), dense.modes.size());
    EXPECT_EQ(sparse.lead, dense.lead);
    double apart = 0.0;
    for (size_t i = 0; i < dense.modes.size(); ++i) apart = std::max(apart, std::fabs(sparse.modes[i] - dense.modes[i]));
    EXPECT_LT(apart, 1e-6) << steps;
  }
}

TEST(Mobility, FoldingAlongAModeKeepsTheSheetClosed) {
  // A Miura-ori of quads folded part way, then along its one motion; a mode
  // it does not have is refused with the number it has.
  Sheet s(miura(4, 4), false);
  ASSERT_NE(s.osm, nullptr);
  s.fold(8);
  std::string reason;
  EXPECT_LT(oriSimMobilityStep(s.state, s.osm, s.om, 0.5, 2, nullptr, nullptr, &reason), 0.0);
  EXPECT_NE(reason.find("the state has 1 mode"), std::string::npos) << reason;

  const std::vector<double> before = s.osm->angle_n;
  std::vector<double> closure;
  double worst = 0.0;
  int frame_no = 0;
  for (int k = 0; k < 20; ++k) {
    struct Mode { ORISIM_mobilityState* state; } mode{s.state};
    const auto solve = [](ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats, void* user) {
      return oriSimMobilityStep(static_cast<Mode*>(user)->state, osm, om, step, 1, stats, nullptr, nullptr);
    };
    ASSERT_EQ(oriFoldStepWith(s.osm, s.om, 0.5, solve, &mode, &frame_no, nullptr, nullptr, nullptr), 0) << k;
    worst = std::max(worst, oriSimVertexClosure(closure, s.osm, s.om, nullptr));
  }
  double moved = 0.0;
  for (int c = 0; c < s.osm->n; ++c) moved = std::max(moved, std::fabs(s.osm->angle_n[c] - before[c]));
  EXPECT_GT(moved, 0.5);    // it went somewhere: twenty steps of about 0.05
  EXPECT_LT(worst, 1e-3);   // as closed as the ordinary step keeps it
  EXPECT_EQ(s.analyse().dof, 1);
}
