// The XML reader and the face construction: the textbook layout, the layout
// of current editors, and the damaged files met in the wild.
#include "input/opx_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "input/read_error.h"
#include "sim/fold_step.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

namespace {

std::string record(const std::string& body) {
  return "    <void index=\"0\">\n     <object class=\"oripa.OriLineProxy\">\n" + body + "     </object>\n    </void>\n";
}

std::string prop(const char* name, const char* element, const std::string& value) {
  return std::string("      <void property=\"") + name + "\">\n       <" + element + ">" + value + "</" + element +
         ">\n      </void>\n";
}

std::string document(const std::vector<std::string>& records, const std::string& length = "",
                     const std::string& tail = "") {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<java version=\"1.6.0\" class=\"java.beans.XMLDecoder\">\n";
  s += " <object class=\"oripa.DataSet\">\n  <void property=\"lines\">\n";
  s += "   <array class=\"oripa.OriLineProxy\" length=\"" + (length.empty() ? std::to_string(records.size()) : length) +
       "\">\n";
  for (const auto& r : records) s += r;
  s += "   </array>\n  </void>\n" + tail + " </object>\n</java>\n";
  return s;
}

std::string lineRecord(int type, double x0, double y0, double x1, double y1) {
  char buf[64];
  std::string body = prop("type", "int", std::to_string(type));
  const char* names[4] = {"x0", "x1", "y0", "y1"};
  const double v[4] = {x0, x1, y0, y1};
  for (int k = 0; k < 4; ++k) {
    std::snprintf(buf, sizeof buf, "%.17g", v[k]);
    body += prop(names[k], "double", buf);
  }
  return record(body);
}

std::vector<std::string> squareRecords() {
  std::vector<std::string> r;
  for (const auto& l : squareLines()) r.push_back(lineRecord(l.type, l.x0, l.y0, l.x1, l.y1));
  return r;
}

ORI_manifold* load(const std::string& text, std::string* out = nullptr, int* result = nullptr) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(text, result);
  const std::string printed = testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = printed;
  return om;
}

bool hasVertexNear(ORI_manifold* om, double x, double y) {
  for (List* l = om->verts; l && l->data; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (std::fabs(v->pos.x - x) < 1e-9 && std::fabs(v->pos.y - y) < 1e-9) return true;
  }
  return false;
}

}  // namespace

TEST(OpxReader, SquareIsOneCounterClockwiseFaceInsideItsBoundary) {
  std::string printed;
  ORI_manifold* om = load(opxText(squareLines()), &printed);
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_vert, 4);
  EXPECT_EQ(om->n_edge, 8);
  EXPECT_EQ(om->n_face, 1);
  EXPECT_NE(printed.find("vert number: 4\nedge number: 8\nface number: 1\n"), std::string::npos) << printed;
  int boundary = 0;
  for (List* l = om->edges; l && l->data; l = l->next) boundary += static_cast<ORI_edge*>(l->data)->on_boundary;
  EXPECT_EQ(boundary, 4);
  for (List* l = om->verts; l && l->data; l = l->next) EXPECT_EQ(static_cast<ORI_vert*>(l->data)->on_boundary, 1);
  // Counter-clockwise in the CP plane: positive area.
  double area2 = 0;
  ORI_face* f = static_cast<ORI_face*>(om->faces->data);
  ORI_edge* e = f->first;
  do {
    area2 += e->x0 * e->y1 - e->x1 * e->y0;
    e = e->next;
  } while (e != f->first);
  EXPECT_NEAR(area2 / 2, 1.0, 1e-12);
  EXPECT_EQ(oriManifoldValidate(om, nullptr, 0), 0);
  // The CP plane: x = X / paper, y = −Y / paper.
  EXPECT_TRUE(hasVertexNear(om, -0.5, 0.5));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(om->center_face->matrix[i], i % 5 == 0 ? 1.0 : 0.0);
  oriManifoldDelete(om);
}

TEST(OpxReader, DiagonalMakesTwoFacesSharingOneCrease) {
  ORI_manifold* om = load(opxText(squareWithDiagonal(3)));
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_vert, 4);
  EXPECT_EQ(om->n_edge, 10);
  EXPECT_EQ(om->n_face, 2);
  ORI_edge* diag = static_cast<ORI_edge*>(om->edges->next->next->next->next->next->next->next->next->data);
  EXPECT_NE(diag->face, nullptr);
  EXPECT_NE(diag->pair->face, nullptr);
  EXPECT_NE(diag->face, diag->pair->face);
  EXPECT_DOUBLE_EQ(diag->target_angle, 3.1315926535897933);  // a valley
  EXPECT_EQ(diag->angle, 0.0);
  oriManifoldDelete(om);
}

