#include "flat/folded_form.h"

#include <cmath>
#include <numeric>

#include "flat/flat_lines.h"
#include "geometry/manifold.h"

namespace {

// m = a ∘ b: first b, then a (both 2 × 3 affine maps, rows of 3).
void compose(const double a[6], const double b[6], double m[6]) {
  m[0] = a[0] * b[0] + a[1] * b[3];
  m[1] = a[0] * b[1] + a[1] * b[4];
  m[2] = a[0] * b[2] + a[1] * b[5] + a[2];
  m[3] = a[3] * b[0] + a[4] * b[3];
  m[4] = a[3] * b[1] + a[4] * b[4];
  m[5] = a[3] * b[2] + a[4] * b[5] + a[5];
}

// The reflection of the plane across the line of e (crease-pattern ends).
// A line of no length reflects nothing.
void reflection(const ORI_edge* e, double r[6]) {
  double ux = e->x1 - e->x0, uy = e->y1 - e->y0;
  const double len = std::hypot(ux, uy);
  if (!(len > 0.0)) {
    const double id[6] = {1, 0, 0, 0, 1, 0};
    std::copy(id, id + 6, r);
    return;
  }
  ux /= len;
  uy /= len;
  const double c = ux * ux - uy * uy, s = 2.0 * ux * uy;
  r[0] = c;
  r[1] = s;
  r[3] = s;
  r[4] = -c;
  // p0 + M (p − p0) = M p + (p0 − M p0).
  r[2] = e->x0 - (c * e->x0 + s * e->y0);
  r[5] = e->y0 - (s * e->x0 - c * e->y0);
}

int findRoot(std::vector<int>& parent, int a) {
  while (parent[a] != a) {
    parent[a] = parent[parent[a]];
    a = parent[a];
  }
  return a;
}

}  // namespace

int oriFlatFoldedForm(const ORI_manifold* om, ORI_foldedForm* form) {
  *form = ORI_foldedForm{};
  std::vector<const ORI_face*> faces;
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    if (f->index != static_cast<int>(faces.size()) || f->first == nullptr) return -1;
    faces.push_back(f);
  }
  int n_vert = 0;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    if (static_cast<const ORI_vert*>(l->data)->index != n_vert++) return -1;
  }
  if (faces.empty()) return -1;
  const int n_face = static_cast<int>(faces.size());
  const size_t bound = static_cast<size_t>(om->n_edge) + 1;  // longest walk around a face

  form->n_face = n_face;
  form->n_vert = n_vert;
  form->face_map.assign(6 * static_cast<size_t>(n_face), 0.0);
  form->vertex_xy.assign(2 * static_cast<size_t>(n_vert), NAN);
  std::vector<char> placed(n_face, 0), vert_placed(n_vert, 0);
  std::vector<int> queue;
  queue.reserve(n_face);
  const int fixed = om->center_face != nullptr && om->center_face->index >= 0 && om->center_face->index < n_face
                        ? om->center_face->index
                        : 0;
  form->fixed_face = fixed;

  // Breadth first from the fixed face, then from every face still unreached.
  for (int seed_k = -1; seed_k < n_face; ++seed_k) {
    const int seed = seed_k < 0 ? fixed : seed_k;
    if (placed[seed]) continue;
    if (seed_k >= 0) ++form->n_unreached;
    const double id[6] = {1, 0, 0, 0, 1, 0};
    std::copy(id, id + 6, &form->face_map[6 * static_cast<size_t>(seed)]);
    placed[seed] = 1;
    const size_t begin = queue.size();
    queue.push_back(seed);
    for (size_t q = begin; q < queue.size(); ++q) {
      const int fi = queue[q];
      const double* mf = &form->face_map[6 * static_cast<size_t>(fi)];
      const ORI_edge* e = faces[fi]->first;
      size_t steps = 0;
      do {
        const ORI_face* g = e->pair != nullptr ? e->pair->face : nullptr;
        if (g != nullptr && g->index >= 0 && g->index < n_face && !placed[g->index]) {
          double* mg = &form->face_map[6 * static_cast<size_t>(g->index)];
          if (oriFlatLineFold(e) != 0) {
            double r[6];
            reflection(e, r);
            compose(mf, r, mg);
          } else {
            std::copy(mf, mf + 6, mg);
          }
          placed[g->index] = 1;
          if (seed_k >= 0) ++form->n_unreached;
          queue.push_back(g->index);
        }
        e = e->next;
      } while (e != nullptr && e != faces[fi]->first && ++steps < bound);
    }
  }

  // Every vertex where the first face placed reaches it; the others measure
  // how far they disagree.
  for (const int fi : queue) {
    const ORI_edge* e = faces[fi]->first;
    size_t steps = 0;
    do {
      const int v = e->vert != nullptr ? e->vert->index : -1;
      if (v >= 0 && v < n_vert) {
        double x, y;
        oriFlatMapPoint(*form, fi, e->x1, e->y1, &x, &y);
        if (!vert_placed[v]) {
          vert_placed[v] = 1;
          form->vertex_xy[2 * v] = x;
          form->vertex_xy[2 * v + 1] = y;
        } else {
          const double d = std::hypot(x - form->vertex_xy[2 * v], y - form->vertex_xy[2 * v + 1]);
          if (d > form->gap) {
            form->gap = d;
            form->gap_vertex = v;
          }
        }
      }
      e = e->next;
    } while (e != nullptr && e != faces[fi]->first && ++steps < bound);
  }
  // A vertex on no face keeps its crease-pattern place.
  int k = 0;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next, ++k) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (vert_placed[k]) continue;
    const bool has_line = v->n_out > 0 && v->out[0] != nullptr;
    form->vertex_xy[2 * k] = has_line ? v->out[0]->x0 : v->pos.x;
    form->vertex_xy[2 * k + 1] = has_line ? v->out[0]->y0 : v->pos.y;
  }

  // Facets: faces joined across lines that do not fold.
  std::vector<int> parent(n_face);
  std::iota(parent.begin(), parent.end(), 0);
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->face == nullptr || e->pair == nullptr || e->pair->face == nullptr) continue;
    if (oriFlatLineFold(e) != 0 || oriFlatLineOnOutline(e)) continue;
    const int a = findRoot(parent, e->face->index), b = findRoot(parent, e->pair->face->index);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);
  }
  form->face_facet.assign(n_face, -1);
  std::vector<int> root_facet(n_face, -1);
  for (int f = 0; f < n_face; ++f) {
    const int r = findRoot(parent, f);
    if (root_facet[r] < 0) root_facet[r] = form->n_facet++;
    form->face_facet[f] = root_facet[r];
  }
  // Each facet moves with the face of it reached first.
  form->facet_face.assign(form->n_facet, -1);
  form->facet_up.assign(form->n_facet, 1);
  for (const int fi : queue) {
    const int c = form->face_facet[fi];
    if (form->facet_face[c] >= 0) continue;
    form->facet_face[c] = fi;
    const double* m = &form->face_map[6 * static_cast<size_t>(fi)];
    form->facet_up[c] = m[0] * m[4] - m[1] * m[3] >= 0.0 ? 1 : -1;
  }
  return 0;
}
