// Tessellation: every face ends a triangle of the flat sheet, the mesh stays
// valid, the diagonals are flat lines, and folding keeps every facet rigid.
#include "geometry/tessellate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/kinematics.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

int euler(const ORI_manifold* om) { return om->n_vert - om->n_edge / 2 + om->n_face; }

// Tessellates om and checks everything a triangulation must give.
void tessellateAndCheck(ORI_manifold* om, const std::string& name) {
  SCOPED_TRACE(name);
  int diagonals_needed = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    diagonals_needed += faceSides(static_cast<ORI_face*>(l->data)) - 3;
  }
  const int euler_before = euler(om), faces_before = om->n_face;
  ASSERT_EQ(oriManifoldTessFace(om), 0);
  EXPECT_TRUE(oriManifoldTriangulated(om));
  char why[256];
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  EXPECT_EQ(euler(om), euler_before);
  EXPECT_EQ(om->n_face - faces_before, diagonals_needed);
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (!e->is_diagonal) continue;
    EXPECT_TRUE(e->pair->is_diagonal && e->target_angle == 0.0 && e->angle == 0.0 && !e->on_boundary);
    EXPECT_NE(e->vert, e->pair->vert) << "diagonal from a vertex to itself";
  }
  // Every triangle lies the right way round and has area: a diagonal through
  // a straight corner or outside the face would break this.
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    EXPECT_GT(faceArea(static_cast<ORI_face*>(l->data)), 1e-9);
  }
}

ORI_manifold* load(const std::vector<OriPatternLine>& lines) { return loadOpxText(opxText(lines)); }

// Whether om has a diagonal between the two file-unit points.
bool hasDiagonal(const ORI_manifold* om, double X0, double Y0, double X1, double Y1) {
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->is_diagonal && std::fabs(e->x0 * 400 - X0) < 1e-9 && std::fabs(-e->y0 * 400 - Y0) < 1e-9 &&
        std::fabs(e->x1 * 400 - X1) < 1e-9 && std::fabs(-e->y1 * 400 - Y1) < 1e-9) {
      return true;
    }
  }
  return false;
}

TEST(Tessellate, RealAndGeneratedPatternsBecomeSoundTriangulations) {
  for (const std::string& path : realPatterns("opx", ".opx")) {
    ORI_manifold* om = loadOpxFile(path);
    if (om == nullptr) continue;  // files the reader rejects (an empty one)
    EXPECT_EQ(euler(om), 1) << path;
    tessellateAndCheck(om, path);
    oriManifoldDelete(om);
  }
  for (int k = 1; k <= 6; ++k) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      ORI_manifold* om = load(gridLines(k, seed));
      ASSERT_NE(om, nullptr);
      tessellateAndCheck(om, "grid " + std::to_string(k) + " seed " + std::to_string(seed));
      oriManifoldDelete(om);
    }
  }
}

TEST(Tessellate, TessellatedSheetFoldsWithEveryFacetRigid) {
  // Parallel lines running across the whole sheet fold rigidly at any
  // angles; every triangle, diagonals included, must follow.
  ORI_manifold* om = load(gridLines(4, 7));
  ASSERT_EQ(oriManifoldTessFace(om), 0);
  oriManifoldCenterFace(om);
  oriManifoldIndex(om);
  oriMatrixIdentity(om->center_face->matrix);
  ASSERT_EQ(setAngleAlong(om, 0.0, 0.0, 1.0, 0.0, 1.3), 4);
  ASSERT_EQ(setAngleAlong(om, 0.0, 0.25, 1.0, 0.25, -0.7), 4);
  oriManifoldUpdate(om, om->center_face);
  EXPECT_LT(rigidityError(om), 1e-12);
  EXPECT_GT(std::fabs(static_cast<ORI_vert*>(om->verts->data)->pos.z), 0.1);
  oriManifoldDelete(om);
}

TEST(Tessellate, PlainPolygonIsFannedFromTheHeadOfItsFirstHalfEdge) {
  for (int n : {4, 5, 6, 9}) {
    std::vector<std::pair<double, double>> pts;
    for (int i = 0; i < n; ++i) pts.push_back({200 * std::cos(2 * kPi * i / n), 200 * std::sin(2 * kPi * i / n)});
    ORI_manifold* om = load(polygonLines(pts, 1));
    const ORI_edge* first = static_cast<ORI_face*>(om->faces->data)->first;
    const ORI_vert* apex = first->vert;
    const ORI_vert* far = first->next->next->vert;
    tessellateAndCheck(om, std::to_string(n) + "-gon");
    int from_apex = 0;
    const ORI_edge* first_diagonal = nullptr;
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<ORI_edge*>(l->data);
      if (!e->is_diagonal) continue;
      if (first_diagonal == nullptr) first_diagonal = e;
      if (e->pair->vert == apex) ++from_apex;
    }
    EXPECT_EQ(from_apex, n - 3);
    ASSERT_NE(first_diagonal, nullptr);
    EXPECT_EQ(first_diagonal->vert, far);
    oriManifoldDelete(om);
  }
}

