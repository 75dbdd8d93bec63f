// The projection's system C·Cᵀ + eps·I factorised (a sparse Cholesky
// factorisation, CHOLMOD), for the conjugate gradient to use as its
// preconditioner where the system is too ill-conditioned for the block one:
// exact mode's corrections, whose shift falls towards zero with the closure
// error, and on a large sheet leave modes of C·Cᵀ near 1e-8 to resolve.
// With the factor of the very system, the iteration converges in one or
// two rounds, whatever the conditioning; with the factor of a nearby state
// (the sheet a little further along its fold) in a few more.
//
// The pattern of C·Cᵀ follows from which creases meet which vertices, which
// never changes while a record lives: the analysis (the fill-reducing order,
// the supernodes) is made once, and each refill only forms the numbers and
// factorises them.
#pragma once

struct ORISIM_sparse;
struct ORISIM_factor;

// Analyses the pattern of A = C·Cᵀ + eps·I from J's entries (each crease
// couples the rows of the vertices it meets) and makes the refill's plan; no
// numbers yet (oriSimFactorRefill). The order is nested dissection (METIS),
// which suits a sheet's mesh, or CHOLMOD's default where that fails. Null
// when J has no rows or memory runs out. Cost: the ordering of the sheet's
// vertex graph, about half a factorisation; memory about 4 ints per product
// of two entries of a crease besides the factor, O(V log V) for a sheet of V
// inner vertices.
ORISIM_factor* oriSimFactorAnalyse(const ORISIM_sparse& J);

// Forms A = J·Jᵀ + eps·I from J's present values and factorises it on the
// kept analysis. Returns 0, or -1 when eps is not positive, J's entries are
// not those the analysis was made for, or A is not positive definite to
// rounding; the factor then solves nothing (oriSimFactorSound is false)
// until a refill succeeds. Cost: O(V^1.5) operations on one thread, the
// numeric factorisation alone (about 4e8 operations for 30 000 rows),
// without the ordering, which costs about half as much again.
int oriSimFactorRefill(ORISIM_factor* factor, const ORISIM_sparse& J, double eps);

// Analysis and refill at once. Null when either fails.
ORISIM_factor* oriSimFactorNew(const ORISIM_sparse& J, double eps);

// Whether the factor holds a sound factorisation to solve with (false for
// null).
bool oriSimFactorSound(const ORISIM_factor* factor);

// The shift eps of the last refill (0 for null).
double oriSimFactorShift(const ORISIM_factor* factor);

// Whether J has the entries the factor's analysis was made for (false for
// null): a refill with other rows fails.
bool oriSimFactorSameShape(const ORISIM_factor* factor, const ORISIM_sparse& J);

// z = A⁻¹·b, b and z of m entries (they may not overlap), A the system of
// the last refill; z = b when there is no sound factorisation. Cost: two
// triangular solves with the factor.
void oriSimFactorSolve(ORISIM_factor* factor, const double* b, double* z);

// Frees the factor; null is allowed.
void oriSimFactorDelete(ORISIM_factor* factor);

// The deleter of a factor held by std::unique_ptr.
struct OriSimFactorFree {
  void operator()(ORISIM_factor* factor) const { oriSimFactorDelete(factor); }
};
