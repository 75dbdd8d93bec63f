// plicata-fold as a user runs it: folding a shipped Miura-ori with frames
// recorded, the summary line, and the one-line errors.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A fresh directory removed at the end of the test.
struct TempDir {
  fs::path path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "plicata-fold-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

class PlicataFold : public testing::Test {
 protected:
  void SetUp() override {
    const char* exe = std::getenv("PLICATA_FOLD");
    if (exe == nullptr || !fs::exists(exe)) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
    exe_ = exe;
    miura_ = (fs::path(PLICATA_SOURCE_DIR) / "examples" / "miura_4x4.opx").string();
    ASSERT_TRUE(fs::exists(miura_)) << miura_;
  }

  Result run(const std::vector<std::string>& args) {
    Result r;
    std::string cmd = quote(exe_);
    for (const std::string& a : args) cmd += " " + quote(a);
    const fs::path out = tmp_.path / "stdout", err = tmp_.path / "stderr";
    cmd += " >" + quote(out.string()) + " 2>" + quote(err.string()) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
  }

  static std::string lastLine(const std::string& text) {
    std::string t = text;
    if (!t.empty() && t.back() == '\n') t.pop_back();
    const size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
  }

  static int lineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

  // The summary's residual and largest change; fails the test when the line
  // is not exactly in its format.
  static void summary(const std::string& out, long steps, double* residual, double* max_delta) {
    static const std::regex format(R"(steps=(\d+) residual=(\d\.\d{3}e[-+]\d{2}) max_delta=(\d+\.\d{6}))");
    std::smatch m;
    const std::string line = lastLine(out);
    ASSERT_TRUE(std::regex_match(line, m, format)) << "last line: " << line;
    EXPECT_EQ(std::stol(m[1]), steps);
    *residual = std::stod(m[2]);
    *max_delta = std::stod(m[3]);
  }

  std::string exe_, miura_;
  TempDir tmp_;
};

}  // namespace

TEST_F(PlicataFold, TwentyStepsWriteTwentyOneFramesAndTheSummary) {
  const fs::path dir = tmp_.path / "frames";
  const fs::path obj = tmp_.path / "final.obj";
  const Result r = run({"--steps", "20", "--out", dir.string(), "--obj", obj.string(), miura_});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> frames;
  for (const auto& e : fs::directory_iterator(dir)) frames.push_back(e.path().filename().string());
  std::sort(frames.begin(), frames.end());
  ASSERT_EQ(frames.size(), 21u);
  for (int k = 0; k <= 20; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "m%05d.obj", k);
    EXPECT_EQ(frames[k], name);
  }
  // The last frame is the final shape.
  EXPECT_EQ(readFile(dir / "m00020.obj"), readFile(obj));
  EXPECT_NE(readFile(dir / "m00000.obj"), readFile(obj));

  // The loader's report comes before the summary, on standard output.
  EXPECT_NE(r.out.find("\tinitializing SimMatrix\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Matrix\n size1: 27\n size2: 24\n data: "), std::string::npos) << r.out;
  double residual = -1, max_delta = -1;
  summary(r.out, 20, &residual, &max_delta);
  EXPECT_LT(residual, 0.05);
  EXPECT_GT(max_delta, 0.0);
  EXPECT_LE(max_delta, 0.5);
  // Progress went to standard error (not a terminal here: plain lines).
  EXPECT_NE(r.err.find("step 20/20"), std::string::npos) << r.err;
}

TEST_F(PlicataFold, WithoutStepsNothingMovesAndNoFrameIsWritten) {
  const fs::path dir = tmp_.path / "a" / "b" / "frames";  // created with its parents
  const Result r = run({"--out", dir.string(), miura_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_TRUE(fs::is_empty(dir));
  double residual = -1, max_delta = -1;
  summary(r.out, 0, &residual, &max_delta);
  EXPECT_LT(residual, 1e-12);
  EXPECT_EQ(max_delta, 0.0);
}

TEST_F(PlicataFold, FoldStepSetsTheLargestChange) {
  double residual, max_delta;
  Result r = run({"--steps", "3", "--fold-step", "0", miura_});
  ASSERT_EQ(r.status, 0) << r.err;
  summary(r.out, 3, &residual, &max_delta);
  EXPECT_EQ(max_delta, 0.0);
  EXPECT_LT(residual, 1e-12);

  r = run({"--steps", "2", "--fold-step", "1", miura_});
  ASSERT_EQ(r.status, 0) << r.err;
  summary(r.out, 2, &residual, &max_delta);
  EXPECT_GT(max_delta, 0.0);
  EXPECT_LE(max_delta, 0.05);
}

TEST_F(PlicataFold, UnfoldingAFlatSheetLeavesItFlat) {
  const Result r = run({"--steps", "5", "--unfold", miura_});
  ASSERT_EQ(r.status, 0) << r.err;
  double residual, max_delta;
  summary(r.out, 5, &residual, &max_delta);
  EXPECT_EQ(max_delta, 0.0);
}

TEST_F(PlicataFold, BadArgumentsGiveOneLineAndStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--steps", "-1", miura_}, {"--steps", "many", miura_}, {"--fold-step", "51", miura_},
      {"--fold-step", "2.5", miura_}, {"--steps"}, {"--out"}, {"--bogus", miura_}, {}};
  for (const auto& args : cases) {
    const Result r = run(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "(no arguments)" : args[0]);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("plicata-fold: ", 0), 0u) << r.err;
  }
}

TEST_F(PlicataFold, FilesThatCannotBeReadOrWrittenGiveOneLineAndStatusOne) {
  const std::string missing = (tmp_.path / "missing.opx").string();
  Result r = run({"--steps", "2", missing});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_EQ(r.err.rfind("plicata-fold: " + missing + ": ", 0), 0u) << r.err;

  // A file where the frame directory should be.
  const fs::path blocker = tmp_.path / "blocker";
  std::ofstream(blocker) << "x";
  r = run({"--steps", "2", "--out", blocker.string(), miura_});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_EQ(r.err.rfind("plicata-fold: " + blocker.string() + ": ", 0), 0u) << r.err;

  r = run({"--steps", "1", "--obj", (tmp_.path / "no" / "such" / "x.obj").string(), miura_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}
