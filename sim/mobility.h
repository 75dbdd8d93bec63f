// What a pattern can do at its present state: how many independent ways it
// can move (degrees of freedom), how many closure equations the others imply
// (redundant), and the fold modes, an orthonormal basis of the motions that
// keep every inner vertex closed to first order. All of it comes from the
// closure Jacobian C (three rows per inner vertex, a column per fold line)
// the step builds, through its singular values. Also the step that folds
// along a mode.
//
// Which fold lines count. The triangulation's diagonals (is_diagonal) are
// not lines of the pattern: by default they are held at their present angle,
// so that the count is that of the pattern as drawn, its facets rigid (a
// Miura-ori of quads comes out with 1 whether or not the loader cut its
// quads in two). Their columns are left out of C, and the modes hold them
// still (their entries are 0). kOriMobilityDiagonalsHinge counts them as
// hinges instead: the motions of the sheet the solver folds, whose facets
// may bend along their diagonals; a pattern locked as drawn but mobile this
// way folds only because its paper bends. Flat pattern lines (no target) are
// fold lines like any other.
//
// The state analysed. The ordinary step closes the sheet to first order only
// (closure errors of 1e-4 and more), and off the closed configurations an
// over-constrained pattern's redundant equations are not quite dependent:
// C's rank there says more about the step's error than about the pattern.
// So the analysis first closes a copy of the state by exact mode's Newton
// corrections (sim_step.h), analyses C there and gives the record its
// angles back: the counts are those of the closed configuration nearest the
// present one. With the diagonals held, the copy lays them flat first and
// closes it with them held: folding towards the targets bends a
// triangulated sheet's facets along their diagonals (a Miura-ori's creases
// cannot all reach their targets at one rate), and the count is that of the
// pattern as drawn nearest this state. When that correction fails, moves a
// fold line by more than kOriMobilityCloseMove or unfolds the sheet to
// less than kOriMobilityKeptFold of its largest fold (a locked pattern
// closes only flat), the state is analysed as it is (closed = 0).
//
// The flat sheet. When no fold line is folded (every angle within
// kOriMobilityFlatAngle of 0) the out-of-plane rows of C vanish: the count
// is then the infinitesimal one (a single degree-4 vertex has 2 there and 1
// once folded; most first-order motions of a flat sheet do not extend to
// finite ones) and the record says so (flat = 1).
//
// Sections: constants, records, analysis, folding along a mode.
#pragma once

#include <string>
#include <vector>

#include "sim/sparse_jacobian.h"

struct ORI_manifold;
struct ORISIM_matrix;
struct ORISIM_stepStats;
struct ORISIM_mobilityWork;

// ---- Constants -------------------------------------------------------------------

// The numerical rank counts the singular values above this share of the
// largest, σ₁. The Jacobian's entries are the components of unit crease
// directions computed to rounding (1e-16), and the corrected state closes
// within 1e-12, which leaves a dependent direction a singular value of
// 1e-12 or less; a real motion's smallest singular value falls with the fold
// angle and the sheet's size, to 1e-5 or so on a 100 × 100 sheet folded a
// few hundredths of a radian. The threshold sits between the two.
constexpr double kOriMobilityRankTolerance = 1e-8;
// The count is sure when the gap round the threshold is wide: the smallest
// singular value kept at least this factor above it, the largest dropped
// at least this factor below it.
constexpr double kOriMobilityMargin = 100.0;
// Every fold line within this of 0 (radians): the flat sheet.
constexpr double kOriMobilityFlatAngle = 1e-9;
// The closing correction may move a fold line by at most this (radians);
// beyond, the state is analysed as it is. The ordinary step's errors add
// up over a large sheet (the closed state nearest a 100 × 100 Miura-ori of
// quads folded 20 steps lies 0.015 away), and folding towards the targets
// bends the facets of a triangulated sheet along their diagonals: laid
// flat again, a 4 × 4 Miura-ori folded 10 steps closes 0.12 away.
constexpr double kOriMobilityCloseMove = 0.5;
constexpr double kOriMobilityKeptFold = 0.5;
// The dense path (LAPACK's SVD of the whole matrix, every singular value)
// serves matrices of up to this many entries counted as analysed columns ×
// max(rows, columns): a 10 × 10 Miura-ori of quads (180 columns, 243 rows)
// and smaller. Beyond, the sparse path is faster (already at this size) and
// its memory grows with the sheet instead of its square.
constexpr double kOriMobilityDenseEntries = 50000.0;
// The sparse path's subspace iteration keeps at most this many vectors: a
// state with more ways to move than fit (a large flat sheet counted with
// its diagonals as hinges) is refused with its reason.
constexpr int kOriMobilityMaxBlock = 1024;
// Rounds of the subspace iteration before it gives up settling (the count
// is then given as not sure).
constexpr int kOriMobilityMaxRounds = 60;
// Folding along a mode: the wished change is the mode scaled so that its
// largest entry is this share of the step, as the moments are bounded.
constexpr double kOriMobilityModeGain = 0.1;
// A motion being followed ends where less than this share of the last
// step's direction lies in the present state's null space.
constexpr double kOriMobilityModeKept = 0.1;

