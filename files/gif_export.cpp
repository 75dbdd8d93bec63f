// Sections: the palette (a variance-splitting median cut over the exact
// colours of a picture); the mapping of pixels onto it, dithered where a
// pixel lies between palette colours; the GIF stream (giflib): screen and
// looping, then per frame its timing, rectangle, palette and indices.
#include "files/gif_export.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "files/write_aside.h"

namespace {

// One colour of a picture: its value, its pixel count, and the two palette
// entries it is shown with, the second on a share of the pixels.
struct Colour {
  uint32_t rgb;  // 0xRRGGBB
  uint32_t count;
  int entry, other, share;
};

int channel(uint32_t rgb, int axis) { return static_cast<int>((rgb >> (16 - 8 * axis)) & 0xFF); }
uint32_t pack(const unsigned char* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }

// The distinct colours of a picture with their counts, in increasing order,
// by a radix sort of the pixels' 24-bit values (two passes of 12 bits).
std::vector<Colour> distinctColours(const unsigned char* rgb, size_t n) {
  std::vector<uint32_t> keys(n), sorted(n);
  for (size_t i = 0; i < n; ++i) keys[i] = pack(rgb + 3 * i);
  std::vector<size_t> start(4097);
  for (int shift : {0, 12}) {
    std::fill(start.begin(), start.end(), 0);
    for (uint32_t k : keys) ++start[((k >> shift) & 0xFFF) + 1];
    for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    for (uint32_t k : keys) sorted[start[(k >> shift) & 0xFFF]++] = k;
    keys.swap(sorted);
  }
  std::vector<Colour> colours;
  for (size_t i = 0; i < n;) {
    size_t j = i;
    while (j < n && keys[j] == keys[i]) ++j;
    colours.push_back({keys[i], static_cast<uint32_t>(j - i), 0, 0, 0});
    i = j;
  }
  return colours;
}

// A box of colours [begin, end) with its pixel count and the sums of its
// channels and their squares, weighted by count.
struct Box {
  size_t begin, end;
  double count;
  double sum[3], sum2[3];
  double spread(int a) const { return sum2[a] - sum[a] * sum[a] / count; }
};

Box makeBox(const std::vector<Colour>& colours, size_t begin, size_t end) {
  Box b{begin, end, 0.0, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};
  for (size_t i = begin; i < end; ++i) {
    const double c = colours[i].count;
    b.count += c;
    for (int a = 0; a < 3; ++a) {
      const double x = channel(colours[i].rgb, a);
      b.sum[a] += c * x;
      b.sum2[a] += c * x * x;
    }
  }
  return b;
}

// The palette of the distinct colours (sorted by value again on return).
int medianCut(std::vector<Colour>& colours, int max_colours, unsigned char* palette) {
  std::vector<Box> boxes = {makeBox(colours, 0, colours.size())};
  while (static_cast<int>(boxes.size()) < max_colours) {
    // The box whose colours spread most is split where its widest channel
    // divides its pixels in halves.
    int pick = -1, axis = 0;
    double most = 0.0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) continue;
      for (int a = 0; a < 3; ++a) {
        if (boxes[i].spread(a) > most) most = boxes[i].spread(a), pick = static_cast<int>(i), axis = a;
      }
    }
    if (pick < 0) break;
    const Box b = boxes[pick];
    std::sort(colours.begin() + static_cast<long>(b.begin), colours.begin() + static_cast<long>(b.end),
              [axis](const Colour& x, const Colour& y) { return channel(x.rgb, axis) < channel(y.rgb, axis); });
    size_t cut = b.begin + 1;
    double below = colours[b.begin].count;
    while (cut + 1 < b.end && below + colours[cut].count <= b.count * 0.5) below += colours[cut++].count;
    boxes[pick] = makeBox(colours, b.begin, cut);
    boxes.push_back(makeBox(colours, cut, b.end));
  }
  for (size_t i = 0; i < boxes.size(); ++i) {
    for (int a = 0; a < 3; ++a) {
      const double mean = boxes[i].sum[a] / boxes[i].count;
      palette[3 * i + a] = static_cast<unsigned char>(std::min(255.0, mean + 0.5));
    }
  }
  std::sort(colours.begin(), colours.end(), [](const Colour& x, const Colour& y) { return x.rgb < y.rgb; });
  return static_cast<int>(boxes.size());
}

