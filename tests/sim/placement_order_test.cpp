// The frontier placement must be the walk's placement, bit for bit, for any
// angles: both decide from which neighbour a face is placed the same way;
// and a recorded placement replayed for new angles must be the frontier's.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"

namespace {

struct Snapshot {
  std::vector<double> matrices;
  std::vector<double> positions;
};

Snapshot snapshot(ORI_manifold* om) {
  Snapshot s;
  for (List* l = om->faces; l && l->data; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    s.matrices.insert(s.matrices.end(), f->matrix, f->matrix + 16);
  }
  for (List* l = om->verts; l && l->data; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    s.positions.insert(s.positions.end(), {v->pos.x, v->pos.y, v->pos.z});
  }
  return s;
}

void expectSame(const Snapshot& a, const Snapshot& b) {
  ASSERT_EQ(a.matrices.size(), b.matrices.size());
  ASSERT_EQ(a.positions.size(), b.positions.size());
  EXPECT_EQ(std::memcmp(a.matrices.data(), b.matrices.data(), a.matrices.size() * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(a.positions.data(), b.positions.data(), a.positions.size() * sizeof(double)), 0);
}

}  // namespace

TEST(PlacementOrder, FrontierMatchesTheWalkOnRealPatternsWithAnyAngles) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  int compared = 0;
  for (const std::string& path : files) {
    ORI_manifold* om = loadOpxFileQuietly(path);
    if (om == nullptr) continue;
    SCOPED_TRACE(path);
    oriManifoldPrepare(om, 0);
    for (List* l = om->edges; l && l->data; l = l->next) {
      ORI_edge* e = static_cast<ORI_edge*>(l->data);
      if (e->crease_index >= 0 && e->index < e->pair->index) e->angle = e->pair->angle = angle(rng);
    }
    // Start from a face other than the centre one too: deeper traversals.
    List* last = om->faces;
    while (last->next) last = last->next;
    for (ORI_face* start : {om->center_face, static_cast<ORI_face*>(last->data)}) {
      oriManifoldUpdateByWalk(om, start);
      const Snapshot walk = snapshot(om);
      // Disturb the shape so that a face the frontier misses would show.
      for (List* l = om->verts; l && l->data; l = l->next) static_cast<ORI_vert*>(l->data)->pos.z += 1.0;
      oriManifoldUpdate(om, start);
      expectSame(walk, snapshot(om));

      // Recorded once, then replayed for other angles: the frontier's
      // placement of those angles.
      ORI_face* centre = om->center_face;
      om->center_face = start;
      ORI_placement plan;
      oriManifoldUpdatePlanned(om, &plan);
      expectSame(walk, snapshot(om));
      for (List* l = om->edges; l && l->data; l = l->next) {
        ORI_edge* e = static_cast<ORI_edge*>(l->data);
        if (e->crease_index >= 0 && e->index < e->pair->index) e->angle = e->pair->angle = angle(rng);
      }
      oriManifoldUpdate(om, start);
      const Snapshot fresh = snapshot(om);
      for (List* l = om->verts; l && l->data; l = l->next) static_cast<ORI_vert*>(l->data)->pos.z += 1.0;
      oriManifoldUpdatePlanned(om, &plan);
      expectSame(fresh, snapshot(om));
      om->center_face = centre;
    }
    ++compared;
    oriManifoldDelete(om);
  }
  EXPECT_GE(compared, 10);
}
