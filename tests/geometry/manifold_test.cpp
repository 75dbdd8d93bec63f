#include "geometry/manifold.h"

#include <gtest/gtest.h>

#include <vector>

#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "tests/support/fixtures.h"

namespace {

ORI_face* faceAt(ORI_manifold* om, int k) {
  List* l = om->faces;
  while (k-- > 0) l = l->next;
  return static_cast<ORI_face*>(l->data);
}

}  // namespace

TEST(List, HeadNodeHoldsTheFirstElementAndAddInsertsAfterNode) {
  List* top = listNew();
  EXPECT_EQ(listCount(top), 0);
  int a = 1, b = 2, c = 3;
  List* na = listAdd(top, nullptr, &a);
  EXPECT_EQ(na, top);
  List* nc = listAdd(top, na, &c);
  listAdd(top, na, &b);  // between a and c
  EXPECT_EQ(listCount(top), 3);
  EXPECT_EQ(top->next->data, &b);
  EXPECT_EQ(nc->prev->data, &b);
  listAppend(top, &a);
  EXPECT_EQ(listCount(top), 4);
  EXPECT_EQ(listDestruct(top), 0);
}

TEST(AddVert, FirstFoundInsideTheOpenBoxWins) {
  std::vector<ORI_vert> table(4, ORI_vert{});
  ORI_vert* v0 = oriAddVert(table.data(), 0, 0, 0, 0.4);
  EXPECT_EQ(v0, &table[0]);
  v0->n_out = 1;
  ORI_vert* v1 = oriAddVert(table.data(), 0.5, 0, 0, 0.4);
  EXPECT_EQ(v1, &table[1]);
  v1->n_out = 1;
  // Inside both boxes: the earlier slot is returned, not the nearer.
  EXPECT_EQ(oriAddVert(table.data(), 0.3, 0, 0, 0.4), &table[0]);
  // Exactly threshold away does not match.
  EXPECT_EQ(oriAddVert(table.data(), 0.9, 0, 0, 0.4), &table[2]);
  EXPECT_EQ(table[2].pos.x, 0.9);
}

TEST(Manifold, NewManifoldIsEmptyWithIdentityAndLight) {
  ORI_manifold* om = oriManifoldNew();
  EXPECT_EQ(om->n_vert + om->n_edge + om->n_face, 0);
  EXPECT_EQ(om->verts->data, nullptr);
  EXPECT_EQ(om->moment_factor, 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(om->model_matrix[i], i % 5 == 0 ? 1.0 : 0.0);
  EXPECT_DOUBLE_EQ(om->light_dir.y, 0.8571428571428571);
  EXPECT_FALSE(oriManifoldTriangulated(om));
  EXPECT_EQ(oriManifoldSelectFace(om, 0, 0), nullptr);
  oriManifoldDelete(om);
  EXPECT_EQ(oriManifoldDelete(nullptr), 0);
}

TEST(Manifold, IndexNumbersListsAndSharesCreaseNumbers) {
  ORI_manifold* om = loadOpxText(opxText(squareWithDiagonal(2)));
  ASSERT_NE(om, nullptr);
  oriManifoldIndex(om);
  int k = 0, inner = 0;
  for (List* l = om->edges; l && l->data; l = l->next, ++k) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    EXPECT_EQ(e->index, k);
    EXPECT_EQ(e->crease_index, e->pair->crease_index);
    if (e->on_boundary || e->pair->on_boundary) {
      EXPECT_EQ(e->crease_index, -1);
    } else {
      EXPECT_EQ(e->crease_index, 0);
      ++inner;
    }
  }
  EXPECT_EQ(inner, 2);
  EXPECT_TRUE(oriManifoldTriangulated(om));
  EXPECT_EQ(oriManifoldValidate(om, nullptr, 0), 0);
  oriManifoldDelete(om);
}

TEST(Manifold, CenterFaceKeepsTheEarlierOfEqualFaces) {
  ORI_manifold* om = loadOpxText(opxText(squareWithDiagonal(2)));
  ASSERT_NE(om, nullptr);
  oriManifoldCenterFace(om);
  EXPECT_EQ(om->center_face, faceAt(om, 0));
  oriManifoldDelete(om);
}

TEST(Manifold, CenterFacePrefersTheFaceNearestTheMiddle) {
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 3, 2)));
  ASSERT_NE(om, nullptr);
  // All four quarter faces are equally near; the sheet cut off-centre is not.
  std::vector<OriPatternLine> lines = squareLines();
  lines = {{-200, -200, 100, -200, 1}, {100, -200, 200, -200, 1}, {200, -200, 200, 200, 1},
           {200, 200, 100, 200, 1},    {100, 200, -200, 200, 1},  {-200, 200, -200, -200, 1},
           {100, -200, 100, 200, 2}};
  ORI_manifold* off = loadOpxText(opxText(lines));
  ASSERT_NE(off, nullptr);
  oriManifoldCenterFace(off);
  // The big left part has its corners nearer the origin on average.
  ORI_edge* e = off->center_face->first;
  int corners = 0;
  do {
    ++corners;
    e = e->next;
  } while (e != off->center_face->first);
  EXPECT_EQ(corners, 4);
  bool has_left_corner = false;
  do {
    has_left_corner |= e->x1 < -0.4;
    e = e->next;
  } while (e != off->center_face->first);
  EXPECT_TRUE(has_left_corner);
  oriManifoldDelete(off);
  oriManifoldDelete(om);
}

