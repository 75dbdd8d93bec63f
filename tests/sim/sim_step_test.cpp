// The constrained step: the moment rules, the projection's guards and the
// step limit. Folding whole patterns is in fold_test.
#include "sim/sim_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "input/pattern_gen.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kTarget = 3.1315926535897933;
constexpr double kStep = 0.5, kGain = 0.05;  // the default fold step and its moment gain s

// A prepared mesh with its simulation record.
struct Sheet {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  explicit Sheet(ORI_manifold* m) : om(m) {
    testing::internal::CaptureStdout();
    if (om != nullptr) {
      osm = oriSimNew(om);
      oriSimInitMatrix(osm, om);
    }
    testing::internal::GetCapturedStdout();
  }
  ~Sheet() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  void set(const ORI_edge* e, double a) {
    osm->angle_n[e->crease_index] = a;
    oriSimUpdateCrease(om, osm->angle_n);
  }
  double moment(const ORI_edge* e, double step) {
    std::vector<double> m(osm->n, 0.0);
    oriSimUpdateMomentAngle(m, om, step);
    return m[e->crease_index];
  }
};

ORI_manifold* prepared(const std::vector<OriPatternLine>& lines, bool diagonal = false) {
  ORI_manifold* om = loadOpxText(opxText(lines));
  if (om == nullptr) return nullptr;
  oriManifoldPrepare(om, 0);
  if (diagonal) addDiagonal(om, 0, 0, 200, 200);  // splits the face between the east and north creases
  return om;
}

// The creases of degree4Vertex from the centre: east, north, west, south.
const ORI_edge* crease(const ORI_manifold* om, int k) {
  const double ends[4][2] = {{200, 0}, {0, 200}, {-200, 0}, {0, -200}};
  return findHalfEdge(om, 0, 0, ends[k][0], ends[k][1]);
}

}  // namespace

TEST(SimMoment, FoldLineAtFlatWishesItsTargetBoundedToTheGain) {
  Sheet s(prepared(squareWithDiagonal(3)));  // one crease, no inner vertex
  ASSERT_NE(s.osm, nullptr);
  const ORI_edge* e = findHalfEdge(s.om, -200, -200, 200, 200);
  EXPECT_DOUBLE_EQ(s.moment(e, kStep), kGain);  // s·3.1316 before the bound
  EXPECT_DOUBLE_EQ(s.moment(e, 0.2), 0.02);
  s.set(e, 1.0);
  EXPECT_DOUBLE_EQ(s.moment(e, -kStep), -kGain);  // unfolding from 1.0: goal -1.0 times s
}

TEST(SimMoment, HandWorkedCasesKeepTheirRatiosThroughTheBound) {
  Sheet s(prepared(degree4Vertex(3, 3, 3, 2)));
  ASSERT_NE(s.osm, nullptr);
  const ORI_edge *passed = crease(s.om, 0), *flat = crease(s.om, 1), *wrong = crease(s.om, 2),
                 *negative = crease(s.om, 3);
  s.set(passed, kTarget + 0.1);
  s.set(wrong, -0.2);      // folded the wrong way: product -0.626
  s.set(negative, -1.0);   // on its way to -target
  // The passed crease has the largest wish, (s + 1)·(-0.1)·30, bounded to -s;
  // every other wish is scaled by the same factor.
  const double scale = kGain / ((kGain + 1.0) * 0.1 * 30.0);
  EXPECT_NEAR(s.moment(passed, kStep), -kGain, 1e-15);
  EXPECT_NEAR(s.moment(flat, kStep), kGain * kTarget * scale, 1e-15);
  EXPECT_EQ(s.moment(wrong, kStep), 0.0);  // moment_factor 0: no wish at all
  EXPECT_NEAR(s.moment(negative, kStep), kGain * (-kTarget + 1.0) * scale, 1e-15);
  // Unfolding: the passed crease is still pulled back; the others head for flat.
  EXPECT_NEAR(s.moment(passed, -kStep), -kGain, 1e-15);
  EXPECT_EQ(s.moment(flat, -kStep), 0.0);
  EXPECT_NEAR(s.moment(negative, -kStep), kGain * scale, 1e-15);
  // Flat pattern lines get no wish.
  Sheet f(prepared(degree4Vertex(3, 1, 3, 0)));
  f.set(crease(f.om, 1), 0.3);
  EXPECT_EQ(f.moment(crease(f.om, 1), kStep), 0.0);
}

