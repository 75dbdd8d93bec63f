// Sections: plane geometry (pieces, clipping, a grid of boxes); the
// conditions' tables; building the problem; propagation; search and count;
// choosing a stacking.
#include "flat/layer_order.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numeric>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "flat/flat_lines.h"
#include "flat/folded_form.h"
#include "geometry/manifold.h"

namespace {

using Clock = std::chrono::steady_clock;

// The clock is read once every this many search choices or built items.
constexpr long long kClockEvery = 256;

// The share of the time left after one stacking of every component was
// found that counting may take; choosing a stacking and its view keep the
// rest.
constexpr double kCountShare = 0.7;

// ---------------------------------------------------------------- geometry

struct Vec2 {
  double x, y;
};

double cross(const Vec2& o, const Vec2& a, const Vec2& b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

struct Box {
  double x0, y0, x1, y1;
  bool meets(const Box& o, double tol) const {
    return x0 <= o.x1 + tol && o.x0 <= x1 + tol && y0 <= o.y1 + tol && o.y0 <= y1 + tol;
  }
};

// One counter-clockwise folded triangle of a face.
struct Piece {
  int face;
  int facet;
  Vec2 p[3];
  Box box;
};

// A folded line: a fold (fold ±1, two facets), a flat line or diagonal
// inside one facet (fold 0, facet_a = facet_b) or a piece of the outline
// (outline, fold 0, facet_a = facet_b the facet beside it).
struct Segment {
  Vec2 a, b;
  int fold;
  bool outline;
  int facet_a, facet_b;
  int face_a, face_b;
  int side;  // +1 when the fold's facets lie left of a → b, -1 right
  Box box;
};

Box boxOf(const Vec2* p, int n) {
  Box b{p[0].x, p[0].y, p[0].x, p[0].y};
  for (int k = 1; k < n; ++k) {
    b.x0 = std::min(b.x0, p[k].x);
    b.y0 = std::min(b.y0, p[k].y);
    b.x1 = std::max(b.x1, p[k].x);
    b.y1 = std::max(b.y1, p[k].y);
  }
  return b;
}

// Clips the convex counter-clockwise polygon in (n points) by the left
// half-plane of a → b. At most n + 1 points out, and never more than 2n
// (rounding can make a nearly straight corner look bent the other way).
int clipHalf(const Vec2* in, int n, const Vec2& a, const Vec2& b, Vec2* out) {
  int m = 0;
  for (int k = 0; k < n; ++k) {
    const Vec2& p = in[k];
    const Vec2& q = in[(k + 1) % n];
    const double dp = cross(a, b, p), dq = cross(a, b, q);
    if (dp >= 0.0) out[m++] = p;
    if ((dp >= 0.0) != (dq >= 0.0)) {
      const double t = dp / (dp - dq);
      out[m++] = Vec2{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)};
    }
  }
  return m;
}

// Room for the points of a polygon clipped by a few triangles.
constexpr int kClipMax = 32;

// Clips the convex polygon poly (n points, counter-clockwise; room for
// kClipMax) by triangle t; returns the points left (0 when nothing, or when
// rounding made the polygon too ragged to follow).
int clipByTriangle(Vec2* poly, int n, const Vec2 t[3]) {
  Vec2 tmp[kClipMax];
  for (int k = 0; k < 3 && n > 0; ++k) {
    if (2 * n > kClipMax) return 0;
    n = clipHalf(poly, n, t[k], t[(k + 1) % 3], tmp);
    std::copy(tmp, tmp + n, poly);
  }
  return n;
}

// Twice the area over the perimeter: about the width of a thin sliver, the
// inradius scale of a fat region. 0 for fewer than three points.
// The area is summed about the first point: about the origin, a speck far
// from it would keep the rounding of its corners' large products.
double regionWidth(const Vec2* p, int n) {
  if (n < 3) return 0.0;
  double area2 = 0.0, perimeter = 0.0;
  for (int k = 0; k < n; ++k) {
    const Vec2& a = p[k];
    const Vec2& b = p[(k + 1) % n];
    area2 += cross(p[0], a, b);
    perimeter += std::hypot(b.x - a.x, b.y - a.y);
  }
  return perimeter > 0.0 ? std::fabs(area2) / perimeter : 0.0;
}

// The length of segment a → b that lies inside triangle t farther than tol
// from its sides.
double lengthInside(const Vec2& a, const Vec2& b, const Vec2 t[3], double tol) {
  double lo = 0.0, hi = 1.0;
  for (int k = 0; k < 3; ++k) {
    const Vec2& p = t[k];
    const Vec2& q = t[(k + 1) % 3];
    const double len = std::hypot(q.x - p.x, q.y - p.y);
    if (!(len > 0.0)) return 0.0;
    const double da = cross(p, q, a) / len - tol, db = cross(p, q, b) / len - tol;
    if (da < 0.0 && db < 0.0) return 0.0;
    if (da < 0.0) lo = std::max(lo, da / (da - db));
    if (db < 0.0) hi = std::min(hi, da / (da - db));
    if (lo >= hi) return 0.0;
  }
  return (hi - lo) * std::hypot(b.x - a.x, b.y - a.y);
}

// Whether segments s and t lie on one line (within tol) and share more than
// tol of it.
bool collinearOverlap(const Segment& s, const Segment& t, double tol) {
  const double len = std::hypot(s.b.x - s.a.x, s.b.y - s.a.y);
  const double len_t = std::hypot(t.b.x - t.a.x, t.b.y - t.a.y);
  if (!(len > tol) || !(len_t > tol)) return false;
  if (std::fabs(cross(s.a, s.b, t.a)) / len > tol || std::fabs(cross(s.a, s.b, t.b)) / len > tol) return false;
  if (std::fabs(cross(t.a, t.b, s.a)) / len_t > tol || std::fabs(cross(t.a, t.b, s.b)) / len_t > tol) return false;
  const double ux = (s.b.x - s.a.x) / len, uy = (s.b.y - s.a.y) / len;
  double t0 = (t.a.x - s.a.x) * ux + (t.a.y - s.a.y) * uy;
  double t1 = (t.b.x - s.a.x) * ux + (t.b.y - s.a.y) * uy;
  if (t0 > t1) std::swap(t0, t1);
  return std::min(len, t1) - std::max(0.0, t0) > tol;
}

// Boxes of items on a uniform grid, for "which items meet this box".
class BoxGrid {
 public:
  BoxGrid(const std::vector<Box>& boxes, double tol) : boxes_(boxes), tol_(tol) {
    if (boxes.empty()) return;
    Box all = boxes[0];
    for (const Box& b : boxes) all = Box{std::min(all.x0, b.x0), std::min(all.y0, b.y0), std::max(all.x1, b.x1),
                                         std::max(all.y1, b.y1)};
    all_ = all;
    side_ = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(boxes.size()))));
    side_ = std::min(side_, 512);
    cell_w_ = std::max((all.x1 - all.x0) / side_, 1e-12);
    cell_h_ = std::max((all.y1 - all.y0) / side_, 1e-12);
    start_.assign(static_cast<size_t>(side_) * side_ + 1, 0);
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<int> fill;
      if (pass == 1) {
        std::partial_sum(start_.begin(), start_.end(), start_.begin());
        items_.assign(start_.back(), 0);
        fill.assign(start_.begin(), start_.end() - 1);
      }
      for (size_t k = 0; k < boxes.size(); ++k) {
        int cx0, cy0, cx1, cy1;
        cells(boxes[k], &cx0, &cy0, &cx1, &cy1);
        for (int y = cy0; y <= cy1; ++y) {
          for (int x = cx0; x <= cx1; ++x) {
            const size_t c = static_cast<size_t>(y) * side_ + x;
            if (pass == 0) {
              ++start_[c + 1];
            } else {
              items_[fill[c]++] = static_cast<int>(k);
            }
          }
        }
      }
    }
    stamp_.assign(boxes.size(), -1);
  }

  // Calls visit(k) once for every item whose box meets b (within tol).
  template <typename F>
  void query(const Box& b, F visit) {
    if (boxes_.empty()) return;
    ++query_;
    int cx0, cy0, cx1, cy1;
    cells(b, &cx0, &cy0, &cx1, &cy1);
    for (int y = cy0; y <= cy1; ++y) {
      for (int x = cx0; x <= cx1; ++x) {
        const size_t c = static_cast<size_t>(y) * side_ + x;
        for (int i = start_[c]; i < start_[c + 1]; ++i) {
          const int k = items_[i];
          if (stamp_[k] == query_) continue;
          stamp_[k] = query_;
          if (boxes_[k].meets(b, tol_)) visit(k);
        }
      }
    }
  }

 private:
  void cells(const Box& b, int* cx0, int* cy0, int* cx1, int* cy1) const {
    auto clampCell = [&](double v, double lo, double w) {
      const double c = std::floor((v - lo) / w);
      return static_cast<int>(std::min(std::max(c, 0.0), static_cast<double>(side_ - 1)));
    };
    *cx0 = clampCell(b.x0 - tol_, all_.x0, cell_w_);
    *cx1 = clampCell(b.x1 + tol_, all_.x0, cell_w_);
    *cy0 = clampCell(b.y0 - tol_, all_.y0, cell_h_);
    *cy1 = clampCell(b.y1 + tol_, all_.y0, cell_h_);
  }

  const std::vector<Box>& boxes_;
  double tol_;
  Box all_{0, 0, 0, 0};
  int side_ = 1;
  double cell_w_ = 1.0, cell_h_ = 1.0;
  std::vector<int> start_, items_;
  std::vector<long long> stamp_;
  long long query_ = 0;
};

