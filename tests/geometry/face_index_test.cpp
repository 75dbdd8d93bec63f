// The face index must not change which face a lookup finds: the walk's face,
// or the first face in list order that holds the point, for points on
// vertices, on creases, inside faces, near the outline and off the paper.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "geometry/tessellate.h"
#include "input/pattern_gen.h"
#include "tests/support/fixtures.h"

namespace {

// Probe points: every vertex, every crease's midpoint and points a hair to
// each side of it, random points over and around the paper.
std::vector<std::pair<double, double>> probes(const ORI_manifold* om) {
  std::vector<std::pair<double, double>> out;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    out.push_back({v->pos.x, v->pos.y});
  }
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    const double mx = (e->x0 + e->x1) / 2, my = (e->y0 + e->y1) / 2;
    const double nx = -(e->y1 - e->y0) * 1e-7, ny = (e->x1 - e->x0) * 1e-7;
    out.push_back({mx, my});
    out.push_back({mx + nx, my + ny});
    out.push_back({mx - nx, my - ny});
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-0.8, 0.8);
  for (int k = 0; k < 500; ++k) out.push_back({u(rng), u(rng)});
  return out;
}

void expectSameFaces(ORI_manifold* om) {
  ORI_face_index* index = oriFaceIndexNew(om);
  int differ = 0;
  for (const auto& p : probes(om)) {
    if (oriManifoldSelectFaceIndexed(om, index, p.first, p.second) != oriManifoldSelectFace(om, p.first, p.second)) {
      if (++differ <= 3) ADD_FAILURE() << "at (" << p.first << ", " << p.second << ")";
    }
  }
  EXPECT_EQ(differ, 0);
  oriFaceIndexDelete(index);
}

}  // namespace

TEST(FaceIndex, FindsTheFacesOfTheWalkOnGeneratedPatterns) {
  // The zig-zag sides of a Miura-ori make an outline that is not convex, so
  // walks meet it with the point still on the paper.
  OriMiuraParams miura;
  miura.rows = 6;
  miura.cols = 7;
  miura.sector_deg = 55;
  OriWaterbombParams waterbomb;
  const std::vector<std::function<ORI_manifold*()>> makers = {
      [&] { return loadGeneratedMiura(miura); },
      [&] { return loadGeneratedWaterbomb(waterbomb); },
  };
  for (const auto& make : makers) {
    for (bool tri : {false, true}) {
      testing::internal::CaptureStdout();
      ORI_manifold* om = make();
      if (om != nullptr && tri) oriManifoldTessFace(om);
      testing::internal::GetCapturedStdout();
      ASSERT_NE(om, nullptr);
      expectSameFaces(om);
      oriManifoldDelete(om);
    }
  }
}

TEST(FaceIndex, FindsTheFacesOfTheWalkOnRealPatterns) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  int checked = 0;
  for (const std::string& path : files) {
    ORI_manifold* om = loadOpxFileQuietly(path);
    if (om == nullptr) continue;
    SCOPED_TRACE(path);
    expectSameFaces(om);
    oriManifoldDelete(om);
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

TEST(FaceIndex, PointsThatAreNotNumbersAndEmptyMeshes) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(miura2x2()));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  ORI_face_index* index = oriFaceIndexNew(om);
  const double nan = std::nan("");
  EXPECT_EQ(oriManifoldSelectFaceIndexed(om, index, nan, 0.0), oriManifoldSelectFace(om, nan, 0.0));
  EXPECT_EQ(oriManifoldSelectFaceIndexed(om, index, 1e300, -1e300), oriManifoldSelectFace(om, 1e300, -1e300));
  oriFaceIndexDelete(index);
  oriManifoldDelete(om);

  ORI_manifold* empty = oriManifoldNew();
  index = oriFaceIndexNew(empty);
  EXPECT_EQ(oriManifoldSelectFaceIndexed(empty, index, 0.0, 0.0), nullptr);
  oriFaceIndexDelete(index);
  oriManifoldDelete(empty);
}
