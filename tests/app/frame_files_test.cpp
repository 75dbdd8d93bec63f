// Frame files of the window program: the recorded step writes what
// plicata-fold writes, and a file that cannot be written is reported once,
// leaves nothing behind, and does not stop the numbering.
#include "app/frame_files.h"

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

#include "geometry/manifold.h"
#include "input/pattern_gen.h"
#include "sim/fold_step.h"
#include "sim/sim_matrix.h"
#include "files/bmp.h"
#include "files/screen_capture.h"
#include "tests/support/fixtures.h"
#include "tests/support/small_disk.h"

namespace fs = std::filesystem;

namespace {

struct Model {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  Model() {
    testing::internal::CaptureStdout();
    om = loadGeneratedMiura(OriMiuraParams());
    if (om != nullptr) osm = oriFoldPrepareSim(om);
    testing::internal::GetCapturedStdout();
  }
  ~Model() {
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
};

struct TempDir {
  std::string path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "plicata-ui-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int captures = 0;
// A capture that writes a small file, and one that leaves none.
int fakeCapture(const char* path) {
  ++captures;
  FILE* fp = std::fopen(path, "wb");
  if (fp != nullptr) {
    std::fputs("BM", fp);
    std::fclose(fp);
  }
  return 0;
}
// Says it wrote, and wrote nothing.
int failingCapture(const char*) {
  ++captures;
  return 0;
}

}  // namespace

TEST(FrameFiles, RecordedStepsWriteWhatPlicataFoldWrites) {
  Model a, b;
  ASSERT_TRUE(a.osm != nullptr && b.osm != nullptr);
  // Without axis vertices both show the model in its own coordinates.
  for (ORI_manifold* om : {a.om, b.om}) om->axis_origin = om->axis_x = om->axis_xy = nullptr;
  TempDir fold_dir, window_dir;
  ORI_frameRecorder fold_rec;  // as plicata-fold records with --out
  fold_rec.save_dir = fold_dir.path.c_str();
  fold_rec.save_model = 1;
  AppFrameFiles files = {b.om, 1, 0, nullptr};
  const ORI_frameRecorder window_rec = appFrameRecorder(window_dir.path.c_str(), &files);
  int fold_no = 0, window_no = 0;
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(oriFoldStep(a.osm, a.om, 2.0, "CG", &fold_no, &fold_rec, nullptr, nullptr), 0);
    EXPECT_EQ(oriFoldStep(b.osm, b.om, 2.0, "CG", &window_no, &window_rec, nullptr, nullptr), 0);
  }
  EXPECT_EQ(window_no, 3);
  for (const char* name : {"m00000.obj", "m00001.obj", "m00002.obj", "m00003.obj"}) {
    const std::string fold = slurp(fold_dir.path + "/" + name);
    EXPECT_FALSE(fold.empty()) << name;
    EXPECT_EQ(slurp(window_dir.path + "/" + name), fold) << name;
  }
}

// The display frame follows the three axis vertices (corners of the sheet)
// as they move; each frame must be written in the frame of its own shape,
// not of the shape last drawn.
TEST(FrameFiles, ObjFrameLiesOnTheTableOfItsOwnShape) {
  Model m;
  ASSERT_NE(m.osm, nullptr);
  ASSERT_TRUE(m.om->axis_origin != nullptr && m.om->axis_x != nullptr && m.om->axis_xy != nullptr);
  TempDir dir;
  AppFrameFiles files = {m.om, 1, 0, nullptr};
  const ORI_frameRecorder rec = appFrameRecorder(dir.path.c_str(), &files);
  int frame_no = 0;
  for (int k = 0; k < 3; ++k) oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, nullptr, nullptr);
  std::ifstream in(dir.path + "/m00003.obj");
  std::string line;
  std::vector<double> z;
  double x, y, vz;
  while (std::getline(in, line)) {
    if (std::sscanf(line.c_str(), "v %lf %lf %lf", &x, &y, &vz) == 3) z.push_back(vz);
  }
  double depth = 0;
  for (double d : z) depth = std::max(depth, std::fabs(d));
  EXPECT_GT(depth, 1.0) << "the sheet is folded";
  for (const ORI_vert* v : {m.om->axis_origin, m.om->axis_x, m.om->axis_xy}) {
    ASSERT_LT(static_cast<size_t>(v->index), z.size());
    EXPECT_NEAR(z[v->index], 0.0, 1e-5) << "axis vertex " << v->index;
  }
}