// Cuts the simple polygon p (counter-clockwise) into triangles, ear by ear;
// a polygon with no ear left (degenerate) is fanned from its first point.
void triangulate(std::vector<Vec2> p, std::vector<std::array<Vec2, 3>>* out) {
  while (p.size() > 3) {
    const size_t n = p.size();
    bool cut = false;
    for (size_t i = 0; i < n && !cut; ++i) {
      const Vec2& a = p[(i + n - 1) % n];
      const Vec2& b = p[i];
      const Vec2& c = p[(i + 1) % n];
      if (cross(a, b, c) <= 0.0) continue;
      bool empty = true;
      for (size_t j = 0; j < n && empty; ++j) {
        if (j == i || j == (i + 1) % n || j == (i + n - 1) % n) continue;
        const Vec2& q = p[j];
        empty = !(cross(a, b, q) > 0.0 && cross(b, c, q) > 0.0 && cross(c, a, q) > 0.0);
      }
      if (!empty) continue;
      out->push_back({a, b, c});
      p.erase(p.begin() + static_cast<long>(i));
      cut = true;
    }
    if (!cut) {
      for (size_t i = 1; i + 1 < p.size(); ++i) out->push_back({p[0], p[i], p[i + 1]});
      return;
    }
  }
  if (p.size() == 3) out->push_back({p[0], p[1], p[2]});
}

// ---------------------------------------------------------------- condition tables

enum ConditionType { kTacoTaco = 0, kTacoTortilla = 1, kTransitivity = 2 };

// Slots of the facet pairs of a condition on k facets: (0,1), (0,2), (1,2)
// for three; (0,1), (0,2), (0,3), (1,2), (1,3), (2,3) for four. Bit s of an
// assignment is set when the slot's first facet lies above its second.
int slotOf(int i, int j, int k) {
  if (k == 3) return i == 0 ? j - 1 : 2;
  static const int four[4][4] = {{-1, 0, 1, 2}, {0, -1, 3, 4}, {1, 3, -1, 5}, {2, 4, 5, -1}};
  return four[i][j];
}

bool above(unsigned bits, int i, int j, int k) {
  return i < j ? ((bits >> slotOf(i, j, k)) & 1u) != 0 : ((bits >> slotOf(j, i, k)) & 1u) == 0;
}

bool acyclic(unsigned bits, int k) {
  for (int a = 0; a < k; ++a)
    for (int b = a + 1; b < k; ++b)
      for (int c = b + 1; c < k; ++c) {
        const bool ab = above(bits, a, b, k), bc = above(bits, b, c, k), ca = above(bits, c, a, k);
        if (ab == bc && bc == ca) return false;
      }
  return true;
}

// Valid assignments of each condition, one bit per assignment.
struct Tables {
  uint64_t valid[3];
  Tables() {
    valid[kTacoTaco] = valid[kTacoTortilla] = valid[kTransitivity] = 0;
    for (unsigned a = 0; a < 64; ++a) {
      // Facets 0 | 1 fold together, and 2 | 3: one fold pokes between the
      // other's facets when exactly one of its facets lies between them.
      const bool c_between = above(a, 2, 0, 4) != above(a, 2, 1, 4);
      const bool d_between = above(a, 3, 0, 4) != above(a, 3, 1, 4);
      if (acyclic(a, 4) && c_between == d_between) valid[kTacoTaco] |= uint64_t{1} << a;
    }
    for (unsigned a = 0; a < 8; ++a) {
      // Facet 2 covers the fold of 0 | 1: never between them.
      if (above(a, 2, 0, 3) == above(a, 2, 1, 3)) valid[kTacoTortilla] |= uint64_t{1} << a;
      if (acyclic(a, 3)) valid[kTransitivity] |= uint64_t{1} << a;
    }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

struct Condition {
  unsigned char type;
  unsigned char n_slots;
  int facet[4];
  int var[6];
  signed char sign[6];  // +1 when the slot's first facet is the variable's first (smaller) one
};

uint64_t pairKey(int a, int b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(std::min(a, b))) << 32) | static_cast<uint32_t>(std::max(a, b));
}

}  // namespace

