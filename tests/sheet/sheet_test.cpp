// The sheet every front end drives: a failing load leaves it as it was and
// says why once, in the result only; loading reads only the pattern; the
// sheet driven directly writes what plicata-fold writes.
#include "sheet/sheet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "files/obj_export.h"
#include "geometry/manifold.h"
#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

const std::string kExamples = std::string(PLICATA_SOURCE_DIR) + "/examples/";

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<double> positions(const ORI_sheet* sheet) {
  std::vector<double> xyz;
  for (const ORI_vert* v : oriSheetIndex(sheet).verts) {
    double p[3];
    oriManifoldObjPosition(oriSheetManifold(sheet), v, p);
    xyz.insert(xyz.end(), p, p + 3);
  }
  return xyz;
}

}  // namespace

TEST(Sheet, FailingLoadLeavesTheSheetAsItWasAndSaysWhyOnlyInTheResult) {
  const fs::path dir = makeTempDir();
  std::ofstream(dir / "broken.opx") << "<java>\n <object class=\"oripa.DataSet\">\n";
  std::ofstream(dir / "line.opx") << opxText({{-200, 0, 200, 0, 2}});  // a lone line: nothing to build
  std::ofstream(dir / "notes.txt") << "0 0 1 1\n";
  ORI_sheet* sheet = oriSheetNew(nullptr);
  testing::internal::CaptureStdout();
  oriSheetLoad(sheet, (kExamples + "miura_4x4.opx").c_str(), ORI_loadOptions());
  for (int k = 0; k < 5; ++k) oriSheetStep(sheet, nullptr);
  const ORI_manifold* om = oriSheetManifold(sheet);
  const std::vector<double> shape = positions(sheet);
  const std::pair<std::string, int> bad[] = {{(dir / "missing.opx").string(), kOriFailUnreadable},
                                             {(dir / "notes.txt").string(), kOriFailUnsupported},
                                             {(dir / "broken.opx").string(), kOriFailRead},
                                             {(dir / "line.opx").string(), kOriFailRead}};
  std::vector<ORI_result> results;
  for (const auto& entry : bad) results.push_back(oriSheetOpenNext(sheet, entry.first.c_str(), ORI_loadOptions()));
  const std::string printed = testing::internal::GetCapturedStdout();
  for (size_t k = 0; k < results.size(); ++k) {
    const ORI_result& r = results[k];
    EXPECT_EQ(r.code, bad[k].second) << bad[k].first;
    EXPECT_EQ(oriResultText(r), bad[k].first + ": " + r.why);
    EXPECT_FALSE(r.why.empty()) << bad[k].first;
    EXPECT_EQ(printed.find(r.why), std::string::npos) << r.why;
  }
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(oriSheetManifold(sheet), om);
  EXPECT_EQ(positions(sheet), shape);
  EXPECT_EQ(oriSheetCounts(sheet).pattern_steps, 5);
  EXPECT_EQ(std::string(oriSheetSource(sheet)), kExamples + "miura_4x4.opx");
  EXPECT_FALSE(oriSheetPendingTriangulated(sheet));  // nothing left pending
  // An option out of range changes nothing either.
  ORI_foldOptions options = oriSheetOptions(sheet);
  options.fold_step = 51;
  options.fold_to = 0.5;
  EXPECT_EQ(oriSheetSetOptions(sheet, options).code, kOriFailArgument);
  EXPECT_EQ(oriSheetOptions(sheet).fold_to, 1.0);
  EXPECT_EQ(oriSheetManifold(sheet)->fold_to, 1.0);
  // Contact with a mode is refused as one, naming both.
  options = oriSheetOptions(sheet);
  options.contact = true;
  options.mode = 1;
  const ORI_result both = oriSheetSetOptions(sheet, options);
  EXPECT_EQ(both.code, kOriFailArgument);
  EXPECT_EQ(both.why.rfind("contact and mode cannot be used together", 0), 0u) << both.why;
  EXPECT_FALSE(oriSheetOptions(sheet).contact);
  EXPECT_EQ(oriSheetOptions(sheet).mode, 0);
  oriSheetDelete(sheet);
  fs::remove_all(dir);
}

TEST(Sheet, LoadingReadsOnlyThePatternThePaperColoursAreHandedIn) {
  const fs::path dir = makeTempDir();
  std::ofstream(dir / "papercolor.txt") << "1 1 1 1 1 1 1 1 1 1 1 1\n";
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  ORI_sheet* sheet = oriSheetNew(nullptr);
  testing::internal::CaptureStdout();
  ORI_loadOptions load;
  EXPECT_FALSE(oriFailed(oriSheetLoad(sheet, (kExamples + "degree4_vertex.opx").c_str(), load)));
  EXPECT_EQ(oriSheetManifold(sheet)->color_b[0], kOriDefaultPaperColor[0]);  // the file beside it is not read
  ORI_paperColors paper;
  ASSERT_EQ(oriPaperColorsLoad(&paper, kOriPaperColorFile), 0);
  load.paper = &paper;
  EXPECT_FALSE(oriFailed(oriSheetOpenNext(sheet, (kExamples + "degree4_vertex.opx").c_str(), load)));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(oriSheetManifold(sheet)->color_b[0], 1.0);
  EXPECT_EQ(oriSheetManifold(sheet)->color_a[0], kOriDefaultPaperColor[0]);
  fs::current_path(before);
  oriSheetDelete(sheet);
  fs::remove_all(dir);
}

