#include "input/dxf_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "input/line_list.h"
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
  EXPECT_NEAR(l.x0, x0, 1e-9);
  EXPECT_NEAR(l.y0, y0, 1e-9);
  EXPECT_NEAR(l.x1, x1, 1e-9);
  EXPECT_NEAR(l.y1, y1, 1e-9);
  EXPECT_EQ(l.type, type);
}

TEST(DxfReader, SingleLineIsScaledToThePaperAndCentred) {
  const Read r = readDxf(dxfText({dxfLine(0, 0, 10, 0, 1)}));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.out, "numedge:1\nnumlist:1\n");
  ASSERT_EQ(r.lines.size(), 1u);
  expectLine(r.lines[0], -200, 0, 200, 0, 3);
}

TEST(DxfReader, YRunsDownwardsAndTheLongerSideSpansThePaper) {
  // A segment drawn upwards runs towards negative y; a 20 × 10 rectangle
  // around (30, 40) spans ±200 in x and ±100 in y.
  const Read up = readDxf(dxfText({dxfLine(0, 0, 0, 10, 5)}));
  ASSERT_EQ(up.lines.size(), 1u);
  expectLine(up.lines[0], 0, 200, 0, -200, 2);

  const Read rect = readDxf(dxfText({dxfPolyline({{20, 35}, {40, 35}, {40, 45}, {20, 45}}, 1, 3)}));
  ASSERT_EQ(rect.lines.size(), 4u);
  expectLine(rect.lines[0], -200, 100, 200, 100, 1);
  expectLine(rect.lines[1], 200, 100, 200, -100, 1);
  expectLine(rect.lines[2], 200, -100, -200, -100, 1);
  expectLine(rect.lines[3], -200, -100, -200, 100, 1);
}

