// plicata-fold --contact and --thickness as a user runs them: the lines a
// contact run prints, the report's contact fields, and a thickness that
// cannot be is refused with one line naming the option.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

// Two flaps either side of a middle face that lean in together until their
// slanting edges meet (tests/sim/contact_test.cpp works the angle out).
std::string writeTwoFlaps(const std::string& dir) {
  const double pts[8][2] = {{-100, -100}, {-50, -100}, {50, -100}, {200, -100},
                            {100, 100},   {50, 100},   {-50, 100}, {-200, 100}};
  std::vector<OriPatternLine> lines;
  for (int i = 0; i < 8; ++i) lines.push_back({pts[i][0], pts[i][1], pts[(i + 1) % 8][0], pts[(i + 1) % 8][1], 1});
  lines.push_back({-50, -100, -50, 100, kOriLineTypeValley});
  lines.push_back({50, -100, 50, 100, kOriLineTypeValley});
  const std::string path = dir + "/two_flaps.opx";
  std::ofstream(path) << opxText(lines);
  return path;
}

int countLines(const std::string& text, const std::string& start) {
  std::istringstream in(text);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.rfind(start, 0) == 0 ? 1 : 0;
  return n;
}

}  // namespace

TEST(FoldContactCommand, ContactHoldsLocksAndStopsWithTheReportSayingSo) {
  const std::string exe = plicataFoldPath();
  if (exe.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const std::string dir = makeTempDir();
  const std::string pattern = writeTwoFlaps(dir);
  const CommandResult r = runCommand("'" + exe + "' --contact --no-triangulate --steps 100 --report '" + dir +
                                     "/r.json' '" + pattern + "' 2>/dev/null");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(countLines(r.out, "contact step="), 1) << r.out;
  EXPECT_EQ(countLines(r.out, "locked step="), 1) << r.out;
  // Folding stopped at the locked step: the summary counts it last.
  long contact_step = 0, locked_step = 0, steps = 0;
  int pairs = 0;
  ASSERT_EQ(std::sscanf(r.out.substr(r.out.find("contact step=")).c_str(), "contact step=%ld pairs=%d", &contact_step,
                        &pairs),
            2);
  ASSERT_EQ(std::sscanf(r.out.substr(r.out.find("locked step=")).c_str(), "locked step=%ld", &locked_step), 1);
  ASSERT_EQ(std::sscanf(r.out.substr(r.out.find("steps=")).c_str(), "steps=%ld", &steps), 1);
  EXPECT_EQ(pairs, 1);
  EXPECT_LE(contact_step, locked_step);
  EXPECT_EQ(steps, locked_step);
  std::ifstream in(dir + "/r.json");
  const nlohmann::json report = nlohmann::json::parse(in);
  ASSERT_EQ(report["records"].size(), static_cast<size_t>(steps));
  for (const auto& rec : report["records"]) {
    const long step = rec["step"];
    EXPECT_EQ(rec["active_contacts"], step < contact_step ? 0 : 1) << "step " << step;
    EXPECT_EQ(rec["locked"], step == locked_step) << "step " << step;
  }
  fs::remove_all(dir);
}

TEST(FoldContactCommand, AThicknessThatCannotBeIsRefusedNamingTheOption) {
  const std::string exe = plicataFoldPath();
  if (exe.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const std::string miura = std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx";
  // Negative, not a number, infinite: refused as the options are read.
  for (const std::string t : {"-1", "nan", "inf"}) {
    const CommandResult r = runCommand("'" + exe + "' --contact --thickness " + t + " --steps 1 '" + miura + "'");
    EXPECT_EQ(r.status, 2) << t;
    EXPECT_EQ(countLines(r.err, "plicata-fold: --thickness " + t), 1) << t << ": " << r.err;
    EXPECT_EQ(r.out.find("steps="), std::string::npos) << t;
  }
  // Above a quarter of the pattern's paper (400): refused as it is loaded.
  const CommandResult thick = runCommand("'" + exe + "' --contact --thickness 100.5 --steps 1 '" + miura + "'");
  EXPECT_EQ(thick.status, 1);
  EXPECT_NE(thick.err.find("thickness 100.5 is above a quarter of the paper size (400)"), std::string::npos) << thick.err;
  EXPECT_EQ(countLines(thick.err, "plicata-fold: "), 1) << thick.err;
  EXPECT_EQ(thick.out.find("steps="), std::string::npos);
  const CommandResult ok = runCommand("'" + exe + "' --contact --thickness 100 --steps 1 '" + miura + "' 2>/dev/null");
  EXPECT_EQ(ok.status, 0) << ok.err;
}

// One --thickness for the paper: the solid of --stl takes it too (a flat
// sheet's solid is that thick, in millimetres at the default scale).
TEST(FoldContactCommand, TheSolidIsAsThickAsThePaperFolds) {
  const std::string exe = plicataFoldPath();
  if (exe.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const std::string dir = makeTempDir();
  const std::string miura = std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx";
  const CommandResult r =
      runCommand("'" + exe + "' --contact --thickness 3 --steps 0 --stl '" + dir + "/s.stl' '" + miura + "' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  std::ifstream in(dir + "/s.stl", std::ios::binary);
  char header[80];
  uint32_t count = 0;
  ASSERT_TRUE(in.read(header, 80) && in.read(reinterpret_cast<char*>(&count), 4));
  ASSERT_GT(count, 0u);
  float low = 1e30f, high = -1e30f;
  for (uint32_t t = 0; t < count; ++t) {
    float v[12];  // the normal, then three corners
    uint16_t attr = 0;
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(v), sizeof v) && in.read(reinterpret_cast<char*>(&attr), 2));
    for (int k = 5; k < 12; k += 3) low = std::min(low, v[k]), high = std::max(high, v[k]);
  }
  EXPECT_NEAR(high - low, 3.0, 1e-4);
  fs::remove_all(dir);
}
