#include "input/svg_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "input/read_error.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/fixtures.h"
#include "tests/support/interop_fixtures.h"

namespace {

// An SVG document around body. The drawings below all span the box from
// (0, 0) to (100, 100), so that the fit to the paper maps (x, y) to
// ((x - 50) · 4, (y - 50) · 4).
std::string svg(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
         "width=\"100px\" height=\"100px\">\r\n" +
         body + "\r\n</svg>\r\n";
}

// A black frame around the box, so that every drawing spans it.
const char kFrame[] = "<rect x=\"0\" y=\"0\" width=\"100\" height=\"100\" stroke=\"black\" fill=\"none\"/>";

struct Segment {
  double x0, y0, x1, y1;
  int type;
};

// The lines read from text, mapped back to drawing units, without the frame.
std::vector<Segment> drawn(const std::string& text, int* result = nullptr) {
  int r = -1;
  CreasePattern* cp = readLinesQuietly(LineFromSvg, text, &r);
  if (result != nullptr) *result = r;
  EXPECT_TRUE(r == 0 || result != nullptr) << oriReadError();
  std::vector<Segment> out;
  const std::vector<Line> lines = patternLines(cp);
  for (size_t k = 0; k < lines.size(); ++k) {
    const Line& l = lines[k];
    if (k < 4 && text.find(kFrame) != std::string::npos) continue;
    auto back = [](double v) { return std::round((v / 4 + 50) * 1e6) / 1e6; };
    out.push_back({back(l.x0), back(l.y0), back(l.x1), back(l.y1), l.type});
  }
  CreasePatternDestruct(cp);
  return out;
}

void expectSegments(const std::vector<Segment>& got, const std::vector<Segment>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < want.size(); ++k) {
    EXPECT_NEAR(got[k].x0, want[k].x0, 1e-6) << "segment " << k;
    EXPECT_NEAR(got[k].y0, want[k].y0, 1e-6) << "segment " << k;
    EXPECT_NEAR(got[k].x1, want[k].x1, 1e-6) << "segment " << k;
    EXPECT_NEAR(got[k].y1, want[k].y1, 1e-6) << "segment " << k;
    EXPECT_EQ(got[k].type, want[k].type) << "segment " << k;
  }
}

}  // namespace

