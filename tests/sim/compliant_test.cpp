// The compliant solver: the springs' angle against the placement's sign and
// its derivatives against finite differences; a degree-4 vertex with stiff
// facets keeps the rigid fold's closure; the hypar, which has no rigid
// folding, folds most of the way with small strain; a step that does not
// converge keeps the last shape.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "sim/compliant.h"
#include "sim/fold_status.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "tests/support/fixtures.h"

namespace {

// A wing at distance r from the x axis, turned by phi about it from +y.
void wing(double along, double r, double phi, double out[3]) {
  out[0] = along;
  out[1] = r * std::cos(phi);
  out[2] = r * std::sin(phi);
}

TEST(CompliantHinge, AngleSignAndDerivativesMatchFiniteDifferences) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 20; ++trial) {
    // The left wing turned by theta about t → h relative to the right one
    // (which lies at −y): the placement's positive sense.
    const double theta = 3.0 * u(rng);
    double x[12];
    wing(0.3 + 0.2 * u(rng), 0.5 + 0.2 * u(rng), theta, x + 0);
    wing(0.6 + 0.2 * u(rng), 0.7 + 0.2 * u(rng), M_PI, x + 3);
    x[6] = 0.0, x[7] = 0.0, x[8] = 0.0;
    x[9] = 1.0, x[10] = 0.0, x[11] = 0.0;
    // A rigid motion of the whole changes no angle: turn about z, then x,
    // and move.
    const double a = 3.0 * u(rng), b = 3.0 * u(rng), shift[3] = {u(rng), u(rng), u(rng)};
    for (int p = 0; p < 4; ++p) {
      double* q = x + 3 * p;
      const double x1 = std::cos(a) * q[0] - std::sin(a) * q[1], y1 = std::sin(a) * q[0] + std::cos(a) * q[1];
      const double y2 = std::cos(b) * y1 - std::sin(b) * q[2], z2 = std::sin(b) * y1 + std::cos(b) * q[2];
      q[0] = x1 + shift[0], q[1] = y2 + shift[1], q[2] = z2 + shift[2];
    }
    double angle, g[12], H[144];
    ASSERT_TRUE(oriSimHingeAngle(x, x + 3, x + 6, x + 9, 0.0, &angle, g, H));
    EXPECT_NEAR(angle, theta, 1e-12) << "trial " << trial;
    const double step = 1e-6;
    for (int k = 0; k < 12; ++k) {
      double xp[12], xm[12], ap, am, gp[12], gm[12];
      std::copy(x, x + 12, xp);
      std::copy(x, x + 12, xm);
      xp[k] += step;
      xm[k] -= step;
      oriSimHingeAngle(xp, xp + 3, xp + 6, xp + 9, angle, &ap, gp, nullptr);
      oriSimHingeAngle(xm, xm + 3, xm + 6, xm + 9, angle, &am, gm, nullptr);
      EXPECT_NEAR(g[k], (ap - am) / (2 * step), 1e-6) << "trial " << trial << " coordinate " << k;
      for (int j = 0; j < 12; ++j) {
        EXPECT_NEAR(H[j * 12 + k], (gp[j] - gm[j]) / (2 * step), 1e-5 * (1.0 + std::fabs(H[j * 12 + k])))
            << "trial " << trial << " entry " << j << "," << k;
      }
    }
  }
}

}  // namespace

namespace {

// A generated pattern (a single vertex, or the hypar), read, triangulated
// and prepared flat as the loader does, folding to share of its targets;
// *osm receives the record.
template <typename Params>
ORI_manifold* generatedSheet(int (*make)(CreasePattern*, const Params&, char*, size_t), const Params& params,
                             double share, ORISIM_matrix** osm) {
  CreasePattern* cp = CreasePatternNew();
  ORI_manifold* om = oriManifoldNew();
  testing::internal::CaptureStdout();
  const bool built = make(cp, params, nullptr, 0) == 0 && oriManifoldConstructFromPattern(om, cp) == 0;
  if (built) oriSimSetFoldTo(om, share);
  const bool prepared = built && oriManifoldPrepareForFolding(om, 1, 0, osm) == 0;
  testing::internal::GetCapturedStdout();
  CreasePatternDestruct(cp);
  if (!prepared) {
    oriManifoldDelete(om);
    return nullptr;
  }
  return om;
}

ORI_manifold* vertexSheet(const OriVertexParams& params, double share, ORISIM_matrix** osm) {
  return generatedSheet(oriPatternMakeVertex, params, share, osm);
}

OriVertexParams vertexOf(std::vector<double> sectors) {
  OriVertexParams p;
  for (int k = 0; k < 4; ++k) p.sector_deg[k] = sectors[k];
  return p;  // types 2, 3, 2, 2
}

// The fold lines' angles, in the order of the half-edge list (each line once).
std::vector<double> foldAngles(const ORI_manifold* om) {
  std::vector<double> out;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->target_angle != 0.0 && !e->is_diagonal && e->index < e->pair->index) out.push_back(e->angle);
  }
  return out;
}

}  // namespace

