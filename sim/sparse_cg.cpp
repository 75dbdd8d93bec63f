// The sparse projection's conjugate gradient.
//
// Sections: four-double vectors; the iteration on owned creases; the
// iteration on rows that are not paired; choosing the build.
#include "sim/sparse_cg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "sim/sparse_jacobian.h"

namespace {

// ---- Four-double vectors -------------------------------------------------------
//
// One vertex's three rows and a zero. The compiler's vector type lowers to
// two 128-bit operations on any x86-64 and to one 256-bit operation where
// the wide build allows it; elsewhere to whatever the target has.

typedef double v4d __attribute__((vector_size(32)));

#define PLICATA_INLINE inline __attribute__((always_inline))

PLICATA_INLINE v4d load4(const double* a) {
  v4d v;
  std::memcpy(&v, a, sizeof v);
  return v;
}

PLICATA_INLINE void store4(double* a, v4d v) { std::memcpy(a, &v, sizeof v); }

PLICATA_INLINE v4d splat4(double d) { return v4d{d, d, d, d}; }

typedef double v2d __attribute__((vector_size(16)));

// The halves added as vectors, then the two lanes: the fewest operations
// whether the vector is one register or two.
PLICATA_INLINE double sum4(v4d v) {
  const v2d s = __builtin_shufflevector(v, v, 0, 1) + __builtin_shufflevector(v, v, 2, 3);
  return s[0] + s[1];
}

// The iteration's arrays, four doubles to a vertex. p and q have one more
// slot (vertex `vertices`) that creases meeting a single vertex point at:
// p's stays zero, q's takes their zero shares. reach[s] is the highest
// vertex that the creases of owners up to s touch (at least s).
struct Padded {
  int vertices;
  const int* owner_start;
  const int* other;
  const double* pair_val;
  const int* reach;
  double eps;
  double* p;
  double* q;
  double* x;
  double* b;
};

// ---- The iteration on owned creases --------------------------------------------

// q = (C·Cᵀ + eps·I)·p, each crease once: w_c from its two vertices, then
// its share of both vertices' rows. A later vertex's rows gather shares
// while earlier owners run; an owner's own shares are summed aside and added
// last. Returns p·q.
//
// The previous round's last updates ride along, so that the vectors are
// passed over once less: a vertex's q is cleared, and (when advance is set)
// x += alpha·p and p = beta·p + b are applied to it, just before any crease
// first reads it; the vertices are reached in order, as reach tells.
PLICATA_INLINE double normalProduct(const Padded& a, bool advance, double alpha, double beta) {
  // Locals, so that the stores below (which may alias anything) do not
  // make the compiler fetch the record's fields again.
  const int vertices = a.vertices;
  const int* __restrict owner_start = a.owner_start;
  const int* __restrict other = a.other;
  const double* __restrict pair_val = a.pair_val;
  const int* __restrict reach = a.reach;
  double* __restrict p = a.p;
  double* __restrict q = a.q;
  double* __restrict x = a.x;
  const double* __restrict b = a.b;
  const v4d up = splat4(alpha), keep = splat4(beta), zero = splat4(0.0);
  store4(q + 4 * vertices, zero);
  v4d pq = zero;
  const v4d eps = splat4(a.eps);
  int ready = 0;  // vertices below this are cleared and advanced
  for (int s = 0; s < vertices; ++s) {
    for (; ready <= reach[s]; ++ready) {
      const int t = 4 * ready;
      if (advance) {
        const v4d pt = load4(p + t);
        store4(x + t, load4(x + t) + up * pt);
        store4(p + t, keep * pt + load4(b + t));
      }
      store4(q + t, zero);
    }
    const v4d ps = load4(p + 4 * s);
    v4d y = zero;
    const int end = owner_start[s + 1];
    for (int k = owner_start[s]; k < end; ++k) {
      const v4d own = load4(pair_val + 8 * k);
      const v4d theirs = load4(pair_val + 8 * k + 4);
      const int o = 4 * other[k];
      const v4d w = splat4(sum4(own * ps + theirs * load4(p + o)));
      store4(q + o, load4(q + o) + theirs * w);
      y += own * w;
    }
    const v4d qs = (load4(q + 4 * s) + y) + eps * ps;
    store4(q + 4 * s, qs);
    pq += ps * qs;
  }
  return sum4(pq);
}

// The iteration itself, from x = 0 with b = p = r already in place and
// rho = r·r > 0. Returns the iterations taken.
PLICATA_INLINE int iterate(const Padded& a, double rho, double limit, double tolerance, double root_m) {
  const int slots = 4 * a.vertices;
  double* __restrict x = a.x;
  double* __restrict b = a.b;
  const double* __restrict p = a.p;
  const double* __restrict q = a.q;
  int k = 0;
  bool advance = false;  // the last round's x and p updates wait for the next product
  double alpha = 0.0, beta = 0.0;
  while (static_cast<double>(k) < limit) {
    const double rho_old = rho;
    const double pq = normalProduct(a, advance, alpha, beta);
    advance = false;
    // The system is positive definite, so p·q > 0 unless p vanished; stop
    // rather than divide by it.
    if (!(pq > 0.0) || !std::isfinite(pq)) break;
    alpha = rho / pq;
    const v4d down = splat4(-alpha);
    // Two partial sums of b·b, so that no one chain of additions paces the loop.
    v4d rho0 = splat4(0.0), rho1 = splat4(0.0);
    int i = 0;
    for (; i + 8 <= slots; i += 8) {
      const v4d t0 = load4(b + i) + down * load4(q + i);
      const v4d t1 = load4(b + i + 4) + down * load4(q + i + 4);
      store4(b + i, t0);
      store4(b + i + 4, t1);
      rho0 += t0 * t0;
      rho1 += t1 * t1;
    }
    for (; i < slots; i += 4) {
      const v4d t0 = load4(b + i) + down * load4(q + i);
      store4(b + i, t0);
      rho0 += t0 * t0;
    }
    rho = sum4(rho0 + rho1);
    beta = rho / rho_old;
    advance = true;
    ++k;
    if (std::sqrt(rho) / root_m < tolerance) break;
  }
  // The last round's x update (its p is not needed any more).
  if (advance) {
    const v4d up = splat4(alpha);
    for (int i = 0; i < slots; i += 4) store4(x + i, load4(x + i) + up * load4(p + i));
  }
  return k;
}

// ---- Choosing the build -----------------------------------------------------------

thread_local int kernel_request = kOriSimKernelAuto;

__attribute__((noinline)) int iteratePlain(const Padded& a, double rho, double limit, double tolerance, double root_m) {
  return iterate(a, rho, limit, tolerance, root_m);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PLICATA_HAVE_WIDE 1
__attribute__((target("avx2,fma"))) int iterateWide(const Padded& a, double rho, double limit, double tolerance,
                                                     double root_m) {
  return iterate(a, rho, limit, tolerance, root_m);
}

bool processorIsWide() {
  static const bool wide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return wide;
}
#endif

// ---- The iteration on rows that are not paired ------------------------------------

// The same iteration on the rows as they are, with the two-pass product.
int iterateUnpaired(const ORISIM_sparse& C, double eps, double limit, double tolerance, std::vector<double>& x,
                    std::vector<double>& b) {
  const int m = C.m;
  std::vector<double> p(b), q(m, 0.0), w(static_cast<size_t>(C.n), 0.0);
  double rho = 0.0;
  for (int i = 0; i < m; ++i) rho += b[i] * b[i];
  if (!(rho > 0.0) || !std::isfinite(rho)) return 0;
  const double root_m = std::sqrt(static_cast<double>(m));
  int k = 0;
  while (static_cast<double>(k) < limit) {
    const double rho_old = rho;
    const double pq = oriSimSparseNormalProduct(C, eps, p.data(), w.data(), q.data());
    if (!(pq > 0.0) || !std::isfinite(pq)) break;
    const double alpha = rho / pq;
    rho = 0.0;
    for (int i = 0; i < m; ++i) {
      x[i] += alpha * p[i];
      const double t = b[i] + (-alpha) * q[i];
      b[i] = t;
      rho += t * t;
    }
    const double beta = rho / rho_old;
    for (int i = 0; i < m; ++i) p[i] = beta * p[i] + b[i];
    ++k;
    if (std::sqrt(rho) / root_m < tolerance) break;
  }
  return k;
}

}  // namespace

void oriSimSetKernelRequest(int kernel) {
  kernel_request = kernel == kOriSimKernelPlain ? kOriSimKernelPlain : kOriSimKernelAuto;
}

bool oriSimKernelWide() {
#ifdef PLICATA_HAVE_WIDE
  return kernel_request == kOriSimKernelAuto && processorIsWide();
#else
  return false;
#endif
}

int oriSimSparseSolveCG(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                        const std::vector<double>& r, std::vector<double>& x, std::vector<double>& b) {
  const int m = C.m;
  x.assign(static_cast<size_t>(m), 0.0);
  b.assign(r.begin(), r.begin() + std::min(r.size(), static_cast<size_t>(m)));
  b.resize(static_cast<size_t>(m), 0.0);
  if (m <= 0) return 0;
  const double limit = std::min(static_cast<double>(m), static_cast<double>(max_iterations));
  const int vertices = m / 3;
  const bool grouped = C.paired && C.owner_start.size() == static_cast<size_t>(vertices) + 1 &&
                       C.pair_val.size() == 8 * C.other.size() && 3 * vertices == m;
  if (!grouped) return iterateUnpaired(C, eps, limit, tolerance, x, b);

  // x = 0, so b = r − A·x = r, and p starts as b.
  const size_t slots = 4 * static_cast<size_t>(vertices);
  std::vector<double> p(slots + 4, 0.0), q(slots + 4, 0.0), xw(slots, 0.0), bw(slots, 0.0);
  double rho = 0.0;
  for (int s = 0; s < vertices; ++s) {
    for (int j = 0; j < 3; ++j) {
      const double v = b[3 * s + j];
      bw[4 * s + j] = v;
      p[4 * s + j] = v;
      rho += v * v;
    }
  }
  if (!(rho > 0.0) || !std::isfinite(rho)) return 0;

  // How far each owner's creases reach, so that the product can clear and
  // advance vertices just ahead of their first use; on the way, the grouping
  // is checked to be what the product relies on (every other vertex after
  // its owner, offsets in order), else the rows are taken as they are.
  std::vector<int> reach(static_cast<size_t>(vertices));
  int furthest = 0;
  bool sound = C.owner_start[0] == 0 && C.owner_start[vertices] == static_cast<int>(C.other.size());
  for (int s = 0; s < vertices && sound; ++s) {
    furthest = std::max(furthest, s);
    if (C.owner_start[s + 1] < C.owner_start[s] || C.owner_start[s + 1] > static_cast<int>(C.other.size())) {
      sound = false;
    }
    for (int k = C.owner_start[s]; k < C.owner_start[s + 1] && sound; ++k) {
      const int o = C.other[k];
      if (o <= s || o > vertices) sound = false;
      if (o < vertices) furthest = std::max(furthest, o);
    }
    reach[s] = furthest;
  }
  if (!sound) return iterateUnpaired(C, eps, limit, tolerance, x, b);
  const Padded a{vertices, C.owner_start.data(), C.other.data(), C.pair_val.data(), reach.data(), eps,
                 p.data(), q.data(), xw.data(), bw.data()};
  const double root_m = std::sqrt(static_cast<double>(m));
  int k;
#ifdef PLICATA_HAVE_WIDE
  if (oriSimKernelWide()) {
    k = iterateWide(a, rho, limit, tolerance, root_m);
  } else {
    k = iteratePlain(a, rho, limit, tolerance, root_m);
  }
#else
  k = iteratePlain(a, rho, limit, tolerance, root_m);
#endif
  for (int s = 0; s < vertices; ++s) {
    for (int j = 0; j < 3; ++j) {
      x[3 * s + j] = xw[4 * s + j];
      b[3 * s + j] = bw[4 * s + j];
    }
  }
  return k;
}
