#include "files/fold_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "files/obj_export.h"
#include "input/read_error.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"
#include "tests/support/interop_fixtures.h"

#include "geometry/tessellate.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

namespace {

using Json = nlohmann::json;

// The target of the fold types in degrees, as frame 0 gives it.
const double kTargetDegrees = kOriTargetAngle * 180.0 / M_PI;

// A prepared (flat, numbered, placed) mesh of lines.
ORI_manifold* prepared(const std::vector<OriPatternLine>& lines) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(lines));
  testing::internal::GetCapturedStdout();
  if (om != nullptr) oriManifoldPrepare(om, 0);
  return om;
}

std::string saved(const ORI_fold_recording* rec) {
  FILE* fp = std::tmpfile();
  EXPECT_EQ(oriFoldRecordingSave(rec, fp), 0);
  std::rewind(fp);
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) text.append(buf, n);
  std::fclose(fp);
  return text;
}

bool isIndex(const Json& v, size_t n) { return v.is_number_integer() && v.get<long>() >= 0 && v.get<size_t>() < n; }

bool isAngle(const Json& v) { return v.is_number() && v.get<double>() >= -180.0 && v.get<double>() <= 180.0; }

// What a FOLD document breaks of the format's rules, one sentence each ("" when
// nothing): per-edge and per-face lists as long as the edges and faces,
// indices in range, angles in [-180, 180] with the sign of their assignment in
// frame 0, faces counter-clockwise along edges of the sheet, and folded frames
// that inherit frame 0 with one 3D point per vertex and one angle per edge.
std::string foldProblems(const Json& doc) {
  std::ostringstream p;
  const Json& coords = doc["vertices_coords"];
  const Json& edges = doc["edges_vertices"];
  const Json& assign = doc["edges_assignment"];
  const Json& angles = doc["edges_foldAngle"];
  const Json& faces = doc["faces_vertices"];
  const size_t V = coords.size(), E = edges.size();
  if (!coords.is_array() || !edges.is_array() || !faces.is_array()) return "a list of frame 0 is missing";
  if (assign.size() != E) p << "edges_assignment has " << assign.size() << " entries for " << E << " edges. ";
  if (angles.size() != E) p << "edges_foldAngle has " << angles.size() << " entries for " << E << " edges. ";
  for (const Json& c : coords) {
    if (!c.is_array() || c.size() != 2 || !c[0].is_number() || !c[1].is_number()) p << "a frame 0 point is not 2D. ";
  }
  std::set<std::pair<size_t, size_t>> sides;
  for (size_t k = 0; k < E; ++k) {
    const Json& e = edges[k];
    if (!e.is_array() || e.size() != 2 || !isIndex(e[0], V) || !isIndex(e[1], V) || e[0] == e[1]) {
      p << "edge " << k << " does not join two vertices. ";
      continue;
    }
    sides.insert({e[0].get<size_t>(), e[1].get<size_t>()});
    sides.insert({e[1].get<size_t>(), e[0].get<size_t>()});
    if (k >= assign.size() || k >= angles.size()) continue;
    const std::string a = assign[k].is_string() ? assign[k].get<std::string>() : "?";
    if (std::string("BMVFUCJ").find(a) == std::string::npos || a.size() != 1)
      p << "edge " << k << " has assignment " << a << ". ";
    if (!isAngle(angles[k])) {
      p << "edge " << k << " has angle " << angles[k] << ". ";
    } else {
      const double d = angles[k].get<double>();
      if ((a == "V" && !(d > 0)) || (a == "M" && !(d < 0)) || ((a == "B" || a == "F") && d != 0)) {
        p << "edge " << k << " (" << a << ") has angle " << d << ". ";
      }
    }
  }
  for (size_t f = 0; f < faces.size(); ++f) {
    const Json& face = faces[f];
    bool indices = face.is_array() && face.size() >= 3;
    for (size_t i = 0; indices && i < face.size(); ++i) indices = isIndex(face[i], V);
    if (!indices) {
      p << "face " << f << " is not a list of 3 or more vertices. ";
      continue;
    }
    double area = 0;
    for (size_t i = 0; i < face.size(); ++i) {
      const size_t a = face[i].get<size_t>(), b = face[(i + 1) % face.size()].get<size_t>();
      area += coords[a][0].get<double>() * coords[b][1].get<double>() -
              coords[b][0].get<double>() * coords[a][1].get<double>();
      if (sides.count({a, b}) == 0) p << "face " << f << " runs along no edge from " << a << " to " << b << ". ";
    }
    if (!(area > 0)) p << "face " << f << " is not counter-clockwise. ";
  }
  if (doc.contains("file_frames")) {
    const Json& frames = doc["file_frames"];
    for (size_t k = 0; k < frames.size(); ++k) {
      const Json& fr = frames[k];
      if (fr["frame_parent"] != 0 || fr["frame_inherit"] != true)
        p << "frame " << k + 1 << " does not inherit frame 0. ";
      if (fr["frame_classes"] != Json::array({"foldedForm"})) p << "frame " << k + 1 << " is not a folded form. ";
      const Json& fc = fr["vertices_coords"];
      if (fc.size() != V) p << "frame " << k + 1 << " has " << fc.size() << " points for " << V << " vertices. ";
      for (const Json& c : fc) {
        if (!c.is_array() || c.size() != 3 || !c[0].is_number() || !c[1].is_number() || !c[2].is_number()) {
          p << "a point of frame " << k + 1 << " is not 3D. ";
          break;
        }
      }
      const Json& fa = fr["edges_foldAngle"];
      if (fa.size() != E) p << "frame " << k + 1 << " has " << fa.size() << " angles for " << E << " edges. ";
      for (const Json& a : fa) {
        if (!isAngle(a)) p << "frame " << k + 1 << " has angle " << a << ". ";
      }
    }
  }
  return p.str();
}

