#include "input/dxf_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "input/read_error.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/fixtures.h"

namespace {

struct Read {
  int result = 0;
  std::string out;
  std::vector<Line> lines;
};

Read readDxf(const std::string& text) {
  Read r;
  CreasePattern* cp = readDxfText(text, &r.result, &r.out);
  r.lines = patternLines(cp);
  CreasePatternDestruct(cp);
  return r;
}

void expectLine(const Line& l, double x0, double y0, double x1, double y1, int type) {
  EXPECT_TRUE(std::fabs(l.x0 - x0) < 1e-9 && std::fabs(l.y0 - y0) < 1e-9 && std::fabs(l.x1 - x1) < 1e-9 &&
              std::fabs(l.y1 - y1) < 1e-9 && l.type == type)
      << "(" << l.x0 << ", " << l.y0 << ") - (" << l.x1 << ", " << l.y1 << ") type " << l.type;
}

TEST(DxfReader, LinesAreScaledToThePaperCentredAndYRunsDown) {
  const Read r = readDxf(dxfText({dxfLine(0, 0, 10, 0, 1)}));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.out, "numedge:1\nnumlist:1\n");
  ASSERT_EQ(r.lines.size(), 1u);
  expectLine(r.lines[0], -200, 0, 200, 0, 3);

  // Drawn upwards, it runs towards negative y; a 20 × 10 rectangle around
  // (30, 40) spans ±200 in x and ±100 in y.
  const Read up = readDxf(dxfText({dxfLine(0, 0, 0, 10, 5)}));
  ASSERT_EQ(up.lines.size(), 1u);
  expectLine(up.lines[0], 0, 200, 0, -200, 2);
  const Read rect = readDxf(dxfText({dxfPolyline({{20, 35}, {40, 35}, {40, 45}, {20, 45}}, 1, 3)}));
  ASSERT_EQ(rect.lines.size(), 4u);
  expectLine(rect.lines[1], 200, 100, 200, -100, 1);
  expectLine(rect.lines[3], -200, -100, -200, 100, 1);  // closing segment, back to the first vertex
}

TEST(DxfReader, ColoursGiveLineTypes) {
  const int cases[][2] = {{1, 3}, {10, 3}, {39, 3}, {5, 2},  {140, 2}, {199, 2}, {3, 1},   {60, 1},
                          {129, 1}, {2, 0}, {7, 0}, {40, 0}, {139, 0}, {250, 0}, {256, 0}};
  for (const auto& c : cases) EXPECT_EQ(dxfColorLineType(c[0]), c[1]) << "colour " << c[0];
  // The colour belongs to one entity: a LINE without group 62 after a red
  // one is colour by layer, type 0.
  const Read r = readDxf(dxfText({dxfLine(0, 0, 10, 0, 1), dxfLine(0, 1, 10, 1), dxfLine(0, 2, 10, 2, 150)}));
  ASSERT_EQ(r.lines.size(), 3u);
  EXPECT_EQ(r.lines[1].type, 0);
  EXPECT_EQ(r.lines[2].type, 2);
}

TEST(DxfReader, OnlyBitZeroClosesAPolyline) {
  const std::vector<std::pair<double, double>> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const int flags[4] = {0, 1, 2, 3};
  const size_t segments[4] = {3, 4, 3, 4};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(readDxf(dxfText({dxfPolyline(square, flags[k])})).lines.size(), segments[k]);
}

TEST(DxfReader, EntityInsideAPolylineEndsItAndIsReadItself) {
  // No SEQEND: the LINE after the vertices ends the (closed) polyline and is
  // read as a line of its own; the TEXT whose value is the word LINE is not.
  std::string poly = dxfPolyline({{0, 0}, {10, 0}, {10, 10}}, 1, 1);
  poly = poly.substr(0, poly.find("  0\nSEQEND"));
  const std::string text = "  0\nTEXT\n  1\nLINE\n 10\n1.0\n 20\n1.0\n";
  const Read r = readDxf(dxfText({poly, dxfLine(0, 20, 10, 20, 5), text}));
  ASSERT_EQ(r.lines.size(), 4u);
  EXPECT_EQ(r.lines[2].type, 3);  // closing segment
  EXPECT_EQ(r.lines[3].type, 2);  // the LINE
}

