// Compliant folding.
//
// Sections: stiffness; the springs' geometry (angle, gradient, Hessian);
// the state (elements, pattern, analysis); assembly and energy; the Newton
// step; strain.
#include "sim/compliant.h"

#include <cholmod.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "geometry/manifold.h"
#include "sim/fold_step.h"
#include "sim/one_blas_thread.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"

namespace {

// A triangle whose doubled area (the length of its normal) falls below
// this, squared, gives its springs no angle: the energy counts as infinite,
// so that the line search never accepts a collapsed facet.
constexpr double kMinNormalSquared = 1e-28;

// The line search: the sufficient decrease of the energy (Armijo's
// constant), how many halvings of the Newton step it tries, and the
// relative change of the energy that rounding hides (a trial no worse than
// this is taken).
constexpr double kArmijo = 1e-4;
constexpr int kLineSearchHalvings = 30;
// Where the whole Newton step lowers the energy, steps of up to
// 2^kLineSearchDoublings times its length are tried too.
constexpr int kLineSearchDoublings = 4;
constexpr double kEnergyRounding = 1e-12;

// A matrix that is not positive definite (a spring bent past where its
// geometric stiffness turns negative) is factorised again with a shift of
// its diagonal: first this share of the mean diagonal, then a hundred
// times more, up to kShiftTries times.
constexpr double kFirstShift = 1e-10;
constexpr double kShiftGrowth = 100.0;
constexpr int kShiftTries = 6;

constexpr double kTwoPi = 6.283185307179586;

// How far a flat sheet's free corners are lifted out of its plane before
// the first step, at most (crease-pattern units: paper sides).
constexpr double kFlatLift = 1e-7;

// A step whose equilibrium is a saddle of the energy is kicked off it at
// most this many times, each corner coordinate by at most kSaddleKick
// (paper sides).
constexpr int kMostKicks = 2;
constexpr double kSaddleKick = 1e-4;

// A step whose Newton iteration fails is retried in halves, down to this
// many halvings of the rest angles' move.
constexpr int kMostHalvings = 3;
// Largest move of a rest angle one Newton solve follows, radians. A longer
// move is followed in equal pieces no longer than this: the sheet's
// equilibria branch (a pleat may fold one way or stay nearly flat and
// squeezed), and a long jump of the rest angles lands on whichever branch
// Newton's method meets first, so that the fold would depend on the step
// size. Half a radian is the held step's default move.
constexpr double kMostRestMove = 0.5;

// The predictor carries the fold on by at most this many times its last
// move (a longer extrapolation guesses worse than the last equilibrium).
constexpr double kMostPredictRatio = 2.0;

// Largest turn of a spring (radians) along a Newton step below which the
// step is not also tried as the faces' rotations.
constexpr double kTurnWorth = 1e-4;
// A whole Newton step that lowers the energy by more than this many times
// its quadratic model's foretelling is followed by longer trials.
constexpr double kModelExcess = 1.1;

// The central difference that takes a Newton step's rotations apart from
// the rest of it turns the spring that turns most by this (radians).
constexpr double kTurnDifference = 1e-5;

// The factorisation library parallelises parts of a factorisation with
// OpenMP teams of a fixed size, whose threads then spin at their barriers:
// on this project's shared machines they took as much processor time as
// the factorisation itself and gained nothing at the size of a sheet's
// blocks. Held at one thread while it lives (the calling thread's setting,
// restored after).
class OneOmpThread {
 public:
  OneOmpThread() : saved_(omp_get_max_active_levels()) { omp_set_max_active_levels(0); }
  ~OneOmpThread() { omp_set_max_active_levels(saved_); }
  OneOmpThread(const OneOmpThread&) = delete;
  OneOmpThread& operator=(const OneOmpThread&) = delete;

 private:
  int saved_;
};

}  // namespace

// ---- Stiffness ----

bool oriSimStiffnessCheck(const ORISIM_stiffness& k, std::string* why) {
  const char* names[3] = {"fold", "facet", "axial"};
  const double values[3] = {k.fold, k.facet, k.axial};
  std::string bad;
  int count = 0;
  for (int i = 0; i < 3; ++i) {
    if (std::isfinite(values[i]) && values[i] > 0.0) continue;
    char item[64];
    std::snprintf(item, sizeof item, "%s %g", names[i], values[i]);
    if (count > 0) bad += " and ";
    bad += item;
    ++count;
  }
  if (count == 0) return true;
  if (why != nullptr) {
    *why = "stiffness: " + bad + (count == 1 ? " is not a positive finite number" : " are not positive finite numbers");
  }
  return false;
}

const char* oriSimCompliantStatusName(int status) {
  switch (status) {
    case kOriCompliantConverged: return "converged";
    case kOriCompliantBudget: return "iteration budget spent";
    case kOriCompliantLineSearch: return "no descent along the Newton direction";
    case kOriCompliantSingular: return "stiffness matrix not factorisable";
    case kOriCompliantNotFinite: return "not a finite shape";
    default: return "unknown";
  }
}

// ---- The springs' geometry ----

