// Contact: folding on without the paper passing through itself.
//
// Sections: small vector algebra; what is analysed once (triangles,
// neighbours, the placement tree, the box tree); the geometry of one
// contact (a corner over a face, an edge across an edge); the check of a
// step (every pair of triangles whose boxes meet); the contacts' rows
// (linearised gaps); the constrained solve (closure and contacts by one
// conjugate gradient, the active set); the step.
#include "sim/contact.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "geometry/box_tree.h"
#include "geometry/manifold.h"
#include "geometry/message.h"
#include "geometry/paper_thickness.h"
#include "geometry/self_intersection.h"
#include "geometry/triangle_cross.h"
#include "sim/conjugate_gradient.h"
#include "sim/kinematics.h"
#include "sim/parallel_chunks.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "sim/sparse_jacobian.h"

namespace {

// ---- Small vector algebra -------------------------------------------------------

struct V3 {
  double x, y, z;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(double s, V3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(V3 a) { return std::sqrt(dot(a, a)); }
inline V3 lerp(V3 a, V3 b, double t) { return a + t * (b - a); }

// The model point of the flat point (x, y) of a face with matrix M.
inline V3 placed(const double* M, double x, double y) {
  return {M[0] * x + M[1] * y + M[3], M[4] * x + M[5] * y + M[7], M[8] * x + M[9] * y + M[11]};
}
// The model direction of the flat direction (dx, dy).
inline V3 turned(const double* M, double dx, double dy) {
  return {M[0] * dx + M[1] * dy, M[4] * dx + M[5] * dy, M[8] * dx + M[9] * dy};
}

// ---- Tolerances -----------------------------------------------------------------

// A corner's foot counts as over a face down to this barycentric weight
// below zero; an edge's closest point as inside it from this far from
// either end (shares of the side). A corner on an edge is the corner's
// contact, not the edges'.
constexpr double kInside = 1e-9;
constexpr double kInterior = 1e-9;
// Edges whose directions' cross product is below this share of their
// lengths' product are parallel: their contact is their corners'.
constexpr double kParallel = 1e-9;
// Distances below this share of the sheet's size have no side: the side is
// then taken from the two triangles' middles.
constexpr double kNoSide = 1e-12;
// A gap that shrank by less than this share of the sheet's size has not
// shrunk (rounding of the placement).
constexpr double kShrink = 1e-10;
// A pair counts as newly crossing when it crosses deeper than this share of
// the contact tolerance (and did not before the step).
constexpr double kCrossShare = 0.01;
// Rows whose length (model units of gap per radian) is below this move
// with no fold line: nothing can hold them.
constexpr double kRowLeast = 1e-9;
// The regularisation and stopping test of the projection's system, as the
// ordinary step has them.
constexpr double kEpsilon = 0.0001;
constexpr double kCGTolerance = 0.00005;
constexpr int kCGMaxIterations = 512;
// A contact is added to the set when the step would close it by more than
// this share of the resting gap below its goal.
constexpr double kAddShare = 0.1;
// Under contact a step asks for a share of the fold's wish: cut after a
// step that still closed contacts (to at most kRetryShare of itself, at
// least kLeastRetryShare, as the contacts' bending asks), grown by
// kShareGrowth after one that went through at once, never below
// kLeastShare nor above the whole wish.
constexpr double kRetryShare = 0.7;
constexpr double kLeastRetryShare = 0.25;
constexpr double kShareGrowth = 1.25;
constexpr double kLeastShare = 1.0 / 64.0;
// Rounds after which the active set only grows (the primal-dual exchange
// can otherwise cycle).
constexpr int kReleaseRounds = 3;

// ---- What is analysed once -------------------------------------------------------

// A sheet of fewer than two of these triangles is checked on the calling
// thread alone; a larger one's walk over the box tree is cut into
// kWalkTasks shares for its helpers (sim/parallel_chunks).
constexpr long kTrianglesPerTask = 4096;
constexpr int kWalkTasks = 48;

struct Tri {
  int face;
  double x[3], y[3];     // flat corners
  const ORI_vert* v[3];  // the face's corners when it has three (its own copy: the walk reads it)
  int count;             // the face's corners
};

// A triangle's face, for the neighbour test.
struct Owner {
  const ORI_vert* v[3];  // the face's corners when it has three
  int first, count;      // the face's corners: verts[first .. first + count − 1]
};

struct Analysis {
  const ORI_manifold* om = nullptr;
  const ORISIM_matrix* osm = nullptr;
  int n_face = -1, n_edge = -1;
  std::vector<ORI_face*> face;            // by index
  std::vector<int> parent;                // the face each is placed from; −1 the fixed face, −2 never placed
  std::vector<int> depth;
  std::vector<const ORI_edge*> fold;      // the half-edge each face is placed across (its face is that face)
  std::vector<int> adj_start;             // per face: its neighbours across lines are adj_edge[adj_start[f] ..
  std::vector<const ORI_edge*> adj_edge;  //   adj_start[f + 1]), each the half-edge on the neighbour's side
  std::vector<Owner> owner;               // by face
  std::vector<const ORI_vert*> verts;
  std::vector<Tri> tri;
  ORI_boxTree tree;
  std::vector<ORI_boxTreeTask> tasks;     // the tree's walk cut into shares for the calling thread's helpers
  double size = 0.0;                      // the sheet's size (model units)
  bool ok = false;
};

bool neighbours(const Analysis& a, const Tri& s, const Tri& t) {
  if (s.face == t.face) return true;
  if (s.count == 3 && t.count == 3) {  // most faces: nine comparisons, no loop
    const ORI_vert* const* u = s.v;
    const ORI_vert* const* v = t.v;
    return ((u[0] == v[0]) | (u[0] == v[1]) | (u[0] == v[2]) | (u[1] == v[0]) | (u[1] == v[1]) | (u[1] == v[2]) |
            (u[2] == v[0]) | (u[2] == v[1]) | (u[2] == v[2])) != 0;
  }
  const Owner& p = a.owner[s.face];
  const Owner& q = a.owner[t.face];
  for (int i = p.first; i < p.first + p.count; ++i) {
    for (int j = q.first; j < q.first + q.count; ++j) {
      if (a.verts[i] == a.verts[j]) return true;
    }
  }
  return false;
}

bool planValid(const ORI_placement& plan, const ORI_manifold* om) {
  return plan.mesh == om && plan.start == om->center_face && plan.n_edge == om->n_edge &&
         plan.n_face == om->n_face && !plan.vert_start.empty() && plan.vert_start.size() == plan.fold.size() + 1;
}

// Analyses om for contact. False when it cannot be: faces not numbered in
// list order, no fixed face, or a placement without a recorded tree.
bool analyse(Analysis* a, ORISIM_matrix* osm, ORI_manifold* om) {
  *a = Analysis();
  a->om = om;
  a->osm = osm;
  a->n_face = om->n_face;
  a->n_edge = om->n_edge;
  if (om->center_face == nullptr || om->n_face <= 0) return false;
  int f = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next, ++f) {
    ORI_face* face = static_cast<ORI_face*>(l->data);
    if (f >= om->n_face || face->index != f) return false;
    a->face.push_back(face);
  }
  if (f != om->n_face) return false;
  if (!planValid(osm->placement, om)) oriManifoldUpdatePlanned(om, &osm->placement);
  if (!planValid(osm->placement, om)) return false;

  // The placement tree: each face hangs from the face it is placed from.
  a->parent.assign(f, -2);
  a->depth.assign(f, 0);
  a->fold.assign(f, nullptr);
  a->parent[om->center_face->index] = -1;
  for (const ORI_edge* e : osm->placement.fold) {
    const int child = e->face->index, from = e->pair->face->index;
    if (child < 0 || child >= f || from < 0 || from >= f || a->parent[from] == -2) return false;
    a->parent[child] = from;
    a->depth[child] = a->depth[from] + 1;
    a->fold[child] = e;
  }

  // Every placed face cut into triangles of its flat corners.
  double lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
  std::vector<ORI_flatPoint> flat;
  std::vector<int> cut;
  a->owner.resize(f);
  for (int k = 0; k < f; ++k) {
    const ORI_face* face = a->face[k];
    Owner& o = a->owner[k];
    o.first = static_cast<int>(a->verts.size());
    o.count = 0;
    if (face->first == nullptr) continue;
    flat.clear();
    const ORI_edge* e = face->first;
    int guard = 0;
    do {
      flat.push_back({e->x1, e->y1});
      a->verts.push_back(e->vert);
      e = e->next;
    } while (e != nullptr && e != face->first && ++guard <= om->n_edge);
    o.count = static_cast<int>(flat.size());
    for (int i = 0; i < 3 && i < o.count; ++i) o.v[i] = a->verts[o.first + i];
    if (e != face->first || o.count < 3) {
      o.count = 0;  // a broken loop takes no part
      continue;
    }
    for (const ORI_flatPoint& p : flat) {
      lo_x = std::min(lo_x, p.x);
      hi_x = std::max(hi_x, p.x);
      lo_y = std::min(lo_y, p.y);
      hi_y = std::max(hi_y, p.y);
    }
    if (a->parent[k] == -2) continue;  // never placed: nowhere to meet
    cut.clear();
    oriPolygonTriangles(flat, &cut);
    for (size_t i = 0; i + 2 < cut.size(); i += 3) {
      Tri t;
      t.face = k;
      t.count = o.count;
      for (int c = 0; c < 3; ++c) t.v[c] = o.v[c];
      for (int c = 0; c < 3; ++c) {
        t.x[c] = flat[cut[i + c]].x;
        t.y[c] = flat[cut[i + c]].y;
      }
      const double ux = t.x[1] - t.x[0], uy = t.y[1] - t.y[0], vx = t.x[2] - t.x[0], vy = t.y[2] - t.y[0];
      const double area2 = std::fabs(ux * vy - uy * vx);
      const double side2 = std::max({ux * ux + uy * uy, vx * vx + vy * vy,
                                     (vx - ux) * (vx - ux) + (vy - uy) * (vy - uy)});
      if (std::isfinite(area2) && area2 > 1e-12 * side2) a->tri.push_back(t);  // slivers have no plane
    }
  }
  // The faces across each face's lines, for the shortest walks between faces.
  a->adj_start.assign(1, 0);
  for (int k = 0; k < f; ++k) {
    const ORI_edge* e = a->face[k]->first;
    for (int guard = 0; e != nullptr && guard <= om->n_edge; ++guard) {
      const ORI_edge* across = e->pair;
      if (across != nullptr && across->face != nullptr && e->crease_index >= 0 && a->parent[across->face->index] != -2) {
        a->adj_edge.push_back(across);
      }
      e = e->next;
      if (e == a->face[k]->first) break;
    }
    a->adj_start.push_back(static_cast<int>(a->adj_edge.size()));
  }
  a->size = std::max(hi_x - lo_x, hi_y - lo_y);
  if (!(a->size > 0.0) || !std::isfinite(a->size)) return false;

  // The box tree over the flat pattern: triangles near each other on the
  // paper stay near each other however it folds, so the tree keeps its
  // shape and every check refits it.
  std::vector<ORI_box> boxes(a->tri.size());
  for (size_t t = 0; t < a->tri.size(); ++t) {
    const Tri& tr = a->tri[t];
    boxes[t] = ORI_box{{std::min({tr.x[0], tr.x[1], tr.x[2]}), std::min({tr.y[0], tr.y[1], tr.y[2]}), 0.0},
                       {std::max({tr.x[0], tr.x[1], tr.x[2]}), std::max({tr.y[0], tr.y[1], tr.y[2]}), 0.0}};
  }
  oriBoxTreeBuild(&a->tree, boxes.data(), static_cast<int>(boxes.size()));
  // The triangles renumbered in the tree's order: a walk over the tree then
  // reads triangles near each other on the paper from nearby memory.
  std::vector<Tri> ordered(a->tri.size());
  for (size_t i = 0; i < a->tree.items.size(); ++i) ordered[i] = a->tri[a->tree.items[i]];
  a->tri.swap(ordered);
  for (size_t i = 0; i < a->tree.items.size(); ++i) a->tree.items[i] = static_cast<int>(i);
  oriBoxTreeOverlapTasks(&a->tree, oriSimChunks(static_cast<long>(a->tri.size()), kTrianglesPerTask) > 1 ? kWalkTasks : 1,
                         &a->tasks);
  a->ok = true;
  return true;
}

// ---- The geometry of one contact --------------------------------------------------
//
// A contact is named by its two triangles ta < tb and a local number:
// 0..2 corner k of ta over tb, 3..5 corner k − 3 of tb over ta, 6..14 edge
// i = (local − 6) / 3 of ta across edge j = (local − 6) % 3 of tb (edge i
// runs from corner i to corner i + 1).

constexpr int kLocals = 15;

struct Feature {
  uint64_t key;
  int ta, tb, local;
  double side;  // +1 or −1: on which side of the other the point lies (by the normal below)
  double gap;   // model units, thickness taken off
};

uint64_t featureKey(int ta, int tb, int local, int n_tri) {
  return (static_cast<uint64_t>(ta) * static_cast<uint64_t>(n_tri) + static_cast<uint64_t>(tb)) * 16u +
         static_cast<uint64_t>(local);
}

// A corner p over the triangle q[0..2]: its signed distance s along the
// triangle's unit normal n (right-handed from q0, q1, q2), the foot of the
// perpendicular, and whether the foot lies on the triangle.
struct CornerOver {
  bool ok;  // the triangle has a plane
  double s;
  V3 n, foot;
  bool inside;
};

CornerOver cornerOver(const V3* q, V3 p) {
  CornerOver r{};
  const V3 e1 = q[1] - q[0], e2 = q[2] - q[0];
  const V3 nn = cross(e1, e2);
  const double len = length(nn);
  if (!(len > 0.0) || !std::isfinite(len)) return r;
  r.ok = true;
  r.n = (1.0 / len) * nn;
  const V3 d = p - q[0];
  r.s = dot(r.n, d);
  r.foot = p - r.s * r.n;
  const V3 w = r.foot - q[0];
  const double d00 = dot(e1, e1), d01 = dot(e1, e2), d11 = dot(e2, e2), d20 = dot(w, e1), d21 = dot(w, e2);
  const double den = d00 * d11 - d01 * d01;
  if (!(den > 0.0)) return r;
  const double b1 = (d11 * d20 - d01 * d21) / den, b2 = (d00 * d21 - d01 * d20) / den;
  r.inside = b1 >= -kInside && b2 >= -kInside && 1.0 - b1 - b2 >= -kInside;
  return r;
}

// Edge a0 → a1 across edge b0 → b1: the signed distance V of their lines
// along the unit normal n = (a1 − a0) × (b1 − b0) / |…|, the closest points'
// places s and t along each (0 to 1 on the edges) and the points.
struct EdgeAcross {
  bool ok;  // not parallel
  double V, s, t;
  V3 n, p, q;
  bool interior;
};

EdgeAcross edgeAcross(V3 a0, V3 a1, V3 b0, V3 b1) {
  EdgeAcross r{};
  const V3 e = a1 - a0, f = b1 - b0;
  const V3 nn = cross(e, f);
  const double len = length(nn);
  const double ee = dot(e, e), ff = dot(f, f);
  if (!(len > kParallel * std::sqrt(ee * ff)) || !std::isfinite(len)) return r;
  r.ok = true;
  r.n = (1.0 / len) * nn;
  const V3 d = a0 - b0;
  r.V = dot(r.n, d);
  const double ef = dot(e, f), ed = dot(e, d), fd = dot(f, d);
  const double den = ee * ff - ef * ef;
  if (!(den > 0.0)) {
    r.ok = false;
    return r;
  }
  r.s = (ef * fd - ff * ed) / den;
  r.t = (ee * fd - ef * ed) / den;
  r.interior = r.s > kInterior && r.s < 1.0 - kInterior && r.t > kInterior && r.t < 1.0 - kInterior;
  r.p = a0 + r.s * e;
  r.q = b0 + r.t * f;
  return r;
}

inline double sign(double v) { return v < 0.0 ? -1.0 : 1.0; }

// The side of a signed distance value, or of fallback when value is too
// small to have one.
inline double sideOf(double value, double fallback, double tiny) {
  if (std::fabs(value) > tiny) return sign(value);
  return sign(fallback);
}

// ---- The check of a step ----------------------------------------------------------

struct CheckResult {
  std::vector<Feature> found;  // contacts after the step: closer than the tolerance
  std::vector<Feature> bad;    // contacts the step closed, with their sides before it
};

struct Checker {
  const Analysis* a;
  const V3* c0;  // corners before the step (three per triangle)
  const V3* c1;  // after it
  double thickness, reach, tiny, shrink, cross_tolerance;
  bool moved;    // c0 and c1 differ (otherwise only contacts are looked for)
  CheckResult* out;
  int n_tri;