TEST(DxfReader, MissingOrUnreadableCoordinatesDropTheEntity) {
  const std::string no_end_y = "  0\nLINE\n 62\n1\n 10\n0.0\n 20\n0.0\n 11\n10.0\n";
  const std::string bad_x = "  0\nLINE\n 10\nabc\n 20\n0.0\n 11\n10.0\n 21\n0.0\n";
  const std::string nan_y = "  0\nLINE\n 10\n0.0\n 20\nnan\n 11\n10.0\n 21\n0.0\n";
  // The middle vertex loses its y: the polyline runs from the first to the third.
  std::string poly = dxfPolyline({{0, 0}, {5, 5}, {10, 0}}, 0, 1);
  poly.erase(poly.find(" 20\n5\n"), 6);
  const Read r = readDxf(dxfText({no_end_y, bad_x, nan_y, dxfLine(0, 0, 0, 10, 5), poly}));
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(r.lines.size(), 2u);
  expectLine(r.lines[1], -200, 200, 200, 200, 3);
  EXPECT_NE(r.out.find("numedge:2\nnumlist:2\ndropped 4 DXF entities"), std::string::npos) << r.out;
}

TEST(DxfReader, DrawingWithoutExtentFailsWithAReason) {
  for (const char* t : {"", "  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n", "  0\nLINE\n 10\n1.0\n"}) {
    const Read r = readDxf(t);
    EXPECT_NE(r.result, 0) << t;
    EXPECT_TRUE(r.lines.empty());
    EXPECT_NE(std::string(oriReadError()).find("no LINE or POLYLINE"), std::string::npos) << oriReadError();
  }
  // Segments of no length on one point: nothing to scale, no division by zero.
  const Read point = readDxf(dxfText({dxfLine(3, 4, 3, 4, 1), dxfLine(3, 4, 3, 4, 5)}));
  EXPECT_NE(point.result, 0);
  EXPECT_NE(std::string(oriReadError()).find("no extent"), std::string::npos) << oriReadError();
  ASSERT_EQ(point.lines.size(), 2u);
  EXPECT_TRUE(std::isfinite(point.lines[0].x0));
}

TEST(DxfReader, OverlongLinesAndCarriageReturnsKeepCodesAndValuesPaired) {
  std::string long_layer = dxfLine(0, 0, 10, 0, 1);
  long_layer.replace(long_layer.find("CreaseLayer"), 11, std::string(3000, 'L'));
  std::string text = dxfText({long_layer, dxfLine(0, 0, 0, 10, 5)});
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? "\r\n" : std::string(1, c);
  const Read r = readDxf(crlf);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[0].type, 3);
  EXPECT_EQ(r.lines[1].type, 2);
  EXPECT_EQ(readDxf("  0\nLINE\n 10\n0\n 20\n0\n 11\n10\n 21\n0").lines.size(), 1u);  // no final line end
}

TEST(DxfReader, OldEditorDrawingHasTheTypesOfItsXmlTwin) {
  // Old editors drew valleys red (1), mountains blue (5) and the cut
  // outline in colour 250, which reads as flat.
  const std::string dir = patternsDir();
  FILE* fp = dir.empty() ? nullptr : std::fopen((dir + "/dxf/schamp_isoarea_square_8.dxf").c_str(), "r");
  if (fp == nullptr) GTEST_SKIP() << "schamp_isoarea_square_8.dxf not in the shared patterns folder";
  CreasePattern* cp = CreasePatternNew();
  testing::internal::CaptureStdout();
  EXPECT_EQ(LineFromDxf(cp, fp), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "numedge:1083\nnumlist:1083\n");
  std::fclose(fp);
  int count[4] = {0, 0, 0, 0};
  double lo = 0, hi = 0;
  for (const Line& l : patternLines(cp)) {
    count[l.type]++;
    lo = std::fmin(lo, std::fmin(std::fmin(l.x0, l.x1), std::fmin(l.y0, l.y1)));
    hi = std::fmax(hi, std::fmax(std::fmax(l.x0, l.x1), std::fmax(l.y0, l.y1)));
  }
  CreasePatternDestruct(cp);
  EXPECT_EQ(count[0], 101);
  EXPECT_EQ(count[2], 489);
  EXPECT_EQ(count[3], 493);
  EXPECT_NEAR(lo, -200.0, 1e-9);
  EXPECT_NEAR(hi, 200.0, 1e-9);
}

}  // namespace
