#include "tests/support/generated_patterns.h"

#include <cmath>
#include <random>

#include "sim/kinematics.h"

std::vector<OriPatternLine> gridLines(int k, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> type(1, 3);
  const double step = 400.0 / k;
  auto at = [&](int i) { return -200.0 + step * i; };
  std::vector<OriPatternLine> lines;
  for (int j = 0; j <= k; ++j) {
    for (int i = 0; i < k; ++i) {
      const bool outline = j == 0 || j == k;
      lines.push_back({at(i), at(j), at(i + 1), at(j), outline ? 1 : type(rng)});
      lines.push_back({at(j), at(i), at(j), at(i + 1), outline ? 1 : type(rng)});
    }
  }
  return lines;
}

std::vector<OriPatternLine> polygonLines(const std::vector<std::pair<double, double>>& pts, int type) {
  std::vector<OriPatternLine> lines;
  for (size_t i = 0; i < pts.size(); ++i) {
    const auto& a = pts[i];
    const auto& b = pts[(i + 1) % pts.size()];
    lines.push_back({a.first, a.second, b.first, b.second, type});
  }
  return lines;
}

int setAngleAlong(ORI_manifold* om, double x0, double y0, double x1, double y1, double angle) {
  const double dx = x1 - x0, dy = y1 - y0;
  const double len = std::hypot(dx, dy);
  auto on = [&](double x, double y) { return std::fabs((x - x0) * dy - (y - y0) * dx) / len < 1e-9; };
  int count = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->on_boundary || e->pair->on_boundary) continue;
    if (on(e->x0, e->y0) && on(e->x1, e->y1)) {
      e->angle = angle;
      ++count;
    }
  }
  return count / 2;
}

vector3d applyFaceMatrix(const double M[16], double x, double y) {
  const double w = M[12] * x + M[13] * y + M[15];
  return {(M[0] * x + M[1] * y + M[3]) / w, (M[4] * x + M[5] * y + M[7]) / w, (M[8] * x + M[9] * y + M[11]) / w};
}

double rigidityError(const ORI_manifold* om) {
  double worst = 0.0;
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    const ORI_edge* e = f->first;
    do {
      const vector3d p = applyFaceMatrix(f->matrix, e->x1, e->y1);
      const vector3d q = e->vert->pos;
      const double d = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z));
      worst = std::isnan(d) ? INFINITY : std::fmax(worst, d);
      e = e->next;
    } while (e != f->first);
  }
  return worst;
}

double faceArea(const ORI_face* f) {
  double a = 0.0;
  const ORI_edge* e = f->first;
  do {
    a += e->x0 * e->y1 - e->x1 * e->y0;
    e = e->next;
  } while (e != f->first);
  return a * 0.5;
}

int faceSides(const ORI_face* f) {
  int n = 0;
  const ORI_edge* e = f->first;
  do {
    ++n;
    e = e->next;
  } while (e != f->first);
  return n;
}

std::vector<OriPatternLine> flapSheet() {
  return {
      {-200, -200, 200, -200, 1}, {200, -200, 200, 0, 1},   {200, 0, 200, 200, 1},
      {200, 200, -100, 200, 1},   {-100, 200, -200, 200, 1}, {-200, 200, -200, 100, 1},
      {-200, 100, -200, 0, 1},    {-200, 0, -200, -200, 1},  {-200, 0, 200, 0, 3},
      {-200, 100, -100, 200, 2},
  };
}

std::vector<OriPatternLine> flapSheetWithCross() {
  std::vector<OriPatternLine> lines = flapSheet();
  lines.push_back({50, -200, 50, 200, 2});
  return lines;
}

void foldFlapSheet(ORI_manifold* om) {
  setAngleAlong(om, 0.0, 0.0, 1.0, 0.0, kFlapSheetMiddleAngle);
  setAngleAlong(om, -0.5, -0.25, -0.25, -0.5, kFlapSheetFlapAngle);
  oriManifoldUpdate(om, om->center_face);
}

namespace {

// Whether the CP point lies in the face, its sides included.
bool faceHolds(const ORI_face* f, double x, double y) {
  const ORI_edge* e = f->first;
  do {
    const double s = (e->x1 - e->x0) * (y - e->y0) - (e->y1 - e->y0) * (x - e->x0);
    if (s < -1e-12) return false;
    e = e->next;
  } while (e != f->first);
  return true;
}

}  // namespace

double distanceFromSheet(const ORI_manifold* om, const vector3d& pos, double x, double y) {
  double best = INFINITY;
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    if (!faceHolds(f, x, y)) continue;
    const vector3d p = applyFaceMatrix(f->matrix, x, y);
    best = std::fmin(best, std::sqrt((p.x - pos.x) * (p.x - pos.x) + (p.y - pos.y) * (p.y - pos.y) +
                                     (p.z - pos.z) * (p.z - pos.z)));
  }
  return best;
}
