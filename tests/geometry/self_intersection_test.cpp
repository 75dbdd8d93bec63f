// Faces passing through each other: the triangle test's tolerance, the box
// hierarchy against every pair, two flaps whose contact is worked out by
// hand, and folds that must report nothing. The solver's fold direction is
// never assumed: only sizes of angles are read.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "geometry/box_tree.h"
#include "geometry/message.h"
#include "geometry/self_intersection.h"
#include "geometry/triangle_cross.h"
#include "input/pattern_file.h"
#include "sim/fold_status.h"
#include "sim/fold_step.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

namespace {

// A pattern loaded and prepared, the loader's messages dropped; step()
// folds once and returns the pairs found.
struct Folding {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  Folding(const std::function<ORI_manifold*()>& load, int triangulate) {
    oriSetMessageSink([](void*, const char*, size_t) {}, nullptr);
    om = load();
    if (om != nullptr) oriManifoldPrepareForFolding(om, triangulate, 0, &osm);
  }
  ~Folding() {
    oriSetMessageSink(nullptr, nullptr);
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  int step() {
    int frame = 0;
    oriFoldStep(osm, om, 0.5, "CG", &frame, nullptr, nullptr, nullptr);
    std::vector<std::pair<int, int>> pairs;
    return oriManifoldSelfIntersections(om, &pairs);
  }
};

}  // namespace

TEST(TrianglesCross, OnlyCrossingsDeeperAndLongerThanTheToleranceCount) {
  struct Case {
    const char* what;
    vector3d q[3];
    bool cross;
  } cases[] = {
      {"pierces the middle", {{0.25, -0.5, -0.5}, {0.25, 1, -0.5}, {0.25, 0.25, 0.5}}, true},
      {"an edge lies on it", {{0.25, 0.1, 0}, {0.25, 0.6, 0}, {0.25, 0.3, 0.5}}, false},
      {"a corner pokes through less than the tolerance", {{0.25, 0.3, -0.005}, {0.25, -0.2, 0.5}, {0.25, 0.8, 0.5}}, false},
      {"a corner pokes through more", {{0.25, 0.3, -0.05}, {0.25, -0.2, 0.5}, {0.25, 0.8, 0.5}}, true},
      {"coplanar and overlapping", {{0.2, 0.2, 0}, {1, 0.2, 0}, {0.2, 1, 0}}, false},
      {"nearly parallel, crossing within the tolerance", {{0, 0, -0.004}, {1, 0, 0.004}, {0, 1, 0}}, false},
      {"meets it along a segment shorter than the tolerance", {{0.25, 0.745, -0.5}, {0.25, 0.745, 0.5}, {0.25, 2, 0}}, false},
      {"meets it along a longer one", {{0.25, 0.7, -0.5}, {0.25, 0.7, 0.5}, {0.25, 2, 0}}, true},
  };
  ORI_triangle p, q;
  ASSERT_EQ(oriTrianglePrepare(&p, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}), 0);
  for (const Case& c : cases) {
    ASSERT_EQ(oriTrianglePrepare(&q, c.q[0], c.q[1], c.q[2]), 0) << c.what;
    EXPECT_EQ(oriTrianglesCross(p, q, 0.01), c.cross) << c.what;
    EXPECT_EQ(oriTrianglesCross(q, p, 0.01), c.cross) << c.what << ", taken the other way";
  }
  EXPECT_EQ(oriTrianglePrepare(&q, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}), -1);  // no area
}

TEST(BoxTree, FindsEveryOverlappingPairOnce) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> at(0, 10), size(0, 1.5);
  std::vector<ORI_box> boxes(600);
  for (ORI_box& b : boxes) {
    for (int k = 0; k < 3; ++k) b.hi[k] = (b.lo[k] = at(rng)) + size(rng);
  }
  boxes.insert(boxes.end(), 30, boxes[0]);  // one place on the curve, many boxes
  std::multiset<std::pair<int, int>> expected, found;
  for (int i = 0; i < static_cast<int>(boxes.size()); ++i) {
    for (int j = i + 1; j < static_cast<int>(boxes.size()); ++j) {
      bool meet = true;
      for (int k = 0; k < 3; ++k) meet = meet && boxes[i].lo[k] <= boxes[j].hi[k] && boxes[j].lo[k] <= boxes[i].hi[k];
      if (meet) expected.insert({i, j});
    }
  }
  ORI_boxTree tree;
  oriBoxTreeBuild(&tree, boxes.data(), static_cast<int>(boxes.size()));
  auto record = [&](int a, int b) { found.insert(std::minmax(tree.items[a], tree.items[b])); };
  oriBoxTreeOverlaps(&tree, [](void* c, int a, int b) { (*static_cast<decltype(record)*>(c))(a, b); }, &record);
  EXPECT_EQ(found, expected);
}

