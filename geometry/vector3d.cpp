#include "geometry/vector3d.h"

#include <cmath>

namespace {
// Degrees to radians, the factor the camera and walk code rely on.
constexpr double kDegreeToRadian = 0.017453292519943295;
}  // namespace

vector3d operator*(const vector3d& a, const vector3d& b) {
  vector3d r;
  r.x = a.y * b.z - a.z * b.y;
  r.y = a.z * b.x - a.x * b.z;
  r.z = a.x * b.y - a.y * b.x;
  return r;
}

vector3d operator*(double a, const vector3d& b) {
  vector3d r;
  r.x = b.x * a;
  r.y = b.y * a;
  r.z = b.z * a;
  return r;
}

double dot(const vector3d& a, const vector3d& b) { return (a.z * b.z + a.y * b.y) + a.x * b.x; }

double abs(const vector3d& a) { return std::sqrt((a.x * a.x + a.y * a.y) + a.z * a.z); }

vector3d& input(vector3d& a, double x, double y, double z) {
  a.x = x;
  a.y = y;
  a.z = z;
  return a;
}

vector3d& rotz(vector3d& a, double theta_degree) {
  const double t = theta_degree * kDegreeToRadian;
  const double c = std::cos(t);
  const double s = std::sin(t);
  const double x = a.x;
  const double y = a.y;
  a.x = x * c - y * s;
  a.y = y * c + x * s;
  return a;
}

vector3d& operator+=(vector3d& a, const vector3d& b) {
  a.x += b.x;
  a.y += b.y;
  a.z += b.z;
  return a;
}

vector3d& operator*=(vector3d& a, double b) {
  a.x *= b;
  a.y *= b;
  a.z *= b;
  return a;
}

vector3d& operator/=(vector3d& a, double b) {
  const double inv = 1.0 / b;
  a.x *= inv;
  a.y *= inv;
  a.z *= inv;
  return a;
}
