// The conjugate gradient of the projection, written once for every way its
// system A = C·Cᵀ + eps·I is held: the dense m × m matrix, the Jacobian's
// rows of nonzeros grouped by crease (four doubles to a vertex), or those
// rows as they are. Each holder passes its product and, when it has one,
// its preconditioner; the iteration, its vector updates and its stopping
// test are the same for all.
//
// Header-only and always inlined, so that a caller compiled for wider
// vectors (sim/sparse_cg.cpp builds its iteration twice) gets the vector
// updates built the same way.
#pragma once

#include <cmath>
#include <cstring>
#include <type_traits>

#define ORISIM_CG_INLINE inline __attribute__((always_inline))

// The vectors of one solve, size doubles each. Slots that hold no row (the
// padding of four-double vertices) are zero in b and stay zero throughout.
struct ORISIM_cgVectors {
  int size;
  double* x;  // the start on entry (zero, or the previous step's answer); the answer on return
  double* b;  // r − A·x on entry; the last residual on return
  double* p;  // search direction (scratch)
  double* q;  // A·p (scratch)
  double* z;  // preconditioned residual (scratch; unused without a preconditioner)
};

// When the iteration stops: after limit iterations (min(m, the cap), as a
// double), or when ‖b‖₂ / root_m falls below tolerance, tested after each
// iteration. Every solve takes at least one iteration, whatever its start:
// the test is absolute, and a start that passes it may still be far from
// the answer of a small right-hand side.
struct ORISIM_cgStop {
  double limit;
  double tolerance;
  double root_m;
};

// Whether a residual of squared norm bb ends the iteration: a system may
// then leave the preconditioning of that residual undone, as it goes unused.
inline bool oriSimCgConverged(const ORISIM_cgStop& stop, double bb) {
  return std::sqrt(bb) / stop.root_m < stop.tolerance;
}

// The preconditioner of the plain iteration: none (z is b itself).
struct ORISIM_cgNoPreconditioner {};

// The four-double vectors below never cross a call (everything here is
// inlined), so the note that passing them by value depends on the build
// does not apply; it is given at the end of the including file, so it stays
// off there.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace orisim_cg_detail {

typedef double v4d __attribute__((vector_size(32)));

ORISIM_CG_INLINE v4d load4(const double* a) {
  v4d v;
  std::memcpy(&v, a, sizeof v);
  return v;
}

ORISIM_CG_INLINE void store4(double* a, v4d v) { std::memcpy(a, &v, sizeof v); }

ORISIM_CG_INLINE v4d splat4(double d) { return v4d{d, d, d, d}; }

// The four lanes summed as two halves, then the two: the fewest operations
// whether the vector is one register or two.
ORISIM_CG_INLINE double sum4(v4d v) { return (v[0] + v[2]) + (v[1] + v[3]); }

// b·b, in two partial sums of four lanes each so that no one chain of
// additions paces the loop.
ORISIM_CG_INLINE double squaredNorm(int size, const double* __restrict b) {
  v4d s0 = splat4(0.0), s1 = splat4(0.0);
  int i = 0;
  for (; i + 8 <= size; i += 8) {
    const v4d t0 = load4(b + i), t1 = load4(b + i + 4);
    s0 += t0 * t0;
    s1 += t1 * t1;
  }
  double tail = 0.0;
  for (; i < size; ++i) tail += b[i] * b[i];
  return sum4(s0 + s1) + tail;
}

// x += alpha·p and b −= alpha·q in one pass; returns the new b·b.
ORISIM_CG_INLINE double advance(int size, double alpha, const double* __restrict p, const double* __restrict q,
                                double* __restrict x, double* __restrict b) {
  const v4d up = splat4(alpha), down = splat4(-alpha);
  v4d s0 = splat4(0.0), s1 = splat4(0.0);
  int i = 0;
  for (; i + 8 <= size; i += 8) {
    store4(x + i, load4(x + i) + up * load4(p + i));
    store4(x + i + 4, load4(x + i + 4) + up * load4(p + i + 4));
    const v4d t0 = load4(b + i) + down * load4(q + i);
    const v4d t1 = load4(b + i + 4) + down * load4(q + i + 4);
    store4(b + i, t0);
    store4(b + i + 4, t1);
    s0 += t0 * t0;
    s1 += t1 * t1;
  }
  double tail = 0.0;
  for (; i < size; ++i) {
    x[i] += alpha * p[i];
    const double t = b[i] + (-alpha) * q[i];
    b[i] = t;
    tail += t * t;
  }
  return sum4(s0 + s1) + tail;
}

