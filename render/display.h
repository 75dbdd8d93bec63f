// The display: the two windows' display callbacks, the cameras of the three
// view modes, the display frame of the folded model, and the sizing of the
// drawing sub-window. State lives in theGL (render/view_state.h) and the
// (app/app_state.h). Window-system thread only.
#pragma once

// Draws the current view into the back buffer of the current window without
// swapping: clears to white, sets the camera of theGL.view_mode and draws
// either the crease pattern (cp_mode) or the folded model, as the switches
// draw_face, draw_edge and draw_crease say, with the axis markers in the
// three-vertex orientation mode. Returns false, having touched nothing,
// while no pattern is loaded.
bool oriGLDrawScene();

// Display callback of the drawing sub-window: oriGLDrawScene, then the
// buffer swap (none while no pattern is loaded).
void Display();

// Display callback of the main window: clears it to grey, carries out a
// pending open request (Next File before File Open; the terminal dialogue
// runs while the window is hidden, then the window is shown again) and sets
// the title "Plicata [width, height]  NNNNN frames".
void Display_base();

// Carries out a pending open request of the panel (Next File before File
// Open): the terminal dialogue runs, then the main window is shown again.
// Returns false when nothing was asked. Display_base runs it; since a hidden
// window is not redrawn, the panel also runs it from a timer after hiding
// the window.
bool oriGLServeOpenRequest();

// Reshape callback of both windows: fits the drawing sub-window into the
// part of the main window beside the panel (the whole window in full
// screen) as a square, or 4:3 in full screen and with 4:3 fitting, at the
// main window's top left corner.
void Reshape(int w, int h);

// Sets the viewport and multiplies the projection of theGL.view_mode onto
// the current projection matrix (normally the identity), then leaves
// GL_MODELVIEW current with the camera loaded. Object and Walk also switch
// the depth test on with GL_LEQUAL.
void MultMode();

// MultMode restricted to a 6 × 6 pixel pick region around window position
// (x, y), y counted from the top.
void MultModeSelect(int x, int y);

// Recomputes the display frame of the current mesh from its axis vertices
// (render/view_rules.h) and multiplies it onto the current matrix. Does
// nothing without a mesh.
void MultXYZ();