namespace {

struct V3 {
  double x, y, z;
};
inline V3 operator-(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator+(const V3& a, const V3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator*(double s, const V3& a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(const V3& a, const V3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline V3 at(const double* x, int v) { return {x[3 * v], x[3 * v + 1], x[3 * v + 2]}; }
inline void put(double* out, const V3& a) {
  out[0] = a.x;
  out[1] = a.y;
  out[2] = a.z;
}

// The gradient: moving a wing along its face's unit normal n̂ turns the face
// by one over the wing's distance h from the line, so ∂θ/∂a = n̂_a / h_a and
// ∂θ/∂b = n̂_b / h_b (both normals pointing to the side from which their
// face runs counter-clockwise); the line's ends take the rest so that a
// translation or a rotation of the whole changes nothing:
// ∂θ/∂t = (p_a − 1)·∂θ/∂a + (p_b − 1)·∂θ/∂b, ∂θ/∂h = −p_a·∂θ/∂a − p_b·∂θ/∂b,
// p_w the place of wing w's foot along the line (0 at t, 1 at h).
// The Hessian differentiates these: a wing's own block is
// −(n̂ d̂ᵀ + d̂ n̂ᵀ) / h² (d̂ the unit direction from the line to the wing,
// in its face), and the coefficients p_w bring the rest.
bool hingeAngle(const V3& xa, const V3& xb, const V3& xt, const V3& xh, double ref, double* theta, double* g,
                double* H) {
  const V3 e = xh - xt;
  const double L2 = dot(e, e);
  const V3 ra = xa - xt, rb = xb - xt;
  const V3 nl = cross(e, ra), nr = cross(rb, e);
  const double nl2 = dot(nl, nl), nr2 = dot(nr, nr);
  if (!(nl2 > kMinNormalSquared) || !(nr2 > kMinNormalSquared) || !(L2 > 0.0)) return false;
  const double L = std::sqrt(L2);
  const double raw = std::atan2(dot(cross(nr, nl), e) / L, dot(nr, nl));
  *theta = ref + std::remainder(raw - ref, kTwoPi);
  if (g == nullptr) return true;

  const V3 gw[2] = {(L / nl2) * nl, (L / nr2) * nr};
  const double p[2] = {dot(ra, e) / L2, dot(rb, e) / L2};
  put(g + 0, gw[0]);
  put(g + 3, gw[1]);
  put(g + 6, (p[0] - 1.0) * gw[0] + (p[1] - 1.0) * gw[1]);
  put(g + 9, (-p[0]) * gw[0] + (-p[1]) * gw[1]);
  if (H == nullptr) return true;

  // Each wing's own block.
  const V3 r[2] = {ra, rb};
  const double n2[2] = {nl2, nr2};
  double Hw[2][9];
  for (int w = 0; w < 2; ++w) {
    const double h = std::sqrt(n2[w]) / L;
    const V3 n = (1.0 / std::sqrt(n2[w])) * (w == 0 ? nl : nr);
    const V3 d = (1.0 / h) * (r[w] - p[w] * e);
    const double s = -1.0 / (h * h);
    const double nv[3] = {n.x, n.y, n.z}, dv[3] = {d.x, d.y, d.z};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) Hw[w][3 * i + j] = s * (nv[i] * dv[j] + dv[i] * nv[j]);
    }
  }
  // c[v][w]: ∂θ/∂x_v = Σ_w c[v][w]·∂θ/∂x_w; dp[w][u]: ∂p_w/∂x_u.
  const double c[4][2] = {{1.0, 0.0}, {0.0, 1.0}, {p[0] - 1.0, p[1] - 1.0}, {-p[0], -p[1]}};
  V3 dp[2][4];
  for (int w = 0; w < 2; ++w) {
    dp[w][w] = (1.0 / L2) * e;
    dp[w][1 - w] = {0.0, 0.0, 0.0};
    dp[w][2] = (1.0 / L2) * ((2.0 * p[w] - 1.0) * e - r[w]);
    dp[w][3] = (1.0 / L2) * (r[w] - (2.0 * p[w]) * e);
  }
  // dc[v][w][u] = ∂c[v][w]/∂x_u: zero for the wings' own rows.
  auto dc = [&](int v, int w, int u) -> V3 {
    if (v == 2) return dp[w][u];
    if (v == 3) return (-1.0) * dp[w][u];
    return {0.0, 0.0, 0.0};
  };
  // H_vu = Σ_w [g_w ⊗ dc(v,w,u) + c[v][w]·dc(u,w,w) ⊗ g_w + c[v][w]·c[u][w]·H_ww].
  for (int v = 0; v < 4; ++v) {
    for (int u = 0; u < 4; ++u) {
      double B[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
      for (int w = 0; w < 2; ++w) {
        const V3 d1 = dc(v, w, u), d2 = dc(u, w, w);
        const double gv[3] = {gw[w].x, gw[w].y, gw[w].z};
        const double a1[3] = {d1.x, d1.y, d1.z}, a2[3] = {d2.x, d2.y, d2.z};
        const double cc = c[v][w] * c[u][w];
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j < 3; ++j) {
            B[3 * i + j] += gv[i] * a1[j] + c[v][w] * a2[i] * gv[j] + cc * Hw[w][3 * i + j];
          }
        }
      }
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) H[(3 * v + i) * 12 + 3 * u + j] = B[3 * i + j];
      }
    }
  }
  // The exact Hessian is symmetric; the formula is so up to rounding.
  for (int i = 0; i < 12; ++i) {
    for (int j = i + 1; j < 12; ++j) {
      const double m = 0.5 * (H[i * 12 + j] + H[j * 12 + i]);
      H[i * 12 + j] = H[j * 12 + i] = m;
    }
  }
  return true;
}

}  // namespace

bool oriSimHingeAngle(const double xa[3], const double xb[3], const double xt[3], const double xh[3], double ref,
                      double* theta, double* gradient, double* hessian) {
  return hingeAngle(at(xa, 0), at(xb, 0), at(xt, 0), at(xh, 0), ref, theta, gradient, hessian);
}

// ---- The state ----

struct ORISIM_compliantSolver {
  cholmod_common common;
  cholmod_sparse* A = nullptr;  // upper triangle by columns; its pattern fixed, its numbers refilled
  cholmod_factor* L = nullptr;
  cholmod_dense* B = nullptr;
  cholmod_dense* X = nullptr;
  cholmod_dense* Y = nullptr;  // the solve's workspaces, kept between calls
  cholmod_dense* E = nullptr;
  // Where each element's 3 × 3 blocks go: per pair of its vertices (p ≤ q
  // in the element's order), the value index of the block's entry (0, 0)
  // and the column stride (see blockEntry); -1 when a vertex is pinned.
  std::vector<int> bar_slot;    // 3 pairs per bar: (t,t), (t,h), (h,h)
  std::vector<int> hinge_slot;  // 10 pairs per hinge over a, b, t, h
  std::vector<int> bar_stride, hinge_stride;
  // The faces in the order a walk from the fixed face reaches them, each
  // but the first across one spring from a face before it (see place).
  struct TreeStep {
    int hinge;   // the spring crossed
    int left;    // 1 when the face reached is the spring's left one
    int parent;  // the place in the walk of the face it is reached from
  };
  std::vector<TreeStep> tree;
  // Workspaces of a step.
  std::vector<double> grad, dir;          // 3 per free vertex
  std::vector<double> x_start, x_good;    // 3 per vertex: the shape before the step, the last equilibrium in it
  std::vector<double> x_trial, x_placed, x_kick;  // 3 per vertex: line-search trials
  std::vector<double> rest_start, rest_goal;  // per spring: rest angles before the step and at its end
  std::vector<double> angle_start, angle_good, angle_trial, angle_kick;  // per spring
  std::vector<double> pose;         // 12 per face of the walk: rotation (row-major) and translation
  std::vector<double> turn;         // per spring: its angle's change along the Newton step, radians
  std::vector<double> rest_of_dir;  // 3 per vertex: the Newton step less its first-order rotations
  std::vector<double> corner_sum;   // 3 per vertex: the faces' places of each corner, summed
  std::vector<int> corner_count;    // per vertex: how many faces placed it
  // The equilibrium before the last one reached, for the predictor: its
  // shape and its springs' rest angles and angles (has_history false until
  // two equilibria are known; a step that keeps the last shape puts back
  // the history it started with).
  bool has_history = false;
  std::vector<double> x_history;                        // 3 per vertex
  std::vector<double> rest_history, angle_history;      // per spring
  std::vector<double> rest_now;                         // per spring: rest angles of the shape kept (cs->x)
  // A step's own copy of the history, restored when the step keeps the last shape.
  bool had_history = false;
  std::vector<double> x_history_start, rest_history_start, angle_history_start, rest_now_start;
};

