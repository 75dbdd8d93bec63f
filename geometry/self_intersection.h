// Self-intersection of the folded sheet: the pairs of faces that pass
// through each other, for the collision report of a fold run and the
// warning colour of the window.
#pragma once

#include <utility>
#include <vector>

struct ORI_manifold;
struct ORI_face;
struct ORI_vert;

// Faces that come closer than this fraction of the sheet's size (the longer
// side of the flat pattern's bounding box, 1 for a square read at its paper
// size) only touch. It is the thickness of real paper: 0.1 mm on a 10 cm
// square. Anything thinner would be touching in the folded paper itself, and
// folding to the fold types' targets (π − 0.01) leaves layers this close:
// a flap of a tenth of the sheet stands 0.001 off the face it folds onto.
// The placement's own errors stay well below it on sheets that close
// (rounding is about 1e-15; a closure error of 1e-4 radians moves a corner
// of the sheet by about 1e-4 of its size).
constexpr double kOriContactTolerance = 1e-3;

// A point of the flat pattern (CP plane).
struct ORI_flatPoint {
  double x, y;
};

// Cuts a face of k corners (flat points, in loop order) into triangles of
// corner numbers appended to out (three per triangle, k − 2 triangles): a
// fan when no corner is reflex, else ears, each a corner that turns the
// face's way with no other corner in its triangle. Straight corners are
// never cut off alone; what no ear can be found for (a face that is not a
// simple polygon) is fanned. Fewer than three corners give nothing.
// warning: O(k³) on a face with reflex corners.
void oriPolygonTriangles(const std::vector<ORI_flatPoint>& pts, std::vector<int>* out);

// The pairs of faces of om that pass through each other, as placed by the
// last fold step (the vertex positions, as the window draws and the OBJ
// files record them). pairs receives (a, b) with a < b, sorted, each pair
// once, where a face's number is its position in om->faces (its index once
// numbered). Returns the number of pairs.
//  - Faces that share a vertex or a side are neighbours: never a pair.
//  - Two faces are a pair when they cross each other by more than
//    kOriContactTolerance times the sheet's size (oriTrianglesCross):
//    faces that touch, or lie on top of each other nearly parallel as a
//    nearly flat fold leaves them, are not.
//  - Faces of more than three sides are cut into triangles in the flat
//    pattern (fanned when convex, ear by ear otherwise); a face whose loop
//    does not close, a sliver and a triangle with a corner that is not a
//    finite number take no part.
// Cost: O(n log n) in the faces for a sheet whose faces overlap few others,
// through a hierarchy of their boxes (geometry/box_tree); memory about
// 150 bytes per face.
int oriManifoldSelfIntersections(const ORI_manifold* om, std::vector<std::pair<int, int>>* pairs);

// For each face of om (by its position in om->faces), 1 when it passes
// through another face, else 0: flags receives n_face entries. Returns the
// number of pairs, as oriManifoldSelfIntersections.
int oriManifoldIntersectingFaces(const ORI_manifold* om, std::vector<unsigned char>* flags);

// The paper's thickness when none is given, in file units: the contact
// tolerance above times the sheet's size (the longer side of the flat
// pattern's bounding box) times paper_size, so that the thickness a solid is
// given and the one the collision check allows for are one. 0 for a mesh
// without lines.
double oriPaperThickness(const ORI_manifold* om);

// Cuts face f into triangles in the flat pattern, as the collision check
// does (a fan when no corner is reflex, else ear by ear): appends three
// corners per triangle to out, each triangle in the face's own winding.
// Returns the number of triangles; 0 (out untouched) for a face whose loop
// does not close within om->n_edge half-edges or has fewer than three
// corners. cost: O(k) for a convex face of k corners, O(k³) otherwise.
int oriFaceTriangles(const ORI_manifold* om, const ORI_face* f, std::vector<ORI_vert*>* out);
