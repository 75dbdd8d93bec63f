// The Jacobian by rows of nonzeros.
//
// Sections: 3 × 3 products; the rows of each inner vertex; the residual;
// products with the Jacobian.
#include "sim/sparse_jacobian.h"

#include <cmath>
#include <vector>

#include "geometry/manifold.h"
#include "sim/sim_matrix.h"

namespace {

// ---- 3 × 3 products ----------------------------------------------------------
//
// Row-major 3 × 3 products written out: the dense path's CBLAS call per
// product costs about a hundred nanoseconds, which for ten thousand vertices
// of degree six is most of a step.

void identity3(double P[9]) {
  for (int i = 0; i < 9; ++i) P[i] = (i % 4 == 0) ? 1.0 : 0.0;
}

// C = A · B; C may not alias A or B.
inline __attribute__((always_inline)) void multiply3(const double A[9], const double B[9], double C[9]) {
  for (int i = 0; i < 3; ++i) {
    const double a0 = A[3 * i], a1 = A[3 * i + 1], a2 = A[3 * i + 2];
    C[3 * i] = a0 * B[0] + a1 * B[3] + a2 * B[6];
    C[3 * i + 1] = a0 * B[1] + a1 * B[4] + a2 * B[7];
    C[3 * i + 2] = a0 * B[2] + a1 * B[5] + a2 * B[8];
  }
}

// Entry (i, j) of A · B.
double entry3(const double A[9], const double B[9], int i, int j) {
  return A[3 * i] * B[j] + A[3 * i + 1] * B[3 + j] + A[3 * i + 2] * B[6 + j];
}

// The inner vertices in row order: slot s holds the vertex whose sim_index
// is s (the last in list order, should two share one), null where none does.
void verticesByRow(const ORISIM_matrix* osm, const ORI_manifold* om, std::vector<const ORI_vert*>* by_row) {
  by_row->assign(static_cast<size_t>(osm->m / 3), nullptr);
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (v->sim_index >= 0 && v->sim_index < osm->m / 3) (*by_row)[v->sim_index] = v;
  }
}

}  // namespace

// ---- The rows of each inner vertex -------------------------------------------