namespace {

// The element's vertex pairs p ≤ q, in the order of the slots.
constexpr int kHingePairs[10][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {1, 3}, {2, 2}, {2, 3}, {3, 3}};
constexpr int kBarPairs[3][2] = {{0, 0}, {0, 1}, {1, 1}};

// The value index of entry (3u + i, 3v + j), u ≤ v by free number, of a
// block whose (0, 0) entry is at slot with column stride stride (three
// rows for every vertex before v in v's column): column 3v + j begins j
// strides and j(j + 1)/2 diagonal entries after column 3v.
inline int blockEntry(int slot, int stride, int i, int j) { return slot + j * stride + j * (j + 1) / 2 + i; }

void freeSolver(ORISIM_compliantSolver* s) {
  if (s == nullptr) return;
  cholmod_free_sparse(&s->A, &s->common);
  cholmod_free_factor(&s->L, &s->common);
  cholmod_free_dense(&s->B, &s->common);
  cholmod_free_dense(&s->X, &s->common);
  cholmod_free_dense(&s->Y, &s->common);
  cholmod_free_dense(&s->E, &s->common);
  cholmod_finish(&s->common);
  delete s;
}

// Builds the upper triangle's pattern from the elements' vertex pairs and
// the slots of every element, then analyses the ordering. False when the
// library fails (memory).
bool buildPattern(ORISIM_compliant* cs) {
  ORISIM_compliantSolver* s = cs->solver;
  const int nv = cs->n_free;
  // The row vertices of each column vertex v: every u ≤ v sharing an element.
  std::vector<std::vector<int>> rows(static_cast<size_t>(nv));
  auto link = [&](int p, int q) {
    const int fp = cs->free_index[p], fq = cs->free_index[q];
    if (fp < 0 || fq < 0) return;
    rows[std::max(fp, fq)].push_back(std::min(fp, fq));
  };
  for (const ORISIM_bar& b : cs->bars) {
    link(b.t, b.t);
    link(b.t, b.h);
    link(b.h, b.h);
  }
  for (const ORISIM_hinge& hg : cs->hinges) {
    const int v[4] = {hg.a, hg.b, hg.t, hg.h};
    for (const auto& pq : kHingePairs) link(v[pq[0]], v[pq[1]]);
  }
  size_t nnz = 0;
  for (int v = 0; v < nv; ++v) {
    std::vector<int>& r = rows[v];
    r.push_back(v);
    std::sort(r.begin(), r.end());
    r.erase(std::unique(r.begin(), r.end()), r.end());
    nnz += 9 * (r.size() - 1) + 6;
  }
  const size_t n = 3 * static_cast<size_t>(nv);
  s->A = cholmod_allocate_sparse(n, n, nnz, 1, 1, 1, CHOLMOD_REAL, &s->common);
  if (s->A == nullptr) return false;
  int* Ap = static_cast<int*>(s->A->p);
  int* Ai = static_cast<int*>(s->A->i);
  std::vector<int> column_start(static_cast<size_t>(nv));
  int k = 0;
  for (int v = 0; v < nv; ++v) {
    column_start[v] = k;
    const std::vector<int>& r = rows[v];
    for (int j = 0; j < 3; ++j) {
      Ap[3 * v + j] = k;
      for (const int u : r) {
        for (int i = 0; i < 3 && (u < v || i <= j); ++i) Ai[k++] = 3 * u + i;
      }
    }
  }
  Ap[n] = k;
  auto slot = [&](int p, int q, int* out_slot, int* out_stride) {
    const int fp = cs->free_index[p], fq = cs->free_index[q];
    if (fp < 0 || fq < 0) {
      *out_slot = *out_stride = -1;
      return;
    }
    const int u = std::min(fp, fq), v = std::max(fp, fq);
    const std::vector<int>& r = rows[v];
    const int pos = static_cast<int>(std::lower_bound(r.begin(), r.end(), u) - r.begin());
    *out_slot = column_start[v] + 3 * pos;
    *out_stride = 3 * static_cast<int>(r.size() - 1);
  };
  s->bar_slot.resize(3 * cs->bars.size());
  s->bar_stride.resize(3 * cs->bars.size());
  for (size_t b = 0; b < cs->bars.size(); ++b) {
    const int v[2] = {cs->bars[b].t, cs->bars[b].h};
    for (int q = 0; q < 3; ++q) slot(v[kBarPairs[q][0]], v[kBarPairs[q][1]], &s->bar_slot[3 * b + q], &s->bar_stride[3 * b + q]);
  }
  s->hinge_slot.resize(10 * cs->hinges.size());
  s->hinge_stride.resize(10 * cs->hinges.size());
  for (size_t h = 0; h < cs->hinges.size(); ++h) {
    const ORISIM_hinge& hg = cs->hinges[h];
    const int v[4] = {hg.a, hg.b, hg.t, hg.h};
    for (int q = 0; q < 10; ++q) {
      slot(v[kHingePairs[q][0]], v[kHingePairs[q][1]], &s->hinge_slot[10 * h + q], &s->hinge_stride[10 * h + q]);
    }
  }
  std::fill(static_cast<double*>(s->A->x), static_cast<double*>(s->A->x) + nnz, 0.0);
  OriSimOneBlasThread one_thread;
  // A sheet is a two-dimensional mesh: nested dissection (METIS) orders it
  // with far less fill than minimum degree (a third fewer operations on a
  // 100 × 100 Miura-ori); the smaller of the two is kept.
  s->common.nmethods = 2;
  s->common.method[0].ordering = CHOLMOD_AMD;
  s->common.method[1].ordering = CHOLMOD_METIS;
  s->L = cholmod_analyze(s->A, &s->common);
  if (s->L == nullptr) return false;
  s->B = cholmod_allocate_dense(n, 1, n, CHOLMOD_REAL, &s->common);
  return s->B != nullptr;
}

// The angle of hinge hg in the positions x, on the branch nearest ref.
bool hingeTheta(const ORISIM_hinge& hg, const double* x, double ref, double* theta) {
  return hingeAngle(at(x, hg.a), at(x, hg.b), at(x, hg.t), at(x, hg.h), ref, theta, nullptr, nullptr);
}

// The faces' walk from the fixed face: breadth first across the springs.
void buildTree(ORISIM_compliant* cs, const ORI_manifold* om) {
  ORISIM_compliantSolver* s = cs->solver;
  const int nf = std::max(om->n_face, 0);
  std::vector<std::vector<std::pair<int, int>>> across(static_cast<size_t>(nf));  // (spring, reached face is left)
  for (size_t h = 0; h < cs->hinges.size(); ++h) {
    const ORI_edge* e = cs->hinges[h].edge;
    const int left = e->face->index, right = e->pair->face->index;
    if (left < 0 || left >= nf || right < 0 || right >= nf) continue;
    across[right].push_back({static_cast<int>(h), 1});
    across[left].push_back({static_cast<int>(h), 0});
  }
  const int start = om->center_face->index;
  if (start < 0 || start >= nf) return;
  std::vector<char> reached(static_cast<size_t>(nf), 0);
  std::vector<int> faces = {start};
  reached[start] = 1;
  s->tree.push_back({-1, 0, -1});
  for (size_t q = 0; q < faces.size(); ++q) {
    for (const auto& [h, left] : across[faces[q]]) {
      const ORI_edge* e = cs->hinges[h].edge;
      const int child = left ? e->face->index : e->pair->face->index;
      if (reached[child]) continue;
      reached[child] = 1;
      s->tree.push_back({h, left, static_cast<int>(q)});
      faces.push_back(child);
    }
  }
  s->pose.resize(12 * s->tree.size());
}

// The shape reached by turning every spring h by alpha × turn[h] from x:
// each face carried rigidly with the face it hangs from in the walk and
// turned about the spring between them, and each corner put at the mean
// of its faces' places for it (the turns close round a vertex only to
// first order). The fold's rotations are so taken exactly, where a straight
// Newton step would stretch every bar it turns by the square of the angle:
// with bars far stiffer than the folds that is what limits a straight
// step. The fixed face's corners and corners of no face stay.
void place(ORISIM_compliantSolver* s, const ORISIM_compliant* cs, const double* x, double alpha, double* out) {
  std::copy(x, x + cs->x.size(), out);
  if (s->tree.empty()) return;
  std::fill(s->corner_sum.begin(), s->corner_sum.end(), 0.0);
  std::fill(s->corner_count.begin(), s->corner_count.end(), 0);
  double* P = s->pose.data();
  const double I[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  std::copy(I, I + 12, P);
  for (size_t k = 1; k < s->tree.size(); ++k) {
    const ORISIM_compliantSolver::TreeStep& st = s->tree[k];
    const ORISIM_hinge& hg = cs->hinges[st.hinge];
    const V3 o = at(x, hg.t);
    V3 u = at(x, hg.h) - o;
    u = (1.0 / std::sqrt(dot(u, u))) * u;
    const double phi = alpha * s->turn[st.hinge] * (st.left ? 1.0 : -1.0);
    const double c = std::cos(phi), sn = std::sin(phi), v = 1.0 - c;
    // The turn about the line through o along u, then the parent's pose.
    const double R[9] = {c + v * u.x * u.x,        v * u.x * u.y - sn * u.z, v * u.x * u.z + sn * u.y,
                         v * u.y * u.x + sn * u.z, c + v * u.y * u.y,        v * u.y * u.z - sn * u.x,
                         v * u.z * u.x - sn * u.y, v * u.z * u.y + sn * u.x, c + v * u.z * u.z};
    const double ov[3] = {o.x, o.y, o.z};
    double shift[3];
    for (int i = 0; i < 3; ++i) shift[i] = ov[i] - (R[3 * i] * ov[0] + R[3 * i + 1] * ov[1] + R[3 * i + 2] * ov[2]);
    const double* Pp = P + 12 * st.parent;
    double* Pc = P + 12 * k;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        Pc[3 * i + j] = Pp[3 * i] * R[j] + Pp[3 * i + 1] * R[3 + j] + Pp[3 * i + 2] * R[6 + j];
      }
      Pc[9 + i] = Pp[3 * i] * shift[0] + Pp[3 * i + 1] * shift[1] + Pp[3 * i + 2] * shift[2] + Pp[9 + i];
    }
    const int corners[3] = {hg.t, hg.h, st.left ? hg.a : hg.b};
    for (const int w : corners) {
      if (cs->free_index[w] < 0) continue;
      const double* q = x + 3 * w;
      for (int i = 0; i < 3; ++i) s->corner_sum[3 * w + i] += Pc[3 * i] * q[0] + Pc[3 * i + 1] * q[1] + Pc[3 * i + 2] * q[2] + Pc[9 + i];
      ++s->corner_count[w];
    }
  }
  for (size_t w = 0; w < s->corner_count.size(); ++w) {
    if (s->corner_count[w] == 0) continue;
    for (int i = 0; i < 3; ++i) out[3 * w + i] = s->corner_sum[3 * w + i] / s->corner_count[w];
  }
}

