#include "render/view_state.h"

theGLstruct theGL = {
    0,                   // view_mode: Object
    1,                   // orient_mode: fixed face by picking
    1,                   // draw_face
    1,                   // draw_edge
    0,                   // cp_mode
    0,                   // draw_crease
    2,                   // line_width
    0, 0,                // pan_x, pan_y
    640, 480,            // width, height
    0, 0, 640, 480,      // saved_x, saved_y, saved_w, saved_h
    640.0, 480.0,        // ref_width, ref_height
    0,                   // pan_drag
    0,                   // rotate_drag
    0, 0, 0, 0,          // hold_up, hold_down, hold_left, hold_right
    0, 0, 0, 0,          // hold_slash, hold_backslash, hold_space, hold_b
    0,                   // full_screen
    0,                   // fixed_aspect
    0, 0,                // pan_press_x, pan_press_y
    0, 0,                // rot_press_x, rot_press_y
    0, 0,                // pan_cur_x, pan_cur_y
    1.0,                 // zoom
    60.0,                // walk_fovy
    0.0,                 // azimuth
    0.0,                 // elevation
    0.0, 0.0,            // azimuth_base, elevation_base
    {0.0, -1.0, 0.05},   // walk_pos
    {0.0, 1.0, 0.0},     // walk_dir
    0.0,                 // walk_speed
    0.0,                 // walk_turn
    0.0,                 // walk_side
    nullptr,             // texture_info
    nullptr,             // texture_bits
    "papertexture.bmp",  // texture_file
    0,                   // draw_closure
    0,                   // draw_strain
    0,                   // draw_colour
    0,                   // fit: off
    1.0,                 // fit_scale
    {0.0, 0.0, 0.0},     // fit_centre
};
