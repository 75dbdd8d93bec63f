// The loading dialogue, driven through its input as a user at the terminal
// would: names, quotes, unsupported and broken files, the triangulation
// question, the end of input, and opening onto a folded model.
#include "app/file_open.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/app_state.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

namespace fs = std::filesystem;

namespace {

const std::string kOpen = "\nopen file\n";
const std::string kPrompt = "\tfile name? ";
const std::string kQuestion = "triangulate polygons?(Y/n)";

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool startsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

class FileOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plicata_file_open_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::vector<OriPatternLine> grid = gridLines(2, 1);  // one inner vertex, four inner lines
    for (OriPatternLine& l : grid) l.type = 1;
    write("sq diag.opx", opxText(squareWithDiagonal(2)));
    write("grid.opx", opxText(grid));
    write("grid.xml.bak", opxText(grid));
    write("GRID.OPX", opxText(grid));
    write("notes.txt", "not a pattern\n");
    write("broken.opx", "<java>\n <object class=\"other.Thing\">\n </object>\n</java>\n");
    write("flaps.opx", opxText(flapSheet()));
    write("flaps cross.opx", opxText(flapSheetWithCross()));
  }

  void TearDown() override {
    drop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void write(const char* name, const std::string& text) { std::ofstream(dir_ / name, std::ios::binary) << text; }
  std::string path(const char* name) const { return (dir_ / name).string(); }

  void drop() { appSheetDelete(); }

  // Runs one dialogue on the typed input; out_ receives what it printed.
  int run(const std::string& typed, const std::string* initial, bool next = false) {
    FILE* in = std::tmpfile();
    std::fwrite(typed.data(), 1, typed.size(), in);
    std::rewind(in);
    ::testing::internal::CaptureStdout();
    const char* name = initial != nullptr ? initial->c_str() : nullptr;
    const int status = next ? FileNextOpenFrom(in, name) : FileOpenFrom(in, name);
    out_ = ::testing::internal::GetCapturedStdout();
    std::fclose(in);
    return status;
  }

  fs::path dir_;
  std::string out_;
};

TEST_F(FileOpenTest, EndOfInputAtThePromptStopsTheDialogue) {
  EXPECT_EQ(run("", nullptr), kFileOpenEndOfInput);
  EXPECT_EQ(out_, kOpen + kPrompt + "\nend of input while waiting for a file name: no crease pattern opened\n");
  EXPECT_EQ(appManifold(), nullptr);
  EXPECT_EQ(appSim(), nullptr);
}

TEST_F(FileOpenTest, BadNamesLeadBackToThePromptUntilAPatternOpens) {
  // Missing: its reason, then asked again. Unsupported (.txt, upper-case .OPX): said
  // so. A file the reader rejects: one line naming it and why. Then a quoted
  // name with a blank opens; triangles only, so no question follows.
  const std::string typed = path("missing.opx") + "\n" + path("notes.txt") + "\n" + path("GRID.OPX") + "\n" +
                            path("broken.opx") + "\n\"" + path("sq diag.opx") + "\"\n";
  ASSERT_EQ(run(typed, nullptr), kFileOpenLoaded);
  EXPECT_TRUE(startsWith(out_, kOpen + kPrompt + path("missing.opx") + ": cannot open: No such file or directory\n" +
                                   kPrompt + "not supported file\n" + kPrompt +
                                   "not supported file\n" + kPrompt + path("broken.opx") + ": "))
      << out_;
  EXPECT_EQ(count(out_, kPrompt), 5);
  EXPECT_EQ(count(out_, kQuestion), 0);
  EXPECT_EQ(count(out_, "\tinitializing SimMatrix\n"), 1);
  ASSERT_NE(appManifold(), nullptr);
  EXPECT_EQ(appManifold()->n_face, 2);
  EXPECT_EQ(the.file_loaded, 1);
}

