// The folded sheet as a closed solid of the paper's thickness, in binary
// STL, for 3D printing.
//
// The solid is the sheet offset to both sides: every vertex p of the sheet
// gives a vertex on the front side, p + h·s·a, and one on the back,
// p − h·s·a, with h half the thickness, a the mean of the normals of the
// faces around the vertex weighted by their corner angles, and
// s = 1 / min(a·n) over those faces' normals n, so that each face's offset
// plane keeps the full half-thickness from it (a mitre); s is held to at
// most kOriStlMitreLimit, so that where creases fold to nearly π the two
// sides meet in a blunt edge of about that many thicknesses rather than in a
// spike. Each face gives its triangles on both sides (the back reversed);
// each side of the paper's outline (and of holes) gives a wall of two
// triangles. So every edge of the solid belongs to exactly two triangles,
// the triangles all turn the same way, and their normals point out: the
// solid a slicer wants. Vertices where many faces meet take the one
// direction a; the solid is offset per vertex, never per face, so faces
// around a vertex never overlap each other there. What the offset cannot
// undo: layers of the folded sheet that the fold itself brings closer than
// the thickness (a crease folded to π − 0.01 leaves its flaps about 0.01 of
// their length apart) pass through each other in the solid; slicers take the
// union.
//
// Coordinates are millimetres: file units times scale (metres per file
// unit) times 1000; positions as the OBJ files give them.
#pragma once

#include <cstdio>
#include <string>

struct ORI_manifold;

// Longest offset along a, in half-thicknesses.
constexpr double kOriStlMitreLimit = 3.0;

// Writes om's present shape as a binary STL solid of thickness (file
// units, > 0) to fp (opened by the caller, not closed). Faces of more than
// three sides are cut as oriFaceTriangles cuts them. Returns 0, or -1 with
// *why set: no faces, a thickness or scale that is not a positive finite
// number, a position that is not finite, more triangles than STL counts
// (2^32 − 1), or a failed write. cost: linear in the mesh.
int oriStlSave(const ORI_manifold* om, double thickness, double scale, FILE* fp, std::string* why);

// The same to the file path, written aside and renamed into place (nothing
// is left under path on failure).
int oriStlSaveFile(const ORI_manifold* om, double thickness, double scale, const char* path, std::string* why);
