// plicata-fold's pictures as a user asks for them, with no X server: the
// frames of a GIF and the PNG files (step 0, every K-th, the last), the
// crease-pattern view's lines, a video, and bad requests that stop with
// one line and leave no file.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <stb_image.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

class FoldPictures : public testing::Test {
 protected:
  void SetUp() override {
    fold_ = plicataFoldPath();
    if (fold_.empty()) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
    if (runCommand(fold_ + " --help").out.find("built without off-screen") != std::string::npos) {
      GTEST_SKIP() << "plicata-fold was built without off-screen pictures";
    }
    dir_ = makeTempDir();
    miura_ = std::string(PLICATA_SOURCE_DIR) + "/examples/miura_4x4.opx";
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  // plicata-fold with args, run in the temporary directory without a display.
  CommandResult fold(const std::string& args, const std::string& env = "") {
    return runCommand("cd " + dir_ + " && env -u DISPLAY " + env + " " + fold_ + " " + args);
  }
  std::string fold_, dir_, miura_;
};

// Lines plicata-fold printed (a sanitizer build adds its own report).
int ownLines(const std::string& s) {
  int n = 0;
  for (size_t at = 0; (at = s.find("plicata-fold: ", at)) != std::string::npos; ++at) n += at == 0 || s[at - 1] == '\n';
  return n;
}

}  // namespace

TEST_F(FoldPictures, PicturesForStepZeroEveryKthStepAndTheLast) {
  const CommandResult r = fold("--steps 6 --every 4 --size 64x48 --gif fold.gif --png png " + miura_);
  ASSERT_EQ(r.status, 0) << r.err;
  int error = 0;
  GifFileType* gif = DGifOpenFileName((dir_ + "/fold.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << "the GIF does not decode";
  EXPECT_EQ(gif->ImageCount, 3);
  EXPECT_EQ(gif->SWidth, 64);
  EXPECT_EQ(gif->SHeight, 48);
  DGifCloseFile(gif, &error);
  std::string names;
  for (const auto& e : fs::directory_iterator(dir_ + "/png")) names += e.path().filename().string() + " ";
  for (const char* want : {"p00000.png", "p00004.png", "p00006.png"}) EXPECT_NE(names.find(want), std::string::npos) << want;
  EXPECT_EQ(names.size(), 3 * 11u) << names;
}

TEST_F(FoldPictures, CreasePatternViewDrawsPositiveCreasesDashedNegativeOnesSolidAndNoneWithoutEdges) {
  // One vertex: positive-target creases (valleys, type 3) along x (dashed), negative ones
  // along y (solid), on a flat sheet framed to fill the picture but for a
  // margin of a twentieth on each side.
  const std::string gen = fs::path(fold_).parent_path() / "plicata-gen";
  ASSERT_EQ(runCommand(gen + " vertex --sectors 90,90,90,90 --types 3,2,3,2 -o " + dir_ + "/v.opx").status, 0);
  ASSERT_EQ(fold("--view cp --size 200x200 --png cp v.opx").status, 0);
  int w = 0, h = 0, n = 0;
  unsigned char* px = stbi_load((dir_ + "/cp/p00000.png").c_str(), &w, &h, &n, 3);
  ASSERT_NE(px, nullptr);
  ASSERT_EQ(w, 200);
  // The darkest grey across a line at distance t from the centre, along x
  // (horizontal) or along y.
  auto darkest = [&](int t, bool horizontal) {
    int least = 255;
    for (int k = -2; k <= 2; ++k) {
      const int x = horizontal ? 100 + t : 100 + k, y = horizontal ? 100 + k : 100 + t;
      least = std::min(least, static_cast<int>(px[3 * (y * w + x) + 1]));
    }
    return least;
  };
  int dark_x = 0, dark_y = 0, samples = 0;
  for (int t = -40; t <= 40; ++t) {
    if (std::abs(t) < 10) continue;
    dark_x += darkest(t, true) < 80;
    dark_y += darkest(t, false) < 80;
    ++samples;
  }
  EXPECT_EQ(dark_y, samples) << "the negative creases are not solid black";
  EXPECT_GT(dark_x, samples / 4) << "the positive creases are not drawn";
  EXPECT_LT(dark_x, samples * 3 / 4) << "the positive creases are not dashed";
  const unsigned char* paper = px + 3 * (75 * w + 75);
  EXPECT_TRUE(paper[1] > 80 && paper[1] < 250) << "no paper between the creases";
  EXPECT_EQ(px[3 * (4 * w + 4) + 1], 255) << "no white ground around the sheet";
  stbi_image_free(px);
  // Without edges the paper shows where the solid crease was.
  ASSERT_EQ(fold("--view cp --no-edges --size 200x200 --png bare v.opx").status, 0);
  px = stbi_load((dir_ + "/bare/p00000.png").c_str(), &w, &h, &n, 3);
  ASSERT_NE(px, nullptr);
  EXPECT_GT(darkest(30, false), 80) << "--no-edges still draws the lines";
  stbi_image_free(px);
}

TEST_F(FoldPictures, VideoHasEveryPictureInEvenSizes) {
  if (runCommand("command -v ffmpeg && command -v ffprobe").status != 0) GTEST_SKIP() << "no ffmpeg";
  ASSERT_EQ(fold("--steps 3 --size 65x49 --mp4 fold.mp4 " + miura_).status, 0);
  const CommandResult probe = runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                         "stream=width,height,pix_fmt,nb_read_frames -of csv=p=0 " + dir_ + "/fold.mp4");
  EXPECT_EQ(probe.out, "66,50,yuv420p,4\n");
}

TEST_F(FoldPictures, BadRequestsStopWithOneLineAndLeaveNoFile) {
  const struct {
    std::string args, env;
    int status;
  } cases[] = {
      {"--size 0x600 --gif f.gif", "", 2},
      {"--size 9000x10 --png d", "", 2},
      {"--view sideways --gif f.gif", "", 2},
      {"--elevation 120 --gif f.gif", "", 2},
      {"--every 3", "", 2},
      {"--gif missing/f.gif", "", 1},
      {"--picture missing/f.png", "", 1},
      {"--steps 10000 --gif f.gif", "", 1},
      {"--steps 2 --mp4 f.mp4", "PATH=/nonexistent", 1},
      {"--png v.opx", "", 1},
  };
  ASSERT_EQ(std::system(("cp " + miura_ + " " + dir_ + "/v.opx").c_str()), 0);
  for (const auto& c : cases) {
    const CommandResult r = fold(c.args + " v.opx", c.env);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_EQ(ownLines(r.err), 1) << c.args << ": " << r.err;
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir_)) files += e.path().filename() != "v.opx";
    EXPECT_EQ(files, 0) << c.args << " left a file";
  }
}

