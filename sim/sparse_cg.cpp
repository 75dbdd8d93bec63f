// The sparse projection's conjugate gradient.
//
// Sections: four-double vectors; chunks of owners; the passes of one chunk;
// choosing the build; the rows that are not paired; solving.
#include "sim/sparse_cg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <vector>

#include "sim/conjugate_gradient.h"
#include "sim/parallel_chunks.h"
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

// About this many owned creases to a chunk: a chunk's product then takes
// tens of microseconds, long beside the cost of handing it to a helper, and
// a sheet smaller than two chunks is solved on the calling thread alone.
constexpr long kChunkCreases = 4096;

// ---- Chunks of owners ----------------------------------------------------------
//
// The owners are cut into runs of about equal numbers of creases. A chunk's
// product writes the rows of its own vertices only: a crease whose other
// vertex lies in a later chunk (it crosses) leaves that vertex's share in
// the chunk's spill, which the later chunk adds to its rows when it next
// passes over them (in the advance, or the start's fix-up), spills taken in
// chunk order. Every sum is formed chunk by chunk and the chunks' sums added
// in chunk order, so the answer does not depend on which thread ran what.

struct Layout {
  int vertices = 0;
  int chunks = 0;
  std::vector<int> start;        // chunks + 1 vertex boundaries
  std::vector<int> spill_begin;  // per chunk: the vertices its crossing creases reach,
  std::vector<int> spill_end;    //   [begin, end) (the empty slot takes no share)
  std::vector<size_t> spill_at;  // chunks + 1 offsets into the spills (doubles)
};

// Cuts the owners of a sound grouping (see solve) into chunks.
void layOut(const ORISIM_sparse& C, int vertices, Layout* out) {
  const long creases = static_cast<long>(C.other.size());
  const int chunks = oriSimChunks(creases, kChunkCreases);
  out->vertices = vertices;
  out->chunks = chunks;
  out->start.assign(static_cast<size_t>(chunks) + 1, vertices);
  out->start[0] = 0;
  for (int k = 1; k < chunks; ++k) {
    const int first = static_cast<int>(oriSimChunkBegin(creases, chunks, k));
    const int s = static_cast<int>(std::lower_bound(C.owner_start.begin(), C.owner_start.end(), first) -
                                   C.owner_start.begin());
    out->start[k] = std::max(out->start[k - 1], std::min(s, vertices));
  }
  out->spill_begin.resize(chunks);
  out->spill_end.resize(chunks);
  out->spill_at.assign(static_cast<size_t>(chunks) + 1, 0);
  for (int k = 0; k < chunks; ++k) {
    const int end = out->start[k + 1];
    int reach = end;
    for (int i = C.owner_start[out->start[k]]; i < C.owner_start[end]; ++i) {
      if (C.other[i] < vertices) reach = std::max(reach, C.other[i] + 1);
    }
    out->spill_begin[k] = end;
    out->spill_end[k] = reach;
    out->spill_at[k + 1] = out->spill_at[k] + 4 * static_cast<size_t>(reach - end);
  }
}

// How the residual is preconditioned.
enum Helping { kHelpNone, kHelpBlocks, kHelpFactor };

// Everything the passes of one solve read and write: padded vectors of four
// doubles to a vertex and one more slot (vertex `vertices`, always zero in
// p, x, b and z) that creases meeting a single vertex point at.
struct Job {
  const Layout* layout;
  const int* owner_start;
  const int* other;
  const double* pair_val;
  double* inverse;  // kHelpBlocks: each vertex's block inverted, three padded columns
  double eps;
  Helping help;
  double* x;
  double* b;
  double* z;       // b itself under kHelpNone
  double* p;       // the direction
  double* p_last;  // the direction before it (the directions take turns in two vectors)
  double* q;
  double* spill;
  double* sums;    // two per chunk
  // The pass's scalars.
  bool form;  // the product forms p = beta·p_last + z first
  double beta, alpha, gamma;
};