// Sets every fold line to share of its target and places the faces.
void foldTo(ORI_manifold* om, double share) {
  for (List* n = om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    ORI_edge* e = static_cast<ORI_edge*>(n->data);
    e->angle = e->target_angle * share;
  }
  oriManifoldUpdate(om, om->center_face);
}

// The "v" lines of the OBJ file of om, as numbers.
std::vector<std::vector<double>> objVertices(ORI_manifold* om) {
  FILE* fp = std::tmpfile();
  oriManifoldSaveObj(om, fp);
  std::rewind(fp);
  std::vector<std::vector<double>> out;
  char line[256];
  while (std::fgets(line, sizeof line, fp) != nullptr) {
    double x, y, z;
    if (std::sscanf(line, "v %lf %lf %lf", &x, &y, &z) == 3) out.push_back({x, y, z});
  }
  std::fclose(fp);
  return out;
}

}  // namespace

TEST(FoldExport, Frame0IsTheCreasePatternInThePatternsUnits) {
  // Creases to the middle of each side: right 2, up 2, left 3, down 2 (file
  // y runs down, so "up" in the file is -y and +y in FOLD).
  ORI_manifold* om = prepared(degree4Vertex(2, 2, 3, 2));
  ASSERT_NE(om, nullptr);
  ORI_fold_recording* rec = oriFoldRecordingBegin(om);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(oriFoldRecordingFrameCount(rec), 1);
  const Json doc = Json::parse(saved(rec));
  EXPECT_EQ(foldProblems(doc), "");
  EXPECT_EQ(doc["file_spec"], 1.2);
  EXPECT_EQ(doc["file_creator"], "Plicata");
  EXPECT_EQ(doc["file_classes"], Json::array({"singleModel"}));
  EXPECT_EQ(doc["frame_classes"], Json::array({"creasePattern"}));
  EXPECT_FALSE(doc.contains("file_frames"));
  EXPECT_EQ(doc["vertices_coords"].size(), 9u);
  EXPECT_EQ(doc["edges_vertices"].size(), 12u);
  EXPECT_EQ(doc["faces_vertices"].size(), 4u);

  // Each crease from the centre, by the FOLD point of its far end.
  std::set<std::pair<std::vector<double>, std::string>> creases;
  for (size_t k = 0; k < doc["edges_vertices"].size(); ++k) {
    const std::string a = doc["edges_assignment"][k];
    const double angle = doc["edges_foldAngle"][k];
    if (a == "B") continue;
    EXPECT_NEAR(std::fabs(angle), kTargetDegrees, 1e-5);
    for (const Json& v : doc["edges_vertices"][k]) {
      const std::vector<double> p = doc["vertices_coords"][v.get<size_t>()];
      if (p[0] != 0 || p[1] != 0) creases.insert({p, a});
    }
  }
  const std::set<std::pair<std::vector<double>, std::string>> want = {
      {{200, 0}, "M"}, {{0, -200}, "M"}, {{-200, 0}, "V"}, {{0, 200}, "M"}};
  EXPECT_EQ(creases, want);
  oriFoldRecordingDelete(rec);
  oriManifoldDelete(om);
}

