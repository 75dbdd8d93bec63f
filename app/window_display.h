// The windows' display and reshape callbacks, and the open requests of the
// panel that the main window carries out. Window-system thread only.
#pragma once

// Draws the frame of the drawing sub-window into the current context
// without swapping: the figures and marks of the readout brought up to date
// (appReadoutRefresh, once after every change of the shape) and shown in the
// Status rollout, the present view of the sheet's pattern with the marks
// (oriGLDrawScene) or, in the "Folded form" view, its flat-folded form in
// layer order (render/draw_folded.h; the x-ray and a box naming the reason
// where no stacking is valid), and the help box when it is on. False, nothing drawn,
// while no pattern is loaded.
bool appDrawFrame();

// Display callback of the drawing sub-window: abandons a half-done
// three-vertex pick when that orientation mode has been left, then
// appDrawFrame and swaps the buffers (no swap while no pattern is loaded).
void Display();

// Display callback of the main window: clears it to grey, asks for the
// drawing sub-window to be redrawn, carries out a pending open request
// (appServeOpenRequest) and sets the title
// "Plicata [width, height]  NNNNN frames".
void Display_base();

// Carries out a pending open request of the panel (Next File before File
// Open): the FOLD recording of the old model is written, the terminal
// dialogue runs, then the main window is shown again. When File Open's
// dialogue ends without a pattern the program ends with status 1. Returns false when nothing was asked.
// Display_base runs it; since a hidden window is not redrawn, the panel
// also runs it from a timer after hiding the window.
bool appServeOpenRequest();

// Reshape callback of both windows: fits the drawing sub-window into the
// part of the main window beside the panel (the whole window in full
// screen) as a square, or 4:3 in full screen and with 4:3 fitting, at the
// main window's top left corner.
void Reshape(int w, int h);
