// The arithmetic of the view, apart from OpenGL: pan offset, the size of the
// drawing area, the display frame that lays the folded model on the table,
// the Object camera's field of view and the window title.
#pragma once

#include "sim/display_frame.h"

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

// Vertical field of view of the Object camera, 40 / zoom degrees, kept
// below kOriMaxFovy (and above 0) so that the perspective stays a picture
// whatever the zoom has reached.
constexpr double kOriMaxFovy = 179.0;
constexpr double kOriMinFovy = 0.001;
double oriGLObjectFovy(double zoom);

// Fit ("f", the panel's "Fit"): the present view's camera framed on what it
// shows, the folded model in the display frame (oriGLUpdateModelMatrix is
// run) or, in cp_mode, the crease pattern: the pan centres it and the zoom
// makes it fill kOriFitFill of the drawing area's height or width, whichever
// binds, seen from the present azimuth and elevation in the Object camera.
// The zoom stays within kOriFitZoomMin..kOriFitZoomMax (the arrow keys'
// range); a drag in progress keeps its share of the pan. The Walk camera
// has no frame to fit: false, nothing changed; also false for a null or
// empty om, or positions that are not finite. Cost: one pass over the
// vertices.
constexpr double kOriFitFill = 0.9;
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
};

// Sets gl for a picture of w × h pixels as the window would show it: the
// camera and crease-pattern switch of view, the Object camera turned by
// azimuth and tilted by elevation (degrees, as a right-button drag sets
// them; the Top camera ignores them), no pan, no drag in progress. Zoom,
// line width and the drawing switches stay as they are.
void oriGLPictureView(theGLstruct* gl, OriPictureView view, double azimuth, double elevation, int w, int h);