// ---------------------------------------------------------------- the problem

struct ORI_layerProblem {
  int n_face = 0;
  int n_facet = 0;
  std::vector<int> face_facet;
  std::vector<signed char> facet_up;
  std::vector<int> facet_face;
  // The folded pieces, which overlap which (sorted), and the folded lines.
  std::vector<Piece> pieces;
  std::vector<Box> piece_boxes;
  std::unique_ptr<BoxGrid> piece_grid;
  std::vector<std::vector<int>> nbr;
  std::vector<Segment> segs;
  // Variables: facet pairs (a < b); value +1 when a lies above b.
  std::vector<std::pair<int, int>> var_facets;
  std::unordered_map<uint64_t, int> var_of;
  // Overlapping faces of different facets (f < g) and their variable.
  std::vector<std::pair<int, int>> face_pairs;
  std::vector<int> face_pair_var;
  // The folds' facts: variable and value, and a face on either side.
  struct Fact {
    int var;
    signed char value;
    int face_a, face_b;
  };
  std::vector<Fact> facts;
  std::vector<Condition> conditions;
  std::vector<int> var_cond_start, var_cond;  // conditions of each variable
  int n_taco_taco = 0, n_taco_tortilla = 0, n_transitivity = 0;
  std::string unsolvable;  // why the problem cannot be posed (a torn form, a fold within one facet)
  bool out_of_time = false;
  // Solving.
  std::vector<signed char> val;
  std::vector<int> trail;
  std::vector<int> queue;
  std::vector<char> queued;
  int conflict = -1;       // the condition found unsatisfiable last
  int fact_conflict = -1;  // the fact found contradicting an earlier one
  bool solved = false;
  std::vector<signed char> base;           // values after the first propagation
  std::vector<std::vector<int>> comps;     // open variables of each component, in search order
  std::vector<long long> comp_count;
  std::vector<std::vector<signed char>> comp_first;  // each component's first stacking
  long long nodes = 0;
  Clock::time_point deadline;
  bool timed_out = false;

  int varFor(int a, int b) {
    const auto it = var_of.find(pairKey(a, b));
    if (it != var_of.end()) return it->second;
    const int v = static_cast<int>(var_facets.size());
    var_facets.emplace_back(std::min(a, b), std::max(a, b));
    var_of.emplace(pairKey(a, b), v);
    return v;
  }
  // Each facet's overlapping facets, sorted, with their variables: made
  // once every variable exists (adjacencyReady), then findVar searches it.
  std::vector<std::vector<std::pair<int, int>>> adj;
  bool adjacency_ready = false;
  void makeAdjacency() {
    adj.assign(n_facet, {});
    for (size_t v = 0; v < var_facets.size(); ++v) {
      adj[var_facets[v].first].emplace_back(var_facets[v].second, static_cast<int>(v));
      adj[var_facets[v].second].emplace_back(var_facets[v].first, static_cast<int>(v));
    }
    for (auto& a : adj) std::sort(a.begin(), a.end());
    adjacency_ready = true;
  }
  int findVar(int a, int b) const {
    if (!adjacency_ready) {
      const auto it = var_of.find(pairKey(a, b));
      return it == var_of.end() ? -1 : it->second;
    }
    const auto& list = adj[a];
    const auto it = std::lower_bound(list.begin(), list.end(), std::make_pair(b, -1));
    return it != list.end() && it->first == b ? it->second : -1;
  }
  // Adds a condition on facets f[0..k-1]; false when a pair has no variable
  // (the facets do not overlap: the condition does not arise).
  bool addCondition(int type, const int* f, int k) {
    Condition c{};
    c.type = static_cast<unsigned char>(type);
    c.n_slots = static_cast<unsigned char>(k == 3 ? 3 : 6);
    for (int i = 0; i < k; ++i) c.facet[i] = f[i];
    for (int i = 0; i < k; ++i) {
      for (int j = i + 1; j < k; ++j) {
        const int v = findVar(f[i], f[j]);
        if (v < 0) return false;
        const int s = slotOf(i, j, k);
        c.var[s] = v;
        c.sign[s] = f[i] < f[j] ? 1 : -1;
      }
    }
    conditions.push_back(c);
    return true;
  }
};

