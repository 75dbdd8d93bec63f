// The constrained fold step: wished crease motions (moments), projected onto
// the motions that keep every inner vertex closed, limited to the step size.
#pragma once

#include <vector>

struct ORI_manifold;
struct ORISIM_matrix;

// What one step found, for progress reports and benchmarks.
struct ORISIM_stepStats {
  double residual_before;  // closure residual Σ|g| before the step
  int cg_iterations;       // conjugate-gradient iterations of the projection
  double cg_error;         // ‖b‖₂ / √m of the last CG residual (0 without constraints)
};

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

// The step above, also filling stats (may be null).
double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats);

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
// (either may be null). The iteration starts from x = 0 and stops after
// min(m, 512) iterations or when ‖b‖₂ / √m < 0.00005; a zero right-hand side
// gives x = 0 (delta = moment). The record's path decides how: the dense path
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
// placed, residual cleared. Returns 0.
int oriSimClearCrease(ORI_manifold* om, ORISIM_matrix* osm);