TEST(OpxReader, LineEndsWithinTheMergeBoxShareTheFirstVertex) {
  std::vector<OriPatternLine> lines = squareWithDiagonal(2);
  lines[4] = {-199.7, -199.8, 200, 200, 2};  // 0.3 and 0.2 off the corner
  ORI_manifold* om = load(opxText(lines));
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_vert, 4);
  EXPECT_TRUE(hasVertexNear(om, -0.5, 0.5));  // the end read first, not the later one
  oriManifoldDelete(om);
}

TEST(OpxReader, MissingPropertiesAreZeroAndTypeZeroIsFlat) {
  // A record with no type and no x1: a flat line whose second end has X = 0.
  std::vector<std::string> r = squareRecords();
  r[0] = record(prop("x0", "double", "-200.0") + prop("y0", "double", "-200.0") + prop("y1", "double", "-200.0"));
  r.push_back(lineRecord(1, 0, -200, 200, -200));
  ORI_manifold* om = load(document(r));
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_vert, 5);  // the bottom side is split at X = 0
  for (List* l = om->edges; l && l->data; l = l->next) EXPECT_EQ(static_cast<ORI_edge*>(l->data)->target_angle, 0.0);
  oriManifoldDelete(om);
}

TEST(OpxReader, NumbersAreReadWholeWhateverTheExponentCase) {
  // Regression: a lower-case exponent used to cut the number at the 'e'.
  std::vector<std::string> r = squareRecords();
  r.push_back(record(prop("type", "int", "2") + prop("x0", "double", "-2.0e2") + prop("x1", "double", "2.0E2") +
                     prop("y0", "double", "-2e+2") + prop("y1", "double", "20000e-2")));
  ORI_manifold* om = load(document(r));
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_vert, 4);
  EXPECT_EQ(om->n_face, 2);
  oriManifoldDelete(om);
}

TEST(OpxReader, ShortLinesAreDroppedWhicheverWayTheyRun) {
  // Regression: the old test kept a 0.3-unit line drawn one way round, whose
  // ends then merged into one vertex.
  for (int reversed = 0; reversed < 2; ++reversed) {
    std::vector<OriPatternLine> lines = squareWithDiagonal(2);
    OriPatternLine shortline = {10, 10, 10.3, 10.1, 2};
    if (reversed) shortline = {10.3, 10.1, 10, 10, 2};
    lines.push_back(shortline);
    ORI_manifold* om = load(opxText(lines));
    ASSERT_NE(om, nullptr) << reversed;
    EXPECT_EQ(om->n_edge, 10) << reversed;
    EXPECT_EQ(oriManifoldValidate(om, nullptr, 0), 0);
    oriManifoldDelete(om);
  }
}

TEST(OpxReader, NonFiniteCoordinatesDropTheLineAndSaySo) {
  std::vector<std::string> r = squareRecords();
  r.push_back(record(prop("type", "int", "2") + prop("x0", "double", "NaN") + prop("x1", "double", "NaN") +
                     prop("y0", "double", "-200.0") + prop("y1", "double", "200.0")));
  r.push_back(record(prop("type", "int", "3") + prop("x0", "double", "1E400") + prop("y1", "double", "200.0")));
  r.push_back(lineRecord(2, -200, -200, 200, 200));
  std::string printed;
  ORI_manifold* om = load(document(r), &printed);
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_face, 2);
  EXPECT_NE(printed.find("dropped 2 line(s) with a coordinate that is not a finite number"), std::string::npos);
  for (List* l = om->verts; l && l->data; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    EXPECT_TRUE(std::isfinite(v->pos.x) && std::isfinite(v->pos.y));
  }
  oriManifoldDelete(om);
}

TEST(OpxReader, RepeatedLinesAreBuiltOnceAndAFoldTypeWins) {
  // Regression: a repeated line made face loops that never closed.
  std::vector<OriPatternLine> lines = squareWithDiagonal(0);
  lines.push_back({200, 200, -200, -200, 3});  // the same line, reversed, as a fold
  lines.push_back({-200, -200, 200, 200, 2});  // a third time
  lines.push_back(lines[1]);                   // an outline side twice
  std::string printed;
  ORI_manifold* om = load(opxText(lines), &printed);
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_edge, 10);
  EXPECT_EQ(om->n_face, 2);
  EXPECT_NE(printed.find("dropped 3 repeated line(s)"), std::string::npos) << printed;
  ORI_edge* diag = static_cast<ORI_edge*>(om->edges->next->next->next->next->next->next->next->next->data);
  EXPECT_DOUBLE_EQ(diag->target_angle, 3.1315926535897933);
  EXPECT_EQ(oriManifoldValidate(om, nullptr, 0), 0);
  oriManifoldDelete(om);
}

