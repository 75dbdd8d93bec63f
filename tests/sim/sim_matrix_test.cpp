// The simulation record: numbering, the closure residual and the Jacobian.
#include "sim/sim_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "input/pattern_gen.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_step.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kPi = 3.141592653589793;

struct Loaded {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  std::string printed;
  ~Loaded() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
};

// Reads a pattern from lines, prepares it and creates its record, keeping
// what the creation printed.
void loadLines(const std::vector<OriPatternLine>& lines, Loaded* out) {
  out->om = loadOpxText(opxText(lines));
  ASSERT_NE(out->om, nullptr);
  oriManifoldPrepare(out->om, 0);
  testing::internal::CaptureStdout();
  out->osm = oriSimNew(out->om);
  oriSimInitMatrix(out->osm, out->om);
  std::fflush(stdout);
  out->printed = testing::internal::GetCapturedStdout();
}

std::vector<double> residual(const ORISIM_matrix* osm, const ORI_manifold* om) {
  std::vector<double> g(osm->m, 0.0);
  oriSimUpdateResidual(g, osm, om);
  return g;
}

// Largest difference between every Jacobian column and the central finite
// difference of the residual, at the mesh's current angles.
double jacobianError(ORISIM_matrix* osm, ORI_manifold* om, int* worst_column) {
  constexpr double h = 1e-6;
  oriSimUpdateConstraints(osm->C_mn, osm, om);
  std::vector<double> angles = osm->angle_n;
  double worst = 0.0;
  *worst_column = -1;
  for (int c = 0; c < osm->n; ++c) {
    angles[c] = osm->angle_n[c] + h;
    oriSimUpdateCrease(om, angles);
    const std::vector<double> plus = residual(osm, om);
    angles[c] = osm->angle_n[c] - h;
    oriSimUpdateCrease(om, angles);
    const std::vector<double> minus = residual(osm, om);
    angles[c] = osm->angle_n[c];
    for (int r = 0; r < osm->m; ++r) {
      const double fd = (plus[r] - minus[r]) / (2 * h);
      const double err = std::fabs(fd - osm->C_mn[static_cast<size_t>(r) * osm->n + c]);
      if (err > worst) {
        worst = err;
        *worst_column = c;
      }
    }
  }
  oriSimUpdateCrease(om, osm->angle_n);
  return worst;
}

// Gives every fold line a random angle in [-2, 2] (not a closed folding).
void randomAngles(ORISIM_matrix* osm, ORI_manifold* om, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> angle(-2.0, 2.0);
  for (double& a : osm->angle_n) a = angle(rng);
  oriSimUpdateCrease(om, osm->angle_n);
}

// Checks the Jacobian of a prepared mesh flat, at random angles and after a
// few solver steps.
void checkJacobian(ORI_manifold* om, const std::string& name) {
  testing::internal::CaptureStdout();
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimInitMatrix(osm, om);
  testing::internal::GetCapturedStdout();
  constexpr double kTolerance = 1e-7;
  int column = -1;
  EXPECT_LT(jacobianError(osm, om, &column), kTolerance) << name << " flat, column " << column;
  randomAngles(osm, om, 7);
  EXPECT_LT(jacobianError(osm, om, &column), kTolerance) << name << " at random angles, column " << column;
  oriSimUpdateCrease(om, std::vector<double>(osm->n, 0.0));
  osm->angle_n.assign(osm->n, 0.0);
  for (int k = 0; k < 8; ++k) oriSimUpdateStateCG(osm, om, 0.5);
  EXPECT_LT(jacobianError(osm, om, &column), kTolerance) << name << " folded by steps, column " << column;
  oriSimDelete(osm);
}

}  // namespace

