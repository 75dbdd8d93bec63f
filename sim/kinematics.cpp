#include "sim/kinematics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/manifold.h"

namespace {

// The 4 × 4 products of placement are written out rather than passed to
// CBLAS: a library call costs more than the sixty-four multiplications it
// does (a buffer taken under a lock, a kernel picked at run time), which on
// a sheet of twenty thousand facets made placement most of a fold step. Each
// entry is summed in the order of its index, as a plain product takes it.

// The model-space point of a face's flat point (x, y): the first three rows
// of matrix times (x, y, 0, 1).
void placeVertex(const double matrix[16], double x, double y, vector3d* pos) {
  double out[3];
  for (int i = 0; i < 3; ++i) {
    const double* row = matrix + 4 * i;
    double sum = row[0] * x;
    sum += row[1] * y;
    sum += row[2] * 0.0;
    sum += row[3];
    out[i] = sum;
  }
  input(*pos, out[0], out[1], out[2]);
}

// c = a · b, row-major; c may not alias a or b. A row of c is the rows of
// b weighted by a row of a, added in order: the sums of the entry-by-entry
// product, four entries at a time.
void multiply4(const double* a, const double* b, double* c) {
  typedef double v4d __attribute__((vector_size(32)));
  v4d rows[4];
  std::memcpy(rows, b, sizeof rows);
  for (int i = 0; i < 4; ++i) {
    const double* r = a + 4 * i;
    v4d sum = v4d{r[0], r[0], r[0], r[0]} * rows[0];
    sum += v4d{r[1], r[1], r[1], r[1]} * rows[1];
    sum += v4d{r[2], r[2], r[2], r[2]} * rows[2];
    sum += v4d{r[3], r[3], r[3], r[3]} * rows[3];
    std::memcpy(c + 4 * i, &sum, sizeof sum);
  }
}

}  // namespace

namespace {

// Places the face of edge_to (see oriManifoldFold); the half-edges it opens
// for the next level are appended to opened when given.
void foldFace(ORI_edge* edge_to, int tree_depth, std::vector<ORI_edge*>* opened);

// Clears the traversal marks and places the start face's own corners.
// Returns the half-edges opened at level 0. Sets *listed to whether every
// half-edge's index is its position in edges (the numbering of
// oriManifoldIndex), which the frontier order relies on.
std::vector<ORI_edge*> startPlacement(ORI_manifold* om, ORI_face* start, bool* listed) {
  int position = 0;
  *listed = true;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next, ++position) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    e->tree_open = 0;
    e->tree_depth = -1;
    if (e->index != position) *listed = false;
  }
  std::vector<ORI_edge*> opened;
  ORI_edge* e = start->first;
  do {
    e->tree_depth = 0;
    e->pair->tree_depth = 0;
    if (!e->pair->on_boundary) {
      e->pair->tree_open = 1;
      opened.push_back(e->pair);
    }
    placeVertex(start->matrix, e->x1, e->y1, &e->vert->pos);
    e = e->next;
  } while (e != start->first);
  return opened;
}

}  // namespace

int oriManifoldUpdateByWalk(ORI_manifold* om, ORI_face* start) {
  bool listed;
  startPlacement(om, start, &listed);
  // A breadth-first placement has at most one level per face; the bound only
  // matters on a mesh whose loops are inconsistent.
  const int max_level = om->n_face + 1;
  for (int level = 0; level <= max_level; ++level) {
    bool called = false;
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      ORI_edge* h = static_cast<ORI_edge*>(l->data);
      if (h->tree_open == 1 && h->tree_depth == level) {
        foldFace(h, level, nullptr);
        called = true;
      }
    }
    if (!called) break;
  }
  return 0;
}

int oriManifoldUpdate(ORI_manifold* om, ORI_face* start) {
  bool listed;
  std::vector<ORI_edge*> frontier = startPlacement(om, start, &listed);
  if (!listed) return oriManifoldUpdateByWalk(om, start);
  // The half-edges waiting at a level are exactly those opened during the
  // level before; taken in list order they give the walk's placement.
  std::vector<ORI_edge*> next;
  const int max_level = om->n_face + 1;
  for (int level = 0; level <= max_level && !frontier.empty(); ++level) {
    std::sort(frontier.begin(), frontier.end(), [](const ORI_edge* a, const ORI_edge* b) { return a->index < b->index; });
    next.clear();
    for (ORI_edge* h : frontier) {
      if (h->tree_open == 1 && h->tree_depth == level) foldFace(h, level, &next);
    }
    frontier.swap(next);
  }
  return 0;
}

