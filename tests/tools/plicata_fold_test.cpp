// plicata-fold and plicata-gen as a user runs them: folding a shipped
// Miura-ori with frames recorded, the summary line, the one-line errors, and
// the shipped examples as the generator's output.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

class PlicataCommands : public testing::Test {
 protected:
  void SetUp() override {
    const char* exe = std::getenv("PLICATA_FOLD");
    if (exe == nullptr || !fs::exists(exe)) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
    fold_ = exe;
    gen_ = (fs::path(exe).parent_path() / "plicata-gen").string();  // built beside it
    examples_ = fs::path(PLICATA_SOURCE_DIR) / "examples";
    miura_ = (examples_ / "miura_4x4.opx").string();
    std::string tmpl = (fs::temp_directory_path() / "plicata-cmd-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    tmp_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    if (!tmp_.empty()) fs::remove_all(tmp_, ec);
  }

  // Runs exe with args; keeps standard output and error; returns the exit status.
  int run(const std::string& exe, const std::vector<std::string>& args) {
    auto quote = [](const std::string& s) {
      std::string q = "'";
      for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
      return q + "'";
    };
    std::string cmd = quote(exe);
    for (const std::string& a : args) cmd += " " + quote(a);
    cmd += " >" + quote((tmp_ / "out").string()) + " 2>" + quote((tmp_ / "err").string()) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    out_ = readFile(tmp_ / "out");
    err_ = readFile(tmp_ / "err");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // The last line of standard output, in the summary's exact format.
  void summary(long steps, double* residual, double* max_delta) {
    ASSERT_FALSE(out_.empty());
    ASSERT_EQ(out_.back(), '\n');
    const size_t start = out_.rfind('\n', out_.size() - 2);
    const std::string last = out_.substr(start == std::string::npos ? 0 : start + 1);
    long n = -1;
    ASSERT_EQ(std::sscanf(last.c_str(), "steps=%ld residual=%lf max_delta=%lf", &n, residual, max_delta), 3) << last;
    char again[128];
    std::snprintf(again, sizeof again, "steps=%ld residual=%.3e max_delta=%.6f\n", n, *residual, *max_delta);
    EXPECT_EQ(last, again);
    EXPECT_EQ(n, steps);
  }

  std::string fold_, gen_, miura_, out_, err_;
  fs::path examples_, tmp_;
};

}  // namespace

TEST_F(PlicataCommands, FoldTwentyStepsWritesTwentyOneFramesAndTheSummary) {
  const fs::path dir = tmp_ / "a" / "frames";  // created with its parent
  const fs::path obj = tmp_ / "final.obj";
  ASSERT_EQ(run(fold_, {"--steps", "20", "--out", dir.string(), "--obj", obj.string(), miura_}), 0) << err_;
  std::vector<std::string> frames;
  for (const auto& e : fs::directory_iterator(dir)) frames.push_back(e.path().filename().string());
  std::sort(frames.begin(), frames.end());
  ASSERT_EQ(frames.size(), 21u);
  EXPECT_EQ(frames.front(), "m00000.obj");
  EXPECT_EQ(frames.back(), "m00020.obj");
  EXPECT_EQ(readFile(dir / "m00020.obj"), readFile(obj));  // the last frame is the final shape
  EXPECT_NE(readFile(dir / "m00000.obj"), readFile(obj));
  // Standard output is the summary alone; the loader's messages come with
  // --verbose, on standard error, without a memory address.
  EXPECT_EQ(lines(out_), 1) << out_;
  EXPECT_EQ(err_.find("Matrix"), std::string::npos) << err_;
  EXPECT_EQ(err_.find("warning"), std::string::npos) << err_;  // this fold passes through nothing
  ASSERT_EQ(run(fold_, {"--verbose", "--steps", "20", miura_}), 0) << err_;
  EXPECT_EQ(lines(out_), 1) << out_;
  EXPECT_NE(err_.find("\tinitializing SimMatrix\n"), std::string::npos);
  // Quadrilateral facets are cut into triangles, as an empty answer does.
  EXPECT_NE(err_.find("\ttriangulating\n"), std::string::npos);
  EXPECT_NE(err_.find("Matrix\n size1: 27\n size2: 40\n"), std::string::npos) << err_;
  EXPECT_EQ(err_.find("data:"), std::string::npos) << err_;
  double residual = -1, max_delta = -1;
  summary(20, &residual, &max_delta);
  EXPECT_LT(residual, 0.05);
  EXPECT_GT(max_delta, 0.0);
  EXPECT_LE(max_delta, 0.5);
  EXPECT_NE(err_.find("step 20/20"), std::string::npos) << err_;  // progress, plain lines off a terminal
}

TEST_F(PlicataCommands, FoldStepUnfoldAndNoStepsMoveAsTheKeysWould) {
  double residual, max_delta;
  ASSERT_EQ(run(fold_, {"--out", (tmp_ / "none").string(), miura_}), 0) << err_;
  summary(0, &residual, &max_delta);
  EXPECT_EQ(max_delta, 0.0);
  EXPECT_TRUE(fs::is_empty(tmp_ / "none"));  // no step, no frame
  ASSERT_EQ(run(fold_, {"--steps", "3", "--fold-step", "0", miura_}), 0) << err_;
  summary(3, &residual, &max_delta);
  EXPECT_EQ(max_delta, 0.0);
  EXPECT_LT(residual, 1e-12);
  ASSERT_EQ(run(fold_, {"--steps", "2", "--fold-step", "1", miura_}), 0) << err_;
  summary(2, &residual, &max_delta);
  EXPECT_GT(max_delta, 0.0);
  EXPECT_LE(max_delta, 0.05);
  ASSERT_EQ(run(fold_, {"--steps", "5", "--unfold", miura_}), 0) << err_;  // a flat sheet stays flat
  summary(5, &residual, &max_delta);
  EXPECT_EQ(max_delta, 0.0);
}

TEST_F(PlicataCommands, FoldProblemsGiveOneLineOnStandardError) {
  const std::vector<std::vector<std::string>> usage = {
      {"--steps", "-1", miura_}, {"--steps", "many", miura_}, {"--fold-step", "51", miura_},
      {"--fold-step", "2.5", miura_}, {"--out"}, {"--bogus", miura_}, {}};
  for (const auto& args : usage) {
    EXPECT_EQ(run(fold_, args), 2) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(lines(err_), 1) << err_;
    EXPECT_EQ(err_.rfind("plicata-fold: ", 0), 0u) << err_;
  }
  const std::string missing = (tmp_ / "missing.opx").string();
  const fs::path blocker = tmp_ / "blocker";  // a file where the frame directory should be
  std::ofstream(blocker) << "x";
  for (const auto& [args, named] :
       {std::pair{std::vector<std::string>{missing}, missing},
        std::pair{std::vector<std::string>{"--steps", "2", "--out", blocker.string(), miura_}, blocker.string()},
        std::pair{std::vector<std::string>{"--obj", (tmp_ / "no" / "x.obj").string(), miura_},
                  (tmp_ / "no" / "x.obj").string()}}) {
    EXPECT_EQ(run(fold_, args), 1) << named;
    EXPECT_EQ(lines(err_), 1) << err_;
    EXPECT_EQ(err_.rfind("plicata-fold: " + named + ": ", 0), 0u) << err_;
  }
}

TEST_F(PlicataCommands, ShippedExamplesAreTheGeneratorsOutput) {
  if (!fs::exists(gen_)) GTEST_SKIP() << "plicata-gen is not built beside plicata-fold";
  for (const auto& [args, file] : {std::pair{std::vector<std::string>{"miura", "--rows", "4", "--cols", "4"}, "miura_4x4.opx"},
                                   std::pair{std::vector<std::string>{"vertex"}, "degree4_vertex.opx"},
                                   std::pair{std::vector<std::string>{"waterbomb", "--rows", "3", "--cols", "3"},
                                             "waterbomb_3x3.opx"}}) {
    ASSERT_EQ(run(gen_, args), 0) << file << ": " << err_;
    EXPECT_EQ(out_, readFile(examples_ / file)) << file;
  }
  ASSERT_EQ(run(gen_, {"vertex", "--sectors", "90,90,90,90", "--types", "2,0,2,0", "--rotation", "45", "-o",
                       (tmp_ / "v.opx").string()}), 0) << err_;
  EXPECT_NE(readFile(tmp_ / "v.opx").find("length=\"8\""), std::string::npos);  // creases into the corners
  // Usage errors (2) and refused parameters (1): one line each, nothing written.
  for (const auto& [args, status] : {std::pair{std::vector<std::string>{}, 2}, {{"square"}, 2}, {{"miura", "--rows"}, 2},
                                     {{"miura", "--assign", "sideways"}, 2}, {{"vertex", "--rows", "3"}, 2},
                                     {{"miura", "stray"}, 2}, {{"vertex", "--sectors", "100,100,100"}, 1},
                                     {{"miura", "--angle", "95"}, 1}, {{"miura", "--rows", "300"}, 1}}) {
    EXPECT_EQ(run(gen_, args), status) << (args.empty() ? "" : args.back());
    EXPECT_EQ(lines(err_), 1) << err_;
    EXPECT_EQ(err_.rfind("plicata-gen: ", 0), 0u) << err_;
    EXPECT_TRUE(out_.empty());
  }
}

// As a new user meets them: an example by its bare name from any folder, a
// name found nowhere saying where it was looked for, and a fold that passes
// through itself warned of without --collisions.
TEST_F(PlicataCommands, ExamplesByNameAndTheLastShapesWarning) {
  const fs::path before = fs::current_path();
  fs::current_path(tmp_);
  EXPECT_EQ(run(fold_, {"--steps", "40", "waterbomb_3x3.opx"}), 0) << err_;
  EXPECT_EQ(lines(out_), 1) << out_;
  EXPECT_NE(err_.find("plicata-fold: warning: in the last shape (step 40) "), std::string::npos) << err_;
  EXPECT_NE(err_.find("--collisions finds the first step"), std::string::npos) << err_;
  EXPECT_EQ(run(fold_, {"--collisions", "--steps", "40", "waterbomb_3x3.opx"}), 0) << err_;
  EXPECT_NE(out_.find("collision step="), std::string::npos) << out_;
  EXPECT_EQ(err_.find("warning"), std::string::npos) << err_;
  EXPECT_EQ(run(fold_, {"no_such_pattern.opx"}), 1);
  fs::current_path(before);
  EXPECT_EQ(lines(err_), 1) << err_;
  EXPECT_NE(err_.find((tmp_ / "no_such_pattern.opx").string()), std::string::npos) << err_;
  EXPECT_NE(err_.find(fs::canonical(examples_).string()), std::string::npos) << err_;

  for (const std::string& exe : {fold_, gen_}) {
    ASSERT_EQ(run(exe, {"--version"}), 0) << exe;
    EXPECT_EQ(out_, fs::path(exe).filename().string() + " " PLICATA_VERSION "\n");
  }
}

TEST_F(PlicataCommands, NoTriangulateKeepsTheFacetsWhole) {
  ASSERT_EQ(run(fold_, {"--verbose", "--no-triangulate", "--steps", "3", miura_}), 0) << err_;
  EXPECT_NE(err_.find("\tno tess\n"), std::string::npos);
  EXPECT_NE(err_.find("Matrix\n size1: 27\n size2: 24\n"), std::string::npos);
}

TEST_F(PlicataCommands, NextOpensOntoTheFoldedModelAndGoesOnFolding) {
  // Folding 10 steps, opening the same pattern onto the fold and folding 10
  // more gives the shape of the first fold at the switch (no jump): the frame
  // written right after the switch is the carried shape, re-placed.
  const fs::path dir = tmp_ / "frames";
  ASSERT_EQ(run(fold_, {"--verbose", "--steps", "10", "--out", dir.string(), miura_, "--next", miura_, "--steps",
                        "10"}), 0)
      << err_;
  double residual, max_delta;
  summary(20, &residual, &max_delta);
  EXPECT_LT(residual, 0.05);
  EXPECT_TRUE(fs::exists(dir / "m00020.obj"));
  EXPECT_FALSE(fs::exists(dir / "m00021.obj"));
  // Both loads triangulate and report their matrices.
  size_t first = err_.find("Matrix\n"), second = err_.find("Matrix\n", first + 1);
  EXPECT_NE(second, std::string::npos);
  // Opening onto the fold alone (no further steps) keeps the folded vertices.
  const fs::path a = tmp_ / "a.obj", b = tmp_ / "b.obj";
  ASSERT_EQ(run(fold_, {"--steps", "10", "--obj", a.string(), miura_}), 0) << err_;
  ASSERT_EQ(run(fold_, {"--steps", "10", "--obj", b.string(), miura_, "--next", miura_}), 0) << err_;
  std::ifstream fa(a), fb(b);
  std::string la, lb;
  int compared = 0;
  while (std::getline(fa, la) && std::getline(fb, lb)) {
    if (la.rfind("v ", 0) != 0) continue;
    double xa, ya, za, xb, yb, zb;
    ASSERT_EQ(std::sscanf(la.c_str(), "v %lf %lf %lf", &xa, &ya, &za), 3);
    ASSERT_EQ(std::sscanf(lb.c_str(), "v %lf %lf %lf", &xb, &yb, &zb), 3);
    EXPECT_NEAR(xa, xb, 0.2);  // the closure error of the fold, not a jump
    EXPECT_NEAR(ya, yb, 0.2);
    EXPECT_NEAR(za, zb, 0.2);
    ++compared;
  }
  EXPECT_EQ(compared, 25);
  EXPECT_NE(run(fold_, {"--next", miura_}), 0);
  EXPECT_NE(err_.find("--next comes after the first pattern"), std::string::npos) << err_;
}

TEST_F(PlicataCommands, FoldOutWritesTheWholeFoldingAsAnAnimation) {
  const fs::path fold = tmp_ / "out.fold", obj = tmp_ / "final.obj";
  ASSERT_EQ(run(fold_, {"--steps", "20", "--fold-out", fold.string(), "--obj", obj.string(), miura_}), 0) << err_;
  std::ifstream in(fold);
  const nlohmann::json doc = nlohmann::json::parse(in);
  EXPECT_EQ(doc["file_creator"], "Plicata");
  EXPECT_EQ(doc["file_classes"][0], "animation");
  ASSERT_EQ(doc["file_frames"].size(), 20u);  // 21 frames with frame 0, the crease pattern
  const auto& last = doc["file_frames"][19]["vertices_coords"];
  std::ifstream objin(obj);
  std::string line;
  size_t k = 0;
  while (std::getline(objin, line)) {
    if (line.rfind("v ", 0) != 0) continue;
    double x, y, z;
    ASSERT_EQ(std::sscanf(line.c_str(), "v %lf %lf %lf", &x, &y, &z), 3);
    ASSERT_LT(k, last.size());
    EXPECT_NEAR(last[k][0].get<double>(), x, 1e-6);
    EXPECT_NEAR(last[k][1].get<double>(), y, 1e-6);
    EXPECT_NEAR(last[k][2].get<double>(), z, 1e-6);
    ++k;
  }
  EXPECT_EQ(k, last.size());
  EXPECT_NE(run(fold_, {"--steps", "1", "--fold-out", (tmp_ / "no" / "dir" / "x.fold").string(), miura_}), 0);
  EXPECT_NE(err_.find("cannot write the FOLD file"), std::string::npos) << err_;
}

namespace {

// A square sheet (file units, Y down) with one crease of the given type at
// X = 50, written as crease-pattern XML, ORIPA text and FOLD (y up).
struct OneCrease {
  std::string opx, cp, fold;
};

OneCrease oneCrease(int type) {
  const double lines[7][5] = {{1, -200, -200, 50, -200}, {1, 50, -200, 200, -200}, {1, 200, -200, 200, 200},
                              {1, 200, 200, 50, 200},    {1, 50, 200, -200, 200},  {1, -200, 200, -200, -200},
                              {static_cast<double>(type), 50, -200, 50, 200}};
  const double points[6][2] = {{-200, -200}, {50, -200}, {200, -200}, {200, 200}, {50, 200}, {-200, 200}};
  OneCrease c;
  c.opx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<java class=\"java.beans.XMLDecoder\">\n"
          " <object class=\"oripa.DataSet\">\n  <void property=\"lines\">\n"
          "   <array class=\"oripa.OriLineProxy\" length=\"7\">\n";
  for (const auto& l : lines) {
    char rec[512];
    std::snprintf(rec, sizeof rec,
                  "    <object class=\"oripa.OriLineProxy\">\n     <void property=\"type\">\n      <int>%d</int>\n     </void>\n"
                  "     <void property=\"x0\">\n      <double>%g</double>\n     </void>\n"
                  "     <void property=\"x1\">\n      <double>%g</double>\n     </void>\n"
                  "     <void property=\"y0\">\n      <double>%g</double>\n     </void>\n"
                  "     <void property=\"y1\">\n      <double>%g</double>\n     </void>\n    </object>\n",
                  static_cast<int>(l[0]), l[1], l[3], l[2], l[4]);
    c.opx += rec;
    c.cp += std::to_string(static_cast<int>(l[0])) + " " + std::to_string(l[1]) + " " + std::to_string(l[2]) + " " +
            std::to_string(l[3]) + " " + std::to_string(l[4]) + "\n";
  }
  c.opx += "   </array>\n  </void>\n </object>\n</java>\n";
  nlohmann::json fold = {{"edges_vertices", {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 0}, {1, 4}}},
                         {"edges_assignment", {"B", "B", "B", "B", "B", "B", type == 2 ? "M" : "V"}}};
  for (const auto& p : points) fold["vertices_coords"].push_back({p[0], -p[1]});
  c.fold = fold.dump();
  return c;
}

struct ObjShape {
  std::vector<std::vector<double>> verts;
  std::vector<std::vector<int>> lines;  // tail, head (from 1), kind, degrees
};

ObjShape readObj(const fs::path& path) {
  ObjShape s;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) {
    double x, y, z;
    int a, b, kind, deg;
    if (std::sscanf(line.c_str(), "v %lf %lf %lf", &x, &y, &z) == 3) s.verts.push_back({x, y, z});
    if (std::sscanf(line.c_str(), "#e %d %d %d %d", &a, &b, &kind, &deg) == 4) s.lines.push_back({a, b, kind, deg});
  }
  return s;
}

}  // namespace

