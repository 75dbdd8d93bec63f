// Line chopping: pair tests between the lines of a pattern, splitting at
// crossings and T-junctions until no pair splits any more.
#include "input/line_chop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <tuple>
#include <vector>

#include "geometry/grid.h"
#include "geometry/message.h"
#include "input/construct.h"
#include "input/line_import.h"
#include "input/line_list.h"
#include "input/read_error.h"
#include "sim/parallel_chunks.h"

namespace {

double cross(double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; }

// Whether the x (or y) extent of a (its ends a0, a1) lies wholly beyond
// both ends b0, b1 of the other line by more than the margin.
bool apart(double a0, double a1, double b0, double b1) {
  const double lo = a0 < a1 ? a0 : a1;
  const double hi = a0 < a1 ? a1 : a0;
  if (lo > b0 + kChopBoxMargin && lo > b1 + kChopBoxMargin) return true;
  return hi < b0 - kChopBoxMargin && hi < b1 - kChopBoxMargin;
}

// Two lines can cut each other only where they meet within kChopEndMargin
// of their lengths of both; a grid cell lists every line that passes within
// twice that (rounding room) of it, so two such lines always share the cell
// of their meeting point and only lines sharing a cell are tested.
constexpr double kChopReach = 2.0 * kChopEndMargin;
// The grid is rebuilt, finer, when this many times more lines live than it
// was built for.
constexpr int kChopRegrowFactor = 4;
// Rounding room around the lines' extent, a share of its size.
constexpr double kChopGridSlack = 1e-9;
// Lines to a chunk of the grid's building: each finds its cells (a few
// distance tests) in well under a microsecond.
constexpr long kGridGrain = 16384;

bool finiteLine(const Line& l) {
  return std::isfinite(l.x0) && std::isfinite(l.y0) && std::isfinite(l.x1) && std::isfinite(l.y1);
}

double length(const Line& l) {
  const double dx = l.x1 - l.x0, dy = l.y1 - l.y0;
  return std::sqrt(dx * dx + dy * dy);
}

double segmentDistance(double x, double y, const Line& l) {
  const double dx = l.x1 - l.x0, dy = l.y1 - l.y0;
  const double len2 = dx * dx + dy * dy;
  double u = len2 > 0.0 ? ((x - l.x0) * dx + (y - l.y0) * dy) / len2 : 0.0;
  u = std::min(1.0, std::max(0.0, u));
  const double ex = x - (l.x0 + u * dx), ey = y - (l.y0 + u * dy);
  return std::sqrt(ex * ex + ey * ey);
}

// The lines entered into the cells they pass within reach of. (A cell's
// membership has the room of a whole kChopEndMargin: the rounding of these
// distances never decides whether two lines that cut each other share one.)
class ChopGrid {
 public:
  // Lays the grid over the living lines and enters them.
  void build(const std::vector<Line>& lines, const std::vector<char>& living, int alive) {
    double lo_x = HUGE_VAL, lo_y = HUGE_VAL, hi_x = -HUGE_VAL, hi_y = -HUGE_VAL, reach = 0.0;
    for (size_t id = 0; id < lines.size(); ++id) {
      const Line& l = lines[id];
      if (!living[id] || !finiteLine(l)) continue;
      lo_x = std::min({lo_x, l.x0, l.x1});
      lo_y = std::min({lo_y, l.y0, l.y1});
      hi_x = std::max({hi_x, l.x0, l.x1});
      hi_y = std::max({hi_y, l.y0, l.y1});
      reach = std::max(reach, kChopReach * length(l));
    }
    if (lo_x > hi_x) lo_x = lo_y = hi_x = hi_y = 0.0;
    slack_ = kChopGridSlack * (1.0 + (hi_x - lo_x) + (hi_y - lo_y));
    const double pad = reach + slack_;
    grid_.cover(lo_x - pad, lo_y - pad, hi_x + pad, hi_y + pad, static_cast<size_t>(alive));
    built_for_ = alive;
    // The cells of each line found chunk by chunk, shared among the helper
    // threads, then entered in list order at once.
    const long n = static_cast<long>(lines.size());
    const int chunks = oriSimChunks(n, kGridGrain);
    std::vector<std::vector<uint32_t>> cells(static_cast<size_t>(chunks));
    std::vector<std::vector<int>> ids(static_cast<size_t>(chunks));
    oriSimForChunks(chunks, [&](int k) {
      const long first = oriSimChunkBegin(n, chunks, k), last = oriSimChunkBegin(n, chunks, k + 1);
      // A line of a fine pattern meets a few cells.
      cells[static_cast<size_t>(k)].reserve(static_cast<size_t>(4 * (last - first)));
      ids[static_cast<size_t>(k)].reserve(static_cast<size_t>(4 * (last - first)));
      for (long id = first; id < last; ++id) {
        if (!living[static_cast<size_t>(id)]) continue;
        forEachCell(lines[static_cast<size_t>(id)], [&](int64_t cx, int64_t cy) {
          cells[static_cast<size_t>(k)].push_back(static_cast<uint32_t>(grid_.cellIndex(cx, cy)));
          ids[static_cast<size_t>(k)].push_back(static_cast<int>(id));
        });
      }
    });
    for (int k = 1; k < chunks; ++k) {
      cells[0].insert(cells[0].end(), cells[static_cast<size_t>(k)].begin(), cells[static_cast<size_t>(k)].end());
      ids[0].insert(ids[0].end(), ids[static_cast<size_t>(k)].begin(), ids[static_cast<size_t>(k)].end());
      std::vector<uint32_t>().swap(cells[static_cast<size_t>(k)]);
      std::vector<int>().swap(ids[static_cast<size_t>(k)]);
    }
    grid_.addAll(cells[0], ids[0]);
  }