TEST(FoldExport, APatternWrittenAndReadBackIsTheSameMesh) {
  std::vector<std::pair<std::string, ORI_manifold*>> meshes = {
      {"degree-4 vertex", prepared(degree4Vertex(2, 3, 2, 2))},
      {"2 x 2 Miura-ori", prepared(miura2x2())},
      {"square with a flat diagonal", prepared(squareWithDiagonal(0))},
  };
  for (const std::string& path : realPatterns("opx", ".opx")) {
    ORI_manifold* om = loadOpxFileQuietly(path);
    if (om != nullptr) oriManifoldPrepare(om, 0);
    if (om != nullptr) meshes.push_back({path, om});
  }
  for (auto& m : meshes) {
    SCOPED_TRACE(m.first);
    ASSERT_NE(m.second, nullptr);
    ORI_fold_recording* rec = oriFoldRecordingBegin(m.second);
    const std::string text = saved(rec);
    EXPECT_EQ(foldProblems(Json::parse(text)), "");
    ORI_manifold* back = loadPatternText(text, "written.fold");
    ASSERT_NE(back, nullptr) << oriReadError();
    expectSameSheet(m.second, back);
    oriManifoldDelete(back);
    oriFoldRecordingDelete(rec);
    oriManifoldDelete(m.second);
  }
}

TEST(FoldExport, FoldedFramesInheritFrame0AndMatchTheObj) {
  ORI_manifold* om = prepared(miura2x2());
  ASSERT_NE(om, nullptr);
  ORI_fold_recording* rec = oriFoldRecordingBegin(om);
  // The display frame turned a quarter about z: frames follow it as the OBJ does.
  const double turn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::copy(turn, turn + 16, om->model_matrix);
  for (int k = 1; k <= 3; ++k) {
    foldTo(om, k / 4.0);
    ASSERT_EQ(oriFoldRecordingFrame(rec, om), 0);
  }
  EXPECT_EQ(oriFoldRecordingFrameCount(rec), 4);
  const Json doc = Json::parse(saved(rec));
  EXPECT_EQ(foldProblems(doc), "");
  EXPECT_EQ(doc["file_classes"], Json::array({"animation"}));
  ASSERT_EQ(doc["file_frames"].size(), 3u);

  const Json& last = doc["file_frames"][2];
  const std::vector<std::vector<double>> obj = objVertices(om);
  ASSERT_EQ(last["vertices_coords"].size(), obj.size());
  for (size_t v = 0; v < obj.size(); ++v) {
    EXPECT_EQ(last["vertices_coords"][v].get<std::vector<double>>(), obj[v]) << "vertex " << v;
  }
  bool lifted = false;
  for (const auto& p : obj) lifted = lifted || std::fabs(p[2]) > 1.0;
  EXPECT_TRUE(lifted) << "the frames are not folded";
  // Read back, the animation opens as its crease pattern.
  ORI_manifold* back = loadPatternText(saved(rec), "animation.fold");
  expectSameSheet(om, back);
  oriManifoldDelete(back);
  for (size_t k = 0; k < doc["edges_assignment"].size(); ++k) {
    const std::string a = doc["edges_assignment"][k];
    const double want = a == "V" ? kTargetDegrees * 0.75 : a == "M" ? -kTargetDegrees * 0.75 : 0.0;
    EXPECT_NEAR(last["edges_foldAngle"][k].get<double>(), want, 1e-5) << "edge " << k << " " << a;
  }
  oriFoldRecordingDelete(rec);
  oriManifoldDelete(om);
}

TEST(FoldExport, AnglesAreClampedAndUnfitFramesAreNotRecorded) {
  ORI_manifold* om = prepared(squareWithDiagonal(2));
  ORI_manifold* other = prepared(degree4Vertex(2, 2, 3, 2));
  ASSERT_TRUE(om != nullptr && other != nullptr);
  ORI_fold_recording* rec = oriFoldRecordingBegin(om);
  for (List* n = om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    ORI_edge* e = static_cast<ORI_edge*>(n->data);
    e->angle = e->on_boundary || e->pair->on_boundary ? 1.0 : 4.0;  // outline angles are never written
  }
  ASSERT_EQ(oriFoldRecordingFrame(rec, om), 0);
  EXPECT_EQ(oriFoldRecordingFrame(rec, other), -1) << "another mesh";
  static_cast<ORI_edge*>(om->edges->data)->angle = NAN;
  EXPECT_EQ(oriFoldRecordingFrame(rec, om), -1) << "an angle that is no number";
  EXPECT_EQ(oriFoldRecordingFrameCount(rec), 2);
  const Json doc = Json::parse(saved(rec));
  EXPECT_EQ(foldProblems(doc), "");
  for (size_t k = 0; k < doc["edges_assignment"].size(); ++k) {
    EXPECT_EQ(doc["file_frames"][0]["edges_foldAngle"][k], doc["edges_assignment"][k] == "B" ? 0.0 : 180.0);
  }

  EXPECT_EQ(oriFoldRecordingSave(rec, nullptr), -1);
  EXPECT_EQ(oriFoldRecordingSave(nullptr, stdout), -1);
  EXPECT_EQ(oriFoldRecordingSaveFile(rec, "/nonexistent-dir/out.fold"), -1);
  FILE* full = std::fopen("/dev/full", "w");
  if (full != nullptr) {
    EXPECT_EQ(oriFoldRecordingSave(rec, full), -1) << "a write that fails";
    std::fclose(full);
  }
  ORI_manifold* empty = oriManifoldNew();
  EXPECT_EQ(oriFoldRecordingBegin(empty), nullptr);
  oriManifoldDelete(empty);
  oriFoldRecordingDelete(rec);
  oriFoldRecordingDelete(nullptr);
  oriManifoldDelete(om);
  oriManifoldDelete(other);
}