namespace {

// The box of a picture's non-white pixels: x0, y0, x1, y1 (inclusive);
// x0 > x1 when there are none.
std::array<int, 4> inkBox(const std::string& path, int* w, int* h) {
  int n = 0;
  std::array<int, 4> box = {1 << 20, 1 << 20, -1, -1};
  unsigned char* px = stbi_load(path.c_str(), w, h, &n, 3);
  if (px == nullptr) return box;
  for (int y = 0; y < *h; ++y) {
    for (int x = 0; x < *w; ++x) {
      const unsigned char* p = px + 3 * (static_cast<size_t>(y) * *w + x);
      if (p[0] > 245 && p[1] > 245 && p[2] > 245) continue;
      box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
    }
  }
  stbi_image_free(px);
  return box;
}

// The share of the picture's width or height the box fills, whichever is more.
double filled(const std::array<int, 4>& b, int w, int h) {
  return std::max((b[2] - b[0] + 1) / static_cast<double>(w), (b[3] - b[1] + 1) / static_cast<double>(h));
}

}  // namespace

TEST_F(FoldPictures, FoldedPicturesHoldTheWholeRunAndThePatternItselfWithASmallMargin) {
  ASSERT_EQ(fold("--steps 40 --every 20 --size 200x150 --png run --picture last.png " + miura_).status, 0);
  ASSERT_EQ(fold("--view cp --size 200x150 --png cp " + miura_).status, 0);
  int w = 0, h = 0;
  // One camera for the run: the flat sheet fills the picture but for the
  // margin, and no later shape leaves the picture; the last shape alone
  // (--picture) is framed to itself, larger than in the run.
  const auto flat = inkBox(dir_ + "/run/p00000.png", &w, &h);
  EXPECT_GT(filled(flat, w, h), 0.85);
  EXPECT_LT(filled(flat, w, h), 0.95);
  for (const char* picture : {"p00000.png", "p00020.png", "p00040.png"}) {
    const auto b = inkBox(dir_ + "/run/" + picture, &w, &h);
    EXPECT_TRUE(b[0] >= 3 && b[1] >= 3 && b[2] <= w - 4 && b[3] <= h - 4) << picture << " runs into the edge";
  }
  const auto folded = inkBox(dir_ + "/run/p00040.png", &w, &h);
  const auto alone = inkBox(dir_ + "/last.png", &w, &h);
  EXPECT_GT(filled(alone, w, h), 0.85) << "--picture does not frame the final shape";
  EXPECT_LT(filled(alone, w, h), 0.95);
  EXPECT_GT(filled(alone, w, h), filled(folded, w, h) + 0.05) << "the run's pictures are framed to the last shape alone";
  EXPECT_GT(filled(inkBox(dir_ + "/cp/p00000.png", &w, &h), w, h), 0.85) << "the crease pattern is not framed";
}

TEST_F(FoldPictures, PicturesLeaveTheObjAndFoldFilesAsWithoutThem) {
  // Drawing lays the model in the window's display frame: that frame must
  // not leak into the files the same run writes.
  ASSERT_EQ(fold("--steps 8 --obj a.obj --fold-out a.fold " + miura_).status, 0);
  ASSERT_EQ(fold("--steps 8 --obj b.obj --fold-out b.fold --size 64x48 --gif f.gif --view top " + miura_).status, 0);
  auto read = [&](const char* name) {
    std::ifstream in(dir_ + "/" + name);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(read("a.obj"), read("b.obj"));
  EXPECT_EQ(read("a.fold"), read("b.fold"));
}
