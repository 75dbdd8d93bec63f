#include "input/cp_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "input/line_chop.h"
#include "input/line_list.h"
#include "input/read_error.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/fixtures.h"
#include "tests/support/interop_fixtures.h"

namespace {

// The ".cp" text of lines, one "type x0 y0 x1 y1" a line.
std::string cpText(const std::vector<OriPatternLine>& lines) {
  std::string s;
  char buf[160];
  for (const OriPatternLine& l : lines) {
    std::snprintf(buf, sizeof buf, "%d %.17g %.17g %.17g %.17g\n", l.type, l.x0, l.y0, l.x1, l.y1);
    s += buf;
  }
  return s;
}

}  // namespace

TEST(CpReader, TypesKeepTheirXmlMeaningAndOtherValuesAreFlat) {
  EXPECT_EQ(cpLineType(1), 1);
  EXPECT_EQ(cpLineType(2), 2);
  EXPECT_EQ(cpLineType(3), 3);
  for (double t : {0.0, 4.0, 9.0, -2.0, 2.5}) EXPECT_EQ(cpLineType(t), 0) << t;
}

TEST(CpReader, BuildsTheSameMeshAsTheXmlFileOfTheSameLines) {
  for (const auto& lines : {degree4Vertex(2, 2, 3, 2), miura2x2(), squareWithDiagonal(3)}) {
    ORI_manifold* from_cp = loadPatternText(cpText(lines), "pattern.cp");
    testing::internal::CaptureStdout();
    ORI_manifold* from_xml = loadOpxText(opxText(lines));
    testing::internal::GetCapturedStdout();
    ASSERT_NE(from_cp, nullptr) << oriReadError();
    expectSoundSheet(from_cp);
    expectSameSheet(from_cp, from_xml);
    oriManifoldDelete(from_cp);
    oriManifoldDelete(from_xml);
  }
}

TEST(CpReader, SkipsLinesThatAreNotFiveNumbersInOneMessage) {
  const std::string text =
      "1 -200.0 -200.0 200.0 -200.0\r\n"  // CRLF, like a file edited elsewhere
      "   \t\n"                           // blank: passed over silently
      "2 3 4\n"
      "3 -0.0 2.4492935982947067E-14 1.5e2 -200.0\n"
      "header text\n"
      "1 0 0 1 1 1\n"
      "2 nan 0 1 1\n"
      "2 0 0 inf 1\n"
      "1 200.0 -200.0 200.0 200.0";  // no final newline
  int result = -1;
  std::string printed;
  CreasePattern* cp = readLinesQuietly(LineFromCp, text, &result, &printed);
  ASSERT_EQ(result, 0) << oriReadError();
  EXPECT_NE(printed.find("skipped 5 lines that are not five numbers (the first is line 3)"), std::string::npos)
      << printed;
  const std::vector<Line> lines = patternLines(cp);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].type, 1);
  EXPECT_EQ(lines[1].type, 3);
  EXPECT_EQ(lines[2].type, 1);
  // The drawing spans 400 × 400 around the origin already: kept as it is,
  // y not negated (it runs down, as in the XML file).
  EXPECT_DOUBLE_EQ(lines[0].x0, -200.0);
  EXPECT_DOUBLE_EQ(lines[0].y0, -200.0);
  EXPECT_DOUBLE_EQ(lines[1].x1, 150.0);
  EXPECT_DOUBLE_EQ(lines[2].y1, 200.0);
  CreasePatternDestruct(cp);
}

TEST(CpReader, AVeryLongLineIsSkippedWithoutLosingTheNext) {
  const std::string text = "1 0 0 " + std::string(5000, '1') + " 0\n1 0 0 0 100\n1 0 100 100 100\n";
  int result = -1;
  std::string printed;
  CreasePattern* cp = readLinesQuietly(LineFromCp, text, &result, &printed);
  ASSERT_EQ(result, 0) << oriReadError();
  EXPECT_EQ(patternLines(cp).size(), 2u);
  EXPECT_NE(printed.find("skipped 1 line that is not five numbers (the first is line 1)"), std::string::npos)
      << printed;
  CreasePatternDestruct(cp);
}