TEST(Compliant, StiffFacetsKeepTheRigidVertexRelation) {
  // The flat-foldable vertex of the shipped example: rigidly its opposite
  // creases fold alike in size and the corner rotations close.
  ORISIM_matrix* osm = nullptr;
  ORI_manifold* om = vertexSheet(vertexOf({70, 100, 110, 80}), 0.5, &osm);
  ASSERT_NE(om, nullptr);
  ORISIM_compliantOptions options;
  options.stiffness = {1.0, 1000.0, 1e6};
  std::string why;
  ORISIM_compliant* cs = oriSimCompliantNew(om, options, &why);
  ASSERT_NE(cs, nullptr) << why;
  for (int k = 0; k < 6; ++k) {
    ORISIM_compliantStats st;
    EXPECT_EQ(oriSimCompliantStep(cs, om, osm, 0.5, &st), kOriCompliantConverged) << "step " << k + 1;
  }
  const std::vector<double> a = foldAngles(om);
  ASSERT_EQ(a.size(), 4u);
  // Creases 0 and 2 (the major pair) and 1 and 3 (the minor pair).
  EXPECT_GT(std::fabs(a[0]), 1.5) << "the vertex hardly folded";
  EXPECT_NEAR(std::fabs(a[0]), std::fabs(a[2]), 2e-3);
  EXPECT_NEAR(std::fabs(a[1]), std::fabs(a[3]), 2e-3);
  // The relation between the major and the minor pair is the one the
  // corner rotations closing round the vertex impose, as the rigid solver
  // measures it.
  int worst_vertex = -1;
  EXPECT_LT(oriFoldWorstVertex(osm, om, &worst_vertex), 2e-3);
  EXPECT_LT(cs->last.max_strain, 1e-5);
  oriSimCompliantDelete(cs);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(Compliant, AVertexNoRigidFoldingReachesFoldsMostOfTheWayWithSmallStrain) {
  // 60 + 130 ≠ 180: no rigid folding brings all four creases near their
  // targets; with the default stiffness the facets bend instead.
  ORISIM_matrix* osm = nullptr;
  ORI_manifold* om = vertexSheet(vertexOf({60, 100, 130, 70}), 0.9, &osm);
  ASSERT_NE(om, nullptr);
  std::string why;
  ORISIM_compliant* cs = oriSimCompliantNew(om, ORISIM_compliantOptions{}, &why);
  ASSERT_NE(cs, nullptr) << why;
  for (int k = 0; k < 8; ++k) {
    ORISIM_compliantStats st;
    EXPECT_EQ(oriSimCompliantStep(cs, om, osm, 0.5, &st), kOriCompliantConverged) << "step " << k + 1;
  }
  EXPECT_GT(oriFoldProgress(om), 0.75 * 90.0) << "most of the way to 90 % of the targets";
  EXPECT_LT(cs->last.max_strain, 2e-3);
  EXPECT_GT(cs->last.max_bending, 0.03) << "the facets bent: no rigid folding";
  std::vector<double> strain;
  EXPECT_DOUBLE_EQ(oriSimBarStrain(om, &strain), cs->last.max_strain);
  oriSimCompliantDelete(cs);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(Compliant, ALongStepEndsWhereShortStepsDo) {
  // The hypar's equilibria branch: a long jump of the rest angles once
  // landed on a nearly flat, squeezed one that short steps never reach.
  OriHyparParams params;
  params.rings = 4;
  std::vector<double> angles[2];
  for (int run = 0; run < 2; ++run) {
    ORISIM_matrix* osm = nullptr;
    ORI_manifold* om = generatedSheet(oriPatternMakeHypar, params, 0.9, &osm);
    ASSERT_NE(om, nullptr);
    std::string why;
    ORISIM_compliant* cs = oriSimCompliantNew(om, ORISIM_compliantOptions{}, &why);
    ASSERT_NE(cs, nullptr) << why;
    for (int k = 0; k < (run == 0 ? 1 : 4); ++k) {
      EXPECT_EQ(oriSimCompliantStep(cs, om, osm, run == 0 ? 2.0 : 0.5, nullptr), kOriCompliantConverged);
    }
    angles[run] = foldAngles(om);
    oriSimCompliantDelete(cs);
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  ASSERT_EQ(angles[0].size(), angles[1].size());
  for (size_t k = 0; k < angles[0].size(); ++k) EXPECT_NEAR(angles[0][k], angles[1][k], 1e-5) << "line " << k;
}

TEST(Compliant, AStepThatDoesNotConvergeKeepsTheLastShape) {
  ORISIM_matrix* osm = nullptr;
  ORI_manifold* om = vertexSheet(vertexOf({70, 100, 110, 80}), 1.0, &osm);
  ASSERT_NE(om, nullptr);
  ORISIM_compliantOptions options;
  std::string why;
  ORISIM_compliant* cs = oriSimCompliantNew(om, options, &why);
  ASSERT_NE(cs, nullptr) << why;
  ORISIM_compliantStats st;
  ASSERT_EQ(oriSimCompliantStep(cs, om, osm, 0.5, &st), kOriCompliantConverged);
  std::vector<vector3d> before;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    before.push_back(static_cast<const ORI_vert*>(l->data)->pos);
  }
  const std::vector<double> angles = foldAngles(om);
  // One iteration cannot reach the next equilibrium, halved or not.
  cs->options.max_iterations = 1;
  EXPECT_NE(oriSimCompliantStep(cs, om, osm, 0.5, &st), kOriCompliantConverged);
  EXPECT_EQ(cs->unconverged, 1);
  EXPECT_EQ(st.max_delta, 0.0);
  size_t k = 0;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next, ++k) {
    const vector3d& p = static_cast<const ORI_vert*>(l->data)->pos;
    EXPECT_TRUE(p.x == before[k].x && p.y == before[k].y && p.z == before[k].z) << "vertex " << k << " moved";
  }
  EXPECT_EQ(foldAngles(om), angles);
  // The rest angles were kept back too: with its budget again the same step
  // goes on from there.
  cs->options.max_iterations = ORISIM_compliantOptions{}.max_iterations;
  EXPECT_EQ(oriSimCompliantStep(cs, om, osm, 0.5, &st), kOriCompliantConverged);
  EXPECT_GT(std::fabs(foldAngles(om)[0]), std::fabs(angles[0]));
  oriSimCompliantDelete(cs);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(Compliant, BadStiffnessAndUntriangulatedSheetsAreRefusedWithTheirReason) {
  std::string why;
  EXPECT_TRUE(oriSimStiffnessCheck(ORISIM_stiffness{}, &why));
  EXPECT_FALSE(oriSimStiffnessCheck(ORISIM_stiffness{1.0, -2.0, NAN}, &why));
  EXPECT_NE(why.find("facet -2"), std::string::npos) << why;
  EXPECT_NE(why.find("axial nan"), std::string::npos) << why;
  EXPECT_EQ(why.find("fold"), std::string::npos) << why;
  EXPECT_EQ(why.find('\n'), std::string::npos);
  ORISIM_matrix* osm = nullptr;
  ORI_manifold* om = vertexSheet(vertexOf({70, 100, 110, 80}), 1.0, &osm);
  ASSERT_NE(om, nullptr);
  ORISIM_compliantOptions options;
  options.stiffness.fold = 0.0;
  EXPECT_EQ(oriSimCompliantNew(om, options, &why), nullptr);
  EXPECT_NE(why.find("fold 0"), std::string::npos) << why;
  oriSimDelete(osm);
  oriManifoldDelete(om);
  // Facets of four sides: the bars and springs need triangles.
  testing::internal::CaptureStdout();
  om = loadOpxText(opxText(miura2x2()));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  EXPECT_EQ(oriSimCompliantNew(om, ORISIM_compliantOptions{}, &why), nullptr);
  EXPECT_NE(why.find("triangulated"), std::string::npos) << why;
  oriManifoldDelete(om);
}
