// Mobility of a pattern at its present state.
//
// Sections: LAPACK; the work record; columns and rows; the closed copy; the
// dense path; the sparse path; the canonical basis; the analysis; folding
// along a mode.
#include "sim/mobility.h"

#include <cblas.h>
#include <cholmod.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "geometry/manifold.h"
#include "sim/one_blas_thread.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "sim/sparse_jacobian.h"

// ---- LAPACK ------------------------------------------------------------------------
// OpenBLAS carries LAPACK (Debian builds it in), but neither it nor
// liblapack-dev installs a C header for it: the Fortran entry points are
// declared here, each character argument with its hidden length.
extern "C" {
void dgesdd_(const char* jobz, const int* m, const int* n, double* a, const int* lda, double* s, double* u,
             const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* iwork, int* info,
             size_t jobz_len);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info,
             size_t jobu_len, size_t jobvt_len);
void dgeqrf_(const int* m, const int* n, double* a, const int* lda, double* tau, double* work, const int* lwork,
             int* info);
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
            const int* lwork, int* info, size_t jobz_len, size_t uplo_len);
void dorgqr_(const int* m, const int* n, const int* k, double* a, const int* lda, const double* tau, double* work,
             const int* lwork, int* info);
}

namespace {

// The singular values and right singular vectors of the m × n column-major
// matrix a (destroyed): s receives min(m, n) values, descending; vt the n ×
// n matrix whose rows are the right singular vectors. dgesdd first, dgesvd
// where it does not converge. False when both fail or memory runs out.
bool denseSVD(int m, int n, std::vector<double>& a, std::vector<double>& s, std::vector<double>& vt) {
  const int k = std::min(m, n);
  try {
    s.assign(k, 0.0);
    vt.assign(static_cast<size_t>(n) * n, 0.0);
    // Tall: the left vectors overwrite a ('O'); wide: all of both ('A'),
    // for the right vectors beyond the m-th span the null space.
    const char jobz = n <= m ? 'O' : 'A';
    const int ldu = n <= m ? 1 : m;
    std::vector<double> u(n <= m ? 1 : static_cast<size_t>(m) * m);
    std::vector<int> iwork(8 * static_cast<size_t>(k));
    int info = 0, lwork = -1;
    double query = 0.0;
    dgesdd_(&jobz, &m, &n, a.data(), &m, s.data(), u.data(), &ldu, vt.data(), &n, &query, &lwork, iwork.data(), &info, 1);
    if (info == 0) {
      std::vector<double> copy = a;
      lwork = static_cast<int>(query) + 1;
      std::vector<double> work(static_cast<size_t>(lwork));
      dgesdd_(&jobz, &m, &n, a.data(), &m, s.data(), u.data(), &ldu, vt.data(), &n, work.data(), &lwork, iwork.data(),
              &info, 1);
      if (info == 0) return true;
      a.swap(copy);
    }
    const char jobu = 'N', jobvt = 'A';
    int one = 1;
    lwork = -1;
    dgesvd_(&jobu, &jobvt, &m, &n, a.data(), &m, s.data(), u.data(), &one, vt.data(), &n, &query, &lwork, &info, 1, 1);
    if (info != 0) return false;
    lwork = static_cast<int>(query) + 1;
    std::vector<double> work(static_cast<size_t>(lwork));
    dgesvd_(&jobu, &jobvt, &m, &n, a.data(), &m, s.data(), u.data(), &one, vt.data(), &n, work.data(), &lwork, &info,
            1, 1);
    return info == 0;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Replaces the c × k column-major block v (c ≥ k) by an orthonormal basis of
// its span (Householder QR). False when LAPACK fails.
bool orthonormalize(int c, int k, double* v, std::vector<double>& tau, std::vector<double>& work) {
  if (k == 0) return true;
  tau.resize(k);
  int info = 0, lwork = -1;
  double query = 0.0;
  dgeqrf_(&c, &k, v, &c, tau.data(), &query, &lwork, &info);
  double query2 = 0.0;
  dorgqr_(&c, &k, &k, v, &c, tau.data(), &query2, &lwork, &info);
  lwork = static_cast<int>(std::max(query, query2)) + 1;
  work.resize(static_cast<size_t>(lwork));
  dgeqrf_(&c, &k, v, &c, tau.data(), work.data(), &lwork, &info);
  if (info != 0) return false;
  dorgqr_(&c, &k, &k, v, &c, tau.data(), work.data(), &lwork, &info);
  return info == 0;
}

// A fixed sequence of numbers in [-1, 1): start vectors that are the same
// on every run.
double mixed(uint64_t i) {
  uint64_t z = i * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

}  // namespace

// ---- The work record ----------------------------------------------------------------

// What is analysed once per mesh and options: which fold lines are columns,
// Cᵀ's pattern (a CHOLMOD column per row of C) with, per nonzero, where its
// value comes from in the rows, and CHOLMOD's symbolic factor of CᵀC; and
// the buffers every analysis reuses.
struct ORISIM_mobilityWork {
  const ORI_manifold* mesh = nullptr;
  const ORISIM_matrix* record = nullptr;
  int n = -1, m = -1, diagonals = -1;
  std::vector<int> map;     // fold line → column, -1 when held
  std::vector<int> column;  // column → fold line
  bool started = false;
  cholmod_common cc;
  cholmod_sparse* Ct = nullptr;
  std::vector<size_t> source;  // per nonzero of Ct: its value's place in rows.val
  cholmod_factor* L = nullptr;
  std::vector<double> saved, a, s, vt, v, w, tau, lapack, r, rs, z, x, y;
  std::vector<int> iwork;
  std::vector<unsigned char> held;  // per fold line: a held diagonal
  double moved = 0.0;               // the closing correction's largest move of a fold line analysed
};

namespace {

void freeFactor(ORISIM_mobilityWork* w) {
  if (!w->started) return;
  cholmod_free_factor(&w->L, &w->cc);
  cholmod_free_sparse(&w->Ct, &w->cc);
}

void deleteWork(ORISIM_mobilityWork* w) {
  if (w == nullptr) return;
  freeFactor(w);
  if (w->started) cholmod_finish(&w->cc);
  delete w;
}

}  // namespace

ORISIM_mobilityState* oriSimMobilityNew() { return new ORISIM_mobilityState(); }

void oriSimMobilityDelete(ORISIM_mobilityState* state) {
  if (state == nullptr) return;
  deleteWork(state->work);
  delete state;
}

void oriSimMobilityReset(ORISIM_mobilityState* state) {
  deleteWork(state->work);
  state->work = nullptr;
  state->rows = ORISIM_sparse();
  state->last = ORISIM_mobility();
  state->last_mesh = nullptr;
  state->last_diagonals = state->last_path = -1;
  state->last_angles.clear();
  state->direction.clear();
  state->direction_mode = 0;
}

// ---- Columns and rows ---------------------------------------------------------------

namespace {

// The work record for om and osm, made afresh when they or the options changed.
ORISIM_mobilityWork* workFor(ORISIM_mobilityState* state, const ORISIM_matrix* osm, const ORI_manifold* om) {
  ORISIM_mobilityWork* w = state->work;
  if (w != nullptr && w->mesh == om && w->record == osm && w->n == osm->n && w->m == osm->m &&
      w->diagonals == state->diagonals) {
    return w;
  }
  const bool same_mesh = w != nullptr && w->mesh == om && w->record == osm && w->n == osm->n && w->m == osm->m;
  deleteWork(w);
  if (!same_mesh) {
    state->rows = ORISIM_sparse();
    state->direction.clear();
  }
  w = state->work = new ORISIM_mobilityWork();
  w->mesh = om;
  w->record = osm;
  w->n = osm->n;
  w->m = osm->m;
  w->diagonals = state->diagonals;
  w->map.assign(osm->n, -1);
  const bool by_edge = osm->crease_edge.size() == static_cast<size_t>(osm->n);
  for (int c = 0; c < osm->n; ++c) {
    const bool held = state->diagonals == kOriMobilityDiagonalsHeld && by_edge && osm->crease_edge[c]->is_diagonal;
    if (held) continue;
    w->map[c] = static_cast<int>(w->column.size());
    w->column.push_back(c);
  }
  return w;
}

// Cᵀ's pattern from the rows' structure (filled by oriSimSparseUpdate):
// CHOLMOD column r lists the analysed columns of row r, ascending.
bool buildTransposed(ORISIM_mobilityWork* w, const ORISIM_sparse& rows) {
  if (!w->started) {
    cholmod_start(&w->cc);
    w->cc.print = 0;
    w->started = true;
  }
  const int m = w->m, vertices = m / 3, cols = static_cast<int>(w->column.size());
  if (rows.vert_start.size() != static_cast<size_t>(vertices) + 1) return false;
  std::vector<std::pair<int, size_t>> entries;
  std::vector<int> p(static_cast<size_t>(m) + 1, 0);
  std::vector<int> idx;
  w->source.clear();
  for (int sv = 0; sv < vertices; ++sv) {
    entries.clear();
    for (int k = rows.vert_start[sv]; k < rows.vert_start[sv + 1]; ++k) {
      const int c = rows.col[k];
      if (c < 0 || c >= w->n || w->map[c] < 0) continue;
      entries.emplace_back(w->map[c], 3 * static_cast<size_t>(k));
    }
    std::sort(entries.begin(), entries.end());
    for (int i = 0; i < 3; ++i) {
      for (const auto& e : entries) {
        idx.push_back(e.first);
        w->source.push_back(e.second + i);
      }
      p[3 * sv + i + 1] = static_cast<int>(idx.size());
    }
  }
  w->Ct = cholmod_allocate_sparse(cols, m, std::max<size_t>(idx.size(), 1), 1, 1, 0, CHOLMOD_REAL, &w->cc);
  if (w->Ct == nullptr) return false;
  std::copy(p.begin(), p.end(), static_cast<int*>(w->Ct->p));
  std::copy(idx.begin(), idx.end(), static_cast<int*>(w->Ct->i));
  return true;
}

void fillTransposed(ORISIM_mobilityWork* w, const ORISIM_sparse& rows) {
  double* x = static_cast<double*>(w->Ct->x);
  for (size_t q = 0; q < w->source.size(); ++q) x[q] = rows.val[w->source[q]];
}

// out (m) = C·in (columns), from Cᵀ's columns.
void multiply(const cholmod_sparse* Ct, const double* in, double* out) {
  const int* p = static_cast<const int*>(Ct->p);
  const int* i = static_cast<const int*>(Ct->i);
  const double* x = static_cast<const double*>(Ct->x);
  for (size_t r = 0; r < Ct->ncol; ++r) {
    double sum = 0.0;
    for (int q = p[r]; q < p[r + 1]; ++q) sum += x[q] * in[i[q]];
    out[r] = sum;
  }
}

// out (columns) = Cᵀ·in (m).
void multiplyTransposed(const cholmod_sparse* Ct, const double* in, double* out) {
  const int* p = static_cast<const int*>(Ct->p);
  const int* i = static_cast<const int*>(Ct->i);
  const double* x = static_cast<const double*>(Ct->x);
  std::fill(out, out + Ct->nrow, 0.0);
  for (size_t r = 0; r < Ct->ncol; ++r) {
    for (int q = p[r]; q < p[r + 1]; ++q) out[i[q]] += x[q] * in[r];
  }
}

double norm2(const double* v, size_t count) {
  double sum = 0.0;
  for (size_t i = 0; i < count; ++i) sum += v[i] * v[i];
  return std::sqrt(sum);
}

// ---- The closed copy ---------------------------------------------------------------

// Closes the state by Newton corrections and leaves the closed angles in
// the record when they are near; else gives the record its angles back.
// Held diagonals are laid flat first and stay so: the closed state is then
// the pattern's as drawn, its facets flat, nearest the present one (the
// step may have bent them). Near means no fold line analysed moved by more
// than kOriMobilityCloseMove and the largest fold kept kOriMobilityKeptFold
// of itself. The original angles are kept in w->saved
// either way. Returns 1 when the record now holds a closed state.
int closeCopy(ORISIM_mobilityState* state, ORISIM_mobilityWork* w, ORISIM_matrix* osm, ORI_manifold* om) {
  w->saved = osm->angle_n;
  w->moved = 0.0;
  if (osm->m == 0) return 1;
  w->held.assign(osm->n, 0);
  bool holding = false;
  for (int c = 0; c < osm->n; ++c) {
    if (w->map[c] >= 0) continue;
    w->held[c] = 1;
    holding = true;
    osm->angle_n[c] = 0.0;
  }
  if (holding) oriSimUpdateCrease(om, osm->angle_n);
  int iterations = 0, cg_iterations = 0;
  const int closed =
      oriSimNewtonClose(osm, om, &state->rows, holding ? &w->held : nullptr, &iterations, &cg_iterations);
  double moved = 0.0, before = 0.0, after = 0.0;
  for (int c = 0; c < osm->n; ++c) {
    if (w->map[c] < 0) continue;
    const double d = std::fabs(osm->angle_n[c] - w->saved[c]);
    moved = std::isfinite(d) ? std::max(moved, d) : HUGE_VAL;
    before = std::max(before, std::fabs(w->saved[c]));
    after = std::max(after, std::fabs(osm->angle_n[c]));
  }
  w->moved = moved;
  // A correction that fell back towards the flat sheet (where a locked
  // pattern closes) found no state near this one.
  if (closed == 1 && moved <= kOriMobilityCloseMove && after >= kOriMobilityKeptFold * before) return 1;
  osm->angle_n = w->saved;
  oriSimUpdateCrease(om, osm->angle_n);
  return 0;
}

// ---- The dense path ------------------------------------------------------------------

// Fills the counts and, in w->a as a d × columns column-major block whose
// row j is null vector j, the null space, from the SVD of the whole matrix.
bool analyseDense(ORISIM_mobilityWork* w, const ORISIM_sparse& rows, ORISIM_mobility* out, int* d) {
  const int m = w->m, cols = static_cast<int>(w->column.size());
  try {
    w->a.assign(static_cast<size_t>(m) * cols, 0.0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int sv = 0; sv < m / 3; ++sv) {
    for (int k = rows.vert_start[sv]; k < rows.vert_start[sv + 1]; ++k) {
      const int c = rows.col[k];
      if (c < 0 || c >= w->n || w->map[c] < 0) continue;
      for (int i = 0; i < 3; ++i) w->a[static_cast<size_t>(w->map[c]) * m + 3 * sv + i] = rows.val[3 * static_cast<size_t>(k) + i];
    }
  }
  int rank = 0;
  if (m == 0 || cols == 0) {
    // Nothing to close: every column moves freely.
    out->sigma.assign(cols, 0.0);
    *d = cols;
    if (cols <= kOriMobilityMaxBlock) {
      w->a.assign(static_cast<size_t>(cols) * cols, 0.0);
      for (int c = 0; c < cols; ++c) w->a[c + static_cast<size_t>(c) * cols] = 1.0;
    }
    return true;
  }
  {
    OriSimOneBlasThread one_thread;
    if (!denseSVD(m, cols, w->a, w->s, w->vt)) return false;
    out->sigma_max = w->s.empty() ? 0.0 : w->s[0];
    out->tolerance = kOriMobilityRankTolerance * out->sigma_max;
    for (double s : w->s) rank += (s > out->tolerance) ? 1 : 0;
  }
  // Counted over the columns: zeros where they outnumber the rows.
  out->sigma.assign(cols, 0.0);
  for (size_t k = 0; k < w->s.size(); ++k) out->sigma[cols - 1 - k] = w->s[k];
  out->rank = rank;
  out->sigma_kept = rank > 0 ? w->s[rank - 1] : 0.0;
  out->sigma_dropped = rank < static_cast<int>(w->s.size()) ? w->s[rank] : 0.0;
  *d = cols - rank;
  if (*d > kOriMobilityMaxBlock) return true;
  w->a.assign(static_cast<size_t>(*d) * cols, 0.0);
  for (int j = 0; j < *d; ++j) {
    for (int c = 0; c < cols; ++c) w->a[j + static_cast<size_t>(c) * *d] = w->vt[(rank + j) + static_cast<size_t>(c) * cols];
  }
  return true;
}

// ---- The sparse path -----------------------------------------------------------------

// Rounds of the power iteration that estimates σ₁.
constexpr int kPowerRounds = 50;
// The shift of CᵀC + μI, a share of σ₁²: small enough that the
// iteration separates a null vector from a singular value of 1e-5·σ₁ by a
// factor of 100 a round, large enough that the factorisation of the
// shifted system (condition 1e12) is sound.
constexpr double kShift = 1e-12;
// Vectors the block keeps beyond the null space it expects, and the guard
// it keeps beyond the null space it found before it grows.
constexpr int kExtraVectors = 16;
constexpr int kGuardVectors = 8;
// The Ritz values have settled when the count stays and the smallest kept
// value moves by less than this share between rounds (it is reported, not
// used: two digits tell the gap).
constexpr double kSettled = 1e-2;

// σ₁ estimated from kPowerRounds rounds of x ← CᵀC·x.
double largestSingular(ORISIM_mobilityWork* w) {
  const int cols = static_cast<int>(w->Ct->nrow), m = static_cast<int>(w->Ct->ncol);
  w->x.resize(cols);
  w->y.resize(m);
  for (int c = 0; c < cols; ++c) w->x[c] = 1.0 + 0.5 * mixed(c);
  double sigma = 0.0;
  for (int round = 0; round < kPowerRounds; ++round) {
    const double nx = norm2(w->x.data(), cols);
    if (!(nx > 0.0)) return 0.0;
    for (double& v : w->x) v /= nx;
    multiply(w->Ct, w->x.data(), w->y.data());
    sigma = norm2(w->y.data(), m);
    multiplyTransposed(w->Ct, w->y.data(), w->x.data());
  }
  return sigma;
}

// Rayleigh–Ritz on the orthonormal block v (cols × k): rotates it to the
// eigenvectors of its Gram matrix (C·v)ᵀ(C·v), ascending, and gives the
// singular value of each (the norm of C times it) in sig. The Gram matrix
// squares the values, but once the block has reached the small end of the
// spectrum its largest value is small too, and rounding in the squares
// stays far below the rank's threshold; the values themselves are then
// measured on C directly.
bool ritz(ORISIM_mobilityWork* w, int cols, int k, std::vector<double>& sig) {
  const int m = static_cast<int>(w->Ct->ncol);
  w->w.assign(static_cast<size_t>(m) * k, 0.0);
  for (int j = 0; j < k; ++j) multiply(w->Ct, &w->v[static_cast<size_t>(j) * cols], &w->w[static_cast<size_t>(j) * m]);
  w->r.assign(static_cast<size_t>(k) * k, 0.0);
  cblas_dsyrk(CblasColMajor, CblasUpper, CblasTrans, k, m, 1.0, w->w.data(), m, 0.0, w->r.data(), k);
  w->rs.resize(k);
  const char jobz = 'V', uplo = 'U';
  int info = 0, lwork = -1;
  double query = 0.0;
  dsyev_(&jobz, &uplo, &k, w->r.data(), &k, w->rs.data(), &query, &lwork, &info, 1, 1);
  lwork = static_cast<int>(query) + 1;
  w->lapack.resize(static_cast<size_t>(lwork));
  dsyev_(&jobz, &uplo, &k, w->r.data(), &k, w->rs.data(), w->lapack.data(), &lwork, &info, 1, 1);
  if (info != 0) return false;
  // Eigenvalues ascending, their vectors the columns of r.
  w->a.assign(static_cast<size_t>(cols) * k, 0.0);
  cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, cols, k, k, 1.0, w->v.data(), cols, w->r.data(), k, 0.0,
              w->a.data(), cols);
  w->v.swap(w->a);
  sig.resize(k);
  w->y.resize(m);
  for (int j = 0; j < k; ++j) {
    multiply(w->Ct, &w->v[static_cast<size_t>(j) * cols], w->y.data());
    sig[j] = norm2(w->y.data(), m);
  }
  // Measured on C, the order may differ from the squares' in the last bits.
  std::vector<int> order(k);
  for (int j = 0; j < k; ++j) order[j] = j;
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return sig[x] < sig[y]; });
  bool sorted = true;
  for (int j = 0; j < k; ++j) sorted = sorted && order[j] == j;
  if (!sorted) {
    w->a.resize(static_cast<size_t>(cols) * k);
    std::vector<double> by(k);
    for (int j = 0; j < k; ++j) {
      std::copy_n(&w->v[static_cast<size_t>(order[j]) * cols], cols, &w->a[static_cast<size_t>(j) * cols]);
      by[j] = sig[order[j]];
    }
    w->v.swap(w->a);
    sig.swap(by);
  }
  return true;
}

// Appends columns of the fixed sequence to the block so that it holds k.
void widen(ORISIM_mobilityWork* w, int cols, int from, int k) {
  w->v.resize(static_cast<size_t>(cols) * k);
  for (int j = from; j < k; ++j) {
    for (int c = 0; c < cols; ++c) w->v[c + static_cast<size_t>(j) * cols] = mixed(static_cast<uint64_t>(j) * cols + c);
  }
}

// Fills the counts and the null space (as analyseDense) by a subspace
// iteration on (CᵀC + μI)⁻¹. Returns false with the status and reason set
// in out.
bool analyseSparse(ORISIM_mobilityWork* w, const ORISIM_sparse& rows, int flat, ORISIM_mobility* out, int* d) {
  const int m = w->m, cols = static_cast<int>(w->column.size());
  if (w->Ct == nullptr && !buildTransposed(w, rows)) {
    out->status = kOriMobilityFailed;
    out->reason = "mobility: no memory for the transposed Jacobian";
    return false;
  }
  fillTransposed(w, rows);
  out->sigma_max = largestSingular(w);
  out->tolerance = kOriMobilityRankTolerance * out->sigma_max;
  // Room the null space needs at least: the columns beyond the rows, and on
  // the flat sheet beyond the in-plane rows.
  const int least = std::max(0, cols - (flat ? 2 * (m / 3) : m));
  int k = std::min(cols, least + kExtraVectors);
  if (k > kOriMobilityMaxBlock) {
    out->status = kOriMobilityTooManyModes;
    out->reason = "mobility: at least " + std::to_string(least) +
                  " ways to move at this state: too many to count on the sparse path";
    return false;
  }
  if (!(out->sigma_max > 0.0)) {
    // No constraint at all: every column moves freely.
    out->rank = 0;
    *d = cols;
    out->sigma.assign(cols, 0.0);
    w->a.assign(static_cast<size_t>(cols) * cols, 0.0);
    for (int c = 0; c < cols; ++c) w->a[c + static_cast<size_t>(c) * cols] = 1.0;
    return true;
  }
  OriSimOneBlasThread one_thread;
  if (w->L == nullptr) w->L = cholmod_analyze(w->Ct, &w->cc);
  bool factored = false;
  double mu = kShift * out->sigma_max * out->sigma_max;
  for (int attempt = 0; attempt < 3 && w->L != nullptr && !factored; ++attempt, mu *= 100.0) {
    double beta[2] = {mu, 0.0};
    cholmod_factorize_p(w->Ct, beta, nullptr, 0, w->L, &w->cc);
    factored = w->cc.status == CHOLMOD_OK && w->L->minor == w->L->n;
  }
  if (!factored) {
    out->status = kOriMobilityFailed;
    out->reason = "mobility: the factorisation of the shifted normal equations failed";
    return false;
  }
  widen(w, cols, 0, k);
  if (!orthonormalize(cols, k, w->v.data(), w->tau, w->lapack)) {
    out->status = kOriMobilityFailed;
    out->reason = "mobility: the orthonormalisation failed";
    return false;
  }
  std::vector<double> sig;
  int previous = -1, count = 0, rounds = 0;
  double previous_kept = 0.0, previous_dropped = 0.0;
  bool settled = false;
  while (rounds < kOriMobilityMaxRounds) {
    cholmod_dense B;
    std::memset(&B, 0, sizeof B);
    B.nrow = cols;
    B.ncol = k;
    B.nzmax = static_cast<size_t>(cols) * k;
    B.d = cols;
    B.x = w->v.data();
    B.xtype = CHOLMOD_REAL;
    B.dtype = CHOLMOD_DOUBLE;
    cholmod_dense* X = cholmod_solve(CHOLMOD_A, w->L, &B, &w->cc);
    if (X == nullptr) {
      out->status = kOriMobilityFailed;
      out->reason = "mobility: a solve with the factor failed";
      return false;
    }
    std::memcpy(w->v.data(), X->x, sizeof(double) * static_cast<size_t>(cols) * k);
    cholmod_free_dense(&X, &w->cc);
    if (!orthonormalize(cols, k, w->v.data(), w->tau, w->lapack) || !ritz(w, cols, k, sig)) {
      out->status = kOriMobilityFailed;
      out->reason = "mobility: the Rayleigh-Ritz step failed";
      return false;
    }
    ++rounds;
    count = 0;
    while (count < k && sig[count] <= out->tolerance) ++count;
    if (k < cols && count > k - kGuardVectors) {
      if (k >= kOriMobilityMaxBlock) {
        out->status = kOriMobilityTooManyModes;
        out->reason = "mobility: more than " + std::to_string(count) +
                      " ways to move at this state: too many to count on the sparse path";
        return false;
      }
      const int wider = std::min(cols, std::min(kOriMobilityMaxBlock, 2 * k));
      widen(w, cols, k, wider);
      k = wider;
      if (!orthonormalize(cols, k, w->v.data(), w->tau, w->lapack)) {
        out->status = kOriMobilityFailed;
        out->reason = "mobility: the orthonormalisation failed";
        return false;
      }
      previous = -1;
      continue;
    }
    const double kept = count < k ? sig[count] : 0.0;
    const double dropped = count > 0 ? sig[count - 1] : 0.0;
    const bool kept_still = std::fabs(kept - previous_kept) <= kSettled * kept;
    const bool dropped_still =
        dropped <= out->tolerance / kOriMobilityMargin || std::fabs(dropped - previous_dropped) <= 0.1 * dropped;
    if (k == cols || (count == previous && kept_still && dropped_still)) {
      settled = true;
      break;
    }
    previous = count;
    previous_kept = kept;
    previous_dropped = dropped;
  }
  out->sigma = sig;
  out->rank = cols - count;
  out->sigma_kept = count < k ? sig[count] : 0.0;
  out->sigma_dropped = count > 0 ? sig[count - 1] : 0.0;
  if (!settled) out->reason = "mobility: the iteration did not settle: the count is not sure";
  *d = count;
  // The null vectors as rows of a d × columns block.
  w->a.assign(static_cast<size_t>(count) * cols, 0.0);
  for (int j = 0; j < count; ++j) {
    for (int c = 0; c < cols; ++c) w->a[j + static_cast<size_t>(c) * count] = w->v[c + static_cast<size_t>(j) * cols];
  }
  return settled;
}

// ---- The canonical basis ----------------------------------------------------------

// Two fold lines whose sizes in the null space differ by less than this
// share count as equally large: the lower-numbered comes first.
constexpr double kLeadTie = 1e-6;
// A fold line leads a mode only when this share of its size lies outside
// the span of the leaders before it; where too few do, any independent one.
constexpr double kLeadOwn = 0.1;
constexpr double kLeadLeast = 1e-8;

// Rotates the orthonormal basis t (d × cols column-major: the d entries of
// column c at t[c·d], c's "row" of the basis) within its span into the
// canonical basis: the leaders are taken by decreasing size of their rows
// (how far each line moves in the null space, whatever its basis), each
// where enough of its row is its own; mode k is then the null-space motion
// nearest to moving leader k alone while leaders 1 to k − 1 stay still:
// 0 at those, positive at its own. With P the leaders' rows (d × d), the
// rotation is the Q of Pᵀ = Q·R, so that P·Q = Rᵀ is lower triangular.
// Cost: the sizes and one rotation, O(cols·d²) in one matrix product.
bool canonicalBasis(ORISIM_mobilityWork* w, std::vector<double>& t, int d, int cols, std::vector<int>& lead) {
  lead.assign(d, -1);
  if (d == 0) return true;
  std::vector<double> size(cols);
  std::vector<int> order(cols);
  for (int c = 0; c < cols; ++c) {
    size[c] = norm2(&t[static_cast<size_t>(c) * d], d);
    order[c] = c;
  }
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return size[x] > size[y]; });
  // Orthonormal directions of the leaders' rows so far (d each).
  std::vector<double> q(static_cast<size_t>(d) * d), u(d);
  std::vector<unsigned char> tried(cols, 0);
  int found = 0;
  for (double share : {kLeadOwn, kLeadLeast}) {
    std::fill(tried.begin(), tried.end(), 0);
    for (int c = 0; c < cols; ++c) tried[c] = size[c] > 0.0 ? 0 : 1;
    for (int lead_c : lead) {
      if (lead_c >= 0) tried[lead_c] = 1;
    }
    int top = 0;
    while (found < d) {
      while (top < cols && tried[order[top]]) ++top;
      if (top == cols) break;
      // Among the lines within a tie of the largest left, the lowest-numbered.
      const double floor_size = (1.0 - kLeadTie) * size[order[top]];
      int c = -1;
      for (int i = top; i < cols && size[order[i]] >= floor_size; ++i) {
        if (!tried[order[i]] && (c < 0 || order[i] < c)) c = order[i];
      }
      tried[c] = 1;
      std::copy_n(&t[static_cast<size_t>(c) * d], d, u.data());
      for (int pass = 0; pass < 2; ++pass) {
        for (int j = 0; j < found; ++j) {
          const double* qj = &q[static_cast<size_t>(j) * d];
          double dot = 0.0;
          for (int e = 0; e < d; ++e) dot += qj[e] * u[e];
          for (int e = 0; e < d; ++e) u[e] -= dot * qj[e];
        }
      }
      const double own = norm2(u.data(), d);
      if (own < share * size[c]) continue;
      for (int e = 0; e < d; ++e) q[static_cast<size_t>(found) * d + e] = u[e] / own;
      lead[found++] = c;
    }
  }
  if (found < d) return false;
  // Pᵀ (d × d): column k is leader k's row.
  std::vector<double> pt(static_cast<size_t>(d) * d);
  for (int k = 0; k < d; ++k) std::copy_n(&t[static_cast<size_t>(lead[k]) * d], d, &pt[static_cast<size_t>(k) * d]);
  std::vector<double> diagonal(d);
  if (!orthonormalize(d, d, pt.data(), w->tau, w->lapack)) return false;
  // pt now holds Q; the sign of each column so that its leader's entry is positive.
  for (int k = 0; k < d; ++k) {
    double at = 0.0;
    for (int e = 0; e < d; ++e) at += t[static_cast<size_t>(lead[k]) * d + e] * pt[static_cast<size_t>(k) * d + e];
    if (at < 0.0) {
      for (int e = 0; e < d; ++e) pt[static_cast<size_t>(k) * d + e] = -pt[static_cast<size_t>(k) * d + e];
    }
  }
  // Modes = Qᵀ·t (d × cols): mode k's entry for column c is q_k · t_c.
  w->r.assign(static_cast<size_t>(d) * cols, 0.0);
  cblas_dgemm(CblasColMajor, CblasTrans, CblasNoTrans, d, cols, d, 1.0, pt.data(), d, t.data(), d, 0.0, w->r.data(), d);
  t.swap(w->r);
  // The leaders before each mode are held exactly.
  for (int k = 0; k < d; ++k) {
    for (int j = 0; j < k; ++j) t[static_cast<size_t>(lead[j]) * d + k] = 0.0;
  }
  return true;
}

}  // namespace

