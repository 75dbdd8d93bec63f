// The sparse projection's conjugate gradient.
//
// Sections: four-double vectors; the product on owned creases and the block
// preconditioner; choosing the build; the rows that are not paired; solving.
#include "sim/sparse_cg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "sim/conjugate_gradient.h"
#include "sim/sparse_factor.h"
#include "sim/sparse_jacobian.h"

namespace {

// ---- Four-double vectors -------------------------------------------------------
//
// One vertex's three rows and a zero. The compiler's vector type lowers to
// two 128-bit operations on any x86-64 and to one 256-bit operation where
// the wide build allows it; elsewhere to whatever the target has.

using orisim_cg_detail::load4;
using orisim_cg_detail::splat4;
using orisim_cg_detail::store4;
using orisim_cg_detail::sum4;
using orisim_cg_detail::v4d;

#define PLICATA_INLINE inline __attribute__((always_inline))

// The grouping the product runs over. Padded vectors hold four doubles per
// vertex and one more slot (vertex `vertices`) that creases meeting a single
// vertex point at: an input's stays zero, an output's takes their zero
// shares. reach[s] is the highest vertex that the creases of owners up to s
// touch (at least s).
struct Padded {
  int vertices;
  const int* owner_start;
  const int* other;
  const double* pair_val;
  const int* reach;
  double eps;
};

// ---- The product on owned creases ---------------------------------------------

// q = (C·Cᵀ + eps·I)·p, each crease once: w_c from its two vertices, then
// its share of both vertices' rows. A later vertex's rows gather shares
// while earlier owners run; an owner's own shares are summed aside and added
// last. A vertex's q is cleared, and (when next is given) its p set to
// beta·p + next, just before any crease first reads it (the vertices are
// reached in order, as reach tells), so that p and q are passed over once.
// Returns p·q.
PLICATA_INLINE double normalProduct(const Padded& a, double beta, const double* next_in, double* p_in,
                                    double* q_out) {
  // Locals, so that the stores below (which may alias anything) do not
  // make the compiler fetch the record's fields again.
  const int vertices = a.vertices;
  const int* __restrict owner_start = a.owner_start;
  const int* __restrict other = a.other;
  const double* __restrict pair_val = a.pair_val;
  const int* __restrict reach = a.reach;
  double* __restrict p = p_in;
  double* __restrict q = q_out;
  const double* __restrict next = next_in;
  const v4d zero = splat4(0.0), keep = splat4(beta);
  store4(q + 4 * vertices, zero);
  v4d pq = zero;
  const v4d eps = splat4(a.eps);
  int ready = 0;  // vertices below this are cleared (and their direction formed)
  for (int s = 0; s < vertices; ++s) {
    for (; ready <= reach[s]; ++ready) {
      const int t = 4 * ready;
      if (next != nullptr) store4(p + t, keep * load4(p + t) + load4(next + t));
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

// z = M⁻¹·b with M the 3 × 3 diagonal blocks of the system, one vertex at a
// time (inverse holds each block's inverse as three padded columns).
// Returns b·z.
PLICATA_INLINE double blockPrecondition(int vertices, const double* __restrict inverse, const double* __restrict b,
                                        double* __restrict z) {
  v4d bz = splat4(0.0);
  for (int s = 0; s < vertices; ++s) {
    const v4d bs = load4(b + 4 * s);
    const double* c = inverse + 12 * s;
    const v4d zs = load4(c) * splat4(bs[0]) + load4(c + 4) * splat4(bs[1]) + load4(c + 8) * splat4(bs[2]);
    store4(z + 4 * s, zs);
    bz += bs * zs;
  }
  return sum4(bz);
}

// What helps the iteration: nothing, the blocks' inverses, or the factor
// (with two vectors of m rows to pass it the residual through).
struct Helper {
  const double* inverse = nullptr;
  ORISIM_factor* factor = nullptr;
  double* rows_in = nullptr;
  double* rows_out = nullptr;
};

// z = A⁻¹·b through the factor, for padded vectors. Returns b·z.
double factorPrecondition(int vertices, const Helper& h, const double* b, double* z) {
  for (int s = 0; s < vertices; ++s) {
    for (int j = 0; j < 3; ++j) h.rows_in[3 * s + j] = b[4 * s + j];
  }
  oriSimFactorSolve(h.factor, h.rows_in, h.rows_out);
  double bz = 0.0;
  for (int s = 0; s < vertices; ++s) {
    for (int j = 0; j < 3; ++j) {
      z[4 * s + j] = h.rows_out[3 * s + j];
      bz += b[4 * s + j] * z[4 * s + j];
    }
  }
  return bz;
}

// The iteration on the padded vectors, helped as h says. Returns the
// iterations taken.
PLICATA_INLINE int iterate(const Padded& a, const Helper& h, const ORISIM_cgVectors& v, const ORISIM_cgStop& stop) {
  const auto apply = [&a](double beta, const double* next, double* p, double* q) {
    return normalProduct(a, beta, next, p, q);
  };
  const int vertices = a.vertices;
  if (h.factor != nullptr) {
    const auto precondition = [vertices, &h](const double* b, double* z) {
      return factorPrecondition(vertices, h, b, z);
    };
    return oriSimConjugateGradient(apply, precondition, v, stop);
  }
  const double* inverse = h.inverse;
  if (inverse == nullptr) return oriSimConjugateGradient(apply, ORISIM_cgNoPreconditioner{}, v, stop);
  const auto precondition = [vertices, inverse](const double* b, double* z) {
    return blockPrecondition(vertices, inverse, b, z);
  };
  return oriSimConjugateGradient(apply, precondition, v, stop);
}

// A start x scaled (oriSimScaleStart) and b = r − A·x, through q (all padded).
PLICATA_INLINE void startResidual(const Padded& a, double* x, double* q, double* b) {
  normalProduct(a, 0.0, nullptr, x, q);
  oriSimScaleStart(4 * a.vertices, x, q, b);
}

// ---- Choosing the build -----------------------------------------------------------

thread_local int kernel_request = kOriSimKernelAuto;

__attribute__((noinline)) int iteratePlain(const Padded& a, const Helper& h, const ORISIM_cgVectors& v,
                                           const ORISIM_cgStop& stop, bool warm) {
  if (warm) startResidual(a, v.x, v.q, v.b);
  return iterate(a, h, v, stop);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PLICATA_HAVE_WIDE 1
__attribute__((target("avx2,fma"))) int iterateWide(const Padded& a, const Helper& h, const ORISIM_cgVectors& v,
                                                     const ORISIM_cgStop& stop, bool warm) {
  if (warm) startResidual(a, v.x, v.q, v.b);
  return iterate(a, h, v, stop);
}

bool processorIsWide() {
  static const bool wide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return wide;
}
#endif

// ---- The rows that are not paired ---------------------------------------------------

// Each vertex's 3 × 3 block of the system, Σ v·vᵀ over its entries plus
// eps·I, inverted (oriSimInvertBlock).
void blockInverses(const ORISIM_sparse& C, double eps, std::vector<double>* inverse) {
  const int vertices = C.m / 3;
  inverse->assign(12 * static_cast<size_t>(vertices), 0.0);
  const bool formed = C.vert_start.size() == static_cast<size_t>(vertices) + 1 && C.val.size() == 3 * C.col.size();
  for (int s = 0; s < vertices; ++s) {
    double a[6] = {eps, 0.0, 0.0, eps, 0.0, eps};  // 00 01 02 11 12 22
    for (int k = formed ? C.vert_start[s] : 0; formed && k < C.vert_start[s + 1]; ++k) {
      const double* v = &C.val[3 * static_cast<size_t>(k)];
      a[0] += v[0] * v[0];
      a[1] += v[0] * v[1];
      a[2] += v[0] * v[2];
      a[3] += v[1] * v[1];
      a[4] += v[1] * v[2];
      a[5] += v[2] * v[2];
    }
    oriSimInvertBlock(a, &(*inverse)[12 * static_cast<size_t>(s)]);
  }
}

// The same iteration on the rows as they are, with the two-pass product and
// three doubles to a vertex.
int iterateUnpaired(const ORISIM_sparse& C, double eps, const Helper& h, const ORISIM_cgStop& stop, bool warm,
                    std::vector<double>& x, std::vector<double>& b) {
  const double* inverse = h.inverse;
  const int m = C.m;
  std::vector<double> p(m, 0.0), q(m, 0.0), z(m, 0.0), w(static_cast<size_t>(C.n), 0.0);
  const auto apply = [&](double beta, const double* next, double* in, double* out) {
    if (next != nullptr) oriSimDirect(m, beta, next, in);
    return oriSimSparseNormalProduct(C, eps, in, w.data(), out);
  };
  if (warm) {
    apply(0.0, nullptr, x.data(), q.data());
    oriSimScaleStart(m, x.data(), q.data(), b.data());
  }
  const ORISIM_cgVectors v{m, x.data(), b.data(), p.data(), q.data(), z.data()};
  if (h.factor != nullptr) {
    const auto precondition = [&](const double* in, double* out) {
      oriSimFactorSolve(h.factor, in, out);
      double bz = 0.0;
      for (int i = 0; i < m; ++i) bz += in[i] * out[i];
      return bz;
    };
    return oriSimConjugateGradient(apply, precondition, v, stop);
  }
  if (inverse == nullptr) return oriSimConjugateGradient(apply, ORISIM_cgNoPreconditioner{}, v, stop);
  const auto precondition = [&](const double* in, double* out) {
    return oriSimPreconditionRows(m / 3, inverse, in, out);
  };
  return oriSimConjugateGradient(apply, precondition, v, stop);
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

// ---- Solving ------------------------------------------------------------------------

int oriSimSparseSolveCG(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                        const std::vector<double>& r, std::vector<double>& x, std::vector<double>& b) {
  return oriSimSparseSolveCGFrom(C, eps, tolerance, max_iterations, kOriSimPreconditionNone, false, r, x, b);
}

int oriSimSparseSolveCGFrom(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                            int preconditioner, bool warm, const std::vector<double>& r, std::vector<double>& x,
                            std::vector<double>& b) {
  const int m = C.m;
  warm = warm && x.size() == static_cast<size_t>(m);
  if (!warm) x.assign(static_cast<size_t>(m), 0.0);
  for (double& d : x) {
    if (!std::isfinite(d)) {
      // A start that went bad is no start at all.
      x.assign(static_cast<size_t>(m), 0.0);
      warm = false;
      break;
    }
  }
  b.assign(r.begin(), r.begin() + std::min(r.size(), static_cast<size_t>(m)));
  b.resize(static_cast<size_t>(m), 0.0);
  if (m <= 0) return 0;
  const ORISIM_cgStop stop{std::min(static_cast<double>(m), static_cast<double>(max_iterations)), tolerance,
                           std::sqrt(static_cast<double>(m))};
  // The factor, or where it cannot be had, the blocks.
  std::unique_ptr<ORISIM_factor, void (*)(ORISIM_factor*)> factor(
      preconditioner == kOriSimPreconditionFactor ? oriSimFactorNew(C, eps) : nullptr, oriSimFactorDelete);
  // Working arrays kept by the thread from one solve to the next: a large
  // sheet's dozen megabytes, taken afresh each step, cost more in page
  // faults than a dozen iterations.
  thread_local std::vector<double> inverse, rows_in, rows_out, p, q, z, xw, bw;
  thread_local std::vector<int> reach;
  inverse.clear();
  if (factor != nullptr) {
    rows_in.assign(static_cast<size_t>(m), 0.0);
    rows_out.assign(static_cast<size_t>(m), 0.0);
  } else if (preconditioner != kOriSimPreconditionNone) {
    blockInverses(C, eps, &inverse);
  }
  Helper inv;
  inv.inverse = inverse.empty() ? nullptr : inverse.data();
  inv.factor = factor.get();
  inv.rows_in = rows_in.data();
  inv.rows_out = rows_out.data();
  const int vertices = m / 3;
  const bool grouped = C.paired && C.owner_start.size() == static_cast<size_t>(vertices) + 1 &&
                       C.pair_val.size() == 8 * C.other.size() && 3 * vertices == m;
  if (!grouped) return iterateUnpaired(C, eps, inv, stop, warm, x, b);

  // How far each owner's creases reach, so that the product can clear
  // vertices just ahead of their first use; on the way, the grouping is
  // checked to be what the product relies on (every other vertex after its
  // owner, offsets in order), else the rows are taken as they are.
  reach.resize(static_cast<size_t>(vertices));
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
  if (!sound) return iterateUnpaired(C, eps, inv, stop, warm, x, b);

  // Four doubles to a vertex, and the slot that holds nothing.
  const size_t slots = 4 * static_cast<size_t>(vertices);
  for (std::vector<double>* v : {&p, &q, &z, &xw, &bw}) v->assign(slots + 4, 0.0);
  for (int s = 0; s < vertices; ++s) {
    for (int j = 0; j < 3; ++j) {
      bw[4 * s + j] = b[3 * s + j];
      xw[4 * s + j] = x[3 * s + j];
    }
  }
  const Padded a{vertices, C.owner_start.data(), C.other.data(), C.pair_val.data(), reach.data(), eps};
  const ORISIM_cgVectors v{static_cast<int>(slots), xw.data(), bw.data(), p.data(), q.data(), z.data()};
  int k;
#ifdef PLICATA_HAVE_WIDE
  if (oriSimKernelWide()) {
    k = iterateWide(a, inv, v, stop, warm);
  } else {
    k = iteratePlain(a, inv, v, stop, warm);
  }
#else
  k = iteratePlain(a, inv, v, stop, warm);
#endif
  for (int s = 0; s < vertices; ++s) {
    for (int j = 0; j < 3; ++j) {
      x[3 * s + j] = xw[4 * s + j];
      b[3 * s + j] = bw[4 * s + j];
    }
  }
  return k;
}