namespace {

bool pastDeadline(ORI_layerProblem* p, long long* tick) {
  if (++*tick % kClockEvery != 0) return p->out_of_time;
  if (Clock::now() > p->deadline) p->out_of_time = true;
  return p->out_of_time;
}

// Which conditions each variable takes part in (after conditions change).
void indexConditions(ORI_layerProblem* p) {
  const size_t n_var = p->var_facets.size();
  p->var_cond_start.assign(n_var + 1, 0);
  for (const Condition& c : p->conditions)
    for (int s = 0; s < c.n_slots; ++s) ++p->var_cond_start[c.var[s] + 1];
  std::partial_sum(p->var_cond_start.begin(), p->var_cond_start.end(), p->var_cond_start.begin());
  p->var_cond.assign(p->var_cond_start.back(), 0);
  std::vector<int> fill(p->var_cond_start.begin(), p->var_cond_start.end() - 1);
  for (size_t k = 0; k < p->conditions.size(); ++k) {
    const Condition& c = p->conditions[k];
    for (int s = 0; s < c.n_slots; ++s) p->var_cond[fill[c.var[s]]++] = static_cast<int>(k);
  }
}

// ---------------------------------------------------------------- propagation

void assign(ORI_layerProblem* p, int v, signed char value) {
  p->val[v] = value;
  p->trail.push_back(v);
  for (int k = p->var_cond_start[v]; k < p->var_cond_start[v + 1]; ++k) {
    const int c = p->var_cond[k];
    if (!p->queued[c]) {
      p->queued[c] = 1;
      p->queue.push_back(c);
    }
  }
}

void undo(ORI_layerProblem* p, size_t mark) {
  while (p->trail.size() > mark) {
    p->val[p->trail.back()] = 0;
    p->trail.pop_back();
  }
}

// Narrows condition c: every open slot that all of its remaining valid
// assignments agree on is set. False when none is left.
bool revise(ORI_layerProblem* p, int ci) {
  const Condition& c = p->conditions[ci];
  unsigned known = 0, bits = 0;
  for (int s = 0; s < c.n_slots; ++s) {
    const int v = p->val[c.var[s]];
    if (v == 0) continue;
    known |= 1u << s;
    if (v * c.sign[s] > 0) bits |= 1u << s;
  }
  const unsigned all = (1u << c.n_slots) - 1u;
  const unsigned open = all & ~known;
  const uint64_t valid = tables().valid[c.type];
  unsigned can1 = 0, can0 = 0;
  bool any = false;
  // Every assignment of the open slots (submasks of open).
  for (unsigned sub = open;; sub = (sub - 1) & open) {
    const unsigned a = bits | sub;
    if ((valid >> a) & 1u) {
      any = true;
      can1 |= a;
      can0 |= ~a & all;
    }
    if (sub == 0) break;
  }
  if (!any) return false;
  for (int s = 0; s < c.n_slots; ++s) {
    if (!((open >> s) & 1u)) continue;
    const bool one = (can1 >> s) & 1u, zero = (can0 >> s) & 1u;
    if (one && zero) continue;
    const int rel = one ? 1 : -1;  // slot's first facet above its second
    if (p->val[c.var[s]] == 0) assign(p, c.var[s], static_cast<signed char>(rel * c.sign[s]));
  }
  return true;
}

bool propagate(ORI_layerProblem* p) {
  bool ok = true;
  size_t head = 0;
  for (; head < p->queue.size(); ++head) {
    const int c = p->queue[head];
    p->queued[c] = 0;
    if (!revise(p, c)) {
      p->conflict = c;
      ok = false;
      ++head;
      break;
    }
  }
  for (size_t k = head; k < p->queue.size(); ++k) p->queued[p->queue[k]] = 0;
  p->queue.clear();
  return ok;
}


// From no values: the folds' facts, then everything the conditions force
// from them (every condition looked at once, even where no fact reached
// it). Returns 0; 1 when two folds set one pair both ways (fact_conflict
// names the second); 2 when a condition cannot hold (conflict names it).
int propagateFacts(ORI_layerProblem* p) {
  p->val.assign(p->var_facets.size(), 0);
  p->trail.clear();
  p->queue.clear();
  p->queued.assign(p->conditions.size(), 0);
  for (size_t k = 0; k < p->facts.size(); ++k) {
    const ORI_layerProblem::Fact& f = p->facts[k];
    if (p->val[f.var] == -f.value) {
      p->fact_conflict = static_cast<int>(k);
      return 1;
    }
    if (p->val[f.var] == 0) assign(p, f.var, f.value);
  }
  for (size_t c = 0; c < p->conditions.size(); ++c) {
    if (!p->queued[c]) {
      p->queued[c] = 1;
      p->queue.push_back(static_cast<int>(c));
    }
  }
  if (!propagate(p)) return 2;
  p->trail.clear();
  return 0;
}

// Builds the pieces, overlaps, facts and conditions.
void build(ORI_layerProblem* p, const ORI_manifold* om, const ORI_foldedForm& form) {
  const double tol = kOriLayerTolerance;
  long long tick = 0;
  auto vertexAt = [&](const ORI_vert* v) { return Vec2{form.vertex_xy[2 * v->index], form.vertex_xy[2 * v->index + 1]}; };
  const size_t bound = static_cast<size_t>(om->n_edge) + 1;

  // Pieces: every face's folded polygon, counter-clockwise, in triangles.
  std::vector<Piece>& pieces = p->pieces;
  std::vector<std::array<Vec2, 3>> tris;
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    std::vector<Vec2> poly;
    const ORI_edge* e = f->first;
    size_t steps = 0;
    do {
      poly.push_back(vertexAt(e->vert));
      e = e->next;
    } while (e != f->first && ++steps < bound);
    double area2 = 0.0;
    for (size_t k = 0; k < poly.size(); ++k) area2 += cross(poly[0], poly[k], poly[(k + 1) % poly.size()]);
    if (area2 < 0.0) std::reverse(poly.begin(), poly.end());
    tris.clear();
    triangulate(poly, &tris);
    for (const auto& t : tris) {
      if (regionWidth(t.data(), 3) <= tol) continue;
      Piece pc{f->index, form.face_facet[f->index], {t[0], t[1], t[2]}, boxOf(t.data(), 3)};
      pieces.push_back(pc);
    }
  }

  // Overlapping pieces of different facets: the variables.
  for (const Piece& pc : pieces) p->piece_boxes.push_back(pc.box);
  p->piece_grid.reset(new BoxGrid(p->piece_boxes, tol));
  BoxGrid& piece_grid = *p->piece_grid;
  std::vector<std::vector<int>>& nbr = p->nbr;
  nbr.assign(pieces.size(), {});
  std::unordered_set<uint64_t> face_pair_seen;
  face_pair_seen.reserve(8 * pieces.size());
  p->var_of.reserve(4 * pieces.size());
  for (size_t i = 0; i < pieces.size() && !p->out_of_time; ++i) {
    piece_grid.query(pieces[i].box, [&](int j) {
      if (j <= static_cast<int>(i) || pieces[j].facet == pieces[i].facet) return;
      Vec2 poly[kClipMax];
      std::copy(pieces[i].p, pieces[i].p + 3, poly);
      const int n = clipByTriangle(poly, 3, pieces[j].p);
      if (regionWidth(poly, n) <= tol) return;
      nbr[i].push_back(j);
      nbr[j].push_back(static_cast<int>(i));
      const int v = p->varFor(pieces[i].facet, pieces[j].facet);
      if (face_pair_seen.insert(pairKey(pieces[i].face, pieces[j].face)).second) {
        p->face_pairs.emplace_back(std::min(pieces[i].face, pieces[j].face), std::max(pieces[i].face, pieces[j].face));
        p->face_pair_var.push_back(v);
      }
    });
    pastDeadline(p, &tick);
  }
  for (auto& n : nbr) std::sort(n.begin(), n.end());

