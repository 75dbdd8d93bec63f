// shot_check: checks screenshots of the window program (binary PPM, as
// written by `import -window root shot.ppm`) without a window of its own.
//
//   shot_check paper SHOT.ppm X Y W H [--min-range N]
//     The rectangle (the drawing window) shows white background, black
//     lines and paper in the colours of the paper rule with the built-in
//     paper colours, and nothing else to speak of; the paper is centred.
//     --min-range asks for a spread of at least N grey levels across the
//     paper (facets at different angles to the light).
//
//   shot_check marks SHOT.ppm X Y W H
//     Counts the pixels of the rectangle (the drawing window), leaving out
//     the corner where a legend may be, that show a colour of the closure
//     scale, those of them above the scale's floor (an error above about
//     3e-6), and those in the collision warning colour; prints
//     "scale N above_floor M warning K". Always exit status 0.
//
//   shot_check creases SHOT.ppm X Y W H
//     Counts the pixels of the rectangle, leaving out the legend's corner,
//     in the mountain and in the valley colour of the "Colour" view, and
//     those of the legend's corner in either; prints "mountain N valley M
//     legend L". Always exit status 0.
//
//   shot_check capture SHOT.ppm X Y CAPTURE.bmp W H
//     CAPTURE.bmp is a plain 24-bit BMP of W × H pixels with the header a
//     capture writes, and its pixels are those of the screenshot's W × H
//     rectangle at (X, Y).
//
// Prints what it measured; exit status 0 when the checks hold, 1 when not,
// 2 for unusable arguments or files.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/bmp.h"
#include "geometry/paper_color.h"
#include "render/color_scale.h"
#include "render/draw_marks.h"
#include "render/shading.h"

namespace {

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // top row first
  const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

int readPpmNumber(FILE* fp) {
  int c = std::fgetc(fp);
  while (c == '#' || c == ' ' || c == '\n' || c == '\r' || c == '\t') {
    if (c == '#') {
      while (c != '\n' && c != EOF) c = std::fgetc(fp);
    }
    c = std::fgetc(fp);
  }
  int v = 0, digits = 0;
  while (c >= '0' && c <= '9' && digits < 9) {
    v = v * 10 + (c - '0');
    ++digits;
    c = std::fgetc(fp);
  }
  return digits > 0 ? v : -1;
}

bool loadPpm(const char* path, Image* img) {
  FILE* fp = std::fopen(path, "rb");
  if (fp == nullptr) return false;
  bool ok = std::fgetc(fp) == 'P' && std::fgetc(fp) == '6';
  if (ok) {
    img->width = readPpmNumber(fp);
    img->height = readPpmNumber(fp);
    const int maxval = readPpmNumber(fp);
    ok = img->width > 0 && img->height > 0 && img->width <= 16384 && img->height <= 16384 && maxval == 255;
  }
  if (ok) {
    img->rgb.resize(static_cast<size_t>(img->width) * img->height * 3);
    ok = std::fread(img->rgb.data(), 1, img->rgb.size(), fp) == img->rgb.size();
  }
  std::fclose(fp);
  return ok;
}

// Every 8-bit colour the paper rule can give with the built-in colours, for
// light and corner terms in [0, 1], clamped as OpenGL clamps.
class PaperColours {
 public:
  PaperColours() : reachable_(1u << 24, false) {
    constexpr int kSteps = 600;
    for (int i = 0; i <= kSteps; ++i) {
      for (int j = 0; j <= kSteps; ++j) {
        float rgb[3];
        oriGLPaperColor(kOriDefaultPaperColor, static_cast<double>(i) / kSteps, static_cast<double>(j) / kSteps, rgb);
        reachable_[key(toByte(rgb[0]), toByte(rgb[1]), toByte(rgb[2]))] = true;
      }
    }
  }
  // Within one level per channel of a reachable colour (rounding).
  bool contains(const unsigned char* p) const {
    for (int dr = -1; dr <= 1; ++dr)
      for (int dg = -1; dg <= 1; ++dg)
        for (int db = -1; db <= 1; ++db) {
          const int r = p[0] + dr, g = p[1] + dg, b = p[2] + db;
          if (r < 0 || g < 0 || b < 0 || r > 255 || g > 255 || b > 255) continue;
          if (reachable_[key(r, g, b)]) return true;
        }
    return false;
  }

