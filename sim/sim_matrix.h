// The simulation record of one loaded pattern: the numbering of fold-line
// variables (one per inner crease line) and closure equations (three per
// inner vertex), the constraint Jacobian and the closure residual.
#pragma once

#include <memory>
#include <vector>

#include "sim/kinematics.h"
#include "sim/sparse_factor.h"
#include "sim/sparse_jacobian.h"

struct ORI_manifold;
struct ORI_vert;
struct ORI_edge;

// Where a record keeps its Jacobian and how the step projects. The sparse
// path holds the rows of nonzeros and applies C·Cᵀ as two products, never
// allocating m × n or m × m; it is the default at every size (on a small
// sheet it is also the faster, and it does not wait on the library's
// threads when the processor is busy). The dense path holds the m × n
// array C_mn and solves with the m × m matrix C·Cᵀ formed: the reference
// the sparse path is checked against. Both fold the same way, up to
// rounding.
enum OriSimPath {
  kOriSimPathAuto = 0,    // the default: sparse
  kOriSimPathDense = 1,
  kOriSimPathSparse = 2,
};

// How a record's projection runs its conjugate gradient. Both stop on the
// same test and give the same fold within what that test allows.
enum OriSimCG {
  kOriSimCGFast = 0,   // each vertex's 3 × 3 block as preconditioner, from the last step's answer (the default)
  kOriSimCGPlain = 1,  // no preconditioner, from zero: the reference
};

struct ORISIM_matrix {
  int n;                              // fold-line variables: inner crease lines
  int m;                              // constraint rows: 3 × inner vertices
  std::vector<double> C_mn;           // Jacobian, m × n row-major (entry r·n + c); empty when m is 0
  std::vector<double> residual_m;     // m closure residual entries
  std::vector<double> angle_n;        // current fold angle of each fold line, radians
  std::vector<double> next_angle_n;   // angles after the step being applied
  std::vector<double> moment_angle_n; // wished, unconstrained change of this step
  std::vector<double> delta_angle_n;  // constrained change of this step
  int path;                           // kOriSimPathDense or kOriSimPathSparse, never Auto
  ORISIM_sparse C_sparse;             // the Jacobian by rows of nonzeros (sparse path; else empty)
  std::vector<ORI_edge*> crease_edge; // per fold line, one of its half-edges (the later in the list)
  std::vector<ORI_edge*> free_edge;   // the half-edges of no fold line (the outline), always flat
  ORI_placement placement;            // the order the fold step places the faces in (oriManifoldUpdatePlanned)
  int cg;                             // kOriSimCGFast or kOriSimCGPlain
  int exact;                          // 1: every step closes the sheet to rounding (exact mode); 0 by default
  long exact_unconverged;             // steps whose exact correction failed (they kept the ordinary result)
  long exact_halvings;                // exact mode: substeps halved because their correction failed in its budget
  int exact_level;                    // exact mode: its substeps are the step over 2^exact_level (0: whole steps)
  ORISIM_sparse exact_rows;           // exact mode: the Jacobian at the angles exact_factor was made at
  std::unique_ptr<ORISIM_factor, OriSimFactorFree> exact_factor;  // exact mode: its factorised system, kept
  std::vector<double> cg_start;       // the last projection's answer x (m entries), the next one's start; empty: zero
};

// The path that records made from now on by the calling thread take
// (kOriSimPathAuto at start): plicata-fold's --dense and --sparse set it.
// Each thread keeps its own, so sheets folded in other threads are not moved.
// Values other than the three above count as Auto.
void oriSimSetPathRequest(int path);
int oriSimPathRequest();

// The conjugate gradient that records made from now on by the calling
// thread run (kOriSimCGFast at start): plicata-fold's --cg sets it. Values
// other than the two above count as Fast.
void oriSimSetCGRequest(int cg);
int oriSimCGRequest();

