// Opening a pattern onto a folded model: the new sheet starts in the folded
// shape of the old one, its creases take the angles that shape implies, and
// preparing it for folding does not move it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/tessellate.h"
#include "input/opx_reader.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

namespace {

struct Opened {
  ORI_manifold* old;  // the folded flap sheet
  ORI_manifold* om;   // the flap sheet with a crossing crease, opened onto it
  ~Opened() {
    oriManifoldDelete(om);
    oriManifoldDelete(old);
  }
};

void openCrossOnFoldedFlaps(Opened* o) {
  o->old = loadOpxText(opxText(flapSheet()));
  ASSERT_NE(o->old, nullptr);
  oriManifoldPrepare(o->old, 0);
  foldFlapSheet(o->old);
  const std::string text = opxText(flapSheetWithCross());
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  o->om = oriManifoldNew();
  ASSERT_EQ(oriManifoldConstructFromOpx(o->om, o->old, fp), 0);
  std::fclose(fp);
}

// The largest distance of a vertex of om from the folded sheet old.
double farthestFromSheet(const ORI_manifold* old, const ORI_manifold* om) {
  double worst = 0.0;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    const ORI_edge* in = v->out[0]->pair;  // arrives at v: its head is v's CP point
    worst = std::fmax(worst, distanceFromSheet(old, v->pos, in->x1, in->y1));
  }
  return worst;
}

TEST(PlaceOnFolded, NewVerticesLandOnTheFoldedSheetAndAnglesFollowIt) {
  Opened o{};
  ASSERT_NO_FATAL_FAILURE(openCrossOnFoldedFlaps(&o));
  char why[256];
  EXPECT_EQ(oriManifoldValidate(o.om, why, sizeof why), 0) << why;
  EXPECT_LT(farthestFromSheet(o.old, o.om), 1e-12);

  // The fixed face takes the transform of the old face under the centroid
  // of its first three corners.
  const ORI_edge* h0 = o.om->center_face->first;
  const ORI_face* under = oriManifoldSelectFace(o.old, (h0->x0 + h0->next->x0 + h0->next->next->x0) / 3,
                                                (h0->y0 + h0->next->y0 + h0->next->next->y0) / 3);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(o.om->center_face->matrix[k], under->matrix[k]);

  // The pieces of the old creases measure the old angles; the new crease
  // runs through flat parts; the outline measures 0.
  int middle = 0, flap = 0;
  for (const List* l = o.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (std::fabs(e->y0) < 1e-12 && std::fabs(e->y1) < 1e-12 && !e->on_boundary && !e->pair->on_boundary) {
      EXPECT_NEAR(e->angle, kFlapSheetMiddleAngle, 1e-9);
      ++middle;
    } else if (e->target_angle < 0.0 && e->x0 < -0.2 && e->x1 < -0.2) {
      EXPECT_NEAR(e->angle, kFlapSheetFlapAngle, 1e-9);
      ++flap;
    } else {
      EXPECT_NEAR(e->angle, 0.0, 1e-9);
    }
  }
  EXPECT_EQ(middle, 4);  // two pieces, both halves
  EXPECT_EQ(flap, 2);
}

TEST(PlaceOnFolded, PreparationKeepsTheCarriedShapeEvenWhenTessellationMovesTheFixedFace) {
  Opened plain{};
  ASSERT_NO_FATAL_FAILURE(openCrossOnFoldedFlaps(&plain));
  ASSERT_EQ(oriManifoldPrepare(plain.om, 1), 0);
  EXPECT_LT(farthestFromSheet(plain.old, plain.om), 1e-12);
  EXPECT_LT(rigidityError(plain.om), 1e-12);

  // After tessellation the fixed face is a new triangle with no transform of
  // its own: it must get the one its carried corners imply, or the sheet
  // would be placed from nothing.
  Opened cut{};
  ASSERT_NO_FATAL_FAILURE(openCrossOnFoldedFlaps(&cut));
  ORI_face* built_fixed = cut.om->center_face;
  ASSERT_EQ(oriManifoldTessFace(cut.om), 0);
  oriManifoldCenterFace(cut.om);
  ASSERT_NE(cut.om->center_face, built_fixed) << "the pattern no longer moves the fixed face: change it";
  cut.om->center_face = built_fixed;  // as the loader hands the mesh over
  ASSERT_EQ(oriManifoldPrepare(cut.om, 1), 0);
  EXPECT_LT(farthestFromSheet(cut.old, cut.om), 1e-12);
  EXPECT_LT(rigidityError(cut.om), 1e-12);
}

}  // namespace
