#include "geometry/triangle_cross.h"

#include <cmath>

namespace {

// Triangles whose doubled area, over the square of their longest side, is
// below this have no plane worth the name (a sliver): they are skipped.
constexpr double kSliverRatio = 1e-12;

vector3d sub(const vector3d& a, const vector3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
// Plain comparisons where no operand can be NaN: no library call.
double larger(double a, double b) { return a > b ? a : b; }
double smaller(double a, double b) { return a < b ? a : b; }
double dot3(const vector3d& a, const vector3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
// a × b, here where the compiler can inline it.
vector3d cross3(const vector3d& a, const vector3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Signed distances of t's corners from the plane of s; true when t reaches
// farther than tol on both sides of it.
bool straddles(const ORI_triangle& t, const ORI_triangle& s, double tol, double d[3]) {
  for (int i = 0; i < 3; ++i) d[i] = dot3(s.normal, sub(t.p[i], s.p[0]));
  // A distance that is NaN fails both comparisons: no straddle.
  return (d[0] > tol || d[1] > tol || d[2] > tol) && (d[0] < -tol || d[1] < -tol || d[2] < -tol);
}

// The span along the unit direction u (measured from o) of the segment where
// t, which straddles a plane (distances d), meets that plane. Exactly two
// sides change sign; a corner on the plane counts with the negative side,
// so it is met once. Each crossing divides by a difference of distances of
// opposite signs, at least the straddle apart: never by a small number.
void crossingSpan(const ORI_triangle& t, const double d[3], const vector3d& o, const vector3d& u, double* lo,
                  double* hi) {
  *lo = INFINITY;
  *hi = -INFINITY;
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    if ((d[i] > 0.0) == (d[j] > 0.0)) continue;
    const double s = d[i] / (d[i] - d[j]);
    const vector3d a = sub(t.p[i], o), b = sub(t.p[j], o);
    const vector3d at = {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z)};
    const double along = dot3(u, at);
    *lo = smaller(*lo, along);
    *hi = larger(*hi, along);
  }
}

}  // namespace

int oriTrianglePrepare(ORI_triangle* t, const vector3d& a, const vector3d& b, const vector3d& c) {
  t->p[0] = a;
  t->p[1] = b;
  t->p[2] = c;
  t->normal = {0.0, 0.0, 0.0};
  const vector3d u = sub(b, a), v = sub(c, a), w = sub(c, b);
  const vector3d n = cross3(u, v);
  const double len = std::sqrt(dot3(n, n));
  const double side2 = larger(dot3(u, u), larger(dot3(v, v), dot3(w, w)));
  if (!std::isfinite(len) || !std::isfinite(side2) || !(len > kSliverRatio * side2)) return -1;
  t->normal = {n.x / len, n.y / len, n.z / len};
  return 0;
}

bool oriTrianglesCross(const ORI_triangle& p, const ORI_triangle& q, double tolerance) {
  double dq[3], dp[3];
  // Faces in one plane, touching, or stacked without crossing deeper than
  // the tolerance stop here: neither reaches through the other's plane. A
  // refused triangle's zero normal puts every corner at distance 0.
  if (!straddles(q, p, tolerance, dq) || !straddles(p, q, tolerance, dp)) return false;
  // Both straddle, so the planes meet at an angle whose sine is at least
  // about the straddle over the triangles' size: the line is well defined.
  vector3d u = cross3(p.normal, q.normal);
  const double len = std::sqrt(dot3(u, u));
  if (!(len > 0.0)) return false;
  u = {u.x / len, u.y / len, u.z / len};
  double p_lo, p_hi, q_lo, q_hi;
  crossingSpan(p, dp, p.p[0], u, &p_lo, &p_hi);
  crossingSpan(q, dq, p.p[0], u, &q_lo, &q_hi);
  return smaller(p_hi, q_hi) - larger(p_lo, q_lo) > tolerance;
}
