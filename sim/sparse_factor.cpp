#include "sim/sparse_factor.h"

#include <cholmod.h>

#include <cstring>
#include <vector>

#include "sim/one_blas_thread.h"
#include "sim/sparse_jacobian.h"

struct ORISIM_factor {
  int m = 0;
  int n = 0;
  cholmod_common common;
  cholmod_sparse* A = nullptr;  // the upper triangle of C·Cᵀ + eps·I, its pattern fixed at creation
  cholmod_factor* L = nullptr;  // the analysis (ordering, supernodes) made once; the numbers of the last refill
  bool numeric = false;         // L holds a sound factorisation of the last refill
  double eps = 0.0;             // the shift of the last refill
  // The refill's plan: the entries of each crease in row order (entry of J,
  // vertex), and for each product of two of them, in the order the refill
  // forms them, the slot of A's values it adds to.
  std::vector<int> crease_start, entry, owner;
  std::vector<int> slot;       // A's value slot of each product
  std::vector<int> diagonal;   // A's value slot of each diagonal entry
  std::vector<int> entries;    // J's entry count and columns the plan was made for
  cholmod_dense* B = nullptr;
  cholmod_dense* X = nullptr;
  cholmod_dense* Y = nullptr;  // the solve's workspaces, kept between calls
  cholmod_dense* E = nullptr;
};

void oriSimFactorDelete(ORISIM_factor* f) {
  if (f == nullptr) return;
  cholmod_free_sparse(&f->A, &f->common);
  cholmod_free_factor(&f->L, &f->common);
  cholmod_free_dense(&f->B, &f->common);
  cholmod_free_dense(&f->X, &f->common);
  cholmod_free_dense(&f->Y, &f->common);
  cholmod_free_dense(&f->E, &f->common);
  cholmod_finish(&f->common);
  delete f;
}

namespace {

// Whether J has the shape f's plan was made for: the same rows, columns and
// entries in the same places.
bool sameShape(const ORISIM_factor* f, const ORISIM_sparse& J) {
  return J.m == f->m && J.n == f->n && J.col == f->entries &&
         J.vert_start.size() == static_cast<size_t>(f->m / 3) + 1 && J.val.size() == 3 * J.col.size();
}

// Calls visit(r, col, a, b, i, j) for every product of entries a ≤ b of
// one crease that falls in the upper triangle (r ≤ col), each once, in the
// plan's order: rows i of entry a times row j of entry b.
template <typename Visit>
void forEachProduct(const ORISIM_factor* f, int creases, Visit visit) {
  for (int c = 0; c < creases; ++c) {
    for (int a = f->crease_start[c]; a < f->crease_start[c + 1]; ++a) {
      for (int b = a; b < f->crease_start[c + 1]; ++b) {
        const int sa = f->owner[a], sb = f->owner[b];
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j < 3; ++j) {
            // Within one vertex's block only the upper half, once.
            if (sa == sb && j < i) continue;
            const int r = 3 * sa + i, col = 3 * sb + j;
            if (r <= col) {
              visit(r, col, f->entry[a], f->entry[b], i, j);
            } else {
              visit(col, r, f->entry[a], f->entry[b], i, j);
            }
          }
        }
      }
    }
  }
}

// A's values from J's: every product into its slot, eps on the diagonal.
void fillValues(ORISIM_factor* f, const ORISIM_sparse& J, double eps) {
  double* ax = static_cast<double*>(f->A->x);
  std::memset(ax, 0, sizeof(double) * static_cast<size_t>(static_cast<const int*>(f->A->p)[f->m]));
  for (int d : f->diagonal) ax[d] = eps;
  size_t t = 0;
  const double* val = J.val.data();
  forEachProduct(f, J.n, [&](int, int, int a, int b, int i, int j) {
    ax[f->slot[t++]] += val[3 * static_cast<size_t>(a) + i] * val[3 * static_cast<size_t>(b) + j];
  });
}

// Factorises A's present values on the kept analysis; records whether the
// result is sound (A positive definite to rounding).
bool factorise(ORISIM_factor* f) {
  OriSimOneBlasThread one_thread;
  f->numeric = false;
  if (!cholmod_factorize(f->A, f->L, &f->common)) return false;
  f->numeric = f->common.status == CHOLMOD_OK && f->L->minor == f->L->n;
  return f->numeric;
}

}  // namespace

ORISIM_factor* oriSimFactorNew(const ORISIM_sparse& J, double eps) {
  ORISIM_factor* f = oriSimFactorAnalyse(J);
  if (f != nullptr && oriSimFactorRefill(f, J, eps) != 0) {
    oriSimFactorDelete(f);
    return nullptr;
  }
  return f;
}

