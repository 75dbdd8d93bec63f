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
#include <stdexcept>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "sim/kinematics.h"
#include "sim/sim_matrix.h"
#include "sim/sparse_cg.h"
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

// The index of the first entry of largest absolute value, as cblas_idamax
// finds it (0-based; 0 for n ≤ 0).
int firstLargest(int n, const double* v) {
  int best = 0;
  double best_abs = n > 0 ? std::fabs(v[0]) : 0.0;
  for (int i = 1; i < n; ++i) {
    if (std::fabs(v[i]) > best_abs) {
      best = i;
      best_abs = std::fabs(v[i]);
    }
  }
  return best;
}

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

// The barrier moment of a tessellation diagonal (s > 0).
double diagonalMoment(const ORI_edge* e, const ORI_manifold* om, double s) {
  const double saturation = s * kBarrierSaturation;
  const double scale = (s * kBarrierHalf / saturation) * (s * kBarrierHalf);
  const double rate = 2.0 * std::log(saturation / (s * kBarrierHalf));

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
  if (U > saturation) {
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
  if (neighbourhoodUnsettled(e, om->n_edge)) return (s * (-e->angle)) * om->moment_factor - U;
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
    // The crease heads for its target scaled by the fold amount; which way
    // it folds, and whether it is folded the wrong way, is its whole target's.
    const double full = e->target_angle, target = full * om->fold_to, angle = e->angle;
    double& moment = moment_angle_n[c];
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
      moment = s > 0 ? diagonalMoment(e, om, s) : 0.0;
    }
  }

  if (n == 0) return 0;
  const double largest = std::fabs(moment_angle_n[cblas_idamax(n, moment_angle_n.data(), 1)]);
  if (largest > s) cblas_dscal(n, s / largest, moment_angle_n.data(), 1);
  return 0;
}

// ---- Projection ----------------------------------------------------------------

double oriSimDeltaAnglePinvConstraintsCG(std::vector<double>& delta_angle_n, std::vector<double> moment_angle_n,
                                         ORISIM_matrix* osm, const ORI_manifold* om) {
  return oriSimDeltaAnglePinvConstraintsCG(delta_angle_n, std::move(moment_angle_n), osm, om, nullptr, nullptr);
}

namespace {

// Conjugate gradient on A·x = r from x = 0, A = C·Cᵀ + εI given by apply
// (out = alpha·A·in + beta·out), every vector operation a CBLAS call: stops
// after min(m, 512) iterations or when ‖b‖₂ / √m falls below the tolerance.
// A zero right-hand side is already solved by x = 0 (the first α would be
// 0/0). Returns the iterations taken; b holds the last CG residual.
template <typename Apply>
int conjugateGradient(int m, const Apply& apply, const std::vector<double>& r, std::vector<double>& x,
                      std::vector<double>& b) {
  std::vector<double> t(m, 0.0), p(m, 0.0), q(m, 0.0);
  cblas_dcopy(m, r.data(), 1, b.data(), 1);
  apply(-1.0, x.data(), 1.0, b.data());
  cblas_dcopy(m, b.data(), 1, p.data(), 1);
  double rho = cblas_ddot(m, b.data(), 1, b.data(), 1);

  int k = 0;
  if (!(rho > 0.0) || !std::isfinite(rho)) return 0;
  const double limit = std::min(static_cast<double>(m), static_cast<double>(kCGMaxIterations));
  const double root_m = std::sqrt(static_cast<double>(m));
  while (static_cast<double>(k) < limit) {
    const double rho_old = rho;
    apply(1.0, p.data(), 0.0, q.data());
    const double pq = cblas_ddot(m, p.data(), 1, q.data(), 1);
    // A is positive definite, so p·q > 0 unless p vanished; stop rather than divide by it.
    if (!(pq > 0.0) || !std::isfinite(pq)) break;
    const double alpha = rho / pq;
    cblas_daxpy(m, alpha, p.data(), 1, x.data(), 1);
    cblas_dcopy(m, b.data(), 1, t.data(), 1);
    cblas_daxpy(m, -alpha, q.data(), 1, t.data(), 1);
    rho = cblas_ddot(m, t.data(), 1, t.data(), 1);
    const double beta = rho / rho_old;
    cblas_dscal(m, beta, p.data(), 1);
    cblas_daxpy(m, 1.0, t.data(), 1, p.data(), 1);
    cblas_dcopy(m, t.data(), 1, b.data(), 1);
    ++k;
    if (cblas_dnrm2(m, b.data(), 1) / root_m < kCGTolerance) break;
  }
  return k;
}

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
  std::vector<double> r(m, 0.0), b(m, 0.0), x(m, 0.0);

