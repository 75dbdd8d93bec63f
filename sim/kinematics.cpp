#include "sim/kinematics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "geometry/manifold.h"
#include "sim/parallel_chunks.h"

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

// F = P · M for the face F of edge_to and P across it: M rotates about the
// crease line (unit direction dx, dy through its tail) by the crease's
// angle, clamped to ±kOriFoldAngleLimit. M = T·Z·X(θ)·Zᵀ·T⁻¹ written out
// (the rotation about a unit axis u: cos θ·I + sin θ·[u]× + (1 − cos θ)·u·uᵀ,
// and the translation that keeps the line fixed), one product instead of
// five.
void placeAcross(ORI_edge* edge_to, double dx, double dy) {
  const double px = edge_to->x0, py = edge_to->y0;
  double theta = std::min(edge_to->angle, kOriFoldAngleLimit);
  theta = std::max(theta, -kOriFoldAngleLimit);
  const double c = std::cos(theta), s = std::sin(theta), v = 1.0 - c;
  const double r00 = c + v * dx * dx, r01 = v * dx * dy, r02 = s * dy;
  const double r10 = r01, r11 = c + v * dy * dy, r12 = -s * dx;
  const double r20 = -r02, r21 = -r12;
  const double M[16] = {r00, r01, r02, px - (r00 * px + r01 * py),
                        r10, r11, r12, py - (r10 * px + r11 * py),
                        r20, r21, c,   -(r20 * px + r21 * py),
                        0,   0,   0,   1};
  multiply4(edge_to->pair->face->matrix, M, edge_to->face->matrix);
}

}  // namespace

namespace {

// Places the face of edge_to (see oriManifoldFold); the half-edges it opens
// for the next level are appended to opened, and the face and the vertices
// it places to plan, when given.
void foldFace(ORI_edge* edge_to, int tree_depth, std::vector<ORI_edge*>* opened, ORI_placement* plan);

// Clears the traversal marks and places the start face's own corners (and
// records them in plan, when given). Returns the half-edges opened at level
// 0. Sets *listed to whether every half-edge's index is its position in
// edges (the numbering of oriManifoldIndex), which the frontier order relies
// on.
std::vector<ORI_edge*> startPlacement(ORI_manifold* om, ORI_face* start, bool* listed, ORI_placement* plan) {
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
    if (plan != nullptr) plan->vert.push_back(e);
    e = e->next;
  } while (e != start->first);
  if (plan != nullptr) plan->vert_start.push_back(static_cast<int>(plan->vert.size()));
  return opened;
}

// The frontier placement of oriManifoldUpdate, recorded in plan when given.
// False when the half-edges are not numbered in list order (nothing placed).
bool placeByFrontier(ORI_manifold* om, ORI_face* start, ORI_placement* plan) {
  bool listed;
  std::vector<ORI_edge*> frontier = startPlacement(om, start, &listed, plan);
  if (!listed) return false;
  // The half-edges waiting at a level are exactly those opened during the
  // level before; taken in list order they give the walk's placement.
  std::vector<ORI_edge*> next;
  const int max_level = om->n_face + 1;
  for (int level = 0; level <= max_level && !frontier.empty(); ++level) {
    std::sort(frontier.begin(), frontier.end(), [](const ORI_edge* a, const ORI_edge* b) { return a->index < b->index; });
    next.clear();
    for (ORI_edge* h : frontier) {
      if (h->tree_open == 1 && h->tree_depth == level) foldFace(h, level, &next, plan);
    }
    frontier.swap(next);
  }
  return true;
}

}  // namespace

int oriManifoldUpdateByWalk(ORI_manifold* om, ORI_face* start) {
  bool listed;
  startPlacement(om, start, &listed, nullptr);
  // A breadth-first placement has at most one level per face; the bound only
  // matters on a mesh whose loops are inconsistent.
  const int max_level = om->n_face + 1;
  for (int level = 0; level <= max_level; ++level) {
    bool called = false;
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      ORI_edge* h = static_cast<ORI_edge*>(l->data);
      if (h->tree_open == 1 && h->tree_depth == level) {
        foldFace(h, level, nullptr, nullptr);
        called = true;
      }
    }
    if (!called) break;
  }
  return 0;
}

