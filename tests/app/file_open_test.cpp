// The loading dialogue, driven through its input stream as a user at the
// terminal would: names, quotes, unsupported and broken files, the
// triangulation question, the end of input, and opening onto a folded model.
#include "app/file_open.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/app_state.h"
#include "geometry/manifold.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

namespace fs = std::filesystem;

namespace {

const char kPrompt[] = "\tfile name? ";
const char kQuestion[] = "triangulate polygons?(Y/n)";

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A 2 × 2 grid of flat squares: one inner vertex, four inner lines, and a
// question about its faces.
std::vector<OriPatternLine> flatGrid() {
  std::vector<OriPatternLine> lines = gridLines(2, 1);
  for (OriPatternLine& l : lines) l.type = 1;
  return lines;
}

class FileOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("plicata_file_open_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    writeFile(dir_ / "sq diag.opx", opxText(squareWithDiagonal(2)));
    writeFile(dir_ / "grid.opx", opxText(flatGrid()));
    writeFile(dir_ / "grid.xml.bak", opxText(flatGrid()));
    writeFile(dir_ / "GRID.OPX", opxText(flatGrid()));
    writeFile(dir_ / "notes.txt", "not a pattern\n");
    writeFile(dir_ / "broken.opx", "<java>\n <object class=\"other.Thing\">\n </object>\n</java>\n");
    writeFile(dir_ / "flaps.opx", opxText(flapSheet()));
    writeFile(dir_ / "flaps cross.opx", opxText(flapSheetWithCross()));
  }

