#include "input/dxf_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "input/dxf_reader.h"
#include "input/line_chop.h"
#include "input/line_list.h"
#include "input/opx_writer.h"
#include "input/pattern_file.h"
#include "input/read_error.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/fixtures.h"

namespace {

// Builds a manifold from DXF text with the import's output kept quiet.
ORI_manifold* importDxf(const std::string& text, int* result = nullptr, std::string* out = nullptr) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadDxfText(text, result);
  const std::string printed = testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = printed;
  return om;
}

ORI_manifold* quietly(ORI_manifold* (*load)(const std::string&, int*), const std::string& arg) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = load(arg, nullptr);
  testing::internal::GetCapturedStdout();
  return om;
}

// The mesh checks every imported sheet must pass: the invariants, and
// V − L + F = 1 for a single sheet without holes.
void expectSoundSheet(const ORI_manifold* om) {
  ASSERT_NE(om, nullptr);
  char why[256] = "";
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  EXPECT_EQ(om->n_vert - lineCount(om) + om->n_face, 1)
      << "V " << om->n_vert << " L " << lineCount(om) << " F " << om->n_face;
}

// A mesh as comparable values: vertex positions, and every half-edge as its
// CP ends and target angle, each sorted. Positions are rounded to 1e-6 of the
// paper: the import passes through six decimals of 400 units.
struct MeshShape {
  std::vector<std::pair<long, long>> verts;
  std::vector<std::tuple<long, long, long, long, long>> edges;
};

long grid(double v) { return std::lround(v * 1e6); }

MeshShape shapeOf(const ORI_manifold* om) {
  MeshShape s;
  for (const List* n = om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(n->data);
    s.verts.emplace_back(grid(v->pos.x), grid(v->pos.y));
  }
  for (const List* n = om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(n->data);
    s.edges.emplace_back(grid(e->x0), grid(e->y0), grid(e->x1), grid(e->y1), grid(e->target_angle));
  }
  std::sort(s.verts.begin(), s.verts.end());
  std::sort(s.edges.begin(), s.edges.end());
  return s;
}

void expectSameMesh(const ORI_manifold* a, const ORI_manifold* b) {
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->n_vert, b->n_vert);
  EXPECT_EQ(a->n_edge, b->n_edge);
  EXPECT_EQ(a->n_face, b->n_face);
  const MeshShape sa = shapeOf(a), sb = shapeOf(b);
  EXPECT_TRUE(sa.verts == sb.verts) << "vertex positions differ";
  EXPECT_TRUE(sa.edges == sb.edges) << "lines or their fold targets differ";
}

// A square sheet of side 100 drawn with its outline in green (cut) and r
// horizontal and r vertical valley lines across it, ending on the outline.
std::string crossingGrid(int r) {
  std::vector<std::string> e = {dxfPolyline({{0, 0}, {100, 0}, {100, 100}, {0, 100}}, 1, 3)};
  for (int k = 1; k <= r; ++k) {
    const double c = 100.0 * k / (r + 1);
    e.push_back(dxfLine(0, c, 100, c, 1));
    e.push_back(dxfLine(c, 0, c, 100, 5));
  }
  return dxfText(e);
}

