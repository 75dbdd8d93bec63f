// The constrained fold step.
//
// Sections: moments (what each crease wishes); the projection onto closed
// motions (conjugate gradient on C·Cᵀ + εI); one step; writing angles;
// clearing.
#include "sim/sim_step.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "sim/conjugate_gradient.h"
#include "sim/kinematics.h"
#include "sim/one_blas_thread.h"
#include "sim/parallel_chunks.h"
#include "sim/sim_matrix.h"
#include "sim/sparse_cg.h"
#include "sim/sparse_factor.h"
#include "sim/sparse_jacobian.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Gain of the moment rules: the step scaled by this, in absolute value.
constexpr double kMomentGain = 0.1;
// A crease whose angle times target is below this is folded the wrong way.
constexpr double kWrongWay = -0.01;
// Pull back towards the target of a crease that has passed it.
constexpr double kOvershootGain = 30.0;
// Diagonal barrier: saturation as a multiple of s, the half-saturation point
// and the margin added beyond the neighbours' limits (radians).
constexpr double kBarrierSaturation = 10.0;
constexpr double kBarrierHalf = 0.5;
constexpr double kBarrierMargin = 0.2;

// Regularisation of the projection's system C·Cᵀ + εI.
constexpr double kProjectionEpsilon = 0.0001;
// CG stops when ‖b‖₂ / √m falls below this, or after min(m, this many) iterations.
constexpr double kCGTolerance = 0.00005;
constexpr int kCGMaxIterations = 512;
// Dense systems of up to this many rows are solved on one library thread: a
// product of at most a million entries is over before the library's threads
// have woken, and on a busy processor they wait for each other for longer
// than the whole step takes.
constexpr int kOneThreadRows = 1024;


bool allFinite(const std::vector<double>& v) {
  for (double d : v) {
    if (!std::isfinite(d)) return false;
  }
  return true;
}

// True when some half-edge around the diagonal's two ends is folded the
// wrong way or is a fold line still exactly flat. The walks are bounded so
// that a broken loop cannot hang them.
bool neighbourhoodUnsettled(const ORI_edge* e, int n_edge) {
  auto unsettled = [](const ORI_edge* h) {
    return h->angle * h->target_angle < kWrongWay || (h->angle == 0.0 && h->target_angle != 0.0);
  };
  const ORI_edge* h = e;
  int guard = 0;
  do {
    if (unsettled(h)) return true;
    h = h->prev->pair;
  } while (h != e && ++guard <= n_edge);
  h = e;
  guard = 0;
  do {
    if (unsettled(h)) return true;
    h = h->next->pair;
  } while (h != e && ++guard <= n_edge);
  return false;
}

// The barrier moment of a tessellation diagonal (s > 0). A barrier past its
// saturation is reported through oriMessage, or, when saturated is given,
// only marked there (a helper thread's messages would reach the wrong sink).
double diagonalMoment(const ORI_edge* e, const ORI_manifold* om, double s, bool* saturated) {
  const double saturation = s * kBarrierSaturation;
  const double scale = (s * kBarrierHalf / saturation) * (s * kBarrierHalf);
  // The same for every diagonal of a step: its logarithm is taken once.
  thread_local double rate_s = -1.0, rate_of_s = 0.0;
  if (s != rate_s) {
    rate_s = s;
    rate_of_s = 2.0 * std::log(saturation / (s * kBarrierHalf));
  }
  const double rate = rate_of_s;

  const double around[4] = {e->next->angle, e->pair->prev->angle, e->pair->next->angle, e->prev->angle};
  double hi = kPi, lo = -kPi;
  for (double a : around) {
    if (a > 0) hi = std::min(hi, kPi - std::min(a, kPi));
    if (a < 0) lo = std::max(lo, -kPi - std::max(a, -kPi));
  }
  hi += kBarrierMargin;
  lo -= kBarrierMargin;

  const double d = e->angle;
  double U;
  if (d >= hi) {
    U = saturation;
  } else if (d <= lo) {
    U = -saturation;
  } else {
    const double dr = d * rate;
    U = scale * std::exp(dr / hi) - scale * std::exp(dr / lo);
  }
  if (saturated != nullptr && (U > saturation || U < -saturation)) {
    *saturated = true;
    U = U > saturation ? saturation : -saturation;
  } else if (U > saturation) {
    oriMessage("dU=%f ", U);
    oriMessage("d=%f ", d);
    oriMessage("dmin=%f ", lo);
    oriMessage("dmax=%f ", hi);
    U = saturation;
  } else if (U < -saturation) {
    oriMessage("dU=%f", U);
    oriMessage("d=%f ", d);
    oriMessage("dmin=%f ", lo);
    oriMessage("dmax=%f ", hi);
    U = -saturation;
  }
  // Without a factor the two answers are the same number: the walk round
  // both ends is only needed when there is one.
  if (om->moment_factor != 0 && neighbourhoodUnsettled(e, om->n_edge)) {
    return (s * (-e->angle)) * om->moment_factor - U;
  }
  return -U;
}

}  // namespace

// ---- Moments -------------------------------------------------------------------