TEST(OpxReader, LinesWithAFreeEndArePrunedRepeatedly) {
  // Regression: a dangling line was flagged as boundary yet given faces, met
  // inner vertices without a crease number and broke triangulation.
  std::vector<OriPatternLine> lines = degree4Vertex(2, 2, 3, 2);
  lines.push_back({0, 0, 50, 80, 2});    // dangling from the inner vertex
  lines.push_back({50, 80, 90, 100, 3}); // and a line hanging from its free end
  lines.push_back({-150, 150, -100, 120, 1});  // an isolated line
  std::string printed;
  ORI_manifold* om = load(opxText(lines), &printed);
  ASSERT_NE(om, nullptr);
  EXPECT_NE(printed.find("pruned 3 line(s) with a free end"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("error connection"), std::string::npos);
  EXPECT_EQ(om->n_edge, 24);
  EXPECT_EQ(om->n_face, 4);
  oriManifoldIndex(om);
  for (List* l = om->edges; l && l->data; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    // Every line at an inner vertex is a numbered crease.
    if (!e->vert->on_boundary) {
      EXPECT_GE(e->crease_index, 0);
    }
  }
  EXPECT_EQ(oriManifoldValidate(om, nullptr, 0), 0);
  oriManifoldDelete(om);
}

TEST(OpxReader, ALineSplitInsideThePaperStaysACrease) {
  // Regression: where a crease runs straight through a vertex with nothing
  // on one side, the left-turn rule took the piece for outline and the crease
  // could never fold there.
  std::vector<OriPatternLine> lines = squareLines();
  lines[0] = {-200, -200, 0, -200, 1};
  lines.push_back({0, -200, 200, -200, 1});
  lines[2] = {200, 200, 0, 200, 1};
  lines.push_back({0, 200, -200, 200, 1});
  lines.push_back({0, -200, 0, 50, 3});
  lines.push_back({0, 50, 0, 200, 3});
  ORI_manifold* om = load(opxText(lines));
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->n_face, 2);
  int inner = 0;
  for (List* l = om->verts; l && l->data; l = l->next) inner += !static_cast<ORI_vert*>(l->data)->on_boundary;
  EXPECT_EQ(inner, 1);
  oriManifoldIndex(om);
  int creases = 0;
  for (List* l = om->edges; l && l->data; l = l->next) creases += static_cast<ORI_edge*>(l->data)->crease_index >= 0;
  EXPECT_EQ(creases, 4);  // both pieces, both halves
  EXPECT_EQ(oriManifoldValidate(om, nullptr, 0), 0);
  oriManifoldDelete(om);
}

TEST(OpxReader, CreasesMeetingAwayFromTheirEndsAreSplitAndCrossingGuidesDropped) {
  std::vector<OriPatternLine> lines = squareLines();
  // A crease ending on the middle of another (a T), and a guide line crossing both.
  lines.push_back({-200, -200, 200, 200, 2});
  lines.push_back({-200, 200, 0, 0, 3});
  lines.push_back({-200, 0, 200, 0, 0});
  std::string printed;
  ORI_manifold* om = load(opxText(lines), &printed);
  ASSERT_NE(om, nullptr) << oriReadError();
  EXPECT_NE(printed.find("split 1 line(s)"), std::string::npos) << printed;
  EXPECT_NE(printed.find("dropped 1 auxiliary line(s)"), std::string::npos) << printed;
  EXPECT_EQ(om->n_face, 3);
  EXPECT_EQ(oriManifoldValidate(om, nullptr, 0), 0);
  oriManifoldDelete(om);
}

TEST(OpxReader, PaperSizeIsTheLastPropertyOrFourHundred) {
  const std::string ps = "  <void property=\"paperSize\"> \n   <double>500.0</double> \n  </void> \n";
  const std::string title = "  <void property=\"title\">\n   <string>x</string>\n  </void>\n";
  ORI_manifold* om = load(document(squareRecords(), "", title + ps + title));
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->paper_size, 500.0);
  EXPECT_TRUE(hasVertexNear(om, -0.4, 0.4));
  oriManifoldDelete(om);
  om = load(document(squareRecords()));
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(om->paper_size, 400.0);
  oriManifoldDelete(om);
  int result = 0;
  om = load(document(squareRecords(), "", "  <void property=\"paperSize\">\n   <double>NaN</double>\n  </void>\n"),
            nullptr, &result);
  EXPECT_EQ(om, nullptr);
  EXPECT_NE(result, 0);
}