  V3 middle(const V3* c, int t) const { return (1.0 / 3.0) * (c[3 * t] + c[3 * t + 1] + c[3 * t + 2]); }

  // Each triangle's unit normal and its plane's offset (n·x = offset on
  // the plane), before the step and after it; a triangle without a plane
  // has a zero normal.
  const V3* n0;
  const double* off0;
  const V3* n1;
  const double* off1;

  // True when a plane through an edge of each of triangles p and q (the
  // edge axes of the separating-axis test; the pair's own planes are tried
  // first, by pair) parts them after the step by more than lim. Pairs this
  // far apart hold no contact; that is most pairs whose boxes meet.
  bool parted(int p, int q, double lim) const {
    const V3* A = c1 + 3 * p;
    const V3* B = c1 + 3 * q;
    for (int i = 0; i < 3; ++i) {
      const V3 e = A[(i + 1) % 3] - A[i];
      for (int j = 0; j < 3; ++j) {
        const V3 u = cross(e, B[(j + 1) % 3] - B[j]);
        const double uu = dot(u, u);
        if (!(uu > 0.0)) continue;
        const double a0 = dot(u, A[0]), a1 = dot(u, A[1]), a2 = dot(u, A[2]);
        const double b0 = dot(u, B[0]), b1 = dot(u, B[1]), b2 = dot(u, B[2]);
        const double gap = std::max(std::min({b0, b1, b2}) - std::max({a0, a1, a2}),
                                    std::min({a0, a1, a2}) - std::max({b0, b1, b2}));
        if (gap > 0.0 && gap * gap > lim * lim * uu) return true;
      }
    }
    return false;
  }