  int builtFor() const { return built_for_; }
  int64_t side() const { return grid_.side(); }

  void add(int id, const Line& l) {
    forEachCell(l, [&](int64_t cx, int64_t cy) { grid_.add(cx, cy, id); });
  }

  // Calls f(id) with the line ids entered in a cell, living or not.
  template <class F>
  void forEachId(int64_t cx, int64_t cy, F f) const {
    grid_.forEachId(cx, cy, f);
  }

  // Calls f(cx, cy) with every cell that passes within reach of l. Lines
  // that are not finite are in no cell: they cut nothing.
  template <class F>
  void forEachCell(const Line& l, F f) const {
    if (!finiteLine(l)) return;
    const double reach = kChopReach * length(l) + slack_;
    const double half_diagonal = 0.5 * std::sqrt(grid_.width() * grid_.width() + grid_.height() * grid_.height());
    grid_.forEachCell(std::min(l.x0, l.x1) - reach, std::min(l.y0, l.y1) - reach, std::max(l.x0, l.x1) + reach,
                      std::max(l.y0, l.y1) + reach, [&](int64_t cx, int64_t cy) {
                        if (segmentDistance(grid_.centreX(cx), grid_.centreY(cy), l) <= reach + half_diagonal) {
                          f(cx, cy);
                        }
                      });
  }

 private:
  OriGrid grid_;
  double slack_ = 0.0;
  int built_for_ = 0;
};

// The lines of one chopping in list order: a line's id is its position in
// the list, and since pieces are always appended, ids only grow.
struct ChopState {
  std::vector<Line>& lines;  // by id
  std::vector<char> living;  // 0 once split
  int alive = 0;
  long long splits = 0;
  ChopGrid grid;

  explicit ChopState(std::vector<Line>& l) : lines(l), living(l.size(), 1), alive(static_cast<int>(l.size())) {}

  int add(const Line& l) {
    const int id = static_cast<int>(lines.size());
    lines.push_back(l);
    living.push_back(1);
    ++alive;
    grid.add(id, lines.back());
    return id;
  }