namespace {

// The wish of a crease that has passed its target. Short of whole targets,
// where the mechanism may hold some creases past theirs while the others
// still pull, the stiff pull-back would throw the crease across its target
// and back step after step; it is limited to what brings the crease back to
// its target, so that the fold settles.
double pullBack(double target, double angle, double s, double fold_to) {
  const double stiff = (s + 1.0) * (target - angle) * kOvershootGain;
  if (fold_to >= 1.0) return stiff;
  return std::fabs(stiff) > std::fabs(target - angle) ? target - angle : stiff;
}

// The wish of the fold line of half-edge e for a step whose scaled size is
// scaled (s its absolute value), written into moment; a flat pattern line
// leaves it as it is. The crease heads for its target scaled by the fold
// amount; which way it folds, and whether it is folded the wrong way, is its
// whole target's. saturated: see diagonalMoment.
void creaseMoment(const ORI_edge* e, const ORI_manifold* om, double scaled, double s, double& moment,
                  bool* saturated = nullptr) {
  const double full = e->target_angle, target = full * om->fold_to, angle = e->angle;
  if (full > 0) {
    const double goal = scaled > 0 ? target - angle : -angle;
    if (angle * full < kWrongWay) {
      moment = (s * goal) * om->moment_factor;
    } else if (target - angle > 0) {
      moment = s * goal;
    } else {
      moment = pullBack(target, angle, s, om->fold_to);
    }
  } else if (full < 0) {
    const double goal = scaled > 0 ? target - angle : -angle;
    if (angle * full < kWrongWay) {
      moment = (s * goal) * om->moment_factor;
    } else if (target - angle < 0) {
      moment = s * goal;
    } else {
      moment = pullBack(target, angle, s, om->fold_to);
    }
  } else if (e->is_diagonal) {
    // The barrier's constants divide by s: without a step a diagonal has no wish.
    moment = s > 0 ? diagonalMoment(e, om, s, saturated) : 0.0;
  }
}

// Fold lines to a chunk of a step's passes over their half-edges.
constexpr long kLinesPerChunk = 4096;

// Scales the whole array so that its largest entry (in absolute value) is at
// most s. Plain loops, shared out by chunks: the same operations as the
// library's search and scaling, without waking its threads on a large sheet.
void boundMoments(std::vector<double>& moment_angle_n, double s) {
  const int n = static_cast<int>(moment_angle_n.size());
  if (n == 0) return;
  double* moment = moment_angle_n.data();
  const double largest = oriSimLargestMagnitude(n, moment, kOriSimStreamGrain);
  if (largest > s) {
    const double scale = s / largest;
    const int chunks = oriSimChunks(n, kOriSimStreamGrain);
    oriSimForChunks(chunks, [=](int k) {
      for (long c = oriSimChunkBegin(n, chunks, k); c < oriSimChunkBegin(n, chunks, k + 1); ++c) moment[c] *= scale;
    });
  }
}

// oriSimUpdateMomentAngle on the record's moments, one half-edge per fold
// line (both halves wish alike) instead of the whole list, shared out by
// chunks of fold lines. A chunk in which a barrier saturated is taken again
// on the calling thread, in order, so that its messages come out as one
// thread's pass over the fold lines gives them.
void updateMomentsByCrease(ORISIM_matrix* osm, const ORI_manifold* om, double step) {
  if (osm->crease_edge.size() != static_cast<size_t>(osm->n)) {
    oriSimUpdateMomentAngle(osm->moment_angle_n, om, step);
    return;
  }
  const double scaled = step * kMomentGain;
  const double s = std::fabs(scaled);
  const int n = osm->n;
  osm->moment_angle_n.resize(n, 0.0);
  double* moment = osm->moment_angle_n.data();
  ORI_edge* const* edge = osm->crease_edge.data();
  const int chunks = oriSimChunks(n, kLinesPerChunk);
  bool saturated[kOriSimMaxChunks] = {};
  oriSimForChunks(chunks, [&](int k) {
    bool* mark = chunks > 1 ? &saturated[k] : nullptr;
    for (long c = oriSimChunkBegin(n, chunks, k); c < oriSimChunkBegin(n, chunks, k + 1); ++c) {
      creaseMoment(edge[c], om, scaled, s, moment[c], mark);
    }
  });
  for (int k = 0; k < chunks; ++k) {
    if (!saturated[k]) continue;
    for (long c = oriSimChunkBegin(n, chunks, k); c < oriSimChunkBegin(n, chunks, k + 1); ++c) {
      creaseMoment(edge[c], om, scaled, s, moment[c]);
    }
  }
  boundMoments(osm->moment_angle_n, s);
}

}  // namespace

void oriSimSetFoldTo(ORI_manifold* om, double share) {
  if (std::isnan(share)) return;
  om->fold_to = std::max(0.0, std::min(1.0, share));
}

int oriSimUpdateMomentAngle(std::vector<double>& moment_angle_n, const ORI_manifold* om, double step) {
  const double scaled = step * kMomentGain;
  const double s = std::fabs(scaled);
  const int n = static_cast<int>(moment_angle_n.size());
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    const int c = e->crease_index;
    if (c < 0 || c >= n) continue;
    creaseMoment(e, om, scaled, s, moment_angle_n[c]);
  }
  boundMoments(moment_angle_n, s);
  return 0;
}

// ---- Projection ----------------------------------------------------------------

double oriSimDeltaAnglePinvConstraintsCG(std::vector<double>& delta_angle_n, std::vector<double> moment_angle_n,
                                         ORISIM_matrix* osm, const ORI_manifold* om) {
  return oriSimDeltaAnglePinvConstraintsCG(delta_angle_n, std::move(moment_angle_n), osm, om, nullptr, nullptr);
}

