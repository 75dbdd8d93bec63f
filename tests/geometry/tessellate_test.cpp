// Tessellation: every face ends a triangle of the flat sheet, the mesh stays
// valid, the diagonals are flat lines, and folding still keeps every facet
// rigid.
#include "geometry/tessellate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "sim/kinematics.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

int euler(const ORI_manifold* om) { return om->n_vert - om->n_edge / 2 + om->n_face; }

// Sum over faces of (sides − 3): the number of diagonals a triangulation adds.
int missingDiagonals(const ORI_manifold* om) {
  int total = 0;
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    total += faceSides(static_cast<const ORI_face*>(l->data)) - 3;
  }
  return total;
}

bool inSomeOut(const ORI_manifold* om, const ORI_edge* e) {
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    for (int k = 0; k < v->n_out; ++k) {
      if (v->out[k] == e) return true;
    }
  }
  return false;
}

// Tessellates om and checks everything a triangulation must give.
void tessellateAndCheck(ORI_manifold* om, const std::string& name) {
  SCOPED_TRACE(name);
  const int euler_before = euler(om);
  const int faces_before = om->n_face;
  const int lines_before = om->n_edge / 2;
  const int expected_diagonals = missingDiagonals(om);
  ASSERT_EQ(oriManifoldTessFace(om), 0);

  EXPECT_TRUE(oriManifoldTriangulated(om));
  char why[256];
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  EXPECT_EQ(euler(om), euler_before);
  EXPECT_EQ(om->n_face - faces_before, expected_diagonals);
  EXPECT_EQ(om->n_edge / 2 - lines_before, expected_diagonals);

  int diagonals = 0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (!e->is_diagonal) continue;
    ++diagonals;
    EXPECT_TRUE(e->pair->is_diagonal);
    EXPECT_EQ(e->target_angle, 0.0);
    EXPECT_EQ(e->angle, 0.0);
    EXPECT_FALSE(e->on_boundary);
    EXPECT_NE(e->vert, e->pair->vert) << "diagonal from a vertex to itself";
    EXPECT_FALSE(inSomeOut(om, e));
  }
  EXPECT_EQ(diagonals, 2 * expected_diagonals);
  // Every triangle lies in the flat sheet the right way round and has area:
  // a diagonal through a straight corner or outside a face would break this.
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    EXPECT_GT(faceArea(f), 1e-9) << "face " << f->index;
  }
}

// The diagonals of om as CP end points (x0, y0, x1, y1), one per line, in
// the order they were added.
std::vector<std::vector<double>> diagonalEnds(const ORI_manifold* om) {
  std::vector<std::vector<double>> out;
  std::set<const ORI_edge*> seen;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (!e->is_diagonal || seen.count(e->pair) != 0) continue;
    seen.insert(e);
    out.push_back({e->x0, e->y0, e->x1, e->y1});
  }
  return out;
}

// CP point of a file-unit point.
std::vector<double> cp(double X0, double Y0, double X1, double Y1) {
  return {X0 / 400.0, -Y0 / 400.0, X1 / 400.0, -Y1 / 400.0};
}

bool sameSegment(const std::vector<double>& a, const std::vector<double>& b) {
  auto near = [](double x, double y) { return std::fabs(x - y) < 1e-12; };
  const bool forward = near(a[0], b[0]) && near(a[1], b[1]) && near(a[2], b[2]) && near(a[3], b[3]);
  const bool backward = near(a[0], b[2]) && near(a[1], b[3]) && near(a[2], b[0]) && near(a[3], b[1]);
  return forward || backward;
}

ORI_manifold* load(const std::vector<OriPatternLine>& lines) {
  ORI_manifold* om = loadOpxText(opxText(lines));
  EXPECT_NE(om, nullptr);
  return om;
}

std::vector<std::pair<double, double>> regularPolygon(int n, double r) {
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < n; ++i) pts.push_back({r * std::cos(2 * kPi * i / n), r * std::sin(2 * kPi * i / n)});
  return pts;
}

TEST(Tessellate, RealPatternsBecomeSoundTriangulations) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: the shared patterns folder is absent";
  int tested = 0;
  for (const std::string& path : files) {
    ORI_manifold* om = loadOpxFile(path);
    if (om == nullptr) continue;  // files the reader rejects (an empty one) have nothing to cut
    EXPECT_EQ(euler(om), 1) << path;
    tessellateAndCheck(om, path);
    ++tested;
    oriManifoldDelete(om);
  }
  EXPECT_GT(tested, 5);
}

TEST(Tessellate, GridsWithRandomFoldsBecomeSoundTriangulations) {
  for (int k = 1; k <= 6; ++k) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      ORI_manifold* om = load(gridLines(k, seed));
      ASSERT_NE(om, nullptr);
      tessellateAndCheck(om, "grid " + std::to_string(k) + " seed " + std::to_string(seed));
      oriManifoldDelete(om);
    }
  }
}

