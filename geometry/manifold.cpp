// Manifold records: creation, deletion, numbering, the fixed face, face
// lookup and the invariant check.
#include "geometry/manifold.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "geometry/grid.h"
#include "geometry/paper_color.h"

// Every block of records a manifold allocates, released with it. The lists
// hold pointers into these blocks. Records made one at a time (the
// tessellation's half-edges and faces) are cut from chunks, so that they lie
// together in memory as the constructed records do, and cost no allocation
// each.
struct ORI_storage {
  std::vector<void*> blocks;
  std::vector<std::pair<const List*, size_t>> node_blocks;  // list nodes of oriManifoldFillList
  char* chunk = nullptr;  // the chunk single records are cut from
  size_t chunk_left = 0;  // its bytes not handed out yet
};

namespace {

// A point this close outside an edge's line (a CP distance) still counts as
// inside the face: the walk must not bounce between two faces across a
// crease the point lies on. It is a distance, not a product of length and
// distance: on a fine pattern such a product spans whole facets, and the walk
// stopped in a neighbour of the face holding the point.
constexpr double kSelectInsideDistance = 1e-9;

// A point this close to a side of a face (CP units) lies on the face.
constexpr double kOnSideDistance = 1e-9;

// Blocks of at least this many bytes are laid on huge pages where the
// system offers them (madvise): a large sheet's records are then faulted in
// 2 MiB at a time instead of 4 KiB, tens of thousands of faults fewer on a
// 200 × 200 sheet. Freed with free() like the others.
constexpr size_t kHugeBlock = size_t{4} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

void* storageAlloc(ORI_manifold* om, size_t count, size_t size) {
  void* p = nullptr;
  if (size != 0 && count <= SIZE_MAX / size && count * size >= kHugeBlock) {
    const size_t bytes = count * size;
    if (posix_memalign(&p, kHugePage, bytes) != 0) p = nullptr;
    if (p != nullptr) {
      madvise(p, bytes, MADV_HUGEPAGE);
      std::memset(p, 0, bytes);
    }
  } else {
    p = std::calloc(count, size);
  }
  if (p != nullptr) om->storage->blocks.push_back(p);
  return p;
}

// Bytes of a chunk single records are cut from.
constexpr size_t kRecordChunk = size_t{1} << 16;

// A zeroed record of size bytes cut from the current chunk (a new chunk when
// it has no room left). Null when memory runs out.
void* storageRecord(ORI_manifold* om, size_t size) {
  ORI_storage* st = om->storage;
  const size_t align = alignof(std::max_align_t);
  const size_t need = (size + align - 1) / align * align;
  if (need > kRecordChunk) return storageAlloc(om, 1, size);
  if (st->chunk_left < need) {
    st->chunk = static_cast<char*>(storageAlloc(om, 1, kRecordChunk));
    st->chunk_left = st->chunk != nullptr ? kRecordChunk : 0;
    if (st->chunk == nullptr) return nullptr;
  }
  void* p = st->chunk;
  st->chunk += need;
  st->chunk_left -= need;
  return p;
}

}  // namespace

void oriMatrixIdentity(double m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

ORI_manifold* oriManifoldNew() {
  ORI_manifold* om = static_cast<ORI_manifold*>(std::calloc(1, sizeof(ORI_manifold)));
  om->storage = new ORI_storage();
  om->paper_size = 400.0;
  om->moment_factor = 0;
  om->fold_to = 1.0;
  om->verts = listNew();
  om->edges = listNew();
  om->faces = listNew();
  input(om->center, 0.0, 0.0, 0.0);
  oriMatrixIdentity(om->model_matrix);
  input(om->light_dir, -0.2857142857142857, 0.8571428571428571, 0.42857142857142855);
  oriManifoldSetPaperColors(om, nullptr);
  return om;
}

namespace {

// listDestruct for a list of om, whose nodes may lie in its node blocks:
// those go with the blocks.
void destructList(ORI_manifold* om, List* top) {
  if (top == nullptr) return;
  const auto& pooled = om->storage != nullptr ? om->storage->node_blocks : std::vector<std::pair<const List*, size_t>>();
  if (pooled.empty()) {
    listDestruct(top);
    return;
  }
  listCursorClose(top);
  List* node = top;
  while (node != nullptr) {
    List* next = node->next;
    bool in_block = false;
    for (const auto& b : pooled) in_block = in_block || (node >= b.first && node < b.first + b.second);
    if (!in_block) std::free(node);
    node = next;
  }
}

}  // namespace

int oriManifoldDelete(ORI_manifold* om) {
  if (om == nullptr) return 0;
  destructList(om, om->edges);
  destructList(om, om->verts);
  destructList(om, om->faces);
  if (om->storage != nullptr) {
    for (void* p : om->storage->blocks) std::free(p);
    delete om->storage;
  }
  std::free(om);
  return 0;
}

ORI_vert* oriAddVert(ORI_vert* vertlist, double x, double y, double z, double threshold) {
  ORI_vert* v = vertlist;
  for (; v->n_out != 0; ++v) {
    if (v->pos.x > x - threshold && v->pos.x < x + threshold && v->pos.y > y - threshold &&
        v->pos.y < y + threshold && v->pos.z > z - threshold && v->pos.z < z + threshold) {
      return v;
    }
  }
  input(v->pos, x, y, z);
  return v;
}

void oriManifoldIndex(ORI_manifold* om) {
  int i = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    static_cast<ORI_face*>(l->data)->index = i++;
  }
  i = 0;
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    static_cast<ORI_vert*>(l->data)->index = i++;
  }
  i = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    static_cast<ORI_edge*>(l->data)->index = i++;
  }
  int crease = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->on_boundary == 0 && e->pair->on_boundary == 0 && e->crease_index == -1 &&
        e->pair->crease_index == -1) {
      e->crease_index = crease;
      e->pair->crease_index = crease;
      ++crease;
    }
  }
}