  // Folded lines: the folds, the flat lines and diagonals inside facets, the
  // outline.
  std::vector<Segment>& segs = p->segs;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->pair == nullptr || e->index > e->pair->index) continue;
    if (oriFlatLineOnOutline(e)) {
      const ORI_edge* side = e->face != nullptr ? e : e->pair;
      if (side->face == nullptr) continue;
      Segment s{};
      s.a = vertexAt(side->pair->vert);
      s.b = vertexAt(side->vert);
      s.outline = true;
      s.face_a = s.face_b = side->face->index;
      s.facet_a = s.facet_b = form.face_facet[s.face_a];
      Vec2 ends[2] = {s.a, s.b};
      s.box = boxOf(ends, 2);
      segs.push_back(s);
      continue;
    }
    if (e->face == nullptr || e->pair->face == nullptr) continue;
    Segment s{};
    s.a = vertexAt(e->pair->vert);
    s.b = vertexAt(e->vert);
    s.fold = oriFlatLineFold(e);
    s.face_a = e->face->index;
    s.face_b = e->pair->face->index;
    s.facet_a = form.face_facet[s.face_a];
    s.facet_b = form.face_facet[s.face_b];
    Vec2 ends[2] = {s.a, s.b};
    s.box = boxOf(ends, 2);
    if (s.fold != 0) {
      if (s.facet_a == s.facet_b) {
        p->unsolvable = "the fold between faces " + std::to_string(s.face_a) + " and " + std::to_string(s.face_b) +
                        " lies inside one piece of paper (its flat lines join both sides)";
        return;
      }
      // The side of the folded line the fold's facets lie on: the corner of
      // e's face farthest from the line.
      double best = 0.0;
      const ORI_edge* c = e->next;
      size_t steps = 0;
      while (c != e && ++steps < bound) {
        const double d = cross(s.a, s.b, vertexAt(c->vert));
        if (std::fabs(d) > std::fabs(best)) best = d;
        c = c->next;
      }
      s.side = best >= 0.0 ? 1 : -1;
      // A valley brings the front sides together: b lies on a's front.
      const int fa = s.facet_a, fb = s.facet_b;
      const int b_above_a = s.fold * p->facet_up[fa];
      const int v = p->varFor(fa, fb);
      const signed char value = static_cast<signed char>(fb < fa ? b_above_a : -b_above_a);
      p->facts.push_back(ORI_layerProblem::Fact{v, value, s.face_a, s.face_b});
    } else if (s.facet_a != s.facet_b) {
      continue;  // cannot happen: flat lines join their faces into one facet
    }
    segs.push_back(s);
  }

  // Folds against folds and against flat lines: taco-taco, taco-tortilla.
  std::set<std::pair<uint64_t, uint64_t>> seen_tt;  // taco-taco by its two facet pairs
  std::set<std::pair<uint64_t, int>> seen_tto;       // taco-tortilla by fold pair and covering facet
  auto tacoTortilla = [&](int a, int b, int c) {
    if (!seen_tto.emplace(pairKey(a, b), c).second) return;
    const int f[3] = {a, b, c};
    if (p->addCondition(kTacoTortilla, f, 3)) ++p->n_taco_tortilla;
  };
  p->makeAdjacency();
  std::vector<Box> seg_boxes;
  for (const Segment& s : segs) seg_boxes.push_back(s.box);
  BoxGrid seg_grid(seg_boxes, tol);
  for (size_t i = 0; i < segs.size() && !p->out_of_time; ++i) {
    const Segment& s = segs[i];
    if (s.fold == 0) continue;  // flat lines and the outline constrain nothing themselves
    seg_grid.query(s.box, [&](int j) {
      if (j == static_cast<int>(i)) return;
      const Segment& t = segs[j];
      if (t.outline || (t.fold != 0 && j < static_cast<int>(i))) return;  // each fold pair once
      if (!collinearOverlap(s, t, tol)) return;
      if (t.fold == 0) {
        if (t.facet_a != s.facet_a && t.facet_a != s.facet_b) tacoTortilla(s.facet_a, s.facet_b, t.facet_a);
        return;
      }
      // The two folds' sides compare along a common direction.
      const double dir = (s.b.x - s.a.x) * (t.b.x - t.a.x) + (s.b.y - s.a.y) * (t.b.y - t.a.y);
      const int t_side = dir >= 0.0 ? t.side : -t.side;
      if (t_side != s.side) return;
      const int f[4] = {s.facet_a, s.facet_b, t.facet_a, t.facet_b};
      if (f[2] == f[0] || f[2] == f[1] || f[3] == f[0] || f[3] == f[1]) return;
      const uint64_t k1 = pairKey(f[0], f[1]), k2 = pairKey(f[2], f[3]);
      if (!seen_tt.emplace(std::min(k1, k2), std::max(k1, k2)).second) return;
      if (p->addCondition(kTacoTaco, f, 4)) ++p->n_taco_taco;
    });
    // Folds against the insides of other facets.
    piece_grid.query(s.box, [&](int j) {
      const Piece& pc = pieces[j];
      if (pc.facet == s.facet_a || pc.facet == s.facet_b) return;
      if (lengthInside(s.a, s.b, pc.p, tol) > tol) tacoTortilla(s.facet_a, s.facet_b, pc.facet);
    });
    pastDeadline(p, &tick);
  }

  // Transitivity: three facets over one common place. Each triple of
  // mutually overlapping facets once (the third from the common part of the
  // first two's sorted neighbours), then its pieces until a common region
  // turns up.
  std::vector<std::vector<int>> facet_pieces(p->n_facet);
  for (size_t i = 0; i < pieces.size(); ++i) facet_pieces[pieces[i].facet].push_back(static_cast<int>(i));
  auto overlapAt = [&](int f, int g, int h) {
    for (const int a : facet_pieces[f]) {
      for (const int b : facet_pieces[g]) {
        if (!std::binary_search(nbr[a].begin(), nbr[a].end(), b)) continue;
        Vec2 ab[kClipMax];
        std::copy(pieces[a].p, pieces[a].p + 3, ab);
        const int n_ab = clipByTriangle(ab, 3, pieces[b].p);
        for (const int c : facet_pieces[h]) {
          if (!std::binary_search(nbr[a].begin(), nbr[a].end(), c) ||
              !std::binary_search(nbr[b].begin(), nbr[b].end(), c)) {
            continue;
          }
          Vec2 abc[kClipMax];
          std::copy(ab, ab + n_ab, abc);
          if (regionWidth(abc, clipByTriangle(abc, n_ab, pieces[c].p)) > tol) return true;
        }
      }
    }
    return false;
  };
  // Three facets whose order the folds and the tacos already settle
  // without a cycle need no condition (it would hold whatever the search
  // does): the geometry is left untested for them.
  indexConditions(p);
  const bool settled = propagateFacts(p) == 0;
  auto needless = [&](int f, int g, int h) {  // f < g < h
    if (!settled) return false;
    const int fg = p->val[p->findVar(f, g)], fh = p->val[p->findVar(f, h)], gh = p->val[p->findVar(g, h)];
    return fg != 0 && fh != 0 && gh != 0 && !(fg == gh && fh == -fg);
  };
  for (int f = 0; f < p->n_facet && !p->out_of_time; ++f) {
    const auto& nf = p->adj[f];
    for (size_t a = 0; a < nf.size() && !p->out_of_time; ++a) {
      const int g = nf[a].first;
      if (g <= f) continue;
      const auto& ng = p->adj[g];
      // h > g in both lists.
      auto i = std::upper_bound(nf.begin(), nf.end(), std::make_pair(g, INT_MAX));
      auto j = std::upper_bound(ng.begin(), ng.end(), std::make_pair(g, INT_MAX));
      while (i != nf.end() && j != ng.end()) {
        if (i->first < j->first) {
          ++i;
        } else if (j->first < i->first) {
          ++j;
        } else {
          const int h = i->first;
          if (!pastDeadline(p, &tick) && !needless(f, g, h) && overlapAt(f, g, h)) {
            const int tri[3] = {f, g, h};
            if (p->addCondition(kTransitivity, tri, 3)) ++p->n_transitivity;
          }
          ++i;
          ++j;
        }
      }
    }
  }

  indexConditions(p);
}