  // The residual of the angles the rows were just computed from, or afresh.
  double result = 0.0;
  if (residual != nullptr && residual->size() == static_cast<size_t>(m)) {
    r = *residual;
    for (int i = 0; i < m; ++i) result += std::fabs(r[i]);
  } else {
    result = oriSimSparseResidual(r, osm, om);
  }
  if (osm->residual_m.size() >= static_cast<size_t>(m)) std::copy(r.begin(), r.end(), osm->residual_m.begin());
  if (n > 0) oriSimSparseMultiply(C, 1.0, moment_angle_n.data(), 1.0, r.data());

  *iterations = oriSimSparseSolveCG(C, kProjectionEpsilon, kCGTolerance, kCGMaxIterations, r, x, b);
  double bb = 0.0;
  for (int i = 0; i < m; ++i) bb += b[i] * b[i];
  *cg_error = std::sqrt(bb) / std::sqrt(static_cast<double>(m));

  if (n > 0) {
    std::copy(moment_angle_n.begin(), moment_angle_n.begin() + n, delta_angle_n.begin());
    oriSimSparseMultiplyTransposed(C, -1.0, x.data(), 1.0, delta_angle_n.data());
  }
  return result;
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

  const auto apply = [&](double alpha, const double* in, double beta, double* out) {
    cblas_dgemv(CblasRowMajor, CblasNoTrans, m, m, alpha, A.data(), m, in, 1, beta, out, 1);
  };
  *iterations = conjugateGradient(m, apply, r, x, b);
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

double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step) {
  return oriSimUpdateStateCG(osm, om, step, nullptr);
}

double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats) {
  if (stats != nullptr) *stats = ORISIM_stepStats{0.0, 0, 0.0};
  const int n = osm->n;
  if (n <= 0 || !std::isfinite(step)) return 0.0;

  oriSimUpdateMomentAngle(osm->moment_angle_n, om, step);
  if (osm->path == kOriSimPathSparse) {
    oriSimSparseUpdate(&osm->C_sparse, osm, om);
  } else {
    oriSimUpdateConstraints(osm->C_mn, osm, om);
  }
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
  if (stats != nullptr) *stats = ORISIM_stepStats{before, iterations, cg_error};

  // Angles must stay finite whatever the solve produced: a broken change is dropped.
  if (!allFinite(osm->delta_angle_n)) {
    std::fill(osm->delta_angle_n.begin(), osm->delta_angle_n.end(), 0.0);
    return 0.0;
  }

  double* delta = osm->delta_angle_n.data();
  const double limit = std::fabs(step);
  double largest;
  if (osm->path == kOriSimPathSparse) {
    // The same operations as plain loops, which round alike element by
    // element: on tens of thousands of creases a library call would wake
    // its threads for microseconds of work.
    largest = std::fabs(delta[firstLargest(n, delta)]);
    if (largest > limit) {
      const double scale = limit / largest;
      for (int c = 0; c < n; ++c) delta[c] *= scale;
      largest = limit;
    }
    for (int c = 0; c < n; ++c) osm->next_angle_n[c] = osm->angle_n[c] + delta[c];
    oriSimUpdateCrease(om, osm->next_angle_n);
    osm->angle_n = osm->next_angle_n;
    return largest;
  }

  largest = std::fabs(delta[cblas_idamax(n, delta, 1)]);
  if (largest > limit) {
    cblas_dscal(n, limit / largest, delta, 1);
    largest = limit;
  }
  cblas_dcopy(n, osm->angle_n.data(), 1, osm->next_angle_n.data(), 1);
  cblas_daxpy(n, 1.0, delta, 1, osm->next_angle_n.data(), 1);
  oriSimUpdateCrease(om, osm->next_angle_n);
  cblas_dcopy(n, osm->next_angle_n.data(), 1, osm->angle_n.data(), 1);
  return largest;
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
  return 0;
}