TEST(DxfImport, WrittenXmlCarriesTypesAndCoordinatesWithSixDecimals) {
  CreasePattern* cp = readDxfText(dxfText({dxfLine(0, 0, 10, 0, 1)}));
  testing::internal::CaptureStdout();
  LineChop(cp);
  testing::internal::GetCapturedStdout();
  FILE* fp = std::tmpfile();
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(LineToOpx(cp, fp), 0);
  CreasePatternDestruct(cp);
  std::rewind(fp);
  std::string text;
  char buf[256];
  while (std::fgets(buf, sizeof buf, fp) != nullptr) text += buf;
  std::fclose(fp);
  const std::string block =
      "    <void index=\"0\"> \n"
      "     <object class=\"oripa.OriLineProxy\"> \n"
      "      <void property=\"type\"> \n       <int>3</int> \n      </void> \n"
      "      <void property=\"x0\"> \n       <double>-200.000000</double> \n      </void> \n"
      "      <void property=\"x1\"> \n       <double>200.000000</double> \n      </void> \n"
      "      <void property=\"y0\"> \n       <double>0.000000</double> \n      </void> \n"
      "      <void property=\"y1\"> \n       <double>0.000000</double> \n      </void> \n"
      "     </object> \n"
      "    </void> \n";
  EXPECT_NE(text.find("   <array class=\"oripa.OriLineProxy\" length=\"1\">\n" + block + "   </array>\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("   <double>400.000000</double> \n"), std::string::npos) << text;
}

TEST(DxfImport, CrossingDrawingsBuildSoundSheets) {
  // r crossing lines each way: (r + 2)² vertices, 2(r + 1)(r + 2) lines,
  // (r + 1)² faces.
  for (int r : {1, 3, 7}) {
    SCOPED_TRACE("grid " + std::to_string(r));
    std::string out;
    ORI_manifold* om = importDxf(crossingGrid(r), nullptr, &out);
    expectSoundSheet(om);
    if (om == nullptr) continue;
    EXPECT_EQ(om->n_vert, (r + 2) * (r + 2));
    EXPECT_EQ(lineCount(om), 2 * (r + 1) * (r + 2));
    EXPECT_EQ(om->n_face, (r + 1) * (r + 1));
    EXPECT_NE(out.find("numlist:" + std::to_string(2 * (r + 1) * (r + 2)) + "\n"), std::string::npos);
    oriManifoldDelete(om);
  }
  // Diagonals and medians all through the centre, at an angle to a drawing
  // not centred on the origin: eight triangles.
  ORI_manifold* star = importDxf(dxfText({dxfPolyline({{10, 20}, {50, 20}, {50, 60}, {10, 60}}, 1),
                                          dxfLine(10, 20, 50, 60, 1), dxfLine(10, 60, 50, 20, 1),
                                          dxfLine(10, 40, 50, 40, 5), dxfLine(30, 20, 30, 60, 5)}));
  expectSoundSheet(star);
  if (star != nullptr) {
    EXPECT_EQ(star->n_vert, 9);
    EXPECT_EQ(star->n_face, 8);
  }
  oriManifoldDelete(star);
}

TEST(DxfImport, DrawingAndXmlOfTheSameLinesGiveTheSameMesh) {
  // The crossing square as a drawing, and as the XML pattern of its pieces.
  // Drawing y runs up; XML y runs down.
  ORI_manifold* from_dxf = importDxf(crossingGrid(1));
  std::vector<OriPatternLine> pieces;
  for (double c : {-200.0, 0.0, 200.0}) {
    for (double a : {-200.0, 0.0}) {
      const int side = c == 0.0 ? 0 : 1;
      pieces.push_back({a, c, a + 200, c, side == 1 ? 1 : 3});  // horizontal: red, valley
      pieces.push_back({c, a, c, a + 200, side == 1 ? 1 : 2});  // vertical: blue, mountain
    }
  }
  ORI_manifold* from_xml = quietly(&loadOpxText, opxText(pieces));
  expectSameMesh(from_dxf, from_xml);
  oriManifoldDelete(from_dxf);
  oriManifoldDelete(from_xml);
}

TEST(DxfImport, RealDrawingsBuildSoundSheets) {
  const std::vector<std::string> files = realPatterns("dxf", ".dxf");
  if (files.empty()) GTEST_SKIP() << "no real DXF patterns (shared patterns folder absent)";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    ORI_manifold* om = oriManifoldNew();
    testing::internal::CaptureStdout();
    const int result = oriManifoldConstructFromFile(om, nullptr, path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, kOriOpenOk) << oriReadError();
    if (result == kOriOpenOk) expectSoundSheet(om);
    oriManifoldDelete(om);
  }
}

TEST(DxfImport, RealDrawingGivesTheMeshOfItsXmlTwin) {
  const std::string dir = patternsDir();
  const std::string dxf = dir + "/dxf/schamp_isoarea_square_8.dxf";
  const std::string opx = dir + "/opx/schamp_isoarea_square_8.opx";
  FILE* probe = dir.empty() ? nullptr : std::fopen(dxf.c_str(), "r");
  if (probe == nullptr) GTEST_SKIP() << "schamp_isoarea_square_8.dxf not in the shared patterns folder";
  std::fclose(probe);
  ORI_manifold* a = oriManifoldNew();
  testing::internal::CaptureStdout();
  EXPECT_EQ(oriManifoldConstructFromFile(a, nullptr, dxf.c_str()), kOriOpenOk);
  testing::internal::GetCapturedStdout();
  ORI_manifold* b = quietly(&loadOpxFile, opx);
  expectSameMesh(a, b);
  oriManifoldDelete(a);
  oriManifoldDelete(b);
}

TEST(DxfImport, DrawingsWithoutLinesFailCleanly) {
  const std::string empty = dxfText({});
  const std::string point = dxfText({dxfLine(5, 5, 5, 5, 1)});
  for (const std::string* text : {&empty, &point}) {
    FILE* fp = textStream(*text);
    ORI_manifold* om = oriManifoldNew();
    testing::internal::CaptureStdout();
    const int result = oriManifoldConstructFromStream(om, nullptr, fp, "drawing.dxf");
    testing::internal::GetCapturedStdout();
    std::fclose(fp);
    EXPECT_EQ(result, kOriOpenFailed);
    EXPECT_STRNE(oriReadError(), "");
    EXPECT_EQ(om->n_vert, 0);
    EXPECT_EQ(om->n_edge, 0);
    oriManifoldDelete(om);
  }
}

TEST(DxfImport, NamesChooseTheReader) {
  EXPECT_EQ(oriPatternFormat("bird.dxf"), kOriPatternDxf);
  EXPECT_EQ(oriPatternFormat("bird.dxf.bak"), kOriPatternDxf);
  EXPECT_EQ(oriPatternFormat("bird.dxf.opx"), kOriPatternXml);
  EXPECT_EQ(oriPatternFormat("bird.DXF"), kOriPatternUnknown);
}

TEST(DxfImport, OpensOntoAFlatPreviousSheet) {
  ORI_manifold* old = quietly(&loadOpxText, opxText(squareLines()));
  ASSERT_NE(old, nullptr);
  FILE* fp = textStream(crossingGrid(1));
  ORI_manifold* om = oriManifoldNew();
  testing::internal::CaptureStdout();
  EXPECT_EQ(oriManifoldConstructFromDxf(om, old, fp), 0);
  testing::internal::GetCapturedStdout();
  std::fclose(fp);
  expectSoundSheet(om);
  for (const List* n = om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    EXPECT_NEAR(static_cast<const ORI_vert*>(n->data)->pos.z, 0.0, 1e-9);
  }
  oriManifoldDelete(om);
  oriManifoldDelete(old);
}

TEST(DxfImport, HeadlessFoldCommandReadsDrawings) {
  const char* tool = std::getenv("PLICATA_FOLD");
  if (tool == nullptr) GTEST_SKIP() << "PLICATA_FOLD not set (run through ctest)";
  const std::string dxf = std::string(PLICATA_BINARY_DIR) + "/dxf_import_test_grid.dxf";
  const std::string obj = std::string(PLICATA_BINARY_DIR) + "/dxf_import_test_grid.obj";
  FILE* fp = std::fopen(dxf.c_str(), "w");
  ASSERT_NE(fp, nullptr);
  const std::string text = crossingGrid(2);
  std::fwrite(text.data(), 1, text.size(), fp);
  std::fclose(fp);
  std::remove(obj.c_str());
  const std::string cmd = std::string(tool) + " --obj " + obj + " " + dxf + " > /dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  FILE* out = std::fopen(obj.c_str(), "r");
  EXPECT_NE(out, nullptr) << "no OBJ written";
  int faces = 0;
  char line[256];
  while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) faces += line[0] == 'f';
  if (out != nullptr) std::fclose(out);
  EXPECT_GT(faces, 0);
  std::remove(dxf.c_str());
  std::remove(obj.c_str());
}

}  // namespace
