// Generated crease patterns: the reader builds them as intended, the
// assignments are the flat-foldable ones, and bad parameters are refused.
#include "input/pattern_gen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kAngleTolerance = 1e-6;  // the XML carries coordinates to six decimals

// The creases round an inner vertex, counter-clockwise, with the corner
// angle that follows each.
std::vector<std::pair<const ORI_edge*, double>> around(const ORI_vert* v) {
  std::vector<std::pair<const ORI_edge*, double>> out;
  const ORI_edge* e = v->out[0];
  do {
    out.push_back({e, std::atan2(e->prev->turn_sin, -e->prev->turn_cos)});
    e = e->prev->pair;
  } while (e != v->out[0] && out.size() < 64);
  return out;
}

// What every generated sheet must be: a valid mesh, a disk, centred on the
// origin with its longer side 1; and at every inner vertex Kawasaki's
// condition (alternate corners sum to π) with `positive` creases of type 2.
void checkSheet(ORI_manifold* om, const std::string& name, int degree, std::vector<int> positive) {
  ASSERT_NE(om, nullptr) << name;
  char why[256] = "";
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << name << ": " << why;
  EXPECT_EQ(om->n_vert - om->n_edge / 2 + om->n_face, 1) << name;
  double lo[2] = {1e9, 1e9}, hi[2] = {-1e9, -1e9};
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    const double p[2] = {v->pos.x, v->pos.y};
    for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
    if (v->on_boundary) continue;
    const auto c = around(v);
    ASSERT_EQ(static_cast<int>(c.size()), degree) << name;
    double odd = 0;
    int up = 0;
    for (size_t k = 0; k < c.size(); ++k) {
      odd += (k % 2) ? c[k].second : 0.0;
      up += c[k].first->target_angle < 0 ? 1 : 0;  // type 2, a mountain
    }
    EXPECT_NEAR(odd, kPi, kAngleTolerance) << name;
    EXPECT_NE(std::find(positive.begin(), positive.end(), up), positive.end()) << name << ": " << up;
  }
  EXPECT_NEAR(std::max(hi[0] - lo[0], hi[1] - lo[1]), 1.0, 1e-6) << name;
  EXPECT_NEAR(lo[0] + hi[0], 0.0, 1e-6) << name;
  EXPECT_NEAR(lo[1] + hi[1], 0.0, 1e-6) << name;
  oriManifoldDelete(om);
}

template <typename Params>
ORI_manifold* quietly(ORI_manifold* (*load)(const Params&), const Params& params) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = load(params);
  testing::internal::GetCapturedStdout();
  return om;
}

std::vector<Line> linesOf(const OriMiuraParams& params) {
  CreasePattern* cp = CreasePatternNew();
  EXPECT_EQ(oriPatternMakeMiura(cp, params, nullptr, 0), 0);
  std::vector<Line> out;
  for (const List* n = cp->lines; n != nullptr && n->data != nullptr; n = n->next) out.push_back(*static_cast<const Line*>(n->data));
  CreasePatternDestruct(cp);
  return out;
}

}  // namespace

TEST(PatternGen, MiuraOriIsAFlatFoldableGridOfParallelograms) {
  for (auto [rows, cols, angle, ratio] : {std::tuple{4, 4, 60.0, 1.0}, {2, 6, 70.0, 1.0}, {5, 3, 45.0, 1.8}}) {
    OriMiuraParams params;
    params.rows = rows, params.cols = cols, params.sector_deg = angle, params.ratio = ratio;
    ORI_manifold* om = quietly(loadGeneratedMiura, params);
    ASSERT_NE(om, nullptr);
    EXPECT_EQ(om->n_vert, (rows + 1) * (cols + 1));
    EXPECT_EQ(om->n_face, rows * cols);
    // The straight creases through a vertex differ in type, the zig-zag ones agree.
    for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
      if (v->on_boundary) continue;
      std::vector<double> straight, zigzag;
      for (auto [e, corner] : around(v)) {
        (std::fabs(e->y1 - e->y0) < 1e-12 ? straight : zigzag).push_back(e->target_angle);
        EXPECT_NEAR(std::min(corner, kPi - corner) * 180 / kPi, angle, 1e-4);
      }
      ASSERT_EQ(straight.size(), 2u);
      EXPECT_NE(straight[0], straight[1]);
      EXPECT_EQ(zigzag[0], zigzag[1]);
    }
    checkSheet(om, "miura", 4, {1, 3});
  }
  // Swapping exchanges the fold types; positive and negative make them one.
  OriMiuraParams params;
  const std::vector<Line> standard = linesOf(params);
  params.assign = kOriAssignSwapped;
  const std::vector<Line> swapped = linesOf(params);
  params.assign = kOriAssignNegative;
  const std::vector<Line> negative = linesOf(params);
  ASSERT_EQ(standard.size(), swapped.size());
  for (size_t i = 0; i < standard.size(); ++i) {
    const int t = standard[i].type;
    EXPECT_EQ(swapped[i].type, t == 1 ? 1 : 5 - t);
    EXPECT_EQ(negative[i].type, t == 1 ? 1 : 3);
  }
}

