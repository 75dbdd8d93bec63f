// The window program's FOLD animation: frames recorded with "Mdl" on are
// written as fold.fold when recording stops or another model takes over.
#include "app/fold_recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

ORI_manifold* preparedVertex() {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(squareWithDiagonal(2)));
  if (om != nullptr) oriManifoldPrepare(om, 0);
  testing::internal::GetCapturedStdout();
  return om;
}

nlohmann::json readFold(const fs::path& p) {
  std::ifstream in(p);
  return nlohmann::json::parse(in);
}

}  // namespace

TEST(FoldRecording, FramesAreWrittenWhenRecordingStops) {
  const fs::path dir = makeTempDir();
  ORI_manifold* om = preparedVertex();
  ASSERT_NE(om, nullptr);
  testing::internal::CaptureStdout();
  ORI_edge* d = static_cast<ORI_edge*>(om->edges->next->next->next->next->next->next->next->next->data);
  for (int k = 1; k <= 3; ++k) {
    d->angle = d->pair->angle = 0.3 * k;
    oriManifoldUpdate(om, om->center_face);
    appFoldRecordFrame(om, dir.c_str());
  }
  appFoldRecordingPoll(1);  // still recording: nothing written yet
  EXPECT_FALSE(fs::exists(dir / "fold.fold"));
  appFoldRecordingPoll(0);  // "Mdl" cleared
  const std::string printed = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(fs::exists(dir / "fold.fold")) << printed;
  const nlohmann::json doc = readFold(dir / "fold.fold");
  EXPECT_EQ(doc["file_frames"].size(), 3u);
  EXPECT_EQ(doc["file_classes"][0], "animation");
  EXPECT_EQ(appFoldRecordingStop(), 0);  // nothing left to write
  oriManifoldDelete(om);
}

TEST(FoldRecording, AnotherModelWritesTheFirstAndAMissingDirectoryIsReported) {
  const fs::path dir = makeTempDir();
  ORI_manifold* a = preparedVertex();
  ORI_manifold* b = preparedVertex();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  testing::internal::CaptureStdout();
  appFoldRecordFrame(a, dir.c_str());
  appFoldRecordFrame(b, (dir / "missing").c_str());  // a's recording is written first
  EXPECT_TRUE(fs::exists(dir / "fold.fold"));
  EXPECT_EQ(appFoldRecordingStop(), -1);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("cannot save the folding " + (dir / "missing").string() + "/fold.fold"), std::string::npos)
      << printed;
  oriManifoldDelete(a);
  oriManifoldDelete(b);
}