namespace {

// The sparse projection: A applied as C·(Cᵀ·p) + εp on the rows of nonzeros;
// nothing of size m × n or m × m exists.
double projectSparse(std::vector<double>& delta_angle_n, const std::vector<double>& moment_angle_n, ORISIM_matrix* osm,
                     const ORI_manifold* om, const std::vector<double>* residual, int* iterations,
                     double* cg_error) {
  const int m = osm->m, n = osm->n;
  // Rows made for another size (a record never filled) hold no constraint.
  ORISIM_sparse empty;
  empty.m = m;
  empty.n = n;
  const ORISIM_sparse& C = osm->C_sparse.m == m && osm->C_sparse.n == n ? osm->C_sparse : empty;
  // Kept by the thread from one step to the next, as the iteration's own.
  thread_local std::vector<double> r, b, x_plain;

  // The residual of the angles the rows were just computed from, or afresh.
  double result = 0.0;
  if (residual != nullptr && residual->size() == static_cast<size_t>(m)) {
    r = *residual;
    const double* g = r.data();
    result = oriSimSum(m, kOriSimStreamGrain, [g](long i) { return std::fabs(g[i]); });
  } else {
    result = oriSimSparseResidual(r, osm, om);
  }
  if (osm->residual_m.size() >= static_cast<size_t>(m)) std::copy(r.begin(), r.end(), osm->residual_m.begin());
  if (n > 0) oriSimSparseMultiply(C, 1.0, moment_angle_n.data(), 1.0, r.data());

  // The fast iteration starts from, and leaves its answer in, the record's start.
  const bool fast = osm->cg != kOriSimCGPlain;
  std::vector<double>& x = fast ? osm->cg_start : x_plain;
  x_plain.clear();
  *iterations = oriSimSparseSolveCGFrom(C, kProjectionEpsilon, kCGTolerance, kCGMaxIterations,
                                        fast ? kOriSimPreconditionBlock : kOriSimPreconditionNone, fast, r, x, b);
  const double* last = b.data();
  const double bb = oriSimSum(m, kOriSimStreamGrain, [last](long i) { return last[i] * last[i]; });
  *cg_error = std::sqrt(bb) / std::sqrt(static_cast<double>(m));

  if (n > 0) {
    std::copy(moment_angle_n.begin(), moment_angle_n.begin() + n, delta_angle_n.begin());
    oriSimSparseMultiplyTransposed(C, -1.0, x.data(), 1.0, delta_angle_n.data());
  }
  return result;
}

// The projection's conjugate gradient on the formed m × m system A: the
// record's iteration (plain from zero, or block-preconditioned from the last
// answer), products through the library. Returns the iterations taken; b
// holds the last residual.
int solveDense(ORISIM_matrix* osm, const std::vector<double>& A, const std::vector<double>& r,
               std::vector<double>& x, std::vector<double>& b) {
  const int m = osm->m;
  const bool fast = osm->cg != kOriSimCGPlain;
  bool warm = fast && osm->cg_start.size() == static_cast<size_t>(m) && allFinite(osm->cg_start);
  if (warm) x = osm->cg_start;
  cblas_dcopy(m, r.data(), 1, b.data(), 1);
  std::vector<double> p(m, 0.0), q(m, 0.0), z(m, 0.0);
  if (warm) {
    cblas_dgemv(CblasRowMajor, CblasNoTrans, m, m, 1.0, A.data(), m, x.data(), 1, 0.0, q.data(), 1);
    oriSimScaleStart(m, x.data(), q.data(), b.data());
  }
  const ORISIM_cgVectors v{m, x.data(), b.data(), p.data(), q.data(), z.data()};
  const ORISIM_cgStop stop{std::min(static_cast<double>(m), static_cast<double>(kCGMaxIterations)), kCGTolerance,
                           std::sqrt(static_cast<double>(m))};
  const auto apply = [&](double beta, const double* next, double* in, double* out) {
    if (next != nullptr) oriSimDirect(m, beta, next, in);
    cblas_dgemv(CblasRowMajor, CblasNoTrans, m, m, 1.0, A.data(), m, in, 1, 0.0, out, 1);
    return cblas_ddot(m, in, 1, out, 1);
  };
  int k;
  if (fast) {
    // The diagonal blocks of A itself, inverted.
    const int vertices = m / 3;
    std::vector<double> inverse(12 * static_cast<size_t>(vertices));
    for (int s = 0; s < vertices; ++s) {
      const double* row = &A[static_cast<size_t>(3 * s) * m + 3 * s];
      const double block[6] = {row[0], row[1], row[2], row[m + 1], row[m + 2], row[2 * m + 2]};
      oriSimInvertBlock(block, &inverse[12 * static_cast<size_t>(s)]);
    }
    const auto precondition = [&](const double* in, double* out) {
      return oriSimPreconditionRows(vertices, inverse.data(), in, out);
    };
    k = oriSimConjugateGradient(apply, precondition, v, stop);
    osm->cg_start = x;
  } else {
    k = oriSimConjugateGradient(apply, ORISIM_cgNoPreconditioner{}, v, stop);
  }
  return k;
}

// The dense projection: A formed as one m × m × n product.
double projectDense(std::vector<double>& delta_angle_n, std::vector<double>& moment_angle_n, ORISIM_matrix* osm,
                    const ORI_manifold* om, int* iterations, double* cg_error) {
  const int m = osm->m, n = osm->n;
  const size_t mm = static_cast<size_t>(m) * static_cast<size_t>(m);
  std::vector<double> A;
  try {
    A.assign(mm, 0.0);
  } catch (const std::exception&) {
    // No room for the m × m system: this record goes on without it.
    oriMessage("\tno memory for the dense %d x %d system: using the Jacobian's nonzeros\n", m, m);
    oriSimSelectPath(osm, om, kOriSimPathSparse);
    return projectSparse(delta_angle_n, moment_angle_n, osm, om, nullptr, iterations, cg_error);
  }
  for (int i = 0; i < m; ++i) A[static_cast<size_t>(i) * m + i] = 1.0;
  std::vector<double> r(m, 0.0), b(m, 0.0), x(m, 0.0);
  std::unique_ptr<OriSimOneBlasThread> one_thread;
  if (m <= kOneThreadRows) {
    one_thread = std::make_unique<OriSimOneBlasThread>();
  } else {
    OriSimOneBlasThread::raiseForDense();
  }

  if (n > 0) {
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, m, m, n, 1.0, osm->C_mn.data(), n, osm->C_mn.data(), n,
                kProjectionEpsilon, A.data(), m);
  } else {
    cblas_dscal(static_cast<int>(mm), kProjectionEpsilon, A.data(), 1);
  }
  const double result = oriSimUpdateResidual(r, osm, om);
  if (osm->residual_m.size() >= static_cast<size_t>(m)) cblas_dcopy(m, r.data(), 1, osm->residual_m.data(), 1);
  if (n > 0) {
    cblas_dgemv(CblasRowMajor, CblasNoTrans, m, n, 1.0, osm->C_mn.data(), n, moment_angle_n.data(), 1, 1.0,
                r.data(), 1);
  }