TEST(CpReader, RefusesFilesWithoutSegmentsToFit) {
  const std::map<std::string, std::string> cases = {
      {"", "no line of the file is a segment"},
      {std::string("1 0 0 1 1\0 junk\n", 16), "no line of the file is a segment"},
      {"oriedita 1.0\n\n", "no line of the file is a segment"},
      {"2 5 5 5 5\n3 5 5 5 5\n", "no extent"},
  };
  for (const auto& c : cases) {
    int result = 0;
    CreasePattern* cp = readLinesQuietly(LineFromCp, c.first, &result);
    EXPECT_NE(result, 0) << c.first;
    EXPECT_EQ(cp->lines->data, nullptr);
    EXPECT_NE(std::string(oriReadError()).find(c.second), std::string::npos) << oriReadError();
    CreasePatternDestruct(cp);
  }
}

TEST(CpReader, RealFilesBuildTheirSheetOrAreRefusedWithTheReason) {
  const std::vector<std::string> files = realPatterns("cp", ".cp");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const std::string text = slurpFile(path);
    ORI_manifold* om = loadPatternText(text, path);
    if (path.find("oriedita_faceless.cp") != std::string::npos) {
      // An open outline of three sides and one crease: nothing closes.
      EXPECT_EQ(om, nullptr);
      EXPECT_NE(std::string(oriReadError()).find("no line is left that closes a face"), std::string::npos)
          << oriReadError();
      continue;
    }
    ASSERT_NE(om, nullptr) << oriReadError();
    expectSoundSheet(om);
    // Every segment of these files is a whole line of the sheet: the fold
    // lines of each type come through one for one.
    int twos = 0, threes = 0;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
      twos += text.compare(at, 2, "2 ") == 0;
      threes += text.compare(at, 2, "3 ") == 0;
      if (text.find('\n', at) == std::string::npos) break;
    }
    EXPECT_EQ(negativeFoldLines(om), twos);  // mountains
    EXPECT_EQ(positiveFoldLines(om), threes);
    oriManifoldDelete(om);
  }
}

// Found by fuzzing: one line 1e16 times longer than the others shrinks them
// to a heap of specks around one point that cut each other's pieces again
// and again; the chopping stopped only when memory ran out. Such specks are
// now dropped before the chopping, and the chopping itself stops at its
// bound on splits.
TEST(CpReader, ALineFarLongerThanTheRestDoesNotMakeTheChoppingRunAway) {
  const std::string text =
      "2 0 6 2 45555555555555555\n8 3 0 5 8\n2 3 3 0 6\n93 3 3 0 8\n2 3 3 1 1\n1 3 0 0 8\n"
      "2 3 3 0 6\n0 1 3 1 8\n1 3 0 0 8\n2 3 3 0 6\n93 3 3 0 8\n2 3 1 0 6\n";
  int result = 0;
  std::string printed;
  ORI_manifold* om = loadPatternText(text, "far.cp", &result, &printed);
  EXPECT_EQ(om, nullptr);
  EXPECT_NE(printed.find("dropped 11 lines of no length"), std::string::npos) << printed;
  oriManifoldDelete(om);

  CreasePattern* cp = readLinesQuietly(LineFromCp, text, &result);
  ASSERT_EQ(result, 0);
  // Straight into the chopping: its copies are dropped first and the rest
  // either settles or stops at the bound with a reason; it never runs away.
  oriClearReadError();
  testing::internal::CaptureStdout();
  const int chopped = LineChop(cp);
  testing::internal::GetCapturedStdout();
  if (chopped != 0) {
    EXPECT_NE(std::string(oriReadError()).find("does not settle"), std::string::npos) << oriReadError();
  }
  CreasePatternDestruct(cp);
}
