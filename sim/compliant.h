// Compliant folding: the sheet as a bar-and-hinge structure, folded
// quasi-statically.
//
// The model, as structural-origami analyses build it: a bar along every
// line of the triangulated sheet (outline, fold lines and diagonals), a
// rotational spring on every inner line between its two triangles. The
// springs of fold lines are the folds: their rest angle moves towards the
// line's target step by step, so that the sheet folds. The springs of
// diagonals (and of flat pattern lines) are the facets: rest angle 0, much
// stiffer, so that a facet bends only where the pattern leaves it no other
// way. Bars are stiffer still: the paper stretches a very little.
//
// A step moves the fold springs' rest angles, then finds the sheet's
// equilibrium from its last shape by Newton's method on the sparse stiffness
// matrix (a Cholesky factorisation, CHOLMOD: the ordering is analysed once
// for the pattern, the numbers factorised at every iteration) with a
// backtracking line search on the energy. The fixed face's three corners
// are pinned, so the fixed face stays where it is, as in the rigid mode.
//
// Units: lengths in the crease pattern's units (the paper's side is about
// 1), angles in radians with the half-edge sign of sim/kinematics.h
// (positive: the face on the left of a half-edge turns about the directed
// line, right-handed, relative to the face across it).
//
// Sections: stiffness and options; the state; the step; strain.
#pragma once

#include <string>
#include <vector>

struct ORI_manifold;
struct ORISIM_matrix;
struct ORI_frameRecorder;

// ---- Stiffness and options ----

// Which solver folds a sheet: the rigid one (sim/sim_step.h, the default)
// or this one.
enum OriSolver {
  kOriSolverRigid = 0,
  kOriSolverCompliant = 1,
};

// The springs' constants, each per unit of the crease pattern's length so
// that a finer triangulation of the same sheet is the same sheet:
//  - fold: moment per radian of a fold line per unit of its length; its
//    spring is fold × length;
//  - facet: the same for the bending springs on diagonals and flat lines,
//    facet × length;
//  - axial: the bars' axial rigidity (modulus × cross-section), so that a
//    bar of flat length L pulls with axial / L per unit of stretch.
// Only the ratios shape the fold: facet / fold says how much a facet bends
// before the folds give way, axial / fold how much the paper stretches.
struct ORISIM_stiffness {
  double fold = 1.0;
  double facet = 10.0;
  double axial = 1.0e4;
};

// True when every constant is positive and finite; otherwise false with
// why set to one line naming each bad one ("stiffness: fold -1 and axial
// inf are not positive finite numbers").
bool oriSimStiffnessCheck(const ORISIM_stiffness& k, std::string* why);

// How a step's Newton iteration runs.
struct ORISIM_compliantOptions {
  ORISIM_stiffness stiffness;
  // Most Newton iterations of one attempt at a step (a step whose attempt
  // fails is tried again in halves, up to three times halved); a step none
  // of whose attempts converges keeps the last shape.
  int max_iterations = 50;
  // A step has converged when its last Newton step moved no vertex
  // coordinate by more than this (crease-pattern units: paper sides).
  double tolerance = 1e-8;
};

// Why a step's iteration stopped.
enum OriCompliantStatus {
  kOriCompliantConverged = 0,   // equilibrium found; the new shape is kept
  kOriCompliantBudget = 1,      // max_iterations taken without converging: last shape kept
  kOriCompliantLineSearch = 2,  // no step along the Newton direction lowered the energy: last shape kept
  kOriCompliantSingular = 3,    // the stiffness matrix could not be factorised even shifted: last shape kept
  kOriCompliantNotFinite = 4,   // the energy or a position came out not finite: last shape kept
};

// A short name of a status ("converged", "iteration budget", ...).
const char* oriSimCompliantStatusName(int status);

// What one step found.
struct ORISIM_compliantStats {
  int status = kOriCompliantConverged;
  int newton_iterations = 0;   // Newton iterations (numeric factorisations) taken, halves included
  int shifted = 0;             // of them, the ones that needed a diagonal shift (not positive definite)
  int halvings = 0;            // times the rest angles' move was halved after a failed iteration
  int kicks = 0;               // times an equilibrium that was a saddle of the energy was left for a lower one
  double energy = 0.0;         // the structure's energy at the shape kept
  double max_delta = 0.0;      // largest change of a line's angle over the step, radians (0 when kept)
  double max_strain = 0.0;     // largest |relative change of a bar's length| of the shape kept
  double max_bending = 0.0;    // largest |angle| of a facet spring (diagonal or flat line), radians
};

// The angle of a spring across the line t → h whose left triangle has the
// third corner a and whose right one b, on the branch nearest ref (so
// that it runs on continuously past ±π); with gradient (12 entries: over
// a, b, t, h) its derivatives, with hessian (12 × 12, row-major) its
// second derivatives. False (only the angle may be written) when a
// triangle has collapsed to a line. Both may be null.
bool oriSimHingeAngle(const double xa[3], const double xb[3], const double xt[3], const double xh[3], double ref,
                      double* theta, double* gradient, double* hessian);

// ---- The state ----