  *iterations = solveDense(osm, A, r, x, b);
  *cg_error = cblas_dnrm2(m, b.data(), 1) / std::sqrt(static_cast<double>(m));

  if (n > 0) {
    cblas_dcopy(n, moment_angle_n.data(), 1, delta_angle_n.data(), 1);
    cblas_dgemv(CblasRowMajor, CblasTrans, m, n, -1.0, osm->C_mn.data(), n, x.data(), 1, 1.0,
                delta_angle_n.data(), 1);
  }
  return result;
}

}  // namespace

double oriSimDeltaAnglePinvConstraintsCG(std::vector<double>& delta_angle_n, std::vector<double> moment_angle_n,
                                         ORISIM_matrix* osm, const ORI_manifold* om, int* iterations,
                                         double* cg_error) {
  const int m = osm->m, n = osm->n;
  if (iterations != nullptr) *iterations = 0;
  if (cg_error != nullptr) *cg_error = 0.0;
  moment_angle_n.resize(n, 0.0);
  delta_angle_n.resize(n, 0.0);
  if (m == 0) {
    if (n > 0) cblas_dcopy(n, moment_angle_n.data(), 1, delta_angle_n.data(), 1);
    return 0.0;
  }
  int k = 0;
  double error = 0.0;
  const double result = osm->path == kOriSimPathSparse
                            ? projectSparse(delta_angle_n, moment_angle_n, osm, om, nullptr, &k, &error)
                            : projectDense(delta_angle_n, moment_angle_n, osm, om, &k, &error);
  if (iterations != nullptr) *iterations = k;
  if (cg_error != nullptr) *cg_error = error;
  return result;
}

// ---- One step ------------------------------------------------------------------