  // Replaces line id by its two pieces split at (px, py); returns the id of
  // the first piece (the second follows it).
  int split(int id, double px, double py) {
    const Line l = lines[id];
    Line a = l, b = l;
    a.x1 = px;
    a.y1 = py;
    b.x0 = px;
    b.y0 = py;
    const int first = add(a);
    add(b);
    living[id] = 0;
    --alive;
    ++splits;
    return first;
  }
};

// Whether two lines have an end at exactly the same point. The pair test of
// such lines puts their meeting at that end of both (its cross products
// there are exact zeros), where no margin admits a cut: they are passed over
// without it (most pairs of a fine pattern meet so).
bool shareAnEnd(const Line& a, const Line& b) {
  return (a.x0 == b.x0 && a.y0 == b.y0) || (a.x0 == b.x1 && a.y0 == b.y1) || (a.x1 == b.x0 && a.y1 == b.y0) ||
         (a.x1 == b.x1 && a.y1 == b.y1);
}

// Removes the later copies of a line drawn again with the same ends (either
// way round) and type, keeping the first; returns how many went. The same
// lines go as a set of (ends in order, type) would find them: equal numbers
// (0 and -0 alike) in the same order. Lines with coordinates that are not
// numbers are compared through such a set.
int dropCopies(std::vector<Line>* lines) {
  using Key = std::tuple<double, double, double, double, int>;
  auto keyOf = [](const Line& l) {
    const bool forward = std::make_pair(l.x0, l.y0) <= std::make_pair(l.x1, l.y1);
    return forward ? Key(l.x0, l.y0, l.x1, l.y1, l.type) : Key(l.x1, l.y1, l.x0, l.y0, l.type);
  };
  const size_t n = lines->size();
  std::vector<char> copy(n, 0);
  bool finite = true;
  for (const Line& l : *lines) finite = finite && finiteLine(l);
  if (finite) {
    // An open-addressing table of the keys seen, at most half full.
    auto bitsOf = [](double v) {
      v += 0.0;  // -0 counts as 0
      uint64_t b;
      std::memcpy(&b, &v, sizeof b);
      return b;
    };
    int bits = 4;
    while ((size_t{1} << bits) < 2 * n + 2) ++bits;
    std::vector<int> table(size_t{1} << bits, -1);
    std::vector<Key> keys(n);
    for (size_t i = 0; i < n; ++i) {
      const Key& k = keys[i] = keyOf((*lines)[i]);
      uint64_t h = static_cast<uint64_t>(std::get<4>(k)) * 0x9E3779B97F4A7C15ull;
      h = (h ^ bitsOf(std::get<0>(k))) * 0xC2B2AE3D27D4EB4Full;
      h = (h ^ bitsOf(std::get<1>(k))) * 0x9E3779B97F4A7C15ull;
      h = (h ^ bitsOf(std::get<2>(k))) * 0xC2B2AE3D27D4EB4Full;
      h = (h ^ bitsOf(std::get<3>(k))) * 0x9E3779B97F4A7C15ull;
      size_t at = static_cast<size_t>(h >> (64 - bits));
      while (table[at] >= 0 && keys[static_cast<size_t>(table[at])] != k) at = (at + 1) & (table.size() - 1);
      if (table[at] >= 0) {
        copy[i] = 1;
      } else {
        table[at] = static_cast<int>(i);
      }
    }
  } else {
    std::set<Key> seen;
    for (size_t i = 0; i < n; ++i) copy[i] = seen.insert(keyOf((*lines)[i])).second ? 0 : 1;
  }
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!copy[i]) (*lines)[kept++] = (*lines)[i];
  }
  lines->resize(kept);
  return static_cast<int>(n - kept);
}

// Cell entries per share of the shared pass below.
constexpr long kChopGrain = 8192;