// The path a record of m rows and n columns takes when requested is asked
// for: Dense or Sparse as asked; Auto (or anything else) sparse, whatever
// the size.
int oriSimChoosePath(int requested, int m, int n);

// Creates the record for om: numbers inner vertices (sim_index) and inner
// lines (crease_index, both halves), sets sim_active on every half-edge,
// prints "\nnum_fold_line:%04d  num_inside_vert:%04d\n" and sizes the arrays
// with zeros. The path follows oriSimPathRequest(), the iteration
// oriSimCGRequest(); on the sparse path C_mn
// stays empty and the Jacobian is filled into C_sparse by oriSimInitMatrix.
// A dense Jacobian that does not fit in memory gives the sparse path, with
// "\tno memory for the dense %d x %d Jacobian: using its nonzeros\n".
ORISIM_matrix* oriSimNew(ORI_manifold* om);

// Copies the half-edge angles into angle_n and computes the Jacobian (into
// C_mn or C_sparse, by the record's path). Returns 0.
int oriSimInitMatrix(ORISIM_matrix* osm, ORI_manifold* om);

// Moves an existing record to another path (Auto chooses by size): the
// storage of the old path is released, that of the new one made and filled
// from om's current angles. Returns 0, or -1 when the dense Jacobian does
// not fit in memory (the record is then left on the sparse path).
int oriSimSelectPath(ORISIM_matrix* osm, const ORI_manifold* om, int path);

// Address of the record's Jacobian storage (C_mn's or C_sparse's values),
// null when there is none; for the loader's report.
const void* oriSimJacobianData(const ORISIM_matrix* osm);

// Frees the record; null is allowed. Returns 0.
int oriSimDelete(ORISIM_matrix* osm);

// Recomputes the dense Jacobian C_mn (any m × n array; the record's own on
// the dense path) from the current half-edge angles: column c of the three
// rows of an inner vertex is the closure product round the vertex with
// crease c's factor replaced by its derivative. Entries of creases that do
// not meet a vertex are left as they are (zero), and so are the rows of a
// vertex numbered beyond m. Returns -1 when osm->m is 0 (nothing touched),
// else 0. Cost: K products of K 3×3 factors per vertex of degree K, and an
// m × n array: for large patterns see oriSimSparseUpdate.
int oriSimUpdateConstraints(std::vector<double>& C_mn, const ORISIM_matrix* osm, const ORI_manifold* om);

// Evaluates the closure residual of every inner vertex into residual_m (at
// least m entries): entries (2,1), (0,2), (1,0) of the product of the corner
// rotations round the vertex, zero when the sheet closes there. Returns the
// sum of their absolute values (0 when m is 0).
double oriSimUpdateResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om);

// The walk both residuals share: for every inner vertex numbered below m,
// product(cycle, P) forms the closure product of its cycle of outgoing
// half-edges, and its entries (2,1), (0,2), (1,0) go to the vertex's rows of
// residual_m (resized to at least m). Nothing is done when m is 0.
void oriSimFillResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om,
                        void (*product)(const std::vector<const ORI_edge*>& cycle, double P[9]));

// The outgoing half-edges of inner vertex v, counter-clockwise from out[0]
// (e → e.prev.pair), diagonals included: the order of the closure product.
// Comes back empty when the loop is broken or longer than n_edge.
void oriSimVertexCycle(const ORI_vert* v, int n_edge, std::vector<const ORI_edge*>* cycle);

// The corner factor R = X(θ)·Z(α) of outgoing half-edge e (θ its angle, α the
// flat corner of its face at its tail) and its derivative dR/dθ; row-major
// 3 × 3.
void oriSimCornerFactor(const ORI_edge* e, double R[9]);
void oriSimCornerDerivative(const ORI_edge* e, double D[9]);
// Both at once, from one cosine and sine of the angle; the same values.
void oriSimCornerFactors(const ORI_edge* e, double R[9], double D[9]);
