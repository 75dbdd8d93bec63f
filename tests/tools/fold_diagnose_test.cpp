// plicata-fold's collision line, its stop at the first collision, and its
// step report, run as a user runs them on a bundled waterbomb tessellation
// (whose units fold into each other part way) and Miura-ori (which never
// collides).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

class FoldDiagnose : public testing::Test {
 protected:
  void SetUp() override {
    if (plicataFoldPath().empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
    dir_ = makeTempDir();
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  CommandResult fold(const std::string& example, const std::string& options) {
    return runCommand(plicataFoldPath() + " " + options + " " + PLICATA_SOURCE_DIR + "/examples/" + example);
  }
  nlohmann::json report() {
    std::ifstream in(dir_ + "/r.json");
    return nlohmann::json::parse(in)["records"];
  }
  std::string dir_;
};

// The step and pairs of the collision line; false when there is not exactly one.
bool collisionLine(const std::string& out, long* step, int* pairs) {
  const size_t at = out.find("collision step=");
  if (at == std::string::npos || out.find("collision step=", at + 1) != std::string::npos) return false;
  return std::sscanf(out.c_str() + at, "collision step=%ld pairs=%d\n", step, pairs) == 2;
}

}  // namespace

TEST_F(FoldDiagnose, CollisionLineAtTheFirstStepWithPairsAndTheReportAgrees) {
  const CommandResult r = fold("waterbomb_3x3.opx", "--steps 60 --collisions --report " + dir_ + "/r.json");
  ASSERT_EQ(r.status, 0) << r.err;
  long step = 0;
  int pairs = 0;
  ASSERT_TRUE(collisionLine(r.out, &step, &pairs)) << r.out;
  EXPECT_LT(r.out.find("collision step="), r.out.rfind("steps=60 "));  // the summary stays last
  const nlohmann::json records = report();
  ASSERT_EQ(records.size(), 60u);
  ASSERT_GT(pairs, 0);
  ASSERT_GT(step, 1);
  ASSERT_LE(step, 60);
  EXPECT_EQ(records[step - 1]["intersecting_pairs"], pairs);
  EXPECT_EQ(records[step - 2]["intersecting_pairs"], 0);
  for (const auto& rec : records) {
    EXPECT_GT(rec["cg_iterations"].get<int>(), 0);
    EXPECT_GE(rec["worst_vertex"].get<int>(), 0);
    // One vertex's rows cannot exceed the sum over all rows.
    EXPECT_GT(rec["worst_vertex_error"].get<double>(), 0.0);
    EXPECT_LE(rec["worst_vertex_error"].get<double>(), rec["residual"].get<double>());
  }
  // Written aside and renamed: the report is the only file left.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);

  const CommandResult stop = fold("waterbomb_3x3.opx", "--steps 60 --stop-at-collision --report " + dir_ + "/r.json");
  ASSERT_EQ(stop.status, 0) << stop.err;
  long stopped_at = 0;
  EXPECT_TRUE(collisionLine(stop.out, &stopped_at, &pairs));
  EXPECT_EQ(stopped_at, step);
  EXPECT_NE(stop.out.find("steps=" + std::to_string(step) + " residual="), std::string::npos) << stop.out;
  EXPECT_EQ(report().size(), static_cast<size_t>(step));
}

TEST_F(FoldDiagnose, ReportWithoutCollisionsAndOneThatCannotBeWritten) {
  const CommandResult r = fold("miura_4x4.opx", "--steps 40 --collisions --report " + dir_ + "/r.json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("collision"), std::string::npos);
  ASSERT_EQ(fold("miura_4x4.opx", "--steps 3 --report " + dir_ + "/r.json").status, 0);
  const nlohmann::json records = report();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_FALSE(records[0].contains("intersecting_pairs"));  // not looked for
  EXPECT_EQ(records[2]["step"], 3);

  const CommandResult bad = fold("miura_4x4.opx", "--steps 3 --report " + dir_ + "/missing/r.json");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("missing/r.json"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.out.find("steps="), std::string::npos);  // no summary for a failed run
}
