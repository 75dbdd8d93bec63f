#include "render/view_rules.h"

#include <cmath>
#include <cstdio>

#include "geometry/manifold.h"
#include "render/view_state.h"

void oriGLPanOffset(const theGLstruct* gl, double* px, double* py) {
  const double k = 2.0 / gl->zoom;
  const double h = gl->height < 1 ? 1.0 : static_cast<double>(gl->height);
  *px = static_cast<double>(gl->pan_press_x - gl->pan_cur_x + gl->pan_x) * k / h;
  *py = static_cast<double>(gl->pan_cur_y - gl->pan_press_y + gl->pan_y) * k / h;
}

void oriGLFitDrawingArea(theGLstruct* gl, int W, int H) {
  const double w = W, h = H;
  if (gl->full_screen) {
    if (h > w / gl->ref_width * gl->ref_height) {
      gl->width = W;
      gl->height = static_cast<int>(w * 0.75);
    } else {
      gl->width = static_cast<int>(h * 1.3333333333333333);
      gl->height = H;
    }
  } else if (gl->fixed_aspect) {
    const double t = w / gl->ref_width * gl->ref_height;
    if (h > t) {
      gl->width = W;
      gl->height = static_cast<int>(t);
    } else {
      gl->width = static_cast<int>(h / gl->ref_height * gl->ref_width);
      gl->height = H;
    }
  } else {
    const int side = H < W ? H : W;
    gl->width = side;
    gl->height = side;
  }
  if (gl->width < 1) gl->width = 1;
  if (gl->height < 1) gl->height = 1;
}

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

int oriGLUpdateModelMatrix(ORI_manifold* om) {
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

double oriGLObjectFovy(double zoom) {
  const double fovy = 40.0 / zoom;
  if (!(fovy < kOriMaxFovy)) return kOriMaxFovy;
  if (!(fovy > kOriMinFovy)) return kOriMinFovy;
  return fovy;
}

void oriGLWindowTitle(char* buf, size_t size, int width, int height, int frame_no) {
  std::snprintf(buf, size, "Plicata [%d, %d]  %05d frames", width, height, frame_no);
}
