#include "render/view_rules.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "geometry/manifold.h"
#include "render/shading.h"
#include "render/view_state.h"
#include "sim/display_frame.h"

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

int oriGLUpdateModelMatrix(ORI_manifold* om) { return oriManifoldUpdateModelMatrix(om); }

namespace {

// Distance of the Object camera's eye from the table (render/display.cpp).
constexpr double kObjectEyeDistance = 3.0;
constexpr double kDegrees = M_PI / 180.0;

// The points the view shows, where the drawing puts them before the camera:
// the pattern's vertices in z = 0, or the folded ones in the display frame.
std::vector<vector3d> shownPoints(const theGLstruct* gl, ORI_manifold* om) {
  std::vector<vector3d> points;
  if (gl->cp_mode) {
    for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      points.push_back({e->x0, e->y0, 0.0});
    }
    return points;
  }
  oriGLUpdateModelMatrix(om);
  const double* M = om->model_matrix;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const vector3d& p = static_cast<const ORI_vert*>(l->data)->pos;
    points.push_back({M[0] * p.x + M[4] * p.y + M[8] * p.z + M[12], M[1] * p.x + M[5] * p.y + M[9] * p.z + M[13],
                      M[2] * p.x + M[6] * p.y + M[10] * p.z + M[14]});
  }
  return points;
}

// The Object camera's turn of the model: azimuth about +y, then elevation
// about −x (glRotated in that order on the model view).
vector3d objectTurn(const theGLstruct* gl, const vector3d& p) {
  const double a = gl->azimuth * kDegrees, e = gl->elevation * kDegrees;
  const double x = p.x * std::cos(a) + p.z * std::sin(a);
  const double z = -p.x * std::sin(a) + p.z * std::cos(a);
  return {x, p.y * std::cos(e) + z * std::sin(e), -p.y * std::sin(e) + z * std::cos(e)};
}

}  // namespace

bool oriGLFitView(theGLstruct* gl, ORI_manifold* om) {
  if (om == nullptr || gl->view_mode == 1) return false;
  std::vector<vector3d> points = shownPoints(gl, om);
  if (points.empty()) return false;
  const bool object = gl->view_mode == 0;
  double lo_x = HUGE_VAL, hi_x = -HUGE_VAL, lo_y = HUGE_VAL, hi_y = -HUGE_VAL;
  for (vector3d& p : points) {
    if (object) p = objectTurn(gl, p);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    lo_x = std::fmin(lo_x, p.x);
    hi_x = std::fmax(hi_x, p.x);
    lo_y = std::fmin(lo_y, p.y);
    hi_y = std::fmax(hi_y, p.y);
  }
  const double cx = 0.5 * (lo_x + hi_x), cy = 0.5 * (lo_y + hi_y);
  const double aspect = gl->height < 1 ? 1.0 : static_cast<double>(gl->width) / gl->height;
  // How far the farthest point lies from the centre, in the half-heights of
  // the view at zoom 1: the Object camera divides by the depth from its eye.
  double reach = 0.0;
  for (const vector3d& p : points) {
    double r = std::fmax(std::fabs(p.x - cx) / aspect, std::fabs(p.y - cy));
    if (object) r /= std::fmax(kObjectEyeDistance - p.z, 1e-3);
    reach = std::fmax(reach, r);
  }
  double zoom = gl->zoom;
  if (reach > 0.0) {
    zoom = object ? 40.0 / (2.0 * std::atan(reach / kOriFitFill) / kDegrees) : kOriFitFill / reach;
  }
  gl->zoom = std::fmin(std::fmax(zoom, kOriFitZoomMin), kOriFitZoomMax);
  // The pan in pixels that oriGLPanOffset turns into (cx, cy).
  const double per_pixel = 2.0 / gl->zoom / (gl->height < 1 ? 1.0 : static_cast<double>(gl->height));
  gl->pan_x = static_cast<int>(std::lround(cx / per_pixel)) - (gl->pan_press_x - gl->pan_cur_x);
  gl->pan_y = static_cast<int>(std::lround(cy / per_pixel)) - (gl->pan_cur_y - gl->pan_press_y);
  return true;
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

void oriGLPictureView(theGLstruct* gl, OriPictureView view, double azimuth, double elevation, int w, int h) {
  gl->view_mode = view == kOriPictureObject ? 0 : 2;
  gl->cp_mode = view == kOriPictureCP ? 1 : 0;
  gl->azimuth = gl->azimuth_base = azimuth;
  gl->elevation = gl->elevation_base = elevation;
  gl->pan_x = gl->pan_y = 0;
  gl->pan_press_x = gl->pan_cur_x = 0;
  gl->pan_press_y = gl->pan_cur_y = 0;
  gl->pan_drag = gl->rotate_drag = 0;
  gl->width = w;
  gl->height = h;
}

namespace {

// The Object camera's turn of a point, as display.cpp applies it: first
// azimuth about +y, then elevation about -x.
vector3d turned(const vector3d& p, double azimuth, double elevation) {
  const double a = azimuth * kOriPi / 180.0, b = elevation * kOriPi / 180.0;
  const double x = std::cos(a) * p.x + std::sin(a) * p.z, z = -std::sin(a) * p.x + std::cos(a) * p.z;
  vector3d q;
  return input(q, x, std::cos(b) * p.y + std::sin(b) * z, -std::sin(b) * p.y + std::cos(b) * z);
}

// The tangent of half the Object camera's field of view at zoom 1, times
// the share of the picture a framed model fills.
double fitTangent() { return std::tan(oriGLObjectFovy(1.0) * kOriPi / 360.0) * kOriFitFill; }

void addPoint(OriGLExtent* e, const vector3d& p, double aspect) {
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
  const double c[3] = {p.x, p.y, p.z};
  for (int k = 0; k < 3; ++k) {
    e->lo[k] = std::fmin(e->lo[k], c[k]);
    e->hi[k] = std::fmax(e->hi[k], c[k]);
  }
  const double t = fitTangent(), ta = t * aspect;
  const double reach[4] = {p.y + t * p.z, -p.y + t * p.z, p.x + ta * p.z, -p.x + ta * p.z};
  for (int k = 0; k < 4; ++k) e->reach[k] = std::fmax(e->reach[k], reach[k]);
}

double aspectOf(int w, int h) { return static_cast<double>(w < 1 ? 1 : w) / static_cast<double>(h < 1 ? 1 : h); }

// The Object camera keeps a framed box this far inside its near and far
// planes.
constexpr double kDepthMargin = 0.05;

}  // namespace

void oriGLExtentAddModel(OriGLExtent* e, ORI_manifold* om, OriPictureView view, double azimuth, double elevation, int w,
                         int h) {
  double saved[16];
  std::memcpy(saved, om->model_matrix, sizeof saved);
  oriManifoldUpdateModelMatrix(om);
  const double* m = om->model_matrix;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const vector3d& p = static_cast<const ORI_vert*>(l->data)->pos;
    vector3d q;
    input(q, m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
          m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
    addPoint(e, view == kOriPictureObject ? turned(q, azimuth, elevation) : q, aspectOf(w, h));
  }
  std::memcpy(om->model_matrix, saved, sizeof saved);
}

void oriGLExtentAddPattern(OriGLExtent* e, const ORI_manifold* om) {
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* h = static_cast<const ORI_edge*>(l->data);
    vector3d q;
    addPoint(e, input(q, h->x0, h->y0, 0.0), 1.0);
  }
}

