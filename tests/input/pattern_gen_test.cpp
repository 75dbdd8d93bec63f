// Generated crease patterns: the reader accepts them as intended, the
// assignments are the flat-foldable ones, and bad specs are refused.
#include "input/pattern_gen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kPi = 3.141592653589793;
// Corner angles as read back: the XML carries coordinates to six decimals.
constexpr double kAngleTolerance = 1e-6;

std::vector<Line> linesOf(const CreasePattern* cp) {
  std::vector<Line> out;
  for (const List* n = cp->lines; n != nullptr && n->data != nullptr; n = n->next) {
    out.push_back(*static_cast<const Line*>(n->data));
  }
  return out;
}

// The inner vertices' creases in counter-clockwise order (CP plane), with
// the corner angle that follows each.
struct Corner {
  const ORI_edge* crease;
  double angle;
};
std::vector<Corner> cornersAround(const ORI_vert* v) {
  std::vector<Corner> out;
  const ORI_edge* e = v->out[0];
  do {
    out.push_back({e, std::atan2(e->prev->turn_sin, -e->prev->turn_cos)});
    e = e->prev->pair;
  } while (e != v->out[0] && out.size() < 64);
  return out;
}

std::vector<const ORI_vert*> innerVertices(const ORI_manifold* om) {
  std::vector<const ORI_vert*> out;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (!v->on_boundary) out.push_back(v);
  }
  return out;
}

// Checks what every generated sheet must be: a valid mesh, a disk (Euler
// characteristic 1), centred on the origin with its longer side 1.
void checkSheet(const ORI_manifold* om, const std::string& name) {
  char why[256] = "";
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << name << ": " << why;
  EXPECT_EQ(om->n_vert - om->n_edge / 2 + om->n_face, 1) << name;
  double xmin = 1e9, xmax = -1e9, ymin = 1e9, ymax = -1e9;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const vector3d& p = static_cast<const ORI_vert*>(l->data)->pos;
    xmin = std::min(xmin, p.x);
    xmax = std::max(xmax, p.x);
    ymin = std::min(ymin, p.y);
    ymax = std::max(ymax, p.y);
  }
  EXPECT_NEAR(std::max(xmax - xmin, ymax - ymin), 1.0, 1e-6) << name;
  EXPECT_NEAR(xmin + xmax, 0.0, 1e-6) << name;
  EXPECT_NEAR(ymin + ymax, 0.0, 1e-6) << name;
}

// Kawasaki's and Maekawa's conditions at every inner vertex of degree 4:
// alternate corners sum to π, and three creases of one type, one of the other.
void checkFlatFoldable(const ORI_manifold* om, const std::string& name) {
  for (const ORI_vert* v : innerVertices(om)) {
    const std::vector<Corner> c = cornersAround(v);
    ASSERT_EQ(c.size(), 4u) << name;
    EXPECT_NEAR(c[0].angle + c[2].angle, kPi, kAngleTolerance) << name;
    int positive = 0;
    for (const Corner& k : c) positive += k.crease->target_angle > 0 ? 1 : 0;
    EXPECT_TRUE(positive == 1 || positive == 3) << name << ": " << positive << " positive creases";
  }
}

}  // namespace

TEST(PatternMiura, BuildsTheExpectedSheet) {
  struct Case {
    int rows, cols;
    double angle, ratio;
  };
  for (const Case& c : {Case{4, 4, 60, 1}, Case{2, 6, 70, 1}, Case{5, 3, 45, 1.8}, Case{1, 1, 90, 1}}) {
    OriMiuraSpec spec;
    spec.rows = c.rows;
    spec.cols = c.cols;
    spec.sector_deg = c.angle;
    spec.ratio = c.ratio;
    const std::string name = "miura " + std::to_string(c.rows) + "x" + std::to_string(c.cols);
    testing::internal::CaptureStdout();
    ORI_manifold* om = loadGeneratedMiura(spec);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(om, nullptr) << name;
    EXPECT_EQ(om->n_vert, (c.rows + 1) * (c.cols + 1)) << name;
    EXPECT_EQ(om->n_face, c.rows * c.cols) << name;
    EXPECT_EQ(lineCount(om), (c.rows + 1) * c.cols + (c.cols + 1) * c.rows) << name;
    EXPECT_EQ(static_cast<int>(innerVertices(om).size()), (c.rows - 1) * (c.cols - 1)) << name;
    checkSheet(om, name);
    checkFlatFoldable(om, name);
    // Every face is a parallelogram with the chosen acute angle.
    for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_face* f = static_cast<const ORI_face*>(l->data);
      double smallest = kPi;
      const ORI_edge* e = f->first;
      int corners = 0;
      do {
        smallest = std::min(smallest, std::atan2(e->turn_sin, -e->turn_cos));
        e = e->next;
        ++corners;
      } while (e != f->first);
      EXPECT_EQ(corners, 4) << name;
      EXPECT_NEAR(smallest * 180 / kPi, c.angle, 1e-6) << name;
    }
    oriManifoldDelete(om);
  }
}