TEST(DxfReader, ColoursGiveLineTypes) {
  const int cases[][2] = {{1, 3},   {10, 3},  {25, 3},  {39, 3},   {5, 2},   {140, 2}, {150, 2},
                          {199, 2}, {3, 1},   {60, 1},  {100, 1},  {129, 1}, {2, 0},   {7, 0},
                          {9, 0},   {40, 0},  {130, 0}, {139, 0},  {200, 0}, {250, 0}, {256, 0}};
  for (const auto& c : cases) EXPECT_EQ(dxfColorLineType(c[0]), c[1]) << "colour " << c[0];

  // The colour belongs to one entity: a LINE without group 62 after a red
  // one is colour by layer, type 0.
  const Read r = readDxf(dxfText({dxfLine(0, 0, 10, 0, 1), dxfLine(0, 1, 10, 1), dxfLine(0, 2, 10, 2, 150),
                                  dxfLine(0, 3, 10, 3, 100), dxfLine(0, 4, 10, 4, 7)}));
  ASSERT_EQ(r.lines.size(), 5u);
  const int types[5] = {3, 0, 2, 1, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(r.lines[i].type, types[i]) << "line " << i;
}

TEST(DxfReader, ClosedPolylineGetsTheSegmentBackToItsFirstVertex) {
  const std::vector<std::pair<double, double>> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const Read closed = readDxf(dxfText({dxfPolyline(square, 1, 1)}));
  EXPECT_EQ(closed.out, "numedge:4\nnumlist:4\n");
  ASSERT_EQ(closed.lines.size(), 4u);
  expectLine(closed.lines[3], -200, -200, -200, 200, 3);  // (0, 10) back to (0, 0)

  const Read open = readDxf(dxfText({dxfPolyline(square, 0, 1)}));
  ASSERT_EQ(open.lines.size(), 3u);
  expectLine(open.lines[2], 200, -200, -200, -200, 3);

  // Only bit 0 of the flags closes; other bits do not.
  EXPECT_EQ(readDxf(dxfText({dxfPolyline(square, 3)})).lines.size(), 4u);
  EXPECT_EQ(readDxf(dxfText({dxfPolyline(square, 2)})).lines.size(), 3u);
}

TEST(DxfReader, EntitiesAroundPolylinesAndOtherEntitiesAreReadInOrder) {
  // A CIRCLE and a TEXT whose value is the word LINE are skipped; group
  // pairs stay in step with them.
  const std::string circle = "  0\nCIRCLE\n  8\n0\n 10\n5.0\n 20\n5.0\n 40\n3.0\n";
  const std::string text = "  0\nTEXT\n  8\n0\n  1\nLINE\n 10\n1.0\n 20\n1.0\n";
  const Read r = readDxf(dxfText({dxfLine(0, 0, 10, 0, 1), circle, dxfPolyline({{0, 5}, {10, 5}}, 0, 5), text,
                                  dxfLine(0, 10, 10, 10, 3)}));
  ASSERT_EQ(r.lines.size(), 3u);
  EXPECT_EQ(r.lines[0].type, 3);
  EXPECT_EQ(r.lines[1].type, 2);
  EXPECT_EQ(r.lines[2].type, 1);
}

TEST(DxfReader, EntityInsideAPolylineEndsItAndIsReadItself) {
  // No SEQEND: the LINE after the vertices ends the polyline (closed, so it
  // gets its closing segment) and is read as a line of its own.
  std::string poly = dxfPolyline({{0, 0}, {10, 0}, {10, 10}}, 1, 1);
  poly = poly.substr(0, poly.find("  0\nSEQEND"));
  const Read r = readDxf(dxfText({poly, dxfLine(0, 20, 10, 20, 5)}));
  ASSERT_EQ(r.lines.size(), 4u);
  EXPECT_EQ(r.lines[2].type, 3);  // closing segment
  EXPECT_EQ(r.lines[3].type, 2);  // the LINE
}

TEST(DxfReader, MissingOrUnreadableCoordinatesDropTheEntity) {
  const std::string no_end_y = "  0\nLINE\n 62\n1\n 10\n0.0\n 20\n0.0\n 11\n10.0\n";
  const std::string bad_x = "  0\nLINE\n 10\nabc\n 20\n0.0\n 11\n10.0\n 21\n0.0\n";
  const std::string nan_y = "  0\nLINE\n 10\n0.0\n 20\nnan\n 11\n10.0\n 21\n0.0\n";
  std::string poly = dxfPolyline({{0, 0}, {5, 5}, {10, 0}}, 0, 1);
  // The middle vertex loses its y: the polyline runs from the first to the third.
  const size_t at = poly.find(" 20\n5\n");
  ASSERT_NE(at, std::string::npos);
  poly.erase(at, 6);
  const Read r = readDxf(dxfText({no_end_y, bad_x, nan_y, dxfLine(0, 0, 0, 10, 5), poly}));
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[0].type, 2);
  EXPECT_EQ(r.lines[1].type, 3);
  expectLine(r.lines[1], -200, 200, 200, 200, 3);
  EXPECT_NE(r.out.find("numedge:2\nnumlist:2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("dropped 4 DXF entities"), std::string::npos) << r.out;
}

TEST(DxfReader, DrawingWithoutExtentFailsWithAReason) {
  const char* texts[] = {
      "",                                                  // empty file
      "  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n",  // no entities
      "  0\nLINE\n 10\n1.0\n",                             // ends inside the only LINE
  };
  for (const char* t : texts) {
    const Read r = readDxf(t);
    EXPECT_NE(r.result, 0) << t;
    EXPECT_TRUE(r.lines.empty());
    EXPECT_NE(std::string(oriReadError()).find("no LINE or POLYLINE"), std::string::npos) << oriReadError();
    EXPECT_EQ(r.out.rfind("numedge:0\nnumlist:0\n", 0), 0u) << r.out;
  }
  // Segments of no length on one point: nothing to scale, no division by zero.
  const Read point = readDxf(dxfText({dxfLine(3, 4, 3, 4, 1), dxfLine(3, 4, 3, 4, 5)}));
  EXPECT_NE(point.result, 0);
  EXPECT_NE(std::string(oriReadError()).find("no extent"), std::string::npos) << oriReadError();
  ASSERT_EQ(point.lines.size(), 2u);
  EXPECT_TRUE(std::isfinite(point.lines[0].x0));
}

TEST(DxfReader, CarriageReturnsTabsLongLinesAndAMissingFinalNewline) {
  std::string text = dxfText({dxfLine(0, 0, 10, 0, 1), dxfLine(0, 0, 0, 10, 5)});
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c == ' ' ? '\t' : c);
  EXPECT_EQ(readDxf(crlf).lines.size(), 2u);

  // A layer name longer than the line buffer does not shift codes and values.
  std::string long_layer = dxfLine(0, 0, 10, 0, 1);
  long_layer.replace(long_layer.find("CreaseLayer"), 11, std::string(3000, 'L'));
  const Read r = readDxf(dxfText({long_layer, dxfLine(0, 0, 0, 10, 5)}));
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[0].type, 3);
  EXPECT_EQ(r.lines[1].type, 2);

  std::string last = "  0\nLINE\n 10\n0\n 20\n0\n 11\n10\n 21\n0";  // no final line end
  EXPECT_EQ(readDxf(last).lines.size(), 1u);
}

