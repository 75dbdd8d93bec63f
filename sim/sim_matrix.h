// The simulation record of one loaded pattern: the numbering of fold-line
// variables (one per inner crease line) and closure equations (three per
// inner vertex), the constraint Jacobian and the closure residual.
#pragma once

#include <vector>

struct ORI_manifold;

struct ORISIM_matrix {
  int n;                              // fold-line variables: inner crease lines
  int m;                              // constraint rows: 3 × inner vertices
  std::vector<double> C_mn;           // Jacobian, m × n row-major (entry r·n + c); empty when m is 0
  std::vector<double> residual_m;     // m closure residual entries
  std::vector<double> angle_n;        // current fold angle of each fold line, radians
  std::vector<double> next_angle_n;   // angles after the step being applied
  std::vector<double> moment_angle_n; // wished, unconstrained change of this step
  std::vector<double> delta_angle_n;  // constrained change of this step
};

// Creates the record for om: numbers inner vertices (sim_index) and inner
// lines (crease_index, both halves), sets sim_active on every half-edge,
// prints "\nnum_fold_line:%04d  num_inside_vert:%04d\n" and sizes the arrays
// with zeros.
ORISIM_matrix* oriSimNew(ORI_manifold* om);

// Copies the half-edge angles into angle_n and computes the Jacobian.
// Returns 0.
int oriSimInitMatrix(ORISIM_matrix* osm, ORI_manifold* om);

// Frees the record; null is allowed. Returns 0.
int oriSimDelete(ORISIM_matrix* osm);

// Recomputes the Jacobian C_mn from the current half-edge angles: column c
// of the three rows of an inner vertex is the closure product round the
// vertex with crease c's factor replaced by its derivative. Entries of
// creases that do not meet a vertex are left as they are (zero). Returns -1
// when osm->m is 0 (nothing touched), else 0. Cost: K products of K 3×3
// factors per vertex of degree K.
int oriSimUpdateConstraints(std::vector<double>& C_mn, const ORISIM_matrix* osm, const ORI_manifold* om);

// Evaluates the closure residual of every inner vertex into residual_m (at
// least m entries): entries (2,1), (0,2), (1,0) of the product of the corner
// rotations round the vertex, zero when the sheet closes there. Returns the
// sum of their absolute values (0 when m is 0).
double oriSimUpdateResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om);