// The lowest line a of st (all living, none split yet) whose tests against
// the lines sharing its cells cut something, or the number of lines when
// none does: the ordered pass leaves the lines before it as they are, so it
// may begin there. The pairs are taken cell by cell, both ways round (a
// quarter of the ordered pass's work, which finds each line's cells and
// sorts its neighbours), and the cells are shared among the helper threads:
// a drawing whose lines meet only at their ends (every pattern a program
// writes) is then tested in this pass alone.
int firstCut(const ChopState& st) {
  const int n = static_cast<int>(st.lines.size());
  const int64_t side = st.grid.side();
  const long cells = static_cast<long>(side * side);
  const int chunks = oriSimChunks(2L * n, kChopGrain);
  int lowest[kOriSimMaxChunks];
  oriSimForChunks(chunks, [&](int k) {
    int best = n;
    std::vector<int> ids;
    for (long cell = oriSimChunkBegin(cells, chunks, k); cell < oriSimChunkBegin(cells, chunks, k + 1); ++cell) {
      ids.clear();
      st.grid.forEachId(cell % side, cell / side, [&](int id) { ids.push_back(id); });
      // A cell lists its lines in the order they were entered, increasing.
      for (size_t x = 0; x < ids.size() && ids[x] < best; ++x) {
        const Line& lx = st.lines[static_cast<size_t>(ids[x])];
        for (size_t y = x + 1; y < ids.size(); ++y) {
          const Line& ly = st.lines[static_cast<size_t>(ids[y])];
          if (shareAnEnd(lx, ly)) continue;
          double px, py;
          if (LineChopTest(&lx, &ly, &px, &py) != kLineChopNone) {
            best = ids[x];
            break;
          }
          if (ids[y] < best && LineChopTest(&ly, &lx, &px, &py) != kLineChopNone) best = ids[y];
        }
      }
    }
    lowest[k] = best;
  });
  return *std::min_element(lowest, lowest + chunks);
}

}  // namespace

int LineChopTest(const Line* a, const Line* b, double* px, double* py) {
  // Auxiliary lines reach the construction whole, which splits or drops them
  // by one rule for every format.
  if (a->type == kOriLineTypeAux || b->type == kOriLineTypeAux) return kLineChopNone;
  if (apart(a->x0, a->x1, b->x0, b->x1) || apart(a->y0, a->y1, b->y0, b->y1)) return kLineChopNone;
  const double dax = a->x1 - a->x0, day = a->y1 - a->y0;
  const double dbx = b->x1 - b->x0, dby = b->y1 - b->y0;
  const double p = cross(b->x0 - a->x0, b->y0 - a->y0, b->x1 - a->x0, b->y1 - a->y0);
  const double q = cross(b->x1 - a->x1, b->y1 - a->y1, b->x0 - a->x1, b->y0 - a->y1);
  const double d = p + q;
  if (std::fabs(d) < kChopParallel * std::sqrt(dax * dax + day * day) * std::sqrt(dbx * dbx + dby * dby)) {
    return kLineChopNone;
  }
  const double t = p / d, t1 = q / d;  // along a: 0 at its first end, 1 at its second; t1 = 1 - t
  const double r = cross(a->x0 - b->x0, a->y0 - b->y0, a->x1 - b->x0, a->y1 - b->y0);
  const double w = cross(a->x1 - b->x1, a->y1 - b->y1, a->x0 - b->x1, a->y0 - b->y1);
  const double s = r / (r + w), s1 = w / (r + w);  // along b
  if (t > kChopCrossMargin && t1 > kChopCrossMargin && s > kChopCrossMargin && s1 > kChopCrossMargin) {
    *px = s * b->x1 + s1 * b->x0;
    *py = s * b->y1 + s1 * b->y0;
    return kLineChopCross;
  }
  if (t > kChopEndMargin && t1 > kChopEndMargin && s > -kChopEndMargin && s1 > -kChopEndMargin) {
    *px = t * a->x1 + t1 * a->x0;
    *py = t * a->y1 + t1 * a->y0;
    return kLineChopCutA;
  }
  if (t > -kChopEndMargin && t1 > -kChopEndMargin && s > kChopEndMargin && s1 > kChopEndMargin) {
    *px = s * b->x1 + s1 * b->x0;
    *py = s * b->y1 + s1 * b->y0;
    return kLineChopCutB;
  }
  return kLineChopNone;
}


