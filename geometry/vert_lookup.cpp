#include "geometry/vert_lookup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

// Cells twice the threshold wide: a point matching another lies in its cell
// or one of the eight around it, whatever the rounding of the cell division.
struct ORI_vert_lookup {
  double threshold;
  double cell;
  std::unordered_map<uint64_t, std::vector<int>> cells;
  std::vector<vector3d> points;  // position of each handed-out slot
};

namespace {

// Cell coordinates are clamped so that far-away points share border cells
// instead of overflowing; matches are still tested on the true positions.
constexpr double kCellLimit = 1e9;

int64_t cellOf(double v, double cell) {
  double c = std::floor(v / cell);
  c = std::max(-kCellLimit, std::min(kCellLimit, c));
  return static_cast<int64_t>(c);
}

uint64_t key(int64_t cx, int64_t cy) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
}

}  // namespace

ORI_vert_lookup* oriVertLookupNew(double threshold) {
  ORI_vert_lookup* lookup = new ORI_vert_lookup();
  lookup->threshold = threshold;
  lookup->cell = 2.0 * threshold;
  return lookup;
}

void oriVertLookupDelete(ORI_vert_lookup* lookup) { delete lookup; }

int oriVertLookupCount(const ORI_vert_lookup* lookup) { return static_cast<int>(lookup->points.size()); }

ORI_vert* oriAddVertIndexed(ORI_vert* vertlist, ORI_vert_lookup* lookup, double x, double y, double z) {
  const double t = lookup->threshold;
  const int64_t cx = cellOf(x, lookup->cell), cy = cellOf(y, lookup->cell);
  int best = -1;
  for (int64_t dx = -1; dx <= 1; ++dx) {
    for (int64_t dy = -1; dy <= 1; ++dy) {
      auto it = lookup->cells.find(key(cx + dx, cy + dy));
      if (it == lookup->cells.end()) continue;
      for (int k : it->second) {
        if (best >= 0 && k >= best) break;  // slots are stored in increasing order
        const vector3d& p = lookup->points[k];
        if (p.x > x - t && p.x < x + t && p.y > y - t && p.y < y + t && p.z > z - t && p.z < z + t) best = k;
      }
    }
  }
  if (best >= 0) return &vertlist[best];
  const int slot = static_cast<int>(lookup->points.size());
  ORI_vert* v = &vertlist[slot];
  input(v->pos, x, y, z);
  lookup->points.push_back(v->pos);
  lookup->cells[key(cx, cy)].push_back(slot);
  return v;
}