int oriManifoldCenterFace(ORI_manifold* om) {
  ORI_face* best = nullptr;
  double best_mean = 0.0;
  const int bound = om->n_edge + 1;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_face* f = static_cast<ORI_face*>(l->data);
    double sum = 0.0;
    int count = 0;
    ORI_edge* e = f->first;
    do {
      sum += e->x1 * e->x1 + e->y1 * e->y1;
      ++count;
      e = e->next;
    } while (e != f->first && e != nullptr && count <= bound);
    const double mean = sum / count;
    if (best == nullptr || mean < best_mean) {
      best = f;
      best_mean = mean;
    }
  }
  om->center_face = best;
  return 0;
}

namespace {

// Whether a face holds a CP-plane point: inside its loop by the winding
// number, or on one of its sides. Used to confirm where the walk stopped and
// when it circles.
bool faceContainsPoint(const ORI_face* f, double x, double y, int bound) {
  int winding = 0;
  const ORI_edge* e = f->first;
  int steps = 0;
  do {
    const double ax = e->x0, ay = e->y0, bx = e->x1, by = e->y1;
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0.0;
    if (t >= 0.0 && t <= 1.0) {
      const double cx = ax + t * dx - x, cy = ay + t * dy - y;
      if (cx * cx + cy * cy < kOnSideDistance * kOnSideDistance) return true;
    }
    const double side = dx * (y - ay) - dy * (x - ax);
    if (ay <= y) {
      if (by > y && side > 0) ++winding;
    } else {
      if (by <= y && side < 0) --winding;
    }
    e = e->next;
  } while (e != f->first && ++steps < bound);
  return winding != 0;
}

// The face holding the point among all faces, or null.
ORI_face* findFaceHolding(ORI_manifold* om, double x, double y) {
  const int loop_bound = om->n_edge + 1;
  for (List* n = om->faces; n != nullptr && n->data != nullptr; n = n->next) {
    ORI_face* g = static_cast<ORI_face*>(n->data);
    if (faceContainsPoint(g, x, y, loop_bound)) return g;
  }
  return nullptr;
}

// A face's box is widened by this (CP units) so that no point the face holds
// by faceContainsPoint lies outside it: points on a side count within
// kOnSideDistance, and the winding test needs the point within the loop.
constexpr double kIndexBoxMargin = 1e-6;

}  // namespace

// Faces listed per cell of a grid over the faces' boxes; each cell lists, in
// list order, the faces whose widened box meets it.
struct ORI_face_index {
  struct Box {
    double x0, y0, x1, y1;
  };
  OriGrid grid;                     // face positions per cell
  std::vector<ORI_face*> faces;     // in list order
  std::vector<Box> boxes;           // widened box of each face
  int loop_bound = 1;
  bool unboxed = false;             // some face has a coordinate that is not a number
};

namespace {

// The first face in list order that holds the point, as findFaceHolding
// finds it.
ORI_face* holdingIndexed(const ORI_face_index* index, double x, double y) {
  // Faces with coordinates that are not numbers have no box, nor has a point
  // that is not one: test every face then, as without an index.
  if (index->unboxed || !std::isfinite(x) || !std::isfinite(y)) {
    for (ORI_face* f : index->faces) {
      if (faceContainsPoint(f, x, y, index->loop_bound)) return f;
    }
    return nullptr;
  }
  // The grid covers every widened box; a point outside it falls in a border
  // cell and outside every box there.
  ORI_face* found = nullptr;
  index->grid.forEachId(index->grid.cellX(x), index->grid.cellY(y), [&](int f) {
    const ORI_face_index::Box& b = index->boxes[f];
    if (x < b.x0 || x > b.x1 || y < b.y0 || y > b.y1) return true;
    if (!faceContainsPoint(index->faces[f], x, y, index->loop_bound)) return true;
    found = index->faces[f];
    return false;
  });
  return found;
}

}  // namespace