int oriSimSparseUpdate(ORISIM_sparse* J, const ORISIM_matrix* osm, const ORI_manifold* om) {
  J->m = osm->m;
  J->n = osm->n;
  J->vert_start.assign(static_cast<size_t>(osm->m / 3) + 1, 0);
  J->col.clear();
  J->val.clear();
  J->owner_start.clear();
  J->other.clear();
  J->pair_val.clear();
  J->paired = false;
  J->residual.assign(static_cast<size_t>(osm->m), 0.0);
  if (osm->m == 0) return -1;

  std::vector<const ORI_vert*> by_row;
  verticesByRow(osm, om, &by_row);
  std::vector<const ORI_edge*> cycle;
  std::vector<double> R, D, prefix, suffix;  // 9 doubles per factor
  for (size_t s = 0; s < by_row.size(); ++s) {
    const size_t first = J->col.size();
    cycle.clear();
    if (by_row[s] != nullptr) oriSimVertexCycle(by_row[s], om->n_edge, &cycle);
    const size_t K = cycle.size();

    // Prefix L_j = R_0 ⋯ R_(j−1) and suffix S_j = R_(j+1) ⋯ R_(K−1): the
    // product with factor j replaced by its derivative is L_j · D_j · S_j.
    R.resize(9 * K);
    D.resize(9 * K);
    prefix.resize(9 * (K + 1));
    suffix.resize(9 * (K + 1));
    for (size_t j = 0; j < K; ++j) oriSimCornerFactors(cycle[j], &R[9 * j], &D[9 * j]);
    identity3(&prefix[0]);
    for (size_t j = 0; j < K; ++j) multiply3(&prefix[9 * j], &R[9 * j], &prefix[9 * (j + 1)]);
    // The whole product: the closure residual, as oriSimSparseResidual has it.
    if (by_row[s] != nullptr) {
      const double* P = &prefix[9 * K];
      J->residual[3 * s] = P[7];
      J->residual[3 * s + 1] = P[2];
      J->residual[3 * s + 2] = P[3];
    }
    // suffix[9 j] holds S_j; S_(K−1) is the identity.
    if (K > 0) {
      identity3(&suffix[9 * (K - 1)]);
      for (size_t j = K - 1; j > 0; --j) multiply3(&R[9 * j], &suffix[9 * j], &suffix[9 * (j - 1)]);
    }

    for (size_t j = 0; j < K; ++j) {
      const int c = cycle[j]->crease_index;
      if (c < 0 || c >= osm->n) continue;
      double v21 = 0.0, v02 = 0.0, v10 = 0.0;  // an inactive crease has zero entries, as in the dense rows
      if (cycle[j]->sim_active == 1) {
        double LD[9];
        multiply3(&prefix[9 * j], &D[9 * j], LD);
        const double* S = &suffix[9 * j];
        v21 = entry3(LD, S, 2, 1);
        v02 = entry3(LD, S, 0, 2);
        v10 = entry3(LD, S, 1, 0);
      }
      // One entry per crease: a crease met twice keeps the later value.
      size_t k = first;
      while (k < J->col.size() && J->col[k] != c) ++k;
      if (k == J->col.size()) {
        J->col.push_back(c);
        J->val.push_back(0.0);
        J->val.push_back(0.0);
        J->val.push_back(0.0);
      }
      J->val[3 * k] = v21;
      J->val[3 * k + 1] = v02;
      J->val[3 * k + 2] = v10;
    }
    J->vert_start[s + 1] = static_cast<int>(J->col.size());
  }

  // The creases by owner: each crease's first entry in row order is its
  // owner's, a second is the other vertex's; a third (a mesh the numbering
  // does not fit) leaves the grouping unusable.
  const size_t entries = J->col.size();
  std::vector<int> first(static_cast<size_t>(osm->n), -1), second(static_cast<size_t>(osm->n), -1);
  std::vector<int> entry_vertex(entries, 0);
  bool paired = true;
  for (size_t s = 0; s < by_row.size(); ++s) {
    for (int k = J->vert_start[s]; k < J->vert_start[s + 1]; ++k) {
      entry_vertex[k] = static_cast<int>(s);
      const int c = J->col[k];
      if (first[c] < 0) {
        first[c] = k;
      } else if (second[c] < 0) {
        second[c] = k;
      } else {
        paired = false;
      }
    }
  }
  J->owner_start.assign(by_row.size() + 1, 0);
  J->other.clear();
  J->pair_val.clear();
  if (paired) {
    const int none = static_cast<int>(by_row.size());
    size_t owned = 0;
    for (int c = 0; c < osm->n; ++c) owned += first[c] >= 0 ? 1 : 0;
    J->other.resize(owned);
    J->pair_val.resize(8 * owned);
    size_t next = 0;
    for (size_t s = 0; s < by_row.size(); ++s) {
      for (int k = J->vert_start[s]; k < J->vert_start[s + 1]; ++k) {
        const int c = J->col[k];
        if (first[c] != k) continue;
        const int o = second[c];
        J->other[next] = o < 0 ? none : entry_vertex[o];
        double* out = &J->pair_val[8 * next];
        const double* own = &J->val[3 * k];
        out[0] = own[0];
        out[1] = own[1];
        out[2] = own[2];
        out[3] = 0.0;
        const double* theirs = o < 0 ? nullptr : &J->val[3 * o];
        out[4] = theirs != nullptr ? theirs[0] : 0.0;
        out[5] = theirs != nullptr ? theirs[1] : 0.0;
        out[6] = theirs != nullptr ? theirs[2] : 0.0;
        out[7] = 0.0;
        ++next;
      }
      J->owner_start[s + 1] = static_cast<int>(next);
    }
  }
  J->paired = paired;
  return 0;
}

size_t oriSimSparseCount(const ORISIM_sparse& J) { return J.val.size(); }

// ---- The residual ------------------------------------------------------------

double oriSimSparseResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om) {
  if (osm->m == 0) return 0.0;
  oriSimFillResidual(residual_m, osm, om, [](const std::vector<const ORI_edge*>& cycle, double P[9]) {
    double F[9], next[9];
    identity3(P);
    for (const ORI_edge* e : cycle) {
      oriSimCornerFactor(e, F);
      multiply3(P, F, next);
      for (int i = 0; i < 9; ++i) P[i] = next[i];
    }
  });
  double sum = 0.0;
  for (int r = 0; r < osm->m; ++r) sum += std::fabs(residual_m[r]);
  return sum;
}

