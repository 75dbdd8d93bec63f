// The constrained fold step: wished crease motions (moments), projected onto
// the motions that keep every inner vertex closed, limited to the step size.
#pragma once

#include <vector>

struct ORI_manifold;
struct ORISIM_matrix;

// One step of size step (radians; positive folds towards the targets,
// negative unfolds). Writes the new angles into the half-edges; the caller
// places the faces afterwards. Returns the largest absolute angle change.
double oriSimUpdateStateCG(ORISIM_matrix* osm, ORI_manifold* om, double step);

// Fills moment_angle_n with each crease's wished change. Returns 0.
int oriSimUpdateMomentAngle(std::vector<double>& moment_angle_n, const ORI_manifold* om, double step);

// delta = moment − Cᵀ·x with (C·Cᵀ + 0.0001·I)·x = C·moment + residual.
// Returns the residual sum before the step.
double oriSimDeltaAnglePinvConstraintsCG(std::vector<double>& delta_angle_n, std::vector<double> moment_angle_n,
                                         ORISIM_matrix* osm, const ORI_manifold* om);

// Writes angle[crease_index] into every half-edge (0 on the boundary).
// Returns 0.
int oriSimUpdateCrease(ORI_manifold* om, const std::vector<double>& angle);

// Flattens the sheet: all angles 0, the fixed face at the identity, faces
// placed, residual cleared. Returns 0.
int oriSimClearCrease(ORI_manifold* om, ORISIM_matrix* osm);