TEST(DxfReader, RealDrawingKeepsItsLinesAndTypes) {
  const std::vector<std::string> files = realPatterns("dxf", ".dxf");
  if (files.empty()) GTEST_SKIP() << "no real DXF patterns (shared patterns folder absent)";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    FILE* fp = std::fopen(path.c_str(), "r");
    ASSERT_NE(fp, nullptr);
    CreasePattern* cp = CreasePatternNew();
    testing::internal::CaptureStdout();
    EXPECT_EQ(LineFromDxf(cp, fp), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    std::fclose(fp);
    const std::vector<Line> lines = patternLines(cp);
    CreasePatternDestruct(cp);
    ASSERT_FALSE(lines.empty());
    const std::string counts = "numedge:" + std::to_string(lines.size()) + "\nnumlist:" +
                               std::to_string(lines.size()) + "\n";
    EXPECT_EQ(out, counts);
    double lo_x = 1e9, hi_x = -1e9, lo_y = 1e9, hi_y = -1e9;
    for (const Line& l : lines) {
      lo_x = std::fmin(lo_x, std::fmin(l.x0, l.x1));
      hi_x = std::fmax(hi_x, std::fmax(l.x0, l.x1));
      lo_y = std::fmin(lo_y, std::fmin(l.y0, l.y1));
      hi_y = std::fmax(hi_y, std::fmax(l.y0, l.y1));
    }
    EXPECT_NEAR(std::fmax(hi_x - lo_x, hi_y - lo_y), 400.0, 1e-9);
    EXPECT_NEAR(lo_x + hi_x, 0.0, 1e-9);
    EXPECT_NEAR(lo_y + hi_y, 0.0, 1e-9);
  }
}

TEST(DxfReader, OldEditorDrawingHasItsFoldTypes) {
  // Old editors wrote valleys red (1), mountains blue (5) and the cut
  // outline in colour 250: the types of the twin XML file come back, the
  // outline flat.
  const std::vector<std::string> files = realPatterns("dxf", ".dxf");
  std::string path;
  for (const std::string& f : files) {
    if (f.find("schamp_isoarea_square_8.dxf") != std::string::npos) path = f;
  }
  if (path.empty()) GTEST_SKIP() << "schamp_isoarea_square_8.dxf not in the shared patterns folder";
  FILE* fp = std::fopen(path.c_str(), "r");
  ASSERT_NE(fp, nullptr);
  CreasePattern* cp = CreasePatternNew();
  testing::internal::CaptureStdout();
  LineFromDxf(cp, fp);
  testing::internal::GetCapturedStdout();
  std::fclose(fp);
  int count[4] = {0, 0, 0, 0};
  for (const Line& l : patternLines(cp)) count[l.type]++;
  CreasePatternDestruct(cp);
  EXPECT_EQ(count[0], 101);
  EXPECT_EQ(count[1], 0);
  EXPECT_EQ(count[2], 489);
  EXPECT_EQ(count[3], 493);
}

}  // namespace