TEST(SimMoment, DiagonalBarrier) {
  Sheet s(prepared(degree4Vertex(3, 3, 3, 2), true));
  ASSERT_NE(s.osm, nullptr);
  const ORI_edge* d = findHalfEdge(s.om, 0, 0, 200, 200);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(s.moment(d, kStep), 0.0);  // balanced at angle 0
  // The east crease at 1.0 bounds the diagonal above at π − 1 + 0.2, where
  // the barrier saturates at −10·s. The west crease (not beside the
  // diagonal) passed by 0.5 sets the bound, so the ratio shows the value.
  s.set(crease(s.om, 0), 1.0);
  s.set(crease(s.om, 2), kTarget + 0.5);
  const double scale = kGain / ((kGain + 1.0) * 0.5 * 30.0);
  const double hi = 3.141592653589793 - 1.0 + 0.2;
  for (double at : {hi, hi + 0.3}) {
    s.set(d, at);
    EXPECT_NEAR(s.moment(d, kStep), -10.0 * kGain * scale, 1e-12) << at;
  }
  s.set(d, 0.5);
  EXPECT_LT(s.moment(d, kStep), 0.0);
  EXPECT_GT(s.moment(d, kStep), -10.0 * kGain * scale);
  s.set(d, -0.5);
  EXPECT_GT(s.moment(d, kStep), 0.0);
  // A step of 0 makes the barrier's constants 0/0: the diagonal gets no
  // wish, and the bound to 0 stops the passed crease too.
  std::vector<double> m(s.osm->n);
  oriSimUpdateMomentAngle(m, s.om, 0.0);
  for (double v : m) EXPECT_EQ(v, 0.0);
}

TEST(SimProjection, ZeroRightHandSideGivesNoCorrection) {
  // The flat 90-degree vertex closes exactly and nothing is wished: the
  // first CG step would divide 0 by 0.
  Sheet s(prepared(degree4Vertex(3, 3, 3, 2)));
  ASSERT_NE(s.osm, nullptr);
  std::vector<double> delta;
  int iterations = -1;
  double error = -1;
  EXPECT_EQ(oriSimDeltaAnglePinvConstraintsCG(delta, std::vector<double>(4, 0.0), s.osm, s.om, &iterations, &error),
            0.0);
  EXPECT_EQ(iterations, 0);
  EXPECT_EQ(error, 0.0);
  EXPECT_EQ(delta, std::vector<double>(4, 0.0));
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, 0.0), 0.0);
  EXPECT_EQ(s.osm->angle_n, std::vector<double>(4, 0.0));
}

TEST(SimProjection, WithoutInnerVertexTheWishIsTheChange) {
  Sheet s(prepared(squareWithDiagonal(2)));
  ASSERT_NE(s.osm, nullptr);
  std::vector<double> delta;
  EXPECT_EQ(oriSimDeltaAnglePinvConstraintsCG(delta, {-0.04}, s.osm, s.om), 0.0);
  EXPECT_EQ(delta, std::vector<double>{-0.04});
  EXPECT_DOUBLE_EQ(oriSimUpdateStateCG(s.osm, s.om, kStep), kGain);
  EXPECT_DOUBLE_EQ(findHalfEdge(s.om, -200, -200, 200, 200)->angle, -kGain);
}

TEST(SimStep, NoCreaseMovesMoreThanTheStepAndHalfEdgesFollow) {
  Sheet s(loadGeneratedMiura(OriMiuraParams()));
  ASSERT_NE(s.osm, nullptr);
  for (int k = 0; k < 40; ++k) {
    const std::vector<double> before = s.osm->angle_n;
    const double moved = oriSimUpdateStateCG(s.osm, s.om, kStep);
    double largest = 0.0;
    for (int c = 0; c < s.osm->n; ++c) largest = std::max(largest, std::fabs(s.osm->angle_n[c] - before[c]));
    EXPECT_LE(moved, kStep);
    EXPECT_NEAR(largest, moved, 1e-12) << "step " << k;
  }
  for (List* l = s.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    EXPECT_EQ(e->angle, e->crease_index >= 0 ? s.osm->angle_n[e->crease_index] : 0.0);
  }
  // A step that is not a number changes nothing.
  const std::vector<double> before = s.osm->angle_n;
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, std::numeric_limits<double>::quiet_NaN()), 0.0);
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(s.osm->angle_n, before);
}

TEST(SimStep, SheetWithoutFoldLinesDoesNothing) {
  Sheet s(prepared(squareLines()));
  ASSERT_NE(s.osm, nullptr);
  ASSERT_EQ(s.osm->n, 0);
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, kStep), 0.0);
  EXPECT_EQ(oriSimUpdateStateCG(s.osm, s.om, -kStep), 0.0);
  EXPECT_EQ(oriSimClearCrease(s.om, s.osm), 0);
}
