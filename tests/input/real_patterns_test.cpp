// Real crease patterns made by other people: every non-empty one builds a
// valid sheet whose flat OBJ reproduces the drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "files/obj_export.h"
#include "input/read_error.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"

namespace {

struct FileLine {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The line records of a file, read independently of the reader under test.
std::vector<FileLine> fileLines(const std::string& text) {
  std::vector<FileLine> out;
  size_t at = 0;
  const std::string open = "<object class=\"oripa.OriLineProxy\"";
  while ((at = text.find(open, at)) != std::string::npos) {
    const size_t end = text.find("</object>", at);
    if (end == std::string::npos) break;
    const std::string rec = text.substr(at, end - at);
    FileLine l;
    const char* names[4] = {"\"x0\"", "\"y0\"", "\"x1\"", "\"y1\""};
    double* fields[4] = {&l.x0, &l.y0, &l.x1, &l.y1};
    for (int k = 0; k < 4; ++k) {
      const size_t p = rec.find(names[k]);
      if (p == std::string::npos) continue;
      const size_t d = rec.find("<double>", p);
      if (d != std::string::npos) *fields[k] = std::strtod(rec.c_str() + d + 8, nullptr);
    }
    out.push_back(l);
    at = end;
  }
  return out;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

double distanceToSegment(double px, double py, const FileLine& l) {
  const double dx = l.x1 - l.x0, dy = l.y1 - l.y0;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - l.x0) * dx + (py - l.y0) * dy) / len2 : 0;
  t = std::max(0.0, std::min(1.0, t));
  return std::hypot(px - (l.x0 + t * dx), py - (l.y0 + t * dy));
}

}  // namespace

TEST(RealPatterns, EveryNonEmptyPatternBuildsAValidSheet) {
  const std::vector<std::string> files = realPatterns("opx", ".opx");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  for (const std::string& path : files) {
    const std::string text = slurp(path);
    if (text.empty()) continue;
    SCOPED_TRACE(path);
    testing::internal::CaptureStdout();
    int result = 0;
    ORI_manifold* om = loadOpxFile(path, &result);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_NE(om, nullptr) << oriReadError();
    char why[256];
    EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
    // A single sheet without holes: V − L + F = 1.
    EXPECT_EQ(om->n_vert - lineCount(om) + om->n_face, 1);
    const std::vector<FileLine> lines = fileLines(text);
    const bool cleaned = printed.find("dropped") != std::string::npos || printed.find("pruned") != std::string::npos ||
                         printed.find("split") != std::string::npos;
    if (!cleaned) {
      EXPECT_EQ(lineCount(om), static_cast<int>(lines.size()));
    }

    ASSERT_EQ(oriManifoldPrepare(om, 0), 0);
    char* buf = nullptr;
    size_t size = 0;
    FILE* fp = open_memstream(&buf, &size);
    ASSERT_EQ(oriManifoldSaveObj(om, fp), 0);
    std::fclose(fp);
    std::istringstream obj(std::string(buf, size));
    std::free(buf);
    std::string line;
    int vertices = 0;
    while (std::getline(obj, line)) {
      if (line.rfind("v ", 0) != 0) continue;
      double x, y, z;
      ASSERT_EQ(std::sscanf(line.c_str(), "v %lf %lf %lf", &x, &y, &z), 3);
      ++vertices;
      EXPECT_EQ(z, 0.0);
      // The flat OBJ is the drawing with y pointing the other way.
      double nearest = 1e300;
      for (const FileLine& l : lines) {
        if (!std::isfinite(l.x0 + l.x1 + l.y0 + l.y1)) continue;
        nearest = std::min(nearest, distanceToSegment(x, -y, l));
      }
      EXPECT_LT(nearest, 1e-4) << line;
    }
    EXPECT_EQ(vertices, om->n_vert);
    oriManifoldDelete(om);
  }
}

TEST(RealPatterns, EmptyFileFailsCleanly) {
  const std::string dir = patternsDir();
  if (dir.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  int result = 0;
  ORI_manifold* om = loadOpxFile(dir + "/opx/schamp_empty_zero_bytes.opx", &result);
  EXPECT_EQ(om, nullptr);
  EXPECT_NE(result, 0);
}
