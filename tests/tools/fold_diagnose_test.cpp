// plicata-fold's collision line, its stop at the first collision and its
// step report, run as a user runs them on bundled examples: a waterbomb
// tessellation, whose units fold into each other part way, and a Miura-ori.
// That a fold without collisions prints no line is the core tests' part.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_command.h"

namespace {

CommandResult fold(const std::string& options, const std::string& example) {
  return runCommand(plicataFoldPath() + " " + options + " " + PLICATA_SOURCE_DIR + "/examples/" + example);
}

nlohmann::json records(const std::string& path) { return nlohmann::json::parse(std::ifstream(path))["records"]; }

// The step of the one collision line, printed with its pairs before the
// summary; 0 when there is none or more than one.
long collisionStep(const CommandResult& r, int* pairs) {
  const size_t at = r.out.find("collision step=");
  long step = 0;
  if (at == std::string::npos || r.out.find("collision", at + 1) != std::string::npos ||
      r.out.find("steps=", at) == std::string::npos ||
      std::sscanf(r.out.c_str() + at, "collision step=%ld pairs=%d\n", &step, pairs) != 2) {
    return 0;
  }
  return step;
}

}  // namespace

TEST(FoldDiagnose, CollisionLineStopAndReportAgree) {
  if (plicataFoldPath().empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const std::string dir = makeTempDir(), report = dir + "/r.json";
  const CommandResult all = fold("--steps 60 --collisions --report " + report, "waterbomb_3x3.opx");
  ASSERT_EQ(all.status, 0) << all.err;
  int pairs = 0;
  const long step = collisionStep(all, &pairs);
  ASSERT_GT(step, 1) << all.out;
  nlohmann::json r = records(report);
  ASSERT_EQ(r.size(), 60u);
  EXPECT_EQ(r[step - 1]["intersecting_pairs"], pairs);
  EXPECT_EQ(r[step - 2]["intersecting_pairs"], 0);
  for (const auto& rec : r) {  // one vertex's rows never exceed the sum over all rows
    EXPECT_GE(rec["worst_vertex"].get<int>(), 0);
    EXPECT_LE(rec["worst_vertex_error"].get<double>(), rec["residual"].get<double>());
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // nothing left aside

  const CommandResult stop = fold("--steps 60 --stop-at-collision --report " + report, "waterbomb_3x3.opx");
  EXPECT_EQ(collisionStep(stop, &pairs), step);
  EXPECT_NE(stop.out.find("steps=" + std::to_string(step) + " residual="), std::string::npos) << stop.out;
  EXPECT_EQ(records(report).size(), static_cast<size_t>(step));

  ASSERT_EQ(fold("--steps 3 --report " + report, "miura_4x4.opx").status, 0);
  EXPECT_FALSE(records(report)[2].contains("intersecting_pairs"));  // not looked for
  const CommandResult bad = fold("--steps 3 --report " + dir + "/missing/r.json", "miura_4x4.opx");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("missing/r.json"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.out.find("steps="), std::string::npos);  // no summary for a failed run
  std::filesystem::remove_all(dir);
}
