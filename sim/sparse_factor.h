// The projection's system C·Cᵀ + eps·I factorised (a sparse Cholesky
// factorisation, CHOLMOD), for the conjugate gradient to use as its
// preconditioner where the system is too ill-conditioned for the block one:
// exact mode's corrections, whose shift falls towards zero with the closure
// error, and on a large sheet leave modes of C·Cᵀ near 1e-8 to resolve.
// With the factor of the very system, the iteration converges in one or
// two rounds, whatever the conditioning.
#pragma once

struct ORISIM_sparse;
struct ORISIM_factor;

// Assembles A = C·Cᵀ + eps·I from J's rows (each crease couples the rows of
// the vertices it meets) and factorises it. Null when J has no rows, eps is
// not positive, memory runs out or A is not positive definite to rounding.
// Cost: for a sheet of V inner vertices, O(V^1.5) operations and O(V log V)
// memory (the factor of a mesh-like system under a fill-reducing order):
// about 0.1 s for 30 000 rows.
ORISIM_factor* oriSimFactorNew(const ORISIM_sparse& J, double eps);

// z = A⁻¹·b, b and z of m entries (they may not overlap). Cost: two
// triangular solves with the factor.
void oriSimFactorSolve(ORISIM_factor* factor, const double* b, double* z);

// Frees the factor; null is allowed.
void oriSimFactorDelete(ORISIM_factor* factor);
