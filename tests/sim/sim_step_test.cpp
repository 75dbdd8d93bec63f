// The constrained step: the moment rules, the projection and its guards,
// the step limit, and clearing.
#include "sim/sim_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "input/pattern_gen.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kTarget = 3.1315926535897933;

// A prepared mesh with its simulation record.
struct Sheet {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  ~Sheet() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  void attach(ORI_manifold* m) {
    om = m;
    ASSERT_NE(om, nullptr);
    testing::internal::CaptureStdout();
    osm = oriSimNew(om);
    oriSimInitMatrix(osm, om);
    testing::internal::GetCapturedStdout();
  }
  void fromLines(const std::vector<OriPatternLine>& lines) {
    ORI_manifold* m = loadOpxText(opxText(lines));
    ASSERT_NE(m, nullptr);
    oriManifoldPrepare(m, 0);
    attach(m);
  }
  // Sets one line's angle in the mesh and the record.
  void setAngle(const ORI_edge* e, double a) {
    osm->angle_n[e->crease_index] = a;
    oriSimUpdateCrease(om, osm->angle_n);
  }
  std::vector<double> moments(double step) {
    std::vector<double> m(osm->n, 0.0);
    oriSimUpdateMomentAngle(m, om, step);
    return m;
  }
};

// The four creases of the degree-4 fixture, from the centre to the middle
// of each side: east, north, west, south.
struct Creases {
  const ORI_edge* e[4];
};

Creases creasesOf(const ORI_manifold* om) {
  Creases c;
  c.e[0] = findHalfEdge(om, 0, 0, 200, 0);
  c.e[1] = findHalfEdge(om, 0, 0, 0, 200);
  c.e[2] = findHalfEdge(om, 0, 0, -200, 0);
  c.e[3] = findHalfEdge(om, 0, 0, 0, -200);
  return c;
}

bool allFinite(const std::vector<double>& v) {
  for (double d : v) {
    if (!std::isfinite(d)) return false;
  }
  return true;
}

}  // namespace

// ---- Moment rules ---------------------------------------------------------------

TEST(SimMoment, FoldLineAtFlatWishesItsTargetBoundedToTheGain) {
  Sheet s;
  s.fromLines(squareWithDiagonal(2));  // one crease, no inner vertex
  const double step = 0.5, gain = 0.05;
  EXPECT_DOUBLE_EQ(s.moments(step)[0], gain);  // s·3.1316 before the bound, s after
  Sheet n;
  n.fromLines(squareWithDiagonal(3));
  EXPECT_DOUBLE_EQ(n.moments(step)[0], -gain);
  // A smaller step wishes proportionally less.
  EXPECT_DOUBLE_EQ(s.moments(0.2)[0], 0.02);
}

TEST(SimMoment, HandWorkedCasesKeepTheirRatiosThroughTheBound) {
  Sheet s;
  s.fromLines(degree4Vertex(2, 2, 2, 3));
  const Creases c = creasesOf(s.om);
  for (const ORI_edge* e : c.e) ASSERT_NE(e, nullptr);
  const double step = 0.5, gain = 0.05;
  s.setAngle(c.e[0], kTarget + 0.1);  // passed its target by 0.1
  s.setAngle(c.e[1], 0.0);            // flat, folding towards +target
  s.setAngle(c.e[2], -0.2);           // folded the wrong way (product -0.626)
  s.setAngle(c.e[3], -1.0);           // on its way to -target
  const std::vector<double> m = s.moments(step);
  const double passed = (gain + 1.0) * (-0.1) * 30.0;  // the largest wish, bounded to -s
  EXPECT_NEAR(m[c.e[0]->crease_index], -gain, 1e-15);
  EXPECT_NEAR(m[c.e[1]->crease_index], gain * kTarget * (gain / -passed), 1e-15);
  EXPECT_EQ(m[c.e[2]->crease_index], 0.0);  // moment_factor 0: no wish at all
  EXPECT_NEAR(m[c.e[3]->crease_index], gain * (-kTarget + 1.0) * (gain / -passed), 1e-15);

  // Unfolding: the passed crease is still pulled back to its target; the
  // others head for flat.
  const std::vector<double> u = s.moments(-step);
  EXPECT_NEAR(u[c.e[0]->crease_index], -gain, 1e-15);
  EXPECT_EQ(u[c.e[1]->crease_index], 0.0);
  EXPECT_EQ(u[c.e[2]->crease_index], 0.0);
  EXPECT_NEAR(u[c.e[3]->crease_index], gain * 1.0 * (gain / -passed), 1e-15);
}

TEST(SimMoment, UnfoldingACreaseFoldedToOneGivesMinusTheGain) {
  Sheet s;
  s.fromLines(squareWithDiagonal(2));
  s.setAngle(findHalfEdge(s.om, -200, -200, 200, 200), 1.0);
  EXPECT_DOUBLE_EQ(s.moments(-0.5)[0], -0.05);
}

