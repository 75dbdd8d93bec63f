// The constraint Jacobian kept by rows of nonzeros, for patterns too large
// for the dense m × n array: each inner vertex's three rows touch only the
// creases round that vertex, so a sheet of n creases holds about 6·n
// nonzeros instead of m·n entries. Also the closure residual evaluated the
// same way, and the two products the projection needs.
#pragma once

#include <cstddef>
#include <vector>

struct ORI_manifold;
struct ORI_edge;
struct ORISIM_matrix;

// Rows of nonzeros, three at a time: inner vertex s owns rows 3s, 3s + 1
// and 3s + 2, which touch the same columns (its creases, in the order of its
// cycle). Its entries are col[k] with the values val[3k], val[3k + 1],
// val[3k + 2] of its three rows, for k from vert_start[s] to
// vert_start[s + 1] − 1. A crease that no inner vertex meets has no entry.
//
// A crease meets at most two inner vertices, so column c of Jᵀ·p is
// assembled from the two entries of c alone. The projection's product
// J·(Jᵀ·p) therefore runs over the creases once, grouped by the
// lower-numbered of their inner vertices (the owner): crease k of owner s,
// for k from owner_start[s] to owner_start[s + 1] − 1, holds in
// pair_val[8k..8k + 7] the owner's three values, a zero, the other vertex's
// three values and a zero (four to a vertex, so that a vertex's rows fill
// one vector register); other[k] is that other vertex, or m / 3 (a slot
// that holds nothing) when the crease meets only its owner. Every other
// vertex comes later in row order than the owner, so an owner's rows are
// whole once its own creases are done.
struct ORISIM_sparse {
  int m = 0;                    // rows: 3 × inner vertices
  int n = 0;                    // columns: fold lines
  std::vector<int> vert_start;  // m / 3 + 1 offsets into col
  std::vector<int> col;         // column of each entry
  std::vector<double> val;      // three values per entry, one per row of the vertex
  std::vector<int> owner_start; // m / 3 + 1 offsets into other: the creases each vertex owns
  std::vector<int> other;       // per owned crease: the other vertex, m / 3 when none
  std::vector<double> pair_val; // per owned crease: eight values, the owner's rows then the other's, each padded
  std::vector<int> pair_col;    // per owned crease: its column
  bool paired = false;          // every crease has at most two entries, so the grouping is whole
  std::vector<double> residual; // m closure residual entries of the angles the values came from

  // The walk the values are refilled along, made from the half-edge links
  // of plan_mesh (then holding plan_edges half-edges) at the first fill:
  // vertex s's corners are plan_start[s] to plan_start[s + 1] − 1, each its
  // outgoing half-edge, the cosine and sine of its flat corner, the entry it
  // writes (−1: none) and whether it takes part (its sim_active, which
  // nothing changes after the record is made). pair_slot[k] is where entry
  // k's values go in pair_val (−1 when not paired).
  const ORI_manifold* plan_mesh = nullptr;
  int plan_edges = -1;
  std::vector<int> plan_start;
  std::vector<const ORI_edge*> plan_edge;
  std::vector<double> plan_corner;  // cos α, sin α per corner
  std::vector<int> plan_entry;
  std::vector<unsigned char> plan_active;
  std::vector<int> pair_slot;
};

// Nonzeros held (three per entry).
size_t oriSimSparseCount(const ORISIM_sparse& J);

// Refills J from the record's angles angle_n (which oriSimInitMatrix and
// every step keep equal to the half-edges') with the numbering of osm
// (sim_index, crease_index): the entry of crease c in the rows of vertex s
// is entry (2,1), (0,2), (1,0) of the closure product round s with c's
// corner factor replaced by its derivative, the values the dense Jacobian
// holds. The closure residual of the same angles comes with it (residual, as
// oriSimSparseResidual computes it). The structure (which creases, in which
// order, how they pair) is walked from the half-edge links at the first call
// for a mesh and kept in J; later calls for the same mesh with as many
// half-edges only refill the values. A mesh whose links change while J
// lives needs a fresh J (a new record makes one). A vertex whose cycle
// cannot be walked has empty rows, as its dense rows stay zero.
// Cost: a refill is one sine and cosine per fold line and about 60
// operations per corner (each factor X(θ)·Z(α) applied as two plane
// rotations, the derivative as the product of the prefix and suffix on
// either side of it), no m × n storage; the first call also walks every
// cycle.
// Returns -1 when osm->m is 0 (J emptied), else 0.
int oriSimSparseUpdate(ORISIM_sparse* J, const ORISIM_matrix* osm, const ORI_manifold* om);

// Sets the entries of the columns c with held[c] non-zero to 0 (in val and
// in pair_val), so that products and solves with J leave those fold lines
// still; held has at least J.n entries. The residual is left as it is.
void oriSimSparseHoldColumns(ORISIM_sparse* J, const std::vector<unsigned char>& held);

// The closure residual of every inner vertex into residual_m (resized to at
// least m), as oriSimUpdateResidual computes it, with the corner products
// multiplied inline. Returns the sum of the absolute values of the m entries
// (0 when m is 0).
double oriSimSparseResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om);

// The closure error of every inner vertex: the Euclidean size of its three
// rows of the closure residual (radians, to first order: the angle by which
// the corner rotations round the vertex fail to return to the identity).
// error_per_vertex receives m / 3 entries, entry s for the inner vertex
// whose sim_index is s. Returns the largest entry (0 when m is 0); *worst
// (may be null) receives its sim index, -1 when m is 0. O(creases), the
// walk of oriSimSparseResidual.
double oriSimVertexClosure(std::vector<double>& error_per_vertex, const ORISIM_matrix* osm, const ORI_manifold* om,
                           int* worst);

// y = alpha·J·x + beta·y: x has n entries, y m. beta 0 ignores what y held.
// Rows are shared among the calling thread's helpers (sim/parallel_chunks),
// each summed as on one thread.
void oriSimSparseMultiply(const ORISIM_sparse& J, double alpha, const double* x, double beta, double* y);

// x = alpha·Jᵀ·y + beta·x: y has m entries, x n. beta 0 ignores what x held.
// Each column sums its entries in row order; on a paired J the columns are
// formed by owned crease and shared among the calling thread's helpers,
// with the same result.
void oriSimSparseMultiplyTransposed(const ORISIM_sparse& J, double alpha, const double* y, double beta, double* x);

// q = (J·Jᵀ + eps·I)·p without forming J·Jᵀ: w = Jᵀ·p (n entries) then
// q = J·w + eps·p, two passes over the entries. Returns p·q, summed in row
// order. The projection's own product (sim/sparse_cg) runs over the owned
// creases instead; this one serves rows that are not paired and checks.
double oriSimSparseNormalProduct(const ORISIM_sparse& J, double eps, const double* p, double* w, double* q);

// The entry of row r and column c (0 where the row holds no such column).
// warning: O(entries of the row).
double oriSimSparseAt(const ORISIM_sparse& J, int r, int c);
