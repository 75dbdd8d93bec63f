#include "render/shading.h"

#include <gtest/gtest.h>

#include <limits>

#include "geometry/manifold.h"
#include "geometry/paper_color.h"
#include "geometry/tessellate.h"
#include "input/construct.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kPi = 3.141592653589793;

// A prepared degree-4 vertex: four square facets around the centre, creases
// of the given types.
struct Degree4 {
  ORI_manifold* om = nullptr;
  explicit Degree4(int t0 = 2, int t1 = 3, int t2 = 2, int t3 = 2) {
    om = loadOpxText(opxText(degree4Vertex(t0, t1, t2, t3)));
    if (om != nullptr) oriManifoldPrepare(om, 0);
  }
  ~Degree4() { oriManifoldDelete(om); }

  // The half-edge of face f whose head is the centre vertex (the only inner
  // vertex).
  static ORI_edge* centreCorner(ORI_face* f) {
    ORI_edge* e = f->first;
    do {
      if (!e->vert->on_boundary) return e;
      e = e->next;
    } while (e != f->first);
    return nullptr;
  }
  ORI_face* face(int i) const {
    List* l = om->faces;
    for (int k = 0; k < i && l != nullptr; ++k) l = l->next;
    return static_cast<ORI_face*>(l->data);
  }
};

void setLineAngle(ORI_edge* e, double a) {
  e->angle = a;
  e->pair->angle = a;
}

}  // namespace

TEST(ShadingWrap, StepsOfPiIntoTheOpenInterval) {
  EXPECT_EQ(oriGLWrapAngle(0.5), 0.5);
  EXPECT_EQ(oriGLWrapAngle(-0.5), -0.5);
  EXPECT_EQ(oriGLWrapAngle(kOriTargetAngle), kOriTargetAngle);
  EXPECT_EQ(oriGLWrapAngle(-kOriTargetAngle), -kOriTargetAngle);
  // A step of π, not 2π: exactly ±π shades as flat.
  EXPECT_EQ(oriGLWrapAngle(kPi), 0.0);
  EXPECT_EQ(oriGLWrapAngle(-kPi), 0.0);
  EXPECT_NEAR(oriGLWrapAngle(1.5 * kPi), 0.5 * kPi, 1e-12);
  EXPECT_NEAR(oriGLWrapAngle(-1.5 * kPi), -0.5 * kPi, 1e-12);
  EXPECT_NEAR(oriGLWrapAngle(2 * kPi + 0.25), 0.25, 1e-12);
}

TEST(ShadingWrap, HugeAndNonFiniteAnglesEndQuickly) {
  for (double a : {1e300, -1e300, 1e12 + 0.3}) {
    const double w = oriGLWrapAngle(a);
    EXPECT_GT(w, -kPi) << a;
    EXPECT_LT(w, kPi) << a;
  }
  EXPECT_EQ(oriGLWrapAngle(std::numeric_limits<double>::quiet_NaN()), 0.0);
  EXPECT_EQ(oriGLWrapAngle(std::numeric_limits<double>::infinity()), 0.0);
}

TEST(ShadingColour, BuiltInColoursAtFullLightAreJustAboveWhite) {
  float rgb[3];
  oriGLPaperColor(kOriDefaultPaperColor, 1.0, 1.0, rgb);
  EXPECT_NEAR(rgb[0], 1.02, 1e-6);
  EXPECT_NEAR(rgb[1], 1.02, 1e-6);
  EXPECT_NEAR(rgb[2], 1.05, 1e-6);
  // In the dark, folded shut: only the constant part K4 is left.
  oriGLPaperColor(kOriDefaultPaperColor, 0.0, 0.0, rgb);
  EXPECT_NEAR(rgb[0], 0.5, 1e-6);
  EXPECT_NEAR(rgb[1], 0.45, 1e-6);
  EXPECT_NEAR(rgb[2], 0.3, 1e-6);
}

TEST(ShadingColour, UnitFirstTripleGivesGreyShadedByLightAndFold) {
  // K1 = 1 alone gives s·v in every channel (grey shaded by light and fold).
  const double grey[12] = {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  float rgb[3];
  oriGLPaperColor(grey, 0.5, 0.25, rgb);
  for (float c : rgb) EXPECT_FLOAT_EQ(c, 0.125f);
}

TEST(ShadingLight, FlatFaceFrontAndBackAddUpToOne) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  const ORI_face* f = d.face(0);
  // Flat sheet, identity display frame: the normal is +z.
  const double expected_front = (d.om->light_dir.z + 1.0) * 0.5;
  EXPECT_NEAR(oriGLLightTerm(d.om, f, kOriFrontPass), expected_front, 1e-12);
  EXPECT_NEAR(oriGLLightTerm(d.om, f, kOriBackPass), 1.0 - expected_front, 1e-12);
}

