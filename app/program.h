// Start-up of the windows and the idle callback.
#pragma once

// Creates the hidden main window "Plicata" and the drawing sub-window,
// registers every callback and the three timers, builds the panel and loads
// the paper texture (theGL.texture_file) in the drawing window. Call after
// the first pattern is loaded; glutMainLoop shows the window on its first
// idle cycle. argc and argv go to glutInit, which may consume window-system
// options.
void OpenWindows(int* argc, char** argv);

// Idle callback of the start: shows the main window when asked
// (the.show_request), posts a redisplay of both windows and removes itself,
// so that a window at rest takes no processor time. From then on whatever
// changes the picture asks for it: appPostRedraw.
void Idle();

// Posts a redisplay of the main window and the drawing sub-window: called by
// every callback that changes what they show (keys, the mouse, a fold or
// walk tick that moved something, the panel's controls, a pattern opened).
void appPostRedraw();

// Ends the main loop ('q', Esc, "Quit"), as closing the window does: main
// then writes the FOLD recording and frees the sheet.
void appQuit();

// Fit ('f', "Fit"): frames the present view on the model or the crease
// pattern (oriGLFitView) and redraws; nothing in the Walk camera.
void appFit();
