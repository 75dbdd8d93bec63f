// Face tessellation: splits a face by a diagonal, and cuts every face of more than three sides into triangles
// by diagonals, so that the fold solver can treat every facet as a rigid
// plate that may bend only along lines.
#pragma once

struct ORI_manifold;
struct ORI_edge;

// A corner whose sides turn by less than this sine (relative to their
// lengths) is straight: a triangle with such a corner has no area, and the
// fold angle of its diagonal could not be measured.
constexpr double kTessStraightSine = 1e-7;

// Splits the face of A and B (two different half-edges of one face) by a new
// diagonal from the head of A to the head of B and returns that half-edge.
// The new face takes B's side. Diagonals are flat by target, flagged
// is_diagonal, and not entered in any vertex's out. Returns null when a
// record cannot be allocated (the face is left whole). cost: O(sides of the
// new face).
ORI_edge* oriManifoldAddLineFace(ORI_edge* A, ORI_edge* B, ORI_manifold* om);

// Splits every face of om with more than three half-edges into triangles.
// Diagonals are flat lines (target_angle 0, angle 0, is_diagonal 1), added
// through oriManifoldAddLineFace, so they become creases like any inner
// line.
//
// First, repeated passes cut single corners off where the fold signs call
// for it: a corner is cut next to a vertex where two lines of opposite fold
// meet and the face's corner there is no wider than the faces across the
// fold (summed across diagonals already added). Then every face still
// larger than a triangle is fanned from the head of one half-edge, chosen
// where the fold signs say the face will crease most.
//
// A diagonal is never added between a vertex and itself, along a side the
// face already has, through a straight corner, or outside the face (a
// reflex corner): a corner cut that would do so is not made, and a fan that
// would is made from another corner of the face, or the face is cut ear by
// ear instead. Every walk around a face is bounded by the number of
// half-edges.
//
// Call once after construction, before the fixed face is chosen and the
// records numbered. Returns 0 when every face is a triangle afterwards; -1
// when some face could not be cut (a face that is not a simple polygon),
// with a message naming how many faces were left.
// cost: O(passes · half-edges) for the corner cuts, O(n²) per face of n
// sides for the soundness checks.
int oriManifoldTessFace(ORI_manifold* om);
