// Face construction: turns the accepted lines of a crease pattern into the
// half-edge mesh.
#pragma once

#include <cmath>

#include "geometry/manifold.h"

// One accepted line of a crease pattern, in file units, with its line type
// (0, 1 flat; 2 mountain, folds to -kOriTargetAngle; 3 valley, to
// +kOriTargetAngle; others flat).
struct OriPatternLine {
  double x0, y0, x1, y1;
  int type;
  double target = NAN;  // fold target a drawing gave, radians; NaN (or a flat type): the type's
};

// Line ends closer than this in both X and Y (file units) are one vertex; a
// line shorter than this in both directions has no length worth folding.
constexpr double kOriMergeDistance = 0.4;

// Most lines a pattern may have. A sheet of that many lines already needs
// hundreds of megabytes; a hostile file claiming more is refused instead of
// exhausting memory.
constexpr int kOriMaxPatternLines = 250000;

// Target angle of a line type: a mountain folds to -kOriTargetAngle (seen
// from the front, +z, its crease comes towards the viewer), a valley to
// +kOriTargetAngle (its crease goes away, the flaps rise); other types 0.
double oriLineTypeTarget(int type);

// Target angle of a line: for a fold type, the target its drawing gave,
// clamped to ±kOriTargetAngle, when it is a finite number of the type's sign;
// otherwise its type's.
double oriLineTarget(const OriPatternLine& line);

// Builds om (fresh from oriManifoldNew, paper_size already set) from n lines.
// Ends are merged into vertices; lines whose ends merge into one vertex,
// repeated lines (the first is kept, taking a fold type over a flat one),
// auxiliary lines as kOriLineTypeAux says, and lines with a free end (pruned
// repeatedly) are dropped with a message each; lines that meet another away
// from their ends are split there.
// Then successors are linked by the sharpest left turn, the outer boundary is
// found, faces are made, counts printed, lists filled and the display frame
// preset. Without om_old the fixed face is chosen and given the identity;
// with om_old the vertices are placed on the folded shape of om_old.
// Returns 0, or -1 with oriReadError set (the lists of om stay empty).
// warning: O(n · vertices) through oriAddVert.
int oriManifoldConstructFromLines(ORI_manifold* om, ORI_manifold* om_old, const OriPatternLine* lines,
                                  int n);

// Lines a reader passes over before the construction, counted.
struct OriLineDrops {
  int non_finite = 0;  // a coordinate that is not a finite number
  int too_short = 0;   // shorter than kOriMergeDistance in both X and Y
};

// Whether a read line goes to the construction: its four coordinates are
// finite numbers and it reaches kOriMergeDistance along X or Y. A line that
// does not is counted in *drops.
bool oriPatternLineAccepted(const OriPatternLine& line, OriLineDrops* drops);

// Builds om (paper_size already set) from the n lines a reader accepted,
// after reporting the lines it dropped for a coordinate that is not a
// number ("dropped %d line(s) with a coordinate ..."). With no line left,
// returns -1 with oriReadError naming why (all too short, or none at all);
// otherwise oriManifoldConstructFromLines(om, om_old, lines, n).
int oriManifoldConstructFromAccepted(ORI_manifold* om, ORI_manifold* om_old, const OriPatternLine* lines, int n,
                                     const OriLineDrops& drops);

// Places the vertices of om on the folded faces of om_old, gives om's fixed
// face the matrix of the old face under it, and measures the crease angles.
void oriManifoldPlaceOnFolded(ORI_manifold* om, ORI_manifold* om_old);
