// Face construction from lines.
//
// Sections: vertex merging and the choice of lines (repeated lines,
// auxiliary lines, free ends, lines split where others meet them); successor
// linking by the sharpest left turn; settling the lines; the mesh's steps
// (vertex and half-edge blocks, the CP plane, successors, loops sorted into
// faces and outline, lists); placement.
#include "input/construct.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/grid.h"
#include "geometry/message.h"
#include "geometry/vert_lookup.h"
#include "input/read_error.h"
#include "sim/kinematics.h"
#include "sim/parallel_chunks.h"

namespace {

// A candidate counts as a left turn only when its sine exceeds this share of
// the two lengths: nearly straight continuations are not turns.
constexpr double kLeftTurnTolerance = 0.002;

double length2d(double x, double y) { return std::sqrt(x * x + y * y); }

// Merges line ends into vertices, first found as oriAddVert's scan finds
// them, through a spatial index. The table always keeps
// a free slot at its end, growing as needed (indices, not pointers, are kept
// across growth). Returns the vertex index of every end: 2 per line.
std::vector<int> mergeEnds(const OriPatternLine* lines, int n, std::vector<ORI_vert>* table) {
  table->assign(static_cast<size_t>(n) + 1, ORI_vert{});
  ORI_vert_lookup* lookup = oriVertLookupNew(kOriMergeDistance);
  // Most ends repeat an earlier end exactly (a vertex is the end of several
  // lines): the slot found for a point is the slot found for it again, as
  // slots are only added after it, so such ends are looked up by their bits.
  struct Seen {
    uint64_t x, y;
    int slot;  // -1: empty entry
  };
  // Sized at the start to hold, half full, a point for every two lines: a
  // vertex of a crease pattern ends several lines (a fine grid has a third
  // as many vertices as lines), and a table no larger than needed keeps the
  // lookups in the caches.
  int bits = 10;
  while (bits < 30 && (size_t{1} << bits) < static_cast<size_t>(n)) ++bits;
  std::vector<Seen> seen(size_t{1} << bits, Seen{0, 0, -1});
  size_t seen_used = 0;
  auto home = [&bits](uint64_t bx, uint64_t by) {
    return static_cast<size_t>(((bx * 0x9E3779B97F4A7C15ull) ^ (by * 0xC2B2AE3D27D4EB4Full)) >> (64 - bits));
  };
  size_t used = 0;
  std::vector<int> ends(2 * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 2; ++k) {
      const double x = k == 0 ? lines[i].x0 : lines[i].x1;
      const double y = k == 0 ? lines[i].y0 : lines[i].y1;
      Seen* entry = nullptr;
      if (std::isfinite(x) && std::isfinite(y)) {
        uint64_t bx, by;
        std::memcpy(&bx, &x, sizeof bx);
        std::memcpy(&by, &y, sizeof by);
        if (2 * (seen_used + 1) > seen.size()) {
          // Kept at most half full: twice the entries, every one entered again.
          std::vector<Seen> old(seen.size() * 2, Seen{0, 0, -1});
          old.swap(seen);
          ++bits;
          for (const Seen& e : old) {
            if (e.slot < 0) continue;
            size_t h = home(e.x, e.y);
            while (seen[h].slot >= 0) h = (h + 1) & (seen.size() - 1);
            seen[h] = e;
          }
        }
        const size_t mask = seen.size() - 1;
        size_t h = home(bx, by);
        while (seen[h].slot >= 0 && (seen[h].x != bx || seen[h].y != by)) h = (h + 1) & mask;
        entry = &seen[h];
        if (entry->slot >= 0) {
          ends[2 * i + k] = entry->slot;
          (*table)[static_cast<size_t>(entry->slot)].n_out++;
          continue;
        }
        entry->x = bx;
        entry->y = by;
      }
      ORI_vert* v = oriAddVertIndexed(table->data(), lookup, x, y, 0.0);
      const size_t vi = static_cast<size_t>(v - table->data());
      if (v->n_out == 0) ++used;
      v->n_out++;  // marks the slot used; the real out entries come later
      ends[2 * i + k] = static_cast<int>(vi);
      if (entry != nullptr) {
        entry->slot = static_cast<int>(vi);
        ++seen_used;
      }
      if (used + 1 >= table->size()) table->resize(table->size() * 2);
    }
  }
  oriVertLookupDelete(lookup);
  table->resize(used);
  return ends;
}

// Lines of the pattern meet only at their ends. A point of one line closer
// than this (file units) to the inside of another line counts as lying on it.
constexpr double kOnLineDistance = 0.01;

// The rounding of the conflict test stays far below this share of the
// coordinates' size.
constexpr double kConflictRoundingRoom = 1e-9;
// Cell entries per share of the shared pass over the pair tests (each
// entry's tests cost about a microsecond).
constexpr long kConflictGrain = 8192;

// Half-edges to a chunk of the successors' choice: a few tens of
// microseconds of work.
constexpr long kSuccessorGrain = 16384;

struct Conflict {
  bool found;
  double x, y;
  bool cut_a, cut_b;  // which of the two lines has the point inside it
};