int LineChopLines(std::vector<Line>* lines_in) {
  // A line drawn again with the same ends and type adds nothing but work:
  // each copy would be cut at every crossing of the first. Copies are
  // dropped before any test.
  dropCopies(lines_in);
  ChopState st(*lines_in);
  st.grid.build(st.lines, st.living, st.alive);
  // Exact arithmetic splits each line at most once per other line; rounding
  // may add a few points, never this many.
  const long long n0 = static_cast<long long>(st.lines.size());
  const long long max_splits = 4 * n0 * n0 + 1024;

  std::vector<int> stamp;
  std::vector<int> candidates;
  bool settled = true;
  for (int a = firstCut(st); a < static_cast<int>(st.lines.size()); ++a) {
    if (!st.living[a]) continue;
    if (st.splits > max_splits || st.alive > kOriMaxPatternLines) {
      settled = false;
      break;
    }
    if (st.alive > kChopRegrowFactor * std::max(st.grid.builtFor(), 16)) st.grid.build(st.lines, st.living, st.alive);

    // The lines near a, in list order: the order of the pair tests decides
    // which line of a pair is cut first, so it is kept.
    stamp.resize(st.lines.size(), -1);
    candidates.clear();
    st.grid.forEachCell(st.lines[a], [&](int64_t cx, int64_t cy) {
      st.grid.forEachId(cx, cy, [&](int b) {
        if (stamp[b] == a || b == a || !st.living[b]) return;
        stamp[b] = a;
        candidates.push_back(b);
      });
    });
    std::sort(candidates.begin(), candidates.end());

    for (size_t k = 0; k < candidates.size(); ++k) {
      const int b = candidates[k];
      if (!st.living[b] || shareAnEnd(st.lines[a], st.lines[b])) continue;
      double px = 0.0, py = 0.0;
      const int kind = LineChopTest(&st.lines[a], &st.lines[b], &px, &py);
      if (kind == kLineChopNone) continue;
      if (kind == kLineChopCutB) {
        // b's pieces come last in the list and are tested against a in turn.
        if (st.splits >= max_splits) {
          // Pieces that rounding keeps cutting again: stop with the list whole.
          settled = false;
          break;
        }
        oriMessage("Tb");
        const int piece = st.split(b, px, py);
        candidates.push_back(piece);
        candidates.push_back(piece + 1);
        continue;
      }
      oriMessage(kind == kLineChopCross ? "X " : "Ta");
      st.split(a, px, py);
      if (kind == kLineChopCross) st.split(b, px, py);
      break;
    }
    if (!settled) break;
  }

  // The living lines in order.
  size_t kept = 0;
  for (size_t i = 0; i < st.lines.size(); ++i) {
    if (st.living[i]) st.lines[kept++] = st.lines[i];
  }
  st.lines.resize(kept);
  oriMessage("numlist:%d\n", static_cast<int>(kept));
  if (!settled) {
    if (st.alive > kOriMaxPatternLines) {
      oriSetReadError("cutting the lines at their crossings gives more than %d lines", kOriMaxPatternLines);
    } else {
      oriSetReadError("cutting the lines at their crossings does not settle (%lld cuts of %lld lines)", st.splits, n0);
    }
    return -1;
  }
  return 0;
}

int LineChop(CreasePattern* cp) {
  std::vector<Line> lines;
  for (List* n = cp->lines; n != nullptr && n->data != nullptr; n = n->next) {
    lines.push_back(*static_cast<const Line*>(n->data));
  }
  CreasePatternClear(cp);
  const int result = LineChopLines(&lines);
  List* last = nullptr;
  for (const Line& l : lines) {
    Line* copy = LineNew(l.x0, l.y0, l.x1, l.y1, l.type);
    copy->target = l.target;
    last = listAdd(cp->lines, last, copy);
  }
  return result;
}
