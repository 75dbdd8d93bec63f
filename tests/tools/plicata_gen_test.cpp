// plicata-gen as a user runs it: the shipped examples are its output, and
// bad arguments give one line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
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

class PlicataGen : public testing::Test {
 protected:
  void SetUp() override {
    // Built beside plicata-fold, whose path CTest passes on.
    const char* fold = std::getenv("PLICATA_FOLD");
    if (fold == nullptr) GTEST_SKIP() << "PLICATA_FOLD is not set";
    exe_ = (fs::path(fold).parent_path() / "plicata-gen").string();
    if (!fs::exists(exe_)) GTEST_SKIP() << "plicata-gen is not built beside plicata-fold";
    std::string tmpl = (fs::temp_directory_path() / "plicata-gen-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    tmp_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    if (!tmp_.empty()) fs::remove_all(tmp_, ec);
  }

  // Runs plicata-gen with args (already shell-safe); returns the exit status.
  int run(const std::string& args) {
    const std::string cmd = "'" + exe_ + "' " + args + " >'" + (tmp_ / "stdout").string() + "' 2>'" +
                            (tmp_ / "stderr").string() + "'";
    const int raw = std::system(cmd.c_str());
    out_ = readFile(tmp_ / "stdout");
    err_ = readFile(tmp_ / "stderr");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  std::string exe_, out_, err_;
  fs::path tmp_;
};

}  // namespace

TEST_F(PlicataGen, ShippedExamplesAreItsOutput) {
  const fs::path examples = fs::path(PLICATA_SOURCE_DIR) / "examples";
  struct Case {
    const char* args;
    const char* file;
  };
  for (const Case& c : {Case{"miura --rows 4 --cols 4", "miura_4x4.opx"}, Case{"vertex", "degree4_vertex.opx"},
                        Case{"waterbomb --rows 3 --cols 3", "waterbomb_3x3.opx"}}) {
    ASSERT_EQ(run(c.args), 0) << c.args << ": " << err_;
    EXPECT_EQ(out_, readFile(examples / c.file)) << c.args;
  }
  // -o writes the same text to a file.
  const fs::path file = tmp_ / "m.opx";
  ASSERT_EQ(run("miura --rows 4 --cols 4 -o '" + file.string() + "'"), 0) << err_;
  EXPECT_EQ(readFile(file), readFile(examples / "miura_4x4.opx"));
}

TEST_F(PlicataGen, OptionsReachTheGenerator) {
  ASSERT_EQ(run("vertex --sectors 90,90,90,90 --types 2,0,2,0 --rotation 45"), 0) << err_;
  EXPECT_NE(out_.find("length=\"8\""), std::string::npos);  // four creases into the corners, four sides
  ASSERT_EQ(run("miura --rows 2 --cols 3 --angle 75 --ratio 1.5 --assign positive"), 0) << err_;
  EXPECT_EQ(out_.find("<int>3</int>"), std::string::npos);   // no crease of the other type
  EXPECT_NE(out_.find("length=\"17\""), std::string::npos);  // 3·3 + 4·2 lines
}

TEST_F(PlicataGen, BadArgumentsGiveOneLine) {
  for (const char* args : {"", "square", "miura --rows", "miura --rows x", "miura --assign sideways",
                           "vertex --rows 3", "miura stray", "vertex --types 2,2,2,2"}) {
    EXPECT_EQ(run(args), 2) << args;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << args << ": " << err_;
    EXPECT_EQ(err_.rfind("plicata-gen: ", 0), 0u) << err_;
  }
  // A spec the generator refuses is a failure, not a usage error.
  for (const char* args : {"vertex --sectors 100,100,100", "miura --angle 95", "miura --rows 300"}) {
    EXPECT_EQ(run(args), 1) << args;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << args << ": " << err_;
    EXPECT_TRUE(out_.empty()) << args;
  }
  EXPECT_EQ(run("miura -o '" + (tmp_ / "no" / "dir" / "x.opx").string() + "'"), 1);
  EXPECT_NE(err_.find("cannot write"), std::string::npos) << err_;
}
