#include "files/obj_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/tessellate.h"
#include "input/construct.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"

namespace {

std::string saveObj(ORI_manifold* om) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* fp = open_memstream(&buf, &size);
  EXPECT_EQ(oriManifoldSaveObj(om, fp), 0);
  std::fclose(fp);
  std::string out(buf, size);
  std::free(buf);
  return out;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

ORI_manifold* prepared(const std::vector<OriPatternLine>& lines) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(lines));
  testing::internal::GetCapturedStdout();
  if (om != nullptr) oriManifoldPrepare(om, 0);
  return om;
}

}  // namespace

TEST(ObjExport, FacesAreWrittenInBothWindingsFromTheSameCorner) {
  ORI_manifold* om = prepared(degree4Vertex(2, 2, 3, 2));
  ASSERT_NE(om, nullptr);
  const std::string obj = saveObj(om);
  EXPECT_EQ(obj.rfind("# Result of Plicata\n", 0), 0u);
  const auto faces = linesStartingWith(obj, "f ");
  ASSERT_EQ(faces.size(), 8u);
  EXPECT_NE(obj.find("# 8 faces\n"), std::string::npos);
  EXPECT_NE(obj.find("# 9 vertices\nvt "), std::string::npos);
  for (size_t k = 0; k < 4; ++k) {
    std::istringstream a(faces[k].substr(2)), b(faces[k + 4].substr(2));
    std::vector<std::string> fa, fb;
    std::string w;
    while (a >> w) fa.push_back(w);
    while (b >> w) fb.push_back(w);
    ASSERT_EQ(fa.size(), fb.size());
    EXPECT_EQ(fa[0], fb[0]);
    for (size_t i = 1; i < fa.size(); ++i) EXPECT_EQ(fa[i], fb[fa.size() - i]);
    for (const auto& ref : fa) {
      const size_t slash = ref.find('/');
      EXPECT_EQ(ref.substr(0, slash), ref.substr(slash + 1));
    }
  }
  for (List* l = om->edges; l && l->data; l = l->next) EXPECT_EQ(static_cast<ORI_edge*>(l->data)->visited, 0);
  oriManifoldDelete(om);
}

TEST(ObjExport, CreaseLinesCarryKindAndWholeDegrees) {
  ORI_manifold* om = prepared(degree4Vertex(2, 2, 3, 2));
  ASSERT_NE(om, nullptr);
  // Bend creases by hand (the file records what the mesh holds).
  for (List* l = om->edges; l && l->data; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->target_angle < 0) e->angle = -M_PI / 2;
    if (e->target_angle > 0) e->angle = kOriTargetAngle;
  }
  const auto creases = linesStartingWith(saveObj(om), "#e ");
  ASSERT_EQ(creases.size(), 12u);  // every line once
  int outline = 0, up = 0, down = 0;
  for (const auto& c : creases) {
    int a, b, kind, deg;
    ASSERT_EQ(std::sscanf(c.c_str(), "#e %d %d %d %d", &a, &b, &kind, &deg), 4);
    if (kind == 1) {
      ++outline;
      EXPECT_EQ(deg, 0);
    }
    if (kind == 2) {
      ++up;
      EXPECT_EQ(deg, 90);
    }
    if (kind == 3) {
      ++down;
      EXPECT_EQ(deg, 179);
    }
  }
  EXPECT_EQ(outline, 8);
  EXPECT_EQ(up, 3);
  EXPECT_EQ(down, 1);
  oriManifoldDelete(om);
}

TEST(ObjExport, DiagonalsAreFlatLinesAndVerticesScaleByThePaper) {
  ORI_manifold* om = prepared(squareLines());
  ASSERT_NE(om, nullptr);
  ORI_face* f = om->center_face;
  ORI_edge* d = oriManifoldAddLineFace(f->first, f->first->next->next, om);
  ASSERT_NE(d, nullptr);
  oriManifoldIndex(om);
  // A vertex at (0.25, −0.5, 0) with the identity display matrix.
  ORI_vert* v = static_cast<ORI_vert*>(om->verts->data);
  v->pos = {0.25, -0.5, 0};
  const std::string obj = saveObj(om);
  EXPECT_EQ(linesStartingWith(obj, "v ")[0], "v 100.000000 -200.000000 0.000000");
  const auto creases = linesStartingWith(obj, "#e ");
  ASSERT_EQ(creases.size(), 5u);
  EXPECT_EQ(creases.back().substr(creases.back().size() - 4), " 0 0");
  const auto tex = linesStartingWith(obj, "vt ");
  ASSERT_EQ(tex.size(), 4u);
  EXPECT_EQ(tex[0], "vt 0.000000 1.000000");  // corner (−0.5, 0.5) of the CP plane
  oriManifoldDelete(om);
}

TEST(ObjExport, EmptyMeshWritesZeroCountsAndNullStreamFails) {
  ORI_manifold* om = oriManifoldNew();
  EXPECT_EQ(saveObj(om), "# Result of Plicata\n# 0 vertices\n# 0 texture vertices\n# 0 faces\n");
  EXPECT_NE(oriManifoldSaveObj(om, nullptr), 0);
  oriManifoldDelete(om);
}