namespace {

// oriSimUpdateCrease by the record's lists of half-edges (both halves of
// every fold line, and every half-edge without one, which is flat), instead
// of the whole list of half-edges.
void writeAngles(const ORISIM_matrix* osm, ORI_manifold* om, const std::vector<double>& angle) {
  if (osm->crease_edge.size() != static_cast<size_t>(osm->n) || angle.size() != osm->crease_edge.size()) {
    oriSimUpdateCrease(om, angle);
    return;
  }
  for (size_t c = 0; c < angle.size(); ++c) {
    ORI_edge* e = osm->crease_edge[c];
    e->angle = angle[c];
    e->pair->angle = angle[c];
  }
  for (ORI_edge* e : osm->free_edge) e->angle = 0.0;
}

// angle_n += scale·delta_angle_n (scale 1: the change as it is), through
// next_angle_n, and the new angles written into the half-edges, by chunks
// of fold lines.
void updateAngles(ORISIM_matrix* osm, ORI_manifold* om, double scale) {
  const int n = osm->n;
  osm->next_angle_n.resize(n);
  if (osm->crease_edge.size() != static_cast<size_t>(n) || osm->angle_n.size() != static_cast<size_t>(n)) {
    for (int c = 0; c < n; ++c) {
      if (scale != 1.0) osm->delta_angle_n[c] *= scale;
      osm->next_angle_n[c] = osm->angle_n[c] + osm->delta_angle_n[c];
    }
    writeAngles(osm, om, osm->next_angle_n);
    osm->angle_n = osm->next_angle_n;
    return;
  }
  double* delta = osm->delta_angle_n.data();
  double* next = osm->next_angle_n.data();
  double* angle = osm->angle_n.data();
  ORI_edge* const* edge = osm->crease_edge.data();
  const int chunks = oriSimChunks(n, kLinesPerChunk);
  oriSimForChunks(chunks, [=](int k) {
    for (long c = oriSimChunkBegin(n, chunks, k); c < oriSimChunkBegin(n, chunks, k + 1); ++c) {
      if (scale != 1.0) delta[c] *= scale;
      next[c] = angle[c] + delta[c];
      angle[c] = next[c];
      edge[c]->angle = next[c];
      edge[c]->pair->angle = next[c];
    }
  });
  for (ORI_edge* e : osm->free_edge) e->angle = 0.0;
}

// The Jacobian of the present angles: into C_sparse with its residual, or
// C_mn, by the record's path.
void updateJacobian(ORISIM_matrix* osm, ORI_manifold* om) {
  if (osm->path == kOriSimPathSparse) {
    oriSimSparseUpdate(&osm->C_sparse, osm, om);
  } else {
    oriSimUpdateConstraints(osm->C_mn, osm, om);
  }
}

// The first end of a step (oriSimStepBegin): the moments and the Jacobian.
void beginStep(ORISIM_matrix* osm, ORI_manifold* om, double step) {
  updateMomentsByCrease(osm, om, step);
  updateJacobian(osm, om);
}

// The last end (oriSimStepApply without exact mode): delta_angle_n held to
// |step| and written.
double applyChange(ORISIM_matrix* osm, ORI_manifold* om, double step);

// The step of oriSimUpdateStateCG from the wishes already in the record's
// moment_angle_n: projection, limit, new angles.
double stepFromMoments(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats) {
  const int n = osm->n;
  updateJacobian(osm, om);
  int iterations = 0;
  double cg_error = 0.0;
  double before;
  if (osm->path == kOriSimPathSparse && osm->m > 0 && osm->moment_angle_n.size() == static_cast<size_t>(n)) {
    // The rows just made carry the residual of the same angles: no second
    // walk round every vertex.
    osm->delta_angle_n.resize(n, 0.0);
    before = projectSparse(osm->delta_angle_n, osm->moment_angle_n, osm, om, &osm->C_sparse.residual, &iterations,
                           &cg_error);
  } else {
    before = oriSimDeltaAnglePinvConstraintsCG(osm->delta_angle_n, osm->moment_angle_n, osm, om, &iterations,
                                               &cg_error);
  }
  if (stats != nullptr) {
    stats->residual_before = before;
    stats->cg_iterations = iterations;
    stats->cg_error = cg_error;
  }
  return applyChange(osm, om, step);
}

double applyChange(ORISIM_matrix* osm, ORI_manifold* om, double step) {
  const int n = osm->n;
  // Angles must stay finite whatever the solve produced: a broken change is dropped.
  if (!allFinite(osm->delta_angle_n)) {
    std::fill(osm->delta_angle_n.begin(), osm->delta_angle_n.end(), 0.0);
    osm->cg_start.clear();
    return 0.0;
  }

  double* delta = osm->delta_angle_n.data();
  const double limit = std::fabs(step);
  double largest;
  if (osm->path == kOriSimPathSparse) {
    // The same operations as plain loops, which round alike element by
    // element, shared out by chunks of fold lines: on tens of thousands of
    // creases a library call would wake its threads for microseconds of
    // work.
    largest = oriSimLargestMagnitude(n, delta, kOriSimStreamGrain);
    const double scale = largest > limit ? limit / largest : 1.0;
    if (largest > limit) largest = limit;
    updateAngles(osm, om, scale);
    return largest;
  }

  largest = std::fabs(delta[cblas_idamax(n, delta, 1)]);
  if (largest > limit) {
    cblas_dscal(n, limit / largest, delta, 1);
    largest = limit;
  }
  cblas_dcopy(n, osm->angle_n.data(), 1, osm->next_angle_n.data(), 1);
  cblas_daxpy(n, 1.0, delta, 1, osm->next_angle_n.data(), 1);
  writeAngles(osm, om, osm->next_angle_n);
  cblas_dcopy(n, osm->next_angle_n.data(), 1, osm->angle_n.data(), 1);
  return largest;
}

// The ordinary step of oriSimUpdateStateCG (see there), n > 0 and step
// finite; exact mode's predictor.
// With wish given, the step heads along it instead of the targets.
double ordinaryStep(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats,
                    const std::vector<double>* wish = nullptr) {
  if (wish != nullptr) {
    osm->moment_angle_n = *wish;
  } else {
    updateMomentsByCrease(osm, om, step);
  }
  return stepFromMoments(osm, om, step, stats);
}

// ---- Exact mode ------------------------------------------------------------------
//
// A predictor and a corrector along the fold's path. The ordinary step
// predicts; corrections on the closure alone bring the sheet back to closure.
// Each correction solves (J·Jᵀ + λ·I)·x = g and moves the angles by −Jᵀ·x,
// J the Jacobian of the state the record's kept factor was made at (exact
// rows), g the closure residual of the present angles: a chord iteration,
// whose solve costs a triangular pair, for as long as it shrinks the closure
// error quickly; then J and the factor are made afresh at the present angles
// (a Newton correction, a numeric factorisation on the analysis kept for the
// whole fold). The sheet's softest modes (eigenvalues of J·Jᵀ down to 1e-8 on
// a large sheet) carry most of every correction and are beyond the block
// preconditioner of the ordinary step, hence the factor. A substep whose
// corrections fail is taken again at half its size, within the same step.

// Share of the residual the corrections' conjugate gradient leaves (with the
// factor of the very system it stops after a round).
constexpr double kExactSolveShare = 1e-3;
// The shift λ of a fresh correction's system, a share of the largest closure
// error within [kExactLeastShift, kProjectionEpsilon]: small enough that the
// sheet's slowest modes are corrected in full rather than by half, never so
// small that a degenerate constraint (the flat sheet's in-plane rows) leaves
// a vanishing pivot. The factor is made at no more than kExactFactorShift
// where the system allows (else at λ), so that the chord corrections after
// it still correct modes far below the closure error in full.
constexpr double kExactShift = 1e-4;
constexpr double kExactLeastShift = 1e-14;
constexpr double kExactFactorShift = 1e-10;
// A chord correction that does not shrink the largest closure error at
// least this much is followed by a fresh one (a factorisation costs about
// ten solves on a 100 × 100 sheet, and a fresh correction gains digits
// quadratically).
constexpr double kExactChordGain = 0.1;
// A fresh correction whose largest closure error is not below this share of
// the one before has failed: the substep is given up at once.
constexpr double kExactContraction = 0.5;
// Exact mode's substeps are the step over 2^level, level at most this: a
// step of 2.5 radians then goes down to substeps of 0.04.
constexpr int kExactMostHalvings = 6;
// An unfolding step from a sheet whose every crease is within this of flat
// (radians) lands on the flat sheet: its closure residual is then below
// rounding (it grows with the square of the angles), while the corrections,
// whose system degenerates at the flat sheet, would turn rounding into
// motions of this size and hold the sheet there.
constexpr double kExactFlatAngle = 1e-7;
// See branchJumped (radians).
constexpr double kExactBranchShare = 1e-2;
constexpr double kExactBranchFloor = 1e-6;
// A substep that closed within this many fresh corrections lets the next one
// be twice as long (up to the whole step).
constexpr int kExactQuick = 2;

// Whether some crease that agreed in sign with its target before (angles
// `before`) disagrees now (angles `after`): a jump to another branch of the
// mechanism. A crease folded by less than kExactBranchShare of the largest
// fold, or less than kExactBranchFloor, is not asked: near the flat sheet
// the branches meet, and a crease far flatter than the rest, or flat to a
// microradian, passes through flat with no branch to keep.
bool branchJumped(const ORISIM_matrix* osm, const std::vector<double>& before, const std::vector<double>& after) {
  if (osm->crease_edge.size() != static_cast<size_t>(osm->n)) return false;
  double largest = 0.0;
  for (int c = 0; c < osm->n; ++c) largest = std::max(largest, std::fabs(before[c]));
  const double least = std::max(kExactBranchFloor, kExactBranchShare * largest);
  for (int c = 0; c < osm->n; ++c) {
    const double target = osm->crease_edge[c]->target_angle;
    if (before[c] * target > 0.0 && std::fabs(before[c]) > least && !(after[c] * target > 0.0)) return true;
  }
  return false;
}

// The largest vertex closure error of the residual rows g (three per
// vertex), as oriSimVertexClosure measures it; NaN when one is not finite.
double worstClosure(const std::vector<double>& g) {
  double worst = 0.0;
  for (size_t s = 0; s + 2 < g.size(); s += 3) {
    const double e = std::sqrt(g[s] * g[s] + g[s + 1] * g[s + 1] + g[s + 2] * g[s + 2]);
    if (!(e <= worst)) worst = e;
  }
  return worst;
}

// What the corrections of one substep did.
struct Correction {
  bool closed = false;
  int iterations = 0;      // corrections, chord and fresh
  int fresh = 0;           // of them fresh (the record's rows and factor made again)
  int cg_iterations = 0;
  int factorisations = 0;  // numeric factorisations
};

// Makes the record's exact rows and factor afresh at the present angles,
// the factor's shift at most kExactFactorShift where the system allows,
// else lambda. False when no factor could be had (the rows are made; the
// corrections then fall back to the block preconditioner).
bool refreshFactor(ORISIM_matrix* osm, const ORI_manifold* om, double lambda, Correction* out) {
  ORISIM_sparse& J = osm->exact_rows;
  oriSimSparseUpdate(&J, osm, om);
  ++out->factorisations;
  ORISIM_factor* factor = osm->exact_factor.get();
  const double shift = std::max(kExactLeastShift, std::min(lambda, kExactFactorShift));
  if (factor != nullptr && oriSimFactorRefill(factor, J, shift) == 0) return true;
  if (factor == nullptr || !oriSimFactorSameShape(factor, J)) {
    // None yet, or rows of another shape (the record changed): the analysis
    // is made again.
    osm->exact_factor.reset(oriSimFactorAnalyse(J));
    factor = osm->exact_factor.get();
    if (factor != nullptr && oriSimFactorRefill(factor, J, shift) == 0) return true;
  }
  // Not positive definite at the small shift (a degenerate constraint).
  return factor != nullptr && lambda > shift && oriSimFactorRefill(factor, J, lambda) == 0;
}

// Corrections on the closure alone, from the angles written, until every
// vertex closes within kOriSimExactClosure (closed), or budget fresh
// corrections have been taken, or a fresh one failed to shrink the closure
// error (kExactContraction), or an error is not finite.
Correction correct(ORISIM_matrix* osm, ORI_manifold* om, int budget) {
  Correction out;
  const int m = osm->m, n = osm->n;
  const ORISIM_sparse& J = osm->exact_rows;
  thread_local std::vector<double> g, x, b, delta, previous;
  delta.resize(static_cast<size_t>(n));
  bool chord = oriSimFactorSound(osm->exact_factor.get()) && J.m == m && J.n == n, last_chord = false;
  double last = 0.0;
  for (;;) {
    oriSimSparseResidual(g, osm, om);
    double worst = worstClosure(g);
    if (worst <= kOriSimExactClosure) {
      out.closed = true;
      return out;
    }
    if (last_chord && !(worst <= kExactContraction * last)) {
      // The chord correction did harm: undone, and a fresh one instead.
      osm->angle_n = previous;
      writeAngles(osm, om, osm->angle_n);
      oriSimSparseResidual(g, osm, om);
      worst = last;
      chord = false;
    } else if (!std::isfinite(worst) || (out.iterations > 0 && !(worst <= kExactContraction * last))) {
      return out;
    } else if (last_chord && worst > kExactChordGain * last) {
      chord = false;
    }
    if (!chord) {
      if (out.fresh == budget) return out;
      const double lambda = std::min(kProjectionEpsilon, std::max(kExactLeastShift, kExactShift * worst));
      refreshFactor(osm, om, lambda, &out);
      ++out.fresh;
    }
    double gg = 0.0;
    for (double v : g) gg += v * v;
    const double tolerance = kExactSolveShare * std::sqrt(gg) / std::sqrt(static_cast<double>(m));
    ORISIM_factor* factor = osm->exact_factor.get();
    const double shift = oriSimFactorSound(factor) ? oriSimFactorShift(factor) : kExactLeastShift;
    out.cg_iterations += oriSimSparseSolveCGWith(J, shift, tolerance, kCGMaxIterations, kOriSimPreconditionBlock,
                                                 factor, false, g, x, b);
    oriSimSparseMultiplyTransposed(J, -1.0, x.data(), 0.0, delta.data());
    previous = osm->angle_n;
    for (int c = 0; c < n; ++c) osm->angle_n[c] += delta[c];
    writeAngles(osm, om, osm->angle_n);
    ++out.iterations;
    last = worst;
    last_chord = chord;
    chord = oriSimFactorSound(factor);
  }
}

// Exact mode's step (see oriSimUpdateStateCG): substeps of the ordinary
// step, each corrected to closure, a failed one taken again at half its
// size. m > 0, n > 0, step finite; with wish given, the substeps head along
// it instead of the targets.
double exactStep(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats,
                 const std::vector<double>* wish = nullptr) {
  const int n = osm->n;
  const std::vector<double> start = osm->angle_n;
  if (step < 0.0) {
    double largest = 0.0;
    for (double a : start) largest = std::max(largest, std::fabs(a));
    if (largest <= kExactFlatAngle) {
      // Unfolding within a hair of the flat sheet: the flat sheet itself,
      // closed exactly (the corrections would only stir rounding there).
      std::fill(osm->angle_n.begin(), osm->angle_n.end(), 0.0);
      writeAngles(osm, om, osm->angle_n);
      osm->cg_start.clear();
      if (stats != nullptr) {
        stats->exact_unconverged = osm->exact_unconverged;
        stats->exact_halvings = osm->exact_halvings;
      }
      return largest;
    }
  }
  std::vector<double> before, cg_before, predicted;
  int level = std::max(0, std::min(kExactMostHalvings, osm->exact_level));
  // What is left of the step, in units of the finest substep.
  int left = 1 << kExactMostHalvings;
  ORISIM_stepStats total{}, sub{};
  bool first = true, kept = false;
  while (left > 0) {
    const int size = std::min(left, 1 << (kExactMostHalvings - level));
    before = osm->angle_n;
    cg_before = osm->cg_start;
    ordinaryStep(osm, om, step * size / (1 << kExactMostHalvings), &sub, wish);
    if (first) total.residual_before = sub.residual_before;
    first = false;
    total.cg_iterations += sub.cg_iterations;
    total.cg_error = sub.cg_error;
    predicted = osm->angle_n;
    const Correction c = correct(osm, om, kOriSimExactIterations);
    total.newton_iterations += c.iterations;
    total.newton_cg_iterations += c.cg_iterations;
    total.exact_factorisations += c.factorisations;
    ++total.exact_substeps;
    if (c.closed && allFinite(osm->angle_n) && !branchJumped(osm, predicted, osm->angle_n)) {
      left -= size;
      if (c.fresh <= kExactQuick && level > 0) --level;
      continue;
    }
    // Back to where the substep began.
    osm->angle_n = before;
    osm->cg_start = cg_before;
    writeAngles(osm, om, osm->angle_n);
    if (level < kExactMostHalvings) {
      ++level;
      ++total.exact_halved;
      ++osm->exact_halvings;
      continue;
    }
    // Even the finest substep does not close: the rest of the step is taken
    // as a step without exact mode would take it.
    ordinaryStep(osm, om, step * left / (1 << kExactMostHalvings), &sub, wish);
    total.cg_iterations += sub.cg_iterations;
    total.cg_error = sub.cg_error;
    kept = true;
    ++osm->exact_unconverged;
    break;
  }
  osm->exact_level = level;
  double largest = 0.0;
  for (int c = 0; c < n; ++c) largest = std::max(largest, std::fabs(osm->angle_n[c] - start[c]));
  if (stats != nullptr) {
    *stats = total;
    stats->exact_kept = kept ? 1 : 0;
    stats->exact_unconverged = osm->exact_unconverged;
    stats->exact_halvings = osm->exact_halvings;
  }
  return largest;
}

}  // namespace

