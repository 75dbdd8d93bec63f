// One recorded fold step: the step options, frame numbering and files, and
// the creation report of the simulation record.
#include "sim/fold_step.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "input/pattern_gen.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "tests/support/fixtures.h"

namespace fs = std::filesystem;

namespace {

// A fresh directory removed at the end of the test.
struct TempDir {
  std::string path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "plicata-frames-XXXXXX").string();
    path = mkdtemp(tmpl.data()) != nullptr ? tmpl : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

struct Miura {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  std::string printed;
  Miura() {
    OriMiuraSpec spec;
    testing::internal::CaptureStdout();
    om = loadGeneratedMiura(spec);
    osm = om != nullptr ? oriFoldPrepareSim(om) : nullptr;
    std::fflush(stdout);
    printed = testing::internal::GetCapturedStdout();
  }
  ~Miura() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
};

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The largest |z| of the vertex lines of an OBJ text.
double objMaxZ(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  double z = 0;
  while (std::getline(in, line)) {
    double x, y, vz;
    if (std::sscanf(line.c_str(), "v %lf %lf %lf", &x, &y, &vz) == 3) z = std::max(z, std::fabs(vz));
  }
  return z;
}

}  // namespace

TEST(FoldPrepareSim, PrintsTheLoadersReport) {
  Miura m;
  ASSERT_NE(m.osm, nullptr);
  const std::string& p = m.printed;
  const size_t init = p.find("\tinitializing SimMatrix\n");
  const size_t counts = p.find("\nnum_fold_line:0024  num_inside_vert:0009\n");
  const size_t report = p.find("Matrix\n size1: 27\n size2: 24\n data: 0x");
  ASSERT_NE(init, std::string::npos) << p;
  ASSERT_NE(counts, std::string::npos) << p;
  ASSERT_NE(report, std::string::npos) << p;
  EXPECT_LT(init, counts);
  EXPECT_LT(counts, report);
}

TEST(FoldStep, RecordingFromTheStartWritesFrameZeroThenOnePerStep) {
  Miura m;
  ASSERT_NE(m.osm, nullptr);
  TempDir dir;
  ORI_frameRecorder rec;
  rec.save_dir = dir.path.c_str();
  rec.save_model = 1;
  int frame_no = 0;
  for (int k = 0; k < 3; ++k) {
    double moved = -1;
    EXPECT_EQ(oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, &moved, nullptr), 0);
    EXPECT_GT(moved, 0.0);
  }
  EXPECT_EQ(frame_no, 3);
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"m00000.obj", "m00001.obj", "m00002.obj", "m00003.obj"}));
  const std::string first = readFile(dir.path + "/m00000.obj");
  EXPECT_EQ(first.rfind("# Result of Plicata\n", 0), 0u);
  EXPECT_EQ(objMaxZ(first), 0.0);                                // the shape before the first step
  EXPECT_GT(objMaxZ(readFile(dir.path + "/m00003.obj")), 1.0);   // folded, in file units
}

TEST(FoldStep, NothingIsRecordedUntilRecordingIsSwitchedOn) {
  Miura m;
  ASSERT_NE(m.osm, nullptr);
  TempDir dir;
  ORI_frameRecorder rec;
  rec.save_dir = dir.path.c_str();
  int frame_no = 0;
  for (int k = 0; k < 3; ++k) oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, nullptr, nullptr);
  oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, nullptr, nullptr, nullptr);
  EXPECT_EQ(frame_no, 0);
  EXPECT_TRUE(dir.files().empty());
  rec.save_model = 1;
  oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, nullptr, nullptr);
  EXPECT_EQ(frame_no, 1);
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"m00000.obj", "m00001.obj"}));
  // Frame 0 is the folded shape at the moment recording started.
  EXPECT_GT(objMaxZ(readFile(dir.path + "/m00000.obj")), 1.0);
}

TEST(FoldStep, OptionsChooseWhetherTheSolverRuns) {
  Miura m;
  ASSERT_NE(m.osm, nullptr);
  int frame_no = 0;
  for (const char* option : {"RK", "CG_RK", static_cast<const char*>(nullptr)}) {
    double moved = -1;
    testing::internal::CaptureStdout();
    oriFoldStep(m.osm, m.om, 0.5, option, &frame_no, nullptr, &moved, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(moved, 0.0);
    EXPECT_EQ(maxAbsAngle(m.om), 0.0);
  }
  double moved = 0;
  testing::internal::CaptureStdout();
  oriFoldStep(m.osm, m.om, 0.5, "euler", &frame_no, nullptr, &moved, nullptr);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "mode\n");
  EXPECT_GT(moved, 0.0);
  // The faces follow the new angles at once.
  EXPECT_GT(maxAbsAngle(m.om), 0.0);
  double z = 0;
  for (List* l = m.om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    z = std::max(z, std::fabs(static_cast<ORI_vert*>(l->data)->pos.z));
  }
  EXPECT_GT(z, 0.0);
}

TEST(FoldStep, ScreenCaptureFollowsTheModelFrame) {
  Miura m;
  ASSERT_NE(m.osm, nullptr);
  TempDir dir;
  struct Seen {
    std::vector<int> frames;
    std::vector<bool> obj_written;
  } seen;
  ORI_frameRecorder rec;
  rec.save_dir = dir.path.c_str();
  rec.save_model = 1;
  rec.save_screen = 1;
  rec.capture_user = &seen;
  rec.capture = [](const char* save_dir, int frame_no, void* user) {
    Seen* s = static_cast<Seen*>(user);
    char path[64];
    std::snprintf(path, sizeof path, "/m%05d.obj", frame_no);
    s->frames.push_back(frame_no);
    s->obj_written.push_back(fs::exists(std::string(save_dir) + path));
    return 0;
  };
  int frame_no = 0;
  oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, nullptr, nullptr);
  oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, nullptr, nullptr);
  EXPECT_EQ(seen.frames, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(seen.obj_written, (std::vector<bool>{true, true, true}));
}

TEST(FoldStep, FrameThatCannotBeWrittenIsReportedAndTheNumberingGoesOn) {
  Miura m;
  ASSERT_NE(m.osm, nullptr);
  TempDir dir;
  const std::string missing = dir.path + "/no/such/dir";
  ORI_frameRecorder rec;
  rec.save_dir = missing.c_str();
  rec.save_model = 1;
  int frame_no = 0;
  double moved = 0;
  EXPECT_EQ(oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, &moved, nullptr), -1);
  EXPECT_EQ(frame_no, 1);
  EXPECT_GT(moved, 0.0);  // the step itself was taken
  EXPECT_TRUE(dir.files().empty());

  // A directory name too long for the path buffer is refused, not truncated.
  const std::string longer(kOriFramePathSize, 'd');
  EXPECT_EQ(oriFoldSaveObjFrame(m.om, longer.c_str(), 7), -1);
  EXPECT_EQ(oriFoldSaveObjFrame(m.om, dir.path.c_str(), 7), 0);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"m00007.obj"});
}