// Two flaps, hinged at x = -100 and x = 60 on a 400 square, fold the same way
// at the same pace towards each other. In the section across the hinges a
// flap meets the other's plane at distance t from its hinge with
// −2t·cos θ = w (w = 160 between the hinges), so the shorter flap (100)
// first touches the longer one when cos θ = −160 / 200.
TEST(SelfIntersection, FlapsFirstCollideWhereWorkedOutByHand) {
  const double contact = std::acos(-0.8);
  const std::vector<OriPatternLine> lines = {
      {-200, -200, -100, -200, 1}, {-100, -200, 60, -200, 1}, {60, -200, 200, -200, 1}, {200, -200, 200, 200, 1},
      {200, 200, 60, 200, 1},      {60, 200, -100, 200, 1},   {-100, 200, -200, 200, 1}, {-200, 200, -200, -200, 1},
      {-100, -200, -100, 200, 3},  {60, -200, 60, 200, 3}};
  for (int triangulate = 0; triangulate <= 1; ++triangulate) {
    Folding f([&] { return loadOpxText(opxText(lines)); }, triangulate);
    ASSERT_NE(f.osm, nullptr);
    const ORI_edge* a = findHalfEdge(f.om, -100, -200, -100, 200);
    const ORI_edge* b = findHalfEdge(f.om, 60, -200, 60, 200);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    int touched = 0, collided = 0;
    for (int k = 1; k <= 100 && collided == 0; ++k) {
      const int pairs = f.step();
      ASSERT_NEAR(std::fabs(a->angle), std::fabs(b->angle), 1e-12);
      if (touched == 0 && std::fabs(a->angle) >= contact) touched = k;
      if (pairs > 0) collided = k;
    }
    ASSERT_GT(touched, 0) << "the flaps never reach each other";
    EXPECT_TRUE(collided == touched || collided == touched + 1) << collided << " " << touched;
    // Both flaps are flagged, the middle panel (round the origin) is not.
    std::vector<unsigned char> flags;
    oriManifoldIntersectingFaces(f.om, &flags);
    EXPECT_FALSE(flags[oriManifoldSelectFace(f.om, 0.0, 0.0)->index]);
    EXPECT_TRUE(flags[oriManifoldSelectFace(f.om, -0.3, 0.01)->index]);
    EXPECT_TRUE(flags[oriManifoldSelectFace(f.om, 0.3, 0.01)->index]);
  }
}

// Also four creases of one fold type round a vertex, each folded by 2
// radians without the solver: the sheet tears and its four facets pass
// through each other, but all of them share the vertex. There the status
// figures are known too: the progress of every line, and the one vertex
// that fails to close, named by its own index (not its simulation's 0).
TEST(SelfIntersection, FarFoldedMiuraOriBirdBaseAndFacesRoundOneVertexReportNone) {
  Folding torn([] { return loadOpxText(opxText(degree4Vertex(2, 2, 2, 2))); }, 0);
  for (List* l = torn.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    e->angle = std::copysign(2.0, e->target_angle) * (e->target_angle != 0.0);
  }
  oriManifoldUpdate(torn.om, torn.om->center_face);
  std::vector<std::pair<int, int>> pairs;
  EXPECT_EQ(oriManifoldSelfIntersections(torn.om, &pairs), 0);
  EXPECT_NEAR(oriFoldProgress(torn.om), 100 * 2.0 / kOriTargetAngle, 1e-9);
  const ORI_vert* centre = findHalfEdge(torn.om, 0, 0, 200, 0)->pair->vert;
  int worst = -1;
  EXPECT_GT(oriFoldWorstVertex(torn.osm, torn.om, &worst), 0.1);
  ASSERT_NE(centre->index, 0);
  EXPECT_EQ(worst, centre->index);

  std::vector<std::string> paths = {std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx"};
  if (!patternsDir().empty()) paths.push_back(patternsDir() + "/cp/oriedita_birdbase.cp");
  for (const std::string& path : paths) {
    for (int triangulate = 0; triangulate <= 1; ++triangulate) {
      Folding f(
          [&] {
            ORI_manifold* om = oriManifoldNew();
            oriManifoldConstructFromFile(om, nullptr, path.c_str());
            return om;
          },
          triangulate);
      ASSERT_NE(f.osm, nullptr) << path;
      for (int k = 1; k <= 150; ++k) ASSERT_EQ(f.step(), 0) << path << " step " << k;
      EXPECT_GT(oriFoldProgress(f.om), 95.0) << path;  // folded nearly flat: layers stacked close
    }
  }
  if (patternsDir().empty()) GTEST_SKIP() << "the bird base is absent: ../shared/patterns is missing";
}