TEST(Tessellate, DegreeFourVertexIsCutWhereTheFoldSignsSay) {
  // Mountain along +x, valleys along +y, -x and -y. Worked by hand: the
  // square at (+x, -y) has a mountain meeting a valley at the centre with a
  // valley beyond, so its corner next to the centre is cut off; the square
  // at (+x, +y) is fanned from the centre, where its opposite folds meet; the
  // others are fanned from the head of their first half-edge.
  ORI_manifold* om = load(degree4Vertex(2, 3, 3, 3));
  tessellateAndCheck(om, "degree 4");
  EXPECT_TRUE(hasDiagonal(om, 0, 0, 200, -200));
  EXPECT_TRUE(hasDiagonal(om, 0, 0, 200, 200));
  EXPECT_TRUE(hasDiagonal(om, -200, -200, 0, 0));
  EXPECT_TRUE(hasDiagonal(om, 0, 200, -200, 0));
  oriManifoldDelete(om);
}

TEST(Tessellate, FoldTypesOnTheOutlineNeverCutCorners) {
  // Two rectangles either side of a valley, listed first so that each
  // rectangle's fan runs across the other diagonal from the one a corner
  // cut at the valley's ends would make. Outline fold types change nothing.
  for (int outline : {1, 2}) {
    ORI_manifold* om = load({{0, -200, 0, 200, 3},
                             {-200, -200, 0, -200, outline},
                             {0, -200, 200, -200, outline},
                             {200, -200, 200, 200, outline},
                             {200, 200, 0, 200, outline},
                             {0, 200, -200, 200, outline},
                             {-200, 200, -200, -200, outline}});
    tessellateAndCheck(om, "outline type " + std::to_string(outline));
    EXPECT_TRUE(hasDiagonal(om, 0, -200, -200, 200));
    EXPECT_TRUE(hasDiagonal(om, 0, 200, 200, -200));
    oriManifoldDelete(om);
  }
}

TEST(Tessellate, StraightAndReflexCornersNeverGetBadTriangles) {
  // A crease ending on the middle of another makes a straight corner; fanned
  // from the wrong corner a face gets a triangle without area, whose fold
  // angle cannot be measured. Every fold assignment and rotation is tried,
  // which moves the first half-edge of each face around.
  for (int rotation = 0; rotation < 4; ++rotation) {
    const double c = std::cos(kPi / 2 * rotation), s = std::sin(kPi / 2 * rotation);
    for (int t = 0; t < 27; ++t) {
      std::vector<OriPatternLine> lines = {
          {-200, -200, 0, -200, 1}, {0, -200, 200, -200, 1},  {200, -200, 200, 200, 1},
          {200, 200, -200, 200, 1}, {-200, 200, -200, -200, 1}, {-200, 0, 0, 0, 1 + t % 3},
          {0, 0, 200, 0, 1 + (t / 3) % 3}, {0, 0, 0, -200, 1 + t / 9}};
      for (OriPatternLine& l : lines) l = {c * l.x0 - s * l.y0, s * l.x0 + c * l.y0, c * l.x1 - s * l.y1, s * l.x1 + c * l.y1, l.type};
      ORI_manifold* om = load(lines);
      tessellateAndCheck(om, "rotation " + std::to_string(rotation) + " types " + std::to_string(t));
      oriManifoldDelete(om);
    }
  }
  // An L-shaped sheet: a fan next to the reflex corner would leave the paper.
  const std::vector<std::pair<double, double>> ell = {{-200, -200}, {200, -200}, {200, 0},
                                                      {0, 0},       {0, 200},    {-200, 200}};
  for (size_t start = 0; start < ell.size(); ++start) {
    std::vector<std::pair<double, double>> pts(ell.begin() + start, ell.end());
    pts.insert(pts.end(), ell.begin(), ell.begin() + start);
    ORI_manifold* om = load(polygonLines(pts, 1));
    tessellateAndCheck(om, "L from corner " + std::to_string(start));
    oriManifoldDelete(om);
  }
}

}  // namespace