// turn[h] = ∇θ_h · dir: each spring's angle change along the Newton step.
void turnsAlong(ORISIM_compliantSolver* s, const ORISIM_compliant* cs, const double* x) {
  double g[12];
  for (size_t h = 0; h < cs->hinges.size(); ++h) {
    const ORISIM_hinge& hg = cs->hinges[h];
    const int v[4] = {hg.a, hg.b, hg.t, hg.h};
    double theta = 0.0, sum = 0.0;
    if (!hingeAngle(at(x, hg.a), at(x, hg.b), at(x, hg.t), at(x, hg.h), 0.0, &theta, g, nullptr)) {
      s->turn[h] = 0.0;
      continue;
    }
    for (int p = 0; p < 4; ++p) {
      const int f = cs->free_index[v[p]];
      if (f < 0) continue;
      for (int i = 0; i < 3; ++i) sum += g[3 * p + i] * s->dir[3 * f + i];
    }
    s->turn[h] = sum;
  }
}

}  // namespace

void oriSimCompliantSetGoals(ORISIM_compliant* cs, const ORI_manifold* om) {
  for (ORISIM_hinge& hg : cs->hinges) {
    if (hg.fold) hg.goal = hg.edge->target_angle * om->fold_to;
  }
}

ORISIM_compliant* oriSimCompliantNew(ORI_manifold* om, const ORISIM_compliantOptions& options, std::string* why) {
  std::string reason;
  if (!oriSimStiffnessCheck(options.stiffness, &reason)) {
    if (why != nullptr) *why = reason;
    return nullptr;
  }
  if (om == nullptr || om->center_face == nullptr || !oriManifoldTriangulated(om)) {
    if (why != nullptr) {
      *why = om == nullptr || om->center_face == nullptr
                 ? "the compliant solver needs a prepared sheet with a fixed face"
                 : "the compliant solver needs a triangulated sheet: a facet has more than three sides";
    }
    return nullptr;
  }
  ORISIM_compliant* cs = new ORISIM_compliant;
  cs->options = options;
  if (cs->options.max_iterations < 1) cs->options.max_iterations = 1;
  // The vertices of the faces, numbered by their place in the list.
  std::vector<int> slot_of(static_cast<size_t>(std::max(om->n_vert, 0)), -1);
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    const ORI_edge* e = f->first;
    for (int k = 0; k < 3; ++k, e = e->next) {
      if (e->vert->index >= 0 && e->vert->index < om->n_vert) slot_of[e->vert->index] = 0;
    }
  }
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_vert* v = static_cast<ORI_vert*>(l->data);
    if (v->index < 0 || v->index >= om->n_vert || slot_of[v->index] < 0) continue;
    slot_of[v->index] = static_cast<int>(cs->verts.size());
    cs->verts.push_back(v);
  }
  const int nv = static_cast<int>(cs->verts.size());
  cs->x.resize(3 * static_cast<size_t>(nv));
  for (int v = 0; v < nv; ++v) {
    cs->x[3 * v] = cs->verts[v]->pos.x;
    cs->x[3 * v + 1] = cs->verts[v]->pos.y;
    cs->x[3 * v + 2] = cs->verts[v]->pos.z;
  }
  cs->free_index.assign(static_cast<size_t>(nv), 0);
  const ORI_edge* e = om->center_face->first;
  for (int k = 0; k < 3; ++k, e = e->next) cs->free_index[slot_of[e->vert->index]] = -1;
  for (int v = 0; v < nv; ++v) {
    if (cs->free_index[v] == 0) cs->free_index[v] = cs->n_free++;
  }
  auto slot = [&](const ORI_vert* v) { return slot_of[v->index]; };
  const ORISIM_stiffness& k = cs->options.stiffness;
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* h = static_cast<ORI_edge*>(l->data);
    if (h->pair == nullptr || h->index > h->pair->index) continue;  // each line once
    const double length = std::hypot(h->x1 - h->x0, h->y1 - h->y0);
    if (!(length > 0.0)) continue;
    const int t = slot(h->pair->vert), hd = slot(h->vert);
    if (t < 0 || hd < 0) continue;
    cs->bars.push_back(ORISIM_bar{t, hd, length, k.axial / length});
    if (h->on_boundary || h->pair->on_boundary || h->face == nullptr || h->pair->face == nullptr) continue;
    ORISIM_hinge hg;
    hg.t = t;
    hg.h = hd;
    hg.a = slot(h->next->vert);
    hg.b = slot(h->pair->next->vert);
    hg.fold = (!h->is_diagonal && h->target_angle != 0.0) ? 1 : 0;
    hg.k = (hg.fold ? k.fold : k.facet) * length;
    hg.edge = h;
    hg.goal = 0.0;
    double theta = h->angle;
    if (!hingeTheta(hg, cs->x.data(), h->angle, &theta)) theta = h->angle;
    hg.angle = theta;
    hg.rest = hg.fold ? theta : 0.0;
    cs->hinges.push_back(hg);
  }
  oriSimCompliantSetGoals(cs, om);

  // A flat sheet is a symmetric state, and Newton's method, which knows no
  // stability, keeps a symmetric shape symmetric: a pattern that can only
  // fold by breaking a symmetry (the hyperbolic paraboloid's saddle) would
  // stay flat. A lift out of the plane far below what can be seen, the same
  // at every run, lets the fold choose its way.
  bool flat = true;
  for (int v = 0; v < nv && flat; ++v) flat = cs->x[3 * v + 2] == cs->x[2];
  if (flat) {
    for (int v = 0; v < nv; ++v) {
      if (cs->free_index[v] < 0) continue;
      unsigned h = static_cast<unsigned>(v) * 2654435761u;
      h ^= h >> 15;
      cs->x[3 * v + 2] += kFlatLift * ((h % 2001u) / 1000.0 - 1.0);
    }
  }

  cs->solver = new ORISIM_compliantSolver;
  cholmod_start(&cs->solver->common);
  // Failed factorisations are expected (and answered with a shift): the
  // library is not to print them.
  cs->solver->common.print = 0;
  cs->solver->common.error_handler = nullptr;
  if (cs->n_free > 0 && !buildPattern(cs)) {
    if (why != nullptr) *why = "the compliant solver could not analyse the stiffness matrix (out of memory)";
    oriSimCompliantDelete(cs);
    return nullptr;
  }
  ORISIM_compliantSolver* s = cs->solver;
  buildTree(cs, om);
  const size_t n = 3 * static_cast<size_t>(cs->n_free), nx = cs->x.size(), nh = cs->hinges.size();
  s->grad.resize(n);
  s->dir.resize(n);
  for (std::vector<double>* v : {&s->x_start, &s->x_good, &s->x_trial, &s->x_placed, &s->x_kick, &s->rest_of_dir,
                                 &s->corner_sum, &s->x_history, &s->x_history_start}) {
    v->resize(nx);
  }
  for (std::vector<double>* v : {&s->rest_start, &s->rest_goal, &s->angle_start, &s->angle_good, &s->angle_trial,
                                 &s->angle_kick, &s->turn, &s->rest_history, &s->angle_history, &s->rest_now,
                                 &s->rest_history_start, &s->angle_history_start, &s->rest_now_start}) {
    v->resize(nh);
  }
  for (size_t h = 0; h < nh; ++h) s->rest_now[h] = cs->hinges[h].rest;
  s->corner_count.resize(cs->verts.size());
  return cs;
}