TEST_F(FileOpenTest, NamesAreTakenFromQuotesOrWholeLines) {
  const std::string sq = path("sq diag.opx");
  for (const std::string& typed : {"\"" + sq + "\" and more\n", "\"" + sq + "\n", sq + "\n", sq}) {
    SCOPED_TRACE(typed);
    ASSERT_EQ(run(typed, nullptr), kFileOpenLoaded);
    drop();
  }
  // ".xml" anywhere in the name picks the XML reader.
  const std::string bak = path("grid.xml.bak");
  ASSERT_EQ(run("n\n", &bak), kFileOpenLoaded);
  EXPECT_EQ(count(out_, "not supported"), 0);
}

TEST_F(FileOpenTest, OnlyAnAnswerBeginningWithNSkipsTriangulation) {
  const std::string grid = path("grid.opx");
  const std::pair<const char*, bool> answers[] = {{"n\n", false}, {"N\n", false}, {"no thanks\n", false},
                                                  {"\n", true},   {"y\n", true},  {"x\n", true},
                                                  {" n\n", true}, {"yn\n", true}};
  for (const auto& [answer, triangulates] : answers) {
    SCOPED_TRACE(answer);
    ASSERT_EQ(run(answer, &grid), kFileOpenLoaded);
    EXPECT_EQ(count(out_, kPrompt), 0);  // a name that opens is not asked for
    EXPECT_EQ(count(out_, kQuestion + (triangulates ? "\ttriangulating\n" : "\tno tess\n")), 1) << out_;
    EXPECT_EQ(oriManifoldTriangulated(appManifold()), triangulates);
    // One inner vertex gives 3 rows; 4 inner lines, 4 diagonals more.
    const std::string report = std::string("Matrix\n size1: 3\n size2: ") + (triangulates ? "8" : "4") + "\n data: ";
    EXPECT_EQ(count(out_, "\tinitializing SimMatrix\n"), 1);
    EXPECT_EQ(count(out_, report), 1) << out_;
    drop();
  }
  EXPECT_EQ(run("", &grid), kFileOpenEndOfInput);
  EXPECT_EQ(count(out_, kQuestion + "\nend of input while waiting for an answer"), 1) << out_;
  EXPECT_EQ(appManifold(), nullptr);
}

TEST_F(FileOpenTest, UnusableGivenNamesAndOverlongLinesGoToThePrompt) {
  // A missing given name is tried once, saying why; one of 1024 characters
  // not at all.
  const std::string missing = path("missing.opx");
  const std::string too_long(1024, 'a');
  for (const std::string* given : {&missing, &too_long}) {
    ASSERT_EQ(run(path("grid.opx") + "\nn\n", given), kFileOpenLoaded);
    const std::string why = given == &missing ? missing + ": cannot open: No such file or directory\n" : "";
    EXPECT_TRUE(startsWith(out_, kOpen + why + kPrompt)) << out_;
    EXPECT_EQ(count(out_, kPrompt), 1);
    drop();
  }
  // A typed line too long for a name is dropped whole: none of it becomes
  // the next name or the answer.
  ASSERT_EQ(run(std::string(3000, 'x') + "\n" + path("grid.opx") + "\nn\n", nullptr), kFileOpenLoaded);
  EXPECT_EQ(count(out_, kPrompt), 2);
  EXPECT_EQ(count(out_, "file name too long"), 1);
  EXPECT_EQ(count(out_, "\tno tess\n"), 1);
}

TEST_F(FileOpenTest, NextOpenEndingEarlyLeavesTheCurrentModel) {
  const std::string grid = path("grid.opx");
  ASSERT_EQ(run("n\n", &grid), kFileOpenLoaded);
  ORI_manifold* model = appManifold();
  ORISIM_matrix* sim = appSim();
  EXPECT_EQ(run("", nullptr, true), kFileOpenEndOfInput);
  EXPECT_EQ(run("", &grid, true), kFileOpenEndOfInput);  // ends at the question
  EXPECT_EQ(count(out_, kQuestion), 1);
  EXPECT_EQ(appManifold(), model);
  EXPECT_EQ(appSim(), sim);
}

