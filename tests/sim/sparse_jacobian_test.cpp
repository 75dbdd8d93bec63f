// The Jacobian by rows of nonzeros must be the dense Jacobian, entry for
// entry, and its products the dense matrix's products, on generated and real
// patterns at arbitrary fold states.
#include "sim/sparse_jacobian.h"

#include <cblas.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "geometry/tessellate.h"
#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "tests/support/fixtures.h"

namespace {

// A mesh, triangulated or not, prepared flat, with a dense record (the
// reference) made quietly.
struct Case {
  std::string name;
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  ~Case() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
};

bool prepare(Case* c, ORI_manifold* om, bool triangulate) {
  c->om = om;
  if (om == nullptr) return false;
  testing::internal::CaptureStdout();
  if (triangulate && !oriManifoldTriangulated(om)) oriManifoldTessFace(om);
  const bool ok = oriManifoldPrepare(om, 0) == 0;
  if (ok) {
    oriSimSetPathRequest(kOriSimPathDense);
    c->osm = oriSimNew(om);
    oriSimSetPathRequest(kOriSimPathAuto);
    oriSimInitMatrix(c->osm, om);
  }
  testing::internal::GetCapturedStdout();
  return ok;
}

ORI_manifold* quietly(const std::function<ORI_manifold*()>& load) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = load();
  testing::internal::GetCapturedStdout();
  return om;
}

// Generated patterns, each triangulated and not, then every real pattern
// the reader accepts, triangulated and not.
void forEachCase(const std::function<void(Case&)>& check) {
  OriMiuraParams miura;
  miura.rows = 4;
  miura.cols = 5;
  miura.sector_deg = 70;
  OriWaterbombParams waterbomb;
  waterbomb.rows = waterbomb.cols = 3;
  OriVertexParams vertex;  // degree 4
  OriVertexParams six;
  six.degree = 6;
  for (int k = 0; k < 6; ++k) six.sector_deg[k] = 60;
  const int types[6] = {2, 3, 2, 3, 2, 2};
  for (int k = 0; k < 6; ++k) six.type[k] = types[k];
  const std::vector<std::pair<std::string, std::function<ORI_manifold*()>>> generated = {
      {"miura 4x5", [&] { return loadGeneratedMiura(miura); }},
      {"waterbomb 3x3", [&] { return loadGeneratedWaterbomb(waterbomb); }},
      {"vertex degree 4", [&] { return loadGeneratedVertex(vertex); }},
      {"vertex degree 6", [&] { return loadGeneratedVertex(six); }},
  };
  for (const auto& g : generated) {
    for (bool tri : {false, true}) {
      Case c;
      c.name = g.first + (tri ? " triangulated" : "");
      SCOPED_TRACE(c.name);
      ASSERT_TRUE(prepare(&c, quietly(g.second), tri));
      check(c);
    }
  }
  for (const std::string& path : realPatterns("opx", ".opx")) {
    for (bool tri : {false, true}) {
      Case c;
      c.name = path + (tri ? " triangulated" : "");
      SCOPED_TRACE(c.name);
      if (!prepare(&c, quietly([&] { return loadOpxFile(path); }), tri)) continue;
      check(c);
    }
  }
}

// Random angles on every crease, so that no factor is a plain rotation.
void foldAtRandom(Case& c, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> angle(-2.5, 2.5);
  for (double& a : c.osm->angle_n) a = angle(rng);
  oriSimUpdateCrease(c.om, c.osm->angle_n);
}

std::vector<double> randomVector(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<double> v(size);
  for (double& d : v) d = value(rng);
  return v;
}

double maxAbs(const std::vector<double>& v) {
  double m = 0.0;
  for (double d : v) m = std::max(m, std::fabs(d));
  return m;
}

}  // namespace

TEST(SparseJacobian, EqualsTheDenseOneEntryForEntryWithTheSameResidual) {
  int compared = 0;
  forEachCase([&](Case& c) {
    if (c.osm->m == 0) return;
    foldAtRandom(c, 11);
    const int m = c.osm->m, n = c.osm->n;
    std::vector<double> dense(static_cast<size_t>(m) * n, 0.0);
    ASSERT_EQ(oriSimUpdateConstraints(dense, c.osm, c.om), 0);
    ORISIM_sparse sparse;
    ASSERT_EQ(oriSimSparseUpdate(&sparse, c.osm, c.om), 0);
    ASSERT_EQ(sparse.vert_start.size(), static_cast<size_t>(m / 3) + 1);
    ASSERT_EQ(sparse.val.size(), 3 * sparse.col.size());

    // Scatter the rows of nonzeros into an m × n array: a misplaced, missing
    // or repeated entry shows as a difference.
    std::vector<double> spread(dense.size(), 0.0);
    for (int s = 0; s < m / 3; ++s) {
      for (int k = sparse.vert_start[s]; k < sparse.vert_start[s + 1]; ++k) {
        const int col = sparse.col[k];
        ASSERT_GE(col, 0);
        ASSERT_LT(col, n);
        for (int r = 0; r < 3; ++r) {
          double& slot = spread[static_cast<size_t>(3 * s + r) * n + col];
          EXPECT_EQ(slot, 0.0) << "crease " << col << " listed twice for vertex " << s;
          slot = sparse.val[3 * k + r];
        }
      }
    }
    double worst = 0.0;
    for (size_t i = 0; i < dense.size(); ++i) worst = std::max(worst, std::fabs(spread[i] - dense[i]));
    EXPECT_LT(worst, 1e-12);
    EXPECT_EQ(oriSimSparseAt(sparse, 0, sparse.col[0]), sparse.val[0]);

    std::vector<double> g_dense(m), g_sparse(m);
    const double sum_dense = oriSimUpdateResidual(g_dense, c.osm, c.om);
    const double sum_sparse = oriSimSparseResidual(g_sparse, c.osm, c.om);
    EXPECT_NEAR(sum_sparse, sum_dense, 1e-12 * (1.0 + sum_dense));
    for (int r = 0; r < m; ++r) ASSERT_NEAR(g_sparse[r], g_dense[r], 1e-13) << "row " << r;
    ++compared;
  });
  EXPECT_GE(compared, 8);
}