void oriSimCompliantDelete(ORISIM_compliant* cs) {
  if (cs == nullptr) return;
  freeSolver(cs->solver);
  delete cs;
}

// ---- Assembly and energy ----

namespace {

// The energy of the shape x, each spring's angle taken on the branch
// nearest ref[h] and written to angle[h]. Infinite when a triangle has
// collapsed. With grad and the matrix's numbers (assemble), also the
// gradient over the free coordinates and the Hessian (the bars' geometric
// stiffness only where they are stretched, so that compression, which a
// sheet in equilibrium hardly sees, never makes it indefinite).
double energy(ORISIM_compliant* cs, const double* x, const double* ref, double* angle, bool assemble) {
  ORISIM_compliantSolver* s = cs->solver;
  double* A = assemble ? static_cast<double*>(s->A->x) : nullptr;
  if (assemble) {
    std::fill(s->grad.begin(), s->grad.end(), 0.0);
    std::fill(A, A + static_cast<int*>(s->A->p)[s->A->ncol], 0.0);
  }
  double total = 0.0;
  for (size_t b = 0; b < cs->bars.size(); ++b) {
    const ORISIM_bar& bar = cs->bars[b];
    const V3 d = at(x, bar.h) - at(x, bar.t);
    const double l = std::sqrt(dot(d, d));
    const double stretch = l - bar.length;
    total += 0.5 * bar.k * stretch * stretch;
    if (!assemble) continue;
    if (!(l > 0.0)) return INFINITY;
    const V3 u = (1.0 / l) * d;
    const double f = bar.k * stretch;
    const int ft = cs->free_index[bar.t], fh = cs->free_index[bar.h];
    const double uv[3] = {u.x, u.y, u.z};
    if (ft >= 0) {
      for (int i = 0; i < 3; ++i) s->grad[3 * ft + i] -= f * uv[i];
    }
    if (fh >= 0) {
      for (int i = 0; i < 3; ++i) s->grad[3 * fh + i] += f * uv[i];
    }
    const double geometric = f / l;
    double K[9];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) K[3 * i + j] = (bar.k - geometric) * uv[i] * uv[j] + (i == j ? geometric : 0.0);
    }
    for (int q = 0; q < 3; ++q) {
      const int slot = s->bar_slot[3 * b + q];
      if (slot < 0) continue;
      const int stride = s->bar_stride[3 * b + q];
      const int p0 = kBarPairs[q][0], p1 = kBarPairs[q][1];
      const double sign = p0 == p1 ? 1.0 : -1.0;
      const bool same = p0 == p1;
      for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3 && (!same || i <= j); ++i) A[blockEntry(slot, stride, i, j)] += sign * K[3 * i + j];
      }
    }
  }
  double g[12], H[144];
  for (size_t h = 0; h < cs->hinges.size(); ++h) {
    const ORISIM_hinge& hg = cs->hinges[h];
    const int v[4] = {hg.a, hg.b, hg.t, hg.h};
    double theta;
    if (!hingeAngle(at(x, hg.a), at(x, hg.b), at(x, hg.t), at(x, hg.h), ref[h], &theta, assemble ? g : nullptr,
                    assemble ? H : nullptr)) {
      return INFINITY;
    }
    angle[h] = theta;
    const double misfit = theta - hg.rest;
    total += 0.5 * hg.k * misfit * misfit;
    if (!assemble) continue;
    const double f = hg.k * misfit;
    for (int p = 0; p < 4; ++p) {
      const int fp = cs->free_index[v[p]];
      if (fp < 0) continue;
      for (int i = 0; i < 3; ++i) s->grad[3 * fp + i] += f * g[3 * p + i];
    }
    for (int q = 0; q < 10; ++q) {
      const int slot = s->hinge_slot[10 * h + q];
      if (slot < 0) continue;
      const int stride = s->hinge_stride[10 * h + q];
      int p0 = kHingePairs[q][0], p1 = kHingePairs[q][1];
      // Rows go to the vertex with the smaller free number.
      if (cs->free_index[v[p0]] > cs->free_index[v[p1]]) std::swap(p0, p1);
      const bool same = cs->free_index[v[p0]] == cs->free_index[v[p1]];
      for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3 && (!same || i <= j); ++i) {
          const int r = 3 * p0 + i, c = 3 * p1 + j;
          double value = hg.k * g[r] * g[c] + f * H[r * 12 + c];
          // Two corners of the element that are one vertex (a degenerate
          // pair of triangles) both land in its diagonal block.
          if (same && p0 != p1) value += hg.k * g[3 * p0 + j] * g[3 * p1 + i] + f * H[(3 * p0 + j) * 12 + 3 * p1 + i];
          A[blockEntry(slot, stride, i, j)] += value;
        }
      }
    }
  }
  return total;
}