// Whether line i and line j (vertex ends a0-a1 and b0-b1) meet away from a
// shared end: they cross, or an end of one lies inside the other.
// room: the rounding room of the coordinates' size (kConflictRoundingRoom).
Conflict linesConflict(const vector3d& a0, const vector3d& a1, const vector3d& b0, const vector3d& b1, bool share_a0,
                       bool share_a1, bool share_b0, bool share_b1, double room) {
  Conflict c = {false, 0, 0, false, false};
  auto inside = [room](const vector3d& p, const vector3d& q0, const vector3d& q1) {
    // A point lying on the line lies in its box widened by the distance (and
    // the rounding room): most points are seen to be away by that alone.
    const double reach = kOnLineDistance + room;
    if (p.x < std::min(q0.x, q1.x) - reach || p.x > std::max(q0.x, q1.x) + reach ||
        p.y < std::min(q0.y, q1.y) - reach || p.y > std::max(q0.y, q1.y) + reach) {
      return false;
    }
    const double dx = q1.x - q0.x, dy = q1.y - q0.y;
    const double len = std::sqrt(dx * dx + dy * dy);
    const double along = ((p.x - q0.x) * dx + (p.y - q0.y) * dy) / len;
    const double across = ((p.x - q0.x) * dy - (p.y - q0.y) * dx) / len;
    return std::fabs(across) < kOnLineDistance && along > kOnLineDistance && along < len - kOnLineDistance;
  };
  const vector3d* ends[4] = {&b0, &b1, &a0, &a1};
  const bool shared[4] = {share_b0, share_b1, share_a0, share_a1};
  for (int k = 0; k < 4; ++k) {
    if (shared[k]) continue;
    const bool on = k < 2 ? inside(*ends[k], a0, a1) : inside(*ends[k], b0, b1);
    if (on) {
      c = {true, ends[k]->x, ends[k]->y, k < 2, k >= 2};
      return c;
    }
  }
  if (share_a0 || share_a1) return c;
  // The signed distance of p from the line through q0 and q1 is this cross
  // product over the line's length: the lines cross only where the ends of
  // each lie on opposite sides of the other, which the signs alone tell.
  auto cross = [](const vector3d& p, const vector3d& q0, const vector3d& q1) {
    const double dx = q1.x - q0.x, dy = q1.y - q0.y;
    return (p.x - q0.x) * dy - (p.y - q0.y) * dx;
  };
  auto opposite = [](double u, double v) { return (u > 0.0 && v < 0.0) || (u < 0.0 && v > 0.0); };
  const double c0 = cross(b0, a0, a1), c1 = cross(b1, a0, a1);
  if (!opposite(c0, c1)) return c;
  const double c2 = cross(a0, b0, b1), c3 = cross(a1, b0, b1);
  if (!opposite(c2, c3)) return c;
  auto length = [](const vector3d& q0, const vector3d& q1) {
    const double dx = q1.x - q0.x, dy = q1.y - q0.y;
    return std::sqrt(dx * dx + dy * dy);
  };
  const double len_a = length(a0, a1), len_b = length(b0, b1);
  const double s0 = c0 / len_a, s1 = c1 / len_a;
  const double s2 = c2 / len_b, s3 = c3 / len_b;
  if (((s0 > kOnLineDistance && s1 < -kOnLineDistance) || (s0 < -kOnLineDistance && s1 > kOnLineDistance)) &&
      ((s2 > kOnLineDistance && s3 < -kOnLineDistance) || (s2 < -kOnLineDistance && s3 > kOnLineDistance))) {
    const double t = s0 / (s0 - s1);
    c = {true, b0.x + t * (b1.x - b0.x), b0.y + t * (b1.y - b0.y), true, true};
  }
  return c;
}

// A line's box, widened by the distance at which a point lies on it and by
// the rounding room of its coordinates' size (see dropCrossingLines).
struct LineBox {
  double x0, y0, x1, y1, room;
};

// Where lines i and j (their boxes, vertex ends and the vertex table) meet
// away from a shared end; not found when their widened boxes lie apart.
Conflict pairConflict(int i, int j, const std::vector<LineBox>& boxes, const std::vector<int>& ends,
                      const std::vector<ORI_vert>& table) {
  const LineBox& b = boxes[i];
  const LineBox& o = boxes[j];
  const double room = b.room + o.room;
  if (o.x0 > b.x1 + room || b.x0 > o.x1 + room || o.y0 > b.y1 + room || b.y0 > o.y1 + room) {
    return {false, 0, 0, false, false};
  }
  const int a0 = ends[2 * i], a1 = ends[2 * i + 1], b0 = ends[2 * j], b1 = ends[2 * j + 1];
  return linesConflict(table[a0].pos, table[a1].pos, table[b0].pos, table[b1].pos, a0 == b0 || a0 == b1,
                       a1 == b0 || a1 == b1, b0 == a0 || b0 == a1, b1 == a0 || b1 == a1, room);
}

// The lowest line i that conflicts with a later line j sharing one of its
// cells (linesConflict found), or INT_MAX when no pair does; keep is read
// only. The pairs are taken cell by cell, each in the first cell the two
// boxes share, and the cells are shared among the helper threads: on a large
// pattern the pair tests take much of the building, and a pattern whose lines
// meet only at their ends (every pattern a program writes) is then passed in
// one shared pass. Where there is no helper, 0, so that the ordered pass
// alone runs, from the first line.
int firstConflictingLine(const std::vector<int>& ends, const std::vector<ORI_vert>& table, const std::vector<char>& keep,
                         const std::vector<LineBox>& boxes, const OriGrid& grid, const std::vector<size_t>& first,
                         const std::vector<int>& in_cell) {
  const long cells = static_cast<long>(grid.cellCount());
  const int chunks = oriSimThreads() > 1 ? oriSimChunks(static_cast<long>(in_cell.size()), kConflictGrain) : 1;
  if (chunks <= 1) return 0;
  // The first cell of each line's box.
  std::vector<int64_t> corner(2 * boxes.size());
  for (size_t i = 0; i < boxes.size(); ++i) {
    corner[2 * i] = grid.cellX(boxes[i].x0);
    corner[2 * i + 1] = grid.cellY(boxes[i].y0);
  }
  const int64_t side = grid.side();
  int lowest[kOriSimMaxChunks];
  oriSimForChunks(chunks, [&](int k) {
    int best = INT_MAX;
    for (long cell = oriSimChunkBegin(cells, chunks, k); cell < oriSimChunkBegin(cells, chunks, k + 1); ++cell) {
      const int64_t cx = cell % side, cy = cell / side;
      for (size_t a = first[cell]; a < first[cell + 1]; ++a) {
        const int i = in_cell[a];
        // A cell lists its lines in increasing order: none later can lower the best.
        if (i >= best) break;
        if (!keep[i]) continue;
        for (size_t c = a + 1; c < first[cell + 1]; ++c) {
          const int j = in_cell[c];
          if (!keep[j]) continue;
          if (cx != std::max(corner[2 * i], corner[2 * j]) || cy != std::max(corner[2 * i + 1], corner[2 * j + 1])) {
            continue;
          }
          if (pairConflict(i, j, boxes, ends, table).found) {
            best = i;
            break;
          }
        }
      }
    }
    lowest[k] = best;
  });
  return *std::min_element(lowest, lowest + chunks);
}

