// The simulation record: numbering, the closure product around each inner
// vertex, its Jacobian with respect to the crease angles, and the residual.
//
// Sections: walking a vertex's cycle; corner factors; path choice; creation
// and deletion; Jacobian; residual.
#include "sim/sim_matrix.h"

#include <cblas.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "sim/parallel_chunks.h"

namespace {

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
      oriSimCornerDerivative(e, F);
    } else {
      oriSimCornerFactor(e, F);
    }
    multiplyRight(P, F);
  }
}

}  // namespace

// ---- Walking a vertex's cycle ----------------------------------------------

void oriSimVertexCycle(const ORI_vert* v, int n_edge, std::vector<const ORI_edge*>* cycle) {
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

void oriSimCornerFactor(const ORI_edge* e, double R[9]) {
  const double ct = std::cos(e->angle), st = std::sin(e->angle);
  const double ca = -e->prev->turn_cos, sa = e->prev->turn_sin;
  R[0] = ca;      R[1] = -sa;     R[2] = 0.0;
  R[3] = sa * ct; R[4] = ca * ct; R[5] = -st;
  R[6] = sa * st; R[7] = ca * st; R[8] = ct;
}

void oriSimCornerDerivative(const ORI_edge* e, double D[9]) {
  const double ct = std::cos(e->angle), st = std::sin(e->angle);
  const double ca = -e->prev->turn_cos, sa = e->prev->turn_sin;
  D[0] = 0.0;       D[1] = 0.0;       D[2] = 0.0;
  D[3] = -sa * st;  D[4] = -ca * st;  D[5] = -ct;
  D[6] = sa * ct;   D[7] = ca * ct;   D[8] = -st;
}

void oriSimCornerFactors(const ORI_edge* e, double R[9], double D[9]) {
  const double ct = std::cos(e->angle), st = std::sin(e->angle);
  const double ca = -e->prev->turn_cos, sa = e->prev->turn_sin;
  R[0] = ca;      R[1] = -sa;     R[2] = 0.0;
  R[3] = sa * ct; R[4] = ca * ct; R[5] = -st;
  R[6] = sa * st; R[7] = ca * st; R[8] = ct;
  D[0] = 0.0;       D[1] = 0.0;       D[2] = 0.0;
  D[3] = -sa * st;  D[4] = -ca * st;  D[5] = -ct;
  D[6] = sa * ct;   D[7] = ca * ct;   D[8] = -st;
}

// ---- Path choice ---------------------------------------------------------------

namespace {

thread_local int g_path_request = kOriSimPathAuto;
thread_local int g_cg_request = kOriSimCGFast;

}  // namespace

void oriSimSetCGRequest(int cg) { g_cg_request = cg == kOriSimCGPlain ? kOriSimCGPlain : kOriSimCGFast; }

int oriSimCGRequest() { return g_cg_request; }

void oriSimSetPathRequest(int path) {
  g_path_request = (path == kOriSimPathDense || path == kOriSimPathSparse) ? path : kOriSimPathAuto;
}

int oriSimPathRequest() { return g_path_request; }

int oriSimChoosePath(int requested, int /*m*/, int /*n*/) {
  if (requested == kOriSimPathDense || requested == kOriSimPathSparse) return requested;
  return kOriSimPathSparse;
}

// ---- Creation and deletion ---------------------------------------------------

namespace {

// Sizes the dense Jacobian with zeros; false, with a message and C_mn empty,
// when memory runs out: the record then takes the sparse path instead of
// ending the program.
bool denseFits(ORISIM_matrix* osm) {
  try {
    osm->C_mn.assign(static_cast<size_t>(osm->m) * static_cast<size_t>(osm->n), 0.0);
    return true;
  } catch (const std::exception&) {
    std::vector<double>().swap(osm->C_mn);
    oriMessage("\tno memory for the dense %d x %d Jacobian: using its nonzeros\n", osm->m, osm->n);
    return false;
  }
}

}  // namespace

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

  // Both lists the step walks instead of the whole list of half-edges.
  osm->crease_edge.assign(lines, nullptr);
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    if (e->crease_index >= 0) {
      osm->crease_edge[e->crease_index] = e;
    } else {
      osm->free_edge.push_back(e);
    }
  }

  oriMessage("\nnum_fold_line:%04d  num_inside_vert:%04d\n", lines, inner);
  osm->m = 3 * inner;
  osm->n = lines;
  osm->angle_n.assign(osm->n, 0.0);
  osm->next_angle_n.assign(osm->n, 0.0);
  osm->moment_angle_n.assign(osm->n, 0.0);
  osm->delta_angle_n.assign(osm->n, 0.0);
  osm->path = oriSimChoosePath(g_path_request, osm->m, osm->n);
  osm->cg = g_cg_request;
  if (osm->m != 0) {
    if (osm->path == kOriSimPathDense && !denseFits(osm)) osm->path = kOriSimPathSparse;
    osm->residual_m.assign(osm->m, 0.0);
  }
  return osm;
}

