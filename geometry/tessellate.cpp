// Face tessellation.
//
// Sections: fold-sign and turn helpers; the side sums at a corner; checks
// that a diagonal cuts a real triangle off a face; the corner cuts; the fans
// (with the ear-by-ear fallback); the split of a face by one diagonal.
#include "geometry/tessellate.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "geometry/manifold.h"
#include "geometry/message.h"

namespace {

// A corner is cut off when its turn is no more than this (radians) below the
// turn summed on the other side of the fold: equal corners count as cut.
constexpr double kCornerCutSlack = 0.01;

// A vertex of the face this close (CP units) to a triangle, or inside it,
// lies in the way of the diagonal that would cut the triangle off.
constexpr double kInsideTolerance = 1e-12;

double turn(const ORI_edge* h) { return std::atan2(h->turn_sin, h->turn_cos); }

bool oppositeFold(const ORI_edge* a, const ORI_edge* b) { return a->target_angle * b->target_angle < 0.0; }
bool sameFold(const ORI_edge* a, const ORI_edge* b) { return a->target_angle * b->target_angle > 0.0; }

// Number of half-edges of the loop of first, or 0 when the loop does not
// close within bound steps (a broken mesh: the face is left alone).
int loopSize(const ORI_edge* first, int bound) {
  int n = 0;
  const ORI_edge* e = first;
  do {
    ++n;
    e = e->next;
  } while (e != first && e != nullptr && n <= bound);
  return e == first ? n : 0;
}

struct SideSum {
  double sum;       // summed corner turns at the vertex
  ORI_edge* line;   // the pattern line where the sum stopped
};

// The total turn at the head v of e of the faces across e, up to the next
// pattern line leaving v; diagonals on the way are crossed.
SideSum farSide(ORI_edge* e, int bound) {
  SideSum s = {0.0, e->pair};
  ORI_edge* g = e->pair;
  int steps = 0;
  do {
    ORI_edge* t = g->prev;
    s.sum += turn(t);
    g = t->pair;
  } while (g->is_diagonal && ++steps < bound);
  s.line = g;
  return s;
}

// The total turn at the head v of e of e's face and the faces beyond its
// diagonals at v, up to the next pattern line arriving at v.
SideSum nearSide(ORI_edge* e, int bound) {
  SideSum s = {0.0, e};
  ORI_edge* g = e;
  int steps = 0;
  do {
    s.sum += turn(g);
    g = g->next->pair;
  } while (g->is_diagonal && ++steps < bound);
  s.line = g;
  return s;
}

struct Point {
  double x, y;
};

Point head(const ORI_edge* e) { return {e->x1, e->y1}; }

double cross(Point o, Point a, Point b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }
double dist(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

// A counter-clockwise triangle with area: every corner turns by more than
// the straight-corner sine. Twice the area over the two longest sides is the
// sine of the smallest corner.
bool triangleSound(Point p0, Point p1, Point p2) {
  const double a = dist(p0, p1), b = dist(p1, p2), c = dist(p2, p0);
  const double longest = std::fmax(a, std::fmax(b, c));
  const double shortest = std::fmin(a, std::fmin(b, c));
  const double middle = a + b + c - longest - shortest;
  return cross(p0, p1, p2) > kTessStraightSine * longest * middle;
}

// Whether p lies inside the counter-clockwise triangle or on its border.
bool pointInTriangle(Point p, Point p0, Point p1, Point p2) {
  return cross(p0, p1, p) >= -kInsideTolerance * dist(p0, p1) &&
         cross(p1, p2, p) >= -kInsideTolerance * dist(p1, p2) &&
         cross(p2, p0, p) >= -kInsideTolerance * dist(p2, p0);
}

// The half-edges of the loop of first, in order.
std::vector<ORI_edge*> loopOf(ORI_edge* first, int n) {
  std::vector<ORI_edge*> loop(n);
  ORI_edge* e = first;
  for (int i = 0; i < n; ++i, e = e->next) loop[i] = e;
  return loop;
}

// Whether a side of the loop already joins vertices u and w.
bool hasSide(const std::vector<ORI_edge*>& loop, const ORI_vert* u, const ORI_vert* w) {
  for (const ORI_edge* s : loop) {
    const ORI_vert* tail = s->pair->vert;
    if ((s->vert == u && tail == w) || (s->vert == w && tail == u)) return true;
  }
  return false;
}

// Whether the triangle (a, b, c) of loop corners (heads of half-edges) can
// be cut off its face: it has area, the diagonal a–c is not a side yet, and
// no other corner of the face lies in it.
bool triangleCuttable(const std::vector<ORI_edge*>& loop, const ORI_edge* a, const ORI_edge* b,
                      const ORI_edge* c) {
  const Point pa = head(a), pb = head(b), pc = head(c);
  if (a->vert == c->vert || !triangleSound(pa, pb, pc)) return false;
  if (hasSide(loop, a->vert, c->vert)) return false;
  for (const ORI_edge* s : loop) {
    if (s->vert == a->vert || s->vert == b->vert || s->vert == c->vert) continue;
    if (pointInTriangle(head(s), pa, pb, pc)) return false;
  }
  return true;
}

// The triangle cut off by oriManifoldAddLineFace(x, x.next.next): the corner
// at the head of x.next.
bool earCuttable(ORI_edge* x, int n) {
  return triangleCuttable(loopOf(x, n), x, x->next, x->next->next);
}

// Whether fanning the face from the head of a gives n − 2 sound triangles,
// each cut off the part of the face still left.
bool fanSound(ORI_edge* a, int n) {
  const std::vector<ORI_edge*> loop = loopOf(a, n);
  for (int j = 1; j + 1 < n; ++j) {
    const Point p0 = head(loop[0]), p1 = head(loop[j]), p2 = head(loop[j + 1]);
    if (!triangleSound(p0, p1, p2)) return false;
    if (j + 1 < n - 1 && hasSide(loop, loop[0]->vert, loop[j + 1]->vert)) return false;
    for (int k = 1; k < n; ++k) {
      const ORI_edge* s = loop[k];
      if (k == j || k == j + 1) continue;
      if (s->vert == loop[0]->vert || s->vert == loop[j]->vert || s->vert == loop[j + 1]->vert) continue;
      if (pointInTriangle(head(s), p0, p1, p2)) return false;
    }
  }
  return true;
}

// The faces already found to be triangles, by their place in the face list
// (which only grows at its end while faces are cut). A cut only splits a
// face, so a triangle stays one: the later walks pass over it without going
// round its loop again, which on a large sheet is most of their cost.
class Triangles {
 public:
  bool known(size_t at) const { return at < known_.size() && known_[at] != 0; }
  // The size of the loop of the face at place at, 3 for a known triangle;
  // a loop of 1 to 3 sides is remembered.
  int size(size_t at, const ORI_face* F, int bound) {
    if (known(at)) return 3;
    const int n = loopSize(F->first, bound);
    if (n >= 1 && n <= 3) {
      if (known_.size() <= at) known_.resize(at + 1, 0);
      known_[at] = 1;
    }
    return n;
  }

 private:
  std::vector<char> known_;
};

// Phase 1: one walk over all faces; each face with more than three sides
// gets at most one corner cut. Returns the number of diagonals added.
int cutCorners(ORI_manifold* om, Triangles* triangles) {
  int added = 0;
  size_t at = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next, ++at) {
    if (triangles->known(at)) continue;
    ORI_face* F = static_cast<ORI_face*>(l->data);
    const int bound = om->n_edge + 1;
    const int n = triangles->size(at, F, bound);
    if (n <= 3) continue;
    ORI_edge* e = F->first;
    for (int k = 0; k < n; ++k, e = e->next) {
      if (e->pair->on_boundary) continue;
      const SideSum far = farSide(e, bound);
      const SideSum near = nearSide(e, bound);
      if (oppositeFold(e->next, e) && sameFold(far.line, e) && turn(e) > far.sum - kCornerCutSlack &&
          earCuttable(e, n)) {
        oriManifoldAddLineFace(e, e->next->next, om);
        ++added;
        break;
      }
      ORI_edge* before = e->prev->prev->prev;
      if (oppositeFold(e->pair->prev, e) && sameFold(near.line, e) &&
          turn(e->pair->prev) > near.sum - kCornerCutSlack && earCuttable(before, n)) {
        oriManifoldAddLineFace(e->prev, before, om);
        ++added;
        break;
      }
    }
  }
  return added;
}

// The apex of the fan of a face of n sides: the half-edge whose head sits
// between lines of opposite fold where the face's corner is sharpest against
// its neighbour's; the first half-edge when no corner qualifies.
ORI_edge* fanApex(ORI_face* F, int n) {
  ORI_edge* a = F->first;
  double best = -2.0;
  ORI_edge* e = F->first;
  for (int k = 0; k < n; ++k, e = e->next) {
    if (e->pair->on_boundary) continue;
    if (oppositeFold(e->next, e) && sameFold(e->pair->prev, e)) {
      const double value = e->turn_cos - e->pair->prev->turn_cos;
      if (value > best) {
        a = e;
        best = value;
      }
    }
    if (oppositeFold(e->prev, e) && sameFold(e->pair->next, e)) {
      const double value = e->prev->turn_cos - e->pair->turn_cos;
      if (value > best) {
        a = e->prev;
        best = value;
      }
    }
  }
  return a;
}

// Cuts F (n sides) ear by ear: the fallback for faces that no fan cuts
// soundly (faces with reflex or straight corners in the way). Returns false
// when no ear is left to cut before F is a triangle.
bool cutEars(ORI_manifold* om, ORI_face* F, int n) {
  while (n > 3) {
    ORI_edge* x = F->first;
    bool cut = false;
    for (int k = 0; k < n; ++k, x = x->next) {
      if (earCuttable(x, n)) {
        oriManifoldAddLineFace(x, x->next->next, om);
        cut = true;
        break;
      }
    }
    if (!cut) return false;
    // The face keeps x and the new diagonal; the ear went to a new face.
    --n;
  }
  return true;
}

// Phase 2: fans every face still larger than a triangle. Returns the number
// of faces that could not be cut.
int fanFaces(ORI_manifold* om, Triangles* triangles) {
  int failed = 0;
  size_t at = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next, ++at) {
    if (triangles->known(at)) continue;
    ORI_face* F = static_cast<ORI_face*>(l->data);
    const int n = triangles->size(at, F, om->n_edge + 1);
    if (n <= 3) {
      if (n == 0) ++failed;
      continue;
    }
    ORI_edge* a = fanApex(F, n);
    if (!fanSound(a, n)) {
      ORI_edge* other = nullptr;
      ORI_edge* e = F->first;
      for (int k = 0; k < n && other == nullptr; ++k, e = e->next) {
        if (e != a && fanSound(e, n)) other = e;
      }
      a = other;
    }
    if (a == nullptr) {
      if (!cutEars(om, F, n)) ++failed;
      continue;
    }
    for (int k = 0; k < n - 3; ++k) oriManifoldAddLineFace(a, a->next->next, om);
  }
  return failed;
}

}  // namespace

