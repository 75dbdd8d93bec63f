// Whether two triangles pass through each other: the test behind the folded
// sheet's self-intersection check, made to stay silent on faces that only
// touch or lie on top of each other.
#pragma once

#include "geometry/vector3d.h"

// A triangle made ready for many tests: its corners and unit normal.
struct ORI_triangle {
  vector3d p[3];
  vector3d normal;  // unit, right-handed from p[0], p[1], p[2]; zero for a triangle that takes part in no test
};

// Fills t with the corners a, b, c and their normal. Returns 0, or -1 for a
// sliver (twice its area below 1e-12 of its longest side squared) or a
// corner that is not a finite number: t then crosses nothing.
int oriTrianglePrepare(ORI_triangle* t, const vector3d& a, const vector3d& b, const vector3d& c);

// True when triangles p and q pass through each other by more than
// tolerance (model units, > 0): each has corners farther than tolerance on
// both sides of the other's plane, and the segment where they meet is longer
// than tolerance. Triangles that touch at a point or along an edge, lie in
// one plane, or lie on top of each other at a small angle without crossing
// deeper than tolerance give false, whatever the rounding; so does a
// triangle that oriTrianglePrepare refused. Cost: a few dozen
// multiplications, nine when q does not reach through p's plane.
bool oriTrianglesCross(const ORI_triangle& p, const ORI_triangle& q, double tolerance);