  // The triangles' boxes after the step, grown by half of thickness +
  // reach (so that two that come within reach meet).
  const ORI_box* box;
  double grow;

  // Whether the points a and b (a corner before and after the step, or an
  // edge's ends) and what lies between come within reach of triangle t's box.
  bool nearBox(V3 a, V3 b, int t) const {
    const ORI_box& x = box[t];
    return std::min(a.x, b.x) <= x.hi[0] + grow && std::max(a.x, b.x) >= x.lo[0] - grow &&
           std::min(a.y, b.y) <= x.hi[1] + grow && std::max(a.y, b.y) >= x.lo[1] - grow &&
           std::min(a.z, b.z) <= x.hi[2] + grow && std::max(a.z, b.z) >= x.lo[2] - grow;
  }

  // A corner near the other plane, or one that went through it.
  static bool cornerNear(double h1, double h0, double lim) { return std::fabs(h1) < lim || h0 * h1 < 0.0; }
  // An edge (ends at heights u and v) that comes within lim of the other
  // plane or crosses it, after the step or before.
  static bool edgeNear(double u1, double v1, double u0, double v0, double lim) {
    const auto near = [lim](double u, double v) {
      return std::fabs(u) < lim || std::fabs(v) < lim || (u < 0.0) != (v < 0.0);
    };
    return near(u1, v1) || near(u0, v0);
  }

  void corner(int ta, int tb, int local) {
    const bool mine = local < 3;
    const int tp = mine ? ta : tb, tq = mine ? tb : ta, k = mine ? local : local - 3;
    const CornerOver g1 = cornerOver(c1 + 3 * tq, c1[3 * tp + k]);
    if (!g1.ok) return;
    const CornerOver g0 = moved ? cornerOver(c0 + 3 * tq, c0[3 * tp + k]) : g1;
    if (!g0.ok) return;
    const double side0 = sideOf(g0.s, dot(g0.n, middle(c0, tp) - middle(c0, tq)), tiny);
    const double gap0 = side0 * g0.s - thickness, gap1 = side0 * g1.s - thickness;
    const uint64_t key = featureKey(ta, tb, local, n_tri);
    if (g1.inside && gap1 < reach) out->found.push_back({key, ta, tb, local, sideOf(g1.s, side0, tiny), gap1});
    if (!moved) return;
    bool closed = g1.inside && gap1 < std::min(0.0, gap0) - shrink;
    if (!closed && g0.s * g1.s < 0.0 && std::fabs(g0.s) > tiny && std::fabs(g1.s) > tiny) {
      // Through the plane during the step: where it crossed, was it over the face?
      const double t = g0.s / (g0.s - g1.s);
      const V3 q[3] = {lerp(c0[3 * tq], c1[3 * tq], t), lerp(c0[3 * tq + 1], c1[3 * tq + 1], t),
                       lerp(c0[3 * tq + 2], c1[3 * tq + 2], t)};
      closed = cornerOver(q, lerp(c0[3 * tp + k], c1[3 * tp + k], t)).inside;
    }
    if (closed) out->bad.push_back({key, ta, tb, local, side0, gap0});
  }

  void edges(int ta, int tb, int i, int j) {
    const int local = 6 + 3 * i + j;
    const V3 *A1 = c1 + 3 * ta, *B1 = c1 + 3 * tb, *A0 = c0 + 3 * ta, *B0 = c0 + 3 * tb;
    const EdgeAcross h1 = edgeAcross(A1[i], A1[(i + 1) % 3], B1[j], B1[(j + 1) % 3]);
    // Edges whose closest points are not inside both are no contact of
    // theirs: the corners' contacts hold there.
    if (!h1.ok || !h1.interior) return;
    const EdgeAcross h0 = moved ? edgeAcross(A0[i], A0[(i + 1) % 3], B0[j], B0[(j + 1) % 3]) : h1;
    // The side before the step, told by the normal after it (the normal
    // turns with the edges; it is the same one while they do not pass
    // through parallel).
    const double turn = h0.ok ? sign(dot(h0.n, h1.n)) : 1.0;
    const double before = h0.ok ? turn * h0.V : 0.0;
    const double side0 = sideOf(before, dot(h1.n, middle(c0, ta) - middle(c0, tb)), tiny);
    const double gap0 = side0 * before - thickness, gap1 = side0 * h1.V - thickness;
    const uint64_t key = featureKey(ta, tb, local, n_tri);
    if (gap1 < reach) out->found.push_back({key, ta, tb, local, sideOf(h1.V, side0, tiny), gap1});
    if (!moved) return;
    // Closed below the thickness, or through the other edge and beyond.
    const bool closed = gap1 < std::min(0.0, gap0) - shrink;
    // The side is told in the frame of the normal before the step, where its rows are made.
    if (closed) out->bad.push_back({key, ta, tb, local, side0 * turn, gap0});
  }

  // Two triangles that cross deeper than the tolerance after the step and
  // did not before it: every contact of the pair holds them.
  bool crossedNow(int ta, int tb) const {
    ORI_triangle p1, q1;
    if (oriTrianglePrepare(&p1, {c1[3 * ta].x, c1[3 * ta].y, c1[3 * ta].z}, {c1[3 * ta + 1].x, c1[3 * ta + 1].y, c1[3 * ta + 1].z},
                           {c1[3 * ta + 2].x, c1[3 * ta + 2].y, c1[3 * ta + 2].z}) != 0 ||
        oriTrianglePrepare(&q1, {c1[3 * tb].x, c1[3 * tb].y, c1[3 * tb].z}, {c1[3 * tb + 1].x, c1[3 * tb + 1].y, c1[3 * tb + 1].z},
                           {c1[3 * tb + 2].x, c1[3 * tb + 2].y, c1[3 * tb + 2].z}) != 0 ||
        !oriTrianglesCross(p1, q1, cross_tolerance)) {
      return false;
    }
    ORI_triangle p0, q0;
    if (oriTrianglePrepare(&p0, {c0[3 * ta].x, c0[3 * ta].y, c0[3 * ta].z}, {c0[3 * ta + 1].x, c0[3 * ta + 1].y, c0[3 * ta + 1].z},
                           {c0[3 * ta + 2].x, c0[3 * ta + 2].y, c0[3 * ta + 2].z}) != 0 ||
        oriTrianglePrepare(&q0, {c0[3 * tb].x, c0[3 * tb].y, c0[3 * tb].z}, {c0[3 * tb + 1].x, c0[3 * tb + 1].y, c0[3 * tb + 1].z},
                           {c0[3 * tb + 2].x, c0[3 * tb + 2].y, c0[3 * tb + 2].z}) != 0) {
      return true;
    }
    return !oriTrianglesCross(p0, q0, cross_tolerance);
  }

