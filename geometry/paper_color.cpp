#include "geometry/paper_color.h"

#include <cstdlib>
#include <cstring>

#include "geometry/manifold.h"
#include "geometry/message.h"

const double kOriDefaultPaperColor[12] = {0.17, 0.17, 0.15, 0.3,  0.35, 0.5,
                                          0.05, 0.05, 0.1,  0.5,  0.45, 0.3};

namespace {

constexpr int kColorLineSize = 1024;

// Reads one whole line into buf. Returns 0 at end of input, 1 for a line that
// fits, 2 for a longer line (its rest is consumed and dropped).
int readColorLine(FILE* fp, char* buf) {
  if (std::fgets(buf, kColorLineSize, fp) == nullptr) return 0;
  const size_t len = std::strlen(buf);
  if (len > 0 && buf[len - 1] == '\n') return 1;
  if (std::feof(fp)) return 1;
  int c;
  while ((c = std::fgetc(fp)) != EOF && c != '\n') {
  }
  return 2;
}

// Converts the words of a data line into colors; returns the number of words
// found (at most 12). Words beyond the twelfth are ignored.
int parseColorLine(char* buf, double* colors) {
  int n = 0;
  char* save = nullptr;
  for (char* word = strtok_r(buf, " \t\r\n\v\f", &save); word != nullptr && n < 12;
       word = strtok_r(nullptr, " \t\r\n\v\f", &save)) {
    colors[n++] = std::atof(word);
  }
  return n;
}

}  // namespace

int oriPaperColorsRead(ORI_paperColors* colors, FILE* fp) {
  std::memcpy(colors->front, kOriDefaultPaperColor, sizeof(colors->front));
  std::memcpy(colors->back, kOriDefaultPaperColor, sizeof(colors->back));
  if (fp == nullptr) return -1;
  char buf[kColorLineSize];
  double* targets[2] = {colors->back, colors->front};
  int filled = 0;
  int line_no = 0;
  int kind;
  while (filled < 2 && (kind = readColorLine(fp, buf)) != 0) {
    ++line_no;
    if (kind == 2) {
      oriMessage("paper colour file: line %d is longer than %d characters; ignored\n", line_no,
                 kColorLineSize - 1);
      continue;
    }
    if (buf[0] == '#') continue;
    double values[12];
    const int n = parseColorLine(buf, values);
    if (n == 0) continue;
    std::memcpy(targets[filled], values, sizeof(double) * n);
    ++filled;
  }
  return 0;
}

int oriPaperColorsLoad(ORI_paperColors* colors, const char* path) {
  FILE* fp = std::fopen(path, "r");
  const int result = oriPaperColorsRead(colors, fp);
  if (fp != nullptr) std::fclose(fp);
  return result;
}

void oriManifoldSetPaperColors(ORI_manifold* om, const ORI_paperColors* colors) {
  ORI_paperColors built_in;
  if (colors == nullptr) {
    oriPaperColorsRead(&built_in, nullptr);
    colors = &built_in;
  }
  std::memcpy(om->color_a, colors->front, sizeof(om->color_a));
  std::memcpy(om->color_b, colors->back, sizeof(om->color_b));
}

int oriManifoldReadColor(ORI_manifold* om, FILE* fp) {
  ORI_paperColors colors;
  const int result = oriPaperColorsRead(&colors, fp);
  oriManifoldSetPaperColors(om, &colors);
  return result;
}
