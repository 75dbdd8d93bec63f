#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "geometry/tessellate.h"
#include "input/line_list.h"
#include "input/opx_reader.h"
#include "input/pattern_gen.h"
#include "sim/prepare.h"

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

ORI_manifold* loadOpxFileQuietly(const std::string& path) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxFile(path);
  testing::internal::GetCapturedStdout();
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

namespace {

// Builds and prepares the mesh of a generated pattern; reports failures
// through gtest so that the calling test names the reason.
template <typename Params, typename Make>
ORI_manifold* loadGenerated(const Params& params, Make make) {
  CreasePattern* cp = CreasePatternNew();
  char why[256] = "";
  if (make(cp, params, why, sizeof why) != 0) {
    ADD_FAILURE() << "generator refused the pattern: " << why;
    CreasePatternDestruct(cp);
    return nullptr;
  }
  ORI_manifold* om = oriManifoldNew();
  const int r = oriManifoldConstructFromPattern(om, cp);
  CreasePatternDestruct(cp);
  if (r != 0) {
    ADD_FAILURE() << "reader refused the generated pattern (" << r << ")";
    oriManifoldDelete(om);
    return nullptr;
  }
  oriManifoldPrepare(om, 0);
  return om;
}

double distance(const vector3d& a, const vector3d& b) {
  const vector3d d = {a.x - b.x, a.y - b.y, a.z - b.z};
  return abs(d);
}

}  // namespace

ORI_manifold* loadGeneratedMiura(const OriMiuraParams& params) { return loadGenerated(params, oriPatternMakeMiura); }
ORI_manifold* loadGeneratedVertex(const OriVertexParams& params) { return loadGenerated(params, oriPatternMakeVertex); }
ORI_manifold* loadGeneratedWaterbomb(const OriWaterbombParams& params) {
  return loadGenerated(params, oriPatternMakeWaterbomb);
}

ORI_manifold* loadPreparedFile(const std::string& path) {
  ORI_manifold* om = loadOpxFile(path);
  if (om != nullptr) oriManifoldPrepare(om, 0);
  return om;
}

ShapeErrors shapeErrors(const ORI_manifold* om) {
  ShapeErrors err = {0.0, 0.0};
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    // The facet's plane: through its first corner, normal to column 2 of its transform.
    const vector3d normal = {f->matrix[2], f->matrix[6], f->matrix[10]};
    const vector3d origin = f->first->vert->pos;
    const ORI_edge* e = f->first;
    int guard = 0;
    do {
      const double flat = std::hypot(e->x1 - e->x0, e->y1 - e->y0);
      const double folded = distance(e->vert->pos, e->pair->vert->pos);
      err.edge_length = std::max(err.edge_length, std::fabs(folded - flat));
      const vector3d d = {e->vert->pos.x - origin.x, e->vert->pos.y - origin.y, e->vert->pos.z - origin.z};
      err.planarity = std::max(err.planarity, std::fabs(dot(d, normal)) / abs(normal));
      e = e->next;
    } while (e != f->first && ++guard < 10000);
  }
  return err;
}

double maxAbsAngle(const ORI_manifold* om) {
  double a = 0.0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    a = std::max(a, std::fabs(static_cast<const ORI_edge*>(l->data)->angle));
  }
  return a;
}

double maxTargetOvershoot(const ORI_manifold* om) {
  double over = 0.0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->target_angle > 0) over = std::max(over, e->angle - e->target_angle);
    if (e->target_angle < 0) over = std::max(over, e->target_angle - e->angle);
  }
  return over;
}

namespace {

constexpr double kPaper = 400.0;
constexpr double kPointTolerance = 1e-9;

bool atFilePoint(double x, double y, double X, double Y) {
  return std::fabs(x - X / kPaper) < kPointTolerance && std::fabs(y + Y / kPaper) < kPointTolerance;
}

}  // namespace

ORI_edge* findHalfEdge(const ORI_manifold* om, double X0, double Y0, double X1, double Y1) {
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (atFilePoint(e->x0, e->y0, X0, Y0) && atFilePoint(e->x1, e->y1, X1, Y1)) return e;
  }
  return nullptr;
}

ORI_edge* addDiagonal(ORI_manifold* om, double PX, double PY, double QX, double QY) {
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    ORI_edge* A = nullptr;
    ORI_edge* B = nullptr;
    ORI_edge* e = f->first;
    do {
      if (atFilePoint(e->x1, e->y1, PX, PY)) A = e;
      if (atFilePoint(e->x1, e->y1, QX, QY)) B = e;
      e = e->next;
    } while (e != f->first);
    if (A != nullptr && B != nullptr) {
      ORI_edge* d = oriManifoldAddLineFace(A, B, om);
      oriManifoldIndex(om);
      return d;
    }
  }
  return nullptr;
}