TEST(PatternGen, SingleVertexAndWaterbomb) {
  OriVertexParams params;
  params.rotation_deg = 10;
  ORI_manifold* om = quietly(loadGeneratedVertex, params);
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(lineCount(om), 4 + 8);  // four creases; four corners and four ends split the outline
  std::vector<double> sectors;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (!v->on_boundary) {
      for (auto [e, corner] : around(v)) sectors.push_back(corner * 180 / kPi);
    }
  }
  std::sort(sectors.begin(), sectors.end());
  ASSERT_EQ(sectors.size(), 4u);
  const double expected[4] = {70, 80, 100, 110};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(sectors[k], expected[k], 1e-4);
  checkSheet(om, "vertex", 4, {3});
  // Creases into the corners add no outline pieces.
  const double square[4] = {90, 90, 90, 90};
  std::copy(square, square + 4, params.sector_deg);
  params.rotation_deg = 45;
  om = quietly(loadGeneratedVertex, params);
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(lineCount(om), 8);
  oriManifoldDelete(om);

  OriWaterbombParams wb;
  wb.rows = 2, wb.cols = 3;
  om = quietly(loadGeneratedWaterbomb, wb);
  ASSERT_NE(om, nullptr);
  EXPECT_TRUE(oriManifoldTriangulated(om));
  checkSheet(om, "waterbomb", 6, {4});  // four diagonals, two horizontal lines
}

TEST(PatternGen, HyparIsConcentricSquaresWithThreeToOneCorners) {
  OriHyparParams params;
  params.rings = 4;
  CreasePattern* cp = CreasePatternNew();
  ASSERT_EQ(oriPatternMakeHypar(cp, params, nullptr, 0), 0);
  ORI_manifold* om = oriManifoldNew();
  testing::internal::CaptureStdout();
  const int built = oriManifoldConstructFromPattern(om, cp);
  testing::internal::GetCapturedStdout();
  CreasePatternDestruct(cp);
  ASSERT_EQ(built, 0);
  oriManifoldPrepare(om, 0);
  // Three squares and the outline, cut by the four half-diagonals.
  EXPECT_EQ(om->n_vert, 1 + 4 * 4);
  EXPECT_EQ(lineCount(om), 4 * 4 + 4 * 4);
  // Every corner of a square has three lines of one type and one of the
  // other; the centre's four lines share the innermost square's other type.
  checkSheet(om, "hypar", 4, {0, 1, 3});
}

TEST(PatternGen, RefusesBadParametersWithAReasonAndLeavesThePatternEmpty) {
  char why[256];
  auto refused = [&](auto make, const auto& params) {
    CreasePattern* cp = CreasePatternNew();
    why[0] = '\0';
    const int r = make(cp, params, why, sizeof why);
    const bool empty = cp->lines->data == nullptr;
    CreasePatternDestruct(cp);
    return r == -1 && empty && why[0] != '\0';
  };
  std::vector<OriMiuraParams> miura(7);
  miura[0].rows = 0;
  miura[1].sector_deg = 0;
  miura[2].sector_deg = 91;
  miura[3].sector_deg = NAN;
  miura[4].ratio = -1;
  miura[5].assign = 9;
  miura[6].rows = miura[6].cols = 200;  // lines too short to keep the vertices apart
  miura[6].ratio = 0.3;
  for (const OriMiuraParams& s : miura) EXPECT_TRUE(refused(oriPatternMakeMiura, s)) << s.rows << " " << s.sector_deg;
  EXPECT_NE(std::string(why).find("shorter"), std::string::npos) << why;

  std::vector<OriVertexParams> vertex(4);
  vertex[0].sector_deg[0] = 71;  // sums to 361
  vertex[1].degree = 2;
  vertex[2].type[2] = 5;
  vertex[3].rotation_deg = 44.9;  // a crease ends a hair from a corner
  for (const OriVertexParams& s : vertex) EXPECT_TRUE(refused(oriPatternMakeVertex, s));

  OriWaterbombParams wb;
  wb.cols = -1;
  EXPECT_TRUE(refused(oriPatternMakeWaterbomb, wb));
}