TEST(PatternMiura, StraightLinesAlternateAndZigZagLinesKeepTheirType) {
  OriMiuraSpec spec;
  spec.rows = 4;
  spec.cols = 5;
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadGeneratedMiura(spec);
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  for (const ORI_vert* v : innerVertices(om)) {
    const std::vector<Corner> c = cornersAround(v);
    ASSERT_EQ(c.size(), 4u);
    // The straight line runs along x: of the two creases along it, one is of
    // each type; the two zig-zag creases share one type.
    std::vector<const ORI_edge*> straight, zigzag;
    for (const Corner& k : c) {
      (std::fabs(k.crease->y1 - k.crease->y0) < 1e-12 ? straight : zigzag).push_back(k.crease);
    }
    ASSERT_EQ(straight.size(), 2u);
    EXPECT_NE(straight[0]->target_angle, straight[1]->target_angle);
    EXPECT_EQ(zigzag[0]->target_angle, zigzag[1]->target_angle);
  }
  oriManifoldDelete(om);
}

TEST(PatternMiura, AssignmentsSwapOrUnifyTheFoldTypes) {
  auto types = [](int assign) {
    OriMiuraSpec spec;
    spec.assign = assign;
    CreasePattern* cp = CreasePatternNew();
    EXPECT_EQ(oriPatternMakeMiura(cp, spec, nullptr, 0), 0);
    std::vector<int> t;
    for (const Line& l : linesOf(cp)) t.push_back(l.type);
    CreasePatternDestruct(cp);
    return t;
  };
  const std::vector<int> standard = types(kOriAssignStandard);
  const std::vector<int> swapped = types(kOriAssignSwapped);
  const std::vector<int> positive = types(kOriAssignPositive);
  const std::vector<int> negative = types(kOriAssignNegative);
  ASSERT_EQ(standard.size(), swapped.size());
  int folds = 0;
  for (size_t i = 0; i < standard.size(); ++i) {
    if (standard[i] == 1) {
      EXPECT_EQ(swapped[i], 1);
      EXPECT_EQ(positive[i], 1);
      continue;
    }
    ++folds;
    EXPECT_EQ(swapped[i], standard[i] == 2 ? 3 : 2);
    EXPECT_EQ(positive[i], 2);
    EXPECT_EQ(negative[i], 3);
  }
  EXPECT_EQ(folds, 24);
}

TEST(PatternVertex, CreasesLeaveAtTheChosenAnglesAndSplitTheOutline) {
  OriVertexSpec spec;
  spec.rotation_deg = 10;
  CreasePattern* cp = CreasePatternNew();
  ASSERT_EQ(oriPatternMakeVertex(cp, spec, nullptr, 0), 0);
  const std::vector<Line> lines = linesOf(cp);
  ASSERT_EQ(lines.size(), 4u + 8u);  // four creases; four corners and four ends on the outline
  double direction = 10;
  for (int k = 0; k < 4; ++k) {
    const Line& l = lines[k];
    EXPECT_EQ(l.x0, 0.0);
    EXPECT_EQ(l.y0, 0.0);
    EXPECT_EQ(l.type, spec.type[k]);
    EXPECT_NEAR(std::atan2(l.y1, l.x1) * 180 / kPi, direction > 180 ? direction - 360 : direction, 1e-9);
    EXPECT_NEAR(std::max(std::fabs(l.x1), std::fabs(l.y1)), 200.0, 1e-9);  // on the edge of the paper
    direction += spec.sector_deg[k];
  }
  for (size_t i = 4; i < lines.size(); ++i) EXPECT_EQ(lines[i].type, 1);
  CreasePatternDestruct(cp);

  testing::internal::CaptureStdout();
  ORI_manifold* om = loadGeneratedVertex(spec);
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  checkSheet(om, "vertex");
  checkFlatFoldable(om, "vertex");
  const std::vector<const ORI_vert*> inner = innerVertices(om);
  ASSERT_EQ(inner.size(), 1u);
  // Corners in the CP plane (y negated) run the other way round: the
  // sectors come back reversed.
  std::vector<double> sectors;
  for (const Corner& c : cornersAround(inner[0])) sectors.push_back(c.angle * 180 / kPi);
  std::sort(sectors.begin(), sectors.end());
  EXPECT_NEAR(sectors[0], 70, 1e-6);
  EXPECT_NEAR(sectors[1], 80, 1e-6);
  EXPECT_NEAR(sectors[2], 100, 1e-6);
  EXPECT_NEAR(sectors[3], 110, 1e-6);
  oriManifoldDelete(om);
}