enum OriMobilityDiagonals {
  kOriMobilityDiagonalsHeld = 0,   // the pattern as drawn: diagonals held still (the default)
  kOriMobilityDiagonalsHinge = 1,  // diagonals are hinges like the fold lines
};

enum OriMobilityPath {
  kOriMobilityPathAuto = 0,    // dense up to kOriMobilityDenseEntries, sparse beyond
  kOriMobilityPathDense = 1,   // LAPACK dgesdd on the whole matrix
  kOriMobilityPathSparse = 2,  // CHOLMOD's factor of CᵀC and a subspace iteration
};

enum OriMobilityStatus {
  kOriMobilityOk = 0,
  kOriMobilityTooManyModes = 1,  // more ways to move than kOriMobilityMaxBlock (counts unknown)
  kOriMobilityFailed = 2,        // a factorisation or the SVD failed (memory, not converged)
};

// ---- Records -----------------------------------------------------------------------

// One analysis. Singular values are of the analysed C (m rows × columns),
// counted over its columns: the square roots of the eigenvalues of CᵀC,
// zeros included where columns outnumber rows.
struct ORISIM_mobility {
  int status = kOriMobilityOk;
  std::string reason;       // one line when status is not Ok
  int m = 0;                // rows: 3 × inner vertices
  int n = 0;                // fold-line variables of the record (modes have this many entries)
  int columns = 0;          // columns analysed: n less the held diagonals
  int rank = 0;             // numerical rank r
  int dof = 0;              // columns − r: independent motions
  int redundant = 0;        // m − r: closure equations implied by the others
  int flat = 0;             // 1: the flat sheet, the counts are infinitesimal
  int closed = 0;           // 1: analysed at the closed state found by the correction (or already closed)
  double closing_move = 0.0;  // the largest change of a fold line analysed that closing took (radians)
  int path = 0;             // kOriMobilityPathDense or Sparse: the path taken
  int diagonals = 0;        // an OriMobilityDiagonals: how the diagonals counted
  double sigma_max = 0.0;   // σ₁ (the sparse path: a power iteration's estimate)
  double tolerance = 0.0;   // kOriMobilityRankTolerance × σ₁
  double sigma_kept = 0.0;  // the smallest singular value counted in the rank (0 when r is 0)
  double sigma_dropped = 0.0;  // the largest one left out (0 when none)
  int sure = 0;             // 1: the gap round the threshold is at least kOriMobilityMargin either way
  std::vector<double> sigma;   // singular values found, ascending: all of them (dense) or the smallest (sparse)
  std::vector<double> modes;   // dof modes of n entries, mode k at [k·n, (k + 1)·n), radians per unit
  std::vector<int> lead;       // per mode, the fold line it leads with (see oriSimMobilityAnalyse)
};