// Every pattern of the exchange formats that loads folds with the invariants
// holding, and its recording validates with the last frame equal to the OBJ.
TEST(FoldExport, RealPatternsFoldAndRecordValidFrames) {
  std::vector<std::string> files = realPatterns("fold", ".fold");
  for (const char* kind : {"cp", "svg"}) {
    for (const std::string& f : realPatterns(kind, std::string(".") + kind)) files.push_back(f);
  }
  if (files.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    ORI_manifold* om = loadPatternText(slurpFile(path), path);
    if (om == nullptr) continue;  // the refusals are the readers' tests
    testing::internal::CaptureStdout();
    oriManifoldTessFace(om);
    oriManifoldPrepare(om, 0);
    ORISIM_matrix* osm = oriSimNew(om);
    oriSimInitMatrix(osm, om);
    testing::internal::GetCapturedStdout();
    char why[256] = "";
    ASSERT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
    ASSERT_TRUE(oriManifoldTriangulated(om));
    ORI_fold_recording* rec = oriFoldRecordingBegin(om);
    for (int step = 0; step < 20; ++step) {
      oriSimUpdateStateCG(osm, om, 0.05);
      oriManifoldUpdate(om, om->center_face);
      ASSERT_EQ(oriFoldRecordingFrame(rec, om), 0) << "step " << step;
    }
    EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
    const Json doc = Json::parse(saved(rec));
    EXPECT_EQ(foldProblems(doc), "");
    ASSERT_EQ(doc["file_frames"].size(), 20u);
    const std::vector<std::vector<double>> obj = objVertices(om);
    for (size_t v = 0; v < obj.size(); ++v) {
      EXPECT_EQ(doc["file_frames"][19]["vertices_coords"][v].get<std::vector<double>>(), obj[v]) << v;
    }
    oriFoldRecordingDelete(rec);
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
}

TEST(FoldExport, StrainIsRecordedPerEdgeOnlyWhenAsked) {
  ORI_manifold* om = prepared(miura2x2());
  ASSERT_NE(om, nullptr);
  ORI_fold_recording* plain = oriFoldRecordingBegin(om);
  ORI_fold_recording* strained = oriFoldRecordingBegin(om);
  oriFoldRecordingKeepStrain(strained);
  // The whole sheet stretched by a tenth: every edge's strain is 0.1.
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    static_cast<ORI_vert*>(l->data)->pos *= 1.1;
  }
  ASSERT_EQ(oriFoldRecordingFrame(plain, om), 0);
  ASSERT_EQ(oriFoldRecordingFrame(strained, om), 0);
  oriFoldRecordingKeepStrain(strained);  // after a frame: changes nothing
  const Json without = Json::parse(saved(plain));
  const Json with = Json::parse(saved(strained));
  EXPECT_FALSE(without["file_frames"][0].contains("edges_plicata:strain"));
  const Json& strain = with["file_frames"][0]["edges_plicata:strain"];
  ASSERT_EQ(strain.size(), with["edges_vertices"].size());
  for (size_t k = 0; k < strain.size(); ++k) EXPECT_NEAR(strain[k].get<double>(), 0.1, 1e-6) << "edge " << k;
  Json rest = with;
  rest["file_frames"][0].erase("edges_plicata:strain");
  EXPECT_EQ(rest, without);
  oriFoldRecordingDelete(plain);
  oriFoldRecordingDelete(strained);
  oriManifoldDelete(om);
}
