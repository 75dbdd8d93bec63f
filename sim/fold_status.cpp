#include "sim/fold_status.h"

#include <cmath>
#include <vector>

#include "geometry/manifold.h"
#include "sim/sim_matrix.h"
#include "sim/sparse_jacobian.h"

double oriFoldProgress(const ORI_manifold* om) {
  double sum = 0.0;
  int lines = 0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    // One half of each line: the one listed first.
    if (e->target_angle == 0.0 || e->pair == nullptr || e->index > e->pair->index) continue;
    sum += std::fabs(e->angle) / std::fabs(e->target_angle);
    ++lines;
  }
  return lines > 0 ? 100.0 * sum / lines : 0.0;
}

double oriFoldWorstVertex(const ORISIM_matrix* osm, const ORI_manifold* om, int* vertex) {
  std::vector<double> error;
  int worst = -1;
  const double largest = oriSimVertexClosure(error, osm, om, &worst);
  if (vertex != nullptr) {
    *vertex = -1;
    for (const List* l = om->verts; worst >= 0 && l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
      if (v->sim_index == worst) {
        *vertex = v->index;
        break;
      }
    }
  }
  return largest;
}