// What a sheet keeps for its analyses: the options, the rows and the
// factorisation's structure (analysed once per mesh), the last analysis
// (reused while the angles stay the same) and the last mode step's direction.
struct ORISIM_mobilityState {
  int diagonals = kOriMobilityDiagonalsHeld;  // an OriMobilityDiagonals
  int path = kOriMobilityPathAuto;            // an OriMobilityPath
  ORISIM_sparse rows;                         // C at the analysed angles, all fold lines
  ORISIM_mobilityWork* work = nullptr;        // owned: column map, CHOLMOD's symbolic factor, buffers
  // The last analysis and the mesh, options and angles it was made for.
  ORISIM_mobility last;
  const ORI_manifold* last_mesh = nullptr;
  int last_diagonals = -1, last_path = -1;
  std::vector<double> last_angles;
  // The direction the last mode step took (n entries, largest 1, before the
  // step's sign) and its mode number; empty before the first.
  std::vector<double> direction;
  int direction_mode = 0;
};

ORISIM_mobilityState* oriSimMobilityNew();
// Frees the state and its factor; null is allowed.
void oriSimMobilityDelete(ORISIM_mobilityState* state);
// Forgets the last analysis, the mode step's direction and the structure:
// for a new mesh (the state also notices one by itself).
void oriSimMobilityReset(ORISIM_mobilityState* state);

// ---- Analysis ----------------------------------------------------------------------

// Analyses the state of om (osm its record, angle_n equal to the
// half-edges') into *out: closes a copy of the state (see above), fills C
// there, finds its singular values (dense: LAPACK's dgesdd on the m ×
// columns matrix; sparse: σ₁ by power iteration, then the smallest by a
// subspace iteration on (CᵀC + μI)⁻¹, μ = 1e-12·σ₁², from CHOLMOD's
// factor, each Ritz value the norm of C times its Ritz vector), counts
// the rank above kOriMobilityRankTolerance·σ₁, and gives the null space
// its canonical basis: mode 1 leads with the fold line that moves most in
// the null space (the largest row of its basis; within a millionth of the
// largest, the lowest index), positive there; mode k leads with the line
// that moves most among the motions that hold the leaders of modes 1 to
// k − 1 still, and is 0 on those lines. The same state therefore gives
// the same modes in the same order, whatever rotation of the null space a
// path found. The record's angles and half-edges are as they were
// afterwards. An analysis of the same mesh, options and angles as the last
// one returns that one. Returns out->status.
// Cost: dense, about 4·m·c² operations (c the columns; a few ms for 300
// columns); sparse, a Newton closure (a few factorisations), one
// factorisation of CᵀC and a few rounds of as many solves as the block's
// vectors (dof + 16 and more): about 0.1 s for a 30 × 30 Miura-ori and 1 s
// for 100 × 100; memory O(columns × block).
int oriSimMobilityAnalyse(ORISIM_mobilityState* state, ORISIM_matrix* osm, ORI_manifold* om, ORISIM_mobility* out);

// ---- Folding along a mode --------------------------------------------------------

// One step of size step (radians) along mode (1 to dof): the state is
// analysed (as above, into *analysis when given), the wished change is a
// direction of its null space scaled so that its largest entry is
// kOriMobilityModeGain·|step|, then it is projected, limited and applied as
// the ordinary step does (oriSimUpdateStateWish). The direction: on the
// first step for this mode, the mode itself, its leader moving towards its
// target (up when it has none); on later ones, the last step's direction
// projected onto the present state's null space, so that the fold follows
// the motion it started on (through states where the modes' order or
// number changes, as from a flat vertex's two first-order modes to its one
// folded motion). A negative step goes the other way. The motion followed
// is the state's direction: clearing it (a caller's ordinary step, a
// flattened sheet) makes the next step start from the mode again. Returns
// the largest angle change; or, with nothing changed and the reason in
// *reason (when given), -2 when the mode does not exist at the first step
// ("mode K does not exist: the state has D modes"), -1 when the analysis
// failed or the motion ends (no mode left, or less than
// kOriMobilityModeKept of the last direction lies in the null space).
// Cost: one analysis and one step.
double oriSimMobilityStep(ORISIM_mobilityState* state, ORISIM_matrix* osm, ORI_manifold* om, double step, int mode,
                          ORISIM_stepStats* stats, ORISIM_mobility* analysis, std::string* reason);