// The shares that earlier chunks' crossing creases left for chunk k's rows,
// added to q in chunk order.
PLICATA_INLINE void takeSpills(const Job& J, int k) {
  const Layout& L = *J.layout;
  const int s0 = L.start[k], s1 = L.start[k + 1];
  for (int i = 0; i < k; ++i) {
    const int from = std::max(L.spill_begin[i], s0), to = std::min(L.spill_end[i], s1);
    const double* spill = J.spill + L.spill_at[i];
    for (int t = from; t < to; ++t) {
      store4(J.q + 4 * t, load4(J.q + 4 * t) + load4(spill + 4 * (t - L.spill_begin[i])));
    }
  }
}

// ---- The passes of one chunk ------------------------------------------------------
//
// b·b is summed as the plain vectors' squaredNorm and advance sum it (pairs
// of vertices in two sums, a last odd vertex entry by entry), so that a
// sheet of one chunk rounds as the iteration on plain vectors does.

// Accumulates b·b over one chunk's vertices in that order.
struct Norm {
  v4d even = splat4(0.0), odd = splat4(0.0);
  double tail = 0.0;
  PLICATA_INLINE double total() const { return sum4(even + odd) + tail; }
};

// zs = M⁻¹·bs for vertex s (inverse as oriSimInvertBlock gives it).
PLICATA_INLINE v4d blockSolve(const double* inverse, int s, v4d bs) {
  const double* c = inverse + 12 * static_cast<size_t>(s);
  return load4(c) * splat4(bs[0]) + load4(c + 4) * splat4(bs[1]) + load4(c + 8) * splat4(bs[2]);
}

// z = M⁻¹·b and p = z over chunk k; its sums b·b and b·z. Under kHelpFactor
// only b·b (the factor is applied to the whole of b afterwards).
PLICATA_INLINE void beginChunk(Job& J, int k) {
  const int s0 = J.layout->start[k], s1 = J.layout->start[k + 1];
  Norm bb;
  v4d bz = splat4(0.0);
  // Preconditions vertex s, whose b is bs.
  const auto help = [&J, &bz](int s, v4d bs) {
    if (J.help == kHelpBlocks) {
      const v4d zs = blockSolve(J.inverse, s, bs);
      store4(J.z + 4 * s, zs);
      store4(J.p + 4 * s, zs);
      bz += bs * zs;
    } else if (J.help == kHelpNone) {
      store4(J.p + 4 * s, bs);
    }
  };
  int s = s0;
  for (; s + 2 <= s1; s += 2) {
    const v4d t0 = load4(J.b + 4 * s), t1 = load4(J.b + 4 * s + 4);
    bb.even += t0 * t0;
    bb.odd += t1 * t1;
    help(s, t0);
    help(s + 1, t1);
  }
  for (; s < s1; ++s) {
    for (int i = 4 * s; i < 4 * s + 4; ++i) bb.tail += J.b[i] * J.b[i];
    help(s, load4(J.b + 4 * s));
  }
  J.sums[2 * k] = bb.total();
  J.sums[2 * k + 1] = J.help == kHelpBlocks ? sum4(bz) : J.sums[2 * k];
}