// Where a line meets another away from their ends. Lines that fold or bound
// the sheet are split at the point (a crease drawn through the end of
// another, or two creases drawn across each other): the points are collected
// per line in *cuts. Auxiliary lines follow the rule of kOriLineTypeAux.
// A grid of cells keeps the pair tests near-linear.
int dropCrossingLines(const OriPatternLine* lines, int n, const std::vector<int>& ends,
                      const std::vector<ORI_vert>& table, std::vector<char>* keep,
                      std::vector<std::vector<vector3d>>* cuts) {
  cuts->assign(n, {});
  // Each live line's box, widened by the distance at which a point lies on
  // it, and the rounding room of its coordinates' size: lines whose widened
  // boxes lie farther apart than both rooms can neither cross nor end on
  // each other, and are passed over without the test (most of the lines
  // sharing a cell of the grid).
  std::vector<int> live;
  std::vector<LineBox> boxes(n);
  double lo_x = HUGE_VAL, lo_y = HUGE_VAL, hi_x = -HUGE_VAL, hi_y = -HUGE_VAL;
  for (int i = 0; i < n; ++i) {
    if (!(*keep)[i]) continue;
    live.push_back(i);
    const vector3d& p = table[ends[2 * i]].pos;
    const vector3d& q = table[ends[2 * i + 1]].pos;
    const double size = std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(q.x), std::fabs(q.y)});
    boxes[i] = {std::min(p.x, q.x) - kOnLineDistance, std::min(p.y, q.y) - kOnLineDistance,
                std::max(p.x, q.x) + kOnLineDistance, std::max(p.y, q.y) + kOnLineDistance,
                kConflictRoundingRoom * size};
    lo_x = std::min({lo_x, p.x, q.x});
    hi_x = std::max({hi_x, p.x, q.x});
    lo_y = std::min({lo_y, p.y, q.y});
    hi_y = std::max({hi_y, p.y, q.y});
  }
  if (live.size() < 2) return 0;
  // The live lines by the grid's cells, each cell's in increasing order, in
  // one array; the pairs are tested once, from their lower line, and a
  // cell's cursor passes over the lines a later line no longer pairs with.
  OriGrid grid;
  grid.cover(lo_x, lo_y, hi_x, hi_y, live.size());
  std::vector<size_t> first(grid.cellCount() + 1, 0);
  for (int i : live) {
    grid.forEachCell(boxes[i].x0, boxes[i].y0, boxes[i].x1, boxes[i].y1,
                     [&](int64_t cx, int64_t cy) { ++first[grid.cellIndex(cx, cy) + 1]; });
  }
  for (size_t c = 0; c + 1 < first.size(); ++c) first[c + 1] += first[c];
  std::vector<int> in_cell(first.back());
  std::vector<size_t> cursor(first.begin(), first.end() - 1);
  for (int i : live) {
    grid.forEachCell(boxes[i].x0, boxes[i].y0, boxes[i].x1, boxes[i].y1,
                     [&](int64_t cx, int64_t cy) { in_cell[cursor[grid.cellIndex(cx, cy)]++] = i; });
  }
  cursor.assign(first.begin(), first.end() - 1);

  int dropped = 0;
  std::vector<int> stamp(n, -1);
  const int first_conflict = firstConflictingLine(ends, table, *keep, boxes, grid, first, in_cell);
  for (auto at_live = std::lower_bound(live.begin(), live.end(), first_conflict); at_live != live.end(); ++at_live) {
    const int i = *at_live;
    if (!(*keep)[i]) continue;
    const LineBox& b = boxes[i];
    bool dropped_i = false;
    grid.forEachCell(b.x0, b.y0, b.x1, b.y1, [&](int64_t cx, int64_t cy) {
      if (dropped_i) return;
      const size_t cell = grid.cellIndex(cx, cy);
      size_t& from = cursor[cell];
      while (from < first[cell + 1] && in_cell[from] <= i) ++from;
      for (size_t at = from; at < first[cell + 1]; ++at) {
        const int j = in_cell[at];
        if (stamp[j] == i || !(*keep)[j]) continue;
        stamp[j] = i;
        const Conflict c = pairConflict(i, j, boxes, ends, table);
        if (!c.found) continue;
        // c.cut_a alone: j ends on i's inside; c.cut_b alone: i ends on j's;
        // both: they cross.
        const bool aux_i = lines[i].type == kOriLineTypeAux, aux_j = lines[j].type == kOriLineTypeAux;
        if (aux_i && c.cut_b) {
          (*keep)[i] = 0;
          ++dropped;
          dropped_i = true;
          return;
        }
        if (aux_j && c.cut_a) {
          (*keep)[j] = 0;
          ++dropped;
          continue;
        }
        const vector3d point = {c.x, c.y, 0.0};
        if (c.cut_a) (*cuts)[i].push_back(point);
        if (c.cut_b) (*cuts)[j].push_back(point);
      }
    });
  }
  return dropped;
}