  // A pair of triangles: a contact needs a corner of one near the other's
  // plane (or through it), or an edge of each near the other's plane; the
  // heights of the six corners from the two planes tell which to look at.
  void pair(int ta, int tb) {
    if (ta > tb) std::swap(ta, tb);
    if (neighbours(*a, a->tri[ta], a->tri[tb])) return;
    const double lim = thickness + reach;
    double ha1[3], ha0[3], hb1[3], hb0[3];
    for (int k = 0; k < 3; ++k) {
      ha1[k] = dot(n1[tb], c1[3 * ta + k]) - off1[tb];
      hb1[k] = dot(n1[ta], c1[3 * tb + k]) - off1[ta];
    }
    const auto beyond = [lim](const double* h) {
      return (h[0] > lim && h[1] > lim && h[2] > lim) || (h[0] < -lim && h[1] < -lim && h[2] < -lim);
    };
    if (beyond(ha1) || beyond(hb1)) return;
    if (parted(ta, tb, lim)) return;
    for (int k = 0; k < 3; ++k) {
      ha0[k] = dot(n0[tb], c0[3 * ta + k]) - off0[tb];
      hb0[k] = dot(n0[ta], c0[3 * tb + k]) - off0[ta];
    }
    const size_t bad_before = out->bad.size();
    for (int k = 0; k < 3; ++k) {
      if (cornerNear(ha1[k], ha0[k], lim) && nearBox(c0[3 * ta + k], c1[3 * ta + k], tb)) corner(ta, tb, k);
      if (cornerNear(hb1[k], hb0[k], lim) && nearBox(c0[3 * tb + k], c1[3 * tb + k], ta)) corner(ta, tb, 3 + k);
    }
    // Stacked (each wholly on one side of the other's plane, the same side
    // before the step and after): nothing passed through, and the pair's
    // contacts are its corners'. Layers of a sheet folded nearly flat are
    // stacked; an edge that closes on another edge of such a pair with no
    // corner over a face makes the pair unstacked, and is looked at then.
    const auto side = [](const double* h1, const double* h0) {
      const bool up = h1[0] > 0.0 && h1[1] > 0.0 && h1[2] > 0.0;
      const bool down = h1[0] < 0.0 && h1[1] < 0.0 && h1[2] < 0.0;
      return (up && h0[0] > 0.0 && h0[1] > 0.0 && h0[2] > 0.0) || (down && h0[0] < 0.0 && h0[1] < 0.0 && h0[2] < 0.0);
    };
    if (side(ha1, ha0) && side(hb1, hb0)) return;
    bool edge_a[3], edge_b[3], straddle_a = false, straddle_b = false;
    for (int i = 0; i < 3; ++i) {
      const int j = (i + 1) % 3;
      edge_a[i] = edgeNear(ha1[i], ha1[j], ha0[i], ha0[j], lim) && nearBox(c1[3 * ta + i], c1[3 * ta + j], tb);
      edge_b[i] = edgeNear(hb1[i], hb1[j], hb0[i], hb0[j], lim) && nearBox(c1[3 * tb + i], c1[3 * tb + j], ta);
      straddle_a = straddle_a || (ha1[i] < 0.0) != (ha1[j] < 0.0);
      straddle_b = straddle_b || (hb1[i] < 0.0) != (hb1[j] < 0.0);
    }
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        if (edge_a[i] && edge_b[j]) edges(ta, tb, i, j);
      }
    }
    // Two triangles cross only where each reaches through the other's plane.
    if (moved && straddle_a && straddle_b && out->bad.size() == bad_before && crossedNow(ta, tb)) {
      // Crossed without any one contact telling it: all of them hold the pair.
      for (int local = 0; local < kLocals; ++local) {
        out->bad.push_back({featureKey(ta, tb, local, n_tri), ta, tb, local, 0.0, 0.0});
      }
    }
  }

  static void visit(void* context, int i, int j) {
    Checker* c = static_cast<Checker*>(context);
    c->pair(i, j);
  }
};

// ---- The contacts' rows -----------------------------------------------------------

// One contact linearised: the gap's change per radian of every fold line
// that moves it, divided by the row's length, and what the step must keep
// it above, in the same units.
struct Rows {
  std::vector<int> start{0};
  std::vector<int> col;
  std::vector<double> val;
  std::vector<double> goal;   // the row times the change may not fall below this
  std::vector<double> slack;  // how far below the goal counts as closing it (kAddShare of the rest)
  std::vector<uint64_t> key;
  std::vector<std::pair<int, int>> faces;
  std::vector<unsigned char> urgent;  // found closing by a check: held from the first round
  std::vector<int> feature;           // its contact in the set
  std::vector<double> gap, norm;      // the gap where it was made, and the row's length before it was divided by it
  std::vector<V3> normal;             // the contact's normal there
  void clear() {
    start.assign(1, 0);
    col.clear();
    val.clear();
    goal.clear();
    slack.clear();
    key.clear();
    faces.clear();
    urgent.clear();
    feature.clear();
    gap.clear();
    norm.clear();
    normal.clear();
  }
  int size() const { return static_cast<int>(key.size()); }
};

}  // namespace

// ---- The state --------------------------------------------------------------------

struct ORISIM_contactWork {
  Analysis a;
  bool tried = false;               // analysis attempted for the present key
  std::vector<V3> c0, c1;           // corners before and after the step
  std::vector<double> angles0;      // the angles c0 and found0 belong to
  std::vector<Feature> found0;      // contacts of the shape the step starts from
  std::unordered_map<uint64_t, double> held;  // contacts held by the last step, with their multipliers
  CheckResult check;
  std::vector<CheckResult> shares;  // the check's lists per share of the walk
  // Workspace of the constrained step.
  std::vector<double> theta0, start0, saved_delta;
  double share = 1.0;               // the share of the wish a step under contact asks for
  std::vector<double> wished, delta;
  std::vector<V3> trial_c;          // corners of the last step tried and not kept
  std::vector<double> trial_delta;  // its change of the angles
  std::vector<Feature> set;
  std::vector<unsigned char> urgent_of;
  std::unordered_map<uint64_t, int> in_set;
  Rows rows;
  ORISIM_sparse own;                // the closure rows on the dense path
  std::unordered_map<uint64_t, std::vector<const ORI_edge*>> paths;  // shortest walks between faces
  std::vector<int> seen, came_from, queue;
  std::vector<const ORI_edge*> came_by;
  int seen_stamp = 0;
  std::vector<double> axis_stamp;   // per face: the step whose axis it holds
  std::vector<V3> axis, origin;
  double stamp = 0.0;
  std::vector<double> inverse, x, b, p, q, z, w, rhs, ax, multiplier, start;
  std::vector<std::pair<int, int>> pairs;  // scratch of the step's counts
  std::vector<ORI_box> boxes;
  std::vector<V3> n0, n1;           // the triangles' planes before and after the step
  std::vector<double> off0, off1;
  std::vector<int> active;
  std::vector<unsigned char> is_active;
};