// q = (C·Cᵀ + eps·I)·p on chunk k's rows, each crease of its owners once:
// w_c from its two vertices, then its share of both vertices' rows, the
// other's into the spill when it lies beyond the chunk. p is first formed
// over the chunk when J.form is set; a crossing crease forms the other
// vertex's p for itself from the vectors that do not change in this pass.
// Its sum p·q: the rows' own, and the crossing shares' p·share.
PLICATA_INLINE void productChunk(Job& J, int k) {
  const Layout& L = *J.layout;
  const int s0 = L.start[k], s1 = L.start[k + 1], vertices = L.vertices;
  // Locals, so that the stores below (which may alias anything) do not
  // make the compiler fetch the record's fields again.
  const int* __restrict owner_start = J.owner_start;
  const int* __restrict other = J.other;
  const double* __restrict pair_val = J.pair_val;
  double* __restrict p = J.p;
  const double* __restrict p_last = J.p_last;
  const double* __restrict z = J.z;
  double* __restrict q = J.q;
  double* __restrict spill = J.spill + L.spill_at[k];
  const int spill_begin = L.spill_begin[k];
  const bool form = J.form;
  const v4d zero = splat4(0.0), keep = splat4(J.beta), eps = splat4(J.eps);
  for (int t = s0; t < s1; ++t) {
    if (form) store4(p + 4 * t, keep * load4(p_last + 4 * t) + load4(z + 4 * t));
    store4(q + 4 * t, zero);
  }
  for (int t = 0; t < L.spill_end[k] - spill_begin; ++t) store4(spill + 4 * t, zero);
  v4d pq = zero, pq_spilt = zero;
  for (int s = s0; s < s1; ++s) {
    const v4d ps = load4(p + 4 * s);
    v4d y = zero;
    const int end = owner_start[s + 1];
    for (int c = owner_start[s]; c < end; ++c) {
      const v4d own = load4(pair_val + 8 * c);
      const v4d theirs = load4(pair_val + 8 * c + 4);
      const int o = other[c];
      const int t = 4 * o;
      if (o < s1 || o == vertices) {
        // (The empty slot's p is zero in every direction, and its share,
        // zero, is not kept.)
        const v4d w = splat4(sum4(own * ps + theirs * load4(p + t)));
        if (o != vertices) store4(q + t, load4(q + t) + theirs * w);
        y += own * w;
      } else {
        const v4d po = form ? keep * load4(p_last + t) + load4(z + t) : load4(p + t);
        const v4d w = splat4(sum4(own * ps + theirs * po));
        const v4d share = theirs * w;
        double* into = spill + 4 * (o - spill_begin);
        store4(into, load4(into) + share);
        pq_spilt += po * share;
        y += own * w;
      }
    }
    const v4d qs = (load4(q + 4 * s) + y) + eps * ps;
    store4(q + 4 * s, qs);
    pq += ps * qs;
  }
  J.sums[2 * k] = sum4(pq) + sum4(pq_spilt);
}

// The spills taken, then x += alpha·p, b −= alpha·q and z = M⁻¹·b over
// chunk k; its sums b·b and b·z (b·b only under kHelpFactor).
PLICATA_INLINE void advanceChunk(Job& J, int k) {
  takeSpills(J, k);
  const int s0 = J.layout->start[k], s1 = J.layout->start[k + 1];
  double* __restrict x = J.x;
  double* __restrict b = J.b;
  double* __restrict z = J.z;
  const double* __restrict p = J.p;
  const double* __restrict q = J.q;
  const double alpha = J.alpha;
  const v4d up = splat4(alpha), down = splat4(-alpha);
  Norm bb;
  v4d bz = splat4(0.0);
  const auto help = [&J, z, &bz](int s, v4d bs) {
    if (J.help == kHelpBlocks) {
      const v4d zs = blockSolve(J.inverse, s, bs);
      store4(z + 4 * s, zs);
      bz += bs * zs;
    }
  };
  int s = s0;
  for (; s + 2 <= s1; s += 2) {
    const int t = 4 * s;
    store4(x + t, load4(x + t) + up * load4(p + t));
    store4(x + t + 4, load4(x + t + 4) + up * load4(p + t + 4));
    const v4d t0 = load4(b + t) + down * load4(q + t);
    const v4d t1 = load4(b + t + 4) + down * load4(q + t + 4);
    store4(b + t, t0);
    store4(b + t + 4, t1);
    bb.even += t0 * t0;
    bb.odd += t1 * t1;
    help(s, t0);
    help(s + 1, t1);
  }
  for (; s < s1; ++s) {
    for (int i = 4 * s; i < 4 * s + 4; ++i) {
      x[i] += alpha * p[i];
      const double t = b[i] + (-alpha) * q[i];
      b[i] = t;
      bb.tail += t * t;
    }
    help(s, load4(b + 4 * s));
  }
  J.sums[2 * k] = bb.total();
  J.sums[2 * k + 1] = J.help == kHelpBlocks ? sum4(bz) : J.sums[2 * k];
}

// The start's product completed (spills taken) over chunk k, and its sums
// x·b and x·(A·x) for the start's scale.
PLICATA_INLINE void fixStartChunk(Job& J, int k) {
  takeSpills(J, k);
  double xb = 0.0, xq = 0.0;
  for (int i = 4 * J.layout->start[k]; i < 4 * J.layout->start[k + 1]; ++i) {
    xb += J.x[i] * J.b[i];
    xq += J.x[i] * J.q[i];
  }
  J.sums[2 * k] = xb;
  J.sums[2 * k + 1] = xq;
}