TEST_F(PlicataCommands, MountainsComeTowardsTheViewerFromEveryFormatAndValleysGoAway) {
  std::vector<std::vector<double>> mountain_verts[2];
  for (int type : {2, 3}) {
    const OneCrease c = oneCrease(type);
    for (const auto& [name, text] : {std::pair{"crease.opx", c.opx}, {"crease.cp", c.cp}, {"crease.fold", c.fold}}) {
      SCOPED_TRACE(std::string(name) + " of type " + std::to_string(type));
      std::ofstream(tmp_ / name) << text;
      const fs::path obj = tmp_ / "out.obj";
      ASSERT_EQ(run(fold_, {"--display-frame", "--steps", "10", "--obj", obj.string(), (tmp_ / name).string()}), 0)
          << err_;
      const ObjShape s = readObj(obj);
      // The crease's height over the rest of the sheet, seen from +z.
      double crease_z = 0, other_z = 0;
      int creases = 0;
      std::vector<char> on_crease(s.verts.size(), 0);
      for (const auto& l : s.lines) {
        if (l[2] < 2) continue;
        EXPECT_EQ(l[2], type);  // the OBJ keeps the file's line type
        on_crease[l[0] - 1] = on_crease[l[1] - 1] = 1;
        ++creases;
      }
      ASSERT_EQ(creases, 1);
      for (size_t k = 0; k < s.verts.size(); ++k) (on_crease[k] ? crease_z : other_z) += s.verts[k][2];
      const double height = crease_z / 2 - other_z / (s.verts.size() - 2);
      if (type == 2) {
        EXPECT_GT(height, 10.0);
        if (std::string(name) != "crease.cp") mountain_verts[std::string(name) == "crease.fold"] = s.verts;
      } else {
        EXPECT_LT(height, -10.0);
      }
    }
  }
  // The design read from the XML and from FOLD gives the same frame.
  for (auto& v : mountain_verts) {
    for (auto& p : v) {
      for (double& x : p) x = std::round(x * 1000) / 1000 + 0.0;
    }
    std::sort(v.begin(), v.end());
  }
  EXPECT_EQ(mountain_verts[0], mountain_verts[1]);

  // FOLD output names the editor's mountain M, with a negative angle.
  std::ofstream(tmp_ / "m.opx") << oneCrease(2).opx;
  ASSERT_EQ(run(fold_, {"--steps", "2", "--fold-out", (tmp_ / "m.fold").string(), (tmp_ / "m.opx").string()}), 0)
      << err_;
  const nlohmann::json doc = nlohmann::json::parse(readFile(tmp_ / "m.fold"));
  int mountains = 0;
  for (size_t k = 0; k < doc["edges_assignment"].size(); ++k) {
    if (doc["edges_assignment"][k] == "B" || doc["edges_assignment"][k] == "F") continue;  // outline, diagonals
    EXPECT_EQ(doc["edges_assignment"][k], "M");
    EXPECT_LT(doc["edges_foldAngle"][k].get<double>(), 0.0);
    ++mountains;
  }
  EXPECT_EQ(mountains, 1);
}

