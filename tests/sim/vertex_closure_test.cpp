// The closure error per inner vertex, and the messages a load collects when
// its thread has a sink of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sparse_jacobian.h"
#include "tests/support/fixtures.h"

namespace {

void collect(void* context, const char* text, size_t length) {
  static_cast<std::string*>(context)->append(text, length);
}

}  // namespace

TEST(VertexClosure, ZeroWhenFlatAndTheSineOfALoneFoldWhereItBreaks) {
  std::string messages;
  oriSetMessageSink(collect, &messages);
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 2, 3, 2)));
  ASSERT_NE(om, nullptr);
  ORISIM_matrix* osm = nullptr;
  ASSERT_EQ(oriManifoldPrepareForFolding(om, 1, 0, &osm), 0);
  oriSetMessageSink(nullptr, nullptr);
  // The loader's report reached the sink, not standard output.
  EXPECT_NE(messages.find("Matrix\n size1: 3\n"), std::string::npos) << messages;

  std::vector<double> error;
  int worst = 7;
  EXPECT_EQ(oriSimVertexClosure(error, osm, om, &worst), 0.0);
  ASSERT_EQ(error.size(), 1u);

  // One crease folded by itself: the corner rotations round the vertex miss
  // the identity by that fold, whose rows give sin(θ).
  const double theta = 0.3;
  ORI_edge* e = findHalfEdge(om, 0, 0, 200, 0);
  ASSERT_NE(e, nullptr);
  e->angle = e->pair->angle = theta;
  EXPECT_NEAR(oriSimVertexClosure(error, osm, om, &worst), std::sin(theta), 1e-12);
  EXPECT_EQ(worst, 0);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}
