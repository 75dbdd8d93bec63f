// The animation: the timer callback with its three self-re-arming ticks
// (10 ms walking and zooming, 50 ms folding while a fold key is held, 1000 ms
// idle), and the recorded fold step that the ticks and the step buttons
// take.
#pragma once

// GLUT timer callback; value is the tick's period in milliseconds and
// chooses what it does (10, 50 or 1000). Each tick re-arms itself with its
// own period; any other value does nothing and is not re-armed.
void TimerFunc(int value);

// One fold step of the sheet of size step (radians; positive folds,
// negative unfolds), as plicata-fold takes it, the faces then placed from
// the fixed face. While "Mdl" or "Scr" is on, the step is recorded
// (fold_recording.h): the first recorded step also records the shape before
// it as frame 0, then the sheet's frame number grows by one and the frame's
// files are written (frame_files.h: a file that cannot be written is
// reported and skipped); with "Mdl" the shape also joins the FOLD
// animation. The step's figures go to the Status readout through the sheet
// (fold_readout.h). Leaves the drawing window current. Does nothing without
// a pattern.
void Step(double step);