TEST(OpxReader, CurrentEditorsLayoutThroughGetField) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<java version=\"1.8.0_333\" class=\"java.beans.XMLDecoder\">\n";
  s += " <object class=\"oripa.DataSet\" id=\"DataSet0\">\n";
  s += "  <void property=\"editorName\">\n   <string>someone\nover two lines</string>\n  </void>\n";
  s += "  <void class=\"oripa.DataSet\" method=\"getField\">\n   <string>lines</string>\n   <void method=\"set\">\n";
  s += "    <object idref=\"DataSet0\"/>\n    <array class=\"oripa.OriLineProxy\" length=\"5\">\n";
  for (const auto& l : squareWithDiagonal(2)) s += lineRecord(l.type, l.x0, l.y0, l.x1, l.y1);
  s += "    </array>\n   </void>\n  </void>\n";
  s += "  <void property=\"paperSize\">\n   <double>400.0</double>\n  </void>\n </object>\n</java>\n";
  ORI_manifold* om = load(s);
  ASSERT_NE(om, nullptr) << oriReadError();
  EXPECT_EQ(om->n_face, 2);
  oriManifoldDelete(om);
}

TEST(OpxReader, DamagedFilesFailWithAReasonAndNoMesh) {
  struct Case {
    const char* what;
    std::string text;
    const char* reason;
  };
  const std::string full = document(squareRecords());
  std::vector<Case> cases = {
      {"empty", "", "no data-set object"},
      {"another class", "<java>\n <object class=\"java.lang.String\">\n", "not oripa.DataSet"},
      {"ends before lines", "<java>\n <object class=\"oripa.DataSet\">\n", "before the lines"},
      {"ends before array", "<java>\n <object class=\"oripa.DataSet\">\n  <void property=\"lines\">\n", "before the array"},
      {"truncated record", full.substr(0, full.find("</object>", full.find("length")) - 20), "ends inside line record"},
      {"hostile length", document(squareRecords(), "2000000000"), "of the 2000000000 declared"},
      {"no lines", document({}), "no lines"},
      {"no outline", document({lineRecord(2, 0, 0, 100, 0)}), ""},
      {"open outline", document({lineRecord(1, 0, 0, 100, 0), lineRecord(1, 100, 0, 100, 100)}), ""},
  };
  for (const Case& c : cases) {
    int result = 0;
    ORI_manifold* om = load(c.text, nullptr, &result);
    EXPECT_EQ(om, nullptr) << c.what;
    EXPECT_NE(result, 0) << c.what;
    EXPECT_NE(std::string(oriReadError()).find(c.reason), std::string::npos) << c.what << ": " << oriReadError();
    EXPECT_STRNE(oriReadError(), "") << c.what;
    oriManifoldDelete(om);
  }
}

TEST(OpxReader, VertexOfManyMoreThan128LinesLoadsAndFolds) {
  std::vector<OriPatternLine> lines;
  const int spokes = 300;
  // A fan of spokes from the centre to a polygon outline.
  for (int k = 0; k < spokes; ++k) {
    const double a0 = 2 * M_PI * k / spokes, a1 = 2 * M_PI * (k + 1) / spokes;
    lines.push_back({0, 0, 200 * std::cos(a0), 200 * std::sin(a0), k % 2 == 0 ? 2 : 3});
    lines.push_back({200 * std::cos(a0), 200 * std::sin(a0), 200 * std::cos(a1), 200 * std::sin(a1), 1});
  }
  int result = 0;
  ORI_manifold* om = load(opxText(lines), nullptr, &result);
  ASSERT_NE(om, nullptr) << oriReadError();
  EXPECT_EQ(om->n_vert, spokes + 1);
  EXPECT_EQ(om->n_face, spokes);
  const ORI_vert* centre = nullptr;
  for (List* l = om->verts; l && l->data; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (v->n_out == spokes) centre = v;
  }
  ASSERT_NE(centre, nullptr);
  EXPECT_FALSE(centre->on_boundary);
  testing::internal::CaptureStdout();
  ORISIM_matrix* osm = nullptr;
  ASSERT_EQ(oriManifoldPrepareForFolding(om, 1, 0, &osm), 0);
  int frame_no = 0;
  EXPECT_EQ(oriFoldStep(osm, om, oriFoldHeldStep(10, 0), "CG", &frame_no, nullptr, nullptr, nullptr), 0);
  testing::internal::GetCapturedStdout();
  char why[160];
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  EXPECT_EQ(osm->m, 3) << "one inner vertex gives three closure rows";
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(OpxReader, ReadingAStreamTwiceRewindsIt) {
  const std::string text = opxText(squareWithDiagonal(2));
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  char sink[64];
  ASSERT_NE(std::fgets(sink, sizeof sink, fp), nullptr);
  ORI_manifold* om = oriManifoldNew();
  testing::internal::CaptureStdout();
  EXPECT_EQ(oriManifoldConstructFromOpx(om, nullptr, fp), 0);
  testing::internal::GetCapturedStdout();
  std::fclose(fp);
  EXPECT_EQ(om->n_face, 2);
  oriManifoldDelete(om);
}
