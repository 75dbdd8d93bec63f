// The simulation record: numbering, the closure product around each inner
// vertex, its Jacobian with respect to the crease angles, and the residual.
//
// Sections: walking a vertex's cycle; corner factors; creation and deletion;
// Jacobian; residual.
#include "sim/sim_matrix.h"

#include <cblas.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "geometry/manifold.h"

namespace {

// ---- Walking a vertex's cycle ----------------------------------------------

// The outgoing half-edges of an inner vertex v, counter-clockwise from
// out[0]: e → e.prev.pair. Diagonals, which out does not list, are met on
// the way. The walk is bounded by the number of half-edges so that a broken
// loop cannot hang it; on such a mesh the cycle comes back empty.
void vertexCycle(const ORI_vert* v, int n_edge, std::vector<const ORI_edge*>* cycle) {
  cycle->clear();
  if (v->n_out <= 0 || v->out[0] == nullptr) return;
  const ORI_edge* start = v->out[0];
  const ORI_edge* e = start;
  do {
    cycle->push_back(e);
    if (e->prev == nullptr || e->prev->pair == nullptr || static_cast<int>(cycle->size()) > n_edge) {
      cycle->clear();
      return;
    }
    e = e->prev->pair;
  } while (e != start);
}

// ---- Corner factors --------------------------------------------------------

// R = X(θ)·Z(α): the turn across the crease e (angle θ) followed by the turn
// through the corner of e's face at e's tail (angle α, from the flat
// pattern: cos α = −prev.turn_cos, sin α = prev.turn_sin). Row-major 3×3.
void cornerFactor(const ORI_edge* e, double R[9]) {
  const double ct = std::cos(e->angle), st = std::sin(e->angle);
  const double ca = -e->prev->turn_cos, sa = e->prev->turn_sin;
  R[0] = ca;      R[1] = -sa;     R[2] = 0.0;
  R[3] = sa * ct; R[4] = ca * ct; R[5] = -st;
  R[6] = sa * st; R[7] = ca * st; R[8] = ct;
}

// dR/dθ of the factor above.
void cornerDerivative(const ORI_edge* e, double D[9]) {
  const double ct = std::cos(e->angle), st = std::sin(e->angle);
  const double ca = -e->prev->turn_cos, sa = e->prev->turn_sin;
  D[0] = 0.0;       D[1] = 0.0;       D[2] = 0.0;
  D[3] = -sa * st;  D[4] = -ca * st;  D[5] = -ct;
  D[6] = sa * ct;   D[7] = ca * ct;   D[8] = -st;
}

void identity3(double P[9]) {
  for (int i = 0; i < 9; ++i) P[i] = (i % 4 == 0) ? 1.0 : 0.0;
}

// P = P · F, through a scratch product.
void multiplyRight(double P[9], const double F[9]) {
  double scratch[9];
  cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, 3, 3, 3, 1.0, P, 3, F, 3, 0.0, scratch, 3);
  cblas_dcopy(9, scratch, 1, P, 1);
}

// The closure product of a cycle, every factor R except, when replaced is
// one of the cycle's half-edges, that one's derivative D.
void cycleProduct(const std::vector<const ORI_edge*>& cycle, const ORI_edge* replaced, double P[9]) {
  identity3(P);
  double F[9];
  for (const ORI_edge* e : cycle) {
    if (e == replaced) {
      cornerDerivative(e, F);
    } else {
      cornerFactor(e, F);
    }
    multiplyRight(P, F);
  }
}

}  // namespace

// ---- Creation and deletion ---------------------------------------------------

ORISIM_matrix* oriSimNew(ORI_manifold* om) {
  ORISIM_matrix* osm = new ORISIM_matrix();
  osm->n = 0;
  osm->m = 0;

  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    static_cast<ORI_vert*>(l->data)->sim_index = -1;
  }
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    e->crease_index = -1;
    e->sim_active = 1;
  }

  int inner = 0;
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_vert* v = static_cast<ORI_vert*>(l->data);
    if (!v->on_boundary) v->sim_index = inner++;
  }
  int lines = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->on_boundary || e->pair->on_boundary) continue;
    if (e->crease_index != -1 || e->pair->crease_index != -1) continue;
    e->crease_index = lines;
    e->pair->crease_index = lines;
    ++lines;
  }

  std::printf("\nnum_fold_line:%04d  num_inside_vert:%04d\n", lines, inner);
  osm->m = 3 * inner;
  osm->n = lines;
  osm->angle_n.assign(osm->n, 0.0);
  osm->next_angle_n.assign(osm->n, 0.0);
  osm->moment_angle_n.assign(osm->n, 0.0);
  osm->delta_angle_n.assign(osm->n, 0.0);
  if (osm->m != 0) {
    osm->C_mn.assign(static_cast<size_t>(osm->m) * static_cast<size_t>(osm->n), 0.0);
    osm->residual_m.assign(osm->m, 0.0);
  }
  return osm;
}

int oriSimInitMatrix(ORISIM_matrix* osm, ORI_manifold* om) {
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->crease_index >= 0 && e->crease_index < osm->n) osm->angle_n[e->crease_index] = e->angle;
  }
  oriSimUpdateConstraints(osm->C_mn, osm, om);
  return 0;
}

int oriSimDelete(ORISIM_matrix* osm) {
  delete osm;
  return 0;
}

// ---- Jacobian ----------------------------------------------------------------

int oriSimUpdateConstraints(std::vector<double>& C_mn, const ORISIM_matrix* osm, const ORI_manifold* om) {
  if (osm->m == 0) return -1;
  const size_t n = static_cast<size_t>(osm->n);
  if (C_mn.size() < static_cast<size_t>(osm->m) * n) C_mn.resize(static_cast<size_t>(osm->m) * n, 0.0);

  std::vector<const ORI_edge*> cycle;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (v->sim_index < 0) continue;
    vertexCycle(v, om->n_edge, &cycle);
    const size_t row = 3 * static_cast<size_t>(v->sim_index);
    for (const ORI_edge* ej : cycle) {
      const int c = ej->crease_index;
      if (c < 0 || c >= osm->n) continue;
      double P[9];
      if (ej->sim_active == 1) {
        cycleProduct(cycle, ej, P);
      } else {
        identity3(P);
      }
      C_mn[row * n + c] = P[7];            // P[2][1]
      C_mn[(row + 1) * n + c] = P[2];      // P[0][2]
      C_mn[(row + 2) * n + c] = P[3];      // P[1][0]
    }
  }
  return 0;
}

// ---- Residual ----------------------------------------------------------------

double oriSimUpdateResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om) {
  if (osm->m == 0) return 0.0;
  if (residual_m.size() < static_cast<size_t>(osm->m)) residual_m.resize(osm->m, 0.0);

  std::vector<const ORI_edge*> cycle;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    const int s = v->sim_index;
    if (s < 0 || 3 * s + 2 >= osm->m) continue;
    vertexCycle(v, om->n_edge, &cycle);
    double P[9];
    cycleProduct(cycle, nullptr, P);
    residual_m[3 * s] = P[7];
    residual_m[3 * s + 1] = P[2];
    residual_m[3 * s + 2] = P[3];
  }
  return cblas_dasum(osm->m, residual_m.data(), 1);
}
