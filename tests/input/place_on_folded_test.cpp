// Opening a pattern onto a folded model: the new sheet starts in the folded
// shape of the old one, its creases take the angles that shape implies, and
// preparing it for folding does not move it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "geometry/tessellate.h"
#include "input/construct.h"
#include "input/opx_reader.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

namespace {

// The flap sheet folded: the middle crease by kFlapSheetMiddleAngle and
// the flap by kFlapSheetFlapAngle, placed from a flat fixed face.
ORI_manifold* foldedFlapSheet() {
  ORI_manifold* om = loadOpxText(opxText(flapSheet()));
  if (om == nullptr) return nullptr;
  oriManifoldPrepare(om, 0);
  foldFlapSheet(om);
  return om;
}

ORI_manifold* openOnto(const std::vector<OriPatternLine>& lines, ORI_manifold* old) {
  const std::string text = opxText(lines);
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ORI_manifold* om = oriManifoldNew();
  const int result = oriManifoldConstructFromOpx(om, old, fp);
  std::fclose(fp);
  EXPECT_EQ(result, 0);
  if (result != 0) {
    oriManifoldDelete(om);
    return nullptr;
  }
  return om;
}

double distance(const vector3d& a, const vector3d& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// Every vertex's CP point: the head of its first out entry.
std::vector<vector3d> cpPoints(const ORI_manifold* om) {
  std::vector<vector3d> out;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    const ORI_edge* e = v->out[0]->pair;  // arrives at v
    out.push_back({e->x1, e->y1, 0.0});
  }
  return out;
}

std::vector<vector3d> positions(const ORI_manifold* om) {
  std::vector<vector3d> out;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    out.push_back(static_cast<const ORI_vert*>(l->data)->pos);
  }
  return out;
}

double largestMove(const std::vector<vector3d>& a, const std::vector<vector3d>& b) {
  double worst = 0.0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::fmax(worst, distance(a[i], b[i]));
  return worst;
}

TEST(PlaceOnFolded, EveryNewVertexLandsOnTheFoldedOldFaceUnderIt) {
  ORI_manifold* old = foldedFlapSheet();
  ASSERT_NE(old, nullptr);
  ORI_manifold* om = openOnto(flapSheetWithCross(), old);
  ASSERT_NE(om, nullptr);
  char why[256];
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  const std::vector<vector3d> cp = cpPoints(om);
  size_t i = 0;
  double highest = 0.0;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next, ++i) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    EXPECT_LT(distanceFromSheet(old, v->pos, cp[i].x, cp[i].y), 1e-12) << "vertex " << i;
    highest = std::fmax(highest, std::fabs(v->pos.z));
  }
  EXPECT_GT(highest, 0.1) << "the old sheet was not folded";

  // The fixed face takes the transform of the old face under the centroid
  // of its first three corners.
  const ORI_edge* h0 = om->center_face->first;
  const double cx = (h0->x0 + h0->next->x0 + h0->next->next->x0) / 3.0;
  const double cy = (h0->y0 + h0->next->y0 + h0->next->next->y0) / 3.0;
  const ORI_face* under = oriManifoldSelectFace(old, cx, cy);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(om->center_face->matrix[k], under->matrix[k]) << k;
  oriManifoldDelete(om);
  oriManifoldDelete(old);
}

TEST(PlaceOnFolded, MeasuredAnglesReproduceTheOldFold) {
  ORI_manifold* old = foldedFlapSheet();
  ASSERT_NE(old, nullptr);
  ORI_manifold* om = openOnto(flapSheetWithCross(), old);
  ASSERT_NE(om, nullptr);
  int middle = 0, flap = 0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->on_boundary || e->pair->on_boundary) {
      EXPECT_EQ(e->angle, 0.0);
    } else if (std::fabs(e->y0) < 1e-12 && std::fabs(e->y1) < 1e-12) {
      EXPECT_NEAR(e->angle, kFlapSheetMiddleAngle, 1e-9);
      ++middle;
    } else if (e->target_angle < 0.0 && e->x0 < -0.2 && e->x1 < -0.2) {
      EXPECT_NEAR(e->angle, kFlapSheetFlapAngle, 1e-9);
      ++flap;
    } else {
      EXPECT_NEAR(e->angle, 0.0, 1e-9);  // the new crease runs through flat parts
    }
  }
  EXPECT_EQ(middle, 4);  // the middle crease in two pieces, both halves
  EXPECT_EQ(flap, 2);
  oriManifoldDelete(om);
  oriManifoldDelete(old);
}

