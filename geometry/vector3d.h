// vector3d: the one small geometric value type — a point or direction in
// model space. Matrices are plain arrays of doubles elsewhere.
#pragma once

struct vector3d {
  double x;
  double y;
  double z;
};

// Right-handed cross product a × b.
vector3d operator*(const vector3d& a, const vector3d& b);
// Scaling: (b.x·a, b.y·a, b.z·a).
vector3d operator*(double a, const vector3d& b);
// (a.z·b.z + a.y·b.y) + a.x·b.x, summed in that order.
double dot(const vector3d& a, const vector3d& b);
// Length: sqrt((x·x + y·y) + z·z).
double abs(const vector3d& a);
// Sets the three components; returns a.
vector3d& input(vector3d& a, double x, double y, double z);
// Rotates a in place about +z by theta_degree degrees (counter-clockwise seen
// from +z); returns a.
vector3d& rotz(vector3d& a, double theta_degree);
vector3d& operator+=(vector3d& a, const vector3d& b);
vector3d& operator*=(vector3d& a, double b);
// Multiplies by the reciprocal 1/b, computed once (not a division per
// component). b = 0 follows IEEE arithmetic: callers must not normalise a
// zero vector when the result matters.
vector3d& operator/=(vector3d& a, double b);