// Decides which lines are built. Drops lines whose ends merged into one
// vertex, repeats of a line between the same two vertices (the first is kept,
// taking a fold type over a flat one), then, repeatedly, lines with an end
// that no other line meets: such a line cannot fold a rigid sheet and would
// leave faces that never close. Returns the kept flags; *type_of gives, per
// line, the line whose type and target it takes.
struct LineDrops {
  int merged = 0, repeated = 0, crossing = 0, pruned = 0;
};

std::vector<char> chooseLines(const OriPatternLine* lines, int n, const std::vector<int>& ends,
                              const std::vector<ORI_vert>& table, std::vector<int>* type_of,
                              std::vector<std::vector<vector3d>>* cuts, LineDrops* drops) {
  const size_t n_verts = table.size();
  std::vector<char> keep(n, 1);
  type_of->resize(n);
  int merged = 0, repeated = 0, pruned = 0;
  // The first line between each pair of vertices, by the pair: an open
  // table at most half full (a line's pair of vertex numbers is its key).
  struct Pair {
    uint64_t key;
    int line;  // -1: empty entry
  };
  int bits = 4;
  while ((size_t{1} << bits) < 2 * static_cast<size_t>(n)) ++bits;
  const size_t slots = size_t{1} << bits;
  std::vector<Pair> seen(slots, Pair{0, -1});
  for (int i = 0; i < n; ++i) {
    (*type_of)[i] = i;
    const int a = ends[2 * i], b = ends[2 * i + 1];
    if (a == b) {
      keep[i] = 0;
      ++merged;
      continue;
    }
    const uint64_t key = (static_cast<uint64_t>(a < b ? a : b) << 32) | static_cast<uint32_t>(a < b ? b : a);
    size_t h = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
    while (seen[h].line >= 0 && seen[h].key != key) h = (h + 1) & (slots - 1);
    if (seen[h].line < 0) {
      seen[h] = Pair{key, i};
      continue;
    }
    keep[i] = 0;
    ++repeated;
    int& first = (*type_of)[seen[h].line];
    if (oriLineTypeTarget(lines[first].type) == 0.0 && oriLineTypeTarget(lines[i].type) != 0.0) first = i;
  }

  const int crossing = dropCrossingLines(lines, n, ends, table, &keep, cuts);

  // The kept lines at each vertex, in line order: at[first[v]] to
  // at[first[v + 1]].
  std::vector<int> degree(n_verts, 0);
  for (int i = 0; i < n; ++i) {
    if (!keep[i]) continue;
    for (int k = 0; k < 2; ++k) degree[ends[2 * i + k]]++;
  }
  std::vector<size_t> first(n_verts + 1, 0);
  for (size_t v = 0; v < n_verts; ++v) first[v + 1] = first[v] + static_cast<size_t>(degree[v]);
  std::vector<int> at(first[n_verts]);
  {
    std::vector<size_t> fill(first.begin(), first.end() - 1);
    for (int i = 0; i < n; ++i) {
      if (!keep[i]) continue;
      for (int k = 0; k < 2; ++k) at[fill[ends[2 * i + k]]++] = i;
    }
  }
  std::vector<int> queue;
  for (size_t v = 0; v < n_verts; ++v) {
    if (degree[v] == 1) queue.push_back(static_cast<int>(v));
  }
  while (!queue.empty()) {
    const int v = queue.back();
    queue.pop_back();
    if (degree[v] != 1) continue;
    for (size_t a = first[v]; a < first[v + 1]; ++a) {
      const int i = at[a];
      if (!keep[i]) continue;
      keep[i] = 0;
      ++pruned;
      for (int k = 0; k < 2; ++k) {
        const int w = ends[2 * i + k];
        degree[w]--;
        if (degree[w] == 1) queue.push_back(w);
      }
      break;
    }
  }
  *drops = {merged, repeated, crossing, pruned};
  return keep;
}

// The construction prints a dot for every half-edge it links: a large sheet
// has hundreds of thousands, so they are handed on in runs, each run before
// any other message.
class Dots {
 public:
  void add() { ++pending_; }
  void flush() {
    static const std::string kRun(1024, '.');
    while (pending_ > 0) {
      const int n = std::min(pending_, static_cast<int>(kRun.size()));
      oriMessage("%.*s", n, kRun.c_str());
      pending_ -= n;
    }
  }
  ~Dots() { flush(); }

 private:
  int pending_ = 0;
};

// A half-edge's CP direction from its tail to its head: the unit vector and
// the length. Every half-edge's is needed at both of its vertices' turns, so
// they are worked out once.
struct Direction {
  double x, y, length;
};

Direction directionOf(const ORI_edge* e) {
  const ORI_vert* h = e->vert;
  const ORI_vert* t = e->pair->vert;
  double dx = h->pos.x - t->pos.x, dy = h->pos.y - t->pos.y;
  const double len = length2d(dx, dy);
  dx /= len;
  dy /= len;
  return {dx, dy, len};
}

// The successor chosen for a half-edge: the half-edge leaving its head that
// turns least to the left (or, with none turning left, the boundary's: the
// one turning most to the right), by index into the block, -1 when its head
// has no other way on; the turn's cosine and sine.
struct Successor {
  int next;
  unsigned char boundary;
  double cos, sin;
};