ORI_face_index* oriFaceIndexNew(const ORI_manifold* om) {
  ORI_face_index* index = new ORI_face_index();
  index->loop_bound = om->n_edge + 1;
  double lo_x = HUGE_VAL, lo_y = HUGE_VAL, hi_x = -HUGE_VAL, hi_y = -HUGE_VAL;
  for (List* n = om->faces; n != nullptr && n->data != nullptr; n = n->next) {
    ORI_face* f = static_cast<ORI_face*>(n->data);
    ORI_face_index::Box b = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    const ORI_edge* e = f->first;
    int steps = 0;
    do {
      if (!std::isfinite(e->x0 + e->x1 + e->y0 + e->y1)) index->unboxed = true;
      b.x0 = std::fmin(b.x0, std::fmin(e->x0, e->x1));
      b.x1 = std::fmax(b.x1, std::fmax(e->x0, e->x1));
      b.y0 = std::fmin(b.y0, std::fmin(e->y0, e->y1));
      b.y1 = std::fmax(b.y1, std::fmax(e->y0, e->y1));
      e = e->next;
    } while (e != f->first && ++steps < index->loop_bound);
    b = {b.x0 - kIndexBoxMargin, b.y0 - kIndexBoxMargin, b.x1 + kIndexBoxMargin, b.y1 + kIndexBoxMargin};
    if (!(b.x0 <= b.x1 && b.y0 <= b.y1 && std::isfinite(b.x0 + b.x1 + b.y0 + b.y1))) index->unboxed = true;
    index->faces.push_back(f);
    index->boxes.push_back(b);
    lo_x = std::fmin(lo_x, b.x0);
    lo_y = std::fmin(lo_y, b.y0);
    hi_x = std::fmax(hi_x, b.x1);
    hi_y = std::fmax(hi_y, b.y1);
  }
  if (index->unboxed || index->faces.empty()) return index;

  index->grid.cover(lo_x, lo_y, hi_x, hi_y, index->faces.size());
  for (size_t f = 0; f < index->faces.size(); ++f) {
    const ORI_face_index::Box& b = index->boxes[f];
    index->grid.addBox(b.x0, b.y0, b.x1, b.y1, static_cast<int>(f));
  }
  return index;
}

void oriFaceIndexDelete(ORI_face_index* index) { delete index; }

ORI_face* oriManifoldSelectFace(ORI_manifold* om, double x, double y) {
  return oriManifoldSelectFaceIndexed(om, nullptr, x, y);
}

ORI_face* oriManifoldSelectFaceIndexed(ORI_manifold* om, const ORI_face_index* index, double x, double y) {
  auto holding = [&]() { return index != nullptr ? holdingIndexed(index, x, y) : findFaceHolding(om, x, y); };
  List* l = om->faces;
  while (l != nullptr && l->data == nullptr) l = l->next;
  if (l == nullptr) return nullptr;
  ORI_face* f = static_cast<ORI_face*>(l->data);
  ORI_edge* e = f->first;
  ORI_edge* stop = e;
  // Each step tests one half-edge; a walk on convex faces never needs more
  // than a few passes over all of them.
  const long bound = 4L * (om->n_edge + 4);
  for (long step = 0; step < bound; ++step) {
    const double s = (e->x1 - e->x0) * (y - e->y0) - (e->y1 - e->y0) * (x - e->x0);
    const double len = std::sqrt((e->x1 - e->x0) * (e->x1 - e->x0) + (e->y1 - e->y0) * (e->y1 - e->y0));
    if (s > -kSelectInsideDistance * len) {
      e = e->next;
    } else {
      if (e->pair->face == nullptr) {
        // Beyond the line of an outline side. On a sheet whose outline is
        // not convex the point may still lie on the paper further on.
        if (faceContainsPoint(f, x, y, om->n_edge + 1)) return f;
        ORI_face* holder = holding();
        return holder != nullptr ? holder : f;
      }
      stop = e->pair;
      e = e->pair->next;
      f = e->face;
    }
    if (e == stop) return f;
  }
  ORI_face* holder = holding();
  return holder != nullptr ? holder : f;
}

bool oriManifoldTriangulated(ORI_manifold* om) {
  if (om->faces == nullptr || om->faces->data == nullptr) return false;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_face* f = static_cast<ORI_face*>(l->data);
    int count = 0;
    ORI_edge* e = f->first;
    do {
      ++count;
      e = e->next;
    } while (e != f->first && count <= 3);
    if (count != 3) return false;
  }
  return true;
}