// dir = −A⁻¹·grad from the matrix as assembled, factorised numerically
// (the ordering analysed once). Where the matrix is not positive definite
// (the library's Cholesky factorisation fails, or its LDLᵀ on a small sheet
// gives a direction that does not lower the energy), the diagonal is
// shifted and the factorisation tried again. Returns false when no shift
// tried helps; *slope receives grad·dir, *shifted counts a shifted one.
bool newtonDirection(ORISIM_compliantSolver* s, int* shifted, double* slope) {
  OriSimOneBlasThread one_thread;
  OneOmpThread one_omp_thread;
  const int* Ap = static_cast<const int*>(s->A->p);
  const int* Ai = static_cast<const int*>(s->A->i);
  const double* Ax = static_cast<const double*>(s->A->x);
  const size_t n = s->grad.size();
  double shift = 0.0;
  for (int tries = 0; tries <= kShiftTries; ++tries) {
    if (tries == 1) {
      double sum = 0.0;
      for (size_t c = 0; c < n; ++c) {
        if (Ap[c + 1] > Ap[c] && Ai[Ap[c + 1] - 1] == static_cast<int>(c)) sum += std::fabs(Ax[Ap[c + 1] - 1]);
      }
      shift = kFirstShift * (n > 0 ? sum / static_cast<double>(n) : 1.0);
      if (!(shift > 0.0)) shift = kFirstShift;
    } else if (tries > 1) {
      shift *= kShiftGrowth;
    }
    double beta[2] = {shift, 0.0};
    cholmod_factorize_p(s->A, beta, nullptr, 0, s->L, &s->common);
    if (s->common.status != CHOLMOD_OK || s->L->minor != s->L->n) continue;
    double* b = static_cast<double*>(s->B->x);
    for (size_t i = 0; i < n; ++i) b[i] = -s->grad[i];
    if (!cholmod_solve2(CHOLMOD_A, s->L, s->B, nullptr, &s->X, nullptr, &s->Y, &s->E, &s->common) || s->X == nullptr) {
      return false;
    }
    std::memcpy(s->dir.data(), s->X->x, sizeof(double) * n);
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) sum += s->grad[i] * s->dir[i];
    if (!(sum < 0.0)) continue;
    *slope = sum;
    if (tries > 0) ++*shifted;
    return true;
  }
  return false;
}

// The largest |relative change of length| over the bars of x.
double largestStrain(const ORISIM_compliant* cs, const double* x) {
  double worst = 0.0;
  for (const ORISIM_bar& b : cs->bars) {
    const V3 d = at(x, b.h) - at(x, b.t);
    worst = std::max(worst, std::fabs(std::sqrt(dot(d, d)) / b.length - 1.0));
  }
  return worst;
}

// Writes the shape kept into the mesh: positions, angles, face frames.
void writeShape(ORISIM_compliant* cs, ORI_manifold* om, ORISIM_matrix* osm) {
  for (size_t v = 0; v < cs->verts.size(); ++v) {
    cs->verts[v]->pos.x = cs->x[3 * v];
    cs->verts[v]->pos.y = cs->x[3 * v + 1];
    cs->verts[v]->pos.z = cs->x[3 * v + 2];
  }
  for (const ORISIM_hinge& hg : cs->hinges) {
    hg.edge->angle = hg.angle;
    hg.edge->pair->angle = hg.angle;
    if (osm != nullptr && hg.edge->crease_index >= 0 &&
        static_cast<size_t>(hg.edge->crease_index) < osm->angle_n.size()) {
      osm->angle_n[hg.edge->crease_index] = hg.angle;
    }
  }
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    oriFaceFitMatrix(static_cast<ORI_face*>(l->data));
  }
}

}  // namespace

// ---- The Newton step ----

