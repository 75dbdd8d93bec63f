// The view state: camera, drawing switches, window sizes, held keys and the
// paper texture. One statically initialised record for the whole run; the
// panel, the keys, the animation tick, the mouse and Reshape change it, the
// display reads it.
#pragma once

#include "files/bmp.h"
#include "geometry/vector3d.h"

struct theGLstruct {
  int view_mode;            // camera: 0 Object, 1 Walk, 2 Top, 3 the flat-folded form from above (its own camera)
  int orient_mode;          // picking: 0 none, 1 fixed face, 2 three axis vertices
  int draw_face;            // draw faces
  int draw_edge;            // draw lines
  int cp_mode;              // draw the crease pattern instead of the folded model
  int draw_crease;          // also the grey lines (flat lines and diagonals)
  int line_width;           // pixels, 1 to 5
  int pan_x, pan_y;         // pan committed by finished middle-button drags, pixels
  int width, height;        // drawing sub-window, pixels
  int saved_x, saved_y, saved_w, saved_h;  // main-window geometry before full screen or 4:3
  double ref_width, ref_height;            // proportions of the 4:3 fitting
  unsigned char pan_drag;       // middle button held
  unsigned char rotate_drag;    // right button held
  unsigned char hold_up, hold_down, hold_left, hold_right;        // arrow keys held
  unsigned char hold_slash, hold_backslash, hold_space, hold_b;  // '/', '\', space, 'b' held
  unsigned char full_screen;    // full-screen mode
  unsigned char fixed_aspect;   // drawing area fitted to 4:3
  int pan_press_x, pan_press_y; // pointer where the middle-button drag started
  int rot_press_x, rot_press_y; // pointer where the right-button drag started
  int pan_cur_x, pan_cur_y;     // pointer during the middle-button drag
  double zoom;                  // Object and Top cameras
  double walk_fovy;             // Walk camera field of view, degrees
  double azimuth;               // Object camera: turn about +y, degrees
  double elevation;             // Object camera: tilt about −x, degrees, within [−100, 100]
  double azimuth_base, elevation_base;  // values at the end of the last right-button drag
  vector3d walk_pos;            // Walk eye
  vector3d walk_dir;            // Walk heading (horizontal)
  double walk_speed;            // forward speed per 10 ms tick
  double walk_turn;             // turn per tick, degrees
  double walk_side;             // sideways speed per tick
  BITMAPINFO* texture_info;     // header of the loaded texture; kept for the run
  unsigned char* texture_bits;  // texture pixels; released right after the upload
  char texture_file[1024];      // texture file name
  int draw_closure;             // colour the sheet by the closure map ("Closure")
  int draw_strain;              // colour the sheet by the strain map instead ("Strain"; wins over "Closure")
  int draw_colour;              // mountains and valleys in two colours ("Colour"); black when 0
  // Pictures framed to what they show (plicata-fold; the window leaves it
  // off): with fit set, the Object and Top cameras first move fit_centre to
  // the middle of the view and enlarge by fit_scale, in the display frame as
  // the Object camera turns it, or in the pattern's plane for the crease
  // pattern (render/view_rules.h, oriGLFitPicture).
  int fit;
  double fit_scale;
  vector3d fit_centre;
};

// theGL.view_mode of the flat-folded form seen from above (the panel's
// "Folded form"): drawn by render/draw_folded.h with its own camera, no picking.
constexpr int kOriViewFolded = 3;

extern theGLstruct theGL;