TEST_F(PlicataCommands, FileTargetsFoldPartwayReportFaultsAndReadBack) {
  // A unit square cut in three by two valleys, one at 90°, one at 180°.
  const std::string fold =
      R"({"vertices_coords": [[0,0],[0.4,0],[0.7,0],[1,0],[1,1],[0.7,1],[0.4,1],[0,1]],
          "edges_vertices": [[0,1],[1,2],[2,3],[3,4],[4,5],[5,6],[6,7],[7,0],[1,6],[2,5]],
          "edges_assignment": ["B","B","B","B","B","B","B","B","V","V"],
          "edges_foldAngle": [0,0,0,0,0,0,0,0,90,180]})";
  std::ofstream(tmp_ / "two.fold") << fold;
  ASSERT_EQ(run(fold_, {"--steps", "150", "--fold-out", (tmp_ / "out.fold").string(), (tmp_ / "two.fold").string()}),
            0)
      << err_;
  const nlohmann::json out = nlohmann::json::parse(readFile(tmp_ / "out.fold"));
  std::vector<double> targets, reached;
  for (size_t k = 0; k < out["edges_assignment"].size(); ++k) {
    if (out["edges_assignment"][k] != "V") continue;
    targets.push_back(out["edges_foldAngle"][k]);
    reached.push_back(out["file_frames"].back()["edges_foldAngle"][k]);
  }
  ASSERT_EQ(reached.size(), 2u);
  if (targets[0] > targets[1]) std::swap(reached[0], reached[1]), std::swap(targets[0], targets[1]);
  EXPECT_NEAR(targets[0], 90.0, 1e-9);
  EXPECT_NEAR(reached[0], 90.0, 1.0);
  EXPECT_GT(reached[1], 170.0);

  // Plicata's own file reads back with the same targets.
  ASSERT_EQ(run(fold_, {"--fold-out", (tmp_ / "again.fold").string(), (tmp_ / "out.fold").string()}), 0) << err_;
  const nlohmann::json again = nlohmann::json::parse(readFile(tmp_ / "again.fold"));
  EXPECT_EQ(again["edges_foldAngle"], out["edges_foldAngle"]);

  // A 0 and a wrong sign are reported; those creases keep their whole target.
  std::string bad = fold;
  bad.replace(bad.find("90,180"), 6, "0,-180");
  std::ofstream(tmp_ / "bad.fold") << bad;
  ASSERT_EQ(run(fold_, {"--verbose", "--fold-out", (tmp_ / "bad.fold.out").string(), (tmp_ / "bad.fold").string()}),
            0)
      << err_;
  EXPECT_NE(err_.find("are 0 on a mountain or valley"), std::string::npos) << err_;
  EXPECT_NE(err_.find("have the sign of the other letter"), std::string::npos) << err_;
  const nlohmann::json whole = nlohmann::json::parse(readFile(tmp_ / "bad.fold.out"));
  for (size_t k = 0; k < whole["edges_assignment"].size(); ++k) {
    if (whole["edges_assignment"][k] == "V") {
      EXPECT_GT(whole["edges_foldAngle"][k].get<double>(), 179.0);
    }
  }

  // An SVG valley drawn at half opacity folds to 90°.
  std::ofstream(tmp_ / "half.svg") << "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect x=\"0\" y=\"0\" width=\"100\" "
                                      "height=\"100\" stroke=\"black\" fill=\"none\"/><line x1=\"50\" y1=\"0\" x2=\"50\" "
                                      "y2=\"100\" stroke=\"blue\" opacity=\"0.5\"/></svg>";
  ASSERT_EQ(run(fold_, {"--fold-out", (tmp_ / "half.fold").string(), (tmp_ / "half.svg").string()}), 0) << err_;
  const nlohmann::json half = nlohmann::json::parse(readFile(tmp_ / "half.fold"));
  for (size_t k = 0; k < half["edges_assignment"].size(); ++k) {
    if (half["edges_assignment"][k] == "V") {
      EXPECT_NEAR(half["edges_foldAngle"][k].get<double>(), 90.0, 1e-9);
    }
  }
}

