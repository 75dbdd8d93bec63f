// Placing facets from fold angles and measuring the angles back.
#include "sim/kinematics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "sim/prepare.h"
#include "tests/support/fixtures.h"

namespace {

ORI_edge* edgeAt(ORI_manifold* om, int k) {
  List* l = om->edges;
  while (k-- > 0) l = l->next;
  return static_cast<ORI_edge*>(l->data);
}

double dist(const vector3d& a, const vector3d& b) { return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z)); }

// Every line keeps its flat length in space.
void expectRigid(ORI_manifold* om, double tol) {
  for (List* l = om->edges; l && l->data; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    const double flat = std::hypot(e->x1 - e->x0, e->y1 - e->y0);
    EXPECT_NEAR(dist(e->vert->pos, e->pair->vert->pos), flat, tol) << "half-edge " << e->index;
  }
}

// The maximal straight chains of inner creases: at an inner vertex a crease
// continues into the crease leaving straight ahead. Folding one whole chain
// that runs from outline to outline by any angle keeps every vertex closed.
std::vector<std::vector<ORI_edge*>> straightChains(ORI_manifold* om) {
  std::vector<std::vector<ORI_edge*>> chains;
  std::map<ORI_edge*, bool> used;
  for (List* l = om->edges; l && l->data; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->crease_index < 0 || used[e] || used[e->pair] || !e->pair->vert->on_boundary) continue;
    std::vector<ORI_edge*> chain;
    ORI_edge* c = e;
    bool ok = true;
    while (ok) {
      chain.push_back(c);
      used[c] = used[c->pair] = true;
      if (c->vert->on_boundary) break;
      const double dx = c->x1 - c->x0, dy = c->y1 - c->y0, len = std::hypot(dx, dy);
      ORI_edge* ahead = nullptr;
      for (int k = 0; k < c->vert->n_out; ++k) {
        ORI_edge* o = c->vert->out[k];
        const double ox = o->x1 - o->x0, oy = o->y1 - o->y0, ol = std::hypot(ox, oy);
        if ((dx * ox + dy * oy) / (len * ol) > 1 - 1e-9) ahead = o;
      }
      if (ahead == nullptr || ahead->crease_index < 0) ok = false;
      c = ahead;
    }
    if (ok && chain.size() > 0) chains.push_back(chain);
  }
  return chains;
}

}  // namespace

TEST(Kinematics, FlatAnglesGiveIdentityPlacement) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 3, 2)));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  for (List* l = om->faces; l && l->data; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(f->matrix[i], i % 5 == 0 ? 1.0 : 0.0, 1e-15);
  }
  for (List* l = om->edges; l && l->data; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    EXPECT_NEAR(e->vert->pos.x, e->x1, 1e-15);
    EXPECT_NEAR(e->vert->pos.y, e->y1, 1e-15);
    EXPECT_EQ(e->vert->pos.z, 0.0);
  }
  oriManifoldCalcCreaseFromVertPos(om);
  for (List* l = om->edges; l && l->data; l = l->next) EXPECT_EQ(static_cast<ORI_edge*>(l->data)->angle, 0.0);
  oriManifoldDelete(om);
}

TEST(Kinematics, QuarterTurnLiftsTheFarFaceByItsDistanceFromTheCrease) {
  for (double sign : {1.0, -1.0}) {
    testing::internal::CaptureStdout();
    ORI_manifold* om = loadOpxText(opxText(squareWithDiagonal(2)));
    testing::internal::GetCapturedStdout();
    ASSERT_NE(om, nullptr);
    oriManifoldPrepare(om, 0);
    // The diagonal's half-edge whose face is not the fixed one.
    ORI_edge* d = edgeAt(om, 8);
    if (d->face == om->center_face) d = d->pair;
    d->angle = d->pair->angle = sign * M_PI / 2;
    oriManifoldUpdate(om, om->center_face);
    // The free face's corner off the crease: distance sqrt(2)/2 from it.
    const ORI_vert* far = d->next->vert;
    EXPECT_NEAR(far->pos.z, sign * std::sqrt(2.0) / 2, 1e-12);
    expectRigid(om, 1e-12);
    oriManifoldCalcCreaseFromVertPos(om);
    EXPECT_NEAR(d->angle, sign * M_PI / 2, 1e-12);
    EXPECT_NEAR(d->pair->angle, sign * M_PI / 2, 1e-12);
    oriManifoldDelete(om);
  }
}

