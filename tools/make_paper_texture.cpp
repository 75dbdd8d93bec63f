// make_paper_texture: writes the paper texture the window program multiplies
// onto its faces, a 512 × 512 24-bit BMP of a pale, warm paper grain:
// several octaves of smooth noise for the cloudiness of the pulp and short
// curved fibres on top. The picture tiles seamlessly (the texture repeats)
// and is the same on every run (a fixed seed).
//
//   make_paper_texture OUTPUT.bmp
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "files/bmp.h"

namespace {

constexpr int kSide = 512;
constexpr uint32_t kSeed = 0x5eed1234u;
constexpr int kFibres = 2400;
// Brightness of the grain: mean and spread; kept near white so that the
// paper colours survive the multiplication.
constexpr double kBase = 0.93;
constexpr double kCloud = 0.05;
constexpr double kFibre = 0.035;
// Warm tint of the paper, red, green, blue.
constexpr double kTint[3] = {1.0, 0.985, 0.95};

// A small deterministic generator (xorshift32), so that the texture does not
// depend on the standard library's random engines.
struct Random {
  uint32_t state;
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  double uniform() { return (next() >> 8) * (1.0 / 16777216.0); }  // [0, 1)
};

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// Value noise on a periodic lattice of cells × cells points over the tile.
void addNoiseOctave(std::vector<double>& img, int cells, double amplitude, Random& rnd) {
  std::vector<double> lattice(static_cast<size_t>(cells) * cells);
  for (double& v : lattice) v = rnd.uniform() * 2.0 - 1.0;
  const double step = static_cast<double>(kSide) / cells;
  for (int y = 0; y < kSide; ++y) {
    const double gy = y / step;
    const int y0 = static_cast<int>(gy) % cells, y1 = (y0 + 1) % cells;
    const double ty = smooth(gy - std::floor(gy));
    for (int x = 0; x < kSide; ++x) {
      const double gx = x / step;
      const int x0 = static_cast<int>(gx) % cells, x1 = (x0 + 1) % cells;
      const double tx = smooth(gx - std::floor(gx));
      const double a = lattice[y0 * cells + x0] * (1 - tx) + lattice[y0 * cells + x1] * tx;
      const double b = lattice[y1 * cells + x0] * (1 - tx) + lattice[y1 * cells + x1] * tx;
      img[static_cast<size_t>(y) * kSide + x] += amplitude * (a * (1 - ty) + b * ty);
    }
  }
}

// Short, gently curving fibres, lighter or darker than the pulp, wrapped
// around the tile's edges.
void addFibres(std::vector<double>& img, Random& rnd) {
  for (int i = 0; i < kFibres; ++i) {
    double x = rnd.uniform() * kSide, y = rnd.uniform() * kSide;
    double dir = rnd.uniform() * 2.0 * 3.141592653589793;
    const double bend = (rnd.uniform() - 0.5) * 0.12;
    const int length = 8 + static_cast<int>(rnd.uniform() * 36);
    const double shade = (rnd.uniform() < 0.6 ? -1.0 : 1.0) * kFibre * (0.4 + 0.6 * rnd.uniform());
    for (int k = 0; k < length; ++k) {
      const int px = (static_cast<int>(std::floor(x)) % kSide + kSide) % kSide;
      const int py = (static_cast<int>(std::floor(y)) % kSide + kSide) % kSide;
      img[static_cast<size_t>(py) * kSide + px] += shade;
      x += std::cos(dir);
      y += std::sin(dir);
      dir += bend;
    }
  }
}

unsigned char toByte(double v) {
  if (v < 0.0) v = 0.0;
  if (v > 1.0) v = 1.0;
  return static_cast<unsigned char>(std::lround(v * 255.0));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_paper_texture OUTPUT.bmp\n");
    return 2;
  }
  Random rnd{kSeed};
  std::vector<double> grain(static_cast<size_t>(kSide) * kSide, 0.0);
  double amplitude = kCloud;
  for (int cells = 4; cells <= 256; cells *= 2, amplitude *= 0.6) addNoiseOctave(grain, cells, amplitude, rnd);
  addFibres(grain, rnd);

  const uint64_t row_bytes = oriBmpRowBytes(kSide, 24);
  std::vector<unsigned char> bits(row_bytes * kSide, 0);
  for (int y = 0; y < kSide; ++y) {
    unsigned char* row = bits.data() + static_cast<size_t>(y) * row_bytes;
    for (int x = 0; x < kSide; ++x) {
      const double g = kBase + grain[static_cast<size_t>(y) * kSide + x];
      row[3 * x + 0] = toByte(g * kTint[2]);  // stored blue, green, red
      row[3 * x + 1] = toByte(g * kTint[1]);
      row[3 * x + 2] = toByte(g * kTint[0]);
    }
  }
  constexpr int32_t kPelsPerMeter = 2835;  // 72 dots per inch
  if (oriBmpSave24(argv[1], kSide, kSide, kPelsPerMeter, bits.data()) != 0) {
    std::fprintf(stderr, "make_paper_texture: %s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