// ---------------------------------------------------------------- search

// Enumerates the stackings of component comp depth first, in a fixed order,
// until limit are found, the deadline passes, or (with want >= 0) stacking
// number want (0-based) is reached, whose values then go to *got. Returns
// the stackings found. Leaves the values as it found them.
long long enumerate(ORI_layerProblem* p, const std::vector<int>& comp, long long limit, long long want,
                    std::vector<signed char>* got) {
  struct Frame {
    int pos;
    size_t mark;
    int tried;
  };
  std::vector<Frame> st;
  const size_t base_mark = p->trail.size();
  auto nextOpen = [&](size_t from) -> int {
    for (size_t k = from; k < comp.size(); ++k)
      if (p->val[comp[k]] == 0) return static_cast<int>(k);
    return -1;
  };
  long long found = 0;
  int pos = nextOpen(0);
  bool descend = true;
  while (true) {
    if (descend) {
      if (pos < 0) {
        if (found == want && got != nullptr) {
          got->resize(comp.size());
          for (size_t k = 0; k < comp.size(); ++k) (*got)[k] = p->val[comp[k]];
        }
        ++found;
        if (found >= limit || (want >= 0 && found > want)) break;
        descend = false;
        continue;
      }
      st.push_back(Frame{pos, p->trail.size(), 0});
    }
    if (st.empty()) break;
    Frame& fr = st.back();
    undo(p, fr.mark);
    if (fr.tried == 2) {
      st.pop_back();
      descend = false;
      continue;
    }
    const signed char value = fr.tried == 0 ? 1 : -1;
    ++fr.tried;
    if (++p->nodes % kClockEvery == 0 && Clock::now() > p->deadline) {
      p->timed_out = true;
      break;
    }
    assign(p, comp[fr.pos], value);
    if (propagate(p)) {
      pos = nextOpen(static_cast<size_t>(fr.pos) + 1);
      descend = true;
    } else {
      descend = false;
    }
  }
  undo(p, base_mark);
  return found;
}

// The sentence naming a condition that cannot hold.
std::string describe(const ORI_layerProblem* p, int ci) {
  const Condition& c = p->conditions[ci];
  const auto n = [&](int k) { return std::to_string(p->facet_face[c.facet[k]]); };
  switch (c.type) {
    case kTacoTaco:
      return "the folds between faces " + n(0) + " | " + n(1) + " and " + n(2) + " | " + n(3) +
             " lie on one folded line and would have to interleave";
    case kTacoTortilla:
      return "face " + n(2) + " covers the fold between faces " + n(0) + " | " + n(1) +
             " and would have to pass between them";
    default:
      return "faces " + n(0) + ", " + n(1) + " and " + n(2) + " overlap at one place and would have to stack in a cycle";
  }
}

// A drawing order of the facets from the bottom: each facet after every
// facet it overlaps and lies above (Kahn's order, the lowest facet number
// first among those ready). Where the relation has a cycle, the facet with
// the fewest facets still below it goes next; *exact is then false.
void drawingLevels(const ORI_layerProblem* p, const std::vector<signed char>& values, std::vector<int>* level,
                   bool* exact) {
  const int n = p->n_facet;
  std::vector<std::vector<int>> over(n);  // over[a]: facets lying above a
  std::vector<int> below(n, 0);
  for (size_t v = 0; v < p->var_facets.size(); ++v) {
    if (values[v] == 0) continue;
    const int a = p->var_facets[v].first, b = p->var_facets[v].second;
    const int lo = values[v] > 0 ? b : a, hi = values[v] > 0 ? a : b;
    over[lo].push_back(hi);
    ++below[hi];
  }
  level->assign(n, -1);
  *exact = true;
  std::vector<char> done(n, 0);
  std::vector<int> ready;
  for (int f = n - 1; f >= 0; --f)
    if (below[f] == 0) ready.push_back(f);
  // ready is kept as a heap of the smallest facet number.
  auto cmp = [](int a, int b) { return a > b; };
  std::make_heap(ready.begin(), ready.end(), cmp);
  for (int placed = 0; placed < n; ++placed) {
    int f = -1;
    if (!ready.empty()) {
      std::pop_heap(ready.begin(), ready.end(), cmp);
      f = ready.back();
      ready.pop_back();
    } else {
      *exact = false;
      for (int g = 0; g < n; ++g)
        if (!done[g] && (f < 0 || below[g] < below[f])) f = g;
    }
    done[f] = 1;
    (*level)[f] = placed;
    for (const int h : over[f]) {
      if (done[h]) continue;
      if (--below[h] == 0) {
        ready.push_back(h);
        std::push_heap(ready.begin(), ready.end(), cmp);
      }
    }
  }
}

// Pieces of lines in the view shorter than this (CP units) are left out, and
// gaps between two covering faces that short are closed: the covering
// faces are tested a tolerance inside their sides, which would leave specks
// of line where two of them meet across it.
constexpr double kViewLineGap = 1e-4;

// Cuts convex polygon c (counter-clockwise) by triangle t: the parts of c
// outside t go to out (slivers within the tolerance dropped).
void subtractTriangle(const std::vector<Vec2>& c, const Vec2 t[3], std::vector<std::vector<Vec2>>* out) {
  std::vector<Vec2> rest = c, part, keep;
  for (int k = 0; k < 3 && rest.size() >= 3; ++k) {
    const Vec2& a = t[k];
    const Vec2& b = t[(k + 1) % 3];
    part.resize(2 * rest.size());
    part.resize(clipHalf(rest.data(), static_cast<int>(rest.size()), b, a, part.data()));
    if (regionWidth(part.data(), static_cast<int>(part.size())) > kOriLayerTolerance) out->push_back(part);
    keep.resize(2 * rest.size());
    keep.resize(clipHalf(rest.data(), static_cast<int>(rest.size()), a, b, keep.data()));
    rest.swap(keep);
  }
}

