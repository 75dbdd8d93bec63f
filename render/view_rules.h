// The arithmetic of the view, apart from OpenGL: pan offset, the size of the
// drawing area, the display frame that lays the folded model on the table,
// the Object camera's field of view and the window title.
#pragma once

#include "sim/display_frame.h"

#include <cmath>
#include <cstddef>

struct ORI_manifold;
struct theGLstruct;

// Pan offset of the Object and Top cameras in view units:
// px = (pan_press_x − pan_cur_x + pan_x) · k / height,
// py = (pan_cur_y − pan_press_y + pan_y) · k / height, k = 2 / zoom, so that
// in the Top camera one pixel of drag moves the picture by one pixel. A
// height below 1 counts as 1.
void oriGLPanOffset(const theGLstruct* gl, double* px, double* py);

// Sizes the drawing area (gl->width, gl->height) inside an available area
// of W × H pixels: in full screen and with 4:3 fitting the largest 4:3
// rectangle (proportions ref_width : ref_height), otherwise the largest
// square. Each side is at least 1 pixel, since a window cannot be empty.
void oriGLFitDrawingArea(theGLstruct* gl, int W, int H);

// The display frame of the folded model (see oriManifoldUpdateModelMatrix).
int oriGLUpdateModelMatrix(ORI_manifold* om);

// The Object camera's eye above the table and its near and far planes, and
// the Top camera's eye and near plane (view units: the pattern's side is 1).
constexpr double kOriObjectEyeZ = 3.0, kOriObjectNear = 0.2, kOriObjectFar = 4.0;
constexpr double kOriTopEyeZ = 1.0, kOriTopNear = 0.2;

// Vertical field of view of the Object camera, 40 / zoom degrees, kept
// below kOriMaxFovy (and above 0) so that the perspective stays a picture
// whatever the zoom has reached.
constexpr double kOriMaxFovy = 179.0;
constexpr double kOriMinFovy = 0.001;
double oriGLObjectFovy(double zoom);

// Fit ("f", the panel's "Fit"): the present view's camera framed on what it
// shows, the folded model in the display frame (oriGLUpdateModelMatrix is
// run) or, in cp_mode, the crease pattern: the pan centres it and the zoom
// makes it fill kOriFitFill (below) of the drawing area's height or width, whichever
// binds, seen from the present azimuth and elevation in the Object camera.
// The zoom stays within kOriFitZoomMin..kOriFitZoomMax (the arrow keys'
// range); a drag in progress keeps its share of the pan. The Walk camera
// has no frame to fit: false, nothing changed; also false for a null or
// empty om, or positions that are not finite. Cost: one pass over the
// vertices.
constexpr double kOriFitZoomMin = 0.25;
constexpr double kOriFitZoomMax = 64.0;
bool oriGLFitView(theGLstruct* gl, ORI_manifold* om);

// Writes the main window's title "Plicata [width, height]  NNNNN frames".
void oriGLWindowTitle(char* buf, size_t size, int width, int height, int frame_no);

// The views of a picture made without a window.
enum OriPictureView {
  kOriPictureObject = 0,  // the folded model, Object camera (the window's start-up view)
  kOriPictureTop = 1,     // the folded model seen straight down, Top camera (key 'c')
  kOriPictureCP = 2,      // the crease pattern, Top camera ("CP" in the panel)
  kOriPictureFolded = 3,  // the flat-folded form from above, in layer order (render/draw_folded.h)
};

// Sets gl for a picture of w × h pixels as the window would show it: the
// camera and crease-pattern switch of view, the Object camera turned by
// azimuth and tilted by elevation (degrees, as a right-button drag sets
// them; the Top camera ignores them), no pan, no drag in progress. Zoom,
// line width and the drawing switches stay as they are.
void oriGLPictureView(theGLstruct* gl, OriPictureView view, double azimuth, double elevation, int w, int h);

// The box of what pictures show, in the frame their framing works in (see
// theGLstruct::fit): lo and hi per axis; empty while lo > hi.
struct OriGLExtent {
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
  double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  // For the Object camera's perspective, where nearer points look larger:
  // the largest y + t·z, −y + t·z, x + t·a·z and −x + t·a·z over the points,
  // with t the tangent of half the field of view at zoom 1 times
  // kOriFitFill and a the picture's width over its height.
  double reach[4] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
};

// Adds om's folded vertices as view shows them in a picture of w × h
// pixels: through the display frame that the drawing computes from their
// positions (om->model_matrix is left as it was) and, for the Object
// camera, turned by azimuth and elevation (degrees) as the camera turns the
// model. Positions that are not finite are left out. cost: one pass over
// the vertices.
void oriGLExtentAddModel(OriGLExtent* e, ORI_manifold* om, OriPictureView view, double azimuth, double elevation, int w,
                         int h);

// Adds the crease pattern's vertices (in its plane, z = 0).
void oriGLExtentAddPattern(OriGLExtent* e, const ORI_manifold* om);

// What a framed picture fills of the way its box is longest in the picture:
// the rest is the margin, shared by both sides.
constexpr double kOriFitFill = 0.9;

// Frames a picture of w × h pixels (the size e was gathered for) of view to
// e at zoom 1: sets gl->fit, fit_centre (the box's middle) and fit_scale,
// the largest that keeps every point gathered within kOriFitFill of the
// picture (in the Object camera's perspective, nearer points looking
// larger) and the whole box between the camera's near and far planes. Zoom
// then enlarges from there. An empty box, or one of no size or not finite,
// leaves gl->fit off.
void oriGLFitPicture(theGLstruct* gl, const OriGLExtent& e, OriPictureView view, int w, int h);