double oriSimVertexClosure(std::vector<double>& error_per_vertex, const ORISIM_matrix* osm, const ORI_manifold* om,
                           int* worst) {
  const int inner = osm->m / 3;
  error_per_vertex.assign(static_cast<size_t>(inner), 0.0);
  if (worst != nullptr) *worst = -1;
  if (inner == 0) return 0.0;
  std::vector<double> rows;
  oriSimSparseResidual(rows, osm, om);
  double largest = -1.0;
  for (int s = 0; s < inner; ++s) {
    const double* g = &rows[3 * static_cast<size_t>(s)];
    const double e = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    error_per_vertex[s] = e;
    if (e > largest) {
      largest = e;
      if (worst != nullptr) *worst = s;
    }
  }
  return largest;
}

// ---- Products with the Jacobian ------------------------------------------------

namespace {

// Whether J's offsets are whole for its size (a record never filled has none).
bool wellFormed(const ORISIM_sparse& J) {
  return J.vert_start.size() == static_cast<size_t>(J.m / 3) + 1 && J.val.size() == 3 * J.col.size();
}

}  // namespace

void oriSimSparseMultiply(const ORISIM_sparse& J, double alpha, const double* x, double beta, double* y) {
  const bool formed = wellFormed(J);
  const int vertices = J.m / 3;
  const int* col = J.col.data();
  const double* val = J.val.data();
  for (int s = 0; s < vertices; ++s) {
    double y0 = 0.0, y1 = 0.0, y2 = 0.0;
    if (formed) {
      for (int k = J.vert_start[s]; k < J.vert_start[s + 1]; ++k) {
        const double xc = x[col[k]];
        y0 += val[3 * k] * xc;
        y1 += val[3 * k + 1] * xc;
        y2 += val[3 * k + 2] * xc;
      }
    }
    double* out = y + 3 * s;
    if (beta == 0.0) {
      out[0] = alpha * y0;
      out[1] = alpha * y1;
      out[2] = alpha * y2;
    } else {
      out[0] = alpha * y0 + beta * out[0];
      out[1] = alpha * y1 + beta * out[1];
      out[2] = alpha * y2 + beta * out[2];
    }
  }
}

void oriSimSparseMultiplyTransposed(const ORISIM_sparse& J, double alpha, const double* y, double beta, double* x) {
  for (int c = 0; c < J.n; ++c) x[c] = beta == 0.0 ? 0.0 : beta * x[c];
  if (!wellFormed(J)) return;
  const int vertices = J.m / 3;
  const int* col = J.col.data();
  const double* val = J.val.data();
  for (int s = 0; s < vertices; ++s) {
    const double y0 = alpha * y[3 * s], y1 = alpha * y[3 * s + 1], y2 = alpha * y[3 * s + 2];
    for (int k = J.vert_start[s]; k < J.vert_start[s + 1]; ++k) {
      x[col[k]] += val[3 * k] * y0 + val[3 * k + 1] * y1 + val[3 * k + 2] * y2;
    }
  }
}

double oriSimSparseNormalProduct(const ORISIM_sparse& J, double eps, const double* p, double* w, double* q) {
  oriSimSparseMultiplyTransposed(J, 1.0, p, 0.0, w);
  oriSimSparseMultiply(J, 1.0, w, 0.0, q);
  double pq = 0.0;
  for (int r = 0; r < 3 * (J.m / 3); ++r) {
    q[r] += eps * p[r];
    pq += p[r] * q[r];
  }
  return pq;
}

double oriSimSparseAt(const ORISIM_sparse& J, int r, int c) {
  if (r < 0 || r >= J.m || !wellFormed(J)) return 0.0;
  const int s = r / 3;
  for (int k = J.vert_start[s]; k < J.vert_start[s + 1]; ++k) {
    if (J.col[k] == c) return J.val[3 * k + r % 3];
  }
  return 0.0;
}