// ---- The analysis ----------------------------------------------------------------

int oriSimMobilityAnalyse(ORISIM_mobilityState* state, ORISIM_matrix* osm, ORI_manifold* om, ORISIM_mobility* out) {
  if (state->last_mesh == om && state->last_diagonals == state->diagonals && state->last_path == state->path &&
      state->work != nullptr && state->work->record == osm && state->last_angles == osm->angle_n &&
      state->last.status == kOriMobilityOk) {
    *out = state->last;
    return out->status;
  }
  *out = ORISIM_mobility();
  ORISIM_mobilityWork* w = workFor(state, osm, om);
  const int cols = static_cast<int>(w->column.size());
  out->m = osm->m;
  out->n = osm->n;
  out->columns = cols;
  out->diagonals = state->diagonals;
  double largest = 0.0;
  for (double angle : osm->angle_n) largest = std::max(largest, std::fabs(angle));
  out->flat = largest <= kOriMobilityFlatAngle ? 1 : 0;

  // C at the closed copy of the state; the record's angles back afterwards.
  out->closed = out->flat ? 1 : closeCopy(state, w, osm, om);
  if (out->flat) w->saved = osm->angle_n;
  out->closing_move = out->flat ? 0.0 : w->moved;
  if (osm->m > 0) oriSimSparseUpdate(&state->rows, osm, om);
  if (osm->angle_n != w->saved) {
    osm->angle_n = w->saved;
    oriSimUpdateCrease(om, osm->angle_n);
  }

  const double entries = static_cast<double>(cols) * std::max(osm->m, cols);
  const bool dense = state->path == kOriMobilityPathDense ||
                     (state->path != kOriMobilityPathSparse && entries <= kOriMobilityDenseEntries) || osm->m == 0;
  out->path = dense ? kOriMobilityPathDense : kOriMobilityPathSparse;
  int d = 0;
  bool sound;
  if (dense) {
    sound = analyseDense(w, state->rows, out, &d);
    if (!sound) {
      out->status = kOriMobilityFailed;
      out->reason = "mobility: the singular value decomposition failed";
    }
  } else {
    sound = analyseSparse(w, state->rows, out->flat, out, &d);
  }
  if (out->status != kOriMobilityOk) {
    out->rank = out->dof = out->redundant = -1;
    return out->status;
  }
  out->dof = d;
  out->rank = cols - d;
  out->redundant = osm->m - out->rank;
  const bool gap = out->rank == 0 ? out->sigma_max == 0.0
                                  : out->sigma_kept >= kOriMobilityMargin * out->tolerance &&
                                        out->sigma_dropped <= out->tolerance / kOriMobilityMargin;
  out->sure = sound && gap ? 1 : 0;
  if (d > kOriMobilityMaxBlock) {
    out->status = kOriMobilityTooManyModes;
    out->reason = "mobility: " + std::to_string(d) + " ways to move: too many modes to keep";
    return out->status;
  }
  if (!canonicalBasis(w, w->a, d, cols, out->lead)) {
    out->status = kOriMobilityFailed;
    out->reason = "mobility: the modes could not be put in order";
    return out->status;
  }
  out->modes.assign(static_cast<size_t>(d) * osm->n, 0.0);
  for (int k = 0; k < d; ++k) {
    for (int c = 0; c < cols; ++c) out->modes[static_cast<size_t>(k) * osm->n + w->column[c]] = w->a[k + static_cast<size_t>(c) * d];
    out->lead[k] = w->column[out->lead[k]];
  }
  state->last = *out;
  state->last_mesh = om;
  state->last_diagonals = state->diagonals;
  state->last_path = state->path;
  state->last_angles = osm->angle_n;
  return out->status;
}