// The ordered dither: a colour between two palette colours is shown as a
// fixed pattern of both in the proportion that mixes to it, by the
// thresholds of an 8 × 8 Bayer matrix. The pattern is fixed to the pixel
// grid rather than spread from pixel to pixel, so that a region keeps its
// pattern while its colours stay; a colour the palette has (the ground, the
// lines) is shown as itself.
constexpr int kBayer8[64] = {0,  32, 8,  40, 2,  34, 10, 42, 48, 16, 56, 24, 50, 18, 58, 26,
                             12, 44, 4,  36, 14, 46, 6,  38, 60, 28, 52, 20, 62, 30, 54, 22,
                             3,  35, 11, 43, 1,  33, 9,  41, 51, 19, 59, 27, 49, 17, 57, 25,
                             15, 47, 7,  39, 13, 45, 5,  37, 63, 31, 55, 23, 61, 29, 53, 21};

// The palette entry that stands for "as before", and how many colours a
// frame has besides it.
constexpr int kTransparent = 255;
constexpr int kFrameColours = 255;

int nearestEntry(const unsigned char* palette, int colours, int r, int g, int b) {
  int best = 0, best_d = 1 << 30;
  for (int i = 0; i < colours; ++i) {
    const int dr = r - palette[3 * i], dg = g - palette[3 * i + 1], db = b - palette[3 * i + 2];
    const int d = dr * dr + dg * dg + db * db;
    if (d < best_d) best_d = d, best = i;
  }
  return best;
}

// The two palette entries a colour is mixed from, and the share of the
// second (0 to 64, in steps of the Bayer matrix): the nearest entry, and the
// nearest to the colour's mirror image through it, which lies on the far
// side of the colour.
void mixColour(Colour* c, const unsigned char* palette, int entries) {
  const int v[3] = {channel(c->rgb, 0), channel(c->rgb, 1), channel(c->rgb, 2)};
  c->entry = nearestEntry(palette, entries, v[0], v[1], v[2]);
  const unsigned char* p = palette + 3 * c->entry;
  int mirror[3];
  for (int a = 0; a < 3; ++a) mirror[a] = std::min(255, std::max(0, 2 * v[a] - p[a]));
  c->other = nearestEntry(palette, entries, mirror[0], mirror[1], mirror[2]);
  const unsigned char* q = palette + 3 * c->other;
  double along = 0.0, length2 = 0.0;
  for (int a = 0; a < 3; ++a) {
    along += static_cast<double>(v[a] - p[a]) * (q[a] - p[a]);
    length2 += static_cast<double>(q[a] - p[a]) * (q[a] - p[a]);
  }
  const double share = length2 > 0.0 ? std::min(1.0, std::max(0.0, along / length2)) : 0.0;
  c->share = static_cast<int>(share * 64.0 + 0.5);
}

}  // namespace

struct ORI_gif_writer {
  ORI_write_aside file;
  GifFileType* gif = nullptr;
  int width = 0, height = 0;
  int delay = 5;  // hundredths of a second per frame
  long frames = 0;
  std::vector<unsigned char> shown;  // the picture as shown after the last frame
  std::vector<GifPixelType> index;   // this frame's palette entry per pixel
};

namespace {

// Gives each pixel its palette entry by the mixture of its colour.
void mapPixels(ORI_gif_writer* gw, const unsigned char* rgb, const std::vector<Colour>& colours) {
  for (int y = 0; y < gw->height; ++y) {
    for (int x = 0; x < gw->width; ++x) {
      const size_t p = static_cast<size_t>(y) * static_cast<size_t>(gw->width) + static_cast<size_t>(x);
      const Colour& c = *std::lower_bound(colours.begin(), colours.end(), pack(rgb + 3 * p),
                                          [](const Colour& c, uint32_t k) { return c.rgb < k; });
      gw->index[p] = static_cast<GifPixelType>(c.share > kBayer8[(y & 7) * 8 + (x & 7)] ? c.other : c.entry);
    }
  }
}

int writeToFile(GifFileType* gif, const GifByteType* bytes, int length) {
  FILE* fp = static_cast<FILE*>(gif->UserData);
  return static_cast<int>(std::fwrite(bytes, 1, static_cast<size_t>(length), fp));
}

// Players loop an animation that carries this application block.
bool putLooping(GifFileType* gif) {
  static const GifByteType kNetscape[] = "NETSCAPE2.0";
  static const GifByteType kForever[] = {1, 0, 0};
  return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, kNetscape) == GIF_OK && EGifPutExtensionBlock(gif, 3, kForever) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
}

// Ends the stream (its trailer goes into the temporary file) and frees
// giflib's record. False when writing failed.
bool closeGif(ORI_gif_writer* gw) {
  if (gw->gif == nullptr) return true;
  int error = 0;
  const bool ok = EGifCloseFile(gw->gif, &error) == GIF_OK;
  gw->gif = nullptr;
  return ok;
}

}  // namespace