TEST_F(PlicataCommands, FoldToStopsShortAndAMechanismThatCannotReachSettles) {
  // One valley, folded to half its target.
  std::ofstream(tmp_ / "v.opx") << oneCrease(3).opx;
  ASSERT_EQ(run(fold_, {"--fold-to", "50", "--steps", "150", "--fold-out", (tmp_ / "v.fold").string(),
                        (tmp_ / "v.opx").string()}), 0)
      << err_;
  const nlohmann::json v = nlohmann::json::parse(readFile(tmp_ / "v.fold"));
  for (size_t k = 0; k < v["edges_assignment"].size(); ++k) {
    if (v["edges_assignment"][k] != "V") continue;
    EXPECT_NEAR(v["file_frames"].back()["edges_foldAngle"][k].get<double>(), v["edges_foldAngle"][k].get<double>() / 2,
                1.0);
  }
  // Regression: a single vertex whose creases cannot all reach half their
  // targets threw the first to arrive back and forth across its target.
  ASSERT_EQ(run(fold_, {"--fold-to", "50", "--steps", "400", "--fold-out", (tmp_ / "d.fold").string(),
                        (examples_ / "degree4_vertex.opx").string()}), 0)
      << err_;
  const nlohmann::json d = nlohmann::json::parse(readFile(tmp_ / "d.fold"));
  const auto& frames = d["file_frames"];
  double moved = 0.0;
  for (size_t f = frames.size() - 50; f < frames.size(); ++f) {
    for (size_t k = 0; k < frames[f]["edges_foldAngle"].size(); ++k) {
      moved = std::max(moved, std::fabs(frames[f]["edges_foldAngle"][k].get<double>() -
                                        frames[f - 1]["edges_foldAngle"][k].get<double>()));
    }
  }
  EXPECT_LT(moved, 0.01);  // degrees per step, over the last 50 steps
  EXPECT_EQ(run(fold_, {"--fold-to", "101", miura_}), 2);
}

