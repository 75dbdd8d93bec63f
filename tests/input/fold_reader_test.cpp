#include "input/fold_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "input/pattern_file.h"
#include "input/read_error.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/fixtures.h"
#include "tests/support/interop_fixtures.h"

namespace {

CreasePattern* readFold(const std::string& text, int* result) { return readLinesQuietly(LineFromFold, text, result); }

// The reason a FOLD text is refused ("" when it is read).
std::string refusal(const std::string& text) {
  int result = 0;
  CreasePattern* cp = readFold(text, &result);
  const bool emptied = cp->lines->data == nullptr;
  CreasePatternDestruct(cp);
  if (result == 0) return "";
  EXPECT_TRUE(emptied) << "a refused file leaves lines behind";
  return oriReadError();
}

}  // namespace

TEST(FoldReader, AssignmentsMapToTheFoldTypesSoThatAValleyHasThePositiveTarget) {
  EXPECT_EQ(foldAssignmentLineType("M"), 2);
  EXPECT_EQ(foldAssignmentLineType("V"), 3);
  EXPECT_EQ(foldAssignmentLineType("v"), 3);
  EXPECT_EQ(foldAssignmentLineType("B"), 1);
  EXPECT_EQ(foldAssignmentLineType("C"), 1);
  for (const char* flat : {"F", "U", "J", "X", "", "VV"}) EXPECT_EQ(foldAssignmentLineType(flat), 0) << flat;
  EXPECT_EQ(foldAssignmentLineType(nullptr), 0);
}

TEST(FoldReader, Frame0BecomesLinesWithYNegatedFittedToThePaper) {
  // A 2 × 1 rectangle: the longer side spans 400, y up in the file, down in
  // the line list. The fourth edge has no assignment (the list is short).
  const std::string text =
      "{\"vertices_coords\": [[0,0,0],[2,0,0],[2,1,0],[0,1,0]],"
      " \"edges_vertices\": [[0,1],[1,2],[2,3],[3,0]], \"edges_assignment\": [\"V\",\"M\",\"C\"],"
      " \"faces_vertices\": [[0,1,2,3]], \"edges_foldAngle\": [1,2,3,4], \"custom:key\": {\"a\": [1]}}";
  int result = -1;
  CreasePattern* cp = readFold(text, &result);
  ASSERT_EQ(result, 0) << oriReadError();
  const std::vector<Line> lines = patternLines(cp);
  ASSERT_EQ(lines.size(), 4u);
  const double expected[4][5] = {
      {-200, 100, 200, 100, 3}, {200, 100, 200, -100, 2}, {200, -100, -200, -100, 1}, {-200, -100, -200, 100, 0}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_DOUBLE_EQ(lines[k].x0, expected[k][0]) << k;
    EXPECT_DOUBLE_EQ(lines[k].y0, expected[k][1]) << k;
    EXPECT_DOUBLE_EQ(lines[k].x1, expected[k][2]) << k;
    EXPECT_DOUBLE_EQ(lines[k].y1, expected[k][3]) << k;
    EXPECT_EQ(lines[k].type, expected[k][4]) << k;
  }
  CreasePatternDestruct(cp);
}

TEST(FoldReader, AValleyFoldsTowardsTheViewerOfTheFrontSide) {
  // Seen from +z with y up the square's faces run counter-clockwise, as in
  // the file: a valley brings the free face up towards that viewer.
  ORI_manifold* valley = loadPatternText(foldSquareWithDiagonal("V"), "valley.fold");
  ORI_manifold* mountain = loadPatternText(foldSquareWithDiagonal("M"), "mountain.fold");
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

TEST(FoldReader, RefusesWhatIsNotAFlatFrame0WithAReason) {
  const std::string square = "\"edges_vertices\": [[0,1],[1,2],[2,0]]";
  const std::map<std::string, std::string> cases = {
      {"", "does not parse"},
      {"{\"vertices_coords\": [[0,0],", "does not parse"},
      {"[1, 2, 3]", "not an object"},
      {"{\"frame_classes\": [\"creasePattern\", \"foldedForm\"], \"vertices_coords\": [[0,0],[1,0],[0,1]], " + square +
           "}",
       "folded form"},
      {"{\"vertices_coords\": [[0,0,0],[1,0,0],[0,1,0.5]], " + square + "}", "vertex 2 of frame 0 has z = 0.5"},
      {"{" + square + "}", "frame 0 has no vertices_coords"},
      {"{\"file_frames\": [{\"vertices_coords\": [[0,0,0]]}], " + square + "}", "only in file_frames"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,1]]}", "no edges_vertices"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0]], " + square + "}", "vertex 2 of frame 0 is not a list of 2 or 3"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,\"1\"]], " + square + "}", "vertex 2"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,1e999]], " + square + "}", "does not parse (number overflow"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,1]], \"edges_vertices\": [[0,1],[1,3]]}",
       "edge 1 of frame 0 does not join two of its 3 vertices"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,1]], \"edges_vertices\": [[0,1],[-1,2]]}", "edge 1"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,1]], \"edges_vertices\": [[0,1],[1.5,2]]}", "edge 1"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,1]], \"edges_vertices\": [[0,1,2]]}", "edge 0"},
      {"{\"vertices_coords\": [[0,0],[1,0],[0,1]], \"edges_vertices\": []}", "no edges to build a sheet"},
      {"{\"vertices_coords\": [[1,1],[1,1]], \"edges_vertices\": [[0,1]]}", "no extent"},
      {std::string(600, '[') + std::string(600, ']'), "nest deeper than 512"},
  };
  for (const auto& c : cases) {
    const std::string why = refusal(c.first);
    EXPECT_NE(why.find(c.second), std::string::npos) << c.first.substr(0, 80) << "\n  gave: \"" << why << "\"";
  }
  // Noise in z from a 3D writer is still flat; brackets inside strings do not nest.
  EXPECT_EQ(refusal("{\"vertices_coords\": [[0,0,1e-12],[1,0,0],[0,1,0]], " + square + ", \"file_title\": \"" +
                    std::string(600, '[') + "\"}"),
            "");
  EXPECT_EQ(refusal("{\"vertices_coords\": [[0,0],[1,0],[0,1]], \"edges_vertices\": [[0,1],[1.0,2],[2,0]],"
                    " \"edges_assignment\": \"not a list\"}"),
            "");
}

