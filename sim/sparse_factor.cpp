#include "sim/sparse_factor.h"

#include <cholmod.h>

#include <cstring>
#include <vector>

#include "sim/one_blas_thread.h"
#include "sim/sparse_jacobian.h"

struct ORISIM_factor {
  int m = 0;
  cholmod_common common;
  cholmod_factor* L = nullptr;
  cholmod_dense* B = nullptr;
  cholmod_dense* X = nullptr;
  cholmod_dense* Y = nullptr;  // the solve's workspaces, kept between calls
  cholmod_dense* E = nullptr;
};

void oriSimFactorDelete(ORISIM_factor* f) {
  if (f == nullptr) return;
  cholmod_free_factor(&f->L, &f->common);
  cholmod_free_dense(&f->B, &f->common);
  cholmod_free_dense(&f->X, &f->common);
  cholmod_free_dense(&f->Y, &f->common);
  cholmod_free_dense(&f->E, &f->common);
  cholmod_finish(&f->common);
  delete f;
}

ORISIM_factor* oriSimFactorNew(const ORISIM_sparse& J, double eps) {
  const int m = J.m, vertices = J.m / 3;
  if (m <= 0 || !(eps > 0.0) || J.vert_start.size() != static_cast<size_t>(vertices) + 1 ||
      J.val.size() != 3 * J.col.size()) {
    return nullptr;
  }
  // The entries of each crease (vertex, entry), in row order.
  std::vector<int> crease_start(static_cast<size_t>(J.n) + 1, 0);
  for (int c : J.col) {
    if (c >= 0 && c < J.n) ++crease_start[c + 1];
  }
  for (int c = 0; c < J.n; ++c) crease_start[c + 1] += crease_start[c];
  std::vector<int> fill(crease_start.begin(), crease_start.end() - 1), entry(J.col.size()), owner(J.col.size());
  for (int s = 0; s < vertices; ++s) {
    for (int k = J.vert_start[s]; k < J.vert_start[s + 1]; ++k) {
      const int c = J.col[k];
      if (c < 0 || c >= J.n) continue;
      entry[fill[c]] = k;
      owner[fill[c]++] = s;
    }
  }

  // The factor's dense blocks are small (a sheet is a two-dimensional mesh):
  // one library thread does them fastest, and never waits for another.
  OriSimOneBlasThread one_thread;
  ORISIM_factor* f = new ORISIM_factor();
  f->m = m;
  cholmod_start(&f->common);
  // The upper triangle: each crease's blocks v_a·v_bᵀ for its vertices a ≤ b,
  // and eps on the diagonal; the conversion sums what falls together.
  size_t count = 3 * static_cast<size_t>(vertices);
  for (int c = 0; c < J.n; ++c) {
    const size_t e = static_cast<size_t>(crease_start[c + 1] - crease_start[c]);
    count += 9 * e * (e + 1) / 2;
  }
  cholmod_triplet* T = cholmod_allocate_triplet(m, m, count, 1, CHOLMOD_REAL, &f->common);
  if (T == nullptr) {
    oriSimFactorDelete(f);
    return nullptr;
  }
  int* ti = static_cast<int*>(T->i);
  int* tj = static_cast<int*>(T->j);
  double* tx = static_cast<double*>(T->x);
  size_t t = 0;
  auto add = [&](int r, int col, double v) {
    ti[t] = r;
    tj[t] = col;
    tx[t] = v;
    ++t;
  };
  for (int r = 0; r < 3 * vertices; ++r) add(r, r, eps);
  for (int c = 0; c < J.n; ++c) {
    for (int a = crease_start[c]; a < crease_start[c + 1]; ++a) {
      for (int b = a; b < crease_start[c + 1]; ++b) {
        const double* va = &J.val[3 * static_cast<size_t>(entry[a])];
        const double* vb = &J.val[3 * static_cast<size_t>(entry[b])];
        const int sa = owner[a], sb = owner[b];
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j < 3; ++j) {
            const int r = 3 * sa + i, col = 3 * sb + j;
            // Within one vertex's block only the upper half, once.
            if (sa == sb && j < i) continue;
            if (r <= col) {
              add(r, col, va[i] * vb[j]);
            } else {
              add(col, r, va[i] * vb[j]);
            }
          }
        }
      }
    }
  }
  T->nnz = t;
  cholmod_sparse* A = cholmod_triplet_to_sparse(T, t, &f->common);
  cholmod_free_triplet(&T, &f->common);
  if (A != nullptr) {
    f->L = cholmod_analyze(A, &f->common);
    if (f->L != nullptr) cholmod_factorize(A, f->L, &f->common);
  }
  cholmod_free_sparse(&A, &f->common);
  const bool sound = f->L != nullptr && f->common.status == CHOLMOD_OK && f->L->minor == f->L->n;
  if (sound) f->B = cholmod_allocate_dense(m, 1, m, CHOLMOD_REAL, &f->common);
  if (!sound || f->B == nullptr) {
    oriSimFactorDelete(f);
    return nullptr;
  }
  return f;
}

void oriSimFactorSolve(ORISIM_factor* f, const double* b, double* z) {
  OriSimOneBlasThread one_thread;
  std::memcpy(f->B->x, b, sizeof(double) * static_cast<size_t>(f->m));
  if (cholmod_solve2(CHOLMOD_A, f->L, f->B, nullptr, &f->X, nullptr, &f->Y, &f->E, &f->common) && f->X != nullptr) {
    std::memcpy(z, f->X->x, sizeof(double) * static_cast<size_t>(f->m));
  } else {
    // A solve that failed (memory) leaves the residual as it is: plain steps.
    std::memcpy(z, b, sizeof(double) * static_cast<size_t>(f->m));
  }
}