// ---- Folding along a mode --------------------------------------------------------

double oriSimMobilityStep(ORISIM_mobilityState* state, ORISIM_matrix* osm, ORI_manifold* om, double step, int mode,
                          ORISIM_stepStats* stats, ORISIM_mobility* analysis, std::string* reason) {
  ORISIM_mobility local;
  ORISIM_mobility* a = analysis != nullptr ? analysis : &local;
  const int n = osm->n;
  if (oriSimMobilityAnalyse(state, osm, om, a) != kOriMobilityOk) {
    if (reason != nullptr) *reason = a->reason;
    return -1.0;
  }
  const bool going_on = state->direction_mode == mode && state->direction.size() == static_cast<size_t>(n);
  std::vector<double> direction(n, 0.0);
  char line[160] = "";
  if (!going_on && (mode < 1 || mode > a->dof)) {
    std::snprintf(line, sizeof line, "mode %d does not exist: the state has %d mode%s", mode, a->dof,
                  a->dof == 1 ? "" : "s");
  } else if (!going_on) {
    // The first step: the mode itself, its leader towards its target.
    std::copy_n(a->modes.begin() + static_cast<size_t>(mode - 1) * n, n, direction.begin());
    const int lead = a->lead[mode - 1];
    const bool by_edge = osm->crease_edge.size() == static_cast<size_t>(n);
    if (by_edge && osm->crease_edge[lead]->target_angle < 0.0) {
      for (double& v : direction) v = -v;
    }
  } else {
    // Later steps: the last direction, projected onto this state's modes.
    for (int k = 0; k < a->dof; ++k) {
      const double* q = &a->modes[static_cast<size_t>(k) * n];
      double dot = 0.0;
      for (int c = 0; c < n; ++c) dot += q[c] * state->direction[c];
      for (int c = 0; c < n; ++c) direction[c] += dot * q[c];
    }
    double size = 0.0, last = 0.0;
    for (int c = 0; c < n; ++c) {
      size += direction[c] * direction[c];
      last += state->direction[c] * state->direction[c];
    }
    if (a->dof == 0) {
      std::snprintf(line, sizeof line, "the mode ends here: the state has no mode (the sheet is locked)");
    } else if (!(size >= kOriMobilityModeKept * kOriMobilityModeKept * last)) {
      std::snprintf(line, sizeof line, "the mode ends here: the state's %d mode%s turn away from it", a->dof,
                    a->dof == 1 ? "" : "s");
    }
  }
  if (line[0] != '\0') {
    if (reason != nullptr) *reason = line;
    return going_on ? -1.0 : -2.0;
  }
  double largest = 0.0;
  for (double v : direction) largest = std::max(largest, std::fabs(v));
  for (double& v : direction) v /= largest;
  state->direction = direction;
  state->direction_mode = mode;
  for (double& v : direction) v *= kOriMobilityModeGain * step;
  return oriSimUpdateStateWish(osm, om, step, direction, stats);
}
