// The control panel docked on the right of the main window: the controls
// (app/panel_controls.h) on a panel window of the GLUI-shaped toolkit
// (app/glui.h), and what its buttons and the view-mode group do.
#pragma once

// Builds the panel on the main window (the.main_window). Called once by the
// start-up, after the main window's callbacks are registered and before the
// drawing sub-window is created.
void menuInit();

// The panel's one callback; ID names the control (kMenu… ids): "<<" and
// ">>" take one recorded fold step of ∓fold step × 0.2 radians, "Clear
// Fold" flattens the model, "Save" writes the next frame (when "Mdl" or
// "Scr" is on), "File Open" and "Next File" hide the window and ask for a
// pattern on the terminal, the view-mode group switches the crease-pattern
// view with the "CP" camera, "fold to %" and "Exact" hand the panel's fold
// options to the sheet (appApplyFoldOptions), "Help" shows or hides the help
// box, "Fit" frames the view on the model (appFit), "Quit" ends the program
// as closing the window does (appQuit), the filter lists the Files rollout's
// files again, and a file chosen
// there is opened (appOpenPatternFile; why it could not be is shown under
// the lists). Runs with the main window current.
void menuCallback(int ID);

// Hands the main window's idle, reshape, keyboard, mouse and special-key
// callbacks (and the key releases) to the panel, which forwards them, since
// a window that carries the panel receives its events through it.
void menuForwardCallbacks();

// The part of the current (main) window left for drawing beside the panel,
// in pixels: position (x, y) and size (w, h).
void menuViewportArea(int* x, int* y, int* w, int* h);

// Shows the Status readout's figures (fold_readout.h) in the Status rollout;
// the panel is redrawn only where a line changed.
void menuShowReadout();
