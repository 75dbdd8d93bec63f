// plicata-fold --mobility, --mode and the report's dof, run as a user runs
// them on the bundled single vertex; the counts themselves are the core
// tests' part.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_command.h"

namespace {

CommandResult fold(const std::string& options) {
  return runCommand(plicataFoldPath() + " " + options + " " + PLICATA_SOURCE_DIR + "/examples/degree4_vertex.opx");
}

// The line before the summary line.
std::string lineBeforeSummary(const std::string& out) {
  const size_t summary = out.rfind("steps=");
  if (summary == std::string::npos || summary < 2) return "";
  const size_t start = out.rfind('\n', summary - 2);
  return out.substr(start == std::string::npos ? 0 : start + 1, summary - 1 - (start == std::string::npos ? 0 : start + 1));
}

}  // namespace

TEST(FoldMobility, LineBeforeSummaryModeRefusedAndReportCounts) {
  if (plicataFoldPath().empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const CommandResult flat = fold("--mobility");
  ASSERT_EQ(flat.status, 0) << flat.err;
  EXPECT_EQ(lineBeforeSummary(flat.out), "mobility dof=2 redundant=1 flat");
  const CommandResult folded = fold("--mobility --steps 10");
  ASSERT_EQ(folded.status, 0) << folded.err;
  EXPECT_EQ(lineBeforeSummary(folded.out), "mobility dof=1 redundant=0");

  // Three modes asked of a state that has two: one line, no summary.
  const CommandResult refused = fold("--mode 3 --steps 2");
  EXPECT_NE(refused.status, 0);
  EXPECT_EQ(refused.out.find("steps="), std::string::npos);
  EXPECT_NE(refused.err.find("2 modes"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find('\n'), refused.err.size() - 1) << refused.err;
  // Contact with a mode: one line naming both, before any step.
  const CommandResult both = fold("--contact --steps 2 --mode 1 --steps 2");
  EXPECT_NE(both.status, 0);
  EXPECT_EQ(both.out.find("steps="), std::string::npos);
  EXPECT_NE(both.err.find("--contact and --mode 1 cannot be used together"), std::string::npos) << both.err;

  const std::string dir = makeTempDir(), report = dir + "/r.json";
  const CommandResult moded = fold("--mode 2 --steps 5 --report " + report);
  ASSERT_EQ(moded.status, 0) << moded.err;
  const nlohmann::json records = nlohmann::json::parse(std::ifstream(report))["records"];
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[4]["dof"], 1);  // the second first-order mode led onto a folded motion
  ASSERT_EQ(fold("--steps 2 --report " + report).status, 0);
  EXPECT_FALSE(nlohmann::json::parse(std::ifstream(report))["records"][1].contains("dof"));  // not asked
  std::filesystem::remove_all(dir);
}
