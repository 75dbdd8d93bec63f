// plicata-fold as a user meets it: loading, messages, exit status, OBJ.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace {

std::string fold() {
  const std::string p = plicataFoldPath();
  if (p.empty()) ADD_FAILURE() << "PLICATA_FOLD is not set";
  return p;
}

int countLines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

TEST(PlicataFoldLoad, HelpExplainsTheUsage) {
  const CommandResult r = runCommand(fold() + " --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("usage: plicata-fold"), std::string::npos);
  EXPECT_NE(r.out.find("--obj"), std::string::npos);
}

TEST(PlicataFoldLoad, MistakesGiveOneLineAndAFailingStatus) {
  const std::string dir = makeTempDir();
  std::ofstream(dir + "/empty.opx").close();
  std::ofstream(dir + "/broken.xml") << "<java>\n <object class=\"oripa.DataSet\">\n";
  const std::string cases[][2] = {
      {" --frobnicate x.opx", "unknown option --frobnicate"},
      {"", "no pattern given"},
      {" --obj", "--obj needs a value"},
      {" " + dir + "/missing.opx", dir + "/missing.opx: cannot open"},
      {" " + dir + "/empty.opx", dir + "/empty.opx: no data-set object"},
      {" " + dir + "/broken.xml", dir + "/broken.xml: the file ends before the lines"},
      {" " + dir + "/pattern.txt", dir + "/pattern.txt: not a supported crease-pattern file"},
  };
  for (const auto& c : cases) {
    const CommandResult r = runCommand(fold() + c[0]);
    EXPECT_NE(r.status, 0) << c[0];
    EXPECT_EQ(countLines(r.err), 1) << c[0] << ": " << r.err;
    EXPECT_NE(r.err.find(c[1]), std::string::npos) << c[0] << ": " << r.err;
    EXPECT_EQ(r.err.rfind("plicata-fold: ", 0), 0u) << r.err;
  }
}

TEST(PlicataFoldLoad, LoadsAPatternAndWritesItsFlatShape) {
  const std::string dir = makeTempDir();
  std::ofstream(dir + "/vertex.opx") << opxText(degree4Vertex(2, 2, 3, 2));
  const CommandResult r = runCommand(fold() + " --verbose --obj " + dir + "/flat.obj " + dir + "/vertex.opx");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("vert number: 9\nedge number: 24\nface number: 4\n"), std::string::npos) << r.err;
  std::ifstream obj(dir + "/flat.obj");
  std::string first;
  std::getline(obj, first);
  EXPECT_EQ(first, "# Result of Plicata");
  const CommandResult bad = runCommand(fold() + " --obj " + dir + "/no/such/dir/x.obj " + dir + "/vertex.opx");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("cannot write"), std::string::npos) << bad.err;
}
