// Faces passing through each other: the triangle test's tolerance cases, the
// box hierarchy against every pair, two flaps whose contact is worked out by
// hand, and folds that must report nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "geometry/box_tree.h"
#include "geometry/manifold.h"
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

void drop(void*, const char*, size_t) {}

// A pattern loaded and folded step by step, the loader's messages dropped.
struct Folding {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  Folding(const std::function<ORI_manifold*()>& load, int triangulate) {
    oriSetMessageSink(drop, nullptr);
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

ORI_manifold* loadFile(const std::string& path) {
  ORI_manifold* om = oriManifoldNew();
  if (oriManifoldConstructFromFile(om, nullptr, path.c_str()) == kOriOpenOk) return om;
  oriManifoldDelete(om);
  return nullptr;
}

}  // namespace

TEST(TrianglesCross, OnlyCrossingsDeeperAndLongerThanTheToleranceCount) {
  const double tol = 0.01;
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
      {"stacked just above, nearly parallel", {{0, 0, 0.002}, {1, 0, 0.003}, {0, 1, 0.001}}, false},
      {"nearly parallel, crossing within the tolerance", {{0, 0, -0.004}, {1, 0, 0.004}, {0, 1, 0}}, false},
      {"meets it along a segment shorter than the tolerance", {{0.25, 0.745, -0.5}, {0.25, 0.745, 0.5}, {0.25, 2, 0}}, false},
      {"meets it along a longer one", {{0.25, 0.7, -0.5}, {0.25, 0.7, 0.5}, {0.25, 2, 0}}, true},
  };
  ORI_triangle p, q;
  ASSERT_EQ(oriTrianglePrepare(&p, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}), 0);
  for (const Case& c : cases) {
    ASSERT_EQ(oriTrianglePrepare(&q, c.q[0], c.q[1], c.q[2]), 0) << c.what;
    EXPECT_EQ(oriTrianglesCross(p, q, tol), c.cross) << c.what;
    EXPECT_EQ(oriTrianglesCross(q, p, tol), c.cross) << c.what << ", taken the other way";
  }
  EXPECT_EQ(oriTrianglePrepare(&q, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}), -1);  // no area
  EXPECT_EQ(oriTrianglePrepare(&q, {0, 0, 0}, {1, 0, NAN}, {0, 1, 0}), -1);
}

TEST(BoxTree, FindsEveryOverlappingPairOnce) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> at(0, 10), size(0, 1.5);
  std::vector<ORI_box> boxes;
  for (int i = 0; i < 600; ++i) {
    ORI_box b;
    for (int k = 0; k < 3; ++k) {
      b.lo[k] = at(rng);
      b.hi[k] = b.lo[k] + size(rng);
    }
    boxes.push_back(b);
  }
  boxes.insert(boxes.end(), 30, boxes[0]);  // one place on the curve, many boxes
  std::set<std::pair<int, int>> expected, found;
  for (size_t i = 0; i < boxes.size(); ++i) {
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      bool meet = true;
      for (int k = 0; k < 3; ++k) meet = meet && boxes[i].lo[k] <= boxes[j].hi[k] && boxes[j].lo[k] <= boxes[i].hi[k];
      if (meet) expected.insert({static_cast<int>(i), static_cast<int>(j)});
    }
  }
  ORI_boxTree tree;
  oriBoxTreeBuild(&tree, boxes.data(), static_cast<int>(boxes.size()));
  int calls = 0;
  auto record = [&](int a, int b) {
    ++calls;
    a = tree.items[a];
    b = tree.items[b];
    found.insert({std::min(a, b), std::max(a, b)});
  };
  oriBoxTreeOverlaps(&tree, [](void* c, int a, int b) { (*static_cast<decltype(record)*>(c))(a, b); }, &record);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(calls, static_cast<int>(expected.size()));
}

// Two flaps, hinged at x = -100 and x = 60 on a 400 square, fold the same way
// at the same pace towards each other. In the section across the hinges the
// flap of length a meets the other's plane at distance t from its hinge with
// −2t·cos θ = w (w = 160 between the hinges), so the shorter flap (a = 100)
// first touches the longer one when cos θ = −w / 2a = −0.8.
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
    EXPECT_GE(collided, touched) << "triangulate " << triangulate;
    EXPECT_LE(collided, touched + 1) << "triangulate " << triangulate;
    // The faces flagged are the flaps' own, both of them.
    std::vector<unsigned char> flags;
    oriManifoldIntersectingFaces(f.om, &flags);
    bool left = false, right = false;
    int position = 0;
    for (const List* l = f.om->faces; l != nullptr && l->data != nullptr; l = l->next, ++position) {
      if (!flags[position]) continue;
      const double x = static_cast<const ORI_face*>(l->data)->first->x0 * 400;
      const double x_next = static_cast<const ORI_face*>(l->data)->first->x1 * 400;
      left = left || std::fmax(x, x_next) <= -100 + 1e-9;
      right = right || std::fmin(x, x_next) >= 60 - 1e-9;
      EXPECT_TRUE(std::fmax(x, x_next) <= -100 + 1e-9 || std::fmin(x, x_next) >= 60 - 1e-9) << "a middle face";
    }
    EXPECT_TRUE(left && right);
  }
}

TEST(SelfIntersection, FarFoldedMiuraOriAndBirdBaseReportNone) {
  std::vector<std::string> paths = {std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx"};
  if (!patternsDir().empty()) paths.push_back(patternsDir() + "/cp/oriedita_birdbase.cp");
  for (const std::string& path : paths) {
    for (int triangulate = 0; triangulate <= 1; ++triangulate) {
      Folding f([&] { return loadFile(path); }, triangulate);
      ASSERT_NE(f.osm, nullptr) << path;
      for (int k = 1; k <= 150; ++k) ASSERT_EQ(f.step(), 0) << path << " step " << k;
      EXPECT_GT(oriFoldProgress(f.om), 95.0) << path;  // folded nearly flat: layers stacked close
    }
  }
  if (patternsDir().empty()) GTEST_SKIP() << "the bird base is absent: ../shared/patterns is missing";
}

// Four creases of one fold type round a vertex, each folded by 2 radians
// without the solver: the sheet tears and its four facets pass through each
// other, but all of them share the vertex.
TEST(SelfIntersection, FacesRoundOneVertexAreNeighboursEvenWhenTheyCross) {
  Folding f([] { return loadOpxText(opxText(degree4Vertex(2, 2, 2, 2))); }, 0);
  ASSERT_NE(f.osm, nullptr);
  for (List* l = f.om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    e->angle = std::copysign(2.0, e->target_angle) * (e->target_angle != 0.0);
  }
  oriManifoldUpdate(f.om, f.om->center_face);
  std::vector<std::pair<int, int>> pairs;
  EXPECT_EQ(oriManifoldSelfIntersections(f.om, &pairs), 0);
}