int oriSimNewtonClose(ORISIM_matrix* osm, ORI_manifold* om, ORISIM_sparse* J, const std::vector<unsigned char>* held,
                      int* iterations, int* cg_iterations) {
  const int m = osm->m, n = osm->n;
  *iterations = 0;
  *cg_iterations = 0;
  if (m == 0 || n == 0) return 1;
  std::vector<double> closure, x, b, delta(n);
  for (;;) {
    const double worst = oriSimVertexClosure(closure, osm, om, nullptr);
    if (!std::isfinite(worst)) return -1;
    if (worst <= kOriSimExactClosure) return 1;
    if (*iterations == kOriSimExactIterations) return 0;
    oriSimSparseUpdate(J, osm, om);
    if (held != nullptr) oriSimSparseHoldColumns(J, *held);
    double gg = 0.0;
    for (double g : J->residual) gg += g * g;
    const double lambda = std::min(kProjectionEpsilon, std::max(kExactLeastShift, kExactShift * worst));
    const double tolerance = kExactSolveShare * std::sqrt(gg) / std::sqrt(static_cast<double>(m));
    *cg_iterations += oriSimSparseSolveCGFrom(*J, lambda, tolerance, kCGMaxIterations, kOriSimPreconditionFactor,
                                              false, J->residual, x, b);
    oriSimSparseMultiplyTransposed(*J, -1.0, x.data(), 0.0, delta.data());
    for (int c = 0; c < n; ++c) osm->angle_n[c] += delta[c];
    writeAngles(osm, om, osm->angle_n);
    ++*iterations;
  }
}