TEST(PatternVertex, CreasesIntoTheCornersAddNoOutlinePieces) {
  OriVertexSpec spec;
  const double sectors[4] = {90, 90, 90, 90};
  std::copy(sectors, sectors + 4, spec.sector_deg);
  spec.rotation_deg = 45;
  CreasePattern* cp = CreasePatternNew();
  ASSERT_EQ(oriPatternMakeVertex(cp, spec, nullptr, 0), 0);
  EXPECT_EQ(linesOf(cp).size(), 8u);
  CreasePatternDestruct(cp);
}

TEST(PatternWaterbomb, EveryFacetIsATriangleAndEveryInnerVertexAWaterbombBase) {
  OriWaterbombSpec spec;
  spec.rows = 2;
  spec.cols = 3;
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadGeneratedWaterbomb(spec);
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  checkSheet(om, "waterbomb");
  EXPECT_TRUE(oriManifoldTriangulated(om));
  const std::vector<const ORI_vert*> inner = innerVertices(om);
  EXPECT_FALSE(inner.empty());
  for (const ORI_vert* v : inner) {
    const std::vector<Corner> c = cornersAround(v);
    ASSERT_EQ(c.size(), 6u);
    int positive = 0;
    double odd = 0;
    for (size_t k = 0; k < c.size(); ++k) {
      positive += c[k].crease->target_angle > 0 ? 1 : 0;
      if (k % 2) odd += c[k].angle;
    }
    EXPECT_EQ(positive, 4);           // the four diagonals
    EXPECT_NEAR(odd, kPi, kAngleTolerance);  // Kawasaki
  }
  oriManifoldDelete(om);
}

TEST(PatternGen, RefusesBadSpecsWithAReasonAndLeavesThePatternEmpty) {
  char why[256];
  auto refusedMiura = [&](OriMiuraSpec spec) {
    CreasePattern* cp = CreasePatternNew();
    why[0] = '\0';
    const int r = oriPatternMakeMiura(cp, spec, why, sizeof why);
    const bool empty = cp->lines->data == nullptr;
    CreasePatternDestruct(cp);
    return r == -1 && empty && why[0] != '\0';
  };
  OriMiuraSpec m;
  m.rows = 0;
  EXPECT_TRUE(refusedMiura(m));
  m = OriMiuraSpec();
  m.sector_deg = 0;
  EXPECT_TRUE(refusedMiura(m));
  m.sector_deg = 91;
  EXPECT_TRUE(refusedMiura(m));
  m.sector_deg = NAN;
  EXPECT_TRUE(refusedMiura(m));
  m = OriMiuraSpec();
  m.ratio = -1;
  EXPECT_TRUE(refusedMiura(m));
  m = OriMiuraSpec();
  m.assign = 9;
  EXPECT_TRUE(refusedMiura(m));
  // Lines too short for the reader to keep its vertices apart.
  m = OriMiuraSpec();
  m.rows = m.cols = 200;
  EXPECT_TRUE(refusedMiura(m));
  EXPECT_NE(std::string(why).find("shorter"), std::string::npos) << why;

  auto refusedVertex = [&](OriVertexSpec spec) {
    CreasePattern* cp = CreasePatternNew();
    why[0] = '\0';
    const int r = oriPatternMakeVertex(cp, spec, why, sizeof why);
    const bool empty = cp->lines->data == nullptr;
    CreasePatternDestruct(cp);
    return r == -1 && empty && why[0] != '\0';
  };
  OriVertexSpec v;
  v.sector_deg[0] = 71;  // sums to 361
  EXPECT_TRUE(refusedVertex(v));
  v = OriVertexSpec();
  v.degree = 2;
  EXPECT_TRUE(refusedVertex(v));
  v = OriVertexSpec();
  v.type[2] = 5;
  EXPECT_TRUE(refusedVertex(v));
  v = OriVertexSpec();
  v.rotation_deg = 44.9;  // a crease ends a hair from a corner
  EXPECT_TRUE(refusedVertex(v));

  OriWaterbombSpec w;
  w.cols = -1;
  CreasePattern* cp = CreasePatternNew();
  EXPECT_EQ(oriPatternMakeWaterbomb(cp, w, nullptr, 0), -1);  // no reason buffer: still refused
  CreasePatternDestruct(cp);
}
