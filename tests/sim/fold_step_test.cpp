// One recorded fold step: the step options, frame numbering and files.
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
#include "tests/support/fixtures.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  std::string dir;
  Fixture() {
    testing::internal::CaptureStdout();
    om = loadGeneratedMiura(OriMiuraParams());
    if (om != nullptr) osm = oriFoldPrepareSim(om);
    testing::internal::GetCapturedStdout();
    std::string tmpl = (fs::temp_directory_path() / "plicata-frames-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) dir = tmpl;
  }
  ~Fixture() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  // The largest |z| of the vertex lines of a frame, in file units.
  double frameDepth(const std::string& name) const {
    std::ifstream in(dir + "/" + name);
    std::string line;
    double z = 0, x, y, vz;
    while (std::getline(in, line)) {
      if (std::sscanf(line.c_str(), "v %lf %lf %lf", &x, &y, &vz) == 3) z = std::max(z, std::fabs(vz));
    }
    return z;
  }
};

}  // namespace

TEST(FoldStep, RecordsFrameZeroWhenRecordingStartsThenOnePerStep) {
  Fixture f;
  ASSERT_NE(f.osm, nullptr);
  std::vector<int> captured;
  ORI_frameRecorder rec;
  rec.save_dir = f.dir.c_str();
  rec.capture_user = &captured;
  rec.capture = [](const char* dir, int frame_no, void* user) {
    char name[32];
    std::snprintf(name, sizeof name, "/m%05d.obj", frame_no);
    // The model frame is written before the screen is captured.
    static_cast<std::vector<int>*>(user)->push_back(fs::exists(std::string(dir) + name) ? frame_no : -1);
    return 0;
  };
  int frame_no = 0;
  double moved = 0;
  oriFoldStep(f.osm, f.om, 0.5, "CG", &frame_no, &rec, &moved, nullptr);  // recording off
  EXPECT_GT(moved, 0.0);
  EXPECT_EQ(frame_no, 0);
  EXPECT_TRUE(f.files().empty());
  rec.save_model = rec.save_screen = 1;
  for (int k = 0; k < 3; ++k) EXPECT_EQ(oriFoldStep(f.osm, f.om, 0.5, "CG", &frame_no, &rec, &moved, nullptr), 0);
  EXPECT_EQ(frame_no, 3);
  EXPECT_EQ(f.files(), (std::vector<std::string>{"m00000.obj", "m00001.obj", "m00002.obj", "m00003.obj"}));
  EXPECT_EQ(captured, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_GT(f.frameDepth("m00000.obj"), 0.0);  // frame 0: the shape when recording began
  EXPECT_GT(f.frameDepth("m00003.obj"), f.frameDepth("m00000.obj"));
}

TEST(FoldStep, OptionsAndFramesThatCannotBeWritten) {
  Fixture f;
  ASSERT_NE(f.osm, nullptr);
  int frame_no = 0;
  double moved = -1;
  for (const char* option : {"RK", "CG_RK", static_cast<const char*>(nullptr)}) {
    oriFoldStep(f.osm, f.om, 0.5, option, &frame_no, nullptr, &moved, nullptr);
    EXPECT_EQ(moved, 0.0);  // no solver: only the faces are placed again
  }
  EXPECT_EQ(maxAbsAngle(f.om), 0.0);
  testing::internal::CaptureStdout();
  oriFoldStep(f.osm, f.om, 0.5, "euler", &frame_no, nullptr, &moved, nullptr);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "mode\n");
  EXPECT_GT(moved, 0.0);

  // A missing directory: the step is taken, the failure reported, the numbering goes on.
  const std::string missing = f.dir + "/no/such/dir";
  ORI_frameRecorder rec;
  rec.save_dir = missing.c_str();
  rec.save_model = 1;
  EXPECT_EQ(oriFoldStep(f.osm, f.om, 0.5, "CG", &frame_no, &rec, &moved, nullptr), -1);
  EXPECT_EQ(frame_no, 1);
  EXPECT_GT(moved, 0.0);
  // A directory name too long for the path buffer is refused, not truncated.
  EXPECT_EQ(oriFoldSaveObjFrame(f.om, std::string(kOriFramePathSize, 'd').c_str(), 7), -1);
  EXPECT_EQ(oriFoldSaveObjFrame(f.om, f.dir.c_str(), 7), 0);
  EXPECT_EQ(f.files(), std::vector<std::string>{"m00007.obj"});
}