ORISIM_factor* oriSimFactorAnalyse(const ORISIM_sparse& J) {
  const int m = J.m, vertices = J.m / 3;
  if (m <= 0 || J.vert_start.size() != static_cast<size_t>(vertices) + 1 || J.val.size() != 3 * J.col.size()) {
    return nullptr;
  }
  ORISIM_factor* f = new ORISIM_factor();
  f->m = m;
  f->n = J.n;
  f->entries = J.col;
  // The entries of each crease (vertex, entry), in row order.
  f->crease_start.assign(static_cast<size_t>(J.n) + 1, 0);
  for (int c : J.col) {
    if (c >= 0 && c < J.n) ++f->crease_start[c + 1];
  }
  for (int c = 0; c < J.n; ++c) f->crease_start[c + 1] += f->crease_start[c];
  std::vector<int> fill(f->crease_start.begin(), f->crease_start.end() - 1);
  f->entry.resize(J.col.size());
  f->owner.resize(J.col.size());
  for (int s = 0; s < vertices; ++s) {
    for (int k = J.vert_start[s]; k < J.vert_start[s + 1]; ++k) {
      const int c = J.col[k];
      if (c < 0 || c >= J.n) continue;
      f->entry[fill[c]] = k;
      f->owner[fill[c]++] = s;
    }
  }

  OriSimOneBlasThread one_thread;
  cholmod_start(&f->common);
  // The pattern: the triplets' positions, each carrying its own number, so
  // that after the conversion (which sorts and sums what falls together)
  // every product and diagonal entry can be traced to its slot. The
  // conversion sums the numbers of a slot's triplets; a slot's first
  // triplet is found instead through the column's sorted rows.
  size_t count = static_cast<size_t>(m);
  forEachProduct(f, J.n, [&](int, int, int, int, int, int) { ++count; });
  cholmod_triplet* T = cholmod_allocate_triplet(m, m, count, 1, CHOLMOD_PATTERN, &f->common);
  if (T == nullptr) {
    oriSimFactorDelete(f);
    return nullptr;
  }
  int* ti = static_cast<int*>(T->i);
  int* tj = static_cast<int*>(T->j);
  size_t t = 0;
  for (int r = 0; r < m; ++r) {
    ti[t] = r;
    tj[t++] = r;
  }
  forEachProduct(f, J.n, [&](int r, int col, int, int, int, int) {
    ti[t] = r;
    tj[t++] = col;
  });
  T->nnz = t;
  cholmod_sparse* P = cholmod_triplet_to_sparse(T, t, &f->common);
  if (P != nullptr) {
    // Sorted, packed columns: a slot is found by a binary search of its column.
    f->A = cholmod_allocate_sparse(m, m, P->nzmax, 1, 1, 1, CHOLMOD_REAL, &f->common);
    if (f->A != nullptr) {
      std::memcpy(f->A->p, P->p, sizeof(int) * (static_cast<size_t>(m) + 1));
      std::memcpy(f->A->i, P->i, sizeof(int) * static_cast<size_t>(static_cast<int*>(P->p)[m]));
    }
  }
  cholmod_free_sparse(&P, &f->common);
  if (f->A != nullptr) {
    const int* ap = static_cast<const int*>(f->A->p);
    const int* ai = static_cast<const int*>(f->A->i);
    const auto find = [ap, ai](int r, int col) {
      int lo = ap[col], hi = ap[col + 1];
      while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (ai[mid] < r) {
          lo = mid + 1;
        } else {
          hi = mid;
        }
      }
      return lo;
    };
    f->diagonal.resize(static_cast<size_t>(m));
    for (int r = 0; r < m; ++r) f->diagonal[r] = find(r, r);
    f->slot.resize(count - static_cast<size_t>(m));
    size_t k = 0;
    forEachProduct(f, J.n, [&](int r, int col, int, int, int, int) { f->slot[k++] = find(r, col); });
    // Nested dissection suits a sheet, a two-dimensional mesh: a quarter
    // fewer operations per factorisation than the minimum degree order,
    // for a slower analysis made once. Where it cannot be had, the default.
    f->common.nmethods = 1;
    f->common.method[0].ordering = CHOLMOD_METIS;
    f->L = cholmod_analyze(f->A, &f->common);
    if (f->L == nullptr) {
      f->common.nmethods = 0;
      f->common.status = CHOLMOD_OK;
      f->L = cholmod_analyze(f->A, &f->common);
    }
  }
  cholmod_free_triplet(&T, &f->common);
  if (f->L != nullptr) f->B = cholmod_allocate_dense(m, 1, m, CHOLMOD_REAL, &f->common);
  if (f->A == nullptr || f->L == nullptr || f->B == nullptr || f->common.status != CHOLMOD_OK) {
    oriSimFactorDelete(f);
    return nullptr;
  }
  return f;
}

int oriSimFactorRefill(ORISIM_factor* f, const ORISIM_sparse& J, double eps) {
  if (f == nullptr) return -1;
  f->numeric = false;
  if (!(eps > 0.0) || !sameShape(f, J)) return -1;
  fillValues(f, J, eps);
  f->eps = eps;
  return factorise(f) ? 0 : -1;
}

bool oriSimFactorSound(const ORISIM_factor* f) { return f != nullptr && f->numeric; }

double oriSimFactorShift(const ORISIM_factor* f) { return f != nullptr ? f->eps : 0.0; }

bool oriSimFactorSameShape(const ORISIM_factor* f, const ORISIM_sparse& J) { return f != nullptr && sameShape(f, J); }

void oriSimFactorSolve(ORISIM_factor* f, const double* b, double* z) {
  if (!f->numeric) {
    // No factorisation to solve with: the residual as it is (plain steps).
    std::memcpy(z, b, sizeof(double) * static_cast<size_t>(f->m));
    return;
  }
  OriSimOneBlasThread one_thread;
  std::memcpy(f->B->x, b, sizeof(double) * static_cast<size_t>(f->m));
  if (cholmod_solve2(CHOLMOD_A, f->L, f->B, nullptr, &f->X, nullptr, &f->Y, &f->E, &f->common) && f->X != nullptr) {
    std::memcpy(z, f->X->x, sizeof(double) * static_cast<size_t>(f->m));
  } else {
    // A solve that failed (memory) leaves the residual as it is: plain steps.
    std::memcpy(z, b, sizeof(double) * static_cast<size_t>(f->m));
  }
}