TEST(Tessellate, TessellatedGridFoldsWithEveryFacetRigid) {
  // Folding straight grid lines that run across the whole sheet, all in one
  // direction, is a rigid motion for any angles; every triangle, diagonals
  // included, must follow it.
  ORI_manifold* om = load(gridLines(4, 7));
  ASSERT_NE(om, nullptr);
  ASSERT_EQ(oriManifoldTessFace(om), 0);
  oriManifoldCenterFace(om);
  oriManifoldIndex(om);
  oriMatrixIdentity(om->center_face->matrix);
  ASSERT_EQ(setAngleAlong(om, 0.0, 0.0, 1.0, 0.0, 1.3), 4);
  ASSERT_EQ(setAngleAlong(om, 0.0, 0.25, 1.0, 0.25, -0.7), 4);
  oriManifoldUpdate(om, om->center_face);
  EXPECT_LT(rigidityError(om), 1e-12);
  double highest = 0.0;
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    highest = std::fmax(highest, std::fabs(static_cast<ORI_vert*>(l->data)->pos.z));
  }
  EXPECT_GT(highest, 0.1) << "the sheet did not fold";
  // Measuring the placed shape gives the folded lines back and 0 elsewhere.
  oriManifoldCalcCreaseFromVertPos(om);
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->is_diagonal) {
      EXPECT_NEAR(e->angle, 0.0, 1e-9);
    }
  }
  oriManifoldDelete(om);
}

TEST(Tessellate, PatternOfTrianglesIsLeftAlone) {
  ORI_manifold* om = load(squareWithDiagonal(2));
  ASSERT_NE(om, nullptr);
  std::vector<ORI_edge*> next_before;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    next_before.push_back(static_cast<ORI_edge*>(l->data)->next);
  }
  EXPECT_EQ(oriManifoldTessFace(om), 0);
  EXPECT_EQ(om->n_face, 2);
  EXPECT_EQ(om->n_edge, 10);
  size_t i = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next, ++i) {
    ASSERT_LT(i, next_before.size());
    EXPECT_EQ(static_cast<ORI_edge*>(l->data)->next, next_before[i]);
  }
  oriManifoldDelete(om);
}

TEST(Tessellate, PlainPolygonsAreFannedFromTheHeadOfTheirFirstHalfEdge) {
  // A sheet with no fold line: one face, fanned from the head of first.
  for (int n : {4, 5, 6, 9}) {
    SCOPED_TRACE(n);
    ORI_manifold* om = load(polygonLines(regularPolygon(n, 200.0), 1));
    ASSERT_NE(om, nullptr);
    ASSERT_EQ(om->n_face, 1);
    ORI_face* face = static_cast<ORI_face*>(om->faces->data);
    const ORI_vert* apex = face->first->vert;
    const ORI_vert* far = face->first->next->next->vert;
    tessellateAndCheck(om, "polygon");
    EXPECT_EQ(om->n_face, n - 2);
    int from_apex = 0;
    bool first_diagonal_seen = false;
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<ORI_edge*>(l->data);
      if (!e->is_diagonal) continue;
      if (!first_diagonal_seen) {
        // The first diagonal runs from the apex to the head of first.next.next.
        EXPECT_EQ(e->pair->vert, apex);
        EXPECT_EQ(e->vert, far);
        first_diagonal_seen = true;
      }
      if (e->pair->vert == apex) ++from_apex;
    }
    EXPECT_EQ(from_apex, n - 3);
    oriManifoldDelete(om);
  }
}