 private:
  static int toByte(float v) {
    const double c = v < 0.0f ? 0.0 : (v > 1.0f ? 1.0 : v);
    return static_cast<int>(std::lround(c * 255.0));
  }
  static size_t key(int r, int g, int b) { return (static_cast<size_t>(r) << 16) | (g << 8) | b; }
  std::vector<bool> reachable_;
};

// The display frame puts the fixed facet's centroid, not the sheet's, at the
// centre, so the sheet may sit off centre by a part of a facet.
constexpr double kCentreTolerance = 0.1;

bool inside(const Image& img, int x, int y, int w, int h) {
  return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= img.width && y + h <= img.height;
}

int checkPaper(const Image& img, int X, int Y, int W, int H, int min_range) {
  const PaperColours paper;
  long background = 0, line = 0, paper_px = 0, other = 0;
  double cx = 0.0, cy = 0.0;
  int lo = 255, hi = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const unsigned char* p = img.at(X + x, Y + y);
      if (p[0] == 255 && p[1] == 255 && p[2] == 255) {
        ++background;
        continue;
      }
      cx += x;
      cy += y;
      if (p[0] < 40 && p[1] < 40 && p[2] < 40) {
        ++line;
      } else if (paper.contains(p)) {
        ++paper_px;
        const int grey = (p[0] + p[1] + p[2]) / 3;
        lo = grey < lo ? grey : lo;
        hi = grey > hi ? grey : hi;
      } else {
        ++other;
      }
    }
  }
  const double area = static_cast<double>(W) * H;
  const long drawn = line + paper_px + other;
  const double off_x = drawn > 0 ? (cx / drawn - (W - 1) / 2.0) / W : 1.0;
  const double off_y = drawn > 0 ? (cy / drawn - (H - 1) / 2.0) / H : 1.0;
  const int range = paper_px > 0 ? hi - lo : 0;
  std::printf("paper %.1f%%  lines %.2f%%  background %.1f%%  other %.2f%%  grey range %d  centre offset %.3f %.3f\n",
              100.0 * paper_px / area, 100.0 * line / area, 100.0 * background / area, 100.0 * other / area, range,
              off_x, off_y);
  bool ok = true;
  if (paper_px < 0.05 * area) ok = false, std::printf("FAIL: too little paper\n");
  if (line < 0.0005 * area) ok = false, std::printf("FAIL: no lines\n");
  if (background < 0.05 * area) ok = false, std::printf("FAIL: no background around the paper\n");
  if (other > 0.01 * area) ok = false, std::printf("FAIL: colours outside the paper rule\n");
  if (std::fabs(off_x) > kCentreTolerance || std::fabs(off_y) > kCentreTolerance) ok = false, std::printf("FAIL: model not centred\n");
  if (range < min_range) ok = false, std::printf("FAIL: paper shading spans %d grey levels, want %d\n", range, min_range);
  return ok ? 0 : 1;
}

// A place on the closure scale counts as above its floor from here on (a
// tenth of the scale: an error of about 3e-6 radians).
constexpr int kAboveFloor = 26;

int countMarks(const Image& img, int X, int Y, int W, int H) {
  int table[256][3];
  for (int i = 0; i < 256; ++i) {
    float rgb[3];
    oriGLScaleColor(i / 255.0, rgb);
    for (int c = 0; c < 3; ++c) table[i][c] = static_cast<int>(std::lround(rgb[c] * 255.0f));
  }
  int warning[3];
  for (int c = 0; c < 3; ++c) warning[c] = static_cast<int>(std::lround(kOriCollisionColor[c] * 255.0f));
  const int legend_h = kOriLegendMargin + kOriLegendMaxHeight;
  const int legend_w = kOriLegendMargin + kOriLegendWidth;
  long scale = 0, above = 0, warned = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      if (x < legend_w && y >= H - legend_h) continue;
      const unsigned char* p = img.at(X + x, Y + y);
      int best = -1, best_d = 1 << 30;
      for (int i = 0; i < 256; ++i) {
        const int dr = p[0] - table[i][0], dg = p[1] - table[i][1], db = p[2] - table[i][2];
        const int d = dr * dr + dg * dg + db * db;
        if (d < best_d) best_d = d, best = i;
      }
      if (best_d <= 12) {
        ++scale;
        above += best >= kAboveFloor;
      }
      const int dr = p[0] - warning[0], dg = p[1] - warning[1], db = p[2] - warning[2];
      warned += dr * dr + dg * dg + db * db <= 12;
    }
  }
  std::printf("scale %ld above_floor %ld warning %ld\n", scale, above, warned);
  return 0;
}

int countCreaseColours(const Image& img, int X, int Y, int W, int H) {
  int mountain[3], valley[3];
  for (int c = 0; c < 3; ++c) {
    mountain[c] = static_cast<int>(std::lround(kOriMountainColor[c] * 255.0f));
    valley[c] = static_cast<int>(std::lround(kOriValleyColor[c] * 255.0f));
  }
  auto near = [](const unsigned char* p, const int* q) {
    const int dr = p[0] - q[0], dg = p[1] - q[1], db = p[2] - q[2];
    return dr * dr + dg * dg + db * db <= 12;
  };
  const int legend_h = kOriLegendMargin + kOriLegendMaxHeight;
  const int legend_w = kOriLegendMargin + kOriLegendWidth;
  long m = 0, v = 0, legend = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const unsigned char* p = img.at(X + x, Y + y);
      const bool is_m = near(p, mountain), is_v = near(p, valley);
      if (x < legend_w && y >= H - legend_h) {
        legend += is_m || is_v;
      } else {
        m += is_m;
        v += is_v;
      }
    }
  }
  std::printf("mountain %ld valley %ld legend %ld\n", m, v, legend);
  return 0;
}

uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

int checkCapture(const Image& img, int X, int Y, const char* bmp_path, int W, int H) {
  FILE* fp = std::fopen(bmp_path, "rb");
  if (fp == nullptr) {
    std::printf("FAIL: no capture %s\n", bmp_path);
    return 1;
  }
  unsigned char head[54];
  const size_t got = std::fread(head, 1, sizeof head, fp);
  std::fseek(fp, 0, SEEK_END);
  const long file_size = std::ftell(fp);
  std::fclose(fp);
  const uint32_t row = (3u * W + 3u) & ~3u;
  const uint32_t image = row * static_cast<uint32_t>(H);
  bool ok = got == sizeof head;
  ok = ok && head[0] == 'B' && head[1] == 'M' && le32(head + 2) == 54 + image &&
       le32(head + 2) == static_cast<uint32_t>(file_size) && le32(head + 10) == 54 && le32(head + 14) == 40 &&
       static_cast<int32_t>(le32(head + 18)) == W && static_cast<int32_t>(le32(head + 22)) == H &&
       le16(head + 26) == 1 && le16(head + 28) == 24 && le32(head + 30) == 0 && le32(head + 34) == image;
  if (!ok) {
    std::printf("FAIL: capture header is not that of a %d x %d 24-bit capture (file %ld bytes)\n", W, H, file_size);
    return 1;
  }
  BITMAPINFO* info = nullptr;
  unsigned char* bits = LoadDIBitmap(bmp_path, &info);
  if (bits == nullptr) {
    std::printf("FAIL: the BMP loader refuses the capture\n");
    return 1;
  }
  long exact = 0, close = 0, non_white = 0;
  for (int r = 0; r < H; ++r) {
    const unsigned char* src = bits + static_cast<size_t>(r) * row;  // bottom row first
    for (int x = 0; x < W; ++x, src += 3) {
      const unsigned char* p = img.at(X + x, Y + (H - 1 - r));
      const int d = std::abs(src[0] - p[0]) + std::abs(src[1] - p[1]) + std::abs(src[2] - p[2]);
      exact += d == 0;
      close += d <= 6;
      non_white += !(src[0] == 255 && src[1] == 255 && src[2] == 255);
    }
  }
  std::free(bits);
  std::free(info);
  const double area = static_cast<double>(W) * H;
  std::printf("capture %dx%d: %.2f%% of the pixels equal the screen, %.2f%% within 6 levels summed over the channels; %.1f%% not white\n", W, H,
              100.0 * exact / area, 100.0 * close / area, 100.0 * non_white / area);
  ok = true;
  if (close < 0.995 * area) ok = false, std::printf("FAIL: the capture differs from the screen\n");
  if (non_white < 0.05 * area) ok = false, std::printf("FAIL: the capture shows no model\n");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr,
                 "usage: shot_check paper SHOT.ppm X Y W H [--min-range N]\n"
                 "       shot_check marks SHOT.ppm X Y W H\n"
                 "       shot_check creases SHOT.ppm X Y W H\n"
                 "       shot_check capture SHOT.ppm X Y CAPTURE.bmp W H\n");
    return 2;
  }
  Image img;
  if (!loadPpm(argv[2], &img)) {
    std::fprintf(stderr, "shot_check: %s: not a binary PPM\n", argv[2]);
    return 2;
  }
  const int X = std::atoi(argv[3]), Y = std::atoi(argv[4]);
  if (std::strcmp(argv[1], "paper") == 0) {
    const int W = std::atoi(argv[5]), H = std::atoi(argv[6]);
    const int min_range = argc >= 9 && std::strcmp(argv[7], "--min-range") == 0 ? std::atoi(argv[8]) : 0;
    if (!inside(img, X, Y, W, H)) return std::fprintf(stderr, "shot_check: rectangle outside the shot\n"), 2;
    return checkPaper(img, X, Y, W, H, min_range);
  }
  if (std::strcmp(argv[1], "marks") == 0) {
    const int W = std::atoi(argv[5]), H = std::atoi(argv[6]);
    if (!inside(img, X, Y, W, H)) return std::fprintf(stderr, "shot_check: rectangle outside the shot\n"), 2;
    return countMarks(img, X, Y, W, H);
  }
  if (std::strcmp(argv[1], "creases") == 0) {
    const int W = std::atoi(argv[5]), H = std::atoi(argv[6]);
    if (!inside(img, X, Y, W, H)) return std::fprintf(stderr, "shot_check: rectangle outside the shot\n"), 2;
    return countCreaseColours(img, X, Y, W, H);
  }
  if (std::strcmp(argv[1], "capture") == 0 && argc >= 8) {
    const int W = std::atoi(argv[6]), H = std::atoi(argv[7]);
    if (!inside(img, X, Y, W, H)) return std::fprintf(stderr, "shot_check: rectangle outside the shot\n"), 2;
    return checkCapture(img, X, Y, argv[5], W, H);
  }
  std::fprintf(stderr, "shot_check: unknown check %s\n", argv[1]);
  return 2;
}