TEST(FoldReader, OpensByNameAfterTheOtherMarks) {
  EXPECT_EQ(oriPatternFormat("crane.fold"), kOriPatternFold);
  EXPECT_EQ(oriPatternFormat("a.fold.opx"), kOriPatternXml);
  EXPECT_EQ(oriPatternFormat("a.FOLD"), kOriPatternUnknown);
  EXPECT_EQ(oriPatternFormat("a.cp.fold"), kOriPatternFold);
  EXPECT_EQ(oriPatternFormat("a.cp.svg"), kOriPatternSvg);
  EXPECT_EQ(oriPatternFormat("birdbase.cp"), kOriPatternCp);
}

// The FOLD files of other tools: every crease pattern builds a sound sheet
// with the file's faces and fold lines; the others are refused, saying why.
TEST(FoldReader, RealFilesBuildTheirSheetOrAreRefusedWithTheReason) {
  const std::vector<std::string> files = realPatterns("fold", ".fold");
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  const std::map<std::string, std::string> refused = {
      {"edemaine_simple_folded.fold", "frame 0 is a folded form"},
      {"edemaine_squaretwist_folded.fold", "frame 0 is a folded form"},
      {"origamisimulator_simpleVertex_frames.fold", "frame 0 has no vertices_coords"},
  };
  int built = 0;
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::string text = slurpFile(path);
    int result = 0;
    ORI_manifold* om = loadPatternText(text, path, &result);
    const auto it = refused.find(name);
    if (it != refused.end()) {
      EXPECT_EQ(om, nullptr);
      EXPECT_NE(std::string(oriReadError()).find(it->second), std::string::npos) << oriReadError();
      oriManifoldDelete(om);
      continue;
    }
    ASSERT_NE(om, nullptr) << oriReadError();
    expectSoundSheet(om);
    const nlohmann::json doc = nlohmann::json::parse(text);
    int valleys = 0, mountains = 0;
    for (const auto& a : doc["edges_assignment"]) {
      valleys += a == "V";
      mountains += a == "M";
    }
    EXPECT_EQ(positiveFoldLines(om), valleys);
    EXPECT_EQ(negativeFoldLines(om), mountains);
    if (doc.contains("faces_vertices")) {
      EXPECT_EQ(om->n_face, static_cast<int>(doc["faces_vertices"].size()));
    }
    oriManifoldDelete(om);
    ++built;
  }
  EXPECT_GE(built, 7);
}

TEST(FoldReader, OpensOntoAFoldedModelLikeTheOtherReaders) {
  ORI_manifold* old = loadPatternText(foldSquareWithDiagonal("V"), "old.fold");
  ASSERT_NE(old, nullptr);
  const double lifted = freeCornerHeight(old);
  FILE* fp = textStream(foldSquareWithDiagonal("V"));
  ORI_manifold* om = oriManifoldNew();
  testing::internal::CaptureStdout();
  const int result = oriManifoldConstructFromStream(om, old, fp, "next.fold");
  testing::internal::GetCapturedStdout();
  std::fclose(fp);
  ASSERT_EQ(result, kOriOpenOk) << oriReadError();
  // The new sheet starts in the old one's folded shape.
  double highest = 0.0;
  for (List* n = om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    const double z = static_cast<ORI_vert*>(n->data)->pos.z;
    if (std::fabs(z) > std::fabs(highest)) highest = z;
  }
  EXPECT_NEAR(highest, lifted, 1e-9);
  oriManifoldDelete(om);
  oriManifoldDelete(old);
}
