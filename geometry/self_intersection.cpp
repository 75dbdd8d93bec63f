#include "geometry/self_intersection.h"

#include <algorithm>
#include <cmath>

#include "geometry/box_tree.h"
#include "geometry/manifold.h"
#include "geometry/triangle_cross.h"

namespace {

// What the neighbour test reads of a triangle, kept apart from its corners:
// most pairs a walk meets are neighbours, and they then touch little memory.
struct Owner {
  const ORI_vert* v[3];  // the face's corners when it has three
  int face;
  int first, count;      // the face's corners: face_verts[first .. first + count - 1]
};

using Flat = ORI_flatPoint;

double turn(const Flat& a, const Flat& b, const Flat& c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

}  // namespace

void oriPolygonTriangles(const std::vector<ORI_flatPoint>& pts, std::vector<int>* out) {
  const int k = static_cast<int>(pts.size());
  if (k < 3) return;
  if (k == 3) {
    out->push_back(0);
    out->push_back(1);
    out->push_back(2);
    return;
  }
  double area = 0.0;
  for (int i = 0; i < k; ++i) area += pts[i].x * pts[(i + 1) % k].y - pts[(i + 1) % k].x * pts[i].y;
  const double side = area >= 0.0 ? 1.0 : -1.0;
  bool reflex = false;
  for (int i = 0; i < k && !reflex; ++i) reflex = side * turn(pts[(i + k - 1) % k], pts[i], pts[(i + 1) % k]) < 0.0;
  std::vector<int> left(static_cast<size_t>(k));
  for (int i = 0; i < k; ++i) left[i] = i;
  while (reflex && left.size() > 3) {
    const int m = static_cast<int>(left.size());
    int ear = -1;
    for (int i = 0; i < m && ear < 0; ++i) {
      const Flat& a = pts[left[(i + m - 1) % m]];
      const Flat& b = pts[left[i]];
      const Flat& c = pts[left[(i + 1) % m]];
      if (side * turn(a, b, c) <= 0.0) continue;
      bool empty = true;
      for (int j = 0; j < m && empty; ++j) {
        if (j == i || j == (i + 1) % m || j == (i + m - 1) % m) continue;
        const Flat& p = pts[left[j]];
        empty = !(side * turn(a, b, p) >= 0.0 && side * turn(b, c, p) >= 0.0 && side * turn(c, a, p) >= 0.0);
      }
      if (empty) ear = i;
    }
    if (ear < 0) break;
    out->insert(out->end(), {left[(ear + m - 1) % m], left[ear], left[(ear + 1) % m]});
    left.erase(left.begin() + ear);
  }
  for (size_t i = 1; i + 1 < left.size(); ++i) out->insert(out->end(), {left[0], left[i], left[i + 1]});
}

namespace {

struct Check {
  std::vector<Owner> owners;
  std::vector<ORI_triangle> tris;  // by the same number
  std::vector<const ORI_vert*> face_verts;
  double tolerance = 0.0;
  std::vector<std::pair<int, int>>* pairs = nullptr;

  // Whether the faces of a and b share a corner (or are one face).
  bool neighbours(const Owner& a, const Owner& b) const {
    if (a.face == b.face) return true;
    if (a.count == 3 && b.count == 3) {  // most faces: nine comparisons, no loop
      const ORI_vert* const* u = a.v;
      const ORI_vert* const* v = b.v;
      return ((u[0] == v[0]) | (u[0] == v[1]) | (u[0] == v[2]) | (u[1] == v[0]) | (u[1] == v[1]) | (u[1] == v[2]) |
              (u[2] == v[0]) | (u[2] == v[1]) | (u[2] == v[2])) != 0;
    }
    for (int i = a.first; i < a.first + a.count; ++i) {
      for (int j = b.first; j < b.first + b.count; ++j) {
        if (face_verts[i] == face_verts[j]) return true;
      }
    }
    return false;
  }