int oriManifoldFold(ORI_edge* edge_to, int tree_depth) {
  foldFace(edge_to, tree_depth, nullptr);
  return 0;
}

namespace {

void foldFace(ORI_edge* edge_to, int tree_depth, std::vector<ORI_edge*>* opened) {
  ORI_face* F = edge_to->face;
  const ORI_face* P = edge_to->pair->face;
  double dx = edge_to->x1 - edge_to->x0;
  double dy = edge_to->y1 - edge_to->y0;
  const double inv = 1.0 / std::sqrt(dy * dy + dx * dx);
  dx *= inv;
  dy *= inv;
  const double px = edge_to->x0, py = edge_to->y0;
  double theta = std::min(edge_to->angle, kOriFoldAngleLimit);
  theta = std::max(theta, -kOriFoldAngleLimit);
  const double c = std::cos(theta), s = std::sin(theta);

  const double T[16] = {1, 0, 0, px, 0, 1, 0, py, 0, 0, 1, 0, 0, 0, 0, 1};
  const double Z[16] = {dx, -dy, 0, 0, dy, dx, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const double X[16] = {1, 0, 0, 0, 0, c, -s, 0, 0, s, c, 0, 0, 0, 0, 1};
  const double Zt[16] = {dx, dy, 0, 0, -dy, dx, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const double Ti[16] = {1, 0, 0, -px, 0, 1, 0, -py, 0, 0, 1, 0, 0, 0, 0, 1};
  double scratch[16];
  multiply4(P->matrix, T, scratch);
  multiply4(scratch, Z, F->matrix);
  multiply4(F->matrix, X, scratch);
  multiply4(scratch, Zt, F->matrix);
  multiply4(F->matrix, Ti, scratch);
  std::copy(scratch, scratch + 16, F->matrix);

  for (ORI_edge* e = edge_to->next; e != edge_to; e = e->next) {
    if (e->tree_open == 0) {
      if (e->next->tree_open == 0) placeVertex(F->matrix, e->x1, e->y1, &e->vert->pos);
      if (!(e->pair->on_boundary || e->on_boundary)) {
        e->pair->tree_open = 1;
        e->tree_depth = tree_depth + 1;
        e->pair->tree_depth = tree_depth + 1;
        if (opened != nullptr) opened->push_back(e->pair);
      }
    } else {
      e->tree_open = 0;
      e->pair->tree_open = 0;
    }
  }
  edge_to->tree_open = 0;
}

}  // namespace

namespace {

// The normal of a face from the positions of its corners, of length twice
// its area, pointing to the side from which the face runs counter-clockwise.
// Unlike the cross product of two sides at one corner, it does not flip at
// a reflex corner nor vanish where two sides run straight on.
vector3d faceNormal(const ORI_face* f) {
  vector3d n = {0, 0, 0};
  const vector3d o = f->first->pair->vert->pos;
  const ORI_edge* e = f->first;
  do {
    const vector3d p = {e->pair->vert->pos.x - o.x, e->pair->vert->pos.y - o.y, e->pair->vert->pos.z - o.z};
    const vector3d q = {e->vert->pos.x - o.x, e->vert->pos.y - o.y, e->vert->pos.z - o.z};
    n += p * q;
    e = e->next;
  } while (e != f->first);
  return n;
}

}  // namespace

int oriManifoldCalcCreaseFromVertPos(ORI_manifold* om) {
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->on_boundary || e->pair->on_boundary) {
      e->angle = 0.0;
      continue;
    }
    const vector3d h = e->vert->pos;
    const vector3d t = e->pair->vert->pos;
    const vector3d a = {h.x - t.x, h.y - t.y, h.z - t.z};
    // The normals of the face on each side of the crease; at a convex corner
    // they point as a × (next side) and a × (other face's side into the head).
    vector3d na = faceNormal(e->face);
    vector3d nc = faceNormal(e->pair->face);
    na /= abs(na);
    nc /= abs(nc);
    const double cosine = dot(na, nc);
    const double sine = -dot(na * nc, a) / abs(a);
    e->angle = std::atan2(sine, cosine);
  }
  return 0;
}