TEST(ShadingLight, DisplayFrameTurnsTheNormal) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  const ORI_face* f = d.face(0);
  // Half a turn about x (column order): the face now looks down, so the
  // front pass gets what the back pass had.
  double* m = d.om->model_matrix;
  oriMatrixIdentity(m);
  m[5] = -1.0;
  m[10] = -1.0;
  EXPECT_NEAR(oriGLLightTerm(d.om, f, kOriFrontPass), (1.0 - d.om->light_dir.z) * 0.5, 1e-12);
}

TEST(ShadingCorner, FlatCornersAreUndarkened) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  for (List* l = d.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->face == nullptr) continue;
    for (OriPass pass : {kOriFrontPass, kOriBackPass}) {
      EXPECT_DOUBLE_EQ(oriGLCornerTerm(e, pass), 1.0);
      EXPECT_DOUBLE_EQ(oriGLCornerTermCP(e, pass), 1.0);
    }
  }
}

// A corner between creases at 1.0 (arriving) and 0.5 (leaving), the other
// two creases flat: worked by hand.
TEST(ShadingCorner, HandWorkedFoldedCorner) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  ORI_edge* e = Degree4::centreCorner(d.face(0));
  ASSERT_NE(e, nullptr);
  setLineAngle(e, 1.0);
  setLineAngle(e->next, 0.5);
  // Front: crease term 0.7·((cos 0.5 + 1)/2 + (cos 1 + 1)/2)/2 = 0.598131;
  // the vertex sum 1.5 gives t = 1 − 1.5/2π = 0.761268.
  EXPECT_NEAR(oriGLCornerTerm(e, kOriFrontPass), 0.598131 + 0.3 * 0.761268, 1e-5);
  // Back: positive angles do not darken it, and a negative sum gives t = 1.
  EXPECT_DOUBLE_EQ(oriGLCornerTerm(e, kOriBackPass), 1.0);
  // Crease-pattern view: 1 − 1.5/2π in front, 1 behind.
  EXPECT_NEAR(oriGLCornerTermCP(e, kOriFrontPass), 0.761268, 1e-5);
  EXPECT_DOUBLE_EQ(oriGLCornerTermCP(e, kOriBackPass), 1.0);
}

TEST(ShadingCorner, NegativeFoldsDarkenOnlyTheBack) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  ORI_edge* e = Degree4::centreCorner(d.face(1));
  ASSERT_NE(e, nullptr);
  setLineAngle(e, -1.0);
  setLineAngle(e->next, -1.0);
  EXPECT_LT(oriGLCornerTerm(e, kOriBackPass), 0.9);
  EXPECT_DOUBLE_EQ(oriGLCornerTerm(e, kOriFrontPass), 1.0);
  EXPECT_LT(oriGLCornerTermCP(e, kOriBackPass), 0.7);
  EXPECT_DOUBLE_EQ(oriGLCornerTermCP(e, kOriFrontPass), 1.0);
}

TEST(ShadingCorner, FoldedShutIsDarkestAndExactlyPiIsFlat) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  ORI_edge* e = Degree4::centreCorner(d.face(2));
  ASSERT_NE(e, nullptr);
  setLineAngle(e, kOriTargetAngle);
  setLineAngle(e->next, kOriTargetAngle);
  // Pattern view: 1 − 2(π − 0.01)/2π, close to 0.
  EXPECT_NEAR(oriGLCornerTermCP(e, kOriFrontPass), 0.02 / (2 * kPi), 1e-12);
  // Folded view: the crease part is nearly gone, little more than 0.3·t.
  const double t = 1.0 - 2 * kOriTargetAngle / (2 * kPi);
  EXPECT_NEAR(oriGLCornerTerm(e, kOriFrontPass), 0.3 * t, 1e-4);
  // At exactly π the wrap makes the folded view shade it as flat; the
  // pattern view does not wrap.
  setLineAngle(e, kPi);
  setLineAngle(e->next, kPi);
  EXPECT_DOUBLE_EQ(oriGLCornerTerm(e, kOriFrontPass), 1.0);
  EXPECT_NEAR(oriGLCornerTermCP(e, kOriFrontPass), 0.0, 1e-12);
}