// p = beta·p + z.
ORISIM_CG_INLINE void direct(int size, double beta, const double* __restrict z, double* __restrict p) {
  const v4d keep = splat4(beta);
  int i = 0;
  for (; i + 4 <= size; i += 4) store4(p + i, keep * load4(p + i) + load4(z + i));
  for (; i < size; ++i) p[i] = beta * p[i] + z[i];
}

}  // namespace orisim_cg_detail

// p = beta·p + z over size doubles: the direction update for a product that
// does not form it on its way.
ORISIM_CG_INLINE void oriSimDirect(int size, double beta, const double* z, double* p) {
  orisim_cg_detail::direct(size, beta, z, p);
}

// The inverse of a symmetric positive definite 3 × 3 block a (entries 00,
// 01, 02, 11, 12, 22) as three columns of four doubles (the fourth zero),
// for the block preconditioner. A block that rounding leaves without a
// positive determinant gets the inverse of its diagonal instead (the
// caller's blocks carry eps on the diagonal, so no pivot vanishes).
inline void oriSimInvertBlock(const double a[6], double out[12]) {
  const double c00 = a[3] * a[5] - a[4] * a[4], c01 = a[2] * a[4] - a[1] * a[5], c02 = a[1] * a[4] - a[2] * a[3];
  const double c11 = a[0] * a[5] - a[2] * a[2], c12 = a[1] * a[2] - a[0] * a[4], c22 = a[0] * a[3] - a[1] * a[1];
  const double det = a[0] * c00 + a[1] * c01 + a[2] * c02;
  for (int i = 0; i < 12; ++i) out[i] = 0.0;
  if (det > 0.0 && std::isfinite(det) && std::isfinite(1.0 / det)) {
    const double d = 1.0 / det;
    const double cols[3][3] = {{c00, c01, c02}, {c01, c11, c12}, {c02, c12, c22}};
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 3; ++i) out[4 * j + i] = cols[j][i] * d;
    }
  } else {
    out[0] = 1.0 / a[0];
    out[5] = 1.0 / a[3];
    out[10] = 1.0 / a[5];
  }
}

// z = M⁻¹·b on vectors of three doubles to a vertex, inverse holding each
// vertex's block as oriSimInvertBlock gives it. Returns b·z.
inline double oriSimPreconditionRows(int vertices, const double* inverse, const double* b, double* z) {
  double bz = 0.0;
  for (int s = 0; s < vertices; ++s) {
    const double* c = inverse + 12 * static_cast<size_t>(s);
    const double* bs = b + 3 * static_cast<size_t>(s);
    for (int i = 0; i < 3; ++i) {
      const double zi = c[i] * bs[0] + c[4 + i] * bs[1] + c[8 + i] * bs[2];
      z[3 * s + i] = zi;
      bz += bs[i] * zi;
    }
  }
  return bz;
}

// Scales a start x0 for A·x = r to the best multiple γ·x0 (γ = x0·r /
// x0·A·x0, the least error in the A-norm along x0) and sets b = r − γ·A·x0;
// ax holds A·x0 and b holds r on entry. The error of the start in the
// A-norm is then never above that of x = 0, so a start from another step
// cannot make the answer worse than starting from nothing (near the flat
// sheet the right-hand side shrinks step by step while the last answer
// does not). A start without a positive x0·A·x0 becomes x = 0.
inline void oriSimScaleStart(int size, double* x, const double* ax, double* b) {
  double xr = 0.0, xax = 0.0;
  for (int i = 0; i < size; ++i) {
    xr += x[i] * b[i];
    xax += x[i] * ax[i];
  }
  const double gamma = xax > 0.0 && std::isfinite(xax) && std::isfinite(xr) ? xr / xax : 0.0;
  for (int i = 0; i < size; ++i) {
    x[i] *= gamma;
    b[i] -= gamma * ax[i];
  }
}

// The two sums the iteration needs after each pass over the residual b:
// b·b for the stopping test, b·z (z = M⁻¹·b, b·b itself without a
// preconditioner) for the next direction.
struct ORISIM_cgSums {
  double bb;
  double bz;
};