TEST(FrameFiles, MissingDirectoryIsReportedAndTheNumberingGoesOn) {
  Model m;
  ASSERT_NE(m.osm, nullptr);
  TempDir dir;
  const std::string missing = dir.path + "/no such dir";
  captures = 0;
  AppFrameFiles files = {m.om, 1, 1, fakeCapture};
  const ORI_frameRecorder rec = appFrameRecorder(missing.c_str(), &files);
  int frame_no = 0;
  testing::internal::CaptureStdout();
  oriFoldStep(m.osm, m.om, 0.5, "CG", &frame_no, &rec, nullptr, nullptr);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(frame_no, 1);
  EXPECT_EQ(out,
            "cannot save frame " + missing + "/m00000.obj: No such file or directory\n"
            "cannot save frame " + missing + "/ss00000.bmp: No such file or directory\n"
            "cannot save frame " + missing + "/m00001.obj: No such file or directory\n"
            "cannot save frame " + missing + "/ss00001.bmp: No such file or directory\n");
  EXPECT_EQ(captures, 0) << "no capture is taken for a file that cannot be created";
  EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST(FrameFiles, PathLongerThanTheBufferIsRefused) {
  Model m;
  ASSERT_NE(m.om, nullptr);
  TempDir dir;
  const std::string deep = dir.path + "/" + std::string(1100 - dir.path.size(), 'd');
  captures = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(appSaveFrame(m.om, deep.c_str(), 7, 1, 1, fakeCapture), -1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "cannot save frame " + deep + "/m00007.obj: the path is longer than 1023 characters\n" +
                     "cannot save frame " + deep + "/ss00007.bmp: the path is longer than 1023 characters\n");
  EXPECT_EQ(captures, 0);
}

TEST(FrameFiles, CaptureThatWritesNothingLeavesNoFile) {
  Model m;
  ASSERT_NE(m.om, nullptr);
  TempDir dir;
  testing::internal::CaptureStdout();
  EXPECT_EQ(appSaveScreenFrame(dir.path.c_str(), 1, failingCapture), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot save frame " + dir.path + "/ss00001.bmp: writing failed\n");
  EXPECT_TRUE(fs::is_empty(dir.path));

  testing::internal::CaptureStdout();
  EXPECT_EQ(appSaveFrame(m.om, dir.path.c_str(), 1, 1, 1, fakeCapture), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(slurp(dir.path + "/ss00001.bmp"), "BM");
  EXPECT_TRUE(fs::exists(dir.path + "/m00001.obj"));
}

namespace {

// The window's capture writer on a picture of its own.
int bmpCapture(const char* path) {
  const int w = 64, h = 48;
  const std::vector<unsigned char> bits(oriBmpRowBytes(w, 24) * h, 128);
  return oriCaptureSaveBMP(path, w, h, bits.data());
}

}  // namespace

TEST(FrameFiles, FullDiskGivesTheSystemsReasonAndLeavesNothing) {
  SmallDisk disk(256);
  if (disk.path().empty()) GTEST_SKIP() << disk.why();
  Model m;
  ASSERT_NE(m.om, nullptr);
  disk.fill(2048);  // room for a file's start, not for a frame
  testing::internal::CaptureStdout();
  EXPECT_EQ(appSaveFrame(m.om, disk.path().c_str(), 3, 1, 1, bmpCapture), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot save frame " + disk.path() + "/m00003.obj: No space left on device\n"
            "cannot save frame " + disk.path() + "/ss00003.bmp: No space left on device\n");
  EXPECT_EQ(disk.listing(), "");
}
