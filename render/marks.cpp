#include "render/marks.h"

#include <cmath>

#include "geometry/manifold.h"
#include "geometry/self_intersection.h"
#include "sim/compliant.h"
#include "sim/sparse_jacobian.h"

double oriGLMarksClosure(OriGLMarks* marks, const ORISIM_matrix* osm, const ORI_manifold* om, int* worst_vertex) {
  marks->vertex_closure.assign(om->n_vert > 0 ? static_cast<size_t>(om->n_vert) : 0, 0.0);
  std::vector<double> by_sim;
  if (osm != nullptr) oriSimVertexClosure(by_sim, osm, om, nullptr);
  double worst = 0.0;
  int where = -1;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    const int s = v->sim_index;
    if (s < 0 || static_cast<size_t>(s) >= by_sim.size()) continue;
    if (v->index < 0 || v->index >= static_cast<int>(marks->vertex_closure.size())) continue;
    const double error = by_sim[s];
    marks->vertex_closure[v->index] = error;
    // A vertex whose error is not a number is the worst there is.
    if (where < 0 || (!std::isnan(worst) && (std::isnan(error) || error > worst))) {
      worst = error;
      where = v->index;
    }
  }
  marks->crease_to_go.clear();
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->crease_index < 0 || e->target_angle == 0.0 || e->is_diagonal) continue;
    if (static_cast<size_t>(e->crease_index) >= marks->crease_to_go.size()) {
      marks->crease_to_go.resize(static_cast<size_t>(e->crease_index) + 1, 0.0);
    }
    marks->crease_to_go[e->crease_index] = e->target_angle * om->fold_to - e->angle;
  }
  if (worst_vertex != nullptr) *worst_vertex = where;
  return worst;
}

double oriGLMarksFarthestCrease(const OriGLMarks& marks) {
  double farthest = 0.0;
  for (const double d : marks.crease_to_go) farthest = std::fmax(farthest, std::fabs(d));
  return farthest;
}

double oriGLMarksStrain(OriGLMarks* marks, const ORI_manifold* om) {
  std::vector<double> by_edge;
  const double worst = oriSimBarStrain(om, &by_edge);
  marks->vertex_strain.assign(om->n_vert > 0 ? static_cast<size_t>(om->n_vert) : 0, 0.0);
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->index < 0 || static_cast<size_t>(e->index) >= by_edge.size()) continue;
    const double value = std::fabs(by_edge[e->index]);
    for (const ORI_vert* v : {e->vert, e->pair->vert}) {
      if (v->index < 0 || static_cast<size_t>(v->index) >= marks->vertex_strain.size()) continue;
      double& slot = marks->vertex_strain[v->index];
      if (!(value <= slot)) slot = value;
    }
  }
  std::vector<double> bending;
  marks->largest_bend = oriSimFacetBending(om, &bending);
  return worst;
}

int oriGLMarksCollisions(OriGLMarks* marks, const ORI_manifold* om) {
  marks->pairs = oriManifoldIntersectingFaces(om, &marks->face_hit);
  return marks->pairs;
}
