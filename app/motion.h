// What the ticks of the animation do to the view state and which fold step
// they ask for, apart from the window system: walking and zooming on the
// 10 ms tick, folding on the 50 ms tick, and the step buttons.
#pragma once

struct theGLstruct;

// Zoom of the Object and Top cameras per 10 ms tick while an arrow key is
// held, and its bounds: below kAppZoomMin the Object camera would look
// through more than 160 degrees, above kAppZoomMax the Top view shows less
// than a 64th of the sheet's width; beyond them the picture means nothing.
constexpr double kAppZoomIn = 1.05;
constexpr double kAppZoomOut = 0.95;
constexpr double kAppZoomMin = 0.25;
constexpr double kAppZoomMax = 64.0;

// Walk rates added per tick while a key is held, and their decay per tick.
constexpr double kAppWalkAccel = 0.0001;   // forward and sideways speed
constexpr double kAppWalkTurnAccel = 0.01; // turn rate, degrees
constexpr double kAppWalkDecay = 0.99;
// A coasting walk stops when every rate has decayed below this (units or
// degrees per tick: a hundredth of a thousandth of the sheet per second),
// so that the window comes to rest instead of redrawing invisible moves.
constexpr double kAppWalkRest = 1e-6;

// Radians of fold per unit of the fold step setting: per 50 ms tick of a
// held fold key, and per press of "<<" or ">>".
constexpr double kAppHeldStepFactor = 0.05;
constexpr double kAppButtonStepFactor = 0.2;

// The 10 ms tick. In the Walk view (view_mode 1) the held keys speed up or
// turn the walk, the eye moves by the rates and the rates decay by 1 %
// (to 0 once all are below kAppWalkRest and no key is held); elsewhere the
// up and down arrows zoom in and out (both when both are held), and zoom
// stays within [kAppZoomMin, kAppZoomMax]. Returns whether the view may have
// moved: a key held or the walk coasting; false when the tick changed
// nothing, so that the window need not be redrawn.
bool appWalkZoomTick(theGLstruct* gl);

// The 50 ms tick: with space held, *step = fold_step × 0.05; otherwise with
// 'b' held, *step = −fold_step × 0.05 (space wins). Returns false, step
// untouched, when neither is held.
bool appFoldTickStep(const theGLstruct* gl, int fold_step, double* step);

// The step of "<<" (forward false) and ">>" (forward true): ∓fold_step × 0.2.
double appButtonStep(int fold_step, bool forward);