// x = gamma·x and b −= gamma·(A·x) over chunk k.
PLICATA_INLINE void scaleStartChunk(Job& J, int k) {
  for (int i = 4 * J.layout->start[k]; i < 4 * J.layout->start[k + 1]; ++i) {
    J.x[i] *= J.gamma;
    J.b[i] -= J.gamma * J.q[i];
  }
}

// ---- Choosing the build -----------------------------------------------------------
//
// The passes that run once a round, built plainly and for processors with
// 256-bit vectors and fused multiply-add.

struct Kernels {
  void (*begin)(void*, int);
  void (*product)(void*, int);
  void (*advance)(void*, int);
  void (*fix_start)(void*, int);
  void (*scale_start)(void*, int);
};

#define PLICATA_CG_KERNELS(name, attributes)                                                                  \
  attributes void begin##name(void* job, int k) { beginChunk(*static_cast<Job*>(job), k); }            \
  attributes void product##name(void* job, int k) { productChunk(*static_cast<Job*>(job), k); }        \
  attributes void advance##name(void* job, int k) { advanceChunk(*static_cast<Job*>(job), k); }        \
  attributes void fixStart##name(void* job, int k) { fixStartChunk(*static_cast<Job*>(job), k); }      \
  attributes void scaleStart##name(void* job, int k) { scaleStartChunk(*static_cast<Job*>(job), k); }  \
  const Kernels k##name##Kernels = {begin##name, product##name, advance##name, fixStart##name, scaleStart##name};

PLICATA_CG_KERNELS(Plain, __attribute__((noinline)))

thread_local int kernel_request = kOriSimKernelAuto;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PLICATA_HAVE_WIDE 1
PLICATA_CG_KERNELS(Wide, __attribute__((target("avx2,fma"))))

bool processorIsWide() {
  static const bool wide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return wide;
}
#endif

// The iteration's system on the padded vectors, its passes shared out by
// chunks (see oriSimConjugateGradient).
struct ChunkedSystem {
  Job& job;
  const Kernels& kernels;
  ORISIM_factor* factor;
  double* rows_in;  // kHelpFactor: b and z as the factor takes them
  double* rows_out;
  const ORISIM_cgStop& stop;

  double sum(int which) const {
    double s = 0.0;
    for (int k = 0; k < job.layout->chunks; ++k) s += job.sums[2 * k + which];
    return s;
  }

  // z = A⁻¹·b through the factor, for padded vectors. Returns b·z.
  double factorPrecondition() const {
    const int vertices = job.layout->vertices;
    for (int s = 0; s < vertices; ++s) {
      for (int j = 0; j < 3; ++j) rows_in[3 * s + j] = job.b[4 * s + j];
    }
    oriSimFactorSolve(factor, rows_in, rows_out);
    double bz = 0.0;
    for (int s = 0; s < vertices; ++s) {
      for (int j = 0; j < 3; ++j) {
        job.z[4 * s + j] = rows_out[3 * s + j];
        bz += job.b[4 * s + j] * job.z[4 * s + j];
      }
    }
    return bz;
  }

  ORISIM_cgSums sums() const {
    const double bb = sum(0);
    if (job.help != kHelpFactor || !(bb > 0.0) || !std::isfinite(bb)) return {bb, sum(1)};
    return {bb, factorPrecondition()};
  }

  ORISIM_cgSums begin() {
    oriSimRunChunks(job.layout->chunks, kernels.begin, &job);
    const ORISIM_cgSums s = sums();
    if (job.help == kHelpFactor) std::memcpy(job.p, job.z, sizeof(double) * 4 * job.layout->vertices);
    return s;
  }

  double product(bool first, double beta) {
    if (!first) std::swap(job.p, job.p_last);
    job.form = !first;
    job.beta = beta;
    oriSimRunChunks(job.layout->chunks, kernels.product, &job);
    return sum(0);
  }

  ORISIM_cgSums advance(double alpha) {
    job.alpha = alpha;
    oriSimRunChunks(job.layout->chunks, kernels.advance, &job);
    // A residual that ends the iteration is not solved with the factor: with
    // the factor of the very system that saves one of the two solves.
    if (job.help == kHelpFactor && oriSimCgConverged(stop, sum(0))) return {sum(0), 0.0};
    return sums();
  }

