#include "input/dxf_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "input/opx_writer.h"
#include "input/pattern_file.h"
#include "input/read_error.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/fixtures.h"

namespace {

// Runs a loader with its console output kept quiet.
template <class F>
ORI_manifold* quietly(F load) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = load();
  testing::internal::GetCapturedStdout();
  return om;
}

ORI_manifold* importDxf(const std::string& text) { return quietly([&] { return loadDxfText(text); }); }

// The mesh checks every imported sheet must pass: the invariants, and
// V − L + F = 1 for a single sheet without holes.
void expectSoundSheet(const ORI_manifold* om) {
  ASSERT_NE(om, nullptr);
  char why[256] = "";
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  EXPECT_EQ(om->n_vert - lineCount(om) + om->n_face, 1)
      << "V " << om->n_vert << " L " << lineCount(om) << " F " << om->n_face;
}

// Same counts, vertex positions, and half-edges (CP ends and fold target).
// Values are compared at 1e-6 of the paper: the import passes through six
// decimals of 400 units.
void expectSameMesh(const ORI_manifold* a, const ORI_manifold* b) {
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_EQ(a->n_vert, b->n_vert);
  EXPECT_EQ(a->n_edge, b->n_edge);
  EXPECT_EQ(a->n_face, b->n_face);
  auto shape = [](const ORI_manifold* om) {
    std::vector<std::vector<long>> s;
    for (const List* n = om->verts; n != nullptr && n->data != nullptr; n = n->next) {
      const ORI_vert* v = static_cast<const ORI_vert*>(n->data);
      s.push_back({std::lround(v->pos.x * 1e6), std::lround(v->pos.y * 1e6)});
    }
    for (const List* n = om->edges; n != nullptr && n->data != nullptr; n = n->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(n->data);
      s.push_back({std::lround(e->x0 * 1e6), std::lround(e->y0 * 1e6), std::lround(e->x1 * 1e6),
                   std::lround(e->y1 * 1e6), std::lround(e->target_angle * 1e6)});
    }
    std::sort(s.begin(), s.end());
    return s;
  };
  EXPECT_TRUE(shape(a) == shape(b)) << "vertex positions, lines or fold targets differ";
}

// A square sheet of side 100 drawn with its outline in green (flat), r red
// horizontal and r blue vertical fold lines across it, ending on the outline.
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
  FILE* fp = std::tmpfile();
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(LineToOpx(cp, fp), 0);
  CreasePatternDestruct(cp);
  std::string text(4096, '\0');
  std::rewind(fp);
  text.resize(std::fread(&text[0], 1, text.size(), fp));
  std::fclose(fp);
  auto value = [](const char* name, const char* element) {
    return std::string("      <void property=\"") + name + "\"> \n       " + element + " \n      </void> \n";
  };
  const std::string block = value("type", "<int>3</int>") + value("x0", "<double>-200.000000</double>") +
                            value("x1", "<double>200.000000</double>") + value("y0", "<double>0.000000</double>") +
                            value("y1", "<double>0.000000</double>");
  EXPECT_NE(text.find("length=\"1\">\n    <void index=\"0\"> \n     <object class=\"oripa.OriLineProxy\"> \n" + block +
                      "     </object> \n    </void> \n   </array>\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("   <double>400.000000</double> \n"), std::string::npos) << text;
}

TEST(DxfImport, CrossingDrawingsBuildSoundSheets) {
  // r crossing lines each way: (r + 2)² vertices, 2(r + 1)(r + 2) lines,
  // (r + 1)² faces.
  for (int r : {1, 3, 7}) {
    SCOPED_TRACE("grid " + std::to_string(r));
    ORI_manifold* om = importDxf(crossingGrid(r));
    expectSoundSheet(om);
    if (om == nullptr) continue;
    EXPECT_EQ(om->n_vert, (r + 2) * (r + 2));
    EXPECT_EQ(lineCount(om), 2 * (r + 1) * (r + 2));
    EXPECT_EQ(om->n_face, (r + 1) * (r + 1));
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
      pieces.push_back({a, c, a + 200, c, c == 0.0 ? 3 : 1});  // horizontal: red inside, green outline
      pieces.push_back({c, a, c, a + 200, c == 0.0 ? 2 : 1});  // vertical: blue inside
    }
  }
  ORI_manifold* from_xml = quietly([&] { return loadOpxText(opxText(pieces)); });
  expectSameMesh(from_dxf, from_xml);
  oriManifoldDelete(from_dxf);
  oriManifoldDelete(from_xml);
}

TEST(DxfImport, AuxiliaryLinesFollowOneRuleInTheDrawingAndItsXmlTwin) {
  // A square (drawing units 0..100) whose left side is drawn as a guide,
  // split by a valley crease ending on its middle; a mountain crosses the
  // valley; one guide crosses both creases and another ends on the valley.
  // Both guides go, the guide side stays: 9 vertices, 12 lines, 4 faces.
  struct Drawn {
    double x0, y0, x1, y1;
    int color, type;
  };
  const std::vector<Drawn> design = {
      {0, 0, 100, 0, 3, 1},   {100, 0, 100, 100, 3, 1}, {100, 100, 0, 100, 3, 1}, {0, 100, 0, 0, 7, 0},
      {0, 50, 100, 50, 1, 3}, {50, 0, 50, 100, 5, 2},   {20, 10, 90, 80, 7, 0},    {70, 50, 90, 90, 7, 0}};
  std::vector<std::string> entities;
  std::vector<OriPatternLine> xml;
  for (const Drawn& d : design) {
    entities.push_back(dxfLine(d.x0, d.y0, d.x1, d.y1, d.color));
    xml.push_back({4 * d.x0 - 200, 200 - 4 * d.y0, 4 * d.x1 - 200, 200 - 4 * d.y1, d.type});
  }
  ORI_manifold* from_dxf = importDxf(dxfText(entities));
  ORI_manifold* from_xml = quietly([&] { return loadOpxText(opxText(xml)); });
  expectSoundSheet(from_dxf);
  expectSameMesh(from_dxf, from_xml);
  if (from_dxf != nullptr) {
    EXPECT_EQ(from_dxf->n_vert, 9);
    EXPECT_EQ(lineCount(from_dxf), 12);
    EXPECT_EQ(from_dxf->n_face, 4);
  }
  oriManifoldDelete(from_dxf);
  oriManifoldDelete(from_xml);
}

TEST(DxfImport, RealDrawingsBuildSoundSheetsAndMatchTheirXmlTwin) {
  const std::vector<std::string> files = realPatterns("dxf", ".dxf");
  if (files.empty()) GTEST_SKIP() << "no real DXF patterns (shared patterns folder absent)";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    ORI_manifold* om = oriManifoldNew();
    testing::internal::CaptureStdout();
    EXPECT_EQ(oriManifoldConstructFromFile(om, nullptr, path.c_str()), kOriOpenOk) << oriReadError();
    testing::internal::GetCapturedStdout();
    expectSoundSheet(om);
    // The twin drawn by the same editor as XML gives the same mesh.
    std::string twin = path;
    twin.replace(twin.rfind("/dxf/"), 5, "/opx/");
    twin.replace(twin.size() - 4, 4, ".opx");
    if (FILE* fp = std::fopen(twin.c_str(), "r")) {
      std::fclose(fp);
      ORI_manifold* xml = quietly([&] { return loadOpxFile(twin); });
      expectSameMesh(om, xml);
      oriManifoldDelete(xml);
    }
    oriManifoldDelete(om);
  }
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

}  // namespace