// Conjugate gradient on A·x = r with a preconditioner M, the vector work
// left to system, which keeps x, b (r − A·x on entry), the direction p, q =
// A·p and z = M⁻¹·b and provides:
//   ORISIM_cgSums begin()             z = M⁻¹·b, p = z;
//   double product(bool first, double beta)
//                                     p = beta·p + z unless first, q = A·p;
//                                     returns p·q;
//   ORISIM_cgSums advance(double alpha)
//                                     x += alpha·p, b −= alpha·q, z = M⁻¹·b.
// So that a system may fuse its passes (form p inside its product, or
// precondition on its way through b) and share them among threads, every
// pass is one call. The stopping test is on the residual b itself, whatever
// the preconditioner. A zero or non-finite residual is solved as it stands
// (the first step would be 0/0), and so is a product p·q that is not
// positive (p vanished: dividing by it would spoil x). Returns the
// iterations taken.
template <typename System>
ORISIM_CG_INLINE int oriSimConjugateGradient(System& system, const ORISIM_cgStop& stop) {
  ORISIM_cgSums sums = system.begin();
  if (!(sums.bb > 0.0) || !std::isfinite(sums.bb)) return 0;
  if (!(sums.bz > 0.0) || !std::isfinite(sums.bz)) return 0;
  double rz = sums.bz;
  int k = 0;
  double beta = 0.0;
  while (static_cast<double>(k) < stop.limit) {
    const double pq = system.product(k == 0, beta);
    // A is positive definite, so p·q > 0 unless p vanished; stop rather than divide by it.
    if (!(pq > 0.0) || !std::isfinite(pq)) break;
    sums = system.advance(rz / pq);
    ++k;
    if (oriSimCgConverged(stop, sums.bb)) break;
    beta = sums.bz / rz;
    rz = sums.bz;
  }
  return k;
}

// The system of the iteration on plain vectors v: apply(beta, z, p, q) first
// sets p = beta·p + z when z is not null (the new search direction, which a
// product that passes over p anyway can form on its way: oriSimDirect does
// it otherwise), then q = A·p, and returns p·q; precondition(b, z) sets z =
// M⁻¹·b for a symmetric positive definite M and returns b·z, or is
// ORISIM_cgNoPreconditioner (z is b itself).
template <typename Apply, typename Precondition>
struct ORISIM_cgOnVectors {
  static constexpr bool plain = std::is_same<Precondition, ORISIM_cgNoPreconditioner>::value;
  const Apply& apply;
  const Precondition& precondition;
  const ORISIM_cgVectors& v;
  const ORISIM_cgStop& stop;

  ORISIM_CG_INLINE double* z() const { return plain ? v.b : v.z; }
  ORISIM_CG_INLINE ORISIM_cgSums sums(double bb) const {
    if constexpr (plain) {
      return {bb, bb};
    } else {
      return {bb, precondition(static_cast<const double*>(v.b), v.z)};
    }
  }
  ORISIM_CG_INLINE ORISIM_cgSums begin() const {
    const double bb = orisim_cg_detail::squaredNorm(v.size, v.b);
    // A residual that ends the iteration at once needs no preconditioning.
    const ORISIM_cgSums s = !(bb > 0.0) || !std::isfinite(bb) ? ORISIM_cgSums{bb, bb} : sums(bb);
    std::memcpy(v.p, z(), sizeof(double) * static_cast<size_t>(v.size));
    return s;
  }
  ORISIM_CG_INLINE double product(bool first, double beta) const {
    return apply(beta, first ? nullptr : static_cast<const double*>(z()), v.p, v.q);
  }
  ORISIM_CG_INLINE ORISIM_cgSums advance(double alpha) const {
    const double bb = orisim_cg_detail::advance(v.size, alpha, v.p, v.q, v.x, v.b);
    // The residual that ends the iteration is not preconditioned: z goes unused.
    if (oriSimCgConverged(stop, bb)) return {bb, 0.0};
    return sums(bb);
  }
};

// The iteration on plain vectors (see ORISIM_cgOnVectors).
template <typename Apply, typename Precondition>
ORISIM_CG_INLINE int oriSimConjugateGradient(const Apply& apply, const Precondition& precondition,
                                             const ORISIM_cgVectors& v, const ORISIM_cgStop& stop) {
  ORISIM_cgOnVectors<Apply, Precondition> system{apply, precondition, v, stop};
  return oriSimConjugateGradient(system, stop);
}