TEST(SimNew, NumbersInnerVerticesAndLinesAndPrintsTheCounts) {
  Loaded l;
  loadLines(degree4Vertex(2, 2, 3, 2), &l);
  EXPECT_NE(l.printed.find("\nnum_fold_line:0004  num_inside_vert:0001\n"), std::string::npos) << l.printed;
  EXPECT_EQ(l.osm->n, 4);
  EXPECT_EQ(l.osm->m, 3);
  EXPECT_EQ(l.osm->C_mn.size(), 12u);
  EXPECT_EQ(l.osm->residual_m.size(), 3u);
  for (const auto* v : {&l.osm->angle_n, &l.osm->next_angle_n, &l.osm->moment_angle_n, &l.osm->delta_angle_n}) {
    EXPECT_EQ(v->size(), 4u);
  }
  int inner = 0;
  for (List* n = l.om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(n->data);
    if (v->on_boundary) {
      EXPECT_EQ(v->sim_index, -1);
    } else {
      EXPECT_EQ(v->sim_index, inner++);
    }
  }
  EXPECT_EQ(inner, 1);
  std::vector<int> seen(4, 0);
  for (List* n = l.om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(n->data);
    EXPECT_EQ(e->sim_active, 1);
    EXPECT_EQ(e->crease_index, e->pair->crease_index);
    if (e->on_boundary || e->pair->on_boundary) {
      EXPECT_EQ(e->crease_index, -1);
    } else {
      ASSERT_GE(e->crease_index, 0);
      ASSERT_LT(e->crease_index, 4);
      ++seen[e->crease_index];
    }
  }
  EXPECT_EQ(seen, std::vector<int>(4, 2));  // each index on exactly the two halves of one line
}

TEST(SimNew, DiagonalsAreFoldLinesOfTheirOwn) {
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 3, 2)));
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  ASSERT_NE(addDiagonal(om, 0, 0, 200, 200), nullptr);
  testing::internal::CaptureStdout();
  ORISIM_matrix* osm = oriSimNew(om);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(osm->n, 5);
  EXPECT_EQ(osm->m, 3);
  // The diagonal takes part in the closure of the centre: the flat sheet is closed.
  EXPECT_NEAR(oriSimUpdateResidual(osm->residual_m, osm, om), 0.0, 1e-14);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(SimNew, SheetWithoutInnerVertexHasNoConstraints) {
  Loaded l;
  loadLines(squareWithDiagonal(2), &l);
  EXPECT_NE(l.printed.find("num_fold_line:0001  num_inside_vert:0000"), std::string::npos) << l.printed;
  EXPECT_EQ(l.osm->m, 0);
  EXPECT_EQ(l.osm->n, 1);
  EXPECT_TRUE(l.osm->C_mn.empty());
  EXPECT_TRUE(l.osm->residual_m.empty());
  EXPECT_EQ(oriSimUpdateConstraints(l.osm->C_mn, l.osm, l.om), -1);
  EXPECT_TRUE(l.osm->C_mn.empty());
  EXPECT_EQ(oriSimUpdateResidual(l.osm->residual_m, l.osm, l.om), 0.0);
}

TEST(SimDelete, NullRecordIsAllowed) { EXPECT_EQ(oriSimDelete(nullptr), 0); }

TEST(SimInitMatrix, CopiesTheHalfEdgeAngles) {
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 3, 2)));
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  ORI_edge* e = findHalfEdge(om, 0, 0, 200, 0);
  ASSERT_NE(e, nullptr);
  e->angle = e->pair->angle = 0.75;
  testing::internal::CaptureStdout();
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimInitMatrix(osm, om);
  testing::internal::GetCapturedStdout();
  for (int c = 0; c < osm->n; ++c) EXPECT_EQ(osm->angle_n[c], c == e->crease_index ? 0.75 : 0.0);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(SimResidual, FlatDegree4VertexIsClosed) {
  Loaded l;
  loadLines(degree4Vertex(2, 2, 3, 2), &l);
  EXPECT_NEAR(oriSimUpdateResidual(l.osm->residual_m, l.osm, l.om), 0.0, 1e-15);
}

TEST(SimResidual, FoldingOneStraightLineIsClosedAndABrokenLineIsNot) {
  // The two halves of the line y = 0 folded alike: the upper half turns as
  // one piece about the x axis, so every vertex stays closed.
  Loaded l;
  loadLines(degree4Vertex(2, 3, 2, 3), &l);
  ORI_edge* right = findHalfEdge(l.om, 0, 0, 200, 0);
  ORI_edge* left = findHalfEdge(l.om, 0, 0, -200, 0);
  ASSERT_NE(right, nullptr);
  ASSERT_NE(left, nullptr);
  std::vector<double> a(l.osm->n, 0.0);
  a[right->crease_index] = a[left->crease_index] = 1.2;
  oriSimUpdateCrease(l.om, a);
  EXPECT_NEAR(oriSimUpdateResidual(l.osm->residual_m, l.osm, l.om), 0.0, 1e-14);
  // Folding only one half tears the sheet at the centre: the product is the
  // turn by θ about that half's direction, an axis in the sheet's plane along
  // x or y, which shows as sin θ in one entry and 0 in the others.
  a[left->crease_index] = 0.0;
  oriSimUpdateCrease(l.om, a);
  const double r = oriSimUpdateResidual(l.osm->residual_m, l.osm, l.om);
  EXPECT_NEAR(r, std::sin(1.2), 1e-12);
}