// One spring across an inner line: the line runs from t to h, a is the
// third corner of the triangle on its left, b of the one on its right.
// Vertex numbers are positions in the state's vertex array.
struct ORISIM_hinge {
  int a, b, t, h;
  double k;          // the spring's constant (stiffness × length)
  double rest;       // rest angle, radians; 0 for facets
  double goal;       // where the rest angle heads while folding: target × fold_to (folds only)
  double angle;      // the angle of the shape kept, continuous across ±π
  int fold;          // 1 for a fold line, 0 for a facet spring
  struct ORI_edge* edge;  // the half-edge running t → h (its pair runs h → t)
};

struct ORISIM_bar {
  int t, h;
  double length;     // flat length, the rest length
  double k;          // axial / length
};

struct ORISIM_compliantSolver;  // the factorisation and the assembly's pattern (compliant.cpp)

// Analysed once per pattern: the elements, which coordinates are free, the
// stiffness matrix's pattern and its ordering. Solved every step: positions,
// rest angles, the numbers of the matrix. A step allocates nothing but what
// the factorisation library does internally.
struct ORISIM_compliant {
  ORISIM_compliantOptions options;
  std::vector<struct ORI_vert*> verts;  // the vertices of the faces, in list order
  std::vector<int> free_index;          // per vertex: its free number (3 coordinates each), -1 pinned
  int n_free = 0;                       // free vertices
  std::vector<ORISIM_bar> bars;
  std::vector<ORISIM_hinge> hinges;
  std::vector<double> x;                // 3 per vertex: the positions of the shape kept
  long steps = 0;                       // steps taken
  long unconverged = 0;                 // steps that kept the last shape
  ORISIM_compliantStats last;           // the last step's figures
  ORISIM_compliantSolver* solver = nullptr;
};

// Builds the state of a prepared, triangulated om (fixed face chosen, faces
// placed): bars and springs from its lines, rest angles of the folds from
// the present angles (0 on a flat sheet), the goals from the targets and
// om->fold_to, the fixed face's corners pinned, the stiffness matrix's
// pattern analysed (its fill-reducing ordering). Null with why set (one
// line) when the options' stiffness is bad, the sheet has a face of more
// than three sides or no fixed face, or the analysis fails. Cost: about
// the time of a few steps (the ordering).
ORISIM_compliant* oriSimCompliantNew(ORI_manifold* om, const ORISIM_compliantOptions& options, std::string* why);

// Frees the state; null is allowed.
void oriSimCompliantDelete(ORISIM_compliant* cs);

// ---- The step ----

// Re-reads the goals of the fold springs from the targets and om->fold_to
// (after either changed). O(springs).
void oriSimCompliantSetGoals(ORISIM_compliant* cs, const ORI_manifold* om);

// One step of size step (radians; positive folds towards the goals,
// negative towards flat): every fold spring's rest angle moves towards
// where it heads, the one with the farthest to go by |step| and the others
// in proportion, so that all arrive together; then Newton's method finds
// the equilibrium from the last shape (a move of more than half a radian is
// followed in equal pieces of at most that, each to its equilibrium, so
// that the fold does not depend on the step size). Each iteration factorises the
// Hessian of the energy (shifted on its diagonal where it is not positive
// definite) and searches along the Newton step both straight and as the
// rotations of the faces it implies (each face turned rigidly about its
// springs: with bars far stiffer than folds a straight step can only turn
// a face a little before it stretches the bars more than the folds gain).
// An attempt that does not converge in max_iterations is made again in
// halves of its piece from the last equilibrium reached, down to eighths. An equilibrium that is a saddle of the energy (a symmetric
// shape) is kicked off it by a tiny displacement, the same at every run,
// and kept only if the sheet settles lower. When it converges, om is written:
// vertex positions, every half-edge's angle measured from them (both halves
// of a line alike), every face's matrix fitted to its corners
// (oriFaceFitMatrix: the first corner exact, the plane of the triangle),
// and osm's angle_n (may be null). Otherwise om and the rest angles are
// left as they were and stats->status says why. A step that is not a
// finite number or finds nothing to move still solves for the equilibrium
// (a shape carried from elsewhere settles). Returns stats->status. Cost:
// per iteration, one pass over the elements and one numeric factorisation
// of a matrix of three rows per free vertex.
int oriSimCompliantStep(ORISIM_compliant* cs, ORI_manifold* om, ORISIM_matrix* osm, double step,
                        ORISIM_compliantStats* stats);

// The compliant step as one recorded fold step, the counterpart of
// oriFoldStep (sim/fold_step.h): frame 0 before the first step when rec
// records, oriSimCompliantStep, then the frame under the next number. No
// rigid placement follows: the positions are the solver's. max_delta (may
// be null) receives the largest angle change. Returns 0, or -1 when an OBJ
// frame could not be written (the step is taken regardless).
int oriSimCompliantFoldStep(ORISIM_compliant* cs, ORISIM_matrix* osm, ORI_manifold* om, double step, int* frame_no,
                            const ORI_frameRecorder* rec, double* max_delta, ORISIM_compliantStats* stats);

// ---- Strain ----

// Every line's relative change of length, (folded length / flat length) −
// 1, from om's present positions, by half-edge index (ORI_edge::index; both
// halves of a line alike); resized to om->n_edge. Returns the largest
// magnitude (0 without lines). A line of zero flat length gives 0.
double oriSimBarStrain(const ORI_manifold* om, std::vector<double>* strain);

// Every line's bending, by half-edge index: |angle| of diagonals and flat
// inner lines (the facets' springs), 0 for fold lines and the outline.
// Returns the largest.
double oriSimFacetBending(const ORI_manifold* om, std::vector<double>* bending);