double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step) {
  return oriSimUpdateStateCG(osm, om, step, nullptr);
}

void oriSimStepBegin(ORISIM_matrix* osm, ORI_manifold* om, double step) { beginStep(osm, om, step); }

double oriSimStepApply(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats) {
  const double largest = applyChange(osm, om, step);
  if (!osm->exact || osm->m <= 0 || osm->n <= 0) return largest;
  // Exact mode: the change found is the predictor, corrected to closure in
  // one go; where the corrections fail, the change stands as it was found.
  const std::vector<double> predicted = osm->angle_n;
  const Correction c = correct(osm, om, kOriSimExactIterations);
  const bool kept = !c.closed || !allFinite(osm->angle_n) || branchJumped(osm, predicted, osm->angle_n);
  if (kept) {
    osm->angle_n = predicted;
    writeAngles(osm, om, osm->angle_n);
    ++osm->exact_unconverged;
  }
  if (stats != nullptr) {
    stats->newton_iterations = c.iterations;
    stats->newton_cg_iterations = c.cg_iterations;
    stats->exact_factorisations = c.factorisations;
    stats->exact_substeps = 1;
    stats->exact_kept = kept ? 1 : 0;
    stats->exact_unconverged = osm->exact_unconverged;
    stats->exact_halvings = osm->exact_halvings;
  }
  return largest;
}