namespace {

// The start of Newton's method for the rest angles now set: once two
// equilibria are known and the present move of the rest angles goes on the
// way the last one went (r times it, 0 < r ≤ kMostPredictRatio), the shape
// moved on as far straight from the last one, x + r·(x − x_before); else the
// last equilibrium. The guess stretches the bars a little (its energy is
// higher than the last equilibrium's), but the sheet's soft motion, the
// fold, is most of the way there: Newton's method took about half the
// iterations from it on a folding Miura-ori. Returns whether cs->x moved.
bool predict(ORISIM_compliant* cs) {
  ORISIM_compliantSolver* s = cs->solver;
  if (!s->has_history) return false;
  double along = 0.0, last = 0.0;
  for (size_t h = 0; h < cs->hinges.size(); ++h) {
    const double now = cs->hinges[h].rest - s->rest_now[h], before = s->rest_now[h] - s->rest_history[h];
    along += now * before;
    last += before * before;
  }
  if (!(last > 0.0) || !(along > 0.0)) return false;
  const double r = along / last;
  if (!(r <= kMostPredictRatio)) return false;
  for (size_t i = 0; i < cs->x.size(); ++i) cs->x[i] += r * (cs->x[i] - s->x_history[i]);
  return true;
}

// Newton's method from cs->x towards the equilibrium of the present rest
// angles, each spring's angle taken on the branch nearest ref. Converged
// when a Newton step moves no coordinate by more than the tolerance; on
// convergence cs->x is the equilibrium and angle (s->angle_trial) its
// angles, and *unstable says whether the matrix there was not positive
// definite (a saddle of the energy, not a minimum). Adds the
// factorisations to st. Returns the status.
int newton(ORISIM_compliant* cs, const double* ref, ORISIM_compliantStats* st, double* energy_out, bool* unstable) {
  ORISIM_compliantSolver* s = cs->solver;
  double* angle = s->angle_trial.data();
  *unstable = false;
  if (cs->n_free == 0) {
    *energy_out = energy(cs, cs->x.data(), ref, angle, false);
    return std::isfinite(*energy_out) ? kOriCompliantConverged : kOriCompliantNotFinite;
  }
  for (int it = 0; it < cs->options.max_iterations; ++it) {
    const double E = energy(cs, cs->x.data(), ref, angle, true);
    if (!std::isfinite(E)) return kOriCompliantNotFinite;
    ++st->newton_iterations;
    double slope = 0.0;
    const int shifted = st->shifted;
    if (!newtonDirection(s, &st->shifted, &slope)) return kOriCompliantSingular;
    *unstable = st->shifted != shifted;
    double largest = 0.0;
    for (const double d : s->dir) largest = std::max(largest, std::fabs(d));
    if (!std::isfinite(largest)) return kOriCompliantNotFinite;
    if (largest <= cs->options.tolerance) {
      // Within the tolerance of the equilibrium: take the last small step.
      for (size_t v = 0; v < cs->verts.size(); ++v) {
        const int f = cs->free_index[v];
        if (f < 0) continue;
        for (int i = 0; i < 3; ++i) cs->x[3 * v + i] += s->dir[3 * f + i];
      }
      *energy_out = energy(cs, cs->x.data(), ref, angle, false);
      return std::isfinite(*energy_out) ? kOriCompliantConverged : kOriCompliantNotFinite;
    }
    // The step's rotations (place) and what is left of it beyond their
    // first order (the rotations' own derivative, by central differences).
    turnsAlong(s, cs, cs->x.data());
    double most = 0.0;
    for (const double t : s->turn) most = std::max(most, std::fabs(t));
    std::fill(s->rest_of_dir.begin(), s->rest_of_dir.end(), 0.0);
    // A step that turns no spring by more than kTurnWorth is taken straight
    // only: its rotations stretch the bars by less than rounding matters.
    const bool turning = most > kTurnWorth;
    const double eps = turning ? kTurnDifference / most : 0.0;
    if (eps > 0.0) {
      place(s, cs, cs->x.data(), eps, s->x_placed.data());
      place(s, cs, cs->x.data(), -eps, s->x_trial.data());
    }
    for (size_t v = 0; v < cs->verts.size(); ++v) {
      const int f = cs->free_index[v];
      if (f < 0) continue;
      for (int i = 0; i < 3; ++i) {
        const double first = eps > 0.0 ? (s->x_placed[3 * v + i] - s->x_trial[3 * v + i]) / (2.0 * eps) : 0.0;
        s->rest_of_dir[3 * v + i] = s->dir[3 * f + i] - first;
      }
    }
    // The energy along the Newton step, taken straight and taken as turns:
    // the lower of the two at each length tried. Backtracking from the
    // whole step while it does not lower the energy enough; where the whole
    // step does, longer ones while they lower it further (far from the
    // equilibrium the fold springs' pull makes the energy fall beyond where
    // its quadratic model turns up).
    auto trialAt = [&](double a, std::vector<double>* out) {
      for (size_t v = 0; v < cs->verts.size(); ++v) {
        const int f = cs->free_index[v];
        for (int i = 0; i < 3; ++i) (*out)[3 * v + i] = cs->x[3 * v + i] + (f < 0 ? 0.0 : a * s->dir[3 * f + i]);
      }
      const double straight = energy(cs, out->data(), ref, angle, false);
      if (!turning) return straight;
      place(s, cs, cs->x.data(), a, s->x_placed.data());
      for (size_t i = 0; i < s->x_placed.size(); ++i) s->x_placed[i] += a * s->rest_of_dir[i];
      const double turned = energy(cs, s->x_placed.data(), ref, angle, false);
      if (!(turned < straight)) return straight;
      out->swap(s->x_placed);
      return turned;
    };
    double alpha = 1.0, trial = INFINITY;
    bool taken = false;
    for (int k = 0; k <= kLineSearchHalvings && !taken; ++k, alpha *= 0.5) {
      trial = trialAt(alpha, &s->x_trial);
      taken = trial <= E + kArmijo * alpha * slope + kEnergyRounding * std::fabs(E);
    }
    alpha *= 2.0;
    // Longer steps only where the whole one lowered the energy by more than
    // its quadratic model foretold (−slope/2): where the model holds, as
    // near the equilibrium, a longer step only costs its trials.
    if (taken && alpha == 1.0 && E - trial > kModelExcess * -0.5 * slope) {
      for (int k = 0; k < kLineSearchDoublings; ++k) {
        const double longer = trialAt(2.0 * alpha, &s->x_kick);
        if (!(longer < trial)) break;
        trial = longer;
        alpha *= 2.0;
        s->x_trial.swap(s->x_kick);
      }
    }
    if (!taken) return kOriCompliantLineSearch;
    cs->x.swap(s->x_trial);
  }
  return kOriCompliantBudget;
}

}  // namespace

