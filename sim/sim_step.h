// The constrained fold step: wished crease motions (moments), projected onto
// the motions that keep every inner vertex closed, limited to the step size.
#pragma once

#include <vector>

struct ORI_manifold;
struct ORISIM_matrix;
struct ORISIM_sparse;

// What one step found, for progress reports and benchmarks.
struct ORISIM_stepStats {
  double residual_before;  // closure residual Σ|g| before the step
  int cg_iterations;       // conjugate-gradient iterations of the projection
  double cg_error;         // ‖b‖₂ / √m of the last CG residual (0 without constraints)
  // Exact mode (the record's exact set); all 0 without it.
  int newton_iterations;   // corrections applied after the ordinary step
  int newton_cg_iterations;  // conjugate-gradient iterations they took in all
  int exact_kept;          // 1 when the correction failed and the ordinary result was kept
  long exact_unconverged;  // the record's count of such steps so far
  int exact_substeps;      // substeps the step was taken in, those given up included
  int exact_halved;        // times a substep was given up and taken again at half its size
  long exact_halvings;     // the record's count of such halvings so far
  int exact_factorisations;  // numeric factorisations of the corrections' system
};

// Exact mode: after the ordinary step, corrections on the closure equations
// alone until every inner vertex closes within this (radians of its closure
// error, oriSimVertexClosure: a point a paper's size away misses by this
// fraction of the paper), or kOriSimExactIterations fresh corrections (each
// with the system factorised again) have been taken in one substep.
constexpr double kOriSimExactClosure = 1e-12;
constexpr int kOriSimExactIterations = 8;

// One step of size step (radians; positive folds towards the targets,
// negative unfolds). Computes the moments, the Jacobian from the current
// half-edge angles (into C_mn or C_sparse, by the record's path), projects,
// scales the change so that no crease moves by more than |step|, and writes
// the new angles into angle_n and the half-edges; the caller places the
// faces afterwards. Returns the largest
// absolute angle change applied. A step that is not a finite number, or a
// pattern without fold lines (n = 0), changes nothing and returns 0; a
// projection that came out non-finite is dropped (angles kept, result 0).
// Cost: dominated by the projection (see below).
double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step);

// The step above, also filling stats (may be null). When the record's
// exact is set (and the sheet has inner vertices), the step is a predictor
// and a corrector: the ordinary step predicts, and corrections on the closure
// equations alone bring every vertex within kOriSimExactClosure. Each
// correction solves (C·Cᵀ + λ·I)·x = g (g the closure residual of the present
// angles) by the conjugate gradient preconditioned by the record's kept
// factorisation of that system (sim/sparse_factor), and moves the angles by
// −Cᵀ·x, C the Jacobian at the angles the factor was made at: a chord
// correction. When a chord does not shrink the largest closure error
// tenfold, the next correction makes C and the factor afresh at the present
// angles (λ = 0.0001 × the largest closure error, within [1e-14, 0.0001]; the
// factor at no more than 1e-10 where the system allows), a Newton
// correction. A substep whose corrections do not close within
// kOriSimExactIterations fresh ones, stop halving the error, come out
// non-finite, or turn a crease that agreed in sign with its target against
// it (a jump to another branch; creases within a hundredth of the largest
// fold, or a microradian, of flat are not asked) is undone and taken again at
// half its size, down to a 64th of the step; after a substep that closed
// within two fresh corrections the next is twice as long again, and the
// record keeps the size for the next step (exact_level). Where even a 64th
// does not close, the rest of the step is taken as an ordinary step and
// exact_kept and the record's exact_unconverged say so; exact_halved and
// the record's exact_halvings count the halvings. An unfolding step (step <
// 0) from angles all within 1e-7 of flat lands on the flat sheet. The
// result is then the largest absolute change of an angle over the step.
// Cost: the predictor, about one numeric factorisation (O(V^1.5) for V inner
// vertices, analysed once per record) and a few triangular solves and
// closure walks per step on a folding Miura-ori; the sheet's softest modes,
// whose eigenvalues of C·Cᵀ fall as the fourth power of its side, carry most
// of each correction and move too fast with the fold for a factor a step old
// to serve alone.
double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats);

// The two ends of oriSimUpdateStateCG, for a solver that finds the change
// its own way between them (contact, sim/contact.h); the step above is
// begin, its projection into delta_angle_n, then apply.
// Begin: the moments of a step of size step into moment_angle_n and the
// Jacobian of the present angles (into C_sparse with its residual, or C_mn,
// by the record's path). n > 0 and a finite step are the caller's to check.
void oriSimStepBegin(ORISIM_matrix* osm, ORI_manifold* om, double step);
// Apply: delta_angle_n (n entries) scaled so that no crease moves by more
// than |step|, added to angle_n and written into the half-edges; when the
// record's exact is set, then corrected to closure in one go (no halved
// substeps: the caller chose the change), the change kept as found where
// the corrections fail (exact_kept), filling those fields of stats (may be
// null). A change that is not finite is dropped (zeroed,
// the iteration's start forgotten, 0 returned). Returns the largest
// absolute change applied. The faces are not placed.
double oriSimStepApply(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats);