void oriGLFitPicture(theGLstruct* gl, const OriGLExtent& e, OriPictureView view, int w, int h) {
  gl->fit = 0;
  double half[3];
  for (int k = 0; k < 3; ++k) {
    half[k] = 0.5 * (e.hi[k] - e.lo[k]);
    if (!(half[k] >= 0.0) || !std::isfinite(half[k])) return;
  }
  const double aspect = aspectOf(w, h);
  const double c[3] = {0.5 * (e.lo[0] + e.hi[0]), 0.5 * (e.lo[1] + e.hi[1]), 0.5 * (e.lo[2] + e.hi[2])};
  double scale = HUGE_VAL;
  if (view == kOriPictureObject) {
    // A point at (x, y, z) from the centre, framed, appears at
    // s·y / (eye − s·z) of the picture's half-height tangent: s·(|y| + t·z)
    // may reach t·eye, and likewise across.
    const double t = fitTangent(), ta = t * aspect, eye = kOriObjectEyeZ;
    const double up = std::fmax(e.reach[0] - c[1] - t * c[2], e.reach[1] + c[1] - t * c[2]);
    const double across = std::fmax(e.reach[2] - c[0] - ta * c[2], e.reach[3] + c[0] - ta * c[2]);
    if (up > 0.0) scale = std::fmin(scale, t * eye / up);
    if (across > 0.0) scale = std::fmin(scale, ta * eye / across);
    const double depth = std::fmin(eye - kOriObjectNear, kOriObjectFar - eye) - kDepthMargin;
    if (half[2] > 0.0) scale = std::fmin(scale, depth / half[2]);
  } else {
    if (half[1] > 0.0) scale = std::fmin(scale, kOriFitFill / half[1]);
    if (half[0] > 0.0) scale = std::fmin(scale, kOriFitFill * aspect / half[0]);
    if (half[2] > 0.0) scale = std::fmin(scale, (kOriTopEyeZ - kOriTopNear - kDepthMargin) / half[2]);
  }
  if (!(scale < HUGE_VAL) || !(scale > 0.0)) return;
  gl->fit = 1;
  gl->fit_scale = scale;
  input(gl->fit_centre, c[0], c[1], c[2]);
}
