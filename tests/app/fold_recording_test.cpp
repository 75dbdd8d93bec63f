// The window program's FOLD animation, kept by the sheet: steps recorded
// with "Mdl" on are written as fold.fold when recording stops or another
// model takes over.
#include "app/fold_recording.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "app/app_state.h"
#include "app/file_open.h"
#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

nlohmann::json readFold(const fs::path& p) {
  std::ifstream in(p);
  return nlohmann::json::parse(in);
}

// The window's state with "Mdl" on, recording into dir, and a pattern of
// its own open; left as it was found.
class WindowRecording : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = makeTempDir();
    pattern_ = (dir_ / "vertex.opx").string();
    std::ofstream(pattern_) << opxText(squareWithDiagonal(2));
    saved_ = the;
    the.save_model = 1;
    setSaveDir(dir_);
    testing::internal::CaptureStdout();
    std::string why;
    ASSERT_EQ(appOpenPatternFile(pattern_.c_str(), 0, 1, &why), 0) << why;
  }
  void TearDown() override {
    printed_ += testing::internal::GetCapturedStdout();
    appSheetDelete();
    the = saved_;
  }
  void setSaveDir(const fs::path& dir) { std::snprintf(the.save_dir, sizeof the.save_dir, "%s", dir.c_str()); }
  // A step as the window takes it (timer.cpp's Step, without the window).
  void step() {
    appFoldRecordingPoll(the.save_model);
    appSyncRecording();
    oriSheetStepBy(appSheet(), 0.5, nullptr);
  }

  fs::path dir_;
  std::string pattern_;
  std::string printed_;
  the_struct saved_;
};

}  // namespace

TEST_F(WindowRecording, FramesAreWrittenWhenRecordingStops) {
  for (int k = 0; k < 3; ++k) step();
  appFoldRecordingPoll(1);  // still recording: nothing written yet
  EXPECT_FALSE(fs::exists(dir_ / "fold.fold"));
  appFoldRecordingPoll(0);  // "Mdl" cleared
  ASSERT_TRUE(fs::exists(dir_ / "fold.fold"));
  const nlohmann::json doc = readFold(dir_ / "fold.fold");
  EXPECT_EQ(doc["file_frames"].size(), 3u);
  EXPECT_EQ(doc["file_classes"][0], "animation");
  EXPECT_TRUE(fs::exists(dir_ / "m00003.obj"));  // the OBJ frames beside it
  EXPECT_EQ(appFoldRecordingStop(), 0);          // nothing left to write
  fs::remove(dir_ / "fold.fold");
  the.save_model = 0;
  step();  // a step with "Mdl" off records nothing
  EXPECT_EQ(appFoldRecordingStop(), 0);
  EXPECT_FALSE(fs::exists(dir_ / "fold.fold"));
}

TEST_F(WindowRecording, AnotherModelWritesTheFirstAndAMissingDirectoryIsReported) {
  step();
  const fs::path missing = dir_ / "missing";
  setSaveDir(missing);
  std::string why;
  ASSERT_EQ(appOpenPatternFile(pattern_.c_str(), 1, 1, &why), 0) << why;  // the first recording is written
  const nlohmann::json doc = readFold(dir_ / "fold.fold");
  EXPECT_EQ(doc["file_frames"].size(), 1u);
  step();  // the new model records for the missing directory
  EXPECT_EQ(appFoldRecordingStop(), -1);
  printed_ = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  EXPECT_NE(printed_.find("saved the folding as " + (dir_ / "fold.fold").string() + "\n"), std::string::npos)
      << printed_;
  EXPECT_NE(printed_.find("cannot save the folding " + (missing / "fold.fold").string() + "\n"), std::string::npos)
      << printed_;
}
