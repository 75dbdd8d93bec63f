#include "geometry/vert_lookup.h"

#include <cstdint>
#include <vector>

#include "geometry/grid.h"

// Cells twice the threshold wide: a point matching another lies in its cell
// or one of the eight around it, whatever the rounding of the cell division.
// Far-away points share the grid's clamped border cells; matches are still
// tested on the true positions.
struct ORI_vert_lookup {
  double threshold;
  OriGrid grid;
  std::vector<vector3d> points;  // position of each handed-out slot
};

ORI_vert_lookup* oriVertLookupNew(double threshold) {
  ORI_vert_lookup* lookup = new ORI_vert_lookup();
  lookup->threshold = threshold;
  lookup->grid.tile(2.0 * threshold);
  return lookup;
}

void oriVertLookupDelete(ORI_vert_lookup* lookup) { delete lookup; }

int oriVertLookupCount(const ORI_vert_lookup* lookup) { return static_cast<int>(lookup->points.size()); }

ORI_vert* oriAddVertIndexed(ORI_vert* vertlist, ORI_vert_lookup* lookup, double x, double y, double z) {
  const double t = lookup->threshold;
  const int64_t cx = lookup->grid.cellX(x), cy = lookup->grid.cellY(y);
  int best = -1;
  for (int64_t dx = -1; dx <= 1; ++dx) {
    for (int64_t dy = -1; dy <= 1; ++dy) {
      for (int k : lookup->grid.ids(cx + dx, cy + dy)) {
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
  lookup->grid.add(cx, cy, slot);
  return v;
}
