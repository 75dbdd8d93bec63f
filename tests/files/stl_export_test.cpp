// The STL solid as a slicer reads it back: every edge of two triangles, all
// turning one way with their normals out, the flat sheet's volume its area
// times the thickness; and the sheets it refuses.
#include "files/stl_export.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "input/pattern_gen.h"
#include "geometry/tessellate.h"
#include "sim/fold_step.h"
#include "sim/sim_matrix.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

namespace {

struct Solid {
  std::vector<std::array<std::array<float, 3>, 3>> triangles;
  std::vector<std::array<float, 3>> normals;
};

Solid readBack(const ORI_manifold* om, double thickness) {
  FILE* fp = std::tmpfile();
  std::string why;
  EXPECT_EQ(oriStlSave(om, thickness, 0.001, fp, &why), 0) << why;
  std::rewind(fp);
  Solid s;
  unsigned char head[84];
  EXPECT_EQ(std::fread(head, 1, 84, fp), 84u);
  const uint32_t n = head[80] | head[81] << 8 | head[82] << 16 | static_cast<uint32_t>(head[83]) << 24;
  for (uint32_t t = 0; t < n; ++t) {
    unsigned char rec[50];
    if (std::fread(rec, 1, 50, fp) != 50) break;
    float v[12];
    std::memcpy(v, rec, 48);  // little-endian on the machines we build for
    s.normals.push_back({v[0], v[1], v[2]});
    s.triangles.push_back({{{v[3], v[4], v[5]}, {v[6], v[7], v[8]}, {v[9], v[10], v[11]}}});
  }
  EXPECT_EQ(std::fgetc(fp), EOF) << "bytes after the triangles";
  std::fclose(fp);
  EXPECT_EQ(s.triangles.size(), n);
  return s;
}

// Checks what a slicer needs, after welding corners at the same point; returns
// the enclosed volume (positive when the normals point out).
double checkClosed(const Solid& s, const char* what) {
  std::map<std::array<float, 3>, int> ids;
  std::map<std::pair<int, int>, int> directed;
  double volume = 0.0;
  for (size_t t = 0; t < s.triangles.size(); ++t) {
    const auto& tri = s.triangles[t];
    int id[3];
    for (int k = 0; k < 3; ++k) id[k] = ids.emplace(tri[k], static_cast<int>(ids.size())).first->second;
    for (int k = 0; k < 3; ++k) ++directed[{id[k], id[(k + 1) % 3]}];
    const auto &a = tri[0], &b = tri[1], &c = tri[2];
    volume += (a[0] * (double(b[1]) * c[2] - double(b[2]) * c[1]) - a[1] * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
               a[2] * (double(b[0]) * c[1] - double(b[1]) * c[0])) / 6.0;
    const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double v[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
    const double cr[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    EXPECT_GE(cr[0] * s.normals[t][0] + cr[1] * s.normals[t][1] + cr[2] * s.normals[t][2], 0.0)
        << what << ": triangle " << t << " has its normal against its turn";
  }
  int unmatched = 0, repeated = 0;
  for (const auto& e : directed) {
    repeated += e.second != 1;
    const auto back = directed.find({e.first.second, e.first.first});
    unmatched += back == directed.end() || back->second != 1;
  }
  // Each edge once each way: in exactly two triangles, turning alike.
  EXPECT_EQ(repeated, 0) << what;
  EXPECT_EQ(unmatched, 0) << what;
  EXPECT_GT(volume, 0.0) << what << ": the normals point in";
  return volume;
}

ORI_manifold* flapSheetPrepared() {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(flapSheet()));
  testing::internal::GetCapturedStdout();
  if (om != nullptr) oriManifoldPrepare(om, 0);
  return om;
}

}  // namespace

TEST(StlExport, FoldedSheetsAreClosedSolidsWithTheirNormalsOut) {
  ORI_manifold* om = flapSheetPrepared();  // a rectangle, a pentagon and a triangle: faces are cut too
  ASSERT_NE(om, nullptr);
  // Flat, the solid is the 400 × 400 sheet times its thickness (file units
  // of a millimetre).
  EXPECT_NEAR(checkClosed(readBack(om, 2.0), "flat"), 400.0 * 400.0 * 2.0, 1.0);
  foldFlapSheet(om);  // a valley of 1.1 and a mountain of -2.0 radians
  checkClosed(readBack(om, 2.0), "folded");
  oriManifoldDelete(om);

  // A Miura-ori folded by the solver, triangulated: inner vertices where
  // many faces meet, its creases folded partly and then nearly flat.
  testing::internal::CaptureStdout();
  ORI_manifold* m = loadGeneratedMiura(OriMiuraParams());
  if (m != nullptr) oriManifoldTessFace(m);
  if (m != nullptr) oriManifoldPrepare(m, 0);
  ORISIM_matrix* osm = m != nullptr ? oriFoldPrepareSim(m) : nullptr;
  testing::internal::GetCapturedStdout();
  ASSERT_NE(osm, nullptr);
  int frame_no = 0;
  for (const int steps : {3, 40}) {
    for (int k = 0; k < steps; ++k) oriFoldStep(osm, m, 0.5, "CG", &frame_no, nullptr, nullptr, nullptr);
    checkClosed(readBack(m, 4.0), steps == 3 ? "Miura-ori folded partly" : "Miura-ori folded nearly flat");
  }
  oriSimDelete(osm);
  oriManifoldDelete(m);
}

TEST(StlExport, SheetsWithoutFacesAndThicknessesOfNothingAreRefused) {
  ORI_manifold* empty = oriManifoldNew();
  std::string why;
  FILE* fp = std::tmpfile();
  EXPECT_EQ(oriStlSave(empty, 1.0, 0.001, fp, &why), -1);
  EXPECT_NE(why.find("no faces"), std::string::npos) << why;
  ORI_manifold* om = flapSheetPrepared();
  ASSERT_NE(om, nullptr);
  for (const double bad : {0.0, -1.0, static_cast<double>(NAN)}) {
    why.clear();
    EXPECT_EQ(oriStlSave(om, bad, 0.001, fp, &why), -1) << bad;
    EXPECT_FALSE(why.empty());
  }
  EXPECT_EQ(std::ftell(fp), 0) << "a refused solid wrote bytes";
  std::fclose(fp);
  oriManifoldDelete(om);
  oriManifoldDelete(empty);
}
