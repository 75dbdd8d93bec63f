// The control panel docked on the right of the main window.
#pragma once

// Builds the panel on the main window (the.main_window). Called once by the
// start-up, after the main window's callbacks are registered and before the
// drawing sub-window is created.
void menuInit();

// The panel's one callback; ID names the control.
void menuCallback(int ID);

// Hands the main window's idle, reshape, keyboard, mouse and special-key
// callbacks to the panel, which forwards them, since a window that carries
// the panel receives its events through it.
void menuForwardCallbacks();

// The part of the current (main) window left for drawing beside the panel,
// in pixels: position (x, y) and size (w, h).
void menuViewportArea(int* x, int* y, int* w, int* h);