namespace {

// The fold line a face is placed across, as a unit axis through a point,
// in the present placement (cached per configuration).
void foldAxis(ORISIM_contactWork& w, int f, V3* axis, V3* origin) {
  if (w.axis_stamp[f] != w.stamp) {
    const ORI_edge* e = w.a.fold[f];
    const double* M = w.a.face[f]->matrix;
    const V3 d = turned(M, e->x1 - e->x0, e->y1 - e->y0);
    w.axis[f] = (1.0 / length(d)) * d;
    w.origin[f] = placed(M, e->x0, e->y0);
    w.axis_stamp[f] = w.stamp;
  }
  *axis = w.axis[f];
  *origin = w.origin[f];
}

// Appends the row of contact f, linearised in the present placement (the
// faces' matrices, whose corners are c), to rows. False (nothing appended)
// when it has no geometry or no fold line moves it.
// Most faces a walk between two faces looks at before the placement tree
// is taken instead.
constexpr int kWalkFaces = 1024;

// The lines crossed on a shortest walk from face fp to face fq across the
// sheet's lines, each as the half-edge on the side walked into, in order;
// empty when fq is not found within kWalkFaces faces. Kept for the mesh.
const std::vector<const ORI_edge*>& walkBetween(ORISIM_contactWork& w, int fp, int fq) {
  const Analysis& a = w.a;
  const uint64_t key = static_cast<uint64_t>(fp) * static_cast<uint64_t>(a.n_face) + static_cast<uint64_t>(fq);
  const auto known = w.paths.find(key);
  if (known != w.paths.end()) return known->second;
  std::vector<const ORI_edge*>& path = w.paths[key];
  if (w.seen.size() != static_cast<size_t>(a.n_face)) {
    w.seen.assign(a.n_face, 0);
    w.came_from.assign(a.n_face, -1);
    w.came_by.assign(a.n_face, nullptr);
    w.seen_stamp = 0;
  }
  ++w.seen_stamp;
  w.queue.clear();
  w.queue.push_back(fp);
  w.seen[fp] = w.seen_stamp;
  bool reached = fp == fq;
  for (size_t head = 0; head < w.queue.size() && !reached && head < static_cast<size_t>(kWalkFaces); ++head) {
    const int f = w.queue[head];
    for (int k = a.adj_start[f]; k < a.adj_start[f + 1]; ++k) {
      const ORI_edge* h = a.adj_edge[k];
      const int g = h->face->index;
      if (w.seen[g] == w.seen_stamp) continue;
      w.seen[g] = w.seen_stamp;
      w.came_from[g] = f;
      w.came_by[g] = h;
      w.queue.push_back(g);
      if (g == fq) {
        reached = true;
        break;
      }
    }
  }
  if (!reached) return path;
  for (int g = fq; g != fp; g = w.came_from[g]) path.push_back(w.came_by[g]);
  std::reverse(path.begin(), path.end());
  return path;
}

// Where contact f is in the placement with corners c: its point P (on
// triangle tp), the point Q across from it (on tq), the unit normal n along
// which the gap is measured (from Q towards P's side) and the gap (model
// units, thickness taken off). A normal that turned against reference (not
// null) is turned back, so that a contact's gap keeps its sign's meaning
// from one placement to the next. False when it has no geometry there.
struct Where {
  V3 P, Q, n;
  int tp, tq;
  double gap;
};

bool contactAt(const Feature& f, const V3* c, double thickness, const V3* reference, Where* at) {
  if (f.local < 6) {
    const bool mine = f.local < 3;
    at->tp = mine ? f.ta : f.tb;
    at->tq = mine ? f.tb : f.ta;
    at->P = c[3 * at->tp + (mine ? f.local : f.local - 3)];
    const CornerOver g = cornerOver(c + 3 * at->tq, at->P);
    if (!g.ok) return false;
    const double side = f.side != 0.0 ? f.side : sideOf(g.s, 1.0, 0.0);
    at->Q = g.foot;
    at->n = side * g.n;
  } else {
    const int i = (f.local - 6) / 3, j = (f.local - 6) % 3;
    at->tp = f.ta;
    at->tq = f.tb;
    const EdgeAcross h = edgeAcross(c[3 * at->tp + i], c[3 * at->tp + (i + 1) % 3], c[3 * at->tq + j],
                                    c[3 * at->tq + (j + 1) % 3]);
    if (!h.ok) return false;
    const double s = std::min(1.0, std::max(0.0, h.s)), t = std::min(1.0, std::max(0.0, h.t));
    at->P = lerp(c[3 * at->tp + i], c[3 * at->tp + (i + 1) % 3], s);
    at->Q = lerp(c[3 * at->tq + j], c[3 * at->tq + (j + 1) % 3], t);
    const double side = f.side != 0.0 ? f.side : sideOf(h.V, 1.0, 0.0);
    at->n = side * h.n;
  }
  if (reference != nullptr && dot(at->n, *reference) < 0.0) at->n = -1.0 * at->n;
  at->gap = dot(at->n, at->P - at->Q) - thickness;
  return std::isfinite(at->gap);
}

// Appends the row of contact f (number index in the set), linearised in
// the present placement (the faces' matrices, whose corners are c), to
// rows. False (nothing appended) when it has no geometry or no fold line
// moves it.
bool appendRow(ORISIM_contactWork& w, const Feature& f, int index, const V3* c, double thickness, double rest,
               Rows* rows) {
  const Analysis& a = w.a;
  Where at;
  if (!contactAt(f, c, thickness, nullptr, &at)) return false;
  const V3 P = at.P, Q = at.Q, n = at.n;
  const int tp = at.tp, tq = at.tq;
  const double gap = at.gap;
  // The gap's change per radian of each line crossed on a shortest walk
  // from P's face to Q's: with P's face held, turning a line turns all that
  // lies beyond it, Q's point among it. Where the sheet is closed every
  // walk gives the same motion, and the step keeps it closed; a short walk
  // gives short rows, and rows of contacts near each other share lines.
  const size_t first = rows->col.size();
  const auto fail = [&]() {
    rows->col.resize(first);
    rows->val.resize(first);
    return false;
  };
  int fp = a.tri[tp].face, fq = a.tri[tq].face;
  const std::vector<const ORI_edge*>& walk = walkBetween(w, fp, fq);
  if (!walk.empty()) {
    for (const ORI_edge* h : walk) {
      if (!(std::fabs(h->angle) < kOriFoldAngleLimit) || h->crease_index < 0) continue;
      const double* M = h->face->matrix;
      const V3 d = turned(M, h->x1 - h->x0, h->y1 - h->y0);
      const V3 axis = (1.0 / length(d)) * d;
      const V3 origin = placed(M, h->x0, h->y0);
      rows->col.push_back(h->crease_index);
      rows->val.push_back(-dot(axis, cross(Q - origin, n)));
    }
    fp = fq;
  }
  // Otherwise up the placement tree from both faces to where their paths
  // meet: the fold lines above turn both faces alike.
  for (int guard = 0; fp != fq && guard <= 2 * a.n_face; ++guard) {
    const bool up_p = a.depth[fp] >= a.depth[fq];
    const int g = up_p ? fp : fq;
    const ORI_edge* e = a.fold[g];
    if (e == nullptr) return fail();  // a face off the tree
    if (std::fabs(e->angle) < kOriFoldAngleLimit && e->crease_index >= 0) {
      V3 axis, origin;
      foldAxis(w, g, &axis, &origin);
      // d(gap)/dθ = n·(ω × (X − o)) for the point X moving with face g.
      const double v = dot(axis, cross((up_p ? P : Q) - origin, n));
      rows->col.push_back(e->crease_index);
      rows->val.push_back(up_p ? v : -v);
    }
    if (up_p) {
      fp = a.parent[fp];
    } else {
      fq = a.parent[fq];
    }
    if (fp < 0 || fq < 0) return fail();  // the paths never met: not one tree
  }
  double norm = 0.0;
  for (size_t k = first; k < rows->val.size(); ++k) norm += rows->val[k] * rows->val[k];
  norm = std::sqrt(norm);
  if (fp != fq || !(norm > kRowLeast) || !std::isfinite(norm) || !std::isfinite(gap)) return fail();
  for (size_t k = first; k < rows->val.size(); ++k) rows->val[k] /= norm;
  // Down to the resting gap; one below it is opened up to it, by a rest at most a step.
  rows->goal.push_back(std::min(rest - gap, rest) / norm);
  rows->slack.push_back(kAddShare * rest / norm);
  rows->key.push_back(f.key);
  rows->urgent.push_back(0);
  rows->feature.push_back(index);
  rows->gap.push_back(gap);
  rows->norm.push_back(norm);
  rows->normal.push_back(n);
  rows->faces.emplace_back(std::min(a.tri[tp].face, a.tri[tq].face), std::max(a.tri[tp].face, a.tri[tq].face));
  rows->start.push_back(static_cast<int>(rows->col.size()));
  return true;
}

}  // namespace

// ---- The constrained solve --------------------------------------------------------

namespace {

// The system of one active-set round: K = [C; G] with C the closure rows
// (m of them) and G the rows of the contacts held, A = K·Kᵀ + ε·I applied
// as K·(Kᵀ·p) + ε·p, preconditioned by each vertex's 3 × 3 block of C·Cᵀ + ε·I
// and each contact's diagonal (its row is of unit length).
struct Combined {
  const ORISIM_sparse& C;
  const Rows& rows;
  const std::vector<int>& active;
  int m, n;
  double* scratch;  // n doubles: Kᵀ·p
  const double* inverse;