// Chooses e's successor; dirs holds the direction of every half-edge of
// block. Reads only.
Successor chooseSuccessor(const ORI_edge* e, const ORI_edge* block, const std::vector<Direction>& dirs) {
  const ORI_vert* h = e->vert;
  const Direction& de = dirs[static_cast<size_t>(e - block)];
  const double dx = de.x, dy = de.y, le = de.length;
  const ORI_edge* best = nullptr;
  double best_cos = 1.0, best_sin = 0.0;
  for (int k = 0; k < h->n_out; ++k) {
    const ORI_edge* c = h->out[k];
    if (c == e->pair) continue;
    const Direction& u = dirs[static_cast<size_t>(c - block)];
    const double ux = u.x, uy = u.y, lc = u.length;
    const double sn = dx * uy - dy * ux;
    if (sn > kLeftTurnTolerance * lc * le) {
      const double cs = dx * ux + dy * uy;
      if (cs < best_cos) {
        best = c;
        best_cos = cs;
        best_sin = sn;
      }
    }
  }
  unsigned char boundary = 0;
  if (best == nullptr) {
    best_cos = -1.0;
    boundary = 1;
    for (int k = 0; k < h->n_out; ++k) {
      const ORI_edge* c = h->out[k];
      const Direction& u = dirs[static_cast<size_t>(c - block)];
      const double cs = dx * u.x + dy * u.y;
      if (cs > best_cos) {
        best = c;
        best_cos = cs;
        best_sin = dx * u.y - dy * u.x;
      }
    }
  }
  return {best != nullptr ? static_cast<int>(best - block) : -1, boundary, best_cos, best_sin};
}

// Links e to its chosen successor s (around its face, or around the
// boundary). Returns false, after printing the turns at its head, when
// there is none.
bool linkSuccessor(ORI_edge* e, ORI_edge* block, const Successor& s, Dots* dots) {
  ORI_vert* h = e->vert;
  if (s.boundary) {
    e->on_boundary = 1;
    h->on_boundary = 1;
    if (h->n_out == 1) {
      dots->flush();
      oriMessage("error connection");
    }
  } else {
    e->on_boundary = 0;
  }
  if (s.next < 0) {
    dots->flush();
    const Direction de = directionOf(e);
    for (int k = 0; k < h->n_out; ++k) {
      ORI_edge* c = h->out[k];
      double ux = c->vert->pos.x - h->pos.x, uy = c->vert->pos.y - h->pos.y;
      const double lc = length2d(ux, uy);
      oriMessage("    k:%d cos:%0.3f sin:%0.3f\n", static_cast<int>(c - block), (de.x * ux + de.y * uy) / lc,
                 (de.x * uy - de.y * ux) / lc);
    }
    return false;
  }
  ORI_edge* best = block + s.next;
  dots->add();
  e->next = best;
  best->prev = e;
  e->turn_cos = s.cos;
  e->turn_sin = s.sin;
  e->in_face = 0;
  e->crease_index = -1;
  e->visited = 0;
  e->is_diagonal = 0;
  return true;
}

void presetDisplayFrame(ORI_manifold* om, ORI_vert* verts, int n_vert) {
  double m1 = 0.0, m2 = 0.0, m3 = 0.0;
  for (int i = 0; i < n_vert; ++i) {
    const double x = verts[i].pos.x, y = verts[i].pos.y;
    if (x + y < m1) {
      m1 = x + y;
      om->axis_origin = &verts[i];
    }
    if (y - x < m2) {
      m2 = y - x;
      om->axis_x = &verts[i];
    }
    if (x + y > m3) {
      m3 = x + y;
      om->axis_xy = &verts[i];
    }
  }
}

}  // namespace

double oriLineTarget(const OriPatternLine& line) {
  const double full = oriLineTypeTarget(line.type);
  if (full == 0.0 || !std::isfinite(line.target) || !(line.target * full > 0.0)) return full;
  return std::max(-kOriTargetAngle, std::min(kOriTargetAngle, line.target));
}

double oriLineTypeTarget(int type) {
  if (type == kOriLineTypeMountain) return -kOriTargetAngle;
  if (type == kOriLineTypeValley) return kOriTargetAngle;
  return 0.0;
}