TEST(SimMoment, FlatPatternLinesGetNoWish) {
  Sheet s;
  s.fromLines(degree4Vertex(2, 1, 2, 0));
  const Creases c = creasesOf(s.om);
  s.setAngle(c.e[1], 0.3);
  s.setAngle(c.e[3], -0.4);
  const std::vector<double> m = s.moments(0.5);
  EXPECT_EQ(m[c.e[1]->crease_index], 0.0);
  EXPECT_EQ(m[c.e[3]->crease_index], 0.0);
  EXPECT_GT(m[c.e[0]->crease_index], 0.0);
}

TEST(SimMoment, DiagonalBarrier) {
  Sheet s;
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 2, 3)));
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  const ORI_edge* d = addDiagonal(om, 0, 0, 200, 200);
  ASSERT_NE(d, nullptr);
  s.attach(om);
  const Creases c = creasesOf(s.om);
  const int di = d->crease_index;
  ASSERT_GE(di, 0);
  const double gain = 0.05;

  // At angle 0 the barrier is balanced.
  EXPECT_EQ(s.moments(0.5)[di], 0.0);

  // The east crease folded to 1.0 bounds the diagonal above at π − 1 + 0.2.
  // At that limit the barrier saturates at 10·s, against the diagonal's
  // angle; a crease passed by 0.5 (moment 30·(s + 1)·0.5) sets the bound so
  // that the ratio shows the unbounded value.
  s.setAngle(c.e[0], 1.0);
  s.setAngle(c.e[2], kTarget + 0.5);  // the west crease: not beside the diagonal
  const double hi = 3.141592653589793 - 1.0 + 0.2;
  s.setAngle(d, hi);
  std::vector<double> m = s.moments(0.5);
  const double passed = (gain + 1.0) * 0.5 * 30.0;
  EXPECT_NEAR(m[c.e[2]->crease_index], -gain, 1e-15);
  EXPECT_NEAR(m[di], -(10.0 * gain) * (gain / passed), 1e-12);
  s.setAngle(d, hi + 0.3);
  EXPECT_NEAR(s.moments(0.5)[di], -(10.0 * gain) * (gain / passed), 1e-12);

  // Inside the limits it rises smoothly and keeps the sign against the angle.
  s.setAngle(d, 0.5);
  const double inside = s.moments(0.5)[di];
  EXPECT_LT(inside, 0.0);
  EXPECT_GT(inside, -(10.0 * gain) * (gain / passed));
  s.setAngle(d, -0.5);
  EXPECT_GT(s.moments(0.5)[di], 0.0);
}

TEST(SimMoment, StepOfZeroLeavesDiagonalsAtZeroAndEverythingFinite) {
  Sheet s;
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 2, 3)));
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  const ORI_edge* d = addDiagonal(om, 0, 0, 200, 200);
  ASSERT_NE(d, nullptr);
  s.attach(om);
  s.setAngle(d, 0.4);
  s.setAngle(creasesOf(s.om).e[2], kTarget + 0.2);  // passed: a wish even without a step
  const std::vector<double> m = s.moments(0.0);
  EXPECT_TRUE(allFinite(m));
  EXPECT_EQ(m[d->crease_index], 0.0);
  for (double v : m) EXPECT_EQ(v, 0.0);  // the bound to 0·|step| stops every crease
}

// ---- Projection -------------------------------------------------------------------

TEST(SimProjection, ZeroRightHandSideGivesNoCorrection) {
  // The flat 90-degree vertex closes exactly, and nothing is wished: the
  // first CG step would divide 0 by 0.
  Sheet s;
  s.fromLines(degree4Vertex(2, 2, 2, 3));
  std::vector<double> delta;
  int iterations = -1;
  double error = -1;
  const double before = oriSimDeltaAnglePinvConstraintsCG(delta, std::vector<double>(s.osm->n, 0.0), s.osm, s.om,
                                                          &iterations, &error);
  EXPECT_EQ(before, 0.0);
  EXPECT_EQ(iterations, 0);
  EXPECT_EQ(error, 0.0);
  ASSERT_EQ(delta.size(), 4u);
  for (double v : delta) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, 0.0), 0.0);
  EXPECT_TRUE(allFinite(s.osm->angle_n));
}

TEST(SimProjection, WithoutInnerVertexTheWishIsTheChange) {
  Sheet s;
  s.fromLines(squareWithDiagonal(3));
  std::vector<double> delta;
  const std::vector<double> moment = {-0.04};
  EXPECT_EQ(oriSimDeltaAnglePinvConstraintsCG(delta, moment, s.osm, s.om), 0.0);
  EXPECT_EQ(delta, moment);
  // The step moves the crease by its bounded wish, unconstrained.
  EXPECT_DOUBLE_EQ(oriSimUpdateStateCG(s.osm, s.om, 0.5), 0.05);
  EXPECT_DOUBLE_EQ(findHalfEdge(s.om, -200, -200, 200, 200)->angle, -0.05);
}