TEST(SimJacobian, FlatColumnsFollowTheCornerAngles) {
  // Generic sector angles 70, 100, 110, 80 degrees: at the flat state the
  // column of the j-th crease round the vertex is (cos A, sin A, 0), A the
  // sum of the corners before it, counted from the vertex's first crease.
  OriVertexSpec spec;
  ORI_manifold* om = loadGeneratedVertex(spec);
  ASSERT_NE(om, nullptr);
  testing::internal::CaptureStdout();
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimInitMatrix(osm, om);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(osm->m, 3);
  const ORI_vert* v = nullptr;
  for (List* n = om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    if (!static_cast<ORI_vert*>(n->data)->on_boundary) v = static_cast<ORI_vert*>(n->data);
  }
  ASSERT_NE(v, nullptr);
  const ORI_edge* e = v->out[0];
  double A = 0.0;
  int count = 0;
  do {
    const int c = e->crease_index;
    ASSERT_GE(c, 0);
    EXPECT_NEAR(osm->C_mn[0 * osm->n + c], std::cos(A), 1e-12) << "crease " << count;
    EXPECT_NEAR(osm->C_mn[1 * osm->n + c], std::sin(A), 1e-12) << "crease " << count;
    EXPECT_NEAR(osm->C_mn[2 * osm->n + c], 0.0, 1e-12) << "crease " << count;
    // The corner of e's face at v: from e counter-clockwise to the next crease.
    A += std::atan2(e->prev->turn_sin, -e->prev->turn_cos);
    e = e->prev->pair;
    ++count;
  } while (e != v->out[0]);
  EXPECT_EQ(count, 4);
  EXPECT_NEAR(A, 2 * kPi, 1e-12);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(SimJacobian, InactiveCreaseHasZeroColumn) {
  Loaded l;
  loadLines(degree4Vertex(2, 2, 3, 2), &l);
  ORI_edge* e = findHalfEdge(l.om, 0, 0, 0, 200);
  ASSERT_NE(e, nullptr);
  e->sim_active = 0;
  oriSimUpdateConstraints(l.osm->C_mn, l.osm, l.om);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(l.osm->C_mn[r * l.osm->n + e->crease_index], 0.0);
}

TEST(SimJacobian, MatchesFiniteDifferencesOnGeneratedPatterns) {
  OriMiuraSpec miura;
  miura.rows = 3;
  miura.cols = 4;
  miura.sector_deg = 65;
  ORI_manifold* om = loadGeneratedMiura(miura);
  ASSERT_NE(om, nullptr);
  checkJacobian(om, "miura 3x4");
  oriManifoldDelete(om);

  OriVertexSpec vertex;
  vertex.degree = 6;
  const double sectors[6] = {50, 70, 40, 80, 60, 60};
  const int types[6] = {2, 3, 2, 3, 2, 2};
  for (int k = 0; k < 6; ++k) {
    vertex.sector_deg[k] = sectors[k];
    vertex.type[k] = types[k];
  }
  om = loadGeneratedVertex(vertex);
  ASSERT_NE(om, nullptr);
  checkJacobian(om, "degree-6 vertex");
  oriManifoldDelete(om);

  OriWaterbombSpec waterbomb;
  om = loadGeneratedWaterbomb(waterbomb);
  ASSERT_NE(om, nullptr);
  checkJacobian(om, "waterbomb 2x2");
  oriManifoldDelete(om);
}

TEST(SimJacobian, MatchesFiniteDifferencesOnRealPatterns) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns/opx is absent";
  int checked = 0;
  for (const std::string& path : files) {
    testing::internal::CaptureStdout();
    ORI_manifold* om = loadPreparedFile(path);
    testing::internal::GetCapturedStdout();
    if (om == nullptr) continue;  // the reader refuses it (an empty file); its own tests cover that
    checkJacobian(om, path);
    oriManifoldDelete(om);
    ++checked;
  }
  EXPECT_GE(checked, 10);
}