TEST_F(PlicataCommands, CompliantSolverFoldsRecordsStrainAndRefusesBadStiffness) {
  const std::string vertex = (examples_ / "degree4_vertex.opx").string();
  const std::string fold = (tmp_ / "compliant.fold").string();
  ASSERT_EQ(run(fold_, {"--solver", "compliant", "--steps", "4", "--fold-out", fold, vertex}), 0) << err_;
  const std::string last = out_.substr(out_.rfind('\n', out_.size() - 2) + 1);
  EXPECT_NE(last.find(" compliant_kept=0\n"), std::string::npos) << last;
  const nlohmann::json doc = nlohmann::json::parse(readFile(fold));
  ASSERT_EQ(doc["file_frames"].size(), 4u);
  for (const auto& frame : doc["file_frames"]) {
    ASSERT_TRUE(frame.contains("edges_plicata:strain"));
    EXPECT_EQ(frame["edges_plicata:strain"].size(), doc["edges_vertices"].size());
  }
  ASSERT_EQ(run(fold_, {"--steps", "4", "--fold-out", fold, vertex}), 0) << err_;
  EXPECT_EQ(readFile(fold).find("plicata:strain"), std::string::npos) << "the rigid solver records no strain";

  for (const auto& [args, named] :
       {std::pair{std::vector<std::string>{"--solver", "compliant", "--stiffness", "1,-2,nan", vertex}, "facet -2"},
        std::pair{std::vector<std::string>{"--solver", "compliant", "--stiffness", "1,-2,nan", vertex}, "axial nan"},
        std::pair{std::vector<std::string>{"--solver", "compliant", "--stiffness", "1,2", vertex}, "FOLD,FACET,AXIAL"},
        std::pair{std::vector<std::string>{"--stiffness", "1,2,3", vertex}, "--solver compliant"},
        std::pair{std::vector<std::string>{"--solver", "soft", vertex}, "rigid or compliant"},
        std::pair{std::vector<std::string>{"--solver", "compliant", "--exact", vertex}, "--exact"},
        std::pair{std::vector<std::string>{"--solver", "compliant", "--contact", vertex}, "--contact"},
        std::pair{std::vector<std::string>{"--solver", "compliant", "--mode", "1", "--steps", "1", vertex},
                  "--mode folds along a rigid fold mode: it does not go with --solver compliant"}}) {
    EXPECT_EQ(run(fold_, args), 2) << named;
    EXPECT_EQ(lines(err_), 1) << err_;
    EXPECT_NE(err_.find(named), std::string::npos) << err_;
  }
  EXPECT_EQ(run(fold_, {"--solver", "compliant", "--no-triangulate", "--steps", "1", miura_}), 1);
  EXPECT_EQ(lines(err_), 1) << err_;
  EXPECT_NE(err_.find("triangulated"), std::string::npos) << err_;
}