TEST(SimProjection, ChangeKeepsTheVertexClosedToFirstOrder) {
  // C·delta ≈ −g: the projected change removes the wish's closure error.
  OriVertexSpec spec;
  Sheet s;
  s.attach(loadGeneratedVertex(spec));
  std::vector<double> moment(s.osm->n);
  for (int c = 0; c < s.osm->n; ++c) moment[c] = 0.01 * (c + 1);  // a wish that breaks closure
  std::vector<double> delta;
  oriSimUpdateConstraints(s.osm->C_mn, s.osm, s.om);
  oriSimDeltaAnglePinvConstraintsCG(delta, moment, s.osm, s.om);
  for (int r = 0; r < s.osm->m; ++r) {
    double cd = 0.0;
    for (int c = 0; c < s.osm->n; ++c) cd += s.osm->C_mn[r * s.osm->n + c] * delta[c];
    EXPECT_NEAR(cd, 0.0, 1e-4) << "row " << r;
  }
  // The flat vertex has one way to fold: the projection keeps most of it.
  double kept = 0.0;
  for (double v : delta) kept = std::max(kept, std::fabs(v));
  EXPECT_GT(kept, 0.005);
}

// ---- One step -----------------------------------------------------------------------

TEST(SimStep, NoCreaseMovesMoreThanTheStep) {
  OriMiuraSpec spec;
  Sheet s;
  s.attach(loadGeneratedMiura(spec));
  for (int k = 0; k < 40; ++k) {
    const std::vector<double> before = s.osm->angle_n;
    ORISIM_stepStats stats;
    const double moved = oriSimUpdateStateCG(s.osm, s.om, 0.5, &stats);
    EXPECT_LE(moved, 0.5);
    EXPECT_GE(stats.cg_iterations, 1);
    double largest = 0.0;
    for (int c = 0; c < s.osm->n; ++c) largest = std::max(largest, std::fabs(s.osm->angle_n[c] - before[c]));
    EXPECT_NEAR(largest, moved, 1e-12) << "step " << k;
  }
  // The half-edges carry the record's angles.
  for (List* l = s.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    EXPECT_EQ(e->angle, e->crease_index >= 0 ? s.osm->angle_n[e->crease_index] : 0.0);
  }
}

TEST(SimStep, SheetWithoutFoldLinesDoesNothing) {
  Sheet s;
  s.fromLines(squareLines());
  ASSERT_EQ(s.osm->n, 0);
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, 0.5), 0.0);
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, -0.5), 0.0);
  oriSimClearCrease(s.om, s.osm);
}

TEST(SimStep, StepThatIsNotANumberChangesNothing) {
  OriMiuraSpec spec;
  Sheet s;
  s.attach(loadGeneratedMiura(spec));
  for (int k = 0; k < 5; ++k) oriSimUpdateStateCG(s.osm, s.om, 0.5);
  const std::vector<double> before = s.osm->angle_n;
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, std::numeric_limits<double>::quiet_NaN()), 0.0);
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(s.osm->angle_n, before);
}

// ---- Clearing -----------------------------------------------------------------------

TEST(SimClear, RestoresTheFlatSheetAndTheSameFoldAgain) {
  OriMiuraSpec spec;
  spec.rows = 3;
  spec.cols = 5;
  Sheet s;
  s.attach(loadGeneratedMiura(spec));
  auto fold = [&](int steps) {
    for (int k = 0; k < steps; ++k) {
      oriSimUpdateStateCG(s.osm, s.om, 0.5);
      oriManifoldUpdate(s.om, s.om->center_face);
    }
    return s.osm->angle_n;
  };
  const std::vector<double> first = fold(30);
  // Pick another fixed face and move it, as picking does.
  ORI_face* other = static_cast<ORI_face*>(s.om->faces->next->data);
  s.om->center_face = other;
  other->matrix[3] = 0.25;

  EXPECT_EQ(oriSimClearCrease(s.om, s.osm), 0);
  EXPECT_EQ(s.osm->angle_n, std::vector<double>(s.osm->n, 0.0));
  EXPECT_EQ(s.osm->residual_m, std::vector<double>(s.osm->m, 0.0));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(other->matrix[i], (i % 5 == 0) ? 1.0 : 0.0);
  for (List* l = s.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    EXPECT_EQ(e->angle, 0.0);
    EXPECT_NEAR(e->vert->pos.x, e->x1, 1e-14);
    EXPECT_NEAR(e->vert->pos.y, e->y1, 1e-14);
    EXPECT_NEAR(e->vert->pos.z, 0.0, 1e-14);
  }
  // Nothing of the first fold survives: folding again repeats it exactly.
  s.om->center_face = other;
  EXPECT_EQ(fold(30), first);
}