// The view from above of the stacking in values (see ORI_layerOrder).
void topView(ORI_layerProblem* p, const std::vector<signed char>& values, ORI_layerOrder* out) {
  auto above = [&](int a, int b) {  // facet a lies above facet b where they overlap
    const int v = p->findVar(a, b);
    if (v < 0 || values[v] == 0) return false;
    return (p->var_facets[v].first == a) == (values[v] > 0);
  };
  out->view_face.clear();
  out->view_start.assign(1, 0);
  out->view_xy.clear();
  out->view_lines.clear();
  out->view_exact = true;
  std::vector<std::vector<Vec2>> frags, next;
  bool late = false;  // past the deadline: the remaining faces are left uncut
  for (size_t i = 0; i < p->pieces.size(); ++i) {
    const Piece& pc = p->pieces[i];
    frags.assign(1, std::vector<Vec2>(pc.p, pc.p + 3));
    if (!late && i % 64 == 0 && Clock::now() > p->deadline) {
      late = true;
      out->view_exact = false;
    }
    for (size_t n = 0; n < p->nbr[i].size() && !late; ++n) {
      const int q = p->nbr[i][n];
      if (!above(p->pieces[q].facet, pc.facet)) continue;
      next.clear();
      for (const auto& f : frags) subtractTriangle(f, p->pieces[q].p, &next);
      frags.swap(next);
      if (frags.empty()) break;
      if (frags.size() > static_cast<size_t>(kOriLayerViewFragments)) {
        out->view_exact = false;
        break;
      }
    }
    for (const auto& f : frags) {
      out->view_face.push_back(pc.face);
      for (const Vec2& v : f) {
        out->view_xy.push_back(v.x);
        out->view_xy.push_back(v.y);
      }
      out->view_start.push_back(static_cast<int>(out->view_xy.size() / 2));
    }
  }
  // Lines: the parts of each outside every piece above both its sides.
  std::vector<std::pair<double, double>> cover;
  for (const Segment& s : p->segs) {
    if (s.fold == 0 && !s.outline) continue;
    const double len = std::hypot(s.b.x - s.a.x, s.b.y - s.a.y);
    if (!(len > 0.0)) continue;
    cover.clear();
    p->piece_grid->query(s.box, [&](int j) {
      const Piece& q = p->pieces[j];
      if (q.facet == s.facet_a || q.facet == s.facet_b) return;
      if (!above(q.facet, s.facet_a) || !above(q.facet, s.facet_b)) return;
      double lo = 0.0, hi = 1.0;
      for (int k = 0; k < 3 && lo < hi; ++k) {
        const Vec2& a = q.p[k];
        const Vec2& b = q.p[(k + 1) % 3];
        const double l = std::hypot(b.x - a.x, b.y - a.y);
        if (!(l > 0.0)) return;
        const double da = cross(a, b, s.a) / l - kOriLayerTolerance, db = cross(a, b, s.b) / l - kOriLayerTolerance;
        if (da < 0.0 && db < 0.0) return;
        if (da < 0.0) lo = std::max(lo, da / (da - db));
        if (db < 0.0) hi = std::min(hi, da / (da - db));
      }
      if (hi > lo) cover.emplace_back(lo, hi);
    });
    std::sort(cover.begin(), cover.end());
    double t = 0.0;
    auto emit = [&](double t0, double t1) {
      if ((t1 - t0) * len <= kViewLineGap) return;
      const double xy[4] = {s.a.x + t0 * (s.b.x - s.a.x), s.a.y + t0 * (s.b.y - s.a.y), s.a.x + t1 * (s.b.x - s.a.x),
                            s.a.y + t1 * (s.b.y - s.a.y)};
      out->view_lines.insert(out->view_lines.end(), xy, xy + 4);
    };
    for (const auto& c : cover) {
      if ((c.first - t) * len > kViewLineGap) emit(t, c.first);
      t = std::max(t, c.second);
    }
    emit(t, 1.0);
  }
}

// Sets stacking `state` (1-based) into out from the components' counts.
// False when the search for it ran out of time.
bool chooseState(ORI_layerProblem* p, long long state, ORI_layerOrder* out) {
  std::vector<signed char> values = p->base;
  long long rest = state - 1;
  for (size_t c = 0; c < p->comps.size(); ++c) {
    const long long count = std::max(1LL, p->comp_count[c]);
    const long long k = rest % count;
    rest /= count;
    const std::vector<int>& comp = p->comps[c];
    std::vector<signed char> got;
    if (k == 0) {
      got = p->comp_first[c];
    } else {
      enumerate(p, comp, k + 1, k, &got);
      if (got.size() != comp.size()) return false;
    }
    for (size_t i = 0; i < comp.size(); ++i) values[comp[i]] = got[i];
  }
  out->face_orders.clear();
  out->face_orders.reserve(3 * p->face_pairs.size());
  for (size_t k = 0; k < p->face_pairs.size(); ++k) {
    const int f = p->face_pairs[k].first, g = p->face_pairs[k].second;
    const int v = p->face_pair_var[k];
    // values[v] speaks of the variable's first facet lying above its second.
    const int f_above_g = p->var_facets[v].first == p->face_facet[f] ? values[v] : -values[v];
    out->face_orders.push_back(f);
    out->face_orders.push_back(g);
    out->face_orders.push_back(f_above_g * p->facet_up[p->face_facet[g]]);
  }
  drawingLevels(p, values, &out->facet_level, &out->level_exact);
  topView(p, values, out);
  out->chosen = state;
  return true;
}

void identityLevels(int n, ORI_layerOrder* out) {
  out->facet_level.resize(n);
  std::iota(out->facet_level.begin(), out->facet_level.end(), 0);
  out->level_exact = false;
  out->face_orders.clear();
  out->chosen = 0;
  out->view_face.clear();
  out->view_start.clear();
  out->view_xy.clear();
  out->view_lines.clear();
}

}  // namespace

ORI_layerProblem* oriLayerProblemNew(const ORI_manifold* om, const ORI_foldedForm& form, double time_limit) {
  ORI_layerProblem* p = new ORI_layerProblem;
  p->deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(time_limit));
  p->n_face = form.n_face;
  p->n_facet = form.n_facet;
  p->face_facet = form.face_facet;
  p->facet_up = form.facet_up;
  p->facet_face = form.facet_face;
  if (form.n_face == 0) {
    p->unsolvable = "the pattern has no face";
  } else if (!form.closes()) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "the folded form tears: vertex %d lands at places %.3g apart (file units)",
                  form.gap_vertex, form.gap * om->paper_size);
    p->unsolvable = buf;
  } else {
    build(p, om, form);
  }
  return p;
}

void oriLayerProblemDelete(ORI_layerProblem* problem) { delete problem; }