int oriManifoldTessFace(ORI_manifold* om) {
  if (om == nullptr || om->faces == nullptr) return 0;
  // Every diagonal appends a face and two half-edges: keep the ends of both
  // lists at hand instead of walking them for every append.
  listCursorOpen(om->faces);
  listCursorOpen(om->edges);
  // Each pass cuts at least one corner and no face can lose more corners
  // than it has; the bound only guards a broken mesh.
  const long max_passes = static_cast<long>(om->n_edge) + 1;
  Triangles triangles;
  for (long pass = 0; pass < max_passes; ++pass) {
    if (cutCorners(om, &triangles) == 0) break;
  }
  const int failed = fanFaces(om, &triangles);
  listCursorClose(om->edges);
  listCursorClose(om->faces);
  if (failed > 0) {
    oriMessage("%d face(s) could not be cut into triangles\n", failed);
    return -1;
  }
  return 0;
}

ORI_edge* oriManifoldAddLineFace(ORI_edge* A, ORI_edge* B, ORI_manifold* om) {
  ORI_face* F = oriManifoldNewFace(om);
  ORI_edge* e0 = oriManifoldNewEdge(om);
  ORI_edge* e1 = oriManifoldNewEdge(om);
  if (F == nullptr || e0 == nullptr || e1 == nullptr) return nullptr;

  // The new half-edge e runs from the head of `from` to the head of `to`
  // inside from's face, between from and the edge that followed to.
  const auto join = [](ORI_edge* e, ORI_edge* pair, ORI_edge* from, ORI_edge* to, ORI_edge* after) {
    e->vert = to->vert;
    e->prev = from;
    e->next = after;
    after->prev = e;
    e->pair = pair;
    e->x0 = from->x1;
    e->y0 = from->y1;
    e->x1 = to->x1;
    e->y1 = to->y1;
    e->face = from->face;
  };
  ORI_edge* a_next = A->next;
  ORI_edge* b_next = B->next;
  join(e0, e1, A, B, b_next);
  join(e1, e0, B, A, a_next);

  for (ORI_edge* e : {e0, e1}) {
    e->in_face = 1;
    e->on_boundary = 0;
    e->target_angle = 0.0;
    e->angle = 0.0;
    e->is_diagonal = 1;
    e->crease_index = -1;
  }
  A->next = e0;
  B->next = e1;

  for (ORI_edge* e : {e0, e1, A, B}) {
    const double dx = e->x1 - e->x0, dy = e->y1 - e->y0;
    const double nx = e->next->x1 - e->next->x0, ny = e->next->y1 - e->next->y0;
    const double norm = std::sqrt((nx * nx + ny * ny) * (dx * dx + dy * dy));
    e->turn_cos = (nx * dx + ny * dy) / norm;
    e->turn_sin = (ny * dx - nx * dy) / norm;
  }

  ORI_face* old_face = A->face;
  F->first = B;
  old_face->first = A;
  ORI_edge* e = B;
  int steps = 0;
  do {
    e->face = F;
    e = e->next;
  } while (e != B && ++steps <= om->n_edge + 2);

  listAppend(om->faces, F);
  listAppend(om->edges, e0);
  listAppend(om->edges, e1);
  om->n_face += 1;
  om->n_edge += 2;
  return e0;
}
