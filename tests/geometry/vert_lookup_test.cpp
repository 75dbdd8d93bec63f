// The indexed vertex lookup must answer what the scan of the table answers:
// the same vertex, made in the same order.
#include "geometry/vert_lookup.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/fixtures.h"

namespace {

// Feeds the points to both lookups and compares every answer.
void expectSameAnswers(const std::vector<vector3d>& points, double threshold) {
  std::vector<ORI_vert> scan(points.size() + 1, ORI_vert{}), indexed(points.size() + 1, ORI_vert{});
  ORI_vert_lookup* lookup = oriVertLookupNew(threshold);
  for (size_t i = 0; i < points.size(); ++i) {
    const vector3d& p = points[i];
    ORI_vert* a = oriAddVert(scan.data(), p.x, p.y, p.z, threshold);
    ORI_vert* b = oriAddVertIndexed(indexed.data(), lookup, p.x, p.y, p.z);
    ASSERT_EQ(a - scan.data(), b - indexed.data()) << "point " << i << " (" << p.x << ", " << p.y << ")";
    a->n_out = 1;
    b->n_out = 1;
  }
  oriVertLookupDelete(lookup);
}

}  // namespace

TEST(VertLookup, PointsAroundCellBordersAndBoxEdges) {
  std::vector<vector3d> points;
  const double t = 0.4;
  // Cell borders sit at multiples of 2t; box edges at ±t from each vertex.
  for (int i = -3; i <= 3; ++i) {
    for (double off : {-1e-12, 0.0, 1e-12, t - 1e-12, t, t + 1e-12, -t, 2 * t - 1e-9}) {
      points.push_back({i * 2 * t + off, 0.37 * i, 0});
      points.push_back({0.5 * i, i * 2 * t - off, 0});
      points.push_back({i * 2 * t + off, i * 2 * t - off, 0});
    }
  }
  expectSameAnswers(points, t);
  // Far away points share clamped cells and still match exactly.
  expectSameAnswers({{1e300, 1, 0}, {1e300, 1.1, 0}, {-1e300, 5, 0}, {1e12, 0, 0}, {1e12 + 0.3, 0, 0}}, t);
}

TEST(VertLookup, RealPatternVerticesWithJitter) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> jitter(-0.45, 0.45);
  for (const std::string& path : files) {
    ORI_manifold* om = loadOpxFileQuietly(path);
    if (om == nullptr) continue;
    SCOPED_TRACE(path);
    std::vector<vector3d> points;
    for (List* l = om->edges; l && l->data; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      const double x = e->x1 * om->paper_size, y = -e->y1 * om->paper_size;
      points.push_back({x, y, 0});
      points.push_back({x + jitter(rng), y + jitter(rng), 0});
    }
    expectSameAnswers(points, 0.4);
    oriManifoldDelete(om);
  }
}