// plicata-fold is option parsing and a loop over the sheet: the sheet
// driven directly with the same options writes the same files.
TEST(Sheet, DrivenDirectlyItWritesWhatPlicataFoldWrites) {
  if (plicataFoldPath().empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const fs::path dir = makeTempDir();
  const std::string miura = kExamples + "miura_4x4.opx", vertex = kExamples + "degree4_vertex.opx";
  const CommandResult run = runCommand(plicataFoldPath() + " --fold-to 80 --exact --collisions --display-frame --out " +
                                       (dir / "cli").string() + " --obj " + (dir / "cli.obj").string() +
                                       " --fold-out " + (dir / "cli.fold").string() + " --steps 12 " + miura +
                                       " --next " + vertex + " --steps 7");
  ASSERT_EQ(run.status, 0) << run.err;

  ORI_foldOptions options;
  options.fold_to = 0.8;
  options.exact = true;
  options.collisions = true;
  ORI_sheet* sheet = oriSheetNew(&options);
  fs::create_directories(dir / "sheet");
  const std::string frames = (dir / "sheet").string();
  ORI_recordOptions rec;
  rec.frames.save_dir = frames.c_str();
  rec.frames.save_model = 1;
  rec.frames.display_frame = 1;
  rec.fold = true;
  testing::internal::CaptureStdout();
  oriSheetSetRecording(sheet, rec);
  ASSERT_FALSE(oriFailed(oriSheetLoad(sheet, miura.c_str(), ORI_loadOptions())));
  for (int k = 0; k < 12; ++k) ASSERT_FALSE(oriFailed(oriSheetStep(sheet, nullptr)));
  ASSERT_FALSE(oriFailed(oriSheetOpenNext(sheet, vertex.c_str(), ORI_loadOptions())));
  for (int k = 0; k < 7; ++k) ASSERT_FALSE(oriFailed(oriSheetStep(sheet, nullptr)));
  EXPECT_FALSE(oriFailed(oriSheetSaveObj(sheet, (dir / "sheet.obj").c_str())));
  EXPECT_FALSE(oriFailed(oriSheetSaveFold(sheet, (dir / "sheet.fold").c_str(), 0)));
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(slurp(dir / "sheet.obj"), slurp(dir / "cli.obj"));
  EXPECT_EQ(slurp(dir / "sheet.fold"), slurp(dir / "cli.fold"));
  for (const char* frame : {"m00000.obj", "m00012.obj", "m00019.obj"}) {
    EXPECT_EQ(slurp(dir / "sheet" / frame), slurp(dir / "cli" / frame)) << frame;
  }
  char summary[128];
  std::snprintf(summary, sizeof summary, "steps=%ld residual=%.3e max_delta=%.6f exact_kept=%ld exact_halvings=%ld\n",
                oriSheetCounts(sheet).steps, oriSheetResidual(sheet), oriSheetLastStep(sheet).record.max_delta,
                oriSheetCounts(sheet).exact_kept, oriSheetCounts(sheet).exact_halvings);
  EXPECT_EQ(run.out.substr(run.out.rfind("steps=")), summary);
  oriSheetDelete(sheet);
  fs::remove_all(dir);
}

TEST(Sheet, MobilityAnalysesBetweenStepsLeaveTheFoldAsItWas) {
  // One sheet analyses its state after every step (the report's dof), the
  // other does not: the analysis closes and restores a copy of the state,
  // so both fold to the same bits. A new pattern is analysed afresh.
  ORI_sheet* plain = oriSheetNew(nullptr);
  ORI_sheet* counted = oriSheetNew(nullptr);
  ORISIM_mobility m;
  EXPECT_EQ(oriSheetMobility(plain, &m).code, kOriFailNoPattern);
  ORI_recordOptions rec;
  rec.dof = true;
  oriSheetSetRecording(counted, rec);
  testing::internal::CaptureStdout();
  for (ORI_sheet* s : {plain, counted}) ASSERT_FALSE(oriFailed(oriSheetLoad(s, (kExamples + "miura_4x4.opx").c_str(), ORI_loadOptions())));
  ORI_sheetStep step;
  for (int k = 0; k < 8; ++k) {
    oriSheetStep(plain, nullptr);
    oriSheetStep(counted, &step);
  }
  EXPECT_EQ(step.record.dof, 1);
  EXPECT_EQ(oriSheetLastStep(plain).record.dof, -1);
  EXPECT_EQ(positions(plain), positions(counted));
  ASSERT_FALSE(oriFailed(oriSheetOpenNext(counted, (kExamples + "degree4_vertex.opx").c_str(), ORI_loadOptions())));
  testing::internal::GetCapturedStdout();
  ASSERT_FALSE(oriFailed(oriSheetMobility(counted, &m)));
  EXPECT_EQ(m.n, static_cast<int>(oriSheetIndex(counted).creases.size()));
  EXPECT_EQ(m.redundant, 0);  // one vertex, folded: one motion, nothing implied
  EXPECT_EQ(m.dof, 1);
  oriSheetDelete(plain);
  oriSheetDelete(counted);
}