int oriSimCompliantStep(ORISIM_compliant* cs, ORI_manifold* om, ORISIM_matrix* osm, double step,
                        ORISIM_compliantStats* stats) {
  ORISIM_compliantStats st;
  ORISIM_compliantSolver* s = cs->solver;
  const size_t nh = cs->hinges.size();
  for (size_t h = 0; h < nh; ++h) {
    s->rest_start[h] = s->rest_goal[h] = cs->hinges[h].rest;
    s->angle_start[h] = s->angle_good[h] = cs->hinges[h].angle;
  }
  s->x_start = cs->x;
  s->x_good = cs->x;
  s->had_history = s->has_history;
  s->x_history_start = s->x_history;
  s->rest_history_start = s->rest_history;
  s->angle_history_start = s->angle_history;
  s->rest_now_start = s->rest_now;

  // Where the rest angles end this step: the one with the farthest to go
  // moves by |step|, the others in proportion.
  if (std::isfinite(step) && step != 0.0) {
    double farthest = 0.0;
    for (const ORISIM_hinge& hg : cs->hinges) {
      if (hg.fold) farthest = std::max(farthest, std::fabs((step > 0.0 ? hg.goal : 0.0) - hg.rest));
    }
    if (farthest > 0.0) {
      const double share = std::min(1.0, std::fabs(step) / farthest);
      for (size_t h = 0; h < nh; ++h) {
        const ORISIM_hinge& hg = cs->hinges[h];
        if (hg.fold) s->rest_goal[h] = hg.rest + share * ((step > 0.0 ? hg.goal : 0.0) - hg.rest);
      }
    }
  }

  // The whole move at once, or in pieces of at most kMostRestMove; where
  // Newton's method does not get there, the piece in halves from the last
  // equilibrium reached, down to 1/2^kMostHalvings of it.
  double move = 0.0;
  for (size_t h = 0; h < nh; ++h) move = std::max(move, std::fabs(s->rest_goal[h] - s->rest_start[h]));
  const double first_piece = move > kMostRestMove ? 1.0 / std::ceil(move / kMostRestMove) : 1.0;
  double done = 0.0, piece = first_piece, E = 0.0;
  int status = kOriCompliantConverged;
  while (done < 1.0) {
    const double upto = std::min(1.0, done + piece);
    for (size_t h = 0; h < nh; ++h) cs->hinges[h].rest = s->rest_start[h] + upto * (s->rest_goal[h] - s->rest_start[h]);
    bool unstable = false;
    const bool guessed = predict(cs);
    if (guessed) status = newton(cs, s->angle_good.data(), &st, &E, &unstable);
    if (!guessed || status != kOriCompliantConverged) {
      // A guess from which Newton's method does not converge is dropped:
      // the piece is tried again from the last equilibrium.
      cs->x = s->x_good;
      status = newton(cs, s->angle_good.data(), &st, &E, &unstable);
    }
    // An equilibrium where the energy is not at a minimum (a symmetric
    // shape the fold would leave at the slightest touch): pushed off it by
    // a small kick the same at every run, the iteration finds where the
    // sheet goes; kept when it converges lower.
    for (int kick = 0; kick < kMostKicks && status == kOriCompliantConverged && unstable; ++kick) {
      s->x_trial = cs->x;
      s->angle_kick = s->angle_trial;
      for (size_t v = 0; v < cs->verts.size(); ++v) {
        if (cs->free_index[v] < 0) continue;
        for (int i = 0; i < 3; ++i) {
          unsigned h = static_cast<unsigned>(3 * v + i + 7919 * kick) * 2654435761u;
          h ^= h >> 13;
          cs->x[3 * v + i] += kSaddleKick * ((h % 2001u) / 1000.0 - 1.0);
        }
      }
      double kicked_energy = 0.0;
      const int kicked = newton(cs, s->angle_kick.data(), &st, &kicked_energy, &unstable);
      if (kicked == kOriCompliantConverged && kicked_energy < E) {
        E = kicked_energy;
        ++st.kicks;
      } else {
        cs->x.swap(s->x_trial);
        s->angle_trial.swap(s->angle_kick);
        break;
      }
    }
    if (status == kOriCompliantConverged) {
      done = upto;
      // The equilibrium left behind becomes the predictor's history.
      s->x_history.swap(s->x_good);
      s->angle_history.swap(s->angle_good);
      s->rest_history.swap(s->rest_now);
      s->has_history = true;
      for (size_t h = 0; h < nh; ++h) s->rest_now[h] = cs->hinges[h].rest;
      s->x_good = cs->x;
      s->angle_good = s->angle_trial;
      continue;
    }
    cs->x = s->x_good;
    piece *= 0.5;
    if (piece < first_piece / (1 << kMostHalvings)) break;
    ++st.halvings;
  }

  st.status = status;
  if (status == kOriCompliantConverged) {
    for (size_t h = 0; h < nh; ++h) {
      st.max_delta = std::max(st.max_delta, std::fabs(s->angle_good[h] - s->angle_start[h]));
      cs->hinges[h].angle = s->angle_good[h];
    }
    writeShape(cs, om, osm);
  } else {
    cs->x = s->x_start;
    for (size_t h = 0; h < nh; ++h) {
      cs->hinges[h].rest = s->rest_start[h];
      cs->hinges[h].angle = s->angle_start[h];
    }
    s->has_history = s->had_history;
    s->x_history.swap(s->x_history_start);
    s->rest_history.swap(s->rest_history_start);
    s->angle_history.swap(s->angle_history_start);
    s->rest_now.swap(s->rest_now_start);
    E = energy(cs, cs->x.data(), s->angle_start.data(), s->angle_trial.data(), false);
    ++cs->unconverged;
  }
  st.energy = E;
  st.max_strain = largestStrain(cs, cs->x.data());
  for (const ORISIM_hinge& hg : cs->hinges) {
    if (!hg.fold) st.max_bending = std::max(st.max_bending, std::fabs(hg.angle));
  }
  ++cs->steps;
  cs->last = st;
  if (stats != nullptr) *stats = st;
  return st.status;
}

int oriSimCompliantFoldStep(ORISIM_compliant* cs, ORISIM_matrix* osm, ORI_manifold* om, double step, int* frame_no,
                            const ORI_frameRecorder* rec, double* max_delta, ORISIM_compliantStats* stats) {
  int result = 0;
  if (oriFoldRecords(rec) && *frame_no == 0 && oriFoldRecordFrame(om, rec, 0) != 0) result = -1;
  ORISIM_compliantStats st;
  oriSimCompliantStep(cs, om, osm, step, &st);
  if (max_delta != nullptr) *max_delta = st.max_delta;
  if (stats != nullptr) *stats = st;
  if (oriFoldRecords(rec)) {
    *frame_no += 1;
    if (oriFoldRecordFrame(om, rec, *frame_no) != 0) result = -1;
  }
  return result;
}

// ---- Strain ----

double oriSimBarStrain(const ORI_manifold* om, std::vector<double>* strain) {
  strain->assign(static_cast<size_t>(std::max(om->n_edge, 0)), 0.0);
  double worst = 0.0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->index < 0 || e->index >= om->n_edge || e->pair == nullptr) continue;
    const double flat = std::hypot(e->x1 - e->x0, e->y1 - e->y0);
    if (!(flat > 0.0)) continue;
    const vector3d& p = e->vert->pos;
    const vector3d& q = e->pair->vert->pos;
    const double folded = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z));
    const double value = folded / flat - 1.0;
    (*strain)[e->index] = value;
    if (!(std::fabs(value) <= worst)) worst = std::fabs(value);
  }
  return worst;
}

double oriSimFacetBending(const ORI_manifold* om, std::vector<double>* bending) {
  bending->assign(static_cast<size_t>(std::max(om->n_edge, 0)), 0.0);
  double worst = 0.0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->index < 0 || e->index >= om->n_edge || e->pair == nullptr) continue;
    if (e->on_boundary || e->pair->on_boundary || (!e->is_diagonal && e->target_angle != 0.0)) continue;
    const double value = std::fabs(e->angle);
    (*bending)[e->index] = value;
    if (!(value <= worst)) worst = value;
  }
  return worst;
}