int oriSimInitMatrix(ORISIM_matrix* osm, ORI_manifold* om) {
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->crease_index >= 0 && e->crease_index < osm->n) osm->angle_n[e->crease_index] = e->angle;
  }
  if (osm->path == kOriSimPathSparse) {
    oriSimSparseUpdate(&osm->C_sparse, osm, om);
  } else {
    oriSimUpdateConstraints(osm->C_mn, osm, om);
  }
  return 0;
}

int oriSimSelectPath(ORISIM_matrix* osm, const ORI_manifold* om, int path) {
  osm->path = oriSimChoosePath(path, osm->m, osm->n);
  if (osm->path == kOriSimPathSparse) {
    std::vector<double>().swap(osm->C_mn);
    oriSimSparseUpdate(&osm->C_sparse, osm, om);
  } else {
    if (osm->m != 0 && !denseFits(osm)) {
      oriSimSelectPath(osm, om, kOriSimPathSparse);
      return -1;
    }
    osm->C_sparse = ORISIM_sparse();
    if (osm->m != 0) oriSimUpdateConstraints(osm->C_mn, osm, om);
  }
  return 0;
}

const void* oriSimJacobianData(const ORISIM_matrix* osm) {
  if (osm->path == kOriSimPathSparse) return osm->C_sparse.val.empty() ? nullptr : osm->C_sparse.val.data();
  return osm->C_mn.empty() ? nullptr : osm->C_mn.data();
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
    // A vertex numbered beyond the record's rows (a mesh that changed after
    // the record was made) has no rows to write.
    if (v->sim_index < 0 || 3 * v->sim_index + 2 >= osm->m) continue;
    oriSimVertexCycle(v, om->n_edge, &cycle);
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

// Inner vertices to a chunk of the residual's walk: a few hundred
// microseconds of cycle products each.
constexpr long kResidualVerticesPerChunk = 1024;

void oriSimFillResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om,
                        void (*product)(const std::vector<const ORI_edge*>& cycle, double P[9])) {
  if (osm->m == 0) return;
  if (residual_m.size() < static_cast<size_t>(osm->m)) residual_m.resize(osm->m, 0.0);
  // The numbered vertices in list order, so that a large sheet's walk can
  // be shared out; each vertex writes its own three rows only.
  std::vector<const ORI_vert*> inner;
  inner.reserve(static_cast<size_t>(osm->m / 3));
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    const int s = v->sim_index;
    if (s >= 0 && 3 * s + 2 < osm->m) inner.push_back(v);
  }
  const long count = static_cast<long>(inner.size());
  const int chunks = oriSimChunks(count, kResidualVerticesPerChunk);
  double* rows = residual_m.data();
  const int n_edge = om->n_edge;
  oriSimForChunks(chunks, [&](int k) {
    std::vector<const ORI_edge*> cycle;
    for (long i = oriSimChunkBegin(count, chunks, k); i < oriSimChunkBegin(count, chunks, k + 1); ++i) {
      const ORI_vert* v = inner[static_cast<size_t>(i)];
      const int s = v->sim_index;
      oriSimVertexCycle(v, n_edge, &cycle);
      double P[9];
      product(cycle, P);
      rows[3 * s] = P[7];
      rows[3 * s + 1] = P[2];
      rows[3 * s + 2] = P[3];
    }
  });
}

double oriSimUpdateResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om) {
  if (osm->m == 0) return 0.0;
  oriSimFillResidual(residual_m, osm, om, [](const std::vector<const ORI_edge*>& cycle, double P[9]) {
    cycleProduct(cycle, nullptr, P);
  });
  return cblas_dasum(osm->m, residual_m.data(), 1);
}
