// The order of the layers of the folded form: for every two facets that
// overlap there, which lies above the other (towards +z, the side the fixed
// face's front looks to), so that the paper never passes through itself.
//
// The problem (analysed once per pattern): one variable per pair of facets
// that overlap with positive area in the folded form, and the conditions of
// a valid stacking:
//  - fold: two facets joined by a mountain or valley wrap the same way as
//    the fold (a valley brings their front sides together). These fix their
//    variables from the start.
//  - taco-tortilla: a facet whose inside covers part of a fold line's folded
//    segment cannot lie between the two facets that fold there.
//  - taco-taco: two folds whose folded segments overlap, their four facets
//    on the same side, do not interleave (neither fold pokes between the
//    other's two facets); the four lie in one order.
//  - transitivity: three facets that overlap at a common place of positive
//    area are ordered without a cycle. Triples whose order the folds and
//    the taco conditions already settle without a cycle hold in every
//    stacking and are left out (their geometry untested): on a Miura-ori,
//    whose folds settle everything, that is every triple.
//  - tortilla-tortilla (two unfolded lines overlapping: the facets on their
//    one side ordered as those on their other side) holds by construction:
//    faces joined across a flat line or a diagonal belong to one facet and
//    share one variable against every other facet.
// Solving: the folds' facts are propagated through the conditions (each
// condition, on at most six variables, forces what all its remaining valid
// assignments agree on); the variables left open fall into independent
// components (no condition joins two of them), each searched depth first
// with propagation after every choice and counted separately; the number of
// stackings is the product. The search stops at a cap on the count and at a
// time limit, and says so.
//
// Face orders are given as FOLD's faceOrders: [f, g, s] with s = +1 when face
// f lies on the side of face g that g's normal points to, -1 on the other
// side, for every two faces (ORI_face::index) that overlap.
#pragma once

#include <string>
#include <vector>

struct ORI_manifold;
struct ORI_foldedForm;

// Two folded pieces overlap when the common region is wider than this (twice
// its area over its perimeter, CP units: the paper's side is 1); two folded
// segments overlap when they lie within it of one line and share more than
// this length. Well above the rounding of a flat-foldable pattern's folded
// places, well below any real flap.
constexpr double kOriLayerTolerance = 1e-6;

// Stackings counted at most (the count printed is then a lower bound).
constexpr long long kOriLayerStateCap = 1000000;

// The whole solve's default time limit, seconds (building the conditions,
// propagation, search and counting).
constexpr double kOriLayerTimeLimit = 10.0;

struct ORI_layerOptions {
  bool order_layers = true;                 // false: checks and folded form only
  double time_limit = kOriLayerTimeLimit;  // seconds, > 0
  long long state_cap = kOriLayerStateCap;  // stackings counted at most, >= 1
  long long state = 1;                      // the stacking chosen, 1 = the first
};

enum OriLayerStatus {
  kOriLayerFound = 0,      // stacking `chosen` of n_states is set
  kOriLayerNone = 1,       // proven: no valid stacking (reason says why)
  kOriLayerNotFlat = 2,    // not solved: the folded form tears or a vertex fails locally (reason)
  kOriLayerOutOfTime = 3,  // the time limit ran out before a stacking was found
  kOriLayerNoSuchState = 4,  // stackings exist, but fewer than the state asked for
};

struct ORI_layerOrder {
  int status = kOriLayerNotFlat;
  std::string reason;          // one sentence for every status but found; a note on limits when found
  long long n_states = 0;      // valid stackings counted, at most state_cap
  bool n_states_exact = false; // false when the cap or the time limit stopped the count
  long long chosen = 0;        // the stacking set below, 1-based; 0 for none
  // Size of the problem.
  int n_facets = 0;
  int n_pairs = 0;             // variables: overlapping facet pairs
  int n_folds = 0;             // fold conditions (lines)
  int n_taco_taco = 0;
  int n_taco_tortilla = 0;
  int n_transitivity = 0;      // kept (not settled by the folds and tacos alone)
  int n_forced = 0;            // variables settled by the folds and propagation before any search
  int n_components = 0;        // independent groups of the rest
  long long search_nodes = 0;  // choices tried by the search
  double seconds = 0.0;        // wall time of the whole solve
  // The chosen stacking (empty when none).
  std::vector<int> face_orders;  // triples f, g, s; f < g
  // Per facet: its place in a drawing order from the bottom (0 lowest), so
  // that a painter drawing facets in this order leaves the top facet visible
  // wherever facets overlap. Facet numbers in their index order when no
  // stacking is set.
  std::vector<int> facet_level;
  // False when the chosen order's above-relation has a cycle among facets
  // that never overlap at one common place (valid, as in a pinwheel, but no
  // single drawing order shows it everywhere): facet_level breaks it
  // somewhere, and only the view below is right everywhere.
  bool level_exact = true;
  // What shows from above in the chosen stacking (folded CP units): the
  // parts of faces that no face above them covers, as convex polygons, and
  // the parts of the outline and the fold lines that no facet above both
  // their sides covers. Empty when no stacking is set.
  std::vector<int> view_face;      // per polygon: its face
  std::vector<int> view_start;     // per polygon: its first point (2 numbers each in view_xy); one more at the end
  std::vector<double> view_xy;
  std::vector<double> view_lines;  // 4 per visible piece of line: x0, y0, x1, y1
  // False when some face, cut by more faces above it than the view follows
  // (kOriLayerViewFragments pieces), or reached after the time limit, was
  // left partly uncut there.
  bool view_exact = true;
};

// Most convex pieces one face of the view is cut into.
constexpr int kOriLayerViewFragments = 4096;

struct ORI_layerProblem;

// Analyses the layer-order problem of om's folded form (oriFlatFoldedForm of
// the same mesh): the overlapping faces and facets, the variables and every
// condition. Stops building, with a problem that says it ran out of time,
// once time_limit seconds have passed. Null only when memory runs out.
// cost: O(faces²) at worst for the overlaps, O(Σ overlaps²) for the
// transitivity triples (each face against the pairs of faces it overlaps).
ORI_layerProblem* oriLayerProblemNew(const ORI_manifold* om, const ORI_foldedForm& form, double time_limit);

void oriLayerProblemDelete(ORI_layerProblem* problem);

// Solves the problem: propagation, components, one stacking per component,
// then the count up to opt.state_cap, and sets stacking opt.state (when it
// exists) in *out, with the problem's size. The whole call keeps within
// opt.time_limit seconds, counted from the start of this call (the view
// from above of the chosen stacking, which follows, is cut short after it).
// Returns out->status.
int oriLayerSolve(ORI_layerProblem* problem, const ORI_layerOptions& opt, ORI_layerOrder* out);

// After oriLayerSolve found stackings: sets stacking `state` (1-based, at
// most out->n_states) in *out without counting again. Returns out->status
// (kOriLayerNoSuchState, the stacking set before kept, for a state outside
// the count).
int oriLayerChoose(ORI_layerProblem* problem, long long state, double time_limit, ORI_layerOrder* out);