namespace {

// Each split can only shorten lines, so a few passes settle any pattern; the
// bound keeps a hostile one from splitting forever.
constexpr int kMaxSplitPasses = 8;

// The lines with every cut applied: a cut line becomes its pieces between
// the cut points, in order along it, with its type.
std::vector<OriPatternLine> splitLines(const OriPatternLine* lines, int n,
                                       const std::vector<std::vector<vector3d>>& cuts, int* split) {
  std::vector<OriPatternLine> out;
  out.reserve(n);
  *split = 0;
  for (int i = 0; i < n; ++i) {
    const OriPatternLine& l = lines[i];
    if (cuts[i].empty()) {
      out.push_back(l);
      continue;
    }
    ++*split;
    const double dx = l.x1 - l.x0, dy = l.y1 - l.y0;
    std::vector<std::pair<double, vector3d>> along;
    for (const vector3d& p : cuts[i]) along.push_back({(p.x - l.x0) * dx + (p.y - l.y0) * dy, p});
    std::sort(along.begin(), along.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    double px = l.x0, py = l.y0;
    for (const auto& a : along) {
      out.push_back({px, py, a.second.x, a.second.y, l.type, l.target});
      px = a.second.x;
      py = a.second.y;
    }
    out.push_back({px, py, l.x1, l.y1, l.type, l.target});
  }
  return out;
}

// The lines to build, after merging their ends and splitting them where they
// meet until nothing splits any more: the lines, their vertex ends (2 per
// line) in the vertex table, the line each takes its type from and which are
// kept.
struct SettledLines {
  std::vector<OriPatternLine> lines;
  std::vector<ORI_vert> table;
  std::vector<int> ends;
  std::vector<int> type_of;
  std::vector<char> keep;
  LineDrops drops;
  int split = 0;  // lines split, over all passes
};

// Merges ends, chooses lines and splits them, pass after pass. Returns
// false with oriReadError set when the splitting does not settle.
bool settleLines(const OriPatternLine* lines_in, int n_in, SettledLines* s) {
  s->lines.assign(lines_in, lines_in + n_in);
  for (int pass = 0;; ++pass) {
    const OriPatternLine* lines = s->lines.data();
    const int n = static_cast<int>(s->lines.size());
    s->ends = mergeEnds(lines, n, &s->table);
    std::vector<std::vector<vector3d>> cuts;
    s->keep = chooseLines(lines, n, s->ends, s->table, &s->type_of, &cuts, &s->drops);
    int split = 0;
    std::vector<OriPatternLine> next = splitLines(lines, n, cuts, &split);
    if (split == 0) return true;
    if (static_cast<long>(next.size()) > kOriMaxPatternLines) {
      oriSetReadError("splitting the lines where they meet gives more than %d lines", kOriMaxPatternLines);
      return false;
    }
    if (pass + 1 >= kMaxSplitPasses) {
      oriSetReadError("lines still cross after %d passes of splitting them", kMaxSplitPasses);
      return false;
    }
    s->split += split;
    s->lines.swap(next);
  }
}

void reportDrops(const SettledLines& s) {
  if (s.split > 0) oriMessage("split %d line(s) where other lines meet them\n", s.split);
  if (s.drops.merged > 0) oriMessage("dropped %d line(s) whose two ends merge into one point\n", s.drops.merged);
  if (s.drops.repeated > 0) oriMessage("dropped %d repeated line(s)\n", s.drops.repeated);
  if (s.drops.crossing > 0) {
    oriMessage("dropped %d auxiliary line(s) that cross other lines or end on them\n", s.drops.crossing);
  }
  if (s.drops.pruned > 0) oriMessage("pruned %d line(s) with a free end\n", s.drops.pruned);
}

// The mesh's records while they are made: blocks owned by the manifold.
struct MeshBlocks {
  ORI_vert* verts = nullptr;
  ORI_edge* edges = nullptr;
  ORI_face* faces = nullptr;
  int n_vert = 0, n_edge = 0, n_face = 0;
};

// Numbers the vertices that still carry a kept line, in the order they
// were made, and allocates the vertex and half-edge blocks. Returns false
// with oriReadError set when no line is kept or memory runs out.
bool allocateVertsAndEdges(ORI_manifold* om, const SettledLines& s, std::vector<int>* vertex_of, MeshBlocks* m) {
  vertex_of->assign(s.table.size(), -1);
  int n_line = 0;
  for (size_t i = 0; i < s.lines.size(); ++i) {
    if (!s.keep[i]) continue;
    ++n_line;
    for (int k = 0; k < 2; ++k) (*vertex_of)[s.ends[2 * i + k]] = 0;
  }
  for (int& v : *vertex_of) {
    if (v == 0) v = m->n_vert++;
  }
  if (n_line == 0) {
    oriSetReadError("no line is left that closes a face");
    return false;
  }
  m->verts = static_cast<ORI_vert*>(oriManifoldAllocBlock(om, m->n_vert, sizeof(ORI_vert)));
  m->edges = static_cast<ORI_edge*>(oriManifoldAllocBlock(om, 2 * static_cast<size_t>(n_line), sizeof(ORI_edge)));
  if (m->verts == nullptr || m->edges == nullptr) {
    oriSetReadError("out of memory for %d vertices and %d lines", m->n_vert, n_line);
    return false;
  }
  for (size_t v = 0; v < s.table.size(); ++v) {
    if ((*vertex_of)[v] >= 0) m->verts[(*vertex_of)[v]].pos = s.table[v].pos;
  }
  return true;
}

// A half-edge pair per kept line, entered into the out lists of its two
// vertices, with the fold target of its type. Every vertex's out entries lie
// in one block the manifold owns, sized by the vertices' degrees. Returns
// false with oriReadError set when memory runs out.
bool makeHalfEdgePairs(ORI_manifold* om, const SettledLines& s, const std::vector<int>& vertex_of, MeshBlocks* m) {
  std::vector<size_t> degree(m->n_vert, 0);
  size_t n_ends = 0;
  for (size_t i = 0; i < s.lines.size(); ++i) {
    if (!s.keep[i]) continue;
    for (int k = 0; k < 2; ++k) degree[vertex_of[s.ends[2 * i + k]]]++;
    n_ends += 2;
  }
  ORI_edge** slots = static_cast<ORI_edge**>(oriManifoldAllocBlock(om, n_ends, sizeof(ORI_edge*)));
  if (slots == nullptr) {
    oriSetReadError("out of memory for the %zu line ends of %d vertices", n_ends, m->n_vert);
    return false;
  }
  for (int v = 0; v < m->n_vert; ++v) {
    m->verts[v].out = slots;
    slots += degree[v];
  }
  for (size_t i = 0; i < s.lines.size(); ++i) {
    if (!s.keep[i]) continue;
    ORI_vert* from = &m->verts[vertex_of[s.ends[2 * i]]];
    ORI_vert* to = &m->verts[vertex_of[s.ends[2 * i + 1]]];
    ORI_edge* a = &m->edges[m->n_edge];
    ORI_edge* b = &m->edges[m->n_edge + 1];
    from->out[from->n_out++] = a;
    to->out[to->n_out++] = b;
    a->vert = to;
    b->vert = from;
    a->pair = b;
    b->pair = a;
    a->target_angle = b->target_angle = oriLineTarget(s.lines[s.type_of[i]]);
    a->is_diagonal = b->is_diagonal = 0;
    a->angle = b->angle = 0.0;
    a->crease_index = b->crease_index = -1;
    a->index = b->index = -1;
    a->tree_depth = b->tree_depth = -1;
    m->n_edge += 2;
  }
  return true;
}

// Moves the vertices from file units to the CP plane (the file's Y grows
// downwards) and gives every half-edge the CP positions of its ends.
void moveToCpPlane(double paper_size, MeshBlocks* m) {
  for (int v = 0; v < m->n_vert; ++v) {
    ORI_vert& vert = m->verts[v];
    vert.on_boundary = 0;
    vert.sim_index = -1;
    vert.index = -1;
    vert.pos.x = vert.pos.x / paper_size;
    vert.pos.y = -(vert.pos.y / paper_size);
  }
  for (int k = 0; k < m->n_edge; ++k) {
    ORI_edge* e = &m->edges[k];
    e->x0 = e->pair->vert->pos.x;
    e->y0 = e->pair->vert->pos.y;
    e->x1 = e->vert->pos.x;
    e->y1 = e->vert->pos.y;
  }
}

// Every half-edge's successor is chosen first, the half-edges shared among
// the helper threads (the choices only read the mesh), and then linked in
// order, so that the messages come as from one walk.
bool linkAllSuccessors(double paper_size, MeshBlocks* m) {
  Dots dots;
  const long n_edge = m->n_edge;
  std::vector<Direction> dirs(static_cast<size_t>(n_edge));
  std::vector<Successor> successors(static_cast<size_t>(n_edge));
  const int chunks = oriSimChunks(n_edge, kSuccessorGrain);
  oriSimForChunks(chunks, [&](int c) {
    const long k0 = oriSimChunkBegin(n_edge, chunks, c), k1 = oriSimChunkBegin(n_edge, chunks, c + 1);
    for (long k = k0; k < k1; ++k) dirs[static_cast<size_t>(k)] = directionOf(&m->edges[k]);
  });
  oriSimForChunks(chunks, [&](int c) {
    const long k0 = oriSimChunkBegin(n_edge, chunks, c), k1 = oriSimChunkBegin(n_edge, chunks, c + 1);
    for (long k = k0; k < k1; ++k) successors[static_cast<size_t>(k)] = chooseSuccessor(&m->edges[k], m->edges, dirs);
  });
  for (int k = 0; k < m->n_edge; ++k) {
    if (!linkSuccessor(&m->edges[k], m->edges, successors[static_cast<size_t>(k)], &dots)) {
      dots.flush();
      oriMessage("\n");
      oriSetReadError("half-edge %d at (%g, %g) has no successor", k, m->edges[k].x1 * paper_size,
                      -m->edges[k].y1 * paper_size);
      return false;
    }
  }
  dots.flush();
  oriMessage("\n");
  return true;
}

// Sorts the loops of successors into faces and outline. The left-turn rule
// flags a half-edge as boundary wherever no line turns left at its head;
// inside the paper that also happens where a line runs straight through a
// vertex with nothing on its left. So the flags are settled by each loop's
// orientation: a loop running clockwise in the CP plane bounds the paper
// from outside (the outline, or a hole), the others are faces. Returns false
// with oriReadError set when the loops are broken or there is no outline.
bool sortLoops(const MeshBlocks& m, std::vector<ORI_edge*>* face_first, std::vector<ORI_edge*>* outline_loops) {
  std::vector<char> on_loop(m.n_edge, 0);
  for (int k = 0; k < m.n_edge; ++k) {
    if (on_loop[k]) continue;
    ORI_edge* start = &m.edges[k];
    ORI_edge* e = start;
    double area2 = 0.0;
    int steps = 0;
    do {
      const long at = e - m.edges;
      if (on_loop[at]) {
        oriSetReadError("the loop of half-edge %d runs into another loop", k);
        return false;
      }
      on_loop[at] = 1;
      area2 += e->x0 * e->y1 - e->x1 * e->y0;
      e = e->next;
    } while (e != start && ++steps <= m.n_edge);
    if (e != start) {
      oriSetReadError("the loop of half-edge %d does not close", k);
      return false;
    }
    (area2 > 0.0 ? face_first : outline_loops)->push_back(start);
  }
  if (outline_loops->empty()) {
    oriSetReadError("the lines have no outer boundary: they do not outline a sheet");
    return false;
  }
  if (face_first->empty()) {
    oriSetReadError("the lines enclose no face");
    return false;
  }
  return true;
}

// Flags the outline's half-edges and vertices as boundary (and nothing else).
void markOutline(const std::vector<ORI_edge*>& outline_loops, MeshBlocks* m) {
  for (int k = 0; k < m->n_edge; ++k) m->edges[k].on_boundary = 0;
  for (int v = 0; v < m->n_vert; ++v) m->verts[v].on_boundary = 0;
  for (ORI_edge* start : outline_loops) {
    ORI_edge* e = start;
    do {
      e->on_boundary = 1;
      e->vert->on_boundary = 1;
      e = e->next;
    } while (e != start);
  }
}

// A face per loop of face_first. Returns false with oriReadError set when
// memory runs out.
bool makeFaces(ORI_manifold* om, const std::vector<ORI_edge*>& face_first, MeshBlocks* m) {
  for (ORI_edge* start : face_first) {
    ORI_edge* e = start;
    do {
      e->in_face = 1;
      e = e->next;
    } while (e != start);
  }
  m->n_face = static_cast<int>(face_first.size());
  m->faces = static_cast<ORI_face*>(oriManifoldAllocBlock(om, m->n_face, sizeof(ORI_face)));
  if (m->faces == nullptr) {
    oriSetReadError("out of memory for %d faces", m->n_face);
    return false;
  }
  for (int f = 0; f < m->n_face; ++f) {
    m->faces[f].first = face_first[f];
    m->faces[f].index = -1;
    ORI_edge* e = face_first[f];
    do {
      e->face = &m->faces[f];
      e = e->next;
    } while (e != face_first[f]);
  }
  return true;
}

// Prints the counts and enters the records into om's lists. Returns false
// with oriReadError set when memory runs out.
bool fillLists(ORI_manifold* om, const MeshBlocks& m) {
  om->n_vert = m.n_vert;
  om->n_edge = m.n_edge;
  om->n_face = m.n_face;
  oriMessage("vert number: %d\n", m.n_vert);
  oriMessage("edge number: %d\n", m.n_edge);
  oriMessage("face number: %d\n", m.n_face);
  std::vector<void*> records(static_cast<size_t>(std::max({m.n_edge, m.n_vert, m.n_face})));
  bool filled = true;
  for (int k = 0; k < m.n_edge; ++k) records[static_cast<size_t>(k)] = &m.edges[k];
  filled = filled && oriManifoldFillList(om, om->edges, records.data(), static_cast<size_t>(m.n_edge)) == 0;
  for (int v = 0; v < m.n_vert; ++v) records[static_cast<size_t>(v)] = &m.verts[v];
  filled = filled && oriManifoldFillList(om, om->verts, records.data(), static_cast<size_t>(m.n_vert)) == 0;
  for (int f = 0; f < m.n_face; ++f) records[static_cast<size_t>(f)] = &m.faces[f];
  filled = filled && oriManifoldFillList(om, om->faces, records.data(), static_cast<size_t>(m.n_face)) == 0;
  if (filled) return true;
  for (List* top : {om->edges, om->verts, om->faces}) *top = List{nullptr, nullptr, nullptr};
  om->n_vert = om->n_edge = om->n_face = 0;
  return false;
}

}  // namespace

int oriManifoldConstructFromLines(ORI_manifold* om, ORI_manifold* om_old, const OriPatternLine* lines, int n) {
  if (n > kOriMaxPatternLines) {
    oriSetReadError("the pattern has %d lines; at most %d are supported", n, kOriMaxPatternLines);
    return -1;
  }
  SettledLines settled;
  if (!settleLines(lines, n, &settled)) return -1;
  reportDrops(settled);

  MeshBlocks m;
  std::vector<int> vertex_of;
  if (!allocateVertsAndEdges(om, settled, &vertex_of, &m) || !makeHalfEdgePairs(om, settled, vertex_of, &m)) return -1;
  moveToCpPlane(om->paper_size, &m);
  if (!linkAllSuccessors(om->paper_size, &m)) return -1;
  std::vector<ORI_edge*> face_first, outline_loops;
  if (!sortLoops(m, &face_first, &outline_loops)) return -1;
  markOutline(outline_loops, &m);
  if (!makeFaces(om, face_first, &m)) return -1;
  if (!fillLists(om, m)) {
    oriSetReadError("out of memory for the lists of %d half-edges", m.n_edge);
    return -1;
  }

  presetDisplayFrame(om, m.verts, m.n_vert);
  if (om_old == nullptr) {
    oriManifoldCenterFace(om);
    oriMatrixIdentity(om->center_face->matrix);
  } else {
    oriManifoldPlaceOnFolded(om, om_old);
  }
  return 0;
}

bool oriPatternLineAccepted(const OriPatternLine& line, OriLineDrops* drops) {
  if (!std::isfinite(line.x0) || !std::isfinite(line.y0) || !std::isfinite(line.x1) || !std::isfinite(line.y1)) {
    ++drops->non_finite;
    return false;
  }
  if (std::fabs(line.x0 - line.x1) < kOriMergeDistance && std::fabs(line.y0 - line.y1) < kOriMergeDistance) {
    ++drops->too_short;
    return false;
  }
  return true;
}

int oriManifoldConstructFromAccepted(ORI_manifold* om, ORI_manifold* om_old, const OriPatternLine* lines, int n,
                                     const OriLineDrops& drops) {
  if (drops.non_finite > 0) {
    oriMessage("dropped %d line(s) with a coordinate that is not a finite number\n", drops.non_finite);
  }
  if (n == 0) {
    if (drops.too_short > 0) {
      oriSetReadError("all %d lines of the pattern are shorter than %g units", drops.too_short, kOriMergeDistance);
    } else {
      oriSetReadError("the pattern has no lines to build a sheet from");
    }
    return -1;
  }
  return oriManifoldConstructFromLines(om, om_old, lines, n);
}

void oriManifoldPlaceOnFolded(ORI_manifold* om, ORI_manifold* om_old) {
  // Every vertex is looked up on the old model: the index keeps the lookups
  // that fall back to a test of every face from making this quadratic.
  ORI_face_index* index = oriFaceIndexNew(om_old);
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_vert* v = static_cast<ORI_vert*>(l->data);
    const double x = v->pos.x, y = v->pos.y;
    const ORI_face* f = oriManifoldSelectFaceIndexed(om_old, index, x, y);
    if (f == nullptr) continue;
    const double* M = f->matrix;
    const double w = M[12] * x + M[13] * y + M[15];
    v->pos.x = (M[0] * x + M[1] * y + M[3]) / w;
    v->pos.y = (M[4] * x + M[5] * y + M[7]) / w;
    v->pos.z = (M[8] * x + M[9] * y + M[11]) / w;
  }
  oriManifoldCenterFace(om);
  const ORI_edge* h0 = om->center_face->first;
  const ORI_edge* h1 = h0->next;
  const ORI_edge* h2 = h1->next;
  const double cx = (h0->x0 + h1->x0 + h2->x0) * 0.3333333333333333;
  const double cy = (h0->y0 + h1->y0 + h2->y0) * 0.3333333333333333;
  const ORI_face* under = oriManifoldSelectFaceIndexed(om_old, index, cx, cy);
  oriFaceIndexDelete(index);
  if (under != nullptr) {
    std::memcpy(om->center_face->matrix, under->matrix, sizeof under->matrix);
  } else {
    oriMatrixIdentity(om->center_face->matrix);
  }
  oriManifoldCalcCreaseFromVertPos(om);
}