  static void visit(void* context, int a, int b) {
    Check* c = static_cast<Check*>(context);
    const Owner& oa = c->owners[a];
    const Owner& ob = c->owners[b];
    if (c->neighbours(oa, ob) || !oriTrianglesCross(c->tris[a], c->tris[b], c->tolerance)) return;
    c->pairs->emplace_back(std::min(oa.face, ob.face), std::max(oa.face, ob.face));
  }
};

}  // namespace

int oriManifoldSelfIntersections(const ORI_manifold* om, std::vector<std::pair<int, int>>* pairs) {
  pairs->clear();
  Check check;
  check.pairs = pairs;
  double lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
  std::vector<Flat> flat;
  std::vector<const ORI_vert*> corners;
  std::vector<int> cut;
  const size_t faces = static_cast<size_t>(om->n_face > 0 ? om->n_face : 0);
  check.owners.reserve(faces);  // one triangle each, most often
  check.tris.reserve(faces);
  check.face_verts.reserve(3 * faces);
  int f = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next, ++f) {
    const ORI_face* face = static_cast<const ORI_face*>(l->data);
    if (face->first == nullptr) continue;
    flat.clear();
    corners.clear();
    const ORI_edge* e = face->first;
    do {
      flat.push_back({e->x1, e->y1});
      corners.push_back(e->vert);
      e = e->next;
    } while (e != nullptr && e != face->first && static_cast<int>(corners.size()) <= om->n_edge);
    if (e != face->first || corners.size() < 3) continue;
    const int first = static_cast<int>(check.face_verts.size());
    check.face_verts.insert(check.face_verts.end(), corners.begin(), corners.end());
    for (const Flat& p : flat) {
      lo_x = p.x < lo_x ? p.x : lo_x;
      hi_x = p.x > hi_x ? p.x : hi_x;
      lo_y = p.y < lo_y ? p.y : lo_y;
      hi_y = p.y > hi_y ? p.y : hi_y;
    }
    cut.clear();
    oriPolygonTriangles(flat, &cut);
    const int count = static_cast<int>(corners.size());
    const Owner owner = {{corners[0], corners[1], corners[2]}, f, first, count};
    for (size_t i = 0; i + 2 < cut.size(); i += 3) {
      ORI_triangle t;
      if (oriTrianglePrepare(&t, corners[cut[i]]->pos, corners[cut[i + 1]]->pos, corners[cut[i + 2]]->pos) == 0) {
        check.tris.push_back(t);
        check.owners.push_back(owner);
      }
    }
  }
  check.tolerance = kOriContactTolerance * std::fmax(hi_x - lo_x, hi_y - lo_y);
  if (check.tris.size() < 2 || !(check.tolerance > 0.0)) return 0;

  std::vector<ORI_box> boxes(check.tris.size());
  for (size_t i = 0; i < boxes.size(); ++i) {
    const ORI_triangle& t = check.tris[i];
    ORI_box& box = boxes[i];
    for (int k = 0; k < 3; ++k) {
      const double c[3] = {t.p[k].x, t.p[k].y, t.p[k].z};
      for (int a = 0; a < 3; ++a) {
        box.lo[a] = k == 0 || c[a] < box.lo[a] ? c[a] : box.lo[a];
        box.hi[a] = k == 0 || c[a] > box.hi[a] ? c[a] : box.hi[a];
      }
    }
  }
  ORI_boxTree tree;
  oriBoxTreeBuildTaking(&tree, &boxes);
  // The triangles in the tree's order, which keeps neighbours in space near
  // each other in memory: moved in place, cycle by cycle of the order
  // (position i takes triangle items[i]), so that a large sheet's check
  // needs no second copy of them.
  std::vector<char> moved(check.tris.size(), 0);
  for (size_t start = 0; start < tree.items.size(); ++start) {
    if (moved[start]) continue;
    const Owner first_owner = check.owners[start];
    const ORI_triangle first_tri = check.tris[start];
    size_t i = start;
    for (;;) {
      moved[i] = 1;
      const size_t from = static_cast<size_t>(tree.items[i]);
      if (from == start) {
        check.owners[i] = first_owner;
        check.tris[i] = first_tri;
        break;
      }
      check.owners[i] = check.owners[from];
      check.tris[i] = check.tris[from];
      i = from;
    }
  }
  oriBoxTreeOverlaps(&tree, Check::visit, &check);
  std::sort(pairs->begin(), pairs->end());
  pairs->erase(std::unique(pairs->begin(), pairs->end()), pairs->end());
  return static_cast<int>(pairs->size());
}

int oriManifoldIntersectingFaces(const ORI_manifold* om, std::vector<unsigned char>* flags) {
  flags->assign(static_cast<size_t>(om->n_face > 0 ? om->n_face : 0), 0);
  std::vector<std::pair<int, int>> pairs;
  const int n = oriManifoldSelfIntersections(om, &pairs);
  for (const auto& p : pairs) {
    if (static_cast<size_t>(p.second) < flags->size()) (*flags)[p.first] = (*flags)[p.second] = 1;
  }
  return n;
}

double oriPaperThickness(const ORI_manifold* om) {
  double lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
  int lines = 0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr && lines <= om->n_edge; l = l->next, ++lines) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    lo_x = std::fmin(lo_x, e->x0);
    hi_x = std::fmax(hi_x, e->x0);
    lo_y = std::fmin(lo_y, e->y0);
    hi_y = std::fmax(hi_y, e->y0);
  }
  if (lines == 0) return 0.0;
  return kOriContactTolerance * std::fmax(hi_x - lo_x, hi_y - lo_y) * om->paper_size;
}

int oriFaceTriangles(const ORI_manifold* om, const ORI_face* f, std::vector<ORI_vert*>* out) {
  if (f == nullptr || f->first == nullptr) return 0;
  std::vector<Flat> flat;
  std::vector<ORI_vert*> corners;
  const ORI_edge* e = f->first;
  do {
    flat.push_back({e->x1, e->y1});
    corners.push_back(e->vert);
    e = e->next;
  } while (e != nullptr && e != f->first && static_cast<int>(corners.size()) <= om->n_edge);
  if (e != f->first || corners.size() < 3) return 0;
  std::vector<int> cut;
  oriPolygonTriangles(flat, &cut);
  for (const int c : cut) out->push_back(corners[c]);
  return static_cast<int>(cut.size() / 3);
}