TEST(Manifold, SelectFaceWalksToTheFaceHoldingThePoint) {
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 3, 2)));
  ASSERT_NE(om, nullptr);
  // CP plane: y is negated. Quadrant of (0.25, 0.25) is file (100, -100).
  const double probes[4][2] = {{0.25, 0.25}, {-0.25, 0.25}, {-0.25, -0.25}, {0.25, -0.25}};
  for (const auto& p : probes) {
    ORI_face* f = oriManifoldSelectFace(om, p[0], p[1]);
    ASSERT_NE(f, nullptr);
    double cx = 0, cy = 0;
    int n = 0;
    ORI_edge* e = f->first;
    do {
      cx += e->x1;
      cy += e->y1;
      ++n;
      e = e->next;
    } while (e != f->first);
    EXPECT_GT(cx / n * p[0], 0) << p[0] << "," << p[1];
    EXPECT_GT(cy / n * p[1], 0) << p[0] << "," << p[1];
  }
  // A point outside the paper gives a face with a boundary edge facing it.
  ORI_face* out = oriManifoldSelectFace(om, 2.0, 0.25);
  ASSERT_NE(out, nullptr);
  bool faces_point = false;
  ORI_edge* e = out->first;
  do {
    faces_point |= e->pair->on_boundary && e->x0 > 0.4 && e->x1 > 0.4;
    e = e->next;
  } while (e != out->first);
  EXPECT_TRUE(faces_point);
  oriManifoldDelete(om);
}

TEST(Manifold, ValidateNamesTheBrokenInvariant) {
  ORI_manifold* om = loadOpxText(opxText(squareWithDiagonal(3)));
  ASSERT_NE(om, nullptr);
  ORI_edge* e = static_cast<ORI_edge*>(om->edges->data);
  ORI_edge* saved = e->next;
  e->next = e;
  char why[256];
  EXPECT_NE(oriManifoldValidate(om, why, sizeof why), 0);
  EXPECT_NE(std::string(why).find("half-edge 0"), std::string::npos) << why;
  e->next = saved;
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  oriManifoldDelete(om);
}

TEST(Manifold, SelectFaceFindsPointsOnANonConvexOutline) {
  // Regression: the walk returned the face it stood in as soon as the point
  // lay beyond the line of one of its outline sides; on the zig-zag outline
  // of a Miura-ori such points lie on the paper, several facets away.
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxFile(std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx");
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  for (List* l = om->verts; l && l->data; l = l->next) {
    ORI_vert* v = static_cast<ORI_vert*>(l->data);
    ORI_face* f = oriManifoldSelectFace(om, v->pos.x, v->pos.y);
    ASSERT_NE(f, nullptr);
    bool corner = false;
    ORI_edge* e = f->first;
    do {
      corner |= e->vert == v;
      e = e->next;
    } while (e != f->first);
    EXPECT_TRUE(corner) << "vertex at (" << v->pos.x << ", " << v->pos.y << ")";
  }
  oriManifoldDelete(om);
}

TEST(Manifold, SelectFaceFindsTheFaceOnAFinePattern) {
  // Regression: the walk's tolerance was a product of edge length and
  // distance; on a 25 × 25 Miura-ori it spanned whole facets, the walk
  // stopped in a neighbour, and opening a pattern onto the fold tore it.
  CreasePattern* cp = CreasePatternNew();
  OriMiuraParams params;
  params.rows = 25;
  params.cols = 25;
  char why[128];
  ASSERT_EQ(oriPatternMakeMiura(cp, params, why, sizeof why), 0) << why;
  ORI_manifold* om = oriManifoldNew();
  testing::internal::CaptureStdout();
  ASSERT_EQ(oriManifoldConstructFromPattern(om, cp), 0);
  testing::internal::GetCapturedStdout();
  CreasePatternDestruct(cp);
  int checked = 0;
  for (List* l = om->faces; l && l->data; l = l->next) {
    ORI_face* f = static_cast<ORI_face*>(l->data);
    double cx = 0, cy = 0;
    int n = 0;
    ORI_edge* e = f->first;
    do {
      cx += e->x1;
      cy += e->y1;
      ++n;
      e = e->next;
    } while (e != f->first);
    EXPECT_EQ(oriManifoldSelectFace(om, cx / n, cy / n), f) << "face " << checked;
    ++checked;
  }
  EXPECT_EQ(checked, 625);
  oriManifoldDelete(om);
}
