// Start-up of the windows and the idle callback.
#pragma once

// Creates the hidden main window "Plicata" and the drawing sub-window,
// registers every callback and the three timers, builds the panel and loads
// the paper texture (theGL.texture_file) in the drawing window. Call after
// the first pattern is loaded; glutMainLoop shows the window on its first
// idle cycle. argc and argv go to glutInit, which may consume window-system
// options.
void OpenWindows(int* argc, char** argv);

// Idle callback: shows the main window when asked (the.show_request), posts a
// redisplay of both windows, and abandons a half-done three-vertex pick when
// that orientation mode has been left.
void Idle();
