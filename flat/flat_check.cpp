#include "flat/flat_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "flat/flat_lines.h"
#include "geometry/manifold.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kRadianToDegree = 57.29577951308232;

bool innerVertex(const ORI_vert* v) {
  if (v->on_boundary != 0 || v->n_out <= 0) return false;
  for (int k = 0; k < v->n_out; ++k) {
    const ORI_edge* e = v->out[k];
    if (e == nullptr || e->pair == nullptr || oriFlatLineOnOutline(e)) return false;
  }
  return true;
}

}  // namespace

int oriFlatCheckVertices(const ORI_manifold* om, ORI_flatCheck* check) {
  *check = ORI_flatCheck{};
  std::vector<double> dirs;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (!innerVertex(v)) continue;
    ORI_flatVertex r;
    r.vertex = v->index;
    r.x = v->out[0]->x0 * om->paper_size;
    r.y = v->out[0]->y0 * om->paper_size;
    dirs.clear();
    for (int k = 0; k < v->n_out; ++k) {
      const ORI_edge* e = v->out[k];
      const int fold = oriFlatLineFold(e);
      if (fold == 0) continue;
      (fold < 0 ? r.mountains : r.valleys) += 1;
      dirs.push_back(std::atan2(e->y1 - e->y0, e->x1 - e->x0));
    }
    const int n = static_cast<int>(dirs.size());
    if (n % 2 != 0) {
      r.kawasaki_deg = NAN;
      r.kawasaki_ok = false;
    } else if (n > 0) {
      std::sort(dirs.begin(), dirs.end());
      double sum = 0.0;
      for (int i = 0; i < n; ++i) {
        const double sector = i + 1 < n ? dirs[i + 1] - dirs[i] : dirs[0] + kTwoPi - dirs[i];
        sum += i % 2 == 0 ? sector : -sector;
      }
      r.kawasaki_deg = std::fabs(sum) * kRadianToDegree;
      r.kawasaki_ok = r.kawasaki_deg <= kOriKawasakiToleranceDeg;
    }
    r.maekawa_ok = n == 0 || std::abs(r.mountains - r.valleys) == 2;
    if (!r.ok()) {
      if (check->first_fail < 0) check->first_fail = static_cast<int>(check->vertices.size());
      ++check->n_fail;
    }
    check->vertices.push_back(r);
  }
  check->n_inner = static_cast<int>(check->vertices.size());
  return check->n_fail;
}
