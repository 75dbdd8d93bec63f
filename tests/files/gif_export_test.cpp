// Animated GIFs: the frames decode to the pictures given, in order and at
// their size, with exact ground and line colours and the paper's gradients
// kept smooth; a file that is abandoned or cannot be finished leaves
// nothing behind.
#include "files/gif_export.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

constexpr int kW = 160, kH = 120;

// Like a rendered fold: white ground, a black line, and a face shaded in two
// directions at once over a wide range (about 9 600 colours, far more than
// a palette holds), placed `shift` pixels to the right.
std::vector<unsigned char> picture(int shift) {
  std::vector<unsigned char> rgb(3 * kW * kH, 255);
  for (int y = 20; y < 100; ++y) {
    for (int x = 20 + shift; x < 140; ++x) {
      unsigned char* p = &rgb[3 * (y * kW + x)];
      p[0] = static_cast<unsigned char>(60 + (x - 20 - shift) * 1.5);
      p[1] = static_cast<unsigned char>(40 + (y - 20) * 2.2);
      p[2] = static_cast<unsigned char>(100 + (x - shift) * 0.2);
    }
  }
  for (int x = 0; x < kW; ++x) std::fill_n(&rgb[3 * (10 * kW + x)], 3, 0);
  return rgb;
}

// The frames as a viewer shows them: each drawn over the last within its
// rectangle, its transparent pixels keeping what was there.
std::vector<std::vector<unsigned char>> shownFrames(const std::string& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  EXPECT_NE(gif, nullptr);
  if (gif == nullptr) return {};
  EXPECT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->SWidth, kW);
  EXPECT_EQ(gif->SHeight, kH);
  std::vector<std::vector<unsigned char>> frames;
  std::vector<unsigned char> canvas(3 * kW * kH, 0);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& im = gif->SavedImages[i];
    GraphicsControlBlock gcb = {};
    DGifSavedExtensionToGCB(gif, i, &gcb);
    const ColorMapObject* map = im.ImageDesc.ColorMap != nullptr ? im.ImageDesc.ColorMap : gif->SColorMap;
    for (int y = 0; y < im.ImageDesc.Height; ++y) {
      for (int x = 0; x < im.ImageDesc.Width; ++x) {
        const int k = im.RasterBits[y * im.ImageDesc.Width + x];
        if (k == gcb.TransparentColor) continue;
        unsigned char* p = &canvas[3 * ((im.ImageDesc.Top + y) * kW + im.ImageDesc.Left + x)];
        p[0] = map->Colors[k].Red, p[1] = map->Colors[k].Green, p[2] = map->Colors[k].Blue;
      }
    }
    frames.push_back(canvas);
  }
  DGifCloseFile(gif, &error);
  return frames;
}

}  // namespace

TEST(GifExport, FramesDecodeToThePicturesWithExactLinesAndSmoothShading) {
  const std::string dir = makeTempDir(), path = dir + "/fold.gif";
  ORI_gif_writer* gw = oriGifBegin(path.c_str(), kW, kH, 20);
  ASSERT_NE(gw, nullptr);
  const int shifts[3] = {0, 0, 6};  // the second frame repeats the first
  for (int s : shifts) ASSERT_EQ(oriGifAddFrame(gw, picture(s).data()), 0);
  ASSERT_EQ(oriGifEnd(gw), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "a temporary file is left";

  const auto frames = shownFrames(path);
  ASSERT_EQ(frames.size(), 3u);
  for (int f = 0; f < 3; ++f) {
    const std::vector<unsigned char> want = picture(shifts[f]);
    double worst_block = 0.0, sum = 0.0;
    int blocks = 0;
    for (int by = 0; by < kH; by += 8) {
      for (int bx = 0; bx < kW; bx += 8) {
        // The dither may move single pixels, but hardly the mean of a block.
        for (int c = 0; c < 3; ++c) {
          double got = 0.0, wanted = 0.0;
          for (int y = by; y < by + 8; ++y) {
            for (int x = bx; x < bx + 8; ++x) got += frames[f][3 * (y * kW + x) + c], wanted += want[3 * (y * kW + x) + c];
          }
          worst_block = std::max(worst_block, std::fabs(got - wanted) / 64.0);
          sum += std::fabs(got - wanted) / 64.0, ++blocks;
        }
      }
    }
    // Measured: worst 2.0 levels, mean 0.17; a palette of 6 levels a
    // channel, or colours taken at 5 bits, is off by several levels.
    EXPECT_LT(worst_block, 3.0) << "frame " << f << ": the shading is banded";
    EXPECT_LT(sum / blocks, 0.5) << "frame " << f;
    for (int x = 0; x < kW; ++x) EXPECT_EQ(frames[f][3 * (10 * kW + x)], 0) << "the line, frame " << f;
    EXPECT_EQ(frames[f][3 * (110 * kW + 5) + 1], 255) << "the ground, frame " << f;
  }
  fs::remove_all(dir);
}

TEST(GifExport, AbandonedUnfinishedOrImpossibleFilesLeaveNothing) {
  const std::string dir = makeTempDir(), path = dir + "/fold.gif";
  errno = 0;
  EXPECT_EQ(oriGifBegin((dir + "/missing/fold.gif").c_str(), kW, kH, 20), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(oriGifBegin(path.c_str(), 0, kH, 20), nullptr);
  EXPECT_EQ(oriGifBegin(path.c_str(), kW, kH, 51), nullptr);

  ORI_gif_writer* gw = oriGifBegin(path.c_str(), kW, kH, 20);
  ASSERT_NE(gw, nullptr);
  ASSERT_EQ(oriGifAddFrame(gw, picture(0).data()), 0);
  oriGifAbort(gw);
  gw = oriGifBegin(path.c_str(), kW, kH, 20);
  ASSERT_NE(gw, nullptr);
  EXPECT_EQ(oriGifEnd(gw), -1) << "a GIF without frames";
  EXPECT_TRUE(fs::is_empty(dir));
  fs::remove_all(dir);
}
