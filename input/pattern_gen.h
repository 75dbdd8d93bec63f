// Crease patterns made by rule: a Miura-ori of parallelograms, a single
// vertex with chosen sector angles, and the waterbomb tessellation. They are
// built as line lists (the records the XML writer writes), centred on the
// origin with the longer side of the paper 400 file units long, every line
// meeting others only at its ends and the outline split at every crease end.
#pragma once

#include <cstddef>

struct CreasePattern;
struct ORI_manifold;

// Shortest line a generator accepts, in file units along X or Y: well above
// the reader's 0.4 merge distance, so that distinct vertices never merge,
// and low enough for the 200 × 200 Miura-ori that large sheets are
// measured on (its straight lines are 1.995 units long).
constexpr double kOriPatternMinLine = 1.0;

// Most creases of a generated single vertex.
constexpr int kOriPatternMaxDegree = 16;

// How the fold lines of a tessellation are assigned. Type 2 is a mountain
// (it folds to the negative target), type 3 a valley.
enum OriPatternAssign {
  kOriAssignStandard = 0,  // the flat-foldable assignment of the pattern
  kOriAssignSwapped = 1,   // the same with types 2 and 3 exchanged
  kOriAssignPositive = 2,  // every fold line type 2 (named by the type, not the target's sign)
  kOriAssignNegative = 3,  // every fold line type 3
};

// A Miura-ori of rows × cols parallelograms. The straight lines run along X,
// the zig-zag lines along Y. Standard assignment: each zig-zag line one type
// throughout, alternating from line to line; the straight lines change type
// at every vertex (three creases of one type, one of the other, at every
// vertex).
struct OriMiuraParams {
  int rows = 4;             // parallelograms along Y, 1 or more
  int cols = 4;             // parallelograms along X, 1 or more
  double sector_deg = 60;   // acute angle of the parallelograms, degrees, in (0, 90]
  double ratio = 1.0;       // zig-zag side length over straight side length, > 0
  int assign = kOriAssignStandard;
};

// A single inner vertex at the centre of a square sheet, its creases running
// to the edge of the paper. Crease k leaves at rotation_deg + the sum of the
// sectors before it (degrees, counter-clockwise in file coordinates), and
// sector k lies between crease k and crease k + 1.
struct OriVertexParams {
  int degree = 4;                                                 // 3 to kOriPatternMaxDegree
  double sector_deg[kOriPatternMaxDegree] = {70, 100, 110, 80};   // each in (0, 180], summing to 360
  int type[kOriPatternMaxDegree] = {2, 3, 2, 2};                  // line type of each crease, 0 to 3
  double rotation_deg = 0.0;                                      // direction of crease 0
};

// The waterbomb tessellation on a sheet of cols × rows squares: rows of
// waterbomb bases offset by half a square, every facet a right isosceles
// triangle. Standard assignment: diagonals type 2, horizontal lines type 3.
struct OriWaterbombParams {
  int rows = 2;  // squares along Y, 1 or more
  int cols = 2;  // squares along X, 1 or more
  int assign = kOriAssignStandard;
};

// The pleated hyperbolic paraboloid: rings concentric squares (the
// outermost the paper's outline) and the square's two diagonals from the
// centre to the corners. Standard assignment: the squares alternate, the
// innermost type 2; each piece of a diagonal between two squares takes the
// type of the inner square's (the four pieces round the centre the type
// the outer one alternates from), so that at every corner of a square three
// lines share a type and the piece inside the corner has the other. No
// rigid folding of its facets exists (the trapezoids between the squares
// must bend): the compliant solver's test piece.
struct OriHyparParams {
  int rings = 8;  // squares, the outline included, 2 or more
  int assign = kOriAssignStandard;
};

// Each appends the pattern's lines to cp (expected empty, paper_size 400)
// and returns 0. Parameters out of range, or ones whose lines would come out
// shorter than kOriPatternMinLine, give -1 with the reason in why (when
// given) and leaves cp unchanged. Cost: linear in the number of lines.
int oriPatternMakeMiura(CreasePattern* cp, const OriMiuraParams& params, char* why, size_t why_size);
int oriPatternMakeVertex(CreasePattern* cp, const OriVertexParams& params, char* why, size_t why_size);
int oriPatternMakeWaterbomb(CreasePattern* cp, const OriWaterbombParams& params, char* why, size_t why_size);
int oriPatternMakeHypar(CreasePattern* cp, const OriHyparParams& params, char* why, size_t why_size);

// Builds om (fresh from oriManifoldNew) from cp exactly as from a file: the
// lines are written as XML text in memory and read back by the XML reader.
// Returns the reader's result (0 on success), or -1 when no memory stream
// could be made.
int oriManifoldConstructFromPattern(ORI_manifold* om, CreasePattern* cp);
