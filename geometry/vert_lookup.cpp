#include "geometry/vert_lookup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/grid.h"

// Square cells twice the threshold wide tile the plane, cell (0, 0) starting
// at the origin: a point matching another lies in its cell or one of the
// eight around it, whatever the rounding of the cell division. Cell
// coordinates are clamped as OriGrid clamps them, so that far-away points
// share border cells; matches are still tested on the true positions.
//
// The cells are kept in an open-addressing table of their own (a large
// pattern looks up nine cells for each of hundreds of thousands of line
// ends), each holding the chain of its slots through next.
struct ORI_vert_lookup {
  struct Cell {
    uint64_t key;  // packed cell coordinates
    int head;      // newest slot of the cell; -1 for an empty entry
  };
  double threshold;
  double width;
  std::vector<Cell> cells;       // a power of two entries, at most half used
  size_t used = 0;
  std::vector<int> next;         // per slot: the cell's previous slot, -1 at its end
  std::vector<vector3d> points;  // position of each handed-out slot
};

namespace {

constexpr size_t kLookupFirstCells = 1024;

int64_t cellOf(double f) {
  return static_cast<int64_t>(std::max(-kOriGridCellLimit, std::min(kOriGridCellLimit, std::floor(f))));
}

uint64_t packCell(int64_t cx, int64_t cy) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
}

// The home entry of key in a table of 2^bits entries: the top bits of a
// multiplicative hash, which every bit of both coordinates reaches.
size_t slotOf(uint64_t key, int bits) { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits)); }

// The entry of key: its own, or the empty one where it would go.
ORI_vert_lookup::Cell& findCell(std::vector<ORI_vert_lookup::Cell>& cells, uint64_t key) {
  const size_t mask = cells.size() - 1;
  const int bits = __builtin_ctzll(cells.size());
  for (size_t i = slotOf(key, bits);; i = (i + 1) & mask) {
    if (cells[i].head < 0 || cells[i].key == key) return cells[i];
  }
}

void grow(ORI_vert_lookup* lookup) {
  std::vector<ORI_vert_lookup::Cell> old(lookup->cells.size() * 2, ORI_vert_lookup::Cell{0, -1});
  old.swap(lookup->cells);
  for (const ORI_vert_lookup::Cell& c : old) {
    if (c.head >= 0) findCell(lookup->cells, c.key) = c;
  }
}

}  // namespace

ORI_vert_lookup* oriVertLookupNew(double threshold) {
  ORI_vert_lookup* lookup = new ORI_vert_lookup();
  lookup->threshold = threshold;
  lookup->width = 2.0 * threshold;
  lookup->cells.assign(kLookupFirstCells, ORI_vert_lookup::Cell{0, -1});
  return lookup;
}

void oriVertLookupDelete(ORI_vert_lookup* lookup) { delete lookup; }

int oriVertLookupCount(const ORI_vert_lookup* lookup) { return static_cast<int>(lookup->points.size()); }

ORI_vert* oriAddVertIndexed(ORI_vert* vertlist, ORI_vert_lookup* lookup, double x, double y, double z) {
  const double t = lookup->threshold;
  const int64_t cx = cellOf(x / lookup->width), cy = cellOf(y / lookup->width);
  // The earliest matching slot: the smallest index among the matches.
  int best = -1;
  for (int64_t dx = -1; dx <= 1; ++dx) {
    for (int64_t dy = -1; dy <= 1; ++dy) {
      const ORI_vert_lookup::Cell& c = findCell(lookup->cells, packCell(cx + dx, cy + dy));
      for (int k = c.head; k >= 0; k = lookup->next[k]) {
        if (best >= 0 && k >= best) continue;
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
  ORI_vert_lookup::Cell& c = findCell(lookup->cells, packCell(cx, cy));
  if (c.head < 0) {
    c.key = packCell(cx, cy);
    ++lookup->used;
  }
  lookup->next.push_back(c.head);
  c.head = slot;
  if (2 * lookup->used > lookup->cells.size()) grow(lookup);
  return v;
}