ORI_edge* oriManifoldNewEdge(ORI_manifold* om) {
  ORI_edge* e = static_cast<ORI_edge*>(storageRecord(om, sizeof(ORI_edge)));
  if (e == nullptr) return nullptr;
  e->crease_index = -1;
  e->index = -1;
  e->tree_depth = -1;
  return e;
}

ORI_face* oriManifoldNewFace(ORI_manifold* om) {
  ORI_face* f = static_cast<ORI_face*>(storageRecord(om, sizeof(ORI_face)));
  if (f == nullptr) return nullptr;
  f->index = -1;
  return f;
}

void* oriManifoldAllocBlock(ORI_manifold* om, size_t count, size_t size) {
  return storageAlloc(om, count, size);
}

int oriManifoldFillList(ORI_manifold* om, List* top, void* const* records, size_t count) {
  if (count == 0) return 0;
  List* nodes = nullptr;
  if (count > 1) {
    nodes = static_cast<List*>(storageAlloc(om, count - 1, sizeof(List)));
    if (nodes == nullptr) return -1;
    om->storage->node_blocks.push_back({nodes, count - 1});
  }
  top->data = records[0];
  top->prev = nullptr;
  top->next = count > 1 ? &nodes[0] : nullptr;
  for (size_t k = 1; k < count; ++k) {
    List* node = &nodes[k - 1];
    node->data = records[k];
    node->prev = k == 1 ? top : &nodes[k - 2];
    node->next = k + 1 < count ? &nodes[k] : nullptr;
  }
  return 0;
}

namespace {

int fail(char* why, size_t why_size, const char* fmt, ...) {
  if (why != nullptr && why_size > 0) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(why, why_size, fmt, ap);
    va_end(ap);
  }
  return -1;
}

}  // namespace

int oriManifoldValidate(const ORI_manifold* om, char* why, size_t why_size) {
  if (why != nullptr && why_size > 0) why[0] = '\0';
  const int n_vert = listCount(om->verts);
  const int n_edge = listCount(om->edges);
  const int n_face = listCount(om->faces);
  if (n_vert != om->n_vert || n_edge != om->n_edge || n_face != om->n_face) {
    return fail(why, why_size, "counts (%d, %d, %d) differ from the lists (%d, %d, %d)", om->n_vert,
                om->n_edge, om->n_face, n_vert, n_edge, n_face);
  }
  const double eps = 1e-12;
  int boundary_edges = 0;
  int position = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next, ++position) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->pair == nullptr || e->pair->pair != e) return fail(why, why_size, "half-edge %d: pair.pair is not itself", position);
    if (e->next == nullptr || e->prev == nullptr) return fail(why, why_size, "half-edge %d: missing next or prev", position);
    if (e->next->prev != e) return fail(why, why_size, "half-edge %d: next.prev is not itself", position);
    if (e->next->pair->vert != e->vert) return fail(why, why_size, "half-edge %d: next does not leave its head", position);
    if (std::fabs(e->x0 - e->pair->x1) > eps || std::fabs(e->y0 - e->pair->y1) > eps ||
        std::fabs(e->x1 - e->pair->x0) > eps || std::fabs(e->y1 - e->pair->y0) > eps) {
      return fail(why, why_size, "half-edge %d: CP coordinates differ from its pair's", position);
    }
    if (e->on_boundary) {
      ++boundary_edges;
      if (e->face != nullptr) return fail(why, why_size, "half-edge %d: boundary half-edge has a face", position);
      if (!e->next->on_boundary) return fail(why, why_size, "half-edge %d: boundary loop leaves the boundary", position);
    } else {
      if (e->face == nullptr) return fail(why, why_size, "half-edge %d: inner half-edge without a face", position);
      if (e->next->face != e->face) return fail(why, why_size, "half-edge %d: next lies on another face", position);
    }
  }
  if (n_edge > 0 && boundary_edges == 0) return fail(why, why_size, "no outer boundary");
  position = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next, ++position) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    if (f->first == nullptr || f->first->face != f) return fail(why, why_size, "face %d: first is not on the face", position);
    const ORI_edge* e = f->first;
    int steps = 0;
    do {
      if (e->face != f) return fail(why, why_size, "face %d: loop reaches another face", position);
      e = e->next;
    } while (e != f->first && ++steps <= n_edge);
    if (e != f->first) return fail(why, why_size, "face %d: loop does not close", position);
    if (steps + 1 < 3) return fail(why, why_size, "face %d: fewer than three sides", position);
  }
  position = 0;
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next, ++position) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (v->n_out < 1 || v->out == nullptr) return fail(why, why_size, "vertex %d: %d lines end there", position, v->n_out);
    for (int k = 0; k < v->n_out; ++k) {
      if (v->out[k] == nullptr || v->out[k]->pair->vert != v) {
        return fail(why, why_size, "vertex %d: out entry %d does not leave it", position, k);
      }
    }
  }
  return 0;
}
