#include "sim/display_frame.h"

#include <cmath>

#include "geometry/manifold.h"

namespace {

vector3d minus(const vector3d& a, const vector3d& b) {
  vector3d r;
  return input(r, a.x - b.x, a.y - b.y, a.z - b.z);
}

// Mean of the corner positions of f; the origin for a missing face. The
// walk is bounded by the number of half-edges.
vector3d faceCentroid(const ORI_manifold* om, const ORI_face* f) {
  vector3d g = {0.0, 0.0, 0.0};
  if (f == nullptr || f->first == nullptr) return g;
  int count = 0;
  const ORI_edge* e = f->first;
  do {
    g += e->vert->pos;
    ++count;
    e = e->next;
  } while (e != f->first && count <= om->n_edge);
  g /= count;
  return g;
}

}  // namespace

int oriManifoldUpdateModelMatrix(ORI_manifold* om) {
  double* m = om->model_matrix;
  if (om->axis_origin == nullptr) {
    oriMatrixIdentity(m);
    return kOriFrameIdentity;
  }
  if (om->axis_x == nullptr || om->axis_xy == nullptr) return kOriFrameKept;
  const vector3d p0 = om->axis_origin->pos;
  vector3d a = minus(om->axis_x->pos, p0);
  const double la = abs(a);
  if (!(la > kOriFrameDegenerate)) return kOriFrameKept;
  a /= la;
  vector3d c = a * minus(om->axis_xy->pos, p0);
  const double lc = abs(c);
  if (!(lc > kOriFrameDegenerate)) return kOriFrameKept;
  c /= lc;
  const vector3d b = c * a;
  const vector3d g = faceCentroid(om, om->center_face);
  m[0] = a.x, m[4] = a.y, m[8] = a.z;
  m[1] = b.x, m[5] = b.y, m[9] = b.z;
  m[2] = c.x, m[6] = c.y, m[10] = c.z;
  m[12] = om->center.x - dot(a, g);
  m[13] = om->center.y - dot(b, g);
  m[14] = -dot(c, p0);
  m[3] = m[7] = m[11] = 0.0;
  m[15] = 1.0;
  return kOriFrameSet;
}