TEST(PlaceOnFolded, PreparingTheCarriedShapeKeepsItInPlace) {
  ORI_manifold* old = foldedFlapSheet();
  ASSERT_NE(old, nullptr);
  ORI_manifold* om = openOnto(flapSheetWithCross(), old);
  ASSERT_NE(om, nullptr);
  const std::vector<vector3d> carried = positions(om);
  ASSERT_EQ(oriManifoldPrepare(om, 1), 0);
  EXPECT_LT(largestMove(carried, positions(om)), 1e-12);
  EXPECT_LT(rigidityError(om), 1e-12);
  oriManifoldDelete(om);
  oriManifoldDelete(old);
}

TEST(PlaceOnFolded, ReopeningTheSamePatternReproducesTheShape) {
  ORI_manifold* old = foldedFlapSheet();
  ASSERT_NE(old, nullptr);
  ORI_manifold* om = openOnto(flapSheet(), old);
  ASSERT_NE(om, nullptr);
  ASSERT_EQ(oriManifoldPrepare(om, 1), 0);
  EXPECT_LT(largestMove(positions(old), positions(om)), 1e-12);
  List* a = old->edges;
  List* b = om->edges;
  for (; a != nullptr && b != nullptr && a->data != nullptr; a = a->next, b = b->next) {
    EXPECT_NEAR(static_cast<ORI_edge*>(b->data)->angle, static_cast<ORI_edge*>(a->data)->angle, 1e-9);
  }
  oriManifoldDelete(om);
  oriManifoldDelete(old);
}

TEST(PlaceOnFolded, TessellationThatMovesTheFixedFaceDoesNotMoveTheSheet) {
  // The new fixed face after tessellation is a triangle the construction did
  // not have, so it has no transform of its own; it must get the one its
  // carried corners imply, or the whole sheet would be placed from nothing.
  ORI_manifold* old = foldedFlapSheet();
  ASSERT_NE(old, nullptr);
  ORI_manifold* om = openOnto(flapSheetWithCross(), old);
  ASSERT_NE(om, nullptr);
  const ORI_face* built_fixed = om->center_face;
  ASSERT_EQ(oriManifoldTessFace(om), 0);
  oriManifoldCenterFace(om);
  ASSERT_NE(om->center_face, built_fixed) << "the pattern no longer moves the fixed face: change the test pattern";
  om->center_face = const_cast<ORI_face*>(built_fixed);  // as the loader hands it over
  const std::vector<vector3d> carried = positions(om);
  ASSERT_EQ(oriManifoldPrepare(om, 1), 0);
  EXPECT_LT(largestMove(carried, positions(om)), 1e-12);
  EXPECT_LT(rigidityError(om), 1e-12);
  // The diagonals are measured like any crease: flat here, since every new
  // face lies within one old one.
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->is_diagonal) {
      EXPECT_NEAR(e->angle, 0.0, 1e-9);
    }
  }
  oriManifoldDelete(om);
  oriManifoldDelete(old);
}

TEST(PlaceOnFolded, FaceTransformFittedToCornersCarriesThemExactly) {
  // A face moved rigidly gets back exactly the transform that moved it.
  ORI_manifold* old = foldedFlapSheet();
  ASSERT_NE(old, nullptr);
  for (List* l = old->faces; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_face* f = static_cast<ORI_face*>(l->data);
    double placed[16];
    for (int k = 0; k < 16; ++k) placed[k] = f->matrix[k];
    for (int k = 0; k < 16; ++k) f->matrix[k] = 0.0;
    ASSERT_EQ(oriFaceFitMatrix(f), 0);
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(f->matrix[k], placed[k], 1e-12) << "face " << f->index << " " << k;
  }
  // Corners all on one point give no frame: the matrix stays as it was.
  ORI_face* f = static_cast<ORI_face*>(old->faces->data);
  const ORI_edge* e = f->first;
  do {
    e->vert->pos = {0.1, 0.2, 0.3};
    e = e->next;
  } while (e != f->first);
  f->matrix[0] = 7.0;
  EXPECT_EQ(oriFaceFitMatrix(f), -1);
  EXPECT_EQ(f->matrix[0], 7.0);
  oriManifoldDelete(old);
}

}  // namespace
