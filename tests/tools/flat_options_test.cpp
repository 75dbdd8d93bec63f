// plicata-fold's flat-state options as a user runs them: the check's lines
// before the summary, the folded form's file, a stacking that does not
// exist.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> outputLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace

TEST(FlatOptions, CheckLinesComeBeforeTheSummaryAndTheFoldedFormIsWritten) {
  const std::string fold = plicataFoldPath();
  if (fold.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const std::string dir = makeTempDir();
  const std::string gen = (fs::path(fold).parent_path() / "plicata-gen").string();
  // One vertex 20 degrees off Kawasaki: 100 - 80 + 90 - 90.
  ASSERT_EQ(runCommand(gen + " vertex --sectors 100,80,90,90 --types 2,3,2,2 -o " + dir + "/v.opx").status, 0);
  const CommandResult r = runCommand(fold + " " + dir + "/v.opx --check --folded-form " + dir + "/v.fold");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = outputLines(r.out);
  ASSERT_GE(lines.size(), 5u);
  const size_t n = lines.size();
  int vertex = -1;
  double x = 0, y = 0, d = 0;
  char maekawa[8] = "";
  ASSERT_EQ(std::sscanf(lines[n - 5].c_str(), "vertex %d x=%lf y=%lf kawasaki=%lf maekawa=%7s", &vertex, &x, &y, &d,
                        maekawa), 5)
      << lines[n - 5];
  EXPECT_NEAR(x, 0.0, 1e-3);
  EXPECT_NEAR(y, 0.0, 1e-3);
  EXPECT_NEAR(d, 20.0, 1e-3);
  EXPECT_STREQ(maekawa, "ok");
  EXPECT_EQ(lines[n - 4], "flat-foldable locally: no (1 of 1 inner vertices fail)");
  EXPECT_EQ(lines[n - 3], "layer_states=0");
  EXPECT_EQ(lines[n - 2].rfind("no valid stacking: ", 0), 0u) << lines[n - 2];
  EXPECT_EQ(lines[n - 1].rfind("steps=0 ", 0), 0u) << lines[n - 1];
  // The folded form is written all the same, without faceOrders.
  std::ifstream in(dir + "/v.fold");
  const nlohmann::json doc = nlohmann::json::parse(in);
  EXPECT_EQ(doc["file_frames"][0]["frame_classes"][0], "foldedForm");
  EXPECT_FALSE(doc["file_frames"][0].contains("faceOrders"));
  fs::remove_all(dir);
}

TEST(FlatOptions, AStackingBeyondTheCountIsOneLineAndAFailingStatus) {
  const std::string fold = plicataFoldPath();
  if (fold.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const std::string dir = makeTempDir();
  // A square with one valley diagonal: one stacking.
  std::ofstream(dir + "/d.opx") << opxText(squareWithDiagonal(3));
  const CommandResult one = runCommand(fold + " " + dir + "/d.opx --layer-state 1");
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_NE(("\n" + one.out).find("\nlayer_states=1\n"), std::string::npos) << one.out;
  const CommandResult two = runCommand(fold + " " + dir + "/d.opx --layer-state 2 --folded-form " + dir + "/d.fold");
  EXPECT_EQ(two.status, 1);
  EXPECT_NE(two.err.find("--layer-state 2"), std::string::npos) << two.err;
  EXPECT_FALSE(fs::exists(dir + "/d.fold"));
  EXPECT_EQ(runCommand(fold + " " + dir + "/d.opx --layer-state 0").status, 2);
  fs::remove_all(dir);
}