  int size() const { return m + static_cast<int>(active.size()); }

  double apply(double beta, const double* next, double* p, double* q) const {
    const int total = size();
    if (next != nullptr) oriSimDirect(total, beta, next, p);
    if (m > 0) {
      oriSimSparseMultiplyTransposed(C, 1.0, p, 0.0, scratch);
    } else {
      std::fill(scratch, scratch + n, 0.0);
    }
    for (size_t a = 0; a < active.size(); ++a) {
      const int r = active[a];
      const double pa = p[m + a];
      for (int k = rows.start[r]; k < rows.start[r + 1]; ++k) scratch[rows.col[k]] += rows.val[k] * pa;
    }
    if (m > 0) oriSimSparseMultiply(C, 1.0, scratch, 0.0, q);
    for (int i = 0; i < m; ++i) q[i] += kEpsilon * p[i];
    for (size_t a = 0; a < active.size(); ++a) {
      const int r = active[a];
      double sum = 0.0;
      for (int k = rows.start[r]; k < rows.start[r + 1]; ++k) sum += rows.val[k] * scratch[rows.col[k]];
      q[m + a] = sum + kEpsilon * p[m + a];
    }
    double pq = 0.0;
    for (int i = 0; i < total; ++i) pq += p[i] * q[i];
    return pq;
  }

  double precondition(const double* b, double* z) const {
    double bz = m > 0 ? oriSimPreconditionRows(m / 3, inverse, b, z) : 0.0;
    for (int i = m; i < size(); ++i) {
      z[i] = b[i] / (1.0 + kEpsilon);
      bz += b[i] * z[i];
    }
    return bz;
  }
};

// Each inner vertex's 3 × 3 block of C·Cᵀ + ε·I, inverted (12 doubles each).
void invertBlocks(const ORISIM_sparse& C, std::vector<double>* inverse) {
  const int vertices = C.m / 3;
  inverse->assign(12 * static_cast<size_t>(vertices), 0.0);
  for (int s = 0; s < vertices; ++s) {
    double a[6] = {kEpsilon, 0.0, 0.0, kEpsilon, 0.0, kEpsilon};
    if (static_cast<size_t>(s + 1) < C.vert_start.size()) {
      for (int k = C.vert_start[s]; k < C.vert_start[s + 1]; ++k) {
        const double* v = &C.val[3 * static_cast<size_t>(k)];
        a[0] += v[0] * v[0];
        a[1] += v[0] * v[1];
        a[2] += v[0] * v[2];
        a[3] += v[1] * v[1];
        a[4] += v[1] * v[2];
        a[5] += v[2] * v[2];
      }
    }
    oriSimInvertBlock(a, &(*inverse)[12 * static_cast<size_t>(s)]);
  }
}

// Solves one round: x (m + active entries) from its start, delta = moment −
// Kᵀ·x. Returns the iterations.
int solveRound(ORISIM_contactWork& w, const ORISIM_sparse& C, int m, int n, const std::vector<double>& moment,
               const std::vector<double>& residual, std::vector<double>* delta) {
  const Rows& rows = w.rows;
  const Combined sys{C, rows, w.active, m, n, w.w.data(), w.inverse.data()};
  const int total = sys.size();
  w.rhs.assign(total, 0.0);
  if (m > 0) {
    std::copy(residual.begin(), residual.begin() + m, w.rhs.begin());
    oriSimSparseMultiply(C, 1.0, moment.data(), 1.0, w.rhs.data());
  }
  for (size_t a = 0; a < w.active.size(); ++a) {
    const int r = w.active[a];
    double sum = 0.0;
    for (int k = rows.start[r]; k < rows.start[r + 1]; ++k) sum += rows.val[k] * moment[rows.col[k]];
    w.rhs[m + a] = sum - rows.goal[r];
  }
  w.b = w.rhs;
  w.p.assign(total, 0.0);
  w.q.assign(total, 0.0);
  w.z.assign(total, 0.0);
  w.ax.assign(total, 0.0);
  bool started = false;
  for (int i = 0; i < total; ++i) started = started || w.x[i] != 0.0;
  if (started) {
    std::copy(w.x.begin(), w.x.begin() + total, w.p.begin());
    sys.apply(0.0, nullptr, w.p.data(), w.ax.data());
    oriSimScaleStart(total, w.x.data(), w.ax.data(), w.b.data());
  }
  const ORISIM_cgVectors v{total, w.x.data(), w.b.data(), w.p.data(), w.q.data(), w.z.data()};
  const ORISIM_cgStop stop{std::min(static_cast<double>(total), static_cast<double>(kCGMaxIterations)), kCGTolerance,
                           std::sqrt(static_cast<double>(total))};
  const auto apply = [&sys](double beta, const double* next, double* p, double* q) {
    return sys.apply(beta, next, p, q);
  };
  const auto precondition = [&sys](const double* b, double* z) { return sys.precondition(b, z); };
  const int iterations = oriSimConjugateGradient(apply, precondition, v, stop);

  // delta = moment − Cᵀ·x_C − Gᵀ·x_G.
  delta->assign(moment.begin(), moment.begin() + n);
  if (m > 0) oriSimSparseMultiplyTransposed(C, -1.0, w.x.data(), 1.0, delta->data());
  for (size_t a = 0; a < w.active.size(); ++a) {
    const int r = w.active[a];
    const double xa = w.x[m + a];
    for (int k = rows.start[r]; k < rows.start[r + 1]; ++k) (*delta)[rows.col[k]] -= rows.val[k] * xa;
  }
  return iterations;
}

// The active set: contacts held last step, those a check found closing and
// those already below their resting gap start held; each round solves, then
// releases a held contact whose multiplier would hold its faces together
// (they part on their own) and holds one the change would close. Leaves the
// change in delta; returns the rounds taken.
int solveActiveSet(ORISIM_contactWork& w, const ORISIM_sparse& C, int m, int n, const std::vector<double>& moment,
                   const std::vector<double>& residual, std::vector<double>* delta, int* iterations) {
  Rows& rows = w.rows;
  const int k = rows.size();
  w.is_active.assign(k, 0);
  for (int r = 0; r < k; ++r) {
    w.is_active[r] = rows.urgent[r] || rows.goal[r] > 0.0 || w.held.count(rows.key[r]) != 0;
  }
  w.w.assign(n, 0.0);
  int round = 0;
  for (; round < kOriSimContactRounds; ++round) {
    w.active.clear();
    for (int r = 0; r < k; ++r) {
      if (w.is_active[r]) w.active.push_back(r);
    }
    // The start: the last round's answer, or the last step's.
    const int total = m + static_cast<int>(w.active.size());
    std::vector<double>& start = w.start;
    start.assign(total, 0.0);
    if (round == 0) {
      if (w.start0.size() == static_cast<size_t>(m)) std::copy(w.start0.begin(), w.start0.end(), start.begin());
      for (size_t a = 0; a < w.active.size(); ++a) {
        const auto it = w.held.find(rows.key[w.active[a]]);
        if (it != w.held.end()) start[m + a] = it->second;
      }
    } else {
      std::copy(w.x.begin(), w.x.begin() + m, start.begin());
      for (size_t a = 0; a < w.active.size(); ++a) start[m + a] = w.multiplier[w.active[a]];
    }
    w.x.assign(start.begin(), start.end());
    *iterations += solveRound(w, C, m, n, moment, residual, delta);
    w.multiplier.assign(k, 0.0);
    for (size_t a = 0; a < w.active.size(); ++a) w.multiplier[w.active[a]] = w.x[m + a];

    bool changed = false;
    for (int r = 0; r < k; ++r) {
      if (w.is_active[r]) {
        if (round < kReleaseRounds && w.multiplier[r] > 0.0) {
          w.is_active[r] = 0;
          changed = true;
        }
        continue;
      }
      double moved = 0.0;
      for (int e = rows.start[r]; e < rows.start[r + 1]; ++e) moved += rows.val[e] * (*delta)[rows.col[e]];
      if (moved < rows.goal[r] - rows.slack[r]) {
        w.is_active[r] = 1;
        changed = true;
      }
    }
    if (!changed) {
      ++round;
      break;
    }
  }
  return round;
}

}  // namespace

// ---- The step ---------------------------------------------------------------------