  // The start x scaled (oriSimScaleStart's γ) and b = r − A·x.
  void start() {
    double* p = job.p;
    job.p = job.x;
    job.form = false;
    oriSimRunChunks(job.layout->chunks, kernels.product, &job);
    job.p = p;
    oriSimRunChunks(job.layout->chunks, kernels.fix_start, &job);
    const double xr = sum(0), xax = sum(1);
    job.gamma = xax > 0.0 && std::isfinite(xax) && std::isfinite(xr) ? xr / xax : 0.0;
    oriSimRunChunks(job.layout->chunks, kernels.scale_start, &job);
  }
};

// ---- The rows that are not paired ---------------------------------------------------

// Each vertex's 3 × 3 block of the system, Σ v·vᵀ over its entries plus
// eps·I, inverted (oriSimInvertBlock), for the vertices [s0, s1).
void blockInverses(const ORISIM_sparse& C, double eps, int s0, int s1, double* inverse) {
  const bool formed = C.vert_start.size() == static_cast<size_t>(C.m / 3) + 1 && C.val.size() == 3 * C.col.size();
  for (int s = s0; s < s1; ++s) {
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
    oriSimInvertBlock(a, inverse + 12 * static_cast<size_t>(s));
  }
}

// The same iteration on the rows as they are, with the two-pass product and
// three doubles to a vertex, on the calling thread.
int iterateUnpaired(const ORISIM_sparse& C, double eps, Helping help, ORISIM_factor* factor,
                    const ORISIM_cgStop& stop, bool warm, std::vector<double>& x, std::vector<double>& b) {
  const int m = C.m;
  std::vector<double> p(m, 0.0), q(m, 0.0), z(m, 0.0), w(static_cast<size_t>(C.n), 0.0), inverse;
  const auto apply = [&](double beta, const double* next, double* in, double* out) {
    if (next != nullptr) oriSimDirect(m, beta, next, in);
    return oriSimSparseNormalProduct(C, eps, in, w.data(), out);
  };
  if (warm) {
    apply(0.0, nullptr, x.data(), q.data());
    oriSimScaleStart(m, x.data(), q.data(), b.data());
  }
  const ORISIM_cgVectors v{m, x.data(), b.data(), p.data(), q.data(), z.data()};
  if (help == kHelpFactor) {
    const auto precondition = [&](const double* in, double* out) {
      oriSimFactorSolve(factor, in, out);
      double bz = 0.0;
      for (int i = 0; i < m; ++i) bz += in[i] * out[i];
      return bz;
    };
    return oriSimConjugateGradient(apply, precondition, v, stop);
  }
  if (help == kHelpNone) return oriSimConjugateGradient(apply, ORISIM_cgNoPreconditioner{}, v, stop);
  inverse.resize(4 * static_cast<size_t>(m));
  blockInverses(C, eps, 0, m / 3, inverse.data());
  const auto precondition = [&](const double* in, double* out) {
    return oriSimPreconditionRows(m / 3, inverse.data(), in, out);
  };
  return oriSimConjugateGradient(apply, precondition, v, stop);
}

// Whether C's grouping by owner is what the product relies on: every other
// vertex after its owner (or the empty slot), offsets in order.
bool groupingSound(const ORISIM_sparse& C, int vertices) {
  if (!C.paired || C.owner_start.size() != static_cast<size_t>(vertices) + 1 ||
      C.pair_val.size() != 8 * C.other.size() || 3 * vertices != C.m) {
    return false;
  }
  const int creases = static_cast<int>(C.other.size());
  if (C.owner_start[0] != 0 || C.owner_start[vertices] != creases) return false;
  for (int s = 0; s < vertices; ++s) {
    if (C.owner_start[s + 1] < C.owner_start[s] || C.owner_start[s + 1] > creases) return false;
    for (int k = C.owner_start[s]; k < C.owner_start[s + 1]; ++k) {
      if (C.other[k] <= s || C.other[k] > vertices) return false;
    }
  }
  return true;
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
  // A factor of its own, or where it cannot be had, the blocks.
  std::unique_ptr<ORISIM_factor, void (*)(ORISIM_factor*)> factor(
      preconditioner == kOriSimPreconditionFactor ? oriSimFactorNew(C, eps) : nullptr, oriSimFactorDelete);
  return oriSimSparseSolveCGWith(C, eps, tolerance, max_iterations,
                                 preconditioner == kOriSimPreconditionNone ? kOriSimPreconditionNone
                                                                           : kOriSimPreconditionBlock,
                                 factor.get(), warm, r, x, b);
}