TEST(Kinematics, AnglesBeyondTheLimitArePlacedAtTheLimit) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(squareWithDiagonal(2)));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  ORI_edge* d = edgeAt(om, 8);
  for (double a : {3.2, M_PI, -4.0}) {
    d->angle = d->pair->angle = a;
    oriManifoldUpdate(om, om->center_face);
    EXPECT_EQ(d->angle, a);  // the stored angle is not clamped
    oriManifoldCalcCreaseFromVertPos(om);
    EXPECT_NEAR(d->angle, a > 0 ? kOriFoldAngleLimit : -kOriFoldAngleLimit, 1e-9);
  }
  oriManifoldDelete(om);
}

TEST(Kinematics, RealPatternsFoldAlongStraightCreaseLinesRigidly) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  int folded = 0;
  for (const std::string& path : files) {
    ORI_manifold* om = loadOpxFileQuietly(path);
    if (om == nullptr) continue;
    SCOPED_TRACE(path);
    oriManifoldPrepare(om, 0);
    const auto chains = straightChains(om);
    if (chains.empty()) {
      oriManifoldDelete(om);
      continue;
    }
    ++folded;
    // One whole straight line folded keeps every vertex closed, whatever the
    // pattern; the longest one moves the most faces.
    size_t longest = 0;
    for (size_t c = 1; c < chains.size(); ++c) {
      if (chains[c].size() > chains[longest].size()) longest = c;
    }
    std::map<ORI_edge*, double> set;
    for (ORI_edge* e : chains[longest]) set[e] = -1.1;
    for (auto& [e, a] : set) e->angle = e->pair->angle = a;
    oriManifoldUpdate(om, om->center_face);
    expectRigid(om, 1e-9);
    // Face planarity: every corner of a face lies on its transformed plane.
    for (List* l = om->faces; l && l->data; l = l->next) {
      const ORI_face* f = static_cast<const ORI_face*>(l->data);
      const ORI_edge* e = f->first;
      do {
        const double* M = f->matrix;
        const vector3d p = {M[0] * e->x1 + M[1] * e->y1 + M[3], M[4] * e->x1 + M[5] * e->y1 + M[7],
                            M[8] * e->x1 + M[9] * e->y1 + M[11]};
        EXPECT_LT(dist(p, e->vert->pos), 1e-9);
        e = e->next;
      } while (e != f->first);
    }
    oriManifoldCalcCreaseFromVertPos(om);
    for (List* l = om->edges; l && l->data; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      auto it = set.find(const_cast<ORI_edge*>(e));
      auto ip = set.find(e->pair);
      const double want = it != set.end() ? it->second : ip != set.end() ? ip->second : 0.0;
      EXPECT_NEAR(e->angle, want, 1e-9) << "half-edge " << e->index;
    }
    oriManifoldDelete(om);
  }
  EXPECT_GE(folded, 3);
}

TEST(Kinematics, FlatSheetMeasuresFlatAtReflexCorners) {
  // Regression: the angle used to be measured from the sides at one corner,
  // which flip at a reflex corner of a face and read a flat crease as ±π.
  // Two creases meet at the centre: the L-shaped face has a reflex corner there.
  std::vector<OriPatternLine> lines = {
      {-200, -200, 0, -200, 1}, {0, -200, 200, -200, 1}, {200, -200, 200, 200, 1}, {200, 200, -200, 200, 1},
      {-200, 200, -200, 0, 1},  {-200, 0, -200, -200, 1}, {0, -200, 0, 0, 2},      {0, 0, -200, 0, 3}};
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(lines));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  oriManifoldCalcCreaseFromVertPos(om);
  for (List* l = om->edges; l && l->data; l = l->next) {
    EXPECT_EQ(static_cast<ORI_edge*>(l->data)->angle, 0.0) << static_cast<ORI_edge*>(l->data)->index;
  }
  oriManifoldDelete(om);
}
