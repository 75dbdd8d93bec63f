// Pictures without a window: an off-screen OpenGL context of Mesa's OSMesa
// (software rendering, no X server, no DISPLAY), drawn by the window's own
// functions (render/display.h) under the view state theGL, so that a picture
// is what the window shows in the same view at the same size.
//
// The program that uses this links Mesa's OSMesa library as its OpenGL (and
// not the window system's). One context per process, on one thread.
#pragma once

struct ORI_manifold;
struct OriGLMarks;
struct ORI_flatState;

// Largest side of a picture, pixels.
constexpr int kOriOffscreenMaxSide = 8192;

struct ORI_offscreen;

// Creates an off-screen context of w × h pixels (1 to kOriOffscreenMaxSide
// each) with 8-bit red, green, blue and alpha and a 24-bit depth buffer,
// makes it current and loads the paper texture and the fog from
// theGL.texture_file as the window does (a file that cannot be read leaves
// texturing off). Returns null when the size is out of range or the context
// cannot be made. cost: w × h × 8 bytes.
ORI_offscreen* oriGLOffscreenNew(int w, int h);

// Draws the present view of om with marks (may be null; see oriGLDrawScene)
// under theGL, its width and height set to the context's size first, and
// reads the picture into rgb: top row first, red-green-blue, w × h × 3
// bytes. Returns 0, or -1 when om is null (rgb untouched). cost: one frame.
int oriGLOffscreenDraw(ORI_offscreen* os, ORI_manifold* om, unsigned char* rgb, const OriGLMarks* marks = nullptr);

// Draws the flat-folded form fs of om (render/draw_folded.h) under theGL,
// its width and height set to the context's size first, and reads the
// picture into rgb as above. Returns 0, or -1 when fs holds no folded form
// of om (rgb untouched).
int oriGLOffscreenDrawFolded(ORI_offscreen* os, ORI_manifold* om, const ORI_flatState& fs, unsigned char* rgb);

// Releases the context and its buffer; null is ignored.
void oriGLOffscreenDelete(ORI_offscreen* os);