namespace {

void placeCorners(const Analysis& a, std::vector<V3>* c);

struct Scale {
  double thickness;  // model units
  double reach;      // the contact tolerance
  double rest;
};

// The second-order correction of the rows' goals from a step tried and not
// kept: every gap is a curve in the angles, and the rows are its tangents
// where the step begins; over a step of some hundredths of a radian a lever
// of half the sheet bends away from its tangent by about as much as the
// resting gap. Where the tried step took a contact (its gap there, against
// the row's forecast for the same change) is what the curve adds; the
// goal asks for that much more (or less), as a step of about the same size
// will see it again.
void correctForCurvature(ORISIM_contactWork& w, const Scale& scale, double bend_share) {
  Rows& rows = w.rows;
  for (int r = 0; r < rows.size(); ++r) {
    Where at;
    if (!contactAt(w.set[rows.feature[r]], w.trial_c.data(), scale.thickness, &rows.normal[r], &at)) continue;
    double forecast = 0.0;
    for (int k = rows.start[r]; k < rows.start[r + 1]; ++k) forecast += rows.val[k] * w.trial_delta[rows.col[k]];
    const double bend = bend_share * (at.gap - (rows.gap[r] + rows.norm[r] * forecast));
    if (!std::isfinite(bend)) continue;
    rows.goal[r] = (std::min(scale.rest - rows.gap[r], scale.rest) - std::max(-scale.rest, std::min(bend, scale.rest))) /
                   rows.norm[r];
  }
}

// How much smaller the next try's wish should be, after a step tried and
// not kept: where its contacts closed by more than their rows forecast
// (bent away from their tangents), by as much as brings the worst bend,
// which goes with the square of the step, to half the resting gap; by
// kRetryShare when no contact tells.
double shrinkFor(ORISIM_contactWork& w, const Scale& scale) {
  const Rows& rows = w.rows;
  double worst = 0.0;
  for (int r = 0; r < rows.size(); ++r) {
    Where at;
    if (!contactAt(w.set[rows.feature[r]], w.trial_c.data(), scale.thickness, &rows.normal[r], &at)) continue;
    double forecast = 0.0;
    for (int k = rows.start[r]; k < rows.start[r + 1]; ++k) forecast += rows.val[k] * w.trial_delta[rows.col[k]];
    const double closed = (rows.gap[r] + rows.norm[r] * forecast) - at.gap;
    if (std::isfinite(closed)) worst = std::max(worst, closed);
  }
  if (!(worst > 0.5 * scale.rest)) return kRetryShare;
  return std::min(kRetryShare, std::max(kLeastRetryShare, std::sqrt(0.5 * scale.rest / worst)));
}

void placeCorners(const Analysis& a, std::vector<V3>* c) {
  c->resize(3 * a.tri.size());
  for (size_t t = 0; t < a.tri.size(); ++t) {
    const Tri& tr = a.tri[t];
    const double* M = a.face[tr.face]->matrix;
    for (int k = 0; k < 3; ++k) (*c)[3 * t + k] = placed(M, tr.x[k], tr.y[k]);
  }
}

// The check of a step from corners c0 to c1 (moved false: c1 is c0, and
// only the contacts are looked for), into w.check.
void runCheck(ORISIM_contactWork& w, const std::vector<V3>& c0, const std::vector<V3>& c1, bool moved,
              const Scale& scale) {
  CheckResult& out = w.check;
  out.found.clear();
  out.bad.clear();
  const Analysis& a = w.a;
  const size_t n_tri = a.tri.size();
  if (n_tri < 2) return;
  const double grow = 0.5 * (scale.thickness + scale.reach);
  w.boxes.resize(n_tri);
  for (size_t t = 0; t < n_tri; ++t) {
    ORI_box& box = w.boxes[t];
    for (int axis = 0; axis < 3; ++axis) {
      box.lo[axis] = INFINITY;
      box.hi[axis] = -INFINITY;
    }
    {
      const V3* c = c1.data() + 3 * t;
      for (int k = 0; k < 3; ++k) {
        const double v[3] = {c[k].x, c[k].y, c[k].z};
        for (int axis = 0; axis < 3; ++axis) {
          box.lo[axis] = std::min(box.lo[axis], v[axis]);
          box.hi[axis] = std::max(box.hi[axis], v[axis]);
        }
      }
    }
    for (int axis = 0; axis < 3; ++axis) {
      box.lo[axis] -= grow;
      box.hi[axis] += grow;
    }
    // A corner that is not a finite number meets nothing.
    if (!std::isfinite(box.lo[0] + box.lo[1] + box.lo[2] + box.hi[0] + box.hi[1] + box.hi[2])) {
      box = ORI_box{{1e300, 1e300, 1e300}, {1e300, 1e300, 1e300}};
    }
  }
  oriBoxTreeRefit(&w.a.tree, w.boxes.data());
  const auto planes = [n_tri](const std::vector<V3>& c, std::vector<V3>* n, std::vector<double>* off) {
    n->resize(n_tri);
    off->resize(n_tri);
    for (size_t t = 0; t < n_tri; ++t) {
      const V3 nn = cross(c[3 * t + 1] - c[3 * t], c[3 * t + 2] - c[3 * t]);
      const double len = length(nn);
      (*n)[t] = len > 0.0 && std::isfinite(len) ? (1.0 / len) * nn : V3{0.0, 0.0, 0.0};
      (*off)[t] = dot((*n)[t], c[3 * t]);
    }
  };
  // The planes before the step are those the check that found c0 made.
  planes(c1, &w.n1, &w.off1);
  if (!moved) {
    w.n0 = w.n1;
    w.off0 = w.off1;
  } else if (w.n0.size() != n_tri) {
    planes(c0, &w.n0, &w.off0);
  }
  Checker checker{&a,
                  c0.data(),
                  c1.data(),
                  scale.thickness,
                  scale.reach,
                  kNoSide * a.size,
                  kShrink * a.size,
                  kCrossShare * scale.reach,
                  moved,
                  &out,
                  static_cast<int>(n_tri),
                  w.n0.data(),
                  w.off0.data(),
                  w.n1.data(),
                  w.off1.data(),
                  w.boxes.data(),
                  grow};
  // The walk by shares, each into its own lists, joined in the shares'
  // order: the same lists on any number of threads.
  const int tasks = static_cast<int>(a.tasks.size());
  w.shares.resize(tasks);
  oriSimForChunks(tasks, [&](int k) {
    Checker mine = checker;
    mine.out = &w.shares[k];
    mine.out->found.clear();
    mine.out->bad.clear();
    oriBoxTreeOverlapsOf(&a.tree, a.tasks[k], Checker::visit, &mine);
  });
  for (const CheckResult& share : w.shares) {
    out.found.insert(out.found.end(), share.found.begin(), share.found.end());
    out.bad.insert(out.bad.end(), share.bad.begin(), share.bad.end());
  }
}

void addToSet(ORISIM_contactWork& w, const Feature& f, bool urgent) {
  const auto it = w.in_set.find(f.key);
  if (it != w.in_set.end()) {
    if (urgent) w.urgent_of[it->second] = 1;
    return;
  }
  w.in_set.emplace(f.key, static_cast<int>(w.set.size()));
  w.set.push_back(f);
  w.urgent_of.push_back(urgent ? 1 : 0);
}

// The number of distinct pairs in pairs (sorted in place).
int facePairs(std::vector<std::pair<int, int>>* pairs) {
  std::sort(pairs->begin(), pairs->end());
  return static_cast<int>(std::unique(pairs->begin(), pairs->end()) - pairs->begin());
}

bool sameAngles(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

ORISIM_contact* oriSimContactNew() {
  ORISIM_contact* contact = new ORISIM_contact();
  contact->work = new ORISIM_contactWork();
  return contact;
}

void oriSimContactDelete(ORISIM_contact* contact) {
  if (contact == nullptr) return;
  delete contact->work;
  delete contact;
}

int oriSimContactSetThickness(ORISIM_contact* contact, const ORI_manifold* om, double thickness, std::string* why) {
  if (oriPaperThicknessCheck(thickness, om != nullptr ? om->paper_size : 0.0, why) != 0) return -1;
  if (thickness != contact->thickness) oriSimContactForget(contact);
  contact->thickness = thickness;
  return 0;
}

void oriSimContactForget(ORISIM_contact* contact) {
  if (contact == nullptr || contact->work == nullptr) return;
  ORISIM_contactWork& w = *contact->work;
  w.angles0.clear();
  w.found0.clear();
  w.held.clear();
  w.share = 1.0;
}

double oriSimContactStep(ORISIM_contact* contact, ORISIM_matrix* osm, ORI_manifold* om, double step,
                         ORISIM_stepStats* stats, ORISIM_contactStats* cstats) {
  ORISIM_contactStats cs{};
  const auto ordinary = [&]() {
    const double largest = oriSimUpdateStateCG(osm, om, step, stats);
    if (om->center_face != nullptr) oriManifoldUpdatePlanned(om, &osm->placement);
    if (cstats != nullptr) *cstats = cs;
    return largest;
  };
  if (contact == nullptr || contact->work == nullptr || osm->n <= 0 || !std::isfinite(step)) return ordinary();
  ORISIM_contactWork& w = *contact->work;
  Analysis& a = w.a;
  if (a.om != om || a.osm != osm || a.n_face != om->n_face || a.n_edge != om->n_edge) {
    const bool ok = analyse(&a, osm, om);
    oriSimContactForget(contact);
    w.paths.clear();
    w.seen.clear();
    w.axis_stamp.assign(a.face.size(), -1.0);
    w.axis.assign(a.face.size(), V3{0, 0, 0});
    w.origin.assign(a.face.size(), V3{0, 0, 0});
    if (!ok) oriMessage("\tcontact: this pattern's placement has no tree of folds; folding without contact\n");
  }
  if (!a.ok) return ordinary();

  const int n = osm->n, m = osm->m;
  const double paper = om->paper_size > 0.0 && std::isfinite(om->paper_size) ? om->paper_size : 1.0;
  Scale scale;
  scale.thickness = contact->thickness / paper;
  scale.reach = kOriContactTolerance * a.size;
  scale.rest = kOriSimContactRest * scale.reach;

  // The shape the step starts from, and its contacts: those the last step
  // left, unless the angles were changed since.
  if (!sameAngles(w.angles0, osm->angle_n) || w.c0.size() != 3 * a.tri.size()) {
    placeCorners(a, &w.c0);
    runCheck(w, w.c0, w.c0, false, scale);
    w.found0.swap(w.check.found);
    w.held.clear();
    w.angles0 = osm->angle_n;
  }
  w.theta0 = osm->angle_n;
  w.start0 = osm->cg_start;
  const long unconverged0 = osm->exact_unconverged;
  const auto restore = [&]() {
    osm->angle_n = w.theta0;
    oriSimUpdateCrease(om, w.theta0);
    oriManifoldUpdatePlanned(om, &osm->placement);
    osm->exact_unconverged = unconverged0;
  };
  const auto tryStep = [&]() {
    oriManifoldUpdatePlanned(om, &osm->placement);
    placeCorners(a, &w.c1);
    runCheck(w, w.c0, w.c1, true, scale);
    return w.check.bad.empty();
  };
  const auto commit = [&](double largest) {
    w.c0.swap(w.c1);
    w.n0.swap(w.n1);
    w.off0.swap(w.off1);
    w.found0.swap(w.check.found);
    w.angles0 = osm->angle_n;
    w.pairs.clear();
    for (const Feature& f : w.found0) w.pairs.emplace_back(a.tri[f.ta].face, a.tri[f.tb].face);
    cs.found = facePairs(&w.pairs);
    if (cstats != nullptr) *cstats = cs;
    return largest;
  };

  w.set.clear();
  w.in_set.clear();
  w.urgent_of.clear();
  // A step tried and found closing contacts: its corners and change, whose
  // gaps tell how far the straight-line model missed.
  bool tried = false;
  const auto keepTrial = [&]() {
    w.trial_c.swap(w.c1);
    w.trial_delta.resize(n);
    for (int c = 0; c < n; ++c) w.trial_delta[c] = osm->angle_n[c] - w.theta0[c];
    tried = true;
  };
  if (w.held.empty()) {
    // Nothing held the last step: the ordinary step, kept when it closes no contact.
    const double largest = oriSimUpdateStateCG(osm, om, step, stats);
    if (tryStep()) return commit(largest);
    for (const Feature& f : w.check.bad) addToSet(w, f, true);
    keepTrial();
    restore();
  }
  for (const Feature& f : w.found0) addToSet(w, f, false);

  // The step again from where it began, the contacts held.
  if (stats != nullptr) *stats = ORISIM_stepStats{};
  oriSimStepBegin(osm, om, step);
  const ORISIM_sparse* C = &osm->C_sparse;
  if (osm->path != kOriSimPathSparse || osm->C_sparse.m != m || osm->C_sparse.n != n) {
    oriSimSparseUpdate(&w.own, osm, om);
    C = &w.own;
  }
  const bool closure = m > 0 && C->m == m && C->residual.size() >= static_cast<size_t>(m);
  const int rows_m = closure ? m : 0;
  if (closure) invertBlocks(*C, &w.inverse);
  double residual_sum = 0.0;
  for (int i = 0; i < rows_m; ++i) residual_sum += std::fabs(C->residual[i]);
  const std::vector<double>& moment = osm->moment_angle_n;
  double wish = 0.0;
  for (double v : moment) wish += v * v;

  std::vector<double>& delta = w.delta;
  double largest = 0.0, tried_share = 1.0;
  bool taken = false;
  int iterations = 0;
  for (int solve = 0; solve <= kOriSimContactResolves && !taken; ++solve) {
    if (solve > 0) ++cs.resolves;
    w.stamp += 1.0;
    w.rows.clear();
    for (size_t i = 0; i < w.set.size(); ++i) {
      if (appendRow(w, w.set[i], static_cast<int>(i), w.c0.data(), scale.thickness, scale.rest, &w.rows)) {
        w.rows.urgent.back() = w.urgent_of[i];
      }
    }
    if (tried) correctForCurvature(w, scale, (w.share / tried_share) * (w.share / tried_share));
    w.wished.resize(n);
    for (int c = 0; c < n; ++c) w.wished[c] = w.share * moment[c];
    cs.rounds += solveActiveSet(w, *C, rows_m, n, w.wished, C->residual, &delta, &iterations);
    if (closure) osm->cg_start.assign(w.x.begin(), w.x.begin() + m);
    osm->delta_angle_n = delta;
    largest = oriSimStepApply(osm, om, step * w.share, stats);
    if (tryStep()) {
      taken = true;
      break;
    }
    if (solve < kOriSimContactResolves) {
      for (const Feature& f : w.check.bad) addToSet(w, f, true);
    }
    keepTrial();
    tried_share = w.share;
    w.share = std::max(kLeastShare, w.share * shrinkFor(w, scale));
    restore();
  }
  for (int half = 1; half <= kOriSimContactHalvings && !taken; ++half) {
    ++cs.halvings;
    osm->delta_angle_n = delta;
    const double share = std::ldexp(1.0, -half);
    for (double& d : osm->delta_angle_n) d *= share;
    largest = oriSimStepApply(osm, om, step * w.share, stats);
    if (tryStep()) {
      taken = true;
      break;
    }
    restore();
  }
  if (taken && cs.resolves == 0 && cs.halvings == 0) w.share = std::min(1.0, w.share * kShareGrowth);

  // What held: the contacts of the last solve, with their multipliers for
  // the next step's start.
  w.held.clear();
  w.pairs.clear();
  for (int r : w.active) {
    w.held[w.rows.key[r]] = w.multiplier[r];
    w.pairs.emplace_back(w.rows.faces[r]);
  }
  cs.active = facePairs(&w.pairs);
  cs.cg_iterations = iterations;
  if (stats != nullptr) {
    stats->residual_before = residual_sum;
    stats->cg_iterations = iterations;
  }
  if (!taken) {
    // Every remedy still closed a contact: the sheet stays as it was.
    cs.locked = 1;
    w.check.found = w.found0;
    w.c1 = w.c0;
    w.n1 = w.n0;
    w.off1 = w.off0;
    return commit(0.0);
  }
  // Locked: what the step moved towards the fold's wish is a sliver of
  // what the wish asked for.
  double towards = 0.0;
  for (int c = 0; c < n; ++c) towards += moment[c] * (osm->angle_n[c] - w.theta0[c]);
  if (cs.active > 0 && towards <= kOriSimContactLockShare * w.share * wish) cs.locked = 1;
  return commit(largest);
}
