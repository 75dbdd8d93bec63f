#include "tests/support/interop_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "input/pattern_file.h"
#include "sim/prepare.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/fixtures.h"

ORI_manifold* loadPatternText(const std::string& text, const std::string& name, int* result, std::string* printed) {
  FILE* fp = textStream(text);
  ORI_manifold* om = oriManifoldNew();
  testing::internal::CaptureStdout();
  const int r = oriManifoldConstructFromStream(om, nullptr, fp, name.c_str());
  const std::string out = testing::internal::GetCapturedStdout();
  std::fclose(fp);
  if (printed != nullptr) *printed = out;
  if (result != nullptr) *result = r;
  if (r != kOriOpenOk) {
    oriManifoldDelete(om);
    return nullptr;
  }
  return om;
}

CreasePattern* readLinesQuietly(int (*reader)(CreasePattern*, FILE*), const std::string& text, int* result,
                                std::string* printed) {
  FILE* fp = textStream(text);
  CreasePattern* cp = CreasePatternNew();
  testing::internal::CaptureStdout();
  *result = reader(cp, fp);
  const std::string out = testing::internal::GetCapturedStdout();
  std::fclose(fp);
  if (printed != nullptr) *printed = out;
  return cp;
}

std::string foldSquareWithDiagonal(const char* assignment) {
  return std::string(
             "{\"file_spec\": 1.2, \"frame_classes\": [\"creasePattern\"],\n"
             " \"vertices_coords\": [[0,0],[1,0],[1,1],[0,1]],\n"
             " \"edges_vertices\": [[0,1],[1,2],[2,3],[3,0],[0,2]],\n"
             " \"edges_assignment\": [\"B\",\"B\",\"B\",\"B\",\"") +
         assignment + "\"]}\n";
}

std::string svgSquareWithDiagonal(const char* color) {
  return std::string(
             "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 100 100\">\n"
             "<rect x=\"0\" y=\"0\" width=\"100\" height=\"100\" fill=\"none\" stroke=\"#000000\"/>\n"
             "<line x1=\"0\" y1=\"0\" x2=\"100\" y2=\"100\" stroke=\"") +
         color + "\"/>\n</svg>\n";
}

double freeCornerHeight(ORI_manifold* om) {
  for (List* n = om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    ORI_edge* e = static_cast<ORI_edge*>(n->data);
    e->angle = e->target_angle * 0.5;
  }
  oriManifoldPrepare(om, 0);
  double best = 0.0;
  for (List* n = om->verts; n != nullptr && n->data != nullptr; n = n->next) {
    const double z = static_cast<ORI_vert*>(n->data)->pos.z;
    if (std::fabs(z) > std::fabs(best)) best = z;
  }
  return best;
}

void expectSoundSheet(const ORI_manifold* om) {
  ASSERT_NE(om, nullptr);
  char why[256] = "";
  EXPECT_EQ(oriManifoldValidate(om, why, sizeof why), 0) << why;
  EXPECT_EQ(om->n_vert - lineCount(om) + om->n_face, 1)
      << "V " << om->n_vert << " L " << lineCount(om) << " F " << om->n_face;
}

namespace {

struct Box {
  double cx, cy, scale;
};

// The move and scale that centre the CP ends of om and make them span 1.
Box fitBox(const ORI_manifold* om) {
  double lo_x = HUGE_VAL, hi_x = -HUGE_VAL, lo_y = HUGE_VAL, hi_y = -HUGE_VAL;
  for (const List* n = om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(n->data);
    lo_x = std::min(lo_x, e->x1), hi_x = std::max(hi_x, e->x1);
    lo_y = std::min(lo_y, e->y1), hi_y = std::max(hi_y, e->y1);
  }
  return {(lo_x + hi_x) / 2, (lo_y + hi_y) / 2, 1.0 / std::max(hi_x - lo_x, hi_y - lo_y)};
}

std::vector<std::vector<long>> shape(const ORI_manifold* om) {
  const Box b = fitBox(om);
  auto q = [&](double v, double c) { return std::lround((v - c) * b.scale * 1e6); };
  std::vector<std::vector<long>> s;
  for (const List* n = om->edges; n != nullptr && n->data != nullptr; n = n->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(n->data);
    // An outline line never folds, whatever type the file gave it.
    const double target = e->on_boundary || e->pair->on_boundary ? 0.0 : e->target_angle;
    s.push_back({q(e->x0, b.cx), q(e->y0, b.cy), q(e->x1, b.cx), q(e->y1, b.cy), std::lround(target * 1e6)});
  }
  std::sort(s.begin(), s.end());
  return s;
}

}  // namespace

void expectSameSheet(const ORI_manifold* a, const ORI_manifold* b) {
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_EQ(a->n_vert, b->n_vert);
  EXPECT_EQ(a->n_edge, b->n_edge);
  EXPECT_EQ(a->n_face, b->n_face);
  const auto sa = shape(a), sb = shape(b);
  size_t differ = 0;
  for (size_t k = 0; k < std::min(sa.size(), sb.size()); ++k) {
    for (size_t i = 0; i < sa[k].size(); ++i) differ += std::labs(sa[k][i] - sb[k][i]) > 1;
  }
  EXPECT_EQ(differ, 0u) << "half-edge ends or fold targets differ";
}

int positiveFoldLines(const ORI_manifold* om) {
  int n = 0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    n += static_cast<const ORI_edge*>(l->data)->target_angle > 0.0;
  }
  return n / 2;
}

int negativeFoldLines(const ORI_manifold* om) {
  int n = 0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    n += static_cast<const ORI_edge*>(l->data)->target_angle < 0.0;
  }
  return n / 2;
}

std::string slurpFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
