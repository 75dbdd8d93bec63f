#include "render/view_rules.h"

#include <cmath>
#include <cstdio>

#include "geometry/manifold.h"
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