  void TearDown() override {
    oriSimDelete(the.sim);
    oriManifoldDelete(the.manifold);
    the.sim = nullptr;
    the.manifold = nullptr;
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  // Runs one dialogue with the given typed input; returns its status and
  // fills out_ with everything it printed.
  int run(const std::string& input, const char* initial, bool next = false) {
    FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    ::testing::internal::CaptureStdout();
    const int status = next ? FileNextOpenFrom(in, initial) : FileOpenFrom(in, initial);
    out_ = ::testing::internal::GetCapturedStdout();
    std::fclose(in);
    return status;
  }

  fs::path dir_;
  std::string out_;
};

TEST_F(FileOpenTest, WithoutANameItPromptsAndEndOfInputStopsTheDialogue) {
  EXPECT_EQ(run("", nullptr), kFileOpenEndOfInput);
  EXPECT_EQ(out_,
            "\nopen file\n\tfile name? "
            "\nend of input while waiting for a file name: no crease pattern opened\n");
  EXPECT_EQ(the.manifold, nullptr);
  EXPECT_EQ(the.sim, nullptr);
  EXPECT_EQ(the.file_loaded, 0);
}

TEST_F(FileOpenTest, MissingAndUnsupportedFilesLeadBackToThePrompt) {
  const std::string input = path("missing.opx") + "\n" + path("notes.txt") + "\n" + path("GRID.OPX") + "\n\"" +
                            path("sq diag.opx") + "\"\n";
  ASSERT_EQ(run(input, nullptr), kFileOpenLoaded);
  // A missing file is asked for again silently; an unsupported name says so.
  EXPECT_EQ(out_.rfind(std::string("\nopen file\n") + kPrompt + kPrompt + "not supported file\n" + kPrompt +
                           "not supported file\n" + kPrompt,
                       0),
            0u)
      << out_;
  EXPECT_EQ(count(out_, kPrompt), 4);
  // Triangles only: no question, straight to the simulation.
  EXPECT_EQ(count(out_, kQuestion), 0);
  EXPECT_EQ(count(out_, "\tinitializing SimMatrix\n"), 1);
  ASSERT_NE(the.manifold, nullptr);
  ASSERT_NE(the.sim, nullptr);
  EXPECT_EQ(the.manifold->n_face, 2);
  EXPECT_EQ(the.file_loaded, 1);
}

TEST_F(FileOpenTest, NamesWithBlanksOpenQuotedOrNot) {
  const std::vector<std::string> typed = {
      "\"" + path("sq diag.opx") + "\"\n",             // between quotes
      "\"" + path("sq diag.opx") + "\" and more\n",    // text after the closing quote is ignored
      "\"" + path("sq diag.opx") + "\n",               // no closing quote: the rest of the line
      path("sq diag.opx") + "\n",                      // the whole line is the name
      path("sq diag.opx"),                             // the last line may lack its newline
  };
  for (const std::string& input : typed) {
    SCOPED_TRACE(input);
    ASSERT_EQ(run(input, nullptr), kFileOpenLoaded);
    EXPECT_EQ(count(out_, kPrompt), 1);
    oriSimDelete(the.sim);
    oriManifoldDelete(the.manifold);
    the.sim = nullptr;
    the.manifold = nullptr;
  }
}

TEST_F(FileOpenTest, OnlyAnAnswerBeginningWithNSkipsTriangulation) {
  struct Case {
    const char* answer;
    bool triangulates;
  };
  const Case cases[] = {{"n\n", false}, {"N\n", false}, {"no thanks\n", false}, {"\n", true},
                        {"y\n", true},  {"Y\n", true},  {"yes\n", true},        {"x\n", true},
                        {" n\n", true}, {"yn\n", true}, {"n", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    const std::string grid = path("grid.opx");
    ASSERT_EQ(run(c.answer, grid.c_str()), kFileOpenLoaded);
    EXPECT_EQ(count(out_, kPrompt), 0);
    EXPECT_EQ(count(out_, kQuestion), 1);
    EXPECT_EQ(count(out_, "\ttriangulating\n"), c.triangulates ? 1 : 0);
    EXPECT_EQ(count(out_, "\tno tess\n"), c.triangulates ? 0 : 1);
    ASSERT_NE(the.manifold, nullptr);
    EXPECT_EQ(oriManifoldTriangulated(the.manifold), c.triangulates);
    // One inner vertex: 3 constraint rows; 4 inner lines, and 4 diagonals
    // more when triangulated.
    const std::string report = std::string("\tinitializing SimMatrix\n") +
                               "\nnum_fold_line:" + (c.triangulates ? "0008" : "0004") +
                               "  num_inside_vert:0001\nMatrix\n size1: 3\n size2: " +
                               (c.triangulates ? "8" : "4") + "\n data: ";
    EXPECT_NE(out_.find(report), std::string::npos) << out_;
    EXPECT_EQ(the.sim->m, 3);
    EXPECT_EQ(the.sim->n, c.triangulates ? 8 : 4);
    oriSimDelete(the.sim);
    oriManifoldDelete(the.manifold);
    the.sim = nullptr;
    the.manifold = nullptr;
  }
}

TEST_F(FileOpenTest, EndOfInputAtTheQuestionStopsTheDialogue) {
  const std::string grid = path("grid.opx");
  EXPECT_EQ(run("", grid.c_str()), kFileOpenEndOfInput);
  EXPECT_NE(out_.find(std::string(kQuestion) + "\nend of input while waiting for an answer"), std::string::npos)
      << out_;
  EXPECT_EQ(the.manifold, nullptr);
  EXPECT_EQ(the.sim, nullptr);
}

TEST_F(FileOpenTest, AGivenNameIsTriedOnceThenThePromptTakesOver) {
  const std::string missing = path("missing.opx");
  ASSERT_EQ(run(path("grid.opx") + "\nn\n", missing.c_str()), kFileOpenLoaded);
  EXPECT_EQ(out_.rfind(std::string("\nopen file\n") + kPrompt, 0), 0u) << out_;
  EXPECT_EQ(count(out_, kPrompt), 1);

  const std::string grid = path("grid.opx");
  oriSimDelete(the.sim);
  oriManifoldDelete(the.manifold);
  ASSERT_EQ(run("n\n", grid.c_str()), kFileOpenLoaded);
  EXPECT_EQ(count(out_, kPrompt), 0);
}

TEST_F(FileOpenTest, ANameTooLongForTheBufferIsNotUsed) {
  // Given: 1024 characters or more go straight to the prompt.
  const std::string given(1024, 'a');
  ASSERT_EQ(run(path("grid.opx") + "\nn\n", given.c_str()), kFileOpenLoaded);
  EXPECT_EQ(out_.rfind(std::string("\nopen file\n") + kPrompt, 0), 0u);
  EXPECT_EQ(count(out_, kPrompt), 1);
  oriSimDelete(the.sim);
  oriManifoldDelete(the.manifold);

  // Typed: the whole overlong line is dropped, none of it is taken as the
  // next name or answer.
  const std::string typed = std::string(3000, 'x') + "\n" + path("grid.opx") + "\nn\n";
  ASSERT_EQ(run(typed, nullptr), kFileOpenLoaded);
  EXPECT_EQ(count(out_, kPrompt), 2);
  EXPECT_EQ(count(out_, "file name too long"), 1);
  EXPECT_EQ(count(out_, "\tno tess\n"), 1);
}

TEST_F(FileOpenTest, AFormatNameAnywhereChoosesTheReader) {
  const std::string bak = path("grid.xml.bak");
  ASSERT_EQ(run("n\n", bak.c_str()), kFileOpenLoaded);
  EXPECT_EQ(count(out_, "not supported file"), 0);
  EXPECT_EQ(the.manifold->n_face, 4);
}

TEST_F(FileOpenTest, AFileTheReaderRejectsIsNamedAndAskedForAgain) {
  const std::string broken = path("broken.opx");
  ASSERT_EQ(run(path("sq diag.opx") + "\n", broken.c_str()), kFileOpenLoaded);
  const std::string line = broken + ": ";
  const size_t at = out_.find(line);
  ASSERT_NE(at, std::string::npos) << out_;
  // One line with the reason, then the prompt.
  const size_t end = out_.find('\n', at);
  EXPECT_GT(end, at + line.size());
  EXPECT_EQ(out_.compare(end + 1, std::string(kPrompt).size(), kPrompt), 0) << out_;
  EXPECT_EQ(the.manifold->n_face, 2);
}

TEST_F(FileOpenTest, NextOpenEndingEarlyLeavesTheCurrentModel) {
  const std::string grid = path("grid.opx");
  ASSERT_EQ(run("n\n", grid.c_str()), kFileOpenLoaded);
  ORI_manifold* model = the.manifold;
  ORISIM_matrix* sim = the.sim;
  EXPECT_EQ(run("", nullptr, true), kFileOpenEndOfInput);
  EXPECT_EQ(the.manifold, model);
  EXPECT_EQ(the.sim, sim);
  // Ending at the question leaves it too.
  EXPECT_EQ(run("", grid.c_str(), true), kFileOpenEndOfInput);
  EXPECT_EQ(count(out_, kQuestion), 1);
  EXPECT_EQ(the.manifold, model);
  EXPECT_EQ(the.sim, sim);
  char why[256];
  EXPECT_EQ(oriManifoldValidate(the.manifold, why, sizeof why), 0) << why;
}

TEST_F(FileOpenTest, NextOpenStartsTheNewPatternInTheFoldedShape) {
  const std::string flaps = path("flaps.opx");
  ASSERT_EQ(run("n\n", flaps.c_str()), kFileOpenLoaded);
  foldFlapSheet(the.manifold);
  // The same sheet folded the same way, kept for comparison.
  ORI_manifold* reference = loadOpxText(opxText(flapSheet()));
  ASSERT_NE(reference, nullptr);
  oriManifoldPrepare(reference, 0);
  foldFlapSheet(reference);

  // Typed with its blank between quotes, triangulated by the empty answer:
  // the triangulation moves the fixed face to a new triangle.
  ASSERT_EQ(run("\"" + path("flaps cross.opx") + "\"\n\n", nullptr, true), kFileOpenLoaded);
  EXPECT_EQ(count(out_, "\ttriangulating\n"), 1);
  EXPECT_NE(out_.find("\tinitializing SimMatrix\n"), std::string::npos);
  ASSERT_NE(the.manifold, nullptr);
  ASSERT_NE(the.sim, nullptr);
  EXPECT_TRUE(oriManifoldTriangulated(the.manifold));
  char why[256];
  EXPECT_EQ(oriManifoldValidate(the.manifold, why, sizeof why), 0) << why;

  // After the whole preparation every vertex still lies on the old folded
  // sheet, and every facet sits rigidly: nothing jumped.
  double highest = 0.0;
  for (List* l = the.manifold->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<ORI_vert*>(l->data);
    const ORI_edge* in = v->out[0]->pair;
    EXPECT_LT(distanceFromSheet(reference, v->pos, in->x1, in->y1), 1e-12) << "vertex " << v->index;
    highest = std::fmax(highest, std::fabs(v->pos.z));
  }
  EXPECT_GT(highest, 0.1);
  EXPECT_LT(rigidityError(the.manifold), 1e-12);
  // The simulation starts from the carried angles.
  for (List* l = the.manifold->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->crease_index >= 0) {
      EXPECT_EQ(the.sim->angle_n[e->crease_index], e->angle);
    }
  }
  oriManifoldDelete(reference);
}

TEST_F(FileOpenTest, NextOpenWithoutAModelOpensFlat) {
  const std::string grid = path("grid.opx");
  ASSERT_EQ(run("\n", grid.c_str(), true), kFileOpenLoaded);
  EXPECT_EQ(count(out_, "\nopen file\n"), 1);
  ASSERT_NE(the.manifold, nullptr);
  for (List* l = the.manifold->verts; l != nullptr && l->data != nullptr; l = l->next) {
    EXPECT_EQ(static_cast<ORI_vert*>(l->data)->pos.z, 0.0);
  }
}

TEST_F(FileOpenTest, FileOpenReadsTheTerminal) {
  // The real entry points read standard input itself.
  const fs::path typed = dir_ / "typed.txt";
  writeFile(typed, path("grid.opx") + "\nN\n");
  ASSERT_NE(std::freopen(typed.c_str(), "r", stdin), nullptr);
  ::testing::internal::CaptureStdout();
  const int status = FileOpen(nullptr);
  out_ = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, kFileOpenLoaded);
  EXPECT_EQ(count(out_, "\tno tess\n"), 1);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FileNextOpen(nullptr), kFileOpenEndOfInput);
  out_ = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(the.manifold, nullptr);
}

}  // namespace
