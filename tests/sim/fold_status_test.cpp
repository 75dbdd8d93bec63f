// The status figures: fold progress and where the sheet closes worst.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/manifold.h"
#include "sim/fold_status.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

TEST(FoldStatus, ProgressAndTheWorstVertexByItsOwnIndex) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 3, 1)));
  ORISIM_matrix* osm = nullptr;
  ASSERT_EQ(oriManifoldPrepareForFolding(om, 0, 0, &osm), 0);
  testing::internal::GetCapturedStdout();
  int vertex = 7;
  EXPECT_EQ(oriFoldWorstVertex(osm, om, &vertex), 0.0);
  EXPECT_EQ(oriFoldProgress(om), 0.0);

  // Three fold lines, one flat line: the flat one counts for nothing, a fold
  // the wrong way by its size.
  ORI_edge* e = findHalfEdge(om, 0, 0, 200, 0);
  ORI_edge* f = findHalfEdge(om, 0, 0, 0, 200);
  ASSERT_TRUE(e != nullptr && f != nullptr && e->target_angle != 0 && f->target_angle != 0);
  e->angle = e->pair->angle = 0.5 * e->target_angle;
  f->angle = f->pair->angle = -0.25 * f->target_angle;
  EXPECT_NEAR(oriFoldProgress(om), 100.0 * (0.5 + 0.25) / 3, 1e-9);

  const ORI_vert* centre = e->pair->vert;
  ASSERT_EQ(centre->sim_index, 0);
  ASSERT_NE(centre->index, 0);  // so that a sim index passed on as it is shows
  EXPECT_GT(oriFoldWorstVertex(osm, om, &vertex), 0.1);
  EXPECT_EQ(vertex, centre->index);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}