int oriManifoldUpdate(ORI_manifold* om, ORI_face* start) {
  if (!placeByFrontier(om, start, nullptr)) return oriManifoldUpdateByWalk(om, start);
  return 0;
}

namespace {

// About this many faces to a chunk of the replay. Branches this large are
// fat wedges of the sheet, replayed ring by ring as the recording went:
// thin ones, a face placed just after the one it is placed from, cost half
// as much again.
constexpr long kFacesPerChunk = 10000;

// Drops every listing of a vertex but its last, keeping each face's share
// of the list in order: the replay then writes each vertex once, with the
// value the recording left.
void keepLastPlacings(ORI_placement* plan) {
  std::unordered_set<const ORI_vert*> seen;
  std::vector<unsigned char> keep(plan->vert.size(), 1);
  for (size_t v = plan->vert.size(); v-- > 0;) {
    if (!seen.insert(plan->vert[v]->vert).second) keep[v] = 0;
  }
  size_t to = 0;
  size_t from = 0;
  for (int& end : plan->vert_start) {
    for (; from < static_cast<size_t>(end); ++from) {
      if (keep[from]) plan->vert[to++] = plan->vert[from];
    }
    end = static_cast<int>(to);
  }
  plan->vert.resize(to);
}

// Splits the recorded tree of folds (each face placed from the face across
// its crease) into a trunk and branches of at most about kFacesPerChunk
// folds, grouped into chunks (see ORI_placement). Leaves chunk_start empty
// for a sheet too small to share, or a plan whose faces cannot be told
// apart by their index.
void splitIntoBranches(ORI_placement* plan, int n_face) {
  plan->top = 0;
  plan->order.clear();
  plan->chunk_start.clear();
  const int folds = static_cast<int>(plan->fold.size());
  const int chunks = oriSimChunks(folds, kFacesPerChunk);
  if (chunks <= 1) return;
  // The fold that placed each face, and each fold's parent: the fold that
  // placed the face across its crease (−1: the fixed face).
  std::vector<int> placed_by(static_cast<size_t>(n_face), -1);
  for (int k = 0; k < folds; ++k) {
    const int f = plan->fold[k]->face->index;
    if (f < 0 || f >= n_face || placed_by[f] >= 0) return;
    placed_by[f] = k;
  }
  std::vector<int> parent(folds), size(folds, 1);
  for (int k = 0; k < folds; ++k) {
    const int f = plan->fold[k]->pair->face->index;
    parent[k] = f >= 0 && f < n_face ? placed_by[f] : -1;
    if (parent[k] >= k) return;  // a face placed from one not yet placed: not a recording
  }
  for (int k = folds - 1; k >= 0; --k) {
    if (parent[k] >= 0) size[parent[k]] += size[k];
  }
  // A fold joins the trunk while its branch is too large for one chunk;
  // the branches hang from the trunk (or the fixed face).
  const long largest = std::max(1L, static_cast<long>(folds) / chunks);
  std::vector<unsigned char> trunk(folds, 0);
  std::vector<int> branch(folds, -1);  // the first fold of the branch each fold is in
  std::vector<int> roots;
  for (int k = 0; k < folds; ++k) {
    const bool below_trunk = parent[k] < 0 || trunk[parent[k]];
    if (below_trunk && size[k] > largest) {
      trunk[k] = 1;
      plan->order.push_back(k);
    } else {
      branch[k] = below_trunk ? k : branch[parent[k]];
      if (branch[k] == k) roots.push_back(k);
    }
  }
  plan->top = static_cast<int>(plan->order.size());
  // Branches in recorded order, into chunks of at least `largest` folds.
  std::vector<int> chunk_of(folds, -1);
  int made = 0;
  long filled = 0;
  for (int root : roots) {
    if (filled >= largest) {
      ++made;
      filled = 0;
    }
    chunk_of[root] = made;
    filled += size[root];
  }
  const int used = made + 1;
  plan->chunk_start.assign(static_cast<size_t>(used) + 1, 0);
  for (int k = 0; k < folds; ++k) {
    if (!trunk[k]) ++plan->chunk_start[chunk_of[branch[k]] + 1];
  }
  for (int c = 0; c < used; ++c) plan->chunk_start[c + 1] += plan->chunk_start[c];
  std::vector<int> at(plan->chunk_start.begin(), plan->chunk_start.end() - 1);
  plan->order.resize(static_cast<size_t>(plan->top) + plan->chunk_start.back());
  for (int k = 0; k < folds; ++k) {
    if (!trunk[k]) plan->order[plan->top + at[chunk_of[branch[k]]]++] = k;
  }
  for (int& c : plan->chunk_start) c += plan->top;
}

// Places the face of recorded fold k and the vertices it placed.
void replayFold(const ORI_placement* plan, int k) {
  ORI_edge* edge_to = plan->fold[k];
  const double dx = edge_to->x1 - edge_to->x0;
  const double dy = edge_to->y1 - edge_to->y0;
  const double inv = 1.0 / std::sqrt(dy * dy + dx * dx);
  placeAcross(edge_to, dx * inv, dy * inv);
  const double* matrix = edge_to->face->matrix;
  for (int v = plan->vert_start[k]; v < plan->vert_start[k + 1]; ++v) {
    const ORI_edge* e = plan->vert[v];
    placeVertex(matrix, e->x1, e->y1, &e->vert->pos);
  }
}

}  // namespace

