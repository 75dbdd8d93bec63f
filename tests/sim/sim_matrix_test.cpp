// The simulation record: numbering, the closure residual and the Jacobian.
#include "sim/sim_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "input/pattern_gen.h"
#include "sim/prepare.h"
#include "sim/sim_step.h"
#include "tests/support/fixtures.h"

namespace {

// A prepared mesh with its record on the dense path (whose m × n Jacobian
// these tests read), and what creating the record printed.
struct Sheet {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  std::string printed;
  explicit Sheet(ORI_manifold* m) : om(m) {
    testing::internal::CaptureStdout();
    if (om != nullptr) {
      oriSimSetPathRequest(kOriSimPathDense);
      osm = oriSimNew(om);
      oriSimSetPathRequest(kOriSimPathAuto);
      oriSimInitMatrix(osm, om);
    }
    std::fflush(stdout);
    printed = testing::internal::GetCapturedStdout();
  }
  ~Sheet() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  double residual() { return oriSimUpdateResidual(osm->residual_m, osm, om); }
};

ORI_manifold* prepared(const std::vector<OriPatternLine>& lines) {
  ORI_manifold* om = loadOpxText(opxText(lines));
  if (om != nullptr) oriManifoldPrepare(om, 0);
  return om;
}

// Largest difference between any Jacobian column and the central finite
// difference of the residual at the mesh's current angles.
double jacobianError(Sheet& s, int* worst_column) {
  constexpr double h = 1e-6;
  ORISIM_matrix* osm = s.osm;
  oriSimUpdateConstraints(osm->C_mn, osm, s.om);
  std::vector<double> a = osm->angle_n, plus(osm->m), minus(osm->m);
  double worst = 0.0;
  for (int c = 0; c < osm->n; ++c) {
    a[c] = osm->angle_n[c] + h;
    oriSimUpdateCrease(s.om, a);
    oriSimUpdateResidual(plus, osm, s.om);
    a[c] = osm->angle_n[c] - h;
    oriSimUpdateCrease(s.om, a);
    oriSimUpdateResidual(minus, osm, s.om);
    a[c] = osm->angle_n[c];
    for (int r = 0; r < osm->m; ++r) {
      const double err = std::fabs((plus[r] - minus[r]) / (2 * h) - osm->C_mn[size_t(r) * osm->n + c]);
      if (err > worst) worst = err, *worst_column = c;
    }
  }
  oriSimUpdateCrease(s.om, osm->angle_n);
  return worst;
}

// Flat, at random angles (not a closed folding), and after solver steps.
void checkJacobian(ORI_manifold* om, const std::string& name) {
  Sheet s(om);
  ASSERT_NE(s.osm, nullptr) << name;
  constexpr double kTolerance = 1e-7;
  int column = -1;
  EXPECT_LT(jacobianError(s, &column), kTolerance) << name << " flat, column " << column;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> angle(-2.0, 2.0);
  for (double& a : s.osm->angle_n) a = angle(rng);
  oriSimUpdateCrease(s.om, s.osm->angle_n);
  EXPECT_LT(jacobianError(s, &column), kTolerance) << name << " at random angles, column " << column;
  s.osm->angle_n.assign(s.osm->n, 0.0);
  oriSimUpdateCrease(s.om, s.osm->angle_n);
  for (int k = 0; k < 8; ++k) oriSimUpdateStateCG(s.osm, s.om, 0.5);
  EXPECT_LT(jacobianError(s, &column), kTolerance) << name << " folded by steps, column " << column;
}

}  // namespace

TEST(SimNew, NumbersInnerVerticesAndLinesAndPrintsTheCounts) {
  Sheet s(prepared(degree4Vertex(2, 2, 3, 2)));
  ASSERT_NE(s.osm, nullptr);
  EXPECT_NE(s.printed.find("\nnum_fold_line:0004  num_inside_vert:0001\n"), std::string::npos) << s.printed;
  EXPECT_EQ(s.osm->n, 4);
  EXPECT_EQ(s.osm->m, 3);
  EXPECT_EQ(s.osm->C_mn.size(), 12u);
  EXPECT_EQ(s.osm->residual_m.size(), 3u);
  EXPECT_EQ(s.osm->delta_angle_n.size(), 4u);
  std::vector<int> halves(4, 0);
  for (List* n = s.om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(n->data);
    EXPECT_EQ(e->crease_index, e->pair->crease_index);
    EXPECT_EQ(e->crease_index == -1, e->on_boundary || e->pair->on_boundary);
    if (e->crease_index >= 0) ++halves.at(e->crease_index);
  }
  EXPECT_EQ(halves, std::vector<int>(4, 2));
  for (List* n = s.om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(n->data);
    EXPECT_EQ(v->sim_index, v->on_boundary ? -1 : 0);
  }
}