int oriSimSparseSolveCGWith(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                            int preconditioner, ORISIM_factor* factor, bool warm, const std::vector<double>& r,
                            std::vector<double>& x, std::vector<double>& b) {
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
  // The factor, or where it has none to give, the blocks.
  const Helping help = oriSimFactorSound(factor)                     ? kHelpFactor
                       : preconditioner != kOriSimPreconditionNone ? kHelpBlocks
                                                                     : kHelpNone;
  const int vertices = m / 3;
  if (!groupingSound(C, vertices)) return iterateUnpaired(C, eps, help, factor, stop, warm, x, b);

  // Working arrays kept by the thread from one solve to the next: a large
  // sheet's dozen megabytes, taken afresh each step, cost more in page
  // faults than a dozen iterations. Every entry a pass reads is written
  // first, so none is cleared.
  thread_local Layout layout;
  thread_local std::vector<double> inverse, rows_in, rows_out, p, p_last, q, z, xw, bw, spill, sums;
  layOut(C, vertices, &layout);
  const size_t slots = 4 * static_cast<size_t>(vertices) + 4;
  for (std::vector<double>* v : {&p, &p_last, &q, &z, &xw, &bw}) v->resize(slots);
  spill.resize(layout.spill_at.back());
  sums.resize(2 * static_cast<size_t>(layout.chunks));
  if (help == kHelpFactor) {
    rows_in.resize(static_cast<size_t>(m));
    rows_out.resize(static_cast<size_t>(m));
  }
  if (help == kHelpBlocks) inverse.resize(12 * static_cast<size_t>(vertices));
  // The empty slot holds nothing in every vector a crease reads.
  for (std::vector<double>* v : {&p, &p_last, &z, &xw, &bw}) std::fill(v->end() - 4, v->end(), 0.0);

  Job job{};
  job.layout = &layout;
  job.owner_start = C.owner_start.data();
  job.other = C.other.data();
  job.pair_val = C.pair_val.data();
  job.inverse = inverse.data();
  job.eps = eps;
  job.help = help;
  job.x = xw.data();
  job.b = bw.data();
  job.z = help == kHelpNone ? bw.data() : z.data();
  job.p = p.data();
  job.p_last = p_last.data();
  job.q = q.data();
  job.spill = spill.data();
  job.sums = sums.data();

  // Into four doubles to a vertex, the blocks inverted on the way. (The
  // chunks name the caller's arrays through job: a thread_local named in
  // them would be the running thread's own.)
  const double* r3 = b.data();
  const double* x3 = x.data();
  oriSimForChunks(layout.chunks, [&C, &job, r3, x3](int k) {
    const int s0 = job.layout->start[k], s1 = job.layout->start[k + 1];
    for (int s = s0; s < s1; ++s) {
      for (int j = 0; j < 3; ++j) {
        job.b[4 * s + j] = r3[3 * s + j];
        job.x[4 * s + j] = x3[3 * s + j];
      }
      job.b[4 * s + 3] = 0.0;
      job.x[4 * s + 3] = 0.0;
    }
    if (job.help == kHelpBlocks) blockInverses(C, job.eps, s0, s1, job.inverse);
  });

#ifdef PLICATA_HAVE_WIDE
  const Kernels& kernels = oriSimKernelWide() ? kWideKernels : kPlainKernels;
#else
  const Kernels& kernels = kPlainKernels;
#endif
  ChunkedSystem system{job, kernels, factor, rows_in.data(), rows_out.data(), stop};
  if (warm) system.start();
  const int k = oriSimConjugateGradient(system, stop);

  double* x_out = x.data();
  double* b_out = b.data();
  oriSimForChunks(layout.chunks, [&job, x_out, b_out](int c) {
    for (int s = job.layout->start[c]; s < job.layout->start[c + 1]; ++s) {
      for (int j = 0; j < 3; ++j) {
        x_out[3 * s + j] = job.x[4 * s + j];
        b_out[3 * s + j] = job.b[4 * s + j];
      }
    }
  });
  return k;
}