TEST(SparseJacobian, ProductsAreTheDenseMatrixProducts) {
  int compared = 0;
  forEachCase([&](Case& c) {
    const int m = c.osm->m, n = c.osm->n;
    if (m == 0 || n == 0) return;
    foldAtRandom(c, 5);
    oriSimUpdateConstraints(c.osm->C_mn, c.osm, c.om);
    ORISIM_sparse J;
    oriSimSparseUpdate(&J, c.osm, c.om);
    const double* C = c.osm->C_mn.data();

    // y = 2·C·x − 0.5·y and x = −C^T·y + 3·x, against the dense products.
    const std::vector<double> x = randomVector(n, 1), y = randomVector(m, 2);
    std::vector<double> y_dense = y, y_sparse = y;
    cblas_dgemv(CblasRowMajor, CblasNoTrans, m, n, 2.0, C, n, x.data(), 1, -0.5, y_dense.data(), 1);
    oriSimSparseMultiply(J, 2.0, x.data(), -0.5, y_sparse.data());
    std::vector<double> x_dense = x, x_sparse = x;
    cblas_dgemv(CblasRowMajor, CblasTrans, m, n, -1.0, C, n, y.data(), 1, 3.0, x_dense.data(), 1);
    oriSimSparseMultiplyTransposed(J, -1.0, y.data(), 3.0, x_sparse.data());
    for (int r = 0; r < m; ++r) ASSERT_NEAR(y_sparse[r], y_dense[r], 1e-12 * (1.0 + maxAbs(y_dense))) << "row " << r;
    for (int k = 0; k < n; ++k) ASSERT_NEAR(x_sparse[k], x_dense[k], 1e-12 * (1.0 + maxAbs(x_dense))) << "column " << k;

    // (C·C^T + εI)·p against the formed matrix, and p·q with it.
    std::vector<double> A(static_cast<size_t>(m) * m, 0.0);
    for (int i = 0; i < m; ++i) A[static_cast<size_t>(i) * m + i] = 1.0;
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, m, m, n, 1.0, C, n, C, n, 0.0001, A.data(), m);
    const std::vector<double> p = randomVector(m, 3);
    std::vector<double> q_dense(m), q_sparse(m, 7.0), w(n, 7.0);
    cblas_dgemv(CblasRowMajor, CblasNoTrans, m, m, 1.0, A.data(), m, p.data(), 1, 0.0, q_dense.data(), 1);
    const double pq = oriSimSparseNormalProduct(J, 0.0001, p.data(), w.data(), q_sparse.data());
    const double scale = 1.0 + maxAbs(q_dense);
    for (int r = 0; r < m; ++r) ASSERT_NEAR(q_sparse[r], q_dense[r], 1e-12 * scale) << "row " << r;
    EXPECT_NEAR(pq, cblas_ddot(m, p.data(), 1, q_dense.data(), 1), 1e-10 * scale * m);
    // Rows whose creases were not all paired take the two-pass product.
    EXPECT_TRUE(J.paired);
    J.paired = false;
    std::vector<double> q_unpaired(m);
    oriSimSparseNormalProduct(J, 0.0001, p.data(), w.data(), q_unpaired.data());
    for (int r = 0; r < m; ++r) ASSERT_NEAR(q_unpaired[r], q_dense[r], 1e-12 * scale) << "row " << r;
    ++compared;
  });
  EXPECT_GE(compared, 8);
}

TEST(SparseJacobian, NoInnerVertexLeavesItEmptyAndItsProductsHarmless) {
  Case c;
  ASSERT_TRUE(prepare(&c, quietly([] { return loadOpxText(opxText(squareWithDiagonal(2))); }), false));
  ASSERT_EQ(c.osm->m, 0);
  ORISIM_sparse J;
  J.col = {0};
  EXPECT_EQ(oriSimSparseUpdate(&J, c.osm, c.om), -1);
  EXPECT_TRUE(J.col.empty());
  EXPECT_TRUE(J.val.empty());
  std::vector<double> g;
  EXPECT_EQ(oriSimSparseResidual(g, c.osm, c.om), 0.0);

  // Products with rows that were never filled: no entry is read.
  ORISIM_sparse unfilled;
  unfilled.m = 3;
  unfilled.n = 2;
  double x[2] = {4.0, 5.0}, y[3] = {1.0, 2.0, 3.0};
  oriSimSparseMultiply(unfilled, 1.0, x, 0.0, y);
  EXPECT_EQ(y[0], 0.0);
  oriSimSparseMultiplyTransposed(unfilled, 1.0, y, 0.0, x);
  EXPECT_EQ(x[1], 0.0);
  EXPECT_EQ(oriSimSparseAt(unfilled, 1, 1), 0.0);
}
