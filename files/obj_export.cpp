#include "files/obj_export.h"

#include <cstdio>

#include "files/write_aside.h"
#include "geometry/manifold.h"

namespace {

// 180/π: the "#e" lines give the fold angle in whole degrees.
constexpr double kRadianToDegree = 57.29577951308232;

template <typename T>
T* at(const List* node) {
  return static_cast<T*>(node->data);
}

void clearVisited(ORI_manifold* om) {
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) at<ORI_edge>(l)->visited = 0;
}

void writeFaces(ORI_manifold* om, FILE* fp, bool reversed, int* count) {
  const int bound = om->n_edge + 1;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_face* f = at<ORI_face>(l);
    ++*count;
    std::fputs("f", fp);
    ORI_edge* e = f->first;
    int steps = 0;
    do {
      std::fprintf(fp, " %d/%d", e->vert->obj_index, e->vert->obj_index);
      e = reversed ? e->prev : e->next;
    } while (e != f->first && ++steps < bound);
    std::fputs("\n", fp);
  }
}

}  // namespace

void oriManifoldObjPosition(const ORI_manifold* om, const ORI_vert* v, double xyz[3]) {
  const double* M = om->model_matrix;
  const double s = om->paper_size;
  const double x = v->pos.x, y = v->pos.y, z = v->pos.z;
  xyz[0] = ((M[8] * z + x * M[0]) + M[4] * y + M[12]) * s;
  xyz[1] = ((M[9] * z + x * M[1]) + M[5] * y + M[13]) * s;
  xyz[2] = ((M[10] * z + x * M[2]) + M[6] * y + M[14]) * s;
}

int oriManifoldSaveObj(ORI_manifold* om, FILE* fp) {
  if (fp == nullptr) return -1;
  std::fputs("# Result of Plicata\n", fp);
  int count = 0;
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_vert* v = at<ORI_vert>(l);
    v->obj_index = ++count;
    double p[3];
    oriManifoldObjPosition(om, v, p);
    std::fprintf(fp, "v %.6f %.6f %.6f\n", p[0], p[1], p[2]);
  }
  std::fprintf(fp, "# %d vertices\n", count);
  count = 0;
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_vert* v = at<ORI_vert>(l);
    v->obj_index = ++count;
    const ORI_edge* h = v->out[0];
    std::fprintf(fp, "vt %.6f %.6f\n", h->x0 + 0.5, h->y0 + 0.5);
  }
  std::fprintf(fp, "# %d texture vertices\n", count);
  count = 0;
  writeFaces(om, fp, false, &count);
  writeFaces(om, fp, true, &count);
  std::fprintf(fp, "# %d faces\n", count);

  clearVisited(om);
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = at<ORI_edge>(l);
    e->visited = 1;
    if (e->pair->visited) continue;
    int kind = 0, degrees = 0;
    if (e->on_boundary || e->pair->on_boundary) {
      kind = 1;
    } else if (e->target_angle == 0.0 || e->is_diagonal) {
      kind = 0;
    } else {
      kind = e->target_angle < 0 ? kOriLineTypeMountain : kOriLineTypeValley;
      double d = e->angle * kRadianToDegree;
      if (d < 0) d = -d;
      degrees = d < 2147483647.0 ? static_cast<int>(d) : 0;  // a non-finite angle writes 0
    }
    std::fprintf(fp, "#e %d %d %d %d\n", e->pair->vert->obj_index, e->vert->obj_index, kind, degrees);
  }
  clearVisited(om);
  return std::ferror(fp) ? -1 : 0;
}

int oriManifoldSaveObjFile(ORI_manifold* om, const char* path) {
  return oriWriteFileReplacing(
      path, [](FILE* fp, const void* m) { return oriManifoldSaveObj(static_cast<ORI_manifold*>(const_cast<void*>(m)), fp); },
      om);
}