ORI_gif_writer* oriGifBegin(const char* path, int w, int h, int fps) {
  if (path == nullptr || w < 1 || h < 1 || w > kOriGifMaxSide || h > kOriGifMaxSide || fps < 1 || fps > kOriGifMaxFps) {
    errno = EINVAL;
    return nullptr;
  }
  ORI_gif_writer* gw = new ORI_gif_writer;
  if (oriWriteAsideOpen(&gw->file, path) != 0) {
    const int err = errno;
    delete gw;
    errno = err;
    return nullptr;
  }
  gw->width = w;
  gw->height = h;
  gw->delay = (100 + fps / 2) / fps;
  int error = 0;
  gw->gif = EGifOpen(gw->file.fp, writeToFile, &error);
  bool ok = gw->gif != nullptr;
  if (ok) {
    EGifSetGifVersion(gw->gif, true);
    ok = EGifPutScreenDesc(gw->gif, w, h, 8, 0, nullptr) == GIF_OK && putLooping(gw->gif);
  }
  if (!ok) {
    const int err = oriWriteAsideReason(&gw->file);
    oriGifAbort(gw);
    errno = err;
    return nullptr;
  }
  const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
  gw->shown.assign(3 * n, 0);
  gw->index.assign(n, 0);
  return gw;
}

int oriGifAddFrame(ORI_gif_writer* gw, const unsigned char* rgb) {
  if (gw->frames >= kOriGifMaxFrames) {
    errno = EFBIG;
    return -1;
  }
  const size_t n = gw->index.size();
  const int W = gw->width;
  unsigned char palette[3 * 256] = {};
  std::vector<Colour> colours = distinctColours(rgb, n);
  const int entries = medianCut(colours, kFrameColours, palette);
  for (Colour& c : colours) mixColour(&c, palette, entries);
  mapPixels(gw, rgb, colours);

  // What looks as before is left transparent; the frame covers the
  // rectangle around the rest (the whole picture the first time).
  int left = 0, top = 0, right = W - 1, bottom = gw->height - 1;
  if (gw->frames > 0) {
    left = W, top = gw->height, right = -1, bottom = -1;
    for (size_t p = 0; p < n; ++p) {
      const unsigned char* now = palette + 3 * gw->index[p];
      if (std::memcmp(now, &gw->shown[3 * p], 3) == 0) {
        gw->index[p] = kTransparent;
        continue;
      }
      const int x = static_cast<int>(p % static_cast<size_t>(W)), y = static_cast<int>(p / static_cast<size_t>(W));
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
    if (right < 0) left = top = right = bottom = 0;  // nothing changed: one transparent pixel
  }
  for (size_t p = 0; p < n; ++p) {
    if (gw->index[p] != kTransparent) std::memcpy(&gw->shown[3 * p], palette + 3 * gw->index[p], 3);
  }

  GraphicsControlBlock gcb = {};
  gcb.DisposalMode = DISPOSE_DO_NOT;
  gcb.UserInputFlag = false;
  gcb.DelayTime = gw->delay;
  gcb.TransparentColor = gw->frames == 0 ? NO_TRANSPARENT_COLOR : kTransparent;
  GifByteType control[4];
  EGifGCBToExtension(&gcb, control);
  GifColorType colors[256] = {};
  for (int i = 0; i < 256; ++i) colors[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
  ColorMapObject* map = GifMakeMapObject(256, colors);
  bool ok = map != nullptr && EGifPutExtension(gw->gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK &&
            EGifPutImageDesc(gw->gif, left, top, right - left + 1, bottom - top + 1, false, map) == GIF_OK;
  GifFreeMapObject(map);
  for (int y = top; ok && y <= bottom; ++y) {
    ok = EGifPutLine(gw->gif, &gw->index[static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(left)],
                     right - left + 1) == GIF_OK;
  }
  if (!ok) {
    // giflib says only that its write failed: the stream kept why.
    errno = map == nullptr ? ENOMEM : gw->file.error != 0 ? gw->file.error : EIO;
    return -1;
  }
  ++gw->frames;
  return 0;
}

int oriGifEnd(ORI_gif_writer* gw) {
  const bool framed = gw->frames > 0;
  if (!closeGif(gw) || !framed) {
    const int err = framed ? (gw->file.error != 0 ? gw->file.error : EIO) : EINVAL;
    oriWriteAsideDiscard(&gw->file);
    delete gw;
    errno = err;
    return -1;
  }
  const int committed = oriWriteAsideCommit(&gw->file);
  const int err = errno;
  delete gw;
  errno = err;
  return committed;
}

void oriGifAbort(ORI_gif_writer* gw) {
  if (gw == nullptr) return;
  closeGif(gw);
  oriWriteAsideDiscard(&gw->file);
  delete gw;
}