int oriLayerSolve(ORI_layerProblem* p, const ORI_layerOptions& opt, ORI_layerOrder* out) {
  const Clock::time_point start = Clock::now();
  *out = ORI_layerOrder{};
  out->n_facets = p->n_facet;
  out->n_pairs = static_cast<int>(p->var_facets.size());
  out->n_folds = static_cast<int>(p->facts.size());
  out->n_taco_taco = p->n_taco_taco;
  out->n_taco_tortilla = p->n_taco_tortilla;
  out->n_transitivity = p->n_transitivity;
  identityLevels(p->n_facet, out);
  auto finish = [&](int status, const std::string& reason) {
    out->status = status;
    out->reason = reason;
    out->seconds = std::chrono::duration<double>(Clock::now() - start).count();
    out->search_nodes = p->nodes;
    return status;
  };
  if (!p->unsolvable.empty()) return finish(kOriLayerNotFlat, p->unsolvable);
  if (p->out_of_time) {
    return finish(kOriLayerOutOfTime, "the time limit ran out while the conditions were being built");
  }
  p->deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(opt.time_limit));
  p->timed_out = false;
  p->nodes = 0;
  const size_t n_var = p->var_facets.size();
  p->comps.clear();
  p->comp_count.clear();
  p->comp_first.clear();
  p->solved = false;
  switch (propagateFacts(p)) {
    case 1: {
      const ORI_layerProblem::Fact& f = p->facts[p->fact_conflict];
      return finish(kOriLayerNone, "faces " + std::to_string(f.face_a) + " and " + std::to_string(f.face_b) +
                                       " are joined by folds that wrap opposite ways");
    }
    case 2:
      return finish(kOriLayerNone, describe(p, p->conflict));
    default:
      break;
  }
  p->trail.clear();  // the base is never undone
  p->base = p->val;
  for (size_t v = 0; v < n_var; ++v) out->n_forced += p->val[v] != 0 ? 1 : 0;

  // Components of the open variables: joined by a condition with two open.
  std::vector<int> parent(n_var);
  std::iota(parent.begin(), parent.end(), 0);
  auto root = [&](int a) {
    while (parent[a] != a) a = parent[a] = parent[parent[a]];
    return a;
  };
  for (const Condition& c : p->conditions) {
    int first = -1;
    for (int s = 0; s < c.n_slots; ++s) {
      if (p->val[c.var[s]] != 0) continue;
      if (first < 0) {
        first = root(c.var[s]);
      } else {
        const int r = root(c.var[s]);
        if (r != first) parent[std::max(r, first)] = std::min(r, first);
        first = std::min(r, first);
      }
    }
  }
  // Each component in breadth-first order over its conditions from its
  // lowest variable, so that every choice meets the earlier ones soon.
  std::vector<int> comp_of(n_var, -1);
  std::vector<char> seen(n_var, 0);
  for (size_t v = 0; v < n_var; ++v) {
    if (p->val[v] != 0 || seen[v]) continue;
    std::vector<int> order{static_cast<int>(v)};
    seen[v] = 1;
    for (size_t h = 0; h < order.size(); ++h) {
      const int u = order[h];
      for (int k = p->var_cond_start[u]; k < p->var_cond_start[u + 1]; ++k) {
        const Condition& c = p->conditions[p->var_cond[k]];
        for (int s = 0; s < c.n_slots; ++s) {
          const int w = c.var[s];
          if (p->val[w] != 0 || seen[w] || root(w) != root(static_cast<int>(v))) continue;
          seen[w] = 1;
          order.push_back(w);
        }
      }
    }
    p->comps.push_back(order);
  }
  out->n_components = static_cast<int>(p->comps.size());

  // One stacking of each component: whether any exists.
  for (size_t c = 0; c < p->comps.size(); ++c) {
    std::vector<signed char> got;
    const long long n = enumerate(p, p->comps[c], 1, 0, &got);
    if (p->timed_out) {
      char buf[200];
      std::snprintf(buf, sizeof buf, "the search ran out of its %.3g s before finding a stacking (%zu of %zu groups of "
                    "facets done)", opt.time_limit, c, p->comps.size());
      return finish(kOriLayerOutOfTime, buf);
    }
    if (n == 0) {
      const int v = p->comps[c][0];
      return finish(kOriLayerNone, "no order of the " + std::to_string(p->comps[c].size()) +
                                       " open facet pairs around faces " +
                                       std::to_string(p->facet_face[p->var_facets[v].first]) + " and " +
                                       std::to_string(p->facet_face[p->var_facets[v].second]) +
                                       " satisfies every condition (search exhausted)");
    }
    p->comp_first.push_back(got);
    p->comp_count.push_back(1);
  }
  p->solved = true;

  // The count: each component up to what the cap leaves, in turn, within a
  // share of the time left, so that choosing the stacking and its view keep
  // the rest.
  const Clock::time_point full_deadline = p->deadline;
  const Clock::time_point now = Clock::now();
  if (now < full_deadline) {
    p->deadline = now + std::chrono::duration_cast<Clock::duration>((full_deadline - now) * kCountShare);
  }
  long long total = 1;
  bool exact = true;
  const long long cap = std::max(1LL, opt.state_cap);
  for (size_t c = 0; c < p->comps.size(); ++c) {
    const long long room = cap / total;
    if (room <= 1 || p->timed_out) {
      exact = false;
      continue;
    }
    const long long n = enumerate(p, p->comps[c], room + 1, -1, nullptr);
    if (p->timed_out) {
      exact = false;
      p->comp_count[c] = std::max(1LL, std::min(n, room));
    } else if (n > room) {
      exact = false;
      p->comp_count[c] = room;
    } else {
      p->comp_count[c] = n;
    }
    total *= p->comp_count[c];
  }
  out->n_states = total;
  out->n_states_exact = exact;
  p->timed_out = false;
  p->deadline = full_deadline;

  if (opt.state < 1 || opt.state > total) {
    chooseState(p, 1, out);
    return finish(kOriLayerNoSuchState, "stacking " + std::to_string(opt.state) + " asked for, but " +
                                            (exact ? "only " : "the count stopped at ") + std::to_string(total));
  }
  if (!chooseState(p, opt.state, out)) {
    chooseState(p, 1, out);
    return finish(kOriLayerOutOfTime, "the time limit ran out before stacking " + std::to_string(opt.state) +
                                          " was reached; the first is set");
  }
  return finish(kOriLayerFound, exact ? "" : "the count stopped at its cap or time limit: more stackings may exist");
}

int oriLayerChoose(ORI_layerProblem* p, long long state, double time_limit, ORI_layerOrder* out) {
  if (!p->solved) return out->status;
  if (state < 1 || state > out->n_states) {
    out->status = kOriLayerNoSuchState;
    out->reason = "stacking " + std::to_string(state) + " asked for, but only " + std::to_string(out->n_states) +
                  " were counted";
    return out->status;
  }
  p->deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(time_limit));
  p->timed_out = false;
  if (!chooseState(p, state, out)) {
    out->status = kOriLayerOutOfTime;
    out->reason = "the time limit ran out before stacking " + std::to_string(state) + " was reached";
    return out->status;
  }
  out->status = kOriLayerFound;
  out->reason = out->n_states_exact ? "" : "the count stopped at its cap or time limit: more stackings may exist";
  return out->status;
}