TEST(SimNew, SheetWithoutInnerVertexHasNoConstraints) {
  Sheet s(prepared(squareWithDiagonal(2)));
  ASSERT_NE(s.osm, nullptr);
  EXPECT_NE(s.printed.find("num_fold_line:0001  num_inside_vert:0000"), std::string::npos) << s.printed;
  EXPECT_EQ(s.osm->m, 0);
  EXPECT_TRUE(s.osm->C_mn.empty());
  EXPECT_EQ(oriSimUpdateConstraints(s.osm->C_mn, s.osm, s.om), -1);
  EXPECT_TRUE(s.osm->C_mn.empty());
  EXPECT_EQ(s.residual(), 0.0);
  EXPECT_EQ(oriSimDelete(nullptr), 0);
}

TEST(SimResidual, ClosedWhenFlatOrFoldedAlongOneLineButNotWhenTorn) {
  Sheet s(prepared(degree4Vertex(2, 3, 2, 3)));
  ASSERT_NE(s.osm, nullptr);
  EXPECT_NEAR(s.residual(), 0.0, 1e-15);
  // Both halves of the line y = 0 folded alike: the upper half turns as one piece.
  const ORI_edge* east = findHalfEdge(s.om, 0, 0, 200, 0);
  const ORI_edge* west = findHalfEdge(s.om, 0, 0, -200, 0);
  ASSERT_TRUE(east != nullptr && west != nullptr);
  std::vector<double> a(s.osm->n, 0.0);
  a[east->crease_index] = a[west->crease_index] = 1.2;
  oriSimUpdateCrease(s.om, a);
  EXPECT_NEAR(s.residual(), 0.0, 1e-14);
  // One half only: the product is the turn by θ about that half's direction,
  // an axis along x, which shows as sin θ in one entry.
  a[west->crease_index] = 0.0;
  oriSimUpdateCrease(s.om, a);
  EXPECT_NEAR(s.residual(), std::sin(1.2), 1e-12);
}

TEST(SimJacobian, FlatColumnsFollowTheCornerAngles) {
  // At the flat state the column of the j-th crease round the vertex is
  // (cos A, sin A, 0), A the sum of the corners before it.
  Sheet s(loadGeneratedVertex(OriVertexParams()));
  ASSERT_NE(s.osm, nullptr);
  ASSERT_EQ(s.osm->m, 3);
  const ORI_vert* v = nullptr;
  for (List* n = s.om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    if (!static_cast<ORI_vert*>(n->data)->on_boundary) v = static_cast<ORI_vert*>(n->data);
  }
  ASSERT_NE(v, nullptr);
  const ORI_edge* e = v->out[0];
  double A = 0.0;
  int count = 0;
  do {
    const int c = e->crease_index, n = s.osm->n;
    EXPECT_NEAR(s.osm->C_mn[c], std::cos(A), 1e-12) << "crease " << count;
    EXPECT_NEAR(s.osm->C_mn[n + c], std::sin(A), 1e-12) << "crease " << count;
    EXPECT_NEAR(s.osm->C_mn[2 * n + c], 0.0, 1e-12) << "crease " << count;
    A += std::atan2(e->prev->turn_sin, -e->prev->turn_cos);
    e = e->prev->pair;
    ++count;
  } while (e != v->out[0] && count < 8);
  EXPECT_EQ(count, 4);
}

TEST(SimJacobian, MatchesFiniteDifferencesOnGeneratedPatterns) {
  OriMiuraParams miura;
  miura.rows = 3;
  miura.sector_deg = 65;
  checkJacobian(loadGeneratedMiura(miura), "miura 3x4");
  OriVertexParams vertex;
  vertex.degree = 6;
  const double sectors[6] = {50, 70, 40, 80, 60, 60};
  const int types[6] = {2, 3, 2, 3, 2, 2};
  std::copy(sectors, sectors + 6, vertex.sector_deg);
  std::copy(types, types + 6, vertex.type);
  checkJacobian(loadGeneratedVertex(vertex), "degree-6 vertex");
  checkJacobian(loadGeneratedWaterbomb(OriWaterbombParams()), "waterbomb 2x2");
  // A tessellation diagonal takes part like a pattern line.
  ORI_manifold* om = prepared(degree4Vertex(2, 2, 3, 2));
  ASSERT_NE(addDiagonal(om, 0, 0, 200, 200), nullptr);
  checkJacobian(om, "vertex with a diagonal");
}

TEST(SimJacobian, MatchesFiniteDifferencesOnRealPatterns) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns/opx is absent";
  int checked = 0;
  for (const std::string& path : files) {
    testing::internal::CaptureStdout();
    ORI_manifold* om = loadPreparedFile(path);
    testing::internal::GetCapturedStdout();
    if (om == nullptr) continue;  // refused by the reader (the empty file)
    checkJacobian(om, path);
    ++checked;
  }
  EXPECT_GE(checked, 10);
}