TEST_F(FileOpenTest, NextOpenStartsTheNewPatternInTheFoldedShape) {
  const std::string flaps = path("flaps.opx");
  ASSERT_EQ(run("n\n", &flaps), kFileOpenLoaded);
  foldFlapSheet(appManifold());
  ORI_manifold* reference = loadOpxText(opxText(flapSheet()));  // the same sheet, folded the same way
  oriManifoldPrepare(reference, 0);
  foldFlapSheet(reference);

  // The empty answer triangulates, which makes a new triangle the fixed face.
  ASSERT_EQ(run("\"" + path("flaps cross.opx") + "\"\n\n", nullptr, true), kFileOpenLoaded);
  EXPECT_EQ(count(out_, "\ttriangulating\n"), 1);
  ASSERT_NE(appSim(), nullptr);
  char why[256];
  EXPECT_EQ(oriManifoldValidate(appManifold(), why, sizeof why), 0) << why;
  // After the whole preparation every vertex still lies on the old folded
  // sheet and every facet sits rigidly: nothing jumped.
  for (List* l = appManifold()->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<ORI_vert*>(l->data);
    EXPECT_LT(distanceFromSheet(reference, v->pos, v->out[0]->x0, v->out[0]->y0), 1e-12) << v->index;
  }
  EXPECT_LT(rigidityError(appManifold()), 1e-12);
  for (List* l = appManifold()->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->crease_index >= 0) {
      EXPECT_EQ(appSim()->angle_n[e->crease_index], e->angle);
    }
  }
  oriManifoldDelete(reference);
}

TEST_F(FileOpenTest, PanelOpenReplacesTheModelOnlyOnceTheNewOneIsBuilt) {
  const std::string grid = path("grid.opx");
  ASSERT_EQ(run("n\n", &grid), kFileOpenLoaded);
  ORI_manifold* model = appManifold();
  const int fold_to = the.fold_to, exact = the.exact;
  the.fold_to = 40;
  the.exact = 1;
  std::string why;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(appOpenPatternFile(path("broken.opx").c_str(), 0, 1, &why), -1);
  EXPECT_TRUE(startsWith(why, "broken.opx: ")) << why;
  EXPECT_EQ(appOpenPatternFile(path("notes.txt").c_str(), 1, 1, &why), -1);
  EXPECT_EQ(why, "notes.txt: not a crease-pattern format");
  EXPECT_EQ(appOpenPatternFile(path("gone.opx").c_str(), 0, 1, &why), -1);
  EXPECT_EQ(why, "gone.opx: cannot open: No such file or directory");
  EXPECT_EQ(appManifold(), model);
  // A new model takes the panel's fold amount and exact mode.
  EXPECT_EQ(appOpenPatternFile(path("flaps cross.opx").c_str(), 0, 1, &why), 0);
  out_ = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(appManifold(), model);
  EXPECT_TRUE(oriManifoldTriangulated(appManifold()));
  EXPECT_EQ(appManifold()->fold_to, 0.4);
  ASSERT_NE(appSim(), nullptr);
  EXPECT_EQ(appSim()->exact, 1);
  the.fold_to = fold_to;
  the.exact = exact;
}

TEST_F(FileOpenTest, TheEntryPointsReadStandardInput) {
  write("typed.txt", path("grid.opx") + "\nN\n");
  ASSERT_NE(std::freopen(path("typed.txt").c_str(), "r", stdin), nullptr);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FileOpen(nullptr), kFileOpenLoaded);
  EXPECT_EQ(FileNextOpen(nullptr), kFileOpenEndOfInput);
  out_ = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(count(out_, "\tno tess\n"), 1);
  EXPECT_NE(appManifold(), nullptr);
}

}  // namespace