int oriManifoldUpdatePlanned(ORI_manifold* om, ORI_placement* plan) {
  ORI_face* start = om->center_face;
  if (start == nullptr) return 0;
  const bool valid = plan->mesh == om && plan->start == start && plan->n_edge == om->n_edge &&
                     plan->n_face == om->n_face && !plan->vert_start.empty() &&
                     plan->vert_start.size() == plan->fold.size() + 1;
  if (!valid) {
    *plan = ORI_placement();
    if (!placeByFrontier(om, start, plan)) {
      *plan = ORI_placement();
      return oriManifoldUpdateByWalk(om, start);
    }
    plan->mesh = om;
    plan->start = start;
    plan->n_edge = om->n_edge;
    plan->n_face = om->n_face;
    keepLastPlacings(plan);
    splitIntoBranches(plan, om->n_face);
    return 0;
  }
  // The recorded order: the start face's corners, then each face from the
  // one across its crease, and the corners it placed.
  for (int v = 0; v < plan->vert_start[0]; ++v) {
    const ORI_edge* e = plan->vert[v];
    placeVertex(start->matrix, e->x1, e->y1, &e->vert->pos);
  }
  if (plan->chunk_start.size() < 2) {
    for (int k = 0; k < static_cast<int>(plan->fold.size()); ++k) replayFold(plan, k);
    return 0;
  }
  for (int i = 0; i < plan->top; ++i) replayFold(plan, plan->order[i]);
  oriSimForChunks(static_cast<int>(plan->chunk_start.size()) - 1, [plan](int c) {
    for (int i = plan->chunk_start[c]; i < plan->chunk_start[c + 1]; ++i) replayFold(plan, plan->order[i]);
  });
  return 0;
}

int oriManifoldFold(ORI_edge* edge_to, int tree_depth) {
  foldFace(edge_to, tree_depth, nullptr, nullptr);
  return 0;
}

namespace {

void foldFace(ORI_edge* edge_to, int tree_depth, std::vector<ORI_edge*>* opened, ORI_placement* plan) {
  ORI_face* F = edge_to->face;
  double dx = edge_to->x1 - edge_to->x0;
  double dy = edge_to->y1 - edge_to->y0;
  const double inv = 1.0 / std::sqrt(dy * dy + dx * dx);
  dx *= inv;
  dy *= inv;
  placeAcross(edge_to, dx, dy);
  if (plan != nullptr) plan->fold.push_back(edge_to);

  for (ORI_edge* e = edge_to->next; e != edge_to; e = e->next) {
    if (e->tree_open == 0) {
      if (e->next->tree_open == 0) {
        placeVertex(F->matrix, e->x1, e->y1, &e->vert->pos);
        if (plan != nullptr) plan->vert.push_back(e);
      }
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
  if (plan != nullptr) plan->vert_start.push_back(static_cast<int>(plan->vert.size()));
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