TEST(Tessellate, FoldTypesOnTheOutlineNeverCutCorners) {
  // A crease across the sheet makes two rectangles. Giving the outline fold
  // types must change nothing: corner cuts look only at inner lines.
  auto lines = [](int outline_type) {
    // The crease comes first, so that each rectangle's first half-edge lies
    // on it and the fan runs across the other diagonal from the one a corner
    // cut at the crease's ends would make.
    std::vector<OriPatternLine> l = {
        {0, -200, 0, 200, 3},
        {-200, -200, 0, -200, outline_type}, {0, -200, 200, -200, outline_type},
        {200, -200, 200, 200, outline_type}, {200, 200, 0, 200, outline_type},
        {0, 200, -200, 200, outline_type},   {-200, 200, -200, -200, outline_type},
    };
    return l;
  };
  ORI_manifold* plain = load(lines(1));
  ORI_manifold* typed = load(lines(2));
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(typed, nullptr);
  tessellateAndCheck(plain, "flat outline");
  tessellateAndCheck(typed, "folding outline");
  const auto a = diagonalEnds(plain);
  const auto b = diagonalEnds(typed);
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(b.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(sameSegment(a[i], b[i]));
  oriManifoldDelete(plain);
  oriManifoldDelete(typed);
}

TEST(Tessellate, DegreeFourVertexIsCutWhereTheFoldSignsSay) {
  // Mountain along +x, valleys along +y, -x and -y (file units, paper 400).
  // Worked by hand: the square at (+x, -y) has a mountain meeting a valley
  // at the centre with a valley beyond, so its corner is cut next to the
  // centre (centre to (200, -200)); the square at (+x, +y) is fanned from
  // the centre (its apex sits between the opposite folds); the others have
  // no such corner and are fanned from the head of their first half-edge.
  ORI_manifold* om = load(degree4Vertex(2, 3, 3, 3));
  ASSERT_NE(om, nullptr);
  tessellateAndCheck(om, "degree 4");
  const auto ends = diagonalEnds(om);
  ASSERT_EQ(ends.size(), 4u);
  const std::vector<std::vector<double>> expected = {
      cp(0, 0, 200, -200), cp(0, 0, 200, 200), cp(-200, -200, 0, 0), cp(0, 200, -200, 0)};
  for (const auto& want : expected) {
    bool found = false;
    for (const auto& got : ends) found = found || sameSegment(got, want);
    EXPECT_TRUE(found) << "missing diagonal (" << want[0] * 400 << ", " << -want[1] * 400 << ") - ("
                       << want[2] * 400 << ", " << -want[3] * 400 << ")";
  }
  // The corner cut is made first, in the first walk.
  EXPECT_TRUE(sameSegment(ends[0], cp(0, 0, 200, -200)));
  oriManifoldDelete(om);
}

TEST(Tessellate, StraightCornersNeverGetTrianglesWithoutArea) {
  // A crease ending on the middle of another makes a straight corner there.
  // Fanning from the wrong corner would lay a diagonal along the two sides
  // of the straight corner: a triangle without area, whose fold angle cannot
  // be measured. Every fold assignment and every rotation of the pattern
  // (which moves the first half-edge of each face) must avoid it.
  for (int rotation = 0; rotation < 4; ++rotation) {
    for (int t = 0; t < 27; ++t) {
      const int types[3] = {1 + t % 3, 1 + (t / 3) % 3, 1 + t / 9};
      std::vector<OriPatternLine> lines = squareLines();
      lines.push_back({-200, 0, 0, 0, types[0]});
      lines.push_back({0, 0, 200, 0, types[1]});
      lines.push_back({0, 0, 0, -200, types[2]});
      lines.push_back({-200, -200, 0, -200, 1});  // the bottom side, split where the crease ends
      lines.erase(lines.begin());
      lines.push_back({0, -200, 200, -200, 1});
      const double c = std::cos(kPi / 2 * rotation), s = std::sin(kPi / 2 * rotation);
      for (OriPatternLine& l : lines) {
        const double x0 = c * l.x0 - s * l.y0, y0 = s * l.x0 + c * l.y0;
        const double x1 = c * l.x1 - s * l.y1, y1 = s * l.x1 + c * l.y1;
        l = {x0, y0, x1, y1, l.type};
      }
      ORI_manifold* om = load(lines);
      ASSERT_NE(om, nullptr);
      tessellateAndCheck(om, "rotation " + std::to_string(rotation) + " types " + std::to_string(t));
      oriManifoldDelete(om);
    }
  }
}

TEST(Tessellate, NonConvexFacesAreCutInside) {
  // An L-shaped and a star-shaped sheet: a fan from a reflex corner's
  // neighbour would lay triangles outside the paper. Every start point of
  // the outline is tried.
  const std::vector<std::pair<double, double>> ell = {{-200, -200}, {200, -200}, {200, 0},
                                                      {0, 0},       {0, 200},    {-200, 200}};
  std::vector<std::pair<double, double>> star;
  for (int i = 0; i < 10; ++i) {
    const double r = i % 2 == 0 ? 200.0 : 80.0;
    star.push_back({r * std::cos(kPi * i / 5), r * std::sin(kPi * i / 5)});
  }
  using Shape = std::vector<std::pair<double, double>>;
  for (const Shape* shape : {&ell, static_cast<const Shape*>(&star)}) {
    for (size_t start = 0; start < shape->size(); ++start) {
      std::vector<std::pair<double, double>> pts(shape->begin() + start, shape->end());
      pts.insert(pts.end(), shape->begin(), shape->begin() + start);
      ORI_manifold* om = load(polygonLines(pts, 1));
      ASSERT_NE(om, nullptr);
      double area_before = 0.0;
      for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
        area_before += faceArea(static_cast<ORI_face*>(l->data));
      }
      tessellateAndCheck(om, "start " + std::to_string(start));
      double area_after = 0.0;
      for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
        area_after += faceArea(static_cast<ORI_face*>(l->data));
      }
      // Positive triangles that add up to the face cover it without overlap.
      EXPECT_NEAR(area_after, area_before, 1e-12);
      oriManifoldDelete(om);
    }
  }
}

}  // namespace
