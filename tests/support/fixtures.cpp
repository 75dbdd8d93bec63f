#include "tests/support/fixtures.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "input/opx_reader.h"

namespace fs = std::filesystem;

std::string patternsDir() {
  const fs::path dir = fs::path(PLICATA_SOURCE_DIR) / ".." / "shared" / "patterns";
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return "";
  return fs::weakly_canonical(dir).string();
}

std::vector<std::string> realPatterns(const std::string& sub, const std::string& ext) {
  std::vector<std::string> out;
  const std::string dir = patternsDir();
  if (dir.empty()) return out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(dir) / sub, ec)) {
    if (entry.path().extension() == ext) out.push_back(entry.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string opxText(const std::vector<OriPatternLine>& lines, double paper_size) {
  std::string s;
  char buf[256];
  s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<java version=\"1.5.0_05\" class=\"java.beans.XMLDecoder\">\n";
  s += " <object class=\"oripa.DataSet\">\n  <void property=\"lines\">\n";
  std::snprintf(buf, sizeof buf, "   <array class=\"oripa.OriLineProxy\" length=\"%zu\">\n", lines.size());
  s += buf;
  for (size_t i = 0; i < lines.size(); ++i) {
    const OriPatternLine& l = lines[i];
    std::snprintf(buf, sizeof buf, "    <void index=\"%zu\">\n     <object class=\"oripa.OriLineProxy\">\n", i);
    s += buf;
    std::snprintf(buf, sizeof buf, "      <void property=\"type\">\n       <int>%d</int>\n      </void>\n", l.type);
    s += buf;
    const char* names[4] = {"x0", "x1", "y0", "y1"};
    const double values[4] = {l.x0, l.x1, l.y0, l.y1};
    for (int k = 0; k < 4; ++k) {
      std::snprintf(buf, sizeof buf, "      <void property=\"%s\">\n       <double>%.17g</double>\n      </void>\n",
                    names[k], values[k]);
      s += buf;
    }
    s += "     </object>\n    </void>\n";
  }
  s += "   </array>\n  </void>\n";
  std::snprintf(buf, sizeof buf, "  <void property=\"paperSize\">\n   <double>%.17g</double>\n  </void>\n", paper_size);
  s += buf;
  s += " </object>\n</java>\n";
  return s;
}

ORI_manifold* loadOpxText(const std::string& text, int* result) {
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ORI_manifold* om = oriManifoldNew();
  const int r = oriManifoldConstructFromOpx(om, nullptr, fp);
  std::fclose(fp);
  if (result != nullptr) *result = r;
  if (r != 0) {
    oriManifoldDelete(om);
    return nullptr;
  }
  return om;
}

ORI_manifold* loadOpxFile(const std::string& path, int* result) {
  FILE* fp = std::fopen(path.c_str(), "r");
  if (fp == nullptr) {
    if (result != nullptr) *result = -3;
    return nullptr;
  }
  ORI_manifold* om = oriManifoldNew();
  const int r = oriManifoldConstructFromOpx(om, nullptr, fp);
  std::fclose(fp);
  if (result != nullptr) *result = r;
  if (r != 0) {
    oriManifoldDelete(om);
    return nullptr;
  }
  return om;
}

std::vector<OriPatternLine> squareLines() {
  return {{-200, -200, 200, -200, 1}, {200, -200, 200, 200, 1}, {200, 200, -200, 200, 1}, {-200, 200, -200, -200, 1}};
}

std::vector<OriPatternLine> squareWithDiagonal(int type) {
  std::vector<OriPatternLine> l = squareLines();
  l.push_back({-200, -200, 200, 200, type});
  return l;
}

std::vector<OriPatternLine> degree4Vertex(int t0, int t1, int t2, int t3) {
  // Creases from the centre to the middle of each side; the outline in 8 pieces.
  std::vector<OriPatternLine> l = {
      {-200, -200, 0, -200, 1}, {0, -200, 200, -200, 1}, {200, -200, 200, 0, 1}, {200, 0, 200, 200, 1},
      {200, 200, 0, 200, 1},    {0, 200, -200, 200, 1},  {-200, 200, -200, 0, 1}, {-200, 0, -200, -200, 1},
  };
  l.push_back({0, 0, 200, 0, t0});
  l.push_back({0, 0, 0, 200, t1});
  l.push_back({0, 0, -200, 0, t2});
  l.push_back({0, 0, 0, -200, t3});
  return l;
}

std::vector<OriPatternLine> miura2x2() {
  // Zig-zag creases at x = -200, 0, 200 offsets; two rows of two parallelograms.
  const double xs[3] = {-200, 0, 200};
  const double ys[3] = {-200, 0, 200};
  const double shift[3] = {0, 40, 0};
  std::vector<OriPatternLine> l;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 2; ++c) {
      // The straight line through the inner vertex: one fold of each sign.
      const int type = (r == 0 || r == 2) ? 1 : (c == 0 ? 2 : 3);
      l.push_back({xs[c] + shift[r], ys[r], xs[c + 1] + shift[r], ys[r], type});
    }
  }
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 2; ++r) {
      // The zig-zag line: both creases of one sign.
      const int type = (c == 0 || c == 2) ? 1 : 2;
      l.push_back({xs[c] + shift[r], ys[r], xs[c] + shift[r + 1], ys[r + 1], type});
    }
  }
  return l;
}

int lineCount(const ORI_manifold* om) { return om->n_edge / 2; }