// The step of oriSimUpdateStateCG with the wished change given instead of
// the moments: wish (one entry per fold line, radians) is projected as the
// moments are, then limited to |step| and applied, exact mode included.
// Nothing changes (result 0) when step is not finite, n is 0, or wish is
// not n finite numbers. Cost: the step's, the moments excepted.
double oriSimUpdateStateWish(ORISIM_matrix* osm, ORI_manifold* om, double step, const std::vector<double>& wish,
                             ORISIM_stepStats* stats);

// Exact mode's correction on its own: Newton corrections on the closure
// equations alone (as oriSimUpdateStateCG describes them, J holding the
// rows they are solved with; the fold lines c with (*held)[c] non-zero
// stay still when held is given), written into angle_n and the half-edges, until
// every vertex closes within kOriSimExactClosure or kOriSimExactIterations
// have been taken. Returns 1 when closed, 0 when not within the budget, -1
// when the closure error is not finite; the angles are left where the last
// correction put them (the caller keeps or restores them). *iterations and
// *cg_iterations receive the corrections and their conjugate-gradient
// rounds. Nothing is done (1) without rows or fold lines.
int oriSimNewtonClose(ORISIM_matrix* osm, ORI_manifold* om, ORISIM_sparse* J, const std::vector<unsigned char>* held,
                      int* iterations, int* cg_iterations);

// Sets how far the fold goes: every crease heads for its target times share
// (0 to 1; clamped; NaN changes nothing), so that steps folding forwards stop
// there; unfolding still heads for flat. A new manifold folds whole targets
// (1). The window's fold amount and plicata-fold --fold-to set it.
void oriSimSetFoldTo(ORI_manifold* om, double share);

// Fills moment_angle_n (one entry per fold line) with each crease's wished
// change for a step of size step, then scales the whole array so that its
// largest entry is at most s = 0.1·|step|. A fold line (target up to
// ±(π − 0.01), scaled by om->fold_to) moves towards its target (step > 0) or
// towards flat (step < 0) with gain s;
// one that passed its target is pulled back with gain 30·(s + 1); one folded
// the wrong way gets the manifold's moment_factor (0: no wish). Flat pattern
// lines are left untouched; tessellation diagonals get a barrier that keeps
// them inside the limits their neighbours allow (0 for a step of 0).
// Returns 0.
int oriSimUpdateMomentAngle(std::vector<double>& moment_angle_n, const ORI_manifold* om, double step);

// delta = moment − Cᵀ·x with (C·Cᵀ + 0.0001·I)·x = C·moment + g, g the
// closure residual: the smallest change of the wish that keeps the vertices
// closed to first order and removes the present closure error. Without
// constraints (m = 0) delta = moment and the result is 0. Returns the
// residual sum Σ|g| before the step; the residual is also left in the
// record's residual_m.
double oriSimDeltaAnglePinvConstraintsCG(std::vector<double>& delta_angle_n, std::vector<double> moment_angle_n,
                                         ORISIM_matrix* osm, const ORI_manifold* om);

// The projection above, also reporting the CG iterations and final error
// (either may be null). The iteration stops after min(m, 512) iterations or
// when ‖b‖₂ / √m < 0.00005 (b = r − A·x); a zero right-hand side gives x = 0
// (delta = moment). The record's cg decides where it starts and how it is
// helped: kOriSimCGPlain from x = 0 without a preconditioner (the
// reference); kOriSimCGFast from the last projection's x (cg_start, which
// it then replaces) with each inner vertex's 3 × 3 block of A as
// preconditioner, a third to a tenth of the iterations on a folding sheet.
// The record's path decides how A is applied: the dense path
// builds the system with one m×m×n product and costs m² per iteration, with
// m² + 6m doubles allocated per call; the sparse path applies the system as
// C·(Cᵀ·p) + 0.0001·p on the rows of nonzeros of C_sparse (filled from the
// same angles), costing one pass over the creases and one over the vectors
// per iteration and about 11m doubles (sim/sparse_cg). Both give the same x
// up to rounding.
double oriSimDeltaAnglePinvConstraintsCG(std::vector<double>& delta_angle_n, std::vector<double> moment_angle_n,
                                         ORISIM_matrix* osm, const ORI_manifold* om, int* iterations,
                                         double* cg_error);

// Writes angle[crease_index] into every half-edge (0 on the boundary).
// Returns 0.
int oriSimUpdateCrease(ORI_manifold* om, const std::vector<double>& angle);

// Flattens the sheet: all angles 0, the fixed face at the identity, faces
// placed, residual and the iteration's start cleared. Returns 0.
int oriSimClearCrease(ORI_manifold* om, ORISIM_matrix* osm);

// Holds the linear-algebra library at one thread and stops the helper
// threads it started when it was loaded, for the whole process; the dense
// projection gives the count back the first time it forms a system too
// large for one thread. A program calls it once, before folding; later
// calls do nothing. Costs a thread join. A helper thread still trying to
// take its working memory (under an address-space limit) is waited for:
// where that can happen, start the library on one thread instead (its
// setting, OPENBLAS_NUM_THREADS=1, before it is loaded) and say so with
// oriSimBlasThreadsHeldFromStart.
void oriSimHoldBlasThreads();

// The library was started on one thread by the program's choice; the dense
// projection raises it to count (the cores it would have used) the first
// time it forms a system too large for one thread. count <= 1: nothing.
void oriSimBlasThreadsHeldFromStart(int count);
