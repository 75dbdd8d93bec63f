// Generated crease patterns for tests: grids with chosen fold types, plain
// polygons, and folded shapes whose angles are consistent without a solver.
#pragma once

#include <utility>
#include <vector>

#include "geometry/manifold.h"
#include "input/construct.h"

// A square sheet (side 400, centred on the origin) cut into k × k squares.
// Every grid line is drawn as k pieces between neighbouring grid points;
// inner pieces get types drawn from a seeded generator among 1 (flat),
// 2 and 3 (the two folds); the outline is type 1.
std::vector<OriPatternLine> gridLines(int k, unsigned seed);

// The closed polygon through pts (file units) as lines of one type.
std::vector<OriPatternLine> polygonLines(const std::vector<std::pair<double, double>>& pts, int type);

// Sets angle on both halves of every inner line of om whose two ends lie on
// the line through (x0, y0) and (x1, y1) (CP units); returns how many
// lines were set. Folding one straight line that runs across the whole sheet
// is always consistent.
int setAngleAlong(ORI_manifold* om, double x0, double y0, double x1, double y1, double angle);

// The largest distance between a vertex position and the point its face's
// matrix gives for the same corner, over every corner of every face: 0 when
// every facet sits rigidly where its transform puts it.
double rigidityError(const ORI_manifold* om);

// The point the face matrix M gives for the CP point (x, y).
vector3d applyFaceMatrix(const double M[16], double x, double y);

// Signed CP area of a face (positive for counter-clockwise loops).
double faceArea(const ORI_face* f);

// Number of half-edges of a face.
int faceSides(const ORI_face* f);

// A sheet with no inner vertex, so that any fold angles are consistent: a
// crease across the middle (file y = 0, valley) and a mountain cutting off a
// corner flap, the outline split where they end. Its faces are a rectangle,
// a pentagon and a triangle.
std::vector<OriPatternLine> flapSheet();
// The flap sheet and a mountain from (50, -200) to (50, 200) crossing the
// middle crease: a new vertex on that crease, new faces inside old ones.
std::vector<OriPatternLine> flapSheetWithCross();

constexpr double kFlapSheetMiddleAngle = 1.1;
constexpr double kFlapSheetFlapAngle = -2.0;

// Folds a prepared flap sheet: the middle crease by kFlapSheetMiddleAngle,
// the flap by kFlapSheetFlapAngle, and places it from its fixed face.
void foldFlapSheet(ORI_manifold* om);

// How far pos lies from the point of the folded sheet om at the CP point
// (x, y): the smallest distance over the faces of om holding that point
// (points on a crease belong to both faces).
double distanceFromSheet(const ORI_manifold* om, const vector3d& pos, double x, double y);