TEST(SvgReader, StrokeColoursGiveTheLineTypes) {
  const std::map<std::string, int> cases = {
      {"#FF0000", 2}, {"#f00", 2},    {"red", 2},          {"rgb(255, 0, 0)", 2},  {"#c00000", 2},      {"crimson", 2},
      {" RED ", 2},   {"#0000FF", 3}, {"blue", 3},         {"rgb(0%,0%,100%)", 3}, {"navy", 3},         {"#000000", 1},
      {"black", 1},   {"grey", 1},    {"#999", 1},         {"#ffffff", 0},         {"white", 0},        {"#00ff00", 0},
      {"magenta", 0}, {"yellow", 0},  {"pink", 0},         {"url(#grad)", 0},      {"currentColor", 0}, {"#12345", 0},
      {"none", -1},   {"", -1},       {"transparent", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(svgStrokeLineType(c.first.c_str()), c.second) << '"' << c.first << '"';
  EXPECT_EQ(svgStrokeLineType(nullptr), -1);
}

TEST(SvgReader, PathsOfStraightSegmentsAbsoluteAndRelative) {
  // Illustrator writes numbers back to back ("10-5", ".5.5"); subpaths
  // follow each other in one d; pairs after a moveto are linetos; Z closes.
  const std::string body = std::string(kFrame) +
                           "<path stroke=\"#FF0000\" d=\"M10,10L20,10 l0-5 H30 h5 V0 v5 M40 40 50 40 60,50z\"/>"
                           "<path stroke=\"blue\" d=\"m 10 60 l.5.5 10e0 0 Z M 70 70\"/>";
  expectSegments(drawn(svg(body)), {
                                       {10, 10, 20, 10, 2},
                                       {20, 10, 20, 5, 2},
                                       {20, 5, 30, 5, 2},
                                       {30, 5, 35, 5, 2},
                                       {35, 5, 35, 0, 2},
                                       {35, 0, 35, 5, 2},
                                       {40, 40, 50, 40, 2},
                                       {50, 40, 60, 50, 2},
                                       {60, 50, 40, 40, 2},
                                       {10, 60, 10.5, 60.5, 3},
                                       {10.5, 60.5, 20.5, 60.5, 3},
                                       {20.5, 60.5, 10, 60, 3},
                                   });
}

TEST(SvgReader, LinesRectsPolylinesAndPolygons) {
  const std::string body =
      "<line x1=\"0\" y1=\"0\" x2=\"100px\" y2=\"100\" stroke=\"red\"/>"
      "<rect x=\"10\" y=\"20\" width=\"30\" height=\"40\" stroke=\"grey\"/>"
      "<rect x=\"10\" y=\"20\" width=\"0\" height=\"40\" stroke=\"grey\"/>"
      "<polyline points=\"0,100 10,90 20,100 30\" stroke=\"blue\"/>"
      "<polygon points=\"50 50, 60 50, 60 60\" stroke=\"#0f0\"/>";
  expectSegments(drawn(svg(body)), {
                                       {0, 0, 100, 100, 2},
                                       {10, 20, 40, 20, 1},
                                       {40, 20, 40, 60, 1},
                                       {40, 60, 10, 60, 1},
                                       {10, 60, 10, 20, 1},
                                       {0, 100, 10, 90, 3},
                                       {10, 90, 20, 100, 3},
                                       {50, 50, 60, 50, 0},
                                       {60, 50, 60, 60, 0},
                                       {60, 60, 50, 50, 0},
                                   });
}

TEST(SvgReader, TransformsOfTheElementAndItsGroupsApply) {
  // The group moves by (50, 0) and halves; the line turns 90 degrees about
  // its own start first: (0, 0)-(20, 0) becomes (0, 0)-(0, 20), then
  // (50, 0)-(50, 10). The matrix line is scaled by 2 and moved by (10, 20).
  const std::string body =
      std::string(kFrame) +
      "<g transform=\"translate(50) scale(.5)\">"
      "<line x1=\"0\" y1=\"0\" x2=\"20\" y2=\"0\" transform=\"rotate(90)\" stroke=\"red\"/>"
      "<g transform=\"rotate(90, 10, 10)\"><line x1=\"10\" y1=\"10\" x2=\"20\" y2=\"10\" stroke=\"red\"/></g>"
      "</g>"
      "<line x1=\"1\" y1=\"2\" x2=\"3\" y2=\"4\" transform=\"matrix(2 0 0 2 10 20)\" stroke=\"red\"/>"
      "<line x1=\"0\" y1=\"0\" x2=\"10\" y2=\"0\" transform=\"translate(0,70) skewY(45)\" stroke=\"red\"/>";
  expectSegments(drawn(svg(body)), {
                                       {50, 0, 50, 10, 2},
                                       {55, 5, 55, 10, 2},
                                       {12, 24, 16, 28, 2},
                                       {0, 70, 10, 80, 2},
                                   });
}

TEST(SvgReader, StrokeFromStyleClassesAndGroupsWithTheirPrecedence) {
  const std::string body =
      std::string(kFrame) +
      "<defs><style type=\"text/css\"><![CDATA[ /* crease styles */ .st0{fill:none;stroke:#FF0000;}"
      " .st1, .st2 { stroke: #0000FF } @media print { .st0 { stroke: black } } ]]></style></defs>"
      "<g stroke=\"blue\"><line x1=\"0\" y1=\"0\" x2=\"10\" y2=\"0\"/>"
      "<line x1=\"0\" y1=\"0\" x2=\"10\" y2=\"10\" stroke=\"red\"/>"
      "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"10\" style=\"stroke:red\" stroke=\"black\"/>"
      "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"20\" stroke=\"inherit\"/></g>"
      "<line class=\"big st0\" x1=\"0\" y1=\"0\" x2=\"20\" y2=\"20\"/>"
      "<line class=\"st2\" x1=\"0\" y1=\"0\" x2=\"30\" y2=\"30\" style=\"stroke:black\"/>"
      "<line class=\"st1\" x1=\"0\" y1=\"0\" x2=\"40\" y2=\"40\" stroke=\"red\"/>";
  const std::vector<Segment> got = drawn(svg(body));
  ASSERT_EQ(got.size(), 7u);
  const int want[7] = {3, 2, 2, 3, 2, 1, 3};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(got[k].type, want[k]) << "line " << k;
}

TEST(SvgReader, WhatIsNotDrawnGivesNoLines) {
  const std::string body =
      std::string(kFrame) +
      "<!-- <line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\" stroke=\"red\"/> -->"
      "<defs><line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\" stroke=\"red\"/></defs>"
      "<line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\"/>"
      "<line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\" stroke=\"none\"/>"
      "<g style=\"display:none\"><line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\" stroke=\"red\"/></g>"
      "<line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\" stroke=\"red\" visibility=\"hidden\"/>"
      "<sodipodi:namedview><line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\" stroke=\"red\"/></sodipodi:namedview>"
      "<circle cx=\"5\" cy=\"5\" r=\"2\" fill=\"black\"/>"
      "<text x=\"1\" y=\"1\">M 0 0 L 5 5</text>"
      "<svg:line x1=\"0\" y1=\"0\" x2=\"7\" y2=\"7\" stroke=\"red\"/>";
  int result = -1;
  std::string printed;
  CreasePattern* cp = readLinesQuietly(LineFromSvg, svg(body), &result, &printed);
  ASSERT_EQ(result, 0) << oriReadError();
  EXPECT_EQ(patternLines(cp).size(), 5u);  // the frame and the svg:line
  EXPECT_NE(printed.find("passed over 3 elements without a stroke"), std::string::npos) << printed;
  CreasePatternDestruct(cp);
}

TEST(SvgReader, DeclarationsAndEntitiesOfRealFilesPass) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"no\"?>\n"
      "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\" [\n"
      "  <!ENTITY ns_svg \"http://www.w3.org/2000/svg\"> <!-- a > in a comment -->\n]>\n"
      "<svg xmlns=&ns_svg; width=100 height='100'>" +
      std::string(kFrame) + "<path d=\"M0,0&#10;L10,10\" stroke='&#x23;FF0000'/></svg>";
  expectSegments(drawn(text), {{0, 0, 10, 10, 2}});
}

TEST(SvgReader, PathDataIsReadUpToItsFirstError) {
  int result = -1;
  std::string printed;
  CreasePattern* cp = readLinesQuietly(
      LineFromSvg,
      svg(std::string(kFrame) + "<path stroke=\"red\" d=\"M0 0 L10 0 L10 # 20 20\"/><path stroke=\"red\" d=\"L5 5\"/>"),
      &result, &printed);
  ASSERT_EQ(result, 0) << oriReadError();
  EXPECT_EQ(patternLines(cp).size(), 5u);
  EXPECT_NE(printed.find("2 paths read up to a syntax error in the data"), std::string::npos) << printed;
  CreasePatternDestruct(cp);
}

TEST(SvgReader, CurvesAndBrokenMarkupAreRefusedSayingWhere) {
  const std::map<std::string, std::string> cases = {
      {svg("<path stroke=\"red\"\r\n d=\"M0 0 L10 0 C 20 20 30 30 40 40\"/>"),
       "<path> on line 3 has a curve (command C)"},
      {svg("<path stroke=\"red\" d=\"M0 0 a5 5 0 0 1 10 10\"/>"), "(command a)"},
      {svg("<circle cx=\"5\" cy=\"5\" r=\"2\" stroke=\"red\"/>"), "<circle> on line 3 is a curve"},
      {svg("<g stroke=\"black\"><ellipse cx=\"5\" cy=\"5\" rx=\"2\" ry=\"1\"/></g>"), "<ellipse> on line 3 is a curve"},
      {svg("<rect width=\"5\" height=\"5\" rx=\"1\" stroke=\"red\"/>"), "<rect> on line 3 has rounded corners"},
      {svg("<line x2=\"5\" y2=\"5\" stroke=\"red\" transform=\"rotate(1 2)\"/>"), "the transform of <line> on line 3"},
      {svg("<line x2=\"5\" y2=\"5\" stroke=\"red\" transform=\"shear(1)\"/>"), "does not parse"},
      {"<svg><line x1=\"0\" y1=\"0\" x2=\"5\" y2=\"5\" stroke=\"red\"", "ends inside the tag <line>"},
      {"<svg><line x1=\"0\" stroke=\"red/></svg>", "ends inside an attribute value of <line>"},
      {"<svg><!-- never closed", "ends inside a comment"},
      {"<svg>< line/></svg>", "starts no element"},
      {svg(std::string(2000, '<') + "g>"), "starts no element"},
      {svg(""), "no stroked line, rect, polyline, polygon or path"},
      {"", "no stroked line"},
      {svg("<line x1=\"5\" y1=\"5\" x2=\"5\" y2=\"5\" stroke=\"red\"/><line x1=\"5\" y1=\"5\" x2=\"5\" y2=\"5.0\" "
           "stroke=\"red\"/>"),
       "no stroked line"},
  };
  for (const auto& c : cases) {
    int result = 0;
    CreasePattern* cp = readLinesQuietly(LineFromSvg, c.first, &result);
    EXPECT_NE(result, 0) << c.first;
    EXPECT_EQ(cp->lines->data, nullptr) << "a refused drawing leaves lines behind";
    EXPECT_NE(std::string(oriReadError()).find(c.second), std::string::npos)
        << c.first.substr(0, 120) << "\n  gave: \"" << oriReadError() << "\"";
    CreasePatternDestruct(cp);
  }
}

TEST(SvgReader, NestingIsBounded) {
  std::string deep;
  for (int k = 0; k < 1100; ++k) deep += "<g>";
  int result = 0;
  CreasePattern* cp = readLinesQuietly(LineFromSvg, svg(deep + kFrame), &result);
  EXPECT_NE(result, 0);
  EXPECT_NE(std::string(oriReadError()).find("nest deeper than 1024"), std::string::npos) << oriReadError();
  CreasePatternDestruct(cp);
  // Closed groups do not count, nor end tags that close nothing.
  std::string wide;
  for (int k = 0; k < 3000; ++k) wide += "<g></g></p>";
  cp = readLinesQuietly(LineFromSvg, svg(wide + kFrame), &result);
  EXPECT_EQ(result, 0) << oriReadError();
  CreasePatternDestruct(cp);
}

TEST(SvgReader, AValleyFoldsTowardsTheViewerOfTheFrontSide) {
  // SVG's y runs down the screen; the viewer of the screen sees the front.
  ORI_manifold* valley = loadPatternText(svgSquareWithDiagonal("#0000FF"), "valley.svg");
  ORI_manifold* mountain = loadPatternText(svgSquareWithDiagonal("#FF0000"), "mountain.svg");
  ASSERT_NE(valley, nullptr) << oriReadError();
  ASSERT_NE(mountain, nullptr) << oriReadError();
  expectSoundSheet(valley);
  EXPECT_EQ(positiveFoldLines(valley), 1);
  EXPECT_EQ(negativeFoldLines(mountain), 1);
  EXPECT_GT(freeCornerHeight(valley), 100.0 / 400.0);
  EXPECT_LT(freeCornerHeight(mountain), -100.0 / 400.0);
  oriManifoldDelete(valley);
  oriManifoldDelete(mountain);
}

TEST(SvgReader, RealFilesBuildTheirSheet) {
  const std::vector<std::string> files = realPatterns("svg", ".svg");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  // Fold lines per file (red, blue), counted in the drawings: the folds
  // keep their colour's type, split where lines cross.
  const std::map<std::string, std::pair<int, int>> folds = {
      {"flatfolder_sailboat.svg", {12, 16}},
      {"origamisimulator_simpleVertex.svg", {3, 1}},
      {"origamisimulator_waterbombBase.svg", {4, 4}},
      {"origamisimulator_birdBase.svg", {12, 8}},
  };
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    ORI_manifold* om = loadPatternText(slurpFile(path), path);
    ASSERT_NE(om, nullptr) << oriReadError();
    expectSoundSheet(om);
    const auto it = folds.find(path.substr(path.rfind('/') + 1));
    if (it != folds.end()) {
      EXPECT_EQ(negativeFoldLines(om), it->second.first);
      EXPECT_EQ(positiveFoldLines(om), it->second.second);
    }
    oriManifoldDelete(om);
  }
}

// Found by fuzzing: one line far away squeezes the rest of the drawing into
// specks around one point, whose crossings the chopping kept cutting at the
// scale of rounding for minutes. Specks are dropped before the chopping.
TEST(SvgReader, ALineFarFromTheRestLeavesSpecksThatAreDroppedQuickly) {
  std::string body = "<path stroke=\"red\" d=\"M1e17 0 v1\"/><path stroke=\"blue\" d=\"";
  for (int k = 0; k <= 20; ++k) {
    body += "M0 " + std::to_string(k * 5) + " h100 M" + std::to_string(k * 5) + " 0 v100 ";
    body += "M0 0 L100 " + std::to_string(k * 5) + " ";
  }
  int result = 0;
  std::string printed;
  ORI_manifold* om = loadPatternText(svg(body + "\"/>"), "far.svg", &result, &printed);
  EXPECT_EQ(om, nullptr);
  EXPECT_NE(printed.find("dropped 64 lines of no length"), std::string::npos) << printed.substr(0, 300);
  oriManifoldDelete(om);
}