double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats) {
  if (stats != nullptr) *stats = ORISIM_stepStats{};
  if (osm->n <= 0 || !std::isfinite(step)) return 0.0;
  if (osm->exact && osm->m > 0) return exactStep(osm, om, step, stats);
  return ordinaryStep(osm, om, step, stats);
}

double oriSimUpdateStateWish(ORISIM_matrix* osm, ORI_manifold* om, double step, const std::vector<double>& wish,
                             ORISIM_stepStats* stats) {
  if (stats != nullptr) *stats = ORISIM_stepStats{};
  const int n = osm->n;
  if (n <= 0 || !std::isfinite(step) || wish.size() != static_cast<size_t>(n) || !allFinite(wish)) return 0.0;
  if (osm->exact && osm->m > 0) return exactStep(osm, om, step, stats, &wish);
  return ordinaryStep(osm, om, step, stats, &wish);
}

// ---- Writing angles ------------------------------------------------------------

int oriSimUpdateCrease(ORI_manifold* om, const std::vector<double>& angle) {
  const int n = static_cast<int>(angle.size());
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    e->angle = (e->crease_index >= 0 && e->crease_index < n) ? angle[e->crease_index] : 0.0;
  }
  return 0;
}

// ---- Clearing ------------------------------------------------------------------

int oriSimClearCrease(ORI_manifold* om, ORISIM_matrix* osm) {
  osm->angle_n.assign(osm->n, 0.0);
  oriSimUpdateCrease(om, osm->angle_n);
  if (om->center_face != nullptr) {
    oriMatrixIdentity(om->center_face->matrix);
    oriManifoldUpdate(om, om->center_face);
  }
  osm->residual_m.assign(osm->m, 0.0);
  osm->cg_start.clear();
  osm->exact_level = 0;
  return 0;
}

void oriSimHoldBlasThreads() { OriSimOneBlasThread::holdAtStart(); }

void oriSimBlasThreadsHeldFromStart(int count) { OriSimOneBlasThread::heldFromStart(count); }