TEST(ShadingCorner, VertexSumCountsEveryLineAtTheCorner) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  ORI_edge* e = Degree4::centreCorner(d.face(0));
  ASSERT_NE(e, nullptr);
  // Only the two creases away from this corner are folded: the corner's own
  // creases are flat, so only the vertex sum darkens it.
  setLineAngle(e->next->pair->next, 0.6);
  setLineAngle(e->pair->prev, 0.6);
  ASSERT_EQ(e->angle, 0.0);
  ASSERT_EQ(e->next->angle, 0.0);
  EXPECT_NEAR(oriGLCornerTerm(e, kOriFrontPass), 0.7 + 0.3 * (1.0 - 1.2 / (2 * kPi)), 1e-12);
  EXPECT_DOUBLE_EQ(oriGLCornerTermCP(e, kOriFrontPass), 1.0);
}

TEST(ShadingCorner, DiagonalsAreSkippedToTheNextCrease) {
  Degree4 d;
  ASSERT_NE(d.om, nullptr);
  // Cut the first facet from the centre to its opposite corner.
  ORI_edge* a = Degree4::centreCorner(d.face(0));
  ASSERT_NE(a, nullptr);
  ORI_edge* in_crease = a;
  ORI_edge* out_crease = a->next;
  ORI_edge* diagonal = oriManifoldAddLineFace(a, a->next->next, d.om);
  ASSERT_NE(diagonal, nullptr);
  oriManifoldIndex(d.om);
  setLineAngle(in_crease, 0.8);
  setLineAngle(out_crease, 0.4);
  setLineAngle(diagonal, 2.0);  // never read as a neighbouring crease
  int corners = 0;
  for (List* l = d.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->face == nullptr || e->vert != in_crease->vert) continue;
    const ORI_edge* h_out;
    const ORI_edge* h_in;
    oriGLCornerCreases(e, &h_out, &h_in);
    EXPECT_FALSE(h_out->is_diagonal);
    EXPECT_FALSE(h_in->is_diagonal);
    if (e == diagonal->pair || e->next == diagonal) {
      ++corners;
      // Both triangles' corners at the centre see the facet's two creases.
      EXPECT_EQ(h_in, in_crease);
      EXPECT_EQ(h_out, out_crease);
    }
  }
  EXPECT_EQ(corners, 2);
}

TEST(ShadingLines, OnceRuleDrawsExactlyOneHalfOfEveryLine) {
  ORI_manifold* om = loadOpxText(opxText(miura2x2()));
  ASSERT_NE(om, nullptr);
  int drawn = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    EXPECT_NE(oriGLDrawnOnce(e), oriGLDrawnOnce(e->pair));
    drawn += oriGLDrawnOnce(e);
  }
  EXPECT_EQ(drawn, om->n_edge / 2);
  oriManifoldDelete(om);
}

TEST(ShadingLines, VerticalLineIsDrawnByTheHalfPointingDown) {
  ORI_edge e = {};
  e.y1 = -1.0;
  EXPECT_TRUE(oriGLDrawnOnce(&e));
  e.y1 = 1.0;
  EXPECT_FALSE(oriGLDrawnOnce(&e));
}

TEST(ShadingLines, WireKindsByBoundaryDiagonalAndTarget) {
  ORI_edge e = {}, p = {};
  e.pair = &p;
  p.pair = &e;
  e.target_angle = kOriTargetAngle;
  EXPECT_EQ(oriGLWireKind(&e), kOriWirePositive);
  e.target_angle = -kOriTargetAngle;
  EXPECT_EQ(oriGLWireKind(&e), kOriWireNegative);
  e.target_angle = 0.0;
  EXPECT_EQ(oriGLWireKind(&e), kOriWireHidden);
  EXPECT_TRUE(oriGLGreyLine(&e));
  // The boundary is solid and full width whatever its target, on either half.
  p.on_boundary = 1;
  for (double t : {0.0, kOriTargetAngle, -kOriTargetAngle}) {
    e.target_angle = t;
    EXPECT_EQ(oriGLWireKind(&e), kOriWireBoundary) << t;
  }
  // A diagonal is never drawn black, always grey.
  p.on_boundary = 0;
  e.is_diagonal = 1;
  e.target_angle = kOriTargetAngle;
  EXPECT_EQ(oriGLWireKind(&e), kOriWireHidden);
  EXPECT_TRUE(oriGLGreyLine(&e));
  e.is_diagonal = 0;
  EXPECT_FALSE(oriGLGreyLine(&e));
}
